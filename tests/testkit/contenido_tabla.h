#pragma once
// The rows of a table, as texts, in Id order: what the tests compare stored
// rows with.

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QStringList>

namespace ombrix::test {

inline QList<QStringList> contenidoTabla(const QSqlDatabase& db, const QString& tabla, const QString& columnas)
{
    QList<QStringList> r;
    QSqlQuery q(db);
    q.exec(QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY Id").arg(columnas, tabla));
    while (q.next()) {
        QStringList fila;
        for (int i = 0; i < q.record().count(); ++i)
            fila << q.value(i).toString();
        r << fila;
    }
    return r;
}

} // namespace ombrix::test
