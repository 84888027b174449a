#pragma once
// What the table, chart and export read from and write to an instrument's
// table "Instrumento<n>". No widgets: shared by the windows and ombrix-export.
// Statements bind their values and quote their identifiers; whole-table scans
// go through SQLite's own interface on the program's connection.

#include "acquisition/base_datos.h"
#include "config/configuracion.h"

#include <QByteArray>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QSqlQuery>
#include <QVariant>
#include <QVariantList>
#include <QVector>

#include <memory>

#include <array>
#include <cstdio>
#include <functional>

struct sqlite3;
struct sqlite3_stmt;

namespace ombrix {

// Id, Fecha, Hora, Valor_medido, Set_point, Potencia, Alarma_1..4, Partida.
constexpr int kColumnasInstrumento = 11;
extern const std::array<const char*, kColumnasInstrumento> kNombresColumnas;

QString tablaInstrumento(int n);   // "Instrumento<n>"

// Column titles as the table window shows them: the fourth to tenth carry the
// instrument's value names.
QStringList titulosColumnas(const Configuracion& c, int n);

// The sqlite3 handle under a Qt connection (nullptr when it is not SQLite).
sqlite3* manejadorSqlite(const QSqlDatabase& db);

struct FilaDatos {
    qint64 id = 0;
    QVector<QString> textos;   // the columns after Id (Fecha, Hora, ...)
};

// An SQL identifier in double quotes (quotes inside doubled).
QString identificadorSql(const QString& nombre);

// Where a grid's rows come from: the row count, pages of rows by Id or by
// position, and the edit of one cell.
class OrigenFilas {
public:
    virtual ~OrigenFilas() = default;
    virtual int columnas() const = 0;   // Id included
    // Whether the rows are in Id order, so that pages can be fetched by Id.
    virtual bool enOrdenDeId() const { return true; }
    virtual qint64 contar() const = 0;
    virtual qint64 primerId() const = 0;
    virtual qint64 ultimoId() const = 0;
    virtual QVector<FilaDatos> desdeId(qint64 desdeId, int limite) const = 0;
    virtual QVector<FilaDatos> desdeFila(qint64 salto, int limite) const = 0;
    virtual bool actualizar(qint64, int, const QString&, QString* error = nullptr) const
    {
        if (error)
            *error = QStringLiteral("Columna no modificable");
        return false;
    }
};

// Rows of `sql` with `valores` bound in order: Id, then `columnas` - 1 texts.
QVector<FilaDatos> leerFilas(const QSqlDatabase& db, const QString& sql, const QVariantList& valores, int columnas);

class ConsultasInstrumento : public OrigenFilas {
public:
    ConsultasInstrumento(QSqlDatabase db, int n);

    int instrumento() const { return n_; }
    int columnas() const override { return kColumnasInstrumento; }
    qint64 contar() const override;                      // rows of the table
    qint64 primerId() const override;                    // 0 when empty
    // 0 when empty. Prepared once and kept: it is asked after every stored
    // row, and then costs the same whatever the size of the table.
    qint64 ultimoId() const override;
    // Up to `limite` rows with Id >= desdeId, in Id order.
    QVector<FilaDatos> desdeId(qint64 desdeId, int limite) const override;
    // Up to `limite` rows from the `salto`-th row on (counted from 0), in Id order.
    QVector<FilaDatos> desdeFila(qint64 salto, int limite) const override;
    // Stores `valor` in column `columna` (1..10) of row `id`. Column 0 (Id) is never written.
    bool actualizar(qint64 id, int columna, const QString& valor, QString* error = nullptr) const override;

private:
    // Rows of `sql` with its two values bound in order.
    QVector<FilaDatos> leer(const QString& sql, const QVariant& primero, const QVariant& segundo) const;
    QSqlDatabase db_;
    int n_;
    QString tabla_;   // quoted
    mutable std::shared_ptr<QSqlQuery> ultimo_;
};

// Deletes every reading of instrument n in one transaction.
bool borrarLecturas(BaseDatos& base, int n, QString* error = nullptr);

// A date "dd/MM/yyyy" as yyyymmdd (0 when it is not a date).
int fechaOrdenable(const QString& fecha);

// One step of a statement: on a row (SQLITE_ROW), the texts of its first
// `columnas` columns (never null) and their lengths. Returns sqlite3_step's code.
int pasoFila(sqlite3_stmt* st, int columnas, const char** textos, int* largos);
// Finalizes `st` (when any) and leaves it null.
void finalizar(sqlite3_stmt*& st);

// Reads the rows of instrument n in Id order, in slices, straight from
// SQLite; between slices it holds no read transaction. Only rows with Id <= hastaId (all when 0) and, when given, with a
// date from `desde` to `hasta` (yyyymmdd, inclusive) are read. Finalizes its
// statement when destroyed or finished, so it must go before the connection.
// Runs parte(0) .. parte(n - 1) at once, the first on the calling thread and
// each other on a thread of its own (a long read cut into pieces, each on a
// reader connection of its own); the first error, or "".
QString enParalelo(int n, const std::function<QString(int)>& parte);

class LectorFilas {
public:
    // Rows with desdeId <= Id <= hastaId (0: no bound) and, when given, dates
    // between `desde` and `hasta` (yyyymmdd), in Id order.
    LectorFilas(const QSqlDatabase& db, int n, qint64 hastaId = 0, int desde = 0, int hasta = 0, qint64 desdeId = 0);
    ~LectorFilas();
    LectorFilas(const LectorFilas&) = delete;
    LectorFilas& operator=(const LectorFilas&) = delete;

    bool valido() const { return stmt_ != nullptr || terminado_; }
    bool terminado() const { return terminado_; }
    QString error() const { return error_; }
    qint64 leidas() const { return leidas_; }

    // Column texts of the current row (0..10; never null) and their lengths.
    using Visita = std::function<void(const char* const* textos, const int* largos)>;
    // Reads up to `maximo` rows, calling `visita` for each. Returns the rows read.
    int leer(int maximo, const Visita& visita);
    void cerrar();   // finalizes now

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool terminado_ = false;
    QString error_;
    qint64 leidas_ = 0;
    qint64 ultimoId_ = 0;
};

// CSV (RFC 4180): a field is quoted when it holds the separator, a quote, CR
// or LF; quotes inside are doubled. Lines end in CRLF. The text is always
// valid UTF-8 (invalid sequences become U+FFFD, NUL bytes are dropped), and a
// text that is not a number and begins with "=", "+", "-", "@", a tab or CR
// is written quoted after an apostrophe, so a spreadsheet never runs it as a
// formula ("-20.0" stays a number).
void agregarCampoCsv(QByteArray& salida, const char* texto, int largo, char separador);
void agregarLineaCsv(QByteArray& salida, const QStringList& campos, char separador);

// Writes the rows a slice reader gives, its columns primera..columnas-1, as
// CSV lines to `salida`, after whatever `buf` holds already (the header).
// Returns the rows written, or -1 with `error`.
template <class Lector>
qint64 volcarCsv(Lector& lector, QByteArray& buf, int primera, int columnas, std::FILE* salida, char separador,
                 QString* error)
{
    const auto visita = [&](const char* const* t, const int* l) {
        for (int k = primera; k < columnas; ++k) {
            if (k > primera)
                buf.append(separador);
            agregarCampoCsv(buf, t[k], l[k], separador);
        }
        buf.append("\r\n", 2);
    };
    bool bien = true;
    do {
        if (!lector.terminado())
            lector.leer(4096, visita);
        bien = std::fwrite(buf.constData(), 1, size_t(buf.size()), salida) == size_t(buf.size());
        buf.clear();
    } while (bien && !lector.terminado());
    if (!bien || std::fflush(salida) != 0) {
        if (error)
            *error = QStringLiteral("No se pudo escribir el archivo");
        return -1;
    }
    if (!lector.error().isEmpty()) {
        if (error)
            *error = lector.error();
        return -1;
    }
    return lector.leidas();
}

// Writes the file at `ruta` whole or not at all (see ArchivoSeguro; "-" is
// standard output): `escribir` writes into it, and only when it returns 0 or
// more does the file replace the old one. Returns what `escribir` returns, or
// -1 with `error`.
qint64 escribirEnArchivo(const QString& ruta, const std::function<qint64(std::FILE*)>& escribir, QString* error);

// Writes the header and the rows of instrument n (filtered as LectorFilas) as
// UTF-8 CSV to `salida`. Returns the rows written, or -1 with `error`.
qint64 escribirCsv(const QSqlDatabase& db, int n, const QStringList& titulos, std::FILE* salida, char separador = ',',
                   int desde = 0, int hasta = 0, QString* error = nullptr);
// The same into a file at `ruta` (replaced).
qint64 escribirCsv(const QSqlDatabase& db, int n, const QStringList& titulos, const QString& ruta,
                   char separador = ',', int desde = 0, int hasta = 0, QString* error = nullptr);

} // namespace ombrix
