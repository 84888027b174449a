#include "events/sellos.h"

#include "events/almacen_eventos.h"
#include "views/consultas.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QMap>
#include <QSqlError>
#include <QSqlQuery>
#include <QVariant>

#include <sqlite3.h>

#include "events/sql_texto.h"

#include <algorithm>
#include <map>

namespace ombrix::sellos {

namespace {
QString comillas(const QString& t) { return sqlTexto::identificador(t); }


bool fallo(QString* error, const QString& e)
{
    if (error)
        *error = e;
    return false;
}

// One row's bytes as they enter the digest: each column as a type mark, its
// length (4 bytes) and its text, so that NULL, "" and a moved separator all differ.
struct Fila {
    QByteArray bytes;
    void leer(sqlite3_stmt* s, int columnas)
    {
        bytes.resize(0);   // keeps its capacity: no allocation per row
        for (int c = 0; c < columnas; ++c) {
            if (sqlite3_column_type(s, c) == SQLITE_NULL) {
                bytes.append('N');
                continue;
            }
            const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
            const int n = sqlite3_column_bytes(s, c);
            const char largo[5] = {'T', char(n & 0xff), char((n >> 8) & 0xff), char((n >> 16) & 0xff), char((n >> 24) & 0xff)};
            bytes.append(largo, 5);
            bytes.append(t, n);
        }
    }
    quint32 huella() const
    {
        // FNV-1a: enough to tell which row of a range changed; the range
        // itself is checked with SHA-256.
        quint64 h = 1469598103934665603ull;
        for (char c : bytes) {
            h ^= quint8(c);
            h *= 1099511628211ull;
        }
        return quint32(h ^ (h >> 32));
    }
};

void agregarHuella(QByteArray& huellas, quint32 desplazamiento, quint32 huella)
{
    char b[8];
    for (int i = 0; i < 4; ++i) {
        b[i] = char((desplazamiento >> (8 * i)) & 0xff);
        b[4 + i] = char((huella >> (8 * i)) & 0xff);
    }
    huellas.append(b, 8);
}

quint32 leer32(const char* p)
{
    quint32 v = 0;
    for (int i = 0; i < 4; ++i)
        v |= quint32(quint8(p[i])) << (8 * i);
    return v;
}

struct Sello {
    qint64 id = 0;
    QString instante, tabla;
    qint64 desde = 0, hasta = 0, filas = 0;
    QString resumen;
    QByteArray huellas;
    qint64 evento = 0, ultimoEvento = 0;
    QString hash;

    QString calcularHash(const QString& anterior) const
    {
        QByteArray b;
        auto campo = [&b](const QString& t, bool nulo = false) { agregarCampoHash(b, t, nulo); };
        campo(anterior);
        campo(QString::number(id));
        campo(instante);
        campo(tabla);
        campo(QString::number(desde));
        campo(QString::number(hasta));
        campo(QString::number(filas));
        campo(resumen);
        campo(QString::fromLatin1(QCryptographicHash::hash(huellas, QCryptographicHash::Sha256).toHex()));
        campo(QString::number(evento), evento <= 0);
        campo(QString::number(ultimoEvento));
        return QString::fromLatin1(QCryptographicHash::hash(b, QCryptographicHash::Sha256).toHex());
    }
};

const char* const kColumnasSello =
    "\"Id\",\"Instante\",\"Tabla\",\"Desde\",\"Hasta\",\"Filas\",\"Resumen\",\"Huellas\",\"Evento\",\"UltimoEvento\",\"Hash\"";

Sello selloDe(const QSqlQuery& q)
{
    Sello s;
    s.id = q.value(0).toLongLong();
    s.instante = q.value(1).toString();
    s.tabla = q.value(2).toString();
    s.desde = q.value(3).toLongLong();
    s.hasta = q.value(4).toLongLong();
    s.filas = q.value(5).toLongLong();
    s.resumen = q.value(6).toString();
    s.huellas = q.value(7).toByteArray();
    s.evento = q.value(8).isNull() ? 0 : q.value(8).toLongLong();
    s.ultimoEvento = q.value(9).toLongLong();
    s.hash = q.value(10).toString();
    return s;
}

qint64 escalar(const QSqlDatabase& db, const QString& sql, const QVariantList& valores = {})
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(sql);
    for (const QVariant& v : valores)
        q.addBindValue(v);
    if (!q.exec() || !q.next())
        return 0;
    return q.value(0).toLongLong();
}

// Appends seal `s` (Id, instant, chain and last event filled here).
bool escribirSello(QSqlDatabase db, Sello s, QString* error)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    QString anterior;
    s.id = 1;
    if (!q.exec(QStringLiteral("SELECT \"Id\",\"Hash\" FROM \"Sellos\" ORDER BY \"Id\" DESC LIMIT 1")))
        return fallo(error, q.lastError().text());
    if (q.next()) {
        s.id = q.value(0).toLongLong() + 1;
        anterior = q.value(1).toString();
    }
    q.finish();
    s.instante = QDateTime::currentDateTimeUtc().toString(Qt::ISODate);
    s.ultimoEvento = escalar(db, QStringLiteral("SELECT max(\"Id\") FROM \"Eventos\""));
    s.hash = s.calcularHash(anterior);
    q.prepare(QStringLiteral("INSERT INTO \"Sellos\" (%1) VALUES (?,?,?,?,?,?,?,?,?,?,?)").arg(QLatin1String(kColumnasSello)));
    q.addBindValue(s.id);
    q.addBindValue(s.instante);
    q.addBindValue(s.tabla);
    q.addBindValue(s.desde);
    q.addBindValue(s.hasta);
    q.addBindValue(s.filas);
    q.addBindValue(s.resumen);
    q.addBindValue(s.huellas);
    q.addBindValue(s.evento > 0 ? QVariant(s.evento) : QVariant(QMetaType::fromType<qlonglong>()));
    q.addBindValue(s.ultimoEvento);
    q.addBindValue(s.hash);
    if (!q.exec())
        return fallo(error, q.lastError().text());
    return true;
}

bool sellarRango(QSqlDatabase db, const QString& tabla, qint64 desde, qint64 hasta, qint64 evento, QString* error)
{
    sqlite3* h = manejadorSqlite(db);
    if (!h)
        return fallo(error, QStringLiteral("la conexión no es de SQLite"));
    Resumen r;
    if (!resumir(h, tabla, desde, hasta, r, error))
        return false;
    Sello s;
    s.tabla = tabla;
    s.desde = desde;
    s.hasta = hasta;
    s.filas = r.filas;
    s.resumen = QString::fromLatin1(r.digest.toHex());
    s.huellas = r.huellas;
    s.evento = evento;
    return escribirSello(db, s, error);
}

// Every seal of the file, in the order they were written.
bool leerSellos(const QSqlDatabase& db, QVector<Sello>& sellos, QString* error)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT %1 FROM \"Sellos\" ORDER BY \"Id\"").arg(QLatin1String(kColumnasSello))))
        return fallo(error, q.lastError().text());
    while (q.next())
        sellos.append(selloDe(q));
    return true;
}

QString rangoTexto(qint64 a, qint64 b)
{
    return a == b ? QStringLiteral("Id %1").arg(a) : QStringLiteral("Id %1 a %2").arg(a).arg(b);
}

// Checks a chain of rows (events or seals): Ids that follow one another and
// each hash made from the previous one. Returns the last Id.
template <typename T, typename F>
qint64 revisarCadena(const QVector<T>& filas, const QString& tabla, const QString& plural, const QString& singular,
                     const QString& cambiado, F&& hallado)
{
    QString anterior;
    qint64 esperado = 1, ultimo = 0;
    for (const T& f : filas) {
        if (f.id > esperado)
            hallado(tabla, esperado, QStringLiteral("%1: faltan %2 %3").arg(tabla, plural, rangoTexto(esperado, f.id - 1)));
        if (f.calcularHash(anterior) != f.hash)
            hallado(tabla, f.id, QStringLiteral("%1: %2 Id %3 fue %4 (su huella no coincide)").arg(tabla, singular).arg(f.id).arg(cambiado));
        anterior = f.hash;
        esperado = f.id + 1;
        ultimo = f.id;
    }
    return ultimo;
}

} // namespace

QStringList tablasSelladas()
{
    QStringList t;
    for (int n = 1; n <= 20; ++n)
        t << QStringLiteral("Instrumento%1").arg(n);
    t << QStringLiteral("Combinada");
    return t;
}

bool resumir(sqlite3* h, const QString& tabla, qint64 desde, qint64 hasta, Resumen& r, QString* error)
{
    r = Resumen();
    const QByteArray sql = (QStringLiteral("SELECT * FROM %1 WHERE \"Id\" >= ?1").arg(comillas(tabla))
                            + (hasta > 0 ? QStringLiteral(" AND \"Id\" <= ?2") : QString())
                            + QStringLiteral(" ORDER BY \"Id\""))
                               .toUtf8();
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(h, sql.constData(), -1, &s, nullptr) != SQLITE_OK)
        return fallo(error, QString::fromUtf8(sqlite3_errmsg(h)));
    sqlite3_bind_int64(s, 1, desde);
    if (hasta > 0)
        sqlite3_bind_int64(s, 2, hasta);
    QCryptographicHash sha(QCryptographicHash::Sha256);
    Fila f;
    const int columnas = sqlite3_column_count(s);
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        f.leer(s, columnas);
        sha.addData(f.bytes);
        agregarHuella(r.huellas, quint32(sqlite3_column_int64(s, 0) - desde), f.huella());
        ++r.filas;
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE)
        return fallo(error, QString::fromUtf8(sqlite3_errmsg(h)));
    r.digest = sha.result();
    return true;
}

QString resumenPartida(const QSqlDatabase& db, const QString& tabla, const QString& partida, qint64* filas, QString* error)
{
    sqlite3* h = manejadorSqlite(db);
    if (!h) {
        fallo(error, QStringLiteral("la conexión no es de SQLite"));
        return {};
    }
    const QByteArray sql =
        QStringLiteral("SELECT * FROM %1 WHERE \"Partida\" = ?1 ORDER BY \"Id\"").arg(comillas(tabla)).toUtf8();
    sqlite3_stmt* s = nullptr;
    if (sqlite3_prepare_v2(h, sql.constData(), -1, &s, nullptr) != SQLITE_OK) {
        fallo(error, QString::fromUtf8(sqlite3_errmsg(h)));
        return {};
    }
    const QByteArray p = partida.toUtf8();
    sqlite3_bind_text(s, 1, p.constData(), int(p.size()), SQLITE_TRANSIENT);
    QCryptographicHash sha(QCryptographicHash::Sha256);
    Fila f;
    const int columnas = sqlite3_column_count(s);
    qint64 n = 0;
    int rc;
    while ((rc = sqlite3_step(s)) == SQLITE_ROW) {
        f.leer(s, columnas);
        sha.addData(f.bytes);
        ++n;
    }
    sqlite3_finalize(s);
    if (rc != SQLITE_DONE) {
        fallo(error, QString::fromUtf8(sqlite3_errmsg(h)));
        return {};
    }
    if (filas)
        *filas = n;
    return QString::fromLatin1(sha.result().toHex());
}

qint64 ultimoSellado(const QSqlDatabase& db, const QString& tabla)
{
    return escalar(db, QStringLiteral("SELECT max(\"Hasta\") FROM \"Sellos\" WHERE \"Tabla\" = ?"), {tabla});
}

qint64 sellarPendientes(QSqlDatabase db, const QString& tabla, qint64 maximo, QString* error)
{
    qint64 hecho = 0;
    qint64 desde = ultimoSellado(db, tabla) + 1;
    while (hecho < maximo) {
        const qint64 cuantos = std::min<qint64>(kMaxFilasSello, maximo - hecho);
        // The Id that closes this seal: the cuantos-th row after the last sealed.
        QSqlQuery q(db);
        q.setForwardOnly(true);
        q.prepare(QStringLiteral("SELECT max(\"Id\"), count(*) FROM (SELECT \"Id\" FROM %1 WHERE \"Id\" >= ? ORDER BY \"Id\" LIMIT ?)")
                      .arg(comillas(tabla)));
        q.addBindValue(desde);
        q.addBindValue(cuantos);
        if (!q.exec() || !q.next()) {
            fallo(error, q.lastError().text());
            return -1;
        }
        const qint64 hasta = q.value(0).toLongLong(), filas = q.value(1).toLongLong();
        q.finish();
        if (filas == 0)
            break;
        if (!sellarRango(db, tabla, desde, hasta, 0, error))
            return -1;
        hecho += filas;
        desde = hasta + 1;
    }
    return hecho;
}

bool resellar(QSqlDatabase db, const QString& tabla, qint64 id, qint64 evento, QString* error)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    q.prepare(QStringLiteral("SELECT \"Desde\",\"Hasta\" FROM \"Sellos\" WHERE \"Tabla\" = ? AND \"Desde\" <= ? AND \"Hasta\" >= ? "
                             "ORDER BY \"Id\" DESC LIMIT 1"));
    q.addBindValue(tabla);
    q.addBindValue(id);
    q.addBindValue(id);
    if (!q.exec())
        return fallo(error, q.lastError().text());
    if (!q.next())
        return true;   // not sealed yet: the next seal takes the row as it is now
    const qint64 desde = q.value(0).toLongLong(), hasta = q.value(1).toLongLong();
    q.finish();
    return sellarRango(db, tabla, desde, hasta, evento, error);
}

bool sellarVaciado(QSqlDatabase db, const QString& tabla, qint64 evento, QString* error)
{
    const qint64 hasta = std::max(escalar(db, QStringLiteral("SELECT seq FROM sqlite_sequence WHERE name = ?"), {tabla}),
                                  ultimoSellado(db, tabla));
    if (hasta <= 0)
        return true;
    return sellarRango(db, tabla, 1, hasta, evento, error);
}

Verificacion verificar(const QSqlDatabase& db)
{
    Verificacion v;
    if (!almacenEventos::tieneTablas(db)) {
        v.error = QStringLiteral("el archivo no tiene registro de eventos ni sellos (lo crea el programa o el registrador al abrirlo)");
        return v;
    }
    auto hallado = [&v](const QString& tabla, qint64 id, const QString& texto) { v.hallazgos.append({tabla, id, texto}); };

    // The events: Ids follow one another and each hash chains to the one before.
    qint64 ultimoEvento = 0;
    {
        QString error;
        const QVector<Evento> eventos = almacenEventos::leer(db, {}, &error);
        if (!error.isEmpty()) {
            v.error = error;
            return v;
        }
        ultimoEvento = revisarCadena(eventos, QStringLiteral("Eventos"), QStringLiteral("los eventos"),
                                     QStringLiteral("el evento"), QStringLiteral("modificado"), hallado);
        v.eventos = eventos.size();
    }

    // The seals: the same chain.
    QVector<Sello> sellos;
    if (!leerSellos(db, sellos, &v.error))
        return v;
    v.sellos = sellos.size();
    {
        revisarCadena(sellos, QStringLiteral("Sellos"), QStringLiteral("los sellos"), QStringLiteral("el sello"),
                      QStringLiteral("modificado"), hallado);
        qint64 ultimoSegunSellos = 0;
        for (const Sello& s : std::as_const(sellos))
            ultimoSegunSellos = std::max(ultimoSegunSellos, s.ultimoEvento);
        // Events removed from the end: the last seal knew of them.
        if (ultimoSegunSellos > ultimoEvento)
            hallado(QStringLiteral("Eventos"), ultimoEvento + 1,
                    QStringLiteral("Eventos: faltan los eventos %1").arg(rangoTexto(ultimoEvento + 1, ultimoSegunSellos)));
    }

    sqlite3* h = manejadorSqlite(db);
    if (!h) {
        v.error = QStringLiteral("la conexión no es de SQLite");
        return v;
    }
    for (const QString& tabla : tablasSelladas()) {
        // The seals in force: a later seal of a range (the program changed
        // it) replaces every earlier one it overlaps.
        std::map<qint64, Sello> vigentes;   // by Desde
        for (const Sello& s : std::as_const(sellos)) {
            if (s.tabla != tabla)
                continue;
            auto it = vigentes.upper_bound(s.hasta);
            while (it != vigentes.begin()) {
                auto prev = std::prev(it);
                if (prev->second.hasta < s.desde)
                    break;
                it = vigentes.erase(prev);
            }
            vigentes.emplace(s.desde, s);
        }
        const qint64 maxSellado = vigentes.empty() ? 0 : vigentes.rbegin()->second.hasta;

        const QByteArray sql = QStringLiteral("SELECT * FROM %1 ORDER BY \"Id\"").arg(comillas(tabla)).toUtf8();
        sqlite3_stmt* st = nullptr;
        if (sqlite3_prepare_v2(h, sql.constData(), -1, &st, nullptr) != SQLITE_OK) {
            hallado(tabla, 0, QStringLiteral("%1: no se pudo leer la tabla: %2").arg(tabla, QString::fromUtf8(sqlite3_errmsg(h))));
            continue;
        }
        const int columnas = sqlite3_column_count(st);
        auto sello = vigentes.begin();
        QCryptographicHash sha(QCryptographicHash::Sha256);
        QByteArray huellas;
        qint64 sinSellar = 0;
        Fila f;
        auto cerrar = [&](const Sello& s) {
            // The range as it is now against its seal, row by row when it differs.
            const QByteArray digest = sha.result();
            sha.reset();
            if (QString::fromLatin1(digest.toHex()) != s.resumen || huellas != s.huellas) {
                QMap<qint64, quint32> antes, ahora;
                for (qsizetype i = 0; i + 8 <= s.huellas.size(); i += 8)
                    antes.insert(s.desde + leer32(s.huellas.constData() + i), leer32(s.huellas.constData() + i + 4));
                for (qsizetype i = 0; i + 8 <= huellas.size(); i += 8)
                    ahora.insert(s.desde + leer32(huellas.constData() + i), leer32(huellas.constData() + i + 4));
                int dichos = 0;
                for (auto a = antes.cbegin(); a != antes.cend(); ++a) {
                    if (!ahora.contains(a.key())) {
                        hallado(tabla, a.key(), QStringLiteral("%1: falta la fila Id %2").arg(tabla).arg(a.key()));
                        ++dichos;
                    } else if (ahora.value(a.key()) != a.value()) {
                        hallado(tabla, a.key(), QStringLiteral("%1: la fila Id %2 fue modificada").arg(tabla).arg(a.key()));
                        ++dichos;
                    }
                }
                for (auto a = ahora.cbegin(); a != ahora.cend(); ++a)
                    if (!antes.contains(a.key())) {
                        hallado(tabla, a.key(), QStringLiteral("%1: la fila Id %2 fue añadida").arg(tabla).arg(a.key()));
                        ++dichos;
                    }
                if (dichos == 0)
                    hallado(tabla, s.desde, QStringLiteral("%1: las filas %2 fueron modificadas").arg(tabla, rangoTexto(s.desde, s.hasta)));
            }
            huellas.clear();
        };
        auto avanzarHasta = [&](qint64 id) {
            // Closes every seal that ends before `id` (rows of those ranges are all read).
            while (sello != vigentes.end() && sello->second.hasta < id) {
                cerrar(sello->second);
                ++sello;
            }
        };
        int rc;
        while ((rc = sqlite3_step(st)) == SQLITE_ROW) {
            const qint64 id = sqlite3_column_int64(st, 0);
            ++v.filasRevisadas;
            avanzarHasta(id);
            if (sello != vigentes.end() && sello->second.desde <= id) {
                f.leer(st, columnas);
                sha.addData(f.bytes);
                agregarHuella(huellas, quint32(id - sello->second.desde), f.huella());
            } else if (id > maxSellado) {
                ++sinSellar;
            } else {
                hallado(tabla, id, QStringLiteral("%1: la fila Id %2 fue añadida").arg(tabla).arg(id));
            }
        }
        if (rc != SQLITE_DONE)
            hallado(tabla, 0, QStringLiteral("%1: no se pudo leer la tabla: %2").arg(tabla, QString::fromUtf8(sqlite3_errmsg(h))));
        sqlite3_finalize(st);
        avanzarHasta(std::numeric_limits<qint64>::max());
        if (sinSellar > 0)
            v.notas << QStringLiteral("%1: %2 filas aún sin sellar (posteriores al Id %3)").arg(tabla).arg(sinSellar).arg(maxSellado);
    }
    return v;
}

} // namespace ombrix::sellos
