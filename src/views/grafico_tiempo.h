#pragma once
// What the instrument chart and the combined chart share: the tool bar, a
// chart against time with a left and a right value axis, the page bar and its
// arithmetic, zoom, the click read-out with its arrow and the cross-hair (on a
// layer of their own, redrawn alone), a refresh read in slices (its progress
// panel, the cancel question and its end), and saving the chart as PNG or PDF.

#include "views/impresion.h"
#include "views/puntos.h"

#include <qcustomplot.h>

#include <QPointer>

#include <QTimer>
#include <QWidget>

#include <atomic>
#include <functional>
#include <memory>
#include <thread>

class QCheckBox;
class QCustomPlot;
class QCPAbstractPlottable;
class QCPGraph;
class QCPItemLine;
class QCPItemStraightLine;
class QCPItemText;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMouseEvent;
class QProgressBar;
class QPushButton;
class QToolBar;
class QToolButton;

namespace ombrix {

// A chart's refresh read on a worker thread, with a reader connection of its
// own: the window thread only looks at its progress and takes what it read
// once it has ended (whole, failed or stopped). `trabajo` runs on the worker
// and returns its error ("" when it read all it was to read); `alTerminar` is
// then called on `receptor`'s thread.
class LecturaFondo {
public:
    using Trabajo = std::function<QString(LecturaFondo&)>;
    LecturaFondo(QObject* receptor, std::function<void()> alTerminar, Trabajo trabajo);
    ~LecturaFondo();   // stops the worker and waits for it
    LecturaFondo(const LecturaFondo&) = delete;
    LecturaFondo& operator=(const LecturaFondo&) = delete;

    void parar() { parar_ = true; }
    void esperar();
    bool parada() const { return parar_; }
    bool terminada() const { return fin_; }
    QString error() const;   // once terminada()

    std::atomic<qint64> leidas{0};   // rows read so far
    std::atomic<bool> fallo{false};  // a row could not be read

    // On the worker: reads all of `lector`'s rows in slices, visiting each,
    // until it ends or is stopped; its error.
    // Several readers may run at once (enParalelo): each adds what it reads.
    template <class Lector, class Visita>
    QString recorrer(Lector& lector, const Visita& visita)
    {
        qint64 antes = 0;
        while (!lector.terminado() && lector.valido() && !parada()) {
            lector.leer(4096, visita);
            const qint64 ahora = lector.leidas();
            leidas += ahora - antes;
            antes = ahora;
        }
        return lector.error();
    }

private:
    std::atomic<bool> parar_{false}, fin_{false};
    QString error_;
    std::thread hilo_;
};

// A long refresh reads its Id span in consecutive pieces at once, one per
// processor core (at most four), each on a reader connection of its own: the
// scan of a large table is bound by the processor, not the disk. Fewer rows
// than a piece is worth are read in one.
int piezasDeLectura(qint64 filas);
// [primero, tope] cut into `n` consecutive spans of about the same size.
QVector<std::pair<qint64, qint64>> tramosDeIds(qint64 primero, qint64 tope, int n);

// What one piece of a refresh read into a series: its points in Id order,
// whether their times are sorted, and the span of the times of its rows.
struct PiezaSerie {
    QVector<QCPGraphData> puntos;
    bool ordenada = true;
    void agregar(double x, double y)
    {
        if (!puntos.isEmpty() && puntos.constLast().key > x)
            ordenada = false;
        puntos.append(QCPGraphData(x, y));
    }
    // The next piece's points after these: still sorted when each piece is
    // and the next begins at or after the end of this one.
    void unir(const PiezaSerie& siguiente)
    {
        if (siguiente.puntos.isEmpty())
            return;
        if (!siguiente.ordenada || (!puntos.isEmpty() && puntos.constLast().key > siguiente.puntos.constFirst().key))
            ordenada = false;
        puntos.append(siguiente.puntos);
    }
};
struct RangoLeido {
    double min = 0, max = 0;
    bool hay = false;
    void agregar(double x)
    {
        min = hay ? qMin(min, x) : x;
        max = hay ? qMax(max, x) : x;
        hay = true;
    }
};

class GraficoTiempo : public QWidget, public GraficoImprimible {
    Q_OBJECT
public:
    explicit GraficoTiempo(QWidget* parent = nullptr);
    ~GraficoTiempo() override;

    void ponerTitulo(const QString& t);
    virtual bool actualizando() const = 0;

    // Recomputes the pages and shows the last one.
    void Actualizar();
    void BotonPrimeraClick();
    void BotonProximaClick();
    void BotonAnteriorClick();
    // Page length changed ("Ultimo", Enter or leaving the edits).
    void TiempoChange();
    void BotonZoomMasClick();
    void BotoZoomMenosClick();
    void BotonZom100Click();
    void BotonCancelarClick() { CancelarGrafico = true; }
    // Stops a running refresh now (the points read so far stay).
    void detenerLectura();
    // Saves the chart as PNG or PDF (by the name's ending); false on failure.
    bool guardarImagen(const QString& ruta);
    void BotonGuardarClick();

    void ocultarLectura();
    void moverCruz(int x, int y);

    const Paginas& paginas() const { return pag_; }
    double InicioDatos() const { return pag_.inicio; }
    bool CancelarGrafico = false;
    QCustomPlot* grafico() const { return grafico_; }

    // Printing: the pages are the time pages of the page bar.
    QCustomPlot* grafico() override { return grafico_; }
    qint64 totalPaginas() override { return pag_.total; }
    qint64 paginaActual() override { return pag_.pagina; }
    void irAPagina(qint64 p) override;
    QString tituloGrafico() override;
    void ponerTituloGrafico(const QString& t) override { ponerTitulo(t); }
    QString captionVentana() override { return windowTitle(); }
    // Opens the print dialog over this chart (window-modal, returns at once).
    TFormaImpresion* BotonImprimirClick();
    TFormaImpresion* dialogoImpresion() const { return impresion_; }
    QString textoLectura() const;
    bool lecturaVisible() const;
    bool cruzVisible() const;

    QToolButton *BotonImprimir = nullptr, *BotonGuardar = nullptr, *BotonPropiedades = nullptr,
                *BotoZoomMenos = nullptr, *BotonZoomMas = nullptr, *BotonZom100 = nullptr, *BotonActualizar = nullptr,
                *BotonCerrar = nullptr;
    QPushButton *BotonAnterior = nullptr, *BotonProxima = nullptr, *BotonPrimera = nullptr, *BotonUltima = nullptr;
    QLineEdit *dias = nullptr, *Tiempo = nullptr;
    QLabel *etiquetaTotalPaginas = nullptr, *etiquetaPagina = nullptr, *etiquetaRegistros = nullptr;
    QGroupBox *grupoPaginas = nullptr, *grupoRegistros = nullptr, *grupoProgreso = nullptr;
    QProgressBar* barraProgreso = nullptr;
    QPushButton* botonCancelar = nullptr;

signals:
    void actualizacionTerminada();

protected:
    bool eventFilter(QObject* o, QEvent* e) override;

    // What each chart keeps of its page length, whether the cross-hair is on,
    // the properties command and the default name of a saved image.
    virtual void guardarLongitudPagina(const QString& tiempo, const QString& dias) = 0;
    virtual bool cruzActiva() const = 0;
    virtual void abrirPropiedades() = 0;
    virtual QString nombreImagen() const = 0;
    // A click on a plottable (read-out on line series).
    virtual void clicSerie(QCPAbstractPlottable* p, int indice, QMouseEvent* e) = 0;
    // Commands off while a refresh runs.
    virtual void habilitarComandos(bool si);

    // The read-out for a click on `serie` at pixel (x, y): the series' point
    // recorded nearest to the click, never a value between points: its value
    // as it was stored, `unidad`, the series' name in parentheses, and on a
    // second line its date and time. The arrow points at that point.
    void mostrarLecturaDe(QCPGraph* serie, const QString& unidad, int x, int y);
    void mostrarPagina();
    void colocarProgreso();
    // Page length from the two edits.
    void leerLongitudPagina();
    // A live point at x: pages follow it; true when the last page was shown again.
    bool seguirPunto(double x);

    // A refresh, read on a worker (LecturaFondo) by each chart. At its start: the
    // progress panel for at most `total` rows, nothing read yet.
    void empezarProgreso(qint64 total);
    // A row read at x with at least one point.
    void leido(const RangoLeido& r)
    {
        if (r.hay) {
            leido(r.min);
            leido(r.max);
        }
    }
    void leido(double x)
    {
        xMinLeido_ = hayLeidos_ ? qMin(xMinLeido_, x) : x;
        xMaxLeido_ = hayLeidos_ ? qMax(xMaxLeido_, x) : x;
        hayLeidos_ = true;
    }
    // After a slice: the end of the refresh when the reader is done (its
    // error, if any, shown after it), else a cancel requested meanwhile is
    // asked about, else the next slice is armed.
    void finPaso(bool terminado, const QString& error);
    // Ends the refresh, whole or cancelled (the points read so far stay and
    // the pages keep their values).
    void terminarLectura(bool completa);
    // What each chart does there: its reader goes and its series take the
    // points read; then the readings stored meanwhile are added.
    virtual void soltarLector(bool completa) = 0;
    virtual void agregarPendientes() = 0;

    QToolBar* barra_ = nullptr;
    QCustomPlot* grafico_ = nullptr;
    QCPItemText* lectura_ = nullptr;
    QCPItemLine* flecha_ = nullptr;
    QCPItemStraightLine *cruzV_ = nullptr, *cruzH_ = nullptr;
    Paginas pag_;
    bool hayDatos_ = false;
    // One slice of a refresh per timeout, the next one armed when a slice
    // ends: the event loop always runs in between.
    QTimer pasos_;
    bool automaticos_ = false;   // value axes scale themselves in this refresh
    bool avisado_ = false;       // the row error was shown in this refresh
    Paginas pagPrevia_;
    double xMinLeido_ = 0, xMaxLeido_ = 0;
    bool hayLeidos_ = false;

private:
    void escalarVista(double factor);
    QPointer<TFormaImpresion> impresion_;
    bool zoomGuardado_ = false;
    double rangos_[6] = {};
};

} // namespace ombrix
