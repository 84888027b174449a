#pragma once
// A database of this system with many readings and one damaged page near its
// end: its tables are all there, the first rows read well, and a read of the
// whole table (or SQLite's quick check) meets the damage.

#include <QFile>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QString>

namespace ombrix::test {

// Adds `filas` readings to Instrumento1 of the database at `ruta` (in
// rollback-journal mode, as the template comes) and overwrites the tenth page
// from the end with bytes that are no page at all. False when it could not.
inline bool llenarYDanar(const QString& ruta, int filas)
{
    int paginas = 0, tamano = 0;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("danar"));
        db.setDatabaseName(ruta);
        if (!db.open())
            return false;
        QSqlQuery q(db);
        bool ok = q.exec(QStringLiteral("PRAGMA journal_mode=DELETE"))
                  && q.exec(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "
                                           "INSERT INTO Instrumento1 (Fecha, Hora, Valor_medido, Partida) "
                                           "SELECT '01/01/2026', '12:00:00', x || '.5', printf('lote %0100d', x) FROM c")
                                .arg(filas))
                  && q.exec(QStringLiteral("PRAGMA page_count")) && q.next();
        paginas = ok ? q.value(0).toInt() : 0;
        ok = ok && q.exec(QStringLiteral("PRAGMA page_size")) && q.next();
        tamano = ok ? q.value(0).toInt() : 0;
        q.finish();
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("danar"));
    if (paginas < 20 || tamano <= 0)
        return false;
    QFile f(ruta);
    if (!f.open(QIODevice::ReadWrite) || !f.seek(qint64(paginas - 10) * tamano))
        return false;
    return f.write(QByteArray(tamano, char(0xAB))) == tamano;
}

} // namespace ombrix::test
