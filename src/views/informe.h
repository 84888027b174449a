#pragma once
// The printed reports: a small band renderer on QPainter. A report is a page
// set-up, five bands (page header on every page, title on the first, column
// titles on every page, one detail band per row, footer at the bottom of
// every page) and a row source. Which rows a page holds follows from the band
// heights alone, so any page is drawn without drawing the ones before it.
// No widgets: shared by the preview window and ombrix-report.

#include "views/filas_informe.h"

#include <QColor>
#include <QDate>
#include <QFont>
#include <QImage>
#include <QSizeF>
#include <QString>
#include <QStringList>
#include <QVector>

#include <memory>

class QPagedPaintDevice;
class QPainter;

namespace ombrix {

// Positions and sizes in millimetres from the band's top left corner.
struct EtiquetaInforme {
    QString texto;
    double izq = 0, arriba = 0, ancho = 0, alto = 0;
    QFont fuente;
    QColor color = Qt::black;
    Qt::Alignment alineacion = Qt::AlignHCenter;
    bool lineaDebajo = false;
    int juego = -1;   // the set of columns it belongs to; -1: every set
};

struct CampoInforme {
    int columna = 0;   // which text of the row
    double izq = 0, arriba = 0, ancho = 0, alto = 0;
    QFont fuente;
    Qt::Alignment alineacion = Qt::AlignHCenter;
    int juego = -1;   // as the label's
};

struct BandaInforme {
    double alto = 0;
    QVector<EtiquetaInforme> etiquetas;
    QVector<CampoInforme> campos;
};

struct DisenoInforme {
    QSizeF papel{279.4, 215.9};   // Letter, landscape
    double margen = 10.0;
    BandaInforme encabezado;     // every page
    BandaInforme titulo;         // first page
    BandaInforme columnas;       // every page
    BandaInforme detalle;        // one per row
    BandaInforme pie;            // at the bottom of every page
    // Footer: the print date after `textoFecha` on the left, "Página:  " and
    // the page number on the right.
    QString textoFecha;
    QFont fuentePie;
    double arribaPie = 2.0;
    QDate fecha = QDate::currentDate();
    // Columns too many for the paper's width go on further sets of pages:
    // every row on the pages of the first set, then every row again with
    // the next set's columns, and so on.
    int juegos = 1;

    double anchoUtil() const { return papel.width() - 2 * margen; }
    double altoUtil() const { return papel.height() - 2 * margen; }
    int filasPrimera() const;   // detail bands that fit on the first page
    int filasOtras() const;     // and on every other page
    // Pages for `filas` rows (one per set of columns, with the headers only,
    // when there are none).
    qint64 paginas(qint64 filas) const { return paginasFilas(filas) * qMax(1, juegos); }
    // Pages of one set of columns, and which rows a page of a set holds.
    qint64 paginasFilas(qint64 filas) const;
    qint64 primeraFila(qint64 pagina) const;   // counted from 0
    int filasDePagina(qint64 pagina, qint64 filas) const;
};

// Width of `texto` in `fuente`, in millimetres.
double anchoTexto(const QString& texto, const QFont& fuente);
// A font by family, points and style; missing families are substituted.
QFont fuenteInforme(const QString& familia, double puntos, bool negrita = false, bool cursiva = false,
                    bool subrayada = false);

// The instrument report over the columns of columnasInformeInstrumento().
DisenoInforme disenoInstrumento(const QString& titulo);
// The combined report over Id, Fecha, Hora and then one column per title.
DisenoInforme disenoCombinado(const QString& titulo, const QStringList& titulosValores);
// Replaces the combined report's value columns: the previous ones go, each new
// one gets a header label sized to its title, from 48.0 mm on, 3.3 mm apart,
// and a field starting under the middle of its label. Nothing is cut at the
// paper's edge: the texts shrink to fit, down to kPuntosMinimosComb, and
// columns that still do not fit go on further sets of pages (Id, Dia and
// Hora repeated on each).
void ponerColumnasComb(DisenoInforme& d, const QStringList& titulosValores);
constexpr double kPuntosMinimosComb = 7.0;
// Sets the title of both title labels, centred on the band.
void ponerTituloInforme(DisenoInforme& d, const QString& titulo);

class Informe {
public:
    Informe(DisenoInforme d, std::unique_ptr<FilasInforme> fuente);

    const DisenoInforme& diseno() const { return d_; }
    qint64 filas();      // counted once
    qint64 paginas() { return d_.paginas(filas()); }
    // Why the rows could not be counted or read ("" when they could).
    QString error() const { return fuente_ ? fuente_->error() : QString(); }
    // Draws page `pagina` (1..) with the painter's origin at the top left
    // corner inside the margins. False with `error` when its rows could not be read.
    bool dibujar(QPainter& p, qint64 pagina, QString* error = nullptr);
    // The whole sheet of page `pagina` at `dpi` dots per inch.
    QImage imagen(qint64 pagina, double dpi, QString* error = nullptr);
    // The same with its rows read already (`filas` of them from primeraFila()).
    QImage imagen(qint64 pagina, double dpi, const QVector<QStringList>& filas);
    void dibujar(QPainter& p, qint64 pagina, const QVector<QStringList>& filas);
    // Where the rows come from; their number when it was counted elsewhere.
    FilasInforme* fuente() const { return fuente_.get(); }
    void ponerFilas(qint64 n) { filas_ = n; }
    // The rows report page `pagina` prints: the first and how many.
    void filasDePagina(qint64 pagina, qint64& desde, int& cuantas);

private:
    void dibujarBanda(QPainter& p, const BandaInforme& b, double y, const QStringList* fila, double k, int juego) const;
    // The set of columns and the page within it of report page `pagina`.
    void ubicar(qint64 pagina, int& juego, qint64& hoja);
    DisenoInforme d_;
    std::unique_ptr<FilasInforme> fuente_;
    qint64 filas_ = -1;
};

// Letter landscape with the report's margins, in millimetres.
void prepararPagina(QPagedPaintDevice& d, const DisenoInforme& diseno);

// Prints pages `desde`..`hasta` of a report on a paged device (a printer or a
// PDF file), one page at a time: only the rows of the page being drawn are held.
class ImpresionInforme {
public:
    ImpresionInforme(Informe& informe, QPagedPaintDevice& dispositivo, qint64 desde, qint64 hasta);
    ~ImpresionInforme();
    // Prints pages for about `ms` milliseconds (at least one). True while
    // pages remain; false when done or failed.
    bool paso(int ms);
    // Prints every remaining page. True when all were printed.
    bool todo();
    void cancelar();
    bool fallo() const { return !error_.isEmpty(); }
    QString error() const { return error_; }
    qint64 impresas() const { return impresas_; }
    qint64 total() const { return hasta_ - desde_ + 1; }

private:
    Informe& informe_;
    QPagedPaintDevice& dispositivo_;
    std::unique_ptr<QPainter> pintor_;
    qint64 desde_, hasta_, siguiente_;
    qint64 impresas_ = 0;
    QString error_;
};

} // namespace ombrix

#include "views/columnas_comb.h"

namespace ombrix {

// Instrument n's report over its rows with Id <= hastaId (all when 0) and,
// when given, dates from `desde` to `hasta` (yyyymmdd).
std::unique_ptr<Informe> informeInstrumento(const QSqlDatabase& db, int n, const QString& titulo, qint64 hastaId = 0,
                                            int desde = 0, int hasta = 0);
// The combined report over the given value columns, rows filtered the same way.
std::unique_ptr<Informe> informeCombinado(const QSqlDatabase& db, const QString& titulo,
                                          const QVector<ColumnaComb>& columnas, qint64 hastaId = 0, int desde = 0,
                                          int hasta = 0);
// The combined report over rows from elsewhere (Id, Fecha, Hora, then the
// value columns in this order).
std::unique_ptr<Informe> informeCombinado(const QString& titulo, const QVector<ColumnaComb>& columnas,
                                          std::unique_ptr<FilasInforme> fuente);

} // namespace ombrix
