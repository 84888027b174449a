#pragma once
// What the combined views read from the table "Combinada": the statement a
// combined grid shows (its columns, filter and order), its rows by pages, a
// reader in slices for the chart and the CSV writers. No widgets. Columns are
// named by their stored names, quoted; clicked values are bound.

#include "views/columnas_comb.h"
#include "views/consultas.h"

#include <QVariantList>

#include <string_view>

namespace ombrix {

QString tablaCombinada();   // "Combinada"

// The rows a combined grid shows: Id, Fecha, Hora and the value columns, all
// rows or those whose column `campoFiltro` holds `valorFiltro` (an empty value
// stands for an empty or missing cell), in Id order or ordered by `campoOrden`.
struct ConsultaComb {
    QStringList campos;   // value columns, by stored name
    bool filtrado = false;
    QString campoFiltro, valorFiltro;
    QString campoOrden;   // empty: Id order

    bool simple() const { return !filtrado && campoOrden.isEmpty(); }
    QStringList columnas() const;   // Id, Fecha, Hora, then `campos`
    bool operator==(const ConsultaComb&) const = default;
};

// " WHERE ..." (empty when not filtered); its values are appended to `valores`.
QString clausulaFiltro(const ConsultaComb& c, QVariantList& valores);
// " ORDER BY ...", ending in Id. Fecha orders by year, month and day, then
// Hora; a value column orders its numbers numerically, then the other texts
// ("Err", "N.I.", " oF ", " uF ", empty) after them.
QString clausulaOrden(const ConsultaComb& c);

// The grid's rows. Unfiltered and in Id order they are shown at once, the
// first Id to the last, and fetched by Id; paso() then checks in slices that
// no Id is missing (a gap turns the rows into a list of their Ids, see
// cambioModo()). Filtered or ordered, the Ids of the rows shown are read in
// slices by paso(): filtered rows count as they are found, ordered ones once
// they are all read and sorted. Pages are then fetched from that list.
class ConsultasCombinada : public OrigenFilas {
public:
    ConsultasCombinada(QSqlDatabase db, ConsultaComb c);
    ~ConsultasCombinada() override;

    const ConsultaComb& consulta() const { return c_; }
    int columnas() const override { return 3 + int(c_.campos.size()); }
    bool enOrdenDeId() const override { return c_.simple(); }
    // The rows known so far (see above).
    qint64 contar() const override;
    qint64 primerId() const override;
    qint64 ultimoId() const override;   // of the whole table; prepared once
    QVector<FilaDatos> desdeId(qint64 desdeId, int limite) const override;
    QVector<FilaDatos> desdeFila(qint64 salto, int limite) const override;
    // Row `id`, when it exists and passes the filter.
    bool fila(qint64 id, FilaDatos& f) const;

    // Reads the list of rows for about `ms` milliseconds; true once it is
    // complete. Once leerEnHilo() was called, the list is read on a worker
    // with a reader connection of its own to the database at `ruta`, and a
    // step only takes in the Ids read meanwhile.
    bool paso(int ms);
    void leerEnHilo(const QString& ruta) { rutaHilo_ = ruta; }
    bool completa() const { return empezada_ && !lectura_; }
    // Reads the whole list now (tools and small tables).
    void completar();
    // Whether the rows must be counted again from the start (an unfiltered
    // table with a gap in its Ids); asking clears it.
    bool cambioModo();
    QString error() const { return error_; }

private:
    struct Lectura;
    QVector<FilaDatos> leer(const QString& sql, const QVariantList& valores) const;
    void empezarLectura();
    void terminarLectura();
    QSqlDatabase db_;
    ConsultaComb c_;
    QString lista_;   // quoted column list
    mutable QVector<qint64> ids_;
    bool enLista_ = false;   // unfiltered, but with gaps: pages from ids_
    bool cambio_ = false;
    bool empezada_ = false;
    QString error_;
    std::unique_ptr<Lectura> lectura_;
    QString rutaHilo_;   // the list is read on a worker, from this file
    mutable std::shared_ptr<QSqlQuery> ultimo_, porId_;
};

// Empties the table in one transaction.
bool borrarCombinada(BaseDatos& base, QString* error = nullptr);

// Reads the rows of a statement straight from SQLite, in slices: Id, Fecha,
// Hora and the value columns; only rows with Id <= hastaId (all when 0) and,
// when given, a date from `desde` to `hasta` (yyyymmdd, inclusive). With
// `ordenado` false the order is ignored and the rows come in Id order, so
// that every slice is short. Finalizes its statement when destroyed.
class LectorCombinada {
public:
    // `desdeId` (0: none) bounds a reading in Id order from below.
    LectorCombinada(const QSqlDatabase& db, const ConsultaComb& c, bool ordenado, qint64 hastaId = 0, int desde = 0,
                    int hasta = 0, qint64 desdeId = 0);
    ~LectorCombinada();
    LectorCombinada(const LectorCombinada&) = delete;
    LectorCombinada& operator=(const LectorCombinada&) = delete;

    bool valido() const { return stmt_ != nullptr || terminado_; }
    bool terminado() const { return terminado_; }
    QString error() const { return error_; }
    qint64 leidas() const { return leidas_; }
    int columnas() const { return columnas_; }

    using Visita = LectorFilas::Visita;
    int leer(int maximo, const Visita& visita);
    void cerrar();

private:
    sqlite3_stmt* stmt_ = nullptr;
    bool terminado_ = false;
    QString error_;
    qint64 leidas_ = 0;
    int columnas_ = 0;
    std::vector<const char*> textos_;
    std::vector<int> largos_;
    bool porBloques_ = false;
    qint64 desdeId_ = 0, topeId_ = 0;   // next block of Ids, last Id read
    qint64 finBloque_ = 0, ultimoId_ = 0;   // end of the current block, last row's Id
    int primerLimite_ = 0;              // index of the block's first bound
};

// Writes the header and the rows of the statement (in its order) as UTF-8
// CSV. Returns the rows written, or -1 with `error`.
qint64 escribirCsvComb(const QSqlDatabase& db, const ConsultaComb& c, const QStringList& titulos, std::FILE* salida,
                       char separador = ',', int desde = 0, int hasta = 0, QString* error = nullptr);
qint64 escribirCsvComb(const QSqlDatabase& db, const ConsultaComb& c, const QStringList& titulos, const QString& ruta,
                       char separador = ',', int desde = 0, int hasta = 0, QString* error = nullptr);

// One stored value as a point of the combined chart.
enum class ValorComb { Nada, Punto, Ilegible };
// Nothing for an empty text or a marker ("Err", "N.I.", " oF ", " uF ");
// measured value, set point and power as decimal numbers (Ilegible when not
// one); alarm 1 (a percentage) as the integer its text holds, nothing when
// it holds none; alarms 2 to 4 at their level when on ("100": 10, 20, 30),
// otherwise at 0.
ValorComb valorComb(TipoValor t, std::string_view texto, double& y);
double nivelAlarmaComb(TipoValor t);

} // namespace ombrix
