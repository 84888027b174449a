#include "central/linea_central.h"

#include "central/servidor_central.h"

#include <libpq-fe.h>
#include <sqlite3.h>

#include <memory>

namespace ombrix::central {

namespace {

bool fallo(QString* error, const QString& t)
{
    if (error)
        *error = t;
    return false;
}

struct CerrarSqlite {
    void operator()(sqlite3* h) const { sqlite3_close(h); }
};

// Streams the rows of one view into the local table of the same name.
bool copiarTabla(PGconn* c, sqlite3* h, const QString& linea, const QString& tabla, qint64& filas, QString* error)
{
    const QByteArray esquema = esquemaDeLinea(linea).toUtf8(), t = tabla.toUtf8();
    char* ie = PQescapeIdentifier(c, esquema.constData(), size_t(esquema.size()));
    char* it = PQescapeIdentifier(c, t.constData(), size_t(t.size()));
    const QByteArray sql = QByteArray("SELECT * FROM ") + ie + "." + it + " ORDER BY \"Id\"";
    PQfreemem(ie);
    PQfreemem(it);
    if (!PQsendQuery(c, sql.constData()) || !PQsetSingleRowMode(c))
        return fallo(error, QString::fromUtf8(PQerrorMessage(c)).trimmed());
    sqlite3_stmt* s = nullptr;
    bool ok = true;
    QString motivo;
    while (PGresult* r = PQgetResult(c)) {
        const ExecStatusType st = PQresultStatus(r);
        if (st == PGRES_SINGLE_TUPLE && ok) {
            const int columnas = PQnfields(r);
            if (!s) {
                QByteArray nombres, marcas;
                for (int k = 0; k < columnas; ++k) {
                    nombres += (k ? ",\"" : "\"") + QByteArray(PQfname(r, k)) + "\"";
                    marcas += k ? ",?" : "?";
                }
                const QByteArray ins = "INSERT INTO \"" + t + "\" (" + nombres + ") VALUES (" + marcas + ")";
                if (sqlite3_prepare_v2(h, ins.constData(), -1, &s, nullptr) != SQLITE_OK) {
                    ok = false;
                    motivo = QString::fromUtf8(sqlite3_errmsg(h));
                }
            }
            if (ok) {
                for (int k = 0; k < columnas; ++k) {
                    if (PQgetisnull(r, 0, k))
                        sqlite3_bind_null(s, k + 1);
                    else if (k == 0 || (tabla == QLatin1String("Eventos") && (k == 4 || k == 9)))
                        sqlite3_bind_int64(s, k + 1, QByteArray(PQgetvalue(r, 0, k)).toLongLong());
                    else
                        sqlite3_bind_text(s, k + 1, PQgetvalue(r, 0, k), PQgetlength(r, 0, k), SQLITE_TRANSIENT);
                }
                if (sqlite3_step(s) != SQLITE_DONE) {
                    ok = false;
                    motivo = QString::fromUtf8(sqlite3_errmsg(h));
                }
                sqlite3_reset(s);
                ++filas;
            }
        } else if (st != PGRES_SINGLE_TUPLE && st != PGRES_TUPLES_OK && ok) {
            ok = false;
            motivo = QString::fromUtf8(PQresultErrorMessage(r)).trimmed();
        }
        PQclear(r);
    }
    sqlite3_finalize(s);
    return ok || fallo(error, tabla + QStringLiteral(": ") + motivo);
}

} // namespace

bool copiarLinea(const QString& url, const QString& clave, const QString& linea, const QStringList& tablas,
                 const QString& destino, qint64* filas, QString* error)
{
    QString e;
    Conexion c = conectar(url, clave, 10, &e);
    if (!c)
        return fallo(error, QStringLiteral("no se puede conectar con la base central: ") + e);
    if (!hayEsquema(c.get(), &e))
        return fallo(error, e.isEmpty() ? QStringLiteral("la base central no tiene las tablas de este sistema") : e);
    QList<QStringList> f;
    if (!consultar(c.get(), "SELECT 1 FROM ombrix.lineas WHERE linea = $1", {linea}, f, &e))
        return fallo(error, e);
    if (f.isEmpty())
        return fallo(error, QStringLiteral("la línea %1 no está en la base central").arg(linea));

    sqlite3* crudo = nullptr;
    const int rc = sqlite3_open_v2(destino.toUtf8().constData(), &crudo, SQLITE_OPEN_READWRITE, nullptr);
    std::unique_ptr<sqlite3, CerrarSqlite> h(crudo);
    if (rc != SQLITE_OK)
        return fallo(error, QStringLiteral("%1: %2").arg(destino, QString::fromUtf8(sqlite3_errmsg(crudo))));
    sqlite3_exec(h.get(), "BEGIN", nullptr, nullptr, nullptr);
    qint64 total = 0;
    for (const QString& t : tablas)
        if (!copiarTabla(c.get(), h.get(), linea, t, total, error)) {
            sqlite3_exec(h.get(), "ROLLBACK", nullptr, nullptr, nullptr);
            return false;
        }
    if (sqlite3_exec(h.get(), "COMMIT", nullptr, nullptr, nullptr) != SQLITE_OK)
        return fallo(error, QString::fromUtf8(sqlite3_errmsg(h.get())));
    if (filas)
        *filas = total;
    return true;
}

} // namespace ombrix::central
