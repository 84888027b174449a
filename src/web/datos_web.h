#pragma once
// What the web view reads from the database, on a reader connection of its
// own (BaseDatos::abrirLectura) on a worker thread: an instrument's readings
// over a span thinned to the page's width, the readings themselves page by
// page, and the latest events. Times on the rows' axis are seconds of the
// local date and time as stored (segundosLocales).
//
// Rows are stored in Id order, which is the order they were recorded: the
// span's first and last rows are found by a binary search over Id, so only
// the rows inside the span are read, whatever the size of the table.

#include "events/evento.h"

#include <QJsonObject>
#include <QSqlDatabase>
#include <QString>

#include <map>
#include <mutex>
#include <optional>
#include <unordered_map>

namespace ombrix::web {

// Summaries of blocks of kFilasBloque Ids of each instrument's table (the
// time of the first and last row, the smallest and largest measured value,
// the last set point), kept between trends: a block whose rows fall within
// one slice of the page counts whole, without reading its rows again. Only
// blocks the table cannot grow into any more (a greater Id exists) are
// kept. A row edited or a table emptied through the program forgets the
// instrument's blocks (olvidar); another file, all of them.
class Resumenes {
public:
    static constexpr qint64 kFilasBloque = 64;
    struct Bloque {
        double t0 = 0, t1 = 0, min = 0, max = 0, consigna = 0;
        qint32 filas = 0;
        bool valor = false, conConsigna = false, enOrden = true;
    };
    bool buscar(int n, qint64 k, Bloque& b) const;
    void guardar(int n, qint64 k, const Bloque& b);
    void olvidar(int n);   // n < 0: every instrument
    qint64 bloques() const;

private:
    mutable std::mutex m_;
    std::map<int, std::unordered_map<qint64, Bloque>> bloques_;
};

struct Tramo {
    qint64 primero = 0;   // first Id inside the span (0: none)
    qint64 ultimo = -1;   // last Id inside it
};

// The Ids of instrument n's rows from `desde` to `hasta` (seconds, both
// included). False with `error` when the table cannot be read.
bool buscarTramo(const QSqlDatabase& db, int n, qint64 desde, qint64 hasta, Tramo& tramo, QString* error);

// Instrument n's measured value and set point from `desde` to `hasta`, in
// `puntos` equal slices: per slice with rows, its first instant, the
// smallest and largest measured value and the last set point.
//   {"instrumento", "desde", "hasta", "puntos", "filas", "serie": [{"t", "min", "max", "consigna"}]}
// (values that are markers are left out; a slice without any number has nulls).
// With the file's `ruta`, a span of more than `filasEnParalelo` rows is
// read in two halves at once (the second on a reader connection of its own).
// With `resumenes`, blocks summarised before are taken from there and those
// read now are kept.
std::optional<QJsonObject> tendencia(const QSqlDatabase& db, const QString& ruta, int n, qint64 desde, qint64 hasta,
                                     int puntos, QString* error, qint64 filasEnParalelo = 200000,
                                     Resumenes* resumenes = nullptr);

// Up to `limite` rows of instrument n from `desde` to `hasta` with an Id
// greater than `despuesDe`: {"instrumento", "filas": [...], "mas": bool, "siguiente": Id}.
std::optional<QJsonObject> lecturas(const QSqlDatabase& db, int n, qint64 desde, qint64 hasta, qint64 despuesDe,
                                    int limite, QString* error);

// An event of the log as the API and the live pages give it.
QJsonObject jsonEvento(const Evento& ev);

// The last `limite` events (of instrument `instrumento` when >= 0), or with
// `desde`/`hasta` the first `limite` of that span: {"eventos": [...]}.
std::optional<QJsonObject> eventos(const QSqlDatabase& db, const QDateTime& desde, const QDateTime& hasta,
                                   int instrumento, int limite, QString* error);

} // namespace ombrix::web
