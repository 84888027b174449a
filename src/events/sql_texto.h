#pragma once
// Small helpers the event log's SQL shares: a quoted identifier and a column
// of an SQLite row as text.

#include <QString>

#include <sqlite3.h>

namespace ombrix::sqlTexto {

inline QString identificador(const QString& nombre)
{
    QString r = nombre;
    r.replace(QLatin1Char('"'), QStringLiteral("\"\""));
    return QLatin1Char('"') + r + QLatin1Char('"');
}

inline QString columna(sqlite3_stmt* s, int c)
{
    const auto* t = reinterpret_cast<const char*>(sqlite3_column_text(s, c));
    return t ? QString::fromUtf8(t, sqlite3_column_bytes(s, c)) : QString();
}

} // namespace ombrix::sqlTexto
