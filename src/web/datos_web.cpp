#include "web/datos_web.h"

#include "acquisition/base_datos.h"
#include "events/almacen_eventos.h"
#include "integration/lectura_planta.h"
#include "views/consultas.h"
#include "views/puntos.h"
#include "web/http.h"

#include <QJsonArray>

#include <sqlite3.h>

#include <cmath>
#include <limits>
#include <string>
#include <string_view>
#include <thread>

namespace ombrix::web {

namespace {

// A statement on the connection's own handle, finalized when it goes.
class Sentencia {
public:
    Sentencia(sqlite3* h, const QString& sql)
    {
        if (h)
            rc_ = sqlite3_prepare_v2(h, sql.toUtf8().constData(), -1, &st_, nullptr);
        if (!st_ && h)
            error_ = QString::fromUtf8(sqlite3_errmsg(h));
    }
    ~Sentencia() { finalizar(st_); }
    sqlite3_stmt* operator*() const { return st_; }
    QString error() const { return error_.isEmpty() ? QStringLiteral("no se puede leer la tabla") : error_; }
    bool valida() const { return st_ != nullptr; }

private:
    sqlite3_stmt* st_ = nullptr;
    int rc_ = SQLITE_OK;
    QString error_;
};

std::string_view texto(sqlite3_stmt* st, int c)
{
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(st, c));
    return t ? std::string_view(t, size_t(sqlite3_column_bytes(st, c))) : std::string_view();
}

// The time of the first row with Id >= id: its Id and time; false when none.
// A row whose date cannot be read counts as the earliest.
bool filaDesde(sqlite3_stmt* st, qint64 id, qint64& idFila, double& x)
{
    sqlite3_reset(st);
    sqlite3_bind_int64(st, 1, id);
    if (sqlite3_step(st) != SQLITE_ROW)
        return false;
    idFila = sqlite3_column_int64(st, 0);
    if (!leerFechaHora(texto(st, 1), texto(st, 2), x))
        x = -std::numeric_limits<double>::infinity();
    return true;
}

// The smallest Id in [lo, hi] whose row is at or after `x` (hi + 1 when none):
// rows in Id order are in time order.
qint64 primeraDesde(sqlite3_stmt* st, qint64 lo, qint64 hi, double x)
{
    qint64 a = lo, b = hi + 1;
    while (a < b) {
        const qint64 m = a + (b - a) / 2;
        qint64 idFila = 0;
        double t = 0;
        if (!filaDesde(st, m, idFila, t) || idFila > hi) {
            b = m;
            continue;
        }
        if (t < x)
            a = idFila + 1;
        else
            b = m;
    }
    return a;
}

QJsonValue numeroJson(std::string_view t)
{
    double y = 0;
    return leerNumero(t, y) ? QJsonValue(y) : QJsonValue(QJsonValue::Null);
}

} // namespace

bool buscarTramo(const QSqlDatabase& db, int n, qint64 desde, qint64 hasta, Tramo& tramo, QString* error)
{
    sqlite3* h = manejadorSqlite(db);
    const QString tabla = identificadorSql(tablaInstrumento(n));
    // Two lookups: SQLite reads the whole table for min() and max() in one select.
    Sentencia extremos(h, QStringLiteral("SELECT (SELECT min(Id) FROM %1), (SELECT max(Id) FROM %1)").arg(tabla));
    if (!extremos.valida()) {
        if (error)
            *error = extremos.error();
        return false;
    }
    tramo = {};
    if (sqlite3_step(*extremos) != SQLITE_ROW || sqlite3_column_type(*extremos, 0) == SQLITE_NULL)
        return true;
    const qint64 minimo = sqlite3_column_int64(*extremos, 0), maximo = sqlite3_column_int64(*extremos, 1);
    Sentencia fila(h, QStringLiteral("SELECT Id, Fecha, Hora FROM %1 WHERE Id >= ?1 ORDER BY Id LIMIT 1").arg(tabla));
    if (!fila.valida()) {
        if (error)
            *error = fila.error();
        return false;
    }
    tramo.primero = primeraDesde(*fila, minimo, maximo, double(desde));
    tramo.ultimo = primeraDesde(*fila, tramo.primero, maximo, double(hasta) + 1) - 1;
    return true;
}

namespace {

struct Cubo {
    double t = 0, min = 0, max = 0, consigna = 0;
    bool filas = false, valor = false, conConsigna = false;
};

// The time of a row: the date is parsed again only when it changes.
struct Reloj {
    std::string fecha;
    double dia = 0;
    bool valida = false;
    bool leer(std::string_view f, std::string_view h, double& x)
    {
        if (f != fecha) {
            fecha.assign(f);
            valida = leerFechaHora(f, "00:00:00", dia);
        }
        if (valida && h.size() == 8 && h[2] == ':' && h[5] == ':') {
            int v[6];
            for (int i : {0, 1, 3, 4, 6, 7}) {
                if (h[size_t(i)] < '0' || h[size_t(i)] > '9')
                    return leerFechaHora(f, h, x);
                v[i < 3 ? i : i < 6 ? i - 1 : i - 2] = h[size_t(i)] - '0';
            }
            const int hh = v[0] * 10 + v[1], mm = v[2] * 10 + v[3], ss = v[4] * 10 + v[5];
            if (hh > 23 || mm > 59 || ss > 59)
                return false;
            x = dia + hh * 3600 + mm * 60 + ss;
            return true;
        }
        return leerFechaHora(f, h, x);
    }
};

void agregarFila(Cubo& c, double x, const double* y, const double* sp)
{
    if (!c.filas) {
        c.filas = true;
        c.t = x;
    }
    if (y) {
        c.min = c.valor ? std::min(c.min, *y) : *y;
        c.max = c.valor ? std::max(c.max, *y) : *y;
        c.valor = true;
    }
    if (sp) {
        c.consigna = *sp;
        c.conConsigna = true;
    }
}

// Adds to slice `c` the rows of `d`, which come after its own: `c` keeps
// its start, `d` gives the last set point.
void fundir(Cubo& c, const Cubo& d)
{
    if (!d.filas)
        return;
    if (!c.filas) {
        c = d;
        return;
    }
    if (d.valor) {
        c.min = c.valor ? std::min(c.min, d.min) : d.min;
        c.max = c.valor ? std::max(c.max, d.max) : d.max;
        c.valor = true;
    }
    if (d.conConsigna) {
        c.consigna = d.consigna;
        c.conConsigna = true;
    }
}

// Reads the rows with Id in [primero, ultimo] into the slices, block by
// block of Ids; with `resumenes`, a block summarised before whose rows all
// fall in one slice is taken whole, and every whole block read is kept.
// `maximo`: the table's last Id (blocks below it are whole for good).
bool escanear(const QSqlDatabase& db, int n, qint64 primero, qint64 ultimo, qint64 desde, qint64 hasta,
              std::vector<Cubo>& cubos, qint64& filas, QString* error, Resumenes* resumenes, qint64 maximo)
{
    sqlite3* h = manejadorSqlite(db);
    // Big spans read many pages: mapped, they are not copied.
    sqlite3_exec(h, "PRAGMA mmap_size=268435456", nullptr, nullptr, nullptr);
    Sentencia st(h, QStringLiteral("SELECT Fecha, Hora, Valor_medido, Set_point FROM %1 WHERE Id BETWEEN ?1 AND ?2")
                        .arg(identificadorSql(tablaInstrumento(n))));
    if (!st.valida()) {
        if (error)
            *error = st.error();
        return false;
    }
    const int puntos = int(cubos.size());
    const double ancho = double(hasta - desde + 1) / puntos;
    auto cubo = [&](double x) -> Cubo& { return cubos[size_t(std::clamp(int((x - desde) / ancho), 0, puntos - 1))]; };
    constexpr qint64 B = Resumenes::kFilasBloque;
    Reloj reloj;
    // Blocks are Ids k*B .. k*B+B-1; the span's ends may cut the first and the last.
    for (qint64 k = primero / B; k <= ultimo / B; ++k) {
        const qint64 a = std::max(primero, k * B), b = std::min(ultimo, k * B + B - 1);
        const bool entero = a == k * B && b == k * B + B - 1 && b < maximo;
        Resumenes::Bloque r;
        if (entero && resumenes && resumenes->buscar(n, k, r)) {
            if (r.filas == 0)
                continue;
            if (r.enOrden && r.t0 >= desde && r.t1 <= hasta && &cubo(r.t0) == &cubo(r.t1)) {
                filas += r.filas;
                Cubo b;
                b.t = r.t0;
                b.min = r.min;
                b.max = r.max;
                b.consigna = r.consigna;
                b.filas = true;
                b.valor = r.valor;
                b.conConsigna = r.conConsigna;
                fundir(cubo(r.t0), b);
                continue;
            }
        }
        sqlite3_reset(*st);
        sqlite3_bind_int64(*st, 1, a);
        sqlite3_bind_int64(*st, 2, b);
        Resumenes::Bloque nuevo;
        bool primeraFila = true;
        double anterior = 0;
        int rc;
        while ((rc = sqlite3_step(*st)) == SQLITE_ROW) {
            double x = 0;
            if (!reloj.leer(texto(*st, 0), texto(*st, 1), x)) {
                nuevo.enOrden = false;   // a row without a time is never summarised away
                continue;
            }
            double y = 0, sp = 0;
            const bool conY = leerNumero(texto(*st, 2), y), conSp = leerNumero(texto(*st, 3), sp);
            if (primeraFila)
                nuevo.t0 = x;
            else if (x < anterior)
                nuevo.enOrden = false;
            primeraFila = false;
            anterior = x;
            nuevo.t1 = x;
            ++nuevo.filas;
            if (conY) {
                nuevo.min = nuevo.valor ? std::min(nuevo.min, y) : y;
                nuevo.max = nuevo.valor ? std::max(nuevo.max, y) : y;
                nuevo.valor = true;
            }
            if (conSp) {
                nuevo.consigna = sp;
                nuevo.conConsigna = true;
            }
            if (x < desde || x > hasta)
                continue;
            ++filas;
            agregarFila(cubo(x), x, conY ? &y : nullptr, conSp ? &sp : nullptr);
        }
        if (rc != SQLITE_DONE) {
            if (error)
                *error = QString::fromUtf8(sqlite3_errmsg(h));
            return false;
        }
        if (entero && resumenes)
            resumenes->guardar(n, k, nuevo);
    }
    return true;
}

} // namespace

bool Resumenes::buscar(int n, qint64 k, Bloque& b) const
{
    std::lock_guard g(m_);
    const auto i = bloques_.find(n);
    if (i == bloques_.end())
        return false;
    const auto j = i->second.find(k);
    if (j == i->second.end())
        return false;
    b = j->second;
    return true;
}

void Resumenes::guardar(int n, qint64 k, const Bloque& b)
{
    std::lock_guard g(m_);
    bloques_[n][k] = b;
}

void Resumenes::olvidar(int n)
{
    std::lock_guard g(m_);
    if (n < 0)
        bloques_.clear();
    else
        bloques_.erase(n);
}

qint64 Resumenes::bloques() const
{
    std::lock_guard g(m_);
    qint64 total = 0;
    for (const auto& [n, b] : bloques_)
        total += qint64(b.size());
    return total;
}

std::optional<QJsonObject> tendencia(const QSqlDatabase& db, const QString& ruta, int n, qint64 desde, qint64 hasta,
                                     int puntos, QString* error, qint64 filasEnParalelo, Resumenes* resumenes)
{
    Tramo tramo;
    if (!buscarTramo(db, n, desde, hasta, tramo, error))
        return std::nullopt;
    qint64 maximo = 0;
    {
        Sentencia m(manejadorSqlite(db), QStringLiteral("SELECT max(Id) FROM %1").arg(identificadorSql(tablaInstrumento(n))));
        if (m.valida() && sqlite3_step(*m) == SQLITE_ROW)
            maximo = sqlite3_column_int64(*m, 0);
    }
    std::vector<Cubo> cubos(static_cast<size_t>(puntos));
    qint64 filas = 0;
    if (tramo.ultimo - tramo.primero + 1 > filasEnParalelo && !ruta.isEmpty()) {
        // Cut at a block's end, so both halves keep whole blocks.
        const qint64 B = Resumenes::kFilasBloque;
        const qint64 medio = std::max(tramo.primero, (tramo.primero + (tramo.ultimo - tramo.primero) / 2) / B * B - 1);
        std::vector<Cubo> segundos(cubos.size());
        qint64 filas2 = 0;
        const QString e = enParalelo(2, [&](int i) -> QString {
            QString porque;
            if (i == 0)
                return escanear(db, n, tramo.primero, medio, desde, hasta, cubos, filas, &porque, resumenes, maximo)
                           ? QString()
                           : porque;
            BaseDatos base;
            if (!base.abrirLectura(ruta, &porque, false))
                return porque;
            return escanear(base.db(), n, medio + 1, tramo.ultimo, desde, hasta, segundos, filas2, &porque, resumenes,
                            maximo)
                       ? QString()
                       : porque;
        });
        if (!e.isEmpty()) {
            if (error)
                *error = e;
            return std::nullopt;
        }
        filas += filas2;
        for (size_t k = 0; k < cubos.size(); ++k)
            fundir(cubos[k], segundos[k]);
    } else if (tramo.ultimo >= tramo.primero
               && !escanear(db, n, tramo.primero, tramo.ultimo, desde, hasta, cubos, filas, error, resumenes, maximo)) {
        return std::nullopt;
    }
    QJsonArray serie;
    IsoLocal iso;
    for (const Cubo& c : cubos) {
        if (!c.filas)
            continue;
        QJsonObject p;
        p.insert(QStringLiteral("t"), iso(qint64(c.t)));
        p.insert(QStringLiteral("min"), c.valor ? QJsonValue(c.min) : QJsonValue());
        p.insert(QStringLiteral("max"), c.valor ? QJsonValue(c.max) : QJsonValue());
        p.insert(QStringLiteral("consigna"), c.conConsigna ? QJsonValue(c.consigna) : QJsonValue());
        serie.append(p);
    }
    return QJsonObject {{QStringLiteral("instrumento"), n},
                        {QStringLiteral("desde"), iso(desde)},
                        {QStringLiteral("hasta"), iso(hasta)},
                        {QStringLiteral("puntos"), puntos},
                        {QStringLiteral("filas"), filas},
                        {QStringLiteral("serie"), serie}};
}

std::optional<QJsonObject> lecturas(const QSqlDatabase& db, int n, qint64 desde, qint64 hasta, qint64 despuesDe,
                                    int limite, QString* error)
{
    Tramo tramo;
    if (!buscarTramo(db, n, desde, hasta, tramo, error))
        return std::nullopt;
    QJsonArray filas;
    IsoLocal iso;
    bool mas = false;
    qint64 siguiente = 0;
    const qint64 primero = std::max(tramo.primero, despuesDe + 1);
    if (tramo.ultimo >= primero) {
        Sentencia st(manejadorSqlite(db),
                     QStringLiteral("SELECT Id, Fecha, Hora, Valor_medido, Set_point, Potencia, Alarma_1, Alarma_2, "
                                    "Alarma_3, Alarma_4, Partida FROM %1 WHERE Id BETWEEN ?1 AND ?2 ORDER BY Id LIMIT ?3")
                         .arg(identificadorSql(tablaInstrumento(n))));
        if (!st.valida()) {
            if (error)
                *error = st.error();
            return std::nullopt;
        }
        sqlite3_bind_int64(*st, 1, primero);
        sqlite3_bind_int64(*st, 2, tramo.ultimo);
        sqlite3_bind_int64(*st, 3, limite + 1);
        while (sqlite3_step(*st) == SQLITE_ROW) {
            if (filas.size() == limite) {
                mas = true;
                break;
            }
            QJsonObject f;
            siguiente = sqlite3_column_int64(*st, 0);
            f.insert(QStringLiteral("id"), siguiente);
            double x = 0;
            f.insert(QStringLiteral("tiempo"), leerFechaHora(texto(*st, 1), texto(*st, 2), x)
                                                   ? QJsonValue(iso(qint64(x)))
                                                   : QJsonValue());
            QJsonObject estado;
            for (int k = 0; k < 7; ++k) {
                const QString campo = QString::fromLatin1(kCamposJson[size_t(k)]);
                const QJsonValue v = numeroJson(texto(*st, 3 + k));
                f.insert(campo, v);
                if (v.isNull())
                    estado.insert(campo, QString::fromUtf8(texto(*st, 3 + k)));
            }
            if (!estado.isEmpty())
                f.insert(QStringLiteral("estado"), estado);
            f.insert(QStringLiteral("partida"), QString::fromUtf8(texto(*st, 10)));
            filas.append(f);
        }
    }
    return QJsonObject {{QStringLiteral("instrumento"), n},
                        {QStringLiteral("filas"), filas},
                        {QStringLiteral("mas"), mas},
                        {QStringLiteral("siguiente"), siguiente}};
}

QJsonObject jsonEvento(const Evento& ev)
{
    QJsonObject o {{QStringLiteral("id"), ev.id},
                   {QStringLiteral("instante"), ev.instante},
                   {QStringLiteral("instrumento"), ev.instrumento},
                   {QStringLiteral("tipo"), ev.tipo},
                   {QStringLiteral("texto"), ev.texto},
                   {QStringLiteral("nivel"), ev.nivel},
                   {QStringLiteral("equipo"), ev.equipo},
                   {QStringLiteral("usuario"), ev.usuario},
                   {QStringLiteral("origen"), ev.origen}};
    if (ev.conValores) {
        o.insert(QStringLiteral("anterior"), ev.anterior);
        o.insert(QStringLiteral("nuevo"), ev.nuevo);
    }
    return o;
}

std::optional<QJsonObject> eventos(const QSqlDatabase& db, const QDateTime& desde, const QDateTime& hasta,
                                   int instrumento, int limite, QString* error)
{
    if (!almacenEventos::tieneTablas(db))
        return QJsonObject {{QStringLiteral("eventos"), QJsonArray()}};
    almacenEventos::Filtro f;
    f.instrumento = instrumento;
    f.desde = desde;
    f.hasta = hasta;
    const bool ultimos = !desde.isValid() && !hasta.isValid();
    if (ultimos && instrumento < 0) {
        // The log is append-only and its Ids have no gaps: the last ones are found directly.
        qint64 id = 0;
        QString hash;
        if (!almacenEventos::ultimo(db, id, hash, error))
            return std::nullopt;
        f.despuesDeId = std::max<qint64>(0, id - limite);
    } else if (!ultimos) {
        f.limite = limite;
    }
    QString e;
    QVector<Evento> lista = almacenEventos::leer(db, f, &e);
    if (!e.isEmpty()) {
        if (error)
            *error = e;
        return std::nullopt;
    }
    if (ultimos && lista.size() > limite)
        lista.remove(0, lista.size() - limite);
    else if (lista.size() > limite)
        lista.resize(limite);
    QJsonArray a;
    for (const Evento& ev : lista)
        a.append(jsonEvento(ev));
    return QJsonObject {{QStringLiteral("eventos"), a}};
}

} // namespace ombrix::web
