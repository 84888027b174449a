#include "central/reenviador.h"

#include "acquisition/base_datos.h"
#include "central/servidor_central.h"
#include "views/consultas.h"
#include "views/puntos.h"

#include <QDate>
#include <QDateTime>
#include <QElapsedTimer>
#include <QHash>
#include <QSqlDatabase>
#include <QTimeZone>

#include <libpq-fe.h>
#include <sqlite3.h>

#include <chrono>
#include <cstdio>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace ombrix {

using Reloj = std::chrono::steady_clock;

struct Reenviador::Estado {
    mutable std::mutex m;
    std::condition_variable cv;
    bool parar = false;
    bool despertar = false;
    Reloj::time_point limite;
    QString ruta;
    quint64 versionRuta = 0;
    Cifras cifras;
};

namespace {

enum class Clase { Instrumento, Combinada, Eventos };

struct Tabla {
    Clase clase;
    int n = 0;                // instrument 1..20
    QByteArray nombre;        // local table
    qint64 marca = 0;         // last Id the server has
};

// What a batch carries to the server, one COPY text per server table.
struct Lote {
    QByteArray lecturas, combinadas, eventos;
    qint64 filas = 0;
    std::vector<qint64> marcas;   // new last Id per table, once committed
};

QString texto(sqlite3_stmt* s, int i)
{
    if (sqlite3_column_type(s, i) == SQLITE_NULL)
        return {};
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return QString::fromUtf8(p ? p : "", sqlite3_column_bytes(s, i));
}

QByteArray bytes(sqlite3_stmt* s, int i, bool& nulo)
{
    nulo = sqlite3_column_type(s, i) == SQLITE_NULL;
    if (nulo)
        return {};
    const auto* p = reinterpret_cast<const char*>(sqlite3_column_text(s, i));
    return QByteArray(p ? p : "", sqlite3_column_bytes(s, i));
}

void campo(QByteArray& l, sqlite3_stmt* s, int i)
{
    bool nulo = false;
    const QByteArray b = bytes(s, i, nulo);
    central::agregarCopia(l, b, nulo);
}

// The instant of a stored local date and time ("dd/MM/yyyy", "hh:mm:ss"),
// as UTC text; empty when they are not a date and a time. The zone's offset
// is kept per date and hour.
class Instantes {
public:
    explicit Instantes(const QTimeZone& zona) : zona_(zona) {}

    QByteArray utc(const QByteArray& fecha, const QByteArray& hora)
    {
        // The stored texts read as the charts read them: seconds of the local
        // clock since 1970 as if it were UTC.
        double x;
        if (!leerFechaHora(std::string_view(fecha.constData(), size_t(fecha.size())),
                           std::string_view(hora.constData(), size_t(hora.size())), x))
            return {};
        const qint64 local = qint64(x);
        const qint64 clave = local >= 0 ? local / 3600 : (local - 3599) / 3600;   // the local hour
        auto it = desfases_.find(clave);
        if (it == desfases_.end()) {
            if (desfases_.size() > 10000)
                desfases_.clear();
            const QDateTime l = QDateTime::fromSecsSinceEpoch(clave * 3600 + 1800, QTimeZone::utc());
            it = desfases_.insert(clave, QDateTime(l.date(), l.time(), zona_).offsetFromUtc());
        }
        const qint64 s = local - *it + qint64(2440588) * 86400;   // seconds since the Julian day 0
        const QDate u = QDate::fromJulianDay(s / 86400);
        const int r = int(s % 86400);
        char t[32];
        const int n = std::snprintf(t, sizeof t, "%04d-%02d-%02d %02d:%02d:%02d+00", u.year(), u.month(), u.day(), r / 3600,
                                    r / 60 % 60, r % 60);
        return QByteArray(t, n);
    }

private:
    QTimeZone zona_;
    QHash<qint64, int> desfases_;
};

class Hilo {
public:
    Hilo(const Reenviador::Destino& d, std::shared_ptr<Reenviador::Estado> e, std::function<void(const QString&)> avisar)
        : d_(d), e_(std::move(e)), avisar_(std::move(avisar)),
          instantes_(d.zona.isEmpty() ? QTimeZone::systemTimeZone() : QTimeZone(d.zona.toUtf8()))
    {
        if (d_.zona.isEmpty())
            d_.zona = QString::fromUtf8(QTimeZone::systemTimeZoneId());
    }

    void correr();

private:
    bool abrirLocal();
    bool listarTablas();
    void cerrarLocal();
    bool conectar(int segundos);
    void desconectar(const QString& motivo);
    bool leerMarcas(QString* error);
    qint64 pendientes();
    bool armarLote(Lote& lote);
    void instanteFechaHora(QByteArray& linea, sqlite3_stmt* s);
    bool enviar(const Lote& lote, QString* error);
    bool copiar(const char* tabla, const QByteArray& datos, QString* error);
    bool esperar(int ms);   // false when the stop came
    void cifras(const std::function<void(Reenviador::Cifras&)>& f)
    {
        std::lock_guard<std::mutex> g(e_->m);
        f(e_->cifras);
    }

    Reenviador::Destino d_;
    std::shared_ptr<Reenviador::Estado> e_;
    std::function<void(const QString&)> avisar_;
    Instantes instantes_;

    std::unique_ptr<BaseDatos> local_;
    quint64 versionAbierta_ = 0;
    QString ruta_;
    sqlite3* h_ = nullptr;
    std::vector<Tabla> tablas_;
    QElapsedTimer revisadas_;   // since the tables were listed
    bool avisoLocal_ = false;

    central::Conexion pg_;
    bool perdido_ = false;      // an episode without the server was told
    bool avisadoAlta_ = false;  // the first connection was told
    bool avisoRetraso_ = false; // the file is behind the server, told once
    int pausaMs_ = 1000;
};

bool Hilo::esperar(int ms)
{
    std::unique_lock<std::mutex> g(e_->m);
    e_->cv.wait_for(g, std::chrono::milliseconds(ms), [this] { return e_->parar || e_->despertar; });
    e_->despertar = false;
    return !e_->parar;
}

bool Hilo::abrirLocal()
{
    QString ruta;
    quint64 version;
    {
        std::lock_guard<std::mutex> g(e_->m);
        ruta = e_->ruta;
        version = e_->versionRuta;
    }
    if (local_ && version == versionAbierta_)
        return true;
    cerrarLocal();
    if (ruta.isEmpty())
        return false;
    auto base = std::make_unique<BaseDatos>();
    QString error;
    if (!base->abrirLectura(ruta, &error)) {
        if (!avisoLocal_)
            avisar_(QStringLiteral("Base central: no se puede leer el archivo local %1: %2").arg(ruta, error));
        avisoLocal_ = true;
        return false;
    }
    avisoLocal_ = false;
    local_ = std::move(base);
    ruta_ = ruta;
    versionAbierta_ = version;
    h_ = manejadorSqlite(local_->db());
    tablas_.clear();
    listarTablas();
    return true;
}

// Adds the tables of the file not in the list yet (the event log's appears
// with the first event written); true when one was added. The marks of new
// tables are read from the server.
bool Hilo::listarTablas()
{
    revisadas_.start();
    const size_t antes = tablas_.size();
    auto tiene = [this](const QByteArray& t) {
        for (const Tabla& x : tablas_)
            if (x.nombre == t)
                return true;
        return false;
    };
    auto existe = [this](const QByteArray& t) {
        sqlite3_stmt* s = nullptr;
        sqlite3_prepare_v2(h_, "SELECT 1 FROM sqlite_master WHERE type='table' AND name=?", -1, &s, nullptr);
        sqlite3_bind_text(s, 1, t.constData(), int(t.size()), SQLITE_TRANSIENT);
        const bool hay = sqlite3_step(s) == SQLITE_ROW;
        sqlite3_finalize(s);
        return hay;
    };
    for (int n = 1; n <= central::kInstrumentos; ++n) {
        const QByteArray t = "Instrumento" + QByteArray::number(n);
        if (!tiene(t) && existe(t))
            tablas_.push_back({Clase::Instrumento, n, t});
    }
    if (!tiene("Combinada") && existe("Combinada"))
        tablas_.push_back({Clase::Combinada, 0, "Combinada"});
    if (!tiene("Eventos") && existe("Eventos"))
        tablas_.push_back({Clase::Eventos, 0, "Eventos"});
    if (tablas_.size() == antes)
        return false;
    // The marks are the server's (a new file is compared with them again).
    if (pg_) {
        QString e;
        if (!leerMarcas(&e))
            desconectar(e);
    }
    return true;
}

void Hilo::cerrarLocal()
{
    h_ = nullptr;
    if (local_) {
        local_->cerrar();
        local_.reset();
    }
}

bool Hilo::conectar(int segundos)
{
    QString error;
    central::Conexion c = central::conectar(d_.url, d_.clave, segundos, &error);
    if (c && !central::prepararEsquema(c.get(), &error))
        c.reset();
    if (c && !central::prepararLinea(c.get(), d_.linea, d_.zona, &error))
        c.reset();
    if (c
        && !central::ejecutar(c.get(),
                              "CREATE TEMP TABLE lote_lecturas (LIKE ombrix.lecturas) ON COMMIT DELETE ROWS;"
                              "CREATE TEMP TABLE lote_combinadas (LIKE ombrix.combinadas) ON COMMIT DELETE ROWS;"
                              "CREATE TEMP TABLE lote_eventos (LIKE ombrix.eventos) ON COMMIT DELETE ROWS;",
                              &error))
        c.reset();
    if (!c) {
        desconectar(error);
        return false;
    }
    pg_ = std::move(c);
    if (!leerMarcas(&error)) {
        desconectar(error);
        return false;
    }
    pausaMs_ = 1000;
    const qint64 espera = pendientes();
    if (perdido_) {
        perdido_ = false;
        avisar_(QStringLiteral("Base central de nuevo disponible: %1 filas en espera").arg(espera));
    } else if (!avisadoAlta_) {
        avisar_(QStringLiteral("Base central: enviando a %1 como línea %2 (%3 filas en espera)")
                    .arg(QString::fromUtf8(PQdb(pg_.get())), d_.linea)
                    .arg(espera));
    }
    avisadoAlta_ = true;
    cifras([](Reenviador::Cifras& c) { c.conectado = true; });
    return true;
}

void Hilo::desconectar(const QString& motivo)
{
    pg_.reset();
    cifras([](Reenviador::Cifras& c) { c.conectado = false; });
    if (perdido_)
        return;
    perdido_ = true;
    avisar_(QStringLiteral("Base central perdida (%1): %2 filas en espera en el archivo local")
                .arg(motivo.simplified())
                .arg(pendientes()));
}

bool Hilo::leerMarcas(QString* error)
{
    QList<QStringList> filas;
    if (!central::consultar(pg_.get(),
                            "SELECT i, (SELECT max(id) FROM ombrix.lecturas WHERE linea = $1 AND instrumento = i)"
                            " FROM generate_series(1, 20) i"
                            " UNION ALL SELECT -1, (SELECT max(id) FROM ombrix.combinadas WHERE linea = $1)"
                            " UNION ALL SELECT -2, (SELECT max(id) FROM ombrix.eventos WHERE linea = $1)",
                            {d_.linea}, filas, error))
        return false;
    QHash<int, qint64> marca;
    for (const QStringList& f : filas)
        marca.insert(f.value(0).toInt(), f.value(1).toLongLong());
    for (Tabla& t : tablas_)
        t.marca = marca.value(t.clase == Clase::Instrumento ? t.n : t.clase == Clase::Combinada ? -1 : -2);
    // A file whose rows end below what the server has (another file under
    // this line's name) would forward nothing new for a long time: said once.
    for (const Tabla& t : tablas_) {
        sqlite3_stmt* s = nullptr;
        const QByteArray sql = "SELECT max(Id) FROM \"" + t.nombre + "\"";
        if (sqlite3_prepare_v2(h_, sql.constData(), -1, &s, nullptr) == SQLITE_OK && sqlite3_step(s) == SQLITE_ROW) {
            const qint64 ultimo = sqlite3_column_int64(s, 0);
            if (ultimo < t.marca && !avisoRetraso_) {
                avisoRetraso_ = true;
                avisar_(QStringLiteral("Base central: la tabla %1 del archivo local llega al Id %2 y el servidor ya "
                                       "tiene hasta el %3 para la línea %4: sus filas nuevas no se envían hasta "
                                       "pasar ese Id (¿otro archivo con el mismo nombre de línea?)")
                            .arg(QString::fromLatin1(t.nombre))
                            .arg(ultimo)
                            .arg(t.marca)
                            .arg(d_.linea));
            }
        }
        sqlite3_finalize(s);
    }
    return true;
}

qint64 Hilo::pendientes()
{
    if (!h_)
        return 0;
    qint64 total = 0;
    for (const Tabla& t : tablas_) {
        sqlite3_stmt* s = nullptr;
        const QByteArray sql = "SELECT count(*) FROM \"" + t.nombre + "\" WHERE Id > ?";
        if (sqlite3_prepare_v2(h_, sql.constData(), -1, &s, nullptr) == SQLITE_OK) {
            sqlite3_bind_int64(s, 1, t.marca);
            if (sqlite3_step(s) == SQLITE_ROW)
                total += sqlite3_column_int64(s, 0);
        }
        sqlite3_finalize(s);
    }
    cifras([total](Reenviador::Cifras& c) { c.enEspera = total; });
    return total;
}

// The instant, date and time columns of a row whose columns 1 and 2 are
// the stored date and time.
void Hilo::instanteFechaHora(QByteArray& l, sqlite3_stmt* s)
{
    bool nf = false, nh = false;
    const QByteArray f = bytes(s, 1, nf), h = bytes(s, 2, nh);
    const QByteArray u = instantes_.utc(f, h);
    central::agregarCopia(l, u, u.isEmpty());
    l += '\t';
    central::agregarCopia(l, f, nf);
    l += '\t';
    central::agregarCopia(l, h, nh);
}

bool Hilo::armarLote(Lote& lote)
{
    const QByteArray linea = d_.linea.toUtf8();
    lote.marcas.assign(tablas_.size(), 0);
    int resto = d_.lote;
    for (size_t i = 0; i < tablas_.size(); ++i) {
        const Tabla& t = tablas_[i];
        lote.marcas[i] = t.marca;
        if (resto <= 0)
            continue;
        QByteArray sql;
        switch (t.clase) {
        case Clase::Instrumento:
            sql = "SELECT Id, Fecha, Hora, Valor_medido, Set_point, Potencia, Alarma_1, Alarma_2, Alarma_3, Alarma_4,"
                  " Partida FROM \"" + t.nombre + "\"";
            break;
        case Clase::Combinada:
            sql = "SELECT * FROM \"Combinada\"";
            break;
        case Clase::Eventos:
            sql = "SELECT Id, Instante, Fecha, Hora, Instrumento, Tipo, Texto, Anterior, Nuevo, Nivel, Equipo, Usuario,"
                  " Origen, Hash FROM \"Eventos\"";
            break;
        }
        sql += " WHERE Id > ? ORDER BY Id LIMIT ?";
        sqlite3_stmt* s = nullptr;
        if (sqlite3_prepare_v2(h_, sql.constData(), -1, &s, nullptr) != SQLITE_OK) {
            sqlite3_finalize(s);
            continue;   // a table changed under the reader: skipped until the file is opened again
        }
        sqlite3_bind_int64(s, 1, t.marca);
        sqlite3_bind_int(s, 2, resto);
        int rc;
        while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
            const qint64 id = sqlite3_column_int64(s, 0);
            QByteArray l = linea;
            l += '\t';
            switch (t.clase) {
            case Clase::Instrumento: {
                l += QByteArray::number(t.n) + '\t' + QByteArray::number(id) + '\t';
                instanteFechaHora(l, s);
                QByteArray numeros, textos;
                for (int k = 0; k < 7; ++k) {
                    bool nulo = false;
                    const QByteArray v = bytes(s, 3 + k, nulo);
                    const bool numero = !nulo && central::esNumeroExacto(v);
                    numeros += '\t';
                    textos += '\t';
                    central::agregarCopia(numeros, v, !numero);
                    central::agregarCopia(textos, v, nulo || numero);
                }
                l += numeros + textos + '\t';
                campo(l, s, 10);
                lote.lecturas += l + '\n';
                break;
            }
            case Clase::Combinada: {
                l += QByteArray::number(id) + '\t';
                instanteFechaHora(l, s);
                QStringList valores;
                for (int k = 3; k < sqlite3_column_count(s); ++k)
                    valores << texto(s, k);
                l += '\t';
                central::agregarCopia(l, central::literalArreglo(valores));
                lote.combinadas += l + '\n';
                break;
            }
            case Clase::Eventos: {
                l += QByteArray::number(id) + '\t';
                bool ni = false;
                const QByteArray inst = bytes(s, 1, ni);
                const bool valido = !ni && QDateTime::fromString(QString::fromLatin1(inst), Qt::ISODate).isValid();
                central::agregarCopia(l, inst, !valido);
                for (int k = 2; k <= 13; ++k) {
                    l += '\t';
                    if (k == 4 || k == 9) {   // Instrumento, Nivel: integers
                        const bool nulo = sqlite3_column_type(s, k) == SQLITE_NULL;
                        central::agregarCopia(l, QByteArray::number(sqlite3_column_int64(s, k)), nulo);
                    } else {
                        campo(l, s, k);
                    }
                }
                lote.eventos += l + '\n';
                break;
            }
            }
            lote.marcas[i] = id;
            ++lote.filas;
            --resto;
        }
        sqlite3_finalize(s);
    }
    return lote.filas > 0;
}

bool Hilo::copiar(const char* tabla, const QByteArray& datos, QString* error)
{
    if (datos.isEmpty())
        return true;
    PGconn* c = pg_.get();
    PGresult* r = PQexec(c, (QByteArray("COPY ") + tabla + " FROM STDIN").constData());
    const bool listo = r && PQresultStatus(r) == PGRES_COPY_IN;
    PQclear(r);
    if (!listo) {
        *error = QString::fromUtf8(PQerrorMessage(c)).trimmed();
        return false;
    }
    bool ok = PQputCopyData(c, datos.constData(), int(datos.size())) == 1 && PQputCopyEnd(c, nullptr) == 1;
    while ((r = PQgetResult(c))) {
        if (PQresultStatus(r) != PGRES_COMMAND_OK)
            ok = false;
        PQclear(r);
    }
    if (!ok)
        *error = QString::fromUtf8(PQerrorMessage(c)).trimmed();
    return ok;
}

bool Hilo::enviar(const Lote& lote, QString* error)
{
    PGconn* c = pg_.get();
    if (!central::ejecutar(c, "BEGIN", error))
        return false;
    bool ok = copiar("lote_lecturas", lote.lecturas, error) && copiar("lote_combinadas", lote.combinadas, error)
              && copiar("lote_eventos", lote.eventos, error);
    QByteArray sql;
    if (!lote.lecturas.isEmpty())
        sql += "INSERT INTO ombrix.lecturas SELECT * FROM lote_lecturas ON CONFLICT DO NOTHING;";
    if (!lote.combinadas.isEmpty())
        sql += "INSERT INTO ombrix.combinadas SELECT * FROM lote_combinadas ON CONFLICT DO NOTHING;";
    if (!lote.eventos.isEmpty())
        sql += "INSERT INTO ombrix.eventos SELECT * FROM lote_eventos ON CONFLICT DO NOTHING;";
    ok = ok && central::ejecutar(c, sql + "COMMIT", error);
    if (!ok && PQstatus(c) == CONNECTION_OK)
        PQclear(PQexec(c, "ROLLBACK"));
    return ok;
}

void Hilo::correr()
{
    bool ultimaVuelta = false;
    for (;;) {
        bool parar;
        Reloj::time_point limite;
        {
            std::lock_guard<std::mutex> g(e_->m);
            parar = e_->parar;
            limite = e_->limite;
        }
        if (parar && (ultimaVuelta || Reloj::now() >= limite))
            break;
        const int restoMs = parar ? int(std::chrono::duration_cast<std::chrono::milliseconds>(limite - Reloj::now()).count()) : 0;
        if (!abrirLocal()) {
            if (parar || !esperar(pausaMs_))
                break;
            pausaMs_ = qMin(pausaMs_ * 2, d_.pausaMaximaMs);
            continue;
        }
        if (!pg_) {
            if (!conectar(parar ? qMax(2, restoMs / 1000) : 5)) {
                if (parar || !esperar(pausaMs_))
                    break;
                pausaMs_ = qMin(pausaMs_ * 2, d_.pausaMaximaMs);
                continue;
            }
        }
        // A table missing from the list is looked for again every few seconds.
        if (tablas_.size() < size_t(central::kInstrumentos + 2) && revisadas_.elapsed() > 5000)
            listarTablas();
        Lote lote;
        if (!pg_)
            continue;
        if (!armarLote(lote)) {
            cifras([](Reenviador::Cifras& c) { c.enEspera = 0; });
            if (parar) {
                ultimaVuelta = true;   // everything is on the server
                continue;
            }
            esperar(1000);
            continue;
        }
        QString error;
        if (!enviar(lote, &error)) {
            // Whether the last COMMIT landed is read back at the next connection.
            desconectar(error);
            continue;
        }
        for (size_t i = 0; i < tablas_.size(); ++i)
            tablas_[i].marca = lote.marcas[i];
        cifras([&lote](Reenviador::Cifras& c) {
            c.enviadas += lote.filas;
            c.enEspera = qMax<qint64>(0, c.enEspera - lote.filas);
            ++c.lotes;
        });
    }
    pg_.reset();
    cerrarLocal();
}

} // namespace

Reenviador::Reenviador(const Destino& destino, const QString& ruta, std::function<void(const QString&)> avisar)
    : destino_(destino), e_(std::make_shared<Estado>())
{
    e_->ruta = ruta;
    e_->versionRuta = 1;
    if (!avisar)
        avisar = [](const QString&) {};
    hilo_ = std::thread([d = destino_, e = e_, a = std::move(avisar)] {
        Hilo h(d, e, a);
        h.correr();
        // The reader connection is gone with the thread's BaseDatos.
    });
}

Reenviador::~Reenviador()
{
    detener();
}

void Reenviador::archivoAbierto(const QString& ruta)
{
    std::lock_guard<std::mutex> g(e_->m);
    if (ruta == e_->ruta)
        return;
    e_->ruta = ruta;
    ++e_->versionRuta;
    e_->despertar = true;
    e_->cv.notify_all();
}

void Reenviador::filaNueva(int)
{
    std::lock_guard<std::mutex> g(e_->m);
    e_->despertar = true;
    e_->cv.notify_all();
}

void Reenviador::evento(const Evento&)
{
    filaNueva(0);
}

void Reenviador::detener()
{
    if (!hilo_.joinable())
        return;
    {
        std::lock_guard<std::mutex> g(e_->m);
        e_->parar = true;
        e_->limite = Reloj::now() + std::chrono::milliseconds(destino_.esperaFinalMs);
        e_->cv.notify_all();
    }
    hilo_.join();
}

Reenviador::Cifras Reenviador::cifras() const
{
    std::lock_guard<std::mutex> g(e_->m);
    return e_->cifras;
}

} // namespace ombrix
