#pragma once
// Seals over the readings: the writer keeps, in the table "Sellos", one row
// per range of Ids of a table with a digest of those rows and a short print
// of each. Seal rows are chained by hash like the events; a change made
// through the program (a row edited, a table emptied) seals its range again,
// referring to the event that tells of it. Verification reads every table
// once, in order of Id, and names the rows missing, changed or added.
//
// The hashes carry no secret: they show a change made with a database tool,
// they do not stop someone who rewrites the seals as well. A printed batch
// report carries the digest of its rows so the paper can be checked against
// the file later.

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QVector>

struct sqlite3;

namespace ombrix::sellos {

// A table is sealed once this many of its rows are unsealed (and at every
// stop of the acquisition, whatever their number).
constexpr int kFilasPorSello = 100;
// At most this many rows in one seal.
constexpr int kMaxFilasSello = 4096;

// The tables of readings that are sealed.
QStringList tablasSelladas();

struct Resumen {
    qint64 filas = 0;
    QByteArray digest;    // SHA-256 over the rows, in Id order
    QByteArray huellas;   // 8 bytes a row: Id − desde and a 32-bit print, little endian
};
// The digest of the rows of `tabla` with desde <= Id <= hasta (hasta 0: to the end).
bool resumir(sqlite3* h, const QString& tabla, qint64 desde, qint64 hasta, Resumen& r, QString* error = nullptr);
// The digest of the rows of instrument table `tabla` whose "Partida" is `partida` (a batch report's seal).
QString resumenPartida(const QSqlDatabase& db, const QString& tabla, const QString& partida, qint64* filas = nullptr,
                       QString* error = nullptr);

// The last Id covered by a seal of `tabla` (0 none).
qint64 ultimoSellado(const QSqlDatabase& db, const QString& tabla);
// Seals the rows of `tabla` after the last sealed one, at most `maximo` rows,
// in seals of at most kMaxFilasSello rows. Returns the rows sealed, −1 on error.
qint64 sellarPendientes(QSqlDatabase db, const QString& tabla, qint64 maximo, QString* error = nullptr);
// Seals again the range that holds row `id` of `tabla` after the program changed it (event `evento`).
bool resellar(QSqlDatabase db, const QString& tabla, qint64 id, qint64 evento, QString* error = nullptr);
// After the program emptied `tabla` (event `evento`): every Id up to the last
// one the table ever gave is sealed as holding no row.
bool sellarVaciado(QSqlDatabase db, const QString& tabla, qint64 evento, QString* error = nullptr);

struct Hallazgo {
    QString tabla;     // "Eventos", "Sellos", "Instrumento3"...
    qint64 id = 0;     // 0: the whole table or a range
    QString texto;     // in Spanish, ready to print
};
struct Verificacion {
    QVector<Hallazgo> hallazgos;   // what is missing or changed
    QStringList notas;             // what is right, and rows not yet sealed
    qint64 filasRevisadas = 0, eventos = 0, sellos = 0;
    QString error;                 // the file could not be read
    bool bien() const { return hallazgos.isEmpty() && error.isEmpty(); }
};
// Checks the event chain, the seal chain and every sealed table.
Verificacion verificar(const QSqlDatabase& db);

} // namespace ombrix::sellos
