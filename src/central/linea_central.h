#pragma once
// Reading a line back from the central database: its rows are copied, in Id
// order and with their Ids, into a database file shaped like the line's own
// (a copy of the template), so every reader of files (exports, reports)
// gives from the server exactly what it gives from the line's file.

#include <QString>
#include <QStringList>

namespace ombrix::central {

// Fills the tables `tablas` ("Instrumento3", "Combinada", "Eventos") of the
// SQLite file `destino` (which has them, empty) with the rows of line
// `linea`. `clave` empty leaves the password to libpq. False with the reason.
// `filas` gets the rows copied.
bool copiarLinea(const QString& url, const QString& clave, const QString& linea, const QStringList& tablas,
                 const QString& destino, qint64* filas, QString* error);

} // namespace ombrix::central
