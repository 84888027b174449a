#pragma once
// The event log and the seals in the database: their two tables (created
// with their triggers in a file from an older version when a writer opens
// it), writing an event and reading events back. Nothing here needs a window.

#include "events/evento.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QVector>

namespace ombrix {

namespace almacenEventos {

// A read-only connection named `nombre` to the file `ruta` (for checking and
// reporting without writing anything). Invalid with the reason when it fails;
// the caller removes the connection when done.
QSqlDatabase abrirLectura(const QString& ruta, const QString& nombre, QString* error = nullptr);

// The statements that create "Eventos" and "Sellos" with the triggers that
// refuse changing or deleting their rows (the template holds the same).
QStringList sentenciasTablas();

// True when the file has the events table.
bool tieneTablas(const QSqlDatabase& db);
// Creates whatever of the two tables and their triggers is missing, in one
// transaction. False with the reason.
bool prepararTablas(QSqlDatabase db, QString* error = nullptr);

// The last event's Id and hash (0 and "" when there is none).
bool ultimo(const QSqlDatabase& db, qint64& id, QString& hash, QString* error = nullptr);
// Appends `e` as it is (Id and hash already set).
bool insertar(QSqlDatabase db, const Evento& e, QString* error = nullptr);

struct Filtro {
    int instrumento = -1;     // -1 any, 0 events of no instrument, 1..20
    QString tipo;             // "" any
    QDateTime desde, hasta;   // invalid: unbounded (hasta excluded)
    qint64 despuesDeId = 0;   // only events with a greater Id
    int limite = 0;           // 0 all
};
// Whether `e` passes `f` (for events that arrive after a read).
bool coincide(const Filtro& f, const Evento& e);
// Events matching `f`, in the order they were written.
QVector<Evento> leer(const QSqlDatabase& db, const Filtro& f, QString* error = nullptr);

// The column titles of an event as the window, the CSV and the printout show it.
QStringList titulosColumnas();
// The texts of `e` under those titles.
QStringList textos(const Evento& e);
// Writes `eventos` as CSV (titles first, "," between fields, quoted where
// needed), whole or not at all. False with the reason.
bool escribirCsv(const QVector<Evento>& eventos, const QString& ruta, QString* error = nullptr);

} // namespace almacenEventos

} // namespace ombrix
