#pragma once
// The plant's central PostgreSQL database as this system keeps it (libpq).
//
// Schema "ombrix" (created when missing, see prepararEsquema):
//   lineas      one row per line: its name and time zone
//   lecturas    every instrument row of every line; key (linea, instrumento, id)
//   combinadas  every combined row; key (linea, id)
//   eventos     every event of the event log; key (linea, id)
// A reading's seven values are kept as numbers (numeric) when the stored text
// is a plain number that numeric gives back unchanged, and as the text itself
// (the markers "N.I.", "----", ...) in "<columna>_texto" otherwise, so the
// stored texts come back exactly. Each line has a schema "ombrix_<línea>"
// with views shaped like the tables of the local file: "Instrumento1" to
// "Instrumento20", "Combinada" and "Eventos".

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <memory>

struct pg_conn;
typedef struct pg_conn PGconn;

namespace ombrix::central {

constexpr int kInstrumentos = 20;

struct CerrarPg {
    void operator()(PGconn* c) const;
};
using Conexion = std::unique_ptr<PGconn, CerrarPg>;

// What is wrong with a server address given on a command line or in the
// settings, or nothing: it must be a libpq URL or "key=value" text, and hold
// no password (a password goes in the settings, the environment or PGPASSFILE).
QString problemaDeUrl(const QString& url);

// Connects; `clave` empty leaves the password to libpq (PGPASSWORD,
// PGPASSFILE, ~/.pgpass). Waits at most `segundos` for the server. Null
// with the reason in `error`.
Conexion conectar(const QString& url, const QString& clave, int segundos, QString* error);

// Runs statements without results; false with the server's message.
bool ejecutar(PGconn* c, const QByteArray& sql, QString* error);
// The rows of a query with text parameters, each row its column texts (a
// NULL as a null QString). False with the server's message.
bool consultar(PGconn* c, const QByteArray& sql, const QStringList& parametros, QList<QStringList>& filas,
               QString* error);

// Creates the schema, tables and indexes when missing (several lines may
// do it at once: one waits for the other).
bool prepararEsquema(PGconn* c, QString* error);
// True when the tables are there.
bool hayEsquema(PGconn* c, QString* error);
// Registers the line and creates its views when it is new.
bool prepararLinea(PGconn* c, const QString& linea, const QString& zona, QString* error);
// The schema of a line's views.
QString esquemaDeLinea(const QString& linea);

// The names of the seven reading columns, as the local tables name them.
const QStringList& columnasLectura();
// A reading text as the server keeps it: {number, NULL} when numeric gives
// the text back unchanged, else {NULL, text}.
bool esNumeroExacto(const QByteArray& texto);

// The text of a value in PostgreSQL's COPY text format (NULL: "\N").
void agregarCopia(QByteArray& linea, const QString& texto);
void agregarCopia(QByteArray& linea, const QByteArray& utf8, bool nulo);
// The array literal of texts ({"a",NULL}) for a text[] column.
QString literalArreglo(const QStringList& textos);

} // namespace ombrix::central
