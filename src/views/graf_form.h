#pragma once
// The instrument chart window: measured value and set point on the left axis,
// power and the four alarms on the right one, against time, one page at a
// time. It reads the table on its own, in slices, and follows new readings.

#include "acquisition/registro.h"
#include "views/contexto_vistas.h"
#include "views/puntos.h"

#include <QColor>
#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <memory>

class QCheckBox;
class QCustomPlot;
class QCPAbstractPlottable;
class QCPGraph;
class QCPGraphData;
class QCPItemLine;
class QCPItemStraightLine;
class QCPItemText;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMouseEvent;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace ombrix {

class LectorFilas;
class TFormaBase;

class TGrafForm : public QWidget {
    Q_OBJECT
public:
    TGrafForm(ContextoVistas& c, int n, TFormaBase* tabla, QWidget* parent = nullptr);
    ~TGrafForm() override;

    int Tag() const { return n_; }
    void ponerTitulo(const QString& t);

    // Refresh from the table: reads, in slices, the rows up to the last Id
    // present when it starts.
    void BotonActualizarClick();
    bool actualizando() const { return lector_ != nullptr; }
    // Stops a running refresh now (the points read so far stay).
    void detenerLectura();
    // Recomputes the pages and shows the last one.
    void Actualizar();
    void BotonPrimeraClick();
    void BotonProximaClick();
    void BotonAnteriorClick();
    void TiempoChange();
    void BotonZoomMasClick();
    void BotoZoomMenosClick();
    void BotonZom100Click();
    void VPuntosClick();
    void BotonCancelarClick() { CancelarGrafico = true; }
    void BotonPropiedadesClick();
    // Saves the chart as PNG or PDF (by the name's ending); false on failure.
    bool guardarImagen(const QString& ruta);
    void BotonGuardarClick();

    // Background, kept while the window lasts: a vertical gradient over the
    // whole chart when it is on, and a colour for the plotting area or none
    // (an invalid colour).
    bool gradienteActivo() const { return gradiente_; }
    QColor colorGradienteSup() const { return gradienteSup_; }
    QColor colorGradienteInf() const { return gradienteInf_; }
    QColor colorFondo() const { return colorFondo_; }
    void ponerGradiente(bool activo, const QColor& superior, const QColor& inferior);
    void ponerColorFondo(const QColor& c);

    // Live append of one stored reading (ActualizarGrafico of the table window).
    void agregarLectura(const QString& fecha, const QString& hora, const TextosLectura& lecturas);

    // Click read-out and cross-hair at pixel (x, y) of the chart.
    void mostrarLectura(int serie, int x, int y);
    void ocultarLectura();
    void moverCruz(int x, int y);

    // State, readable by tests and benchmarks.
    const Paginas& paginas() const { return pag_; }
    double InicioDatos() const { return pag_.inicio; }
    bool CancelarGrafico = false;
    QCustomPlot* grafico() const { return grafico_; }
    QCPGraph* serie(int k) const { return series_[k]; }
    QString textoLectura() const;
    bool lecturaVisible() const;
    bool cruzVisible() const;

    QToolButton *BotonPropiedades = nullptr, *BotonGuardar = nullptr, *BotoZoomMenos = nullptr, *BotonZoomMas = nullptr,
                *BotonZom100 = nullptr, *BotonActualizar = nullptr, *BotonCerrar = nullptr;
    QCheckBox *VPuntos = nullptr, *CheckCruz = nullptr;
    QPushButton *BotonAnterior = nullptr, *BotonProxima = nullptr, *BotonPrimera = nullptr, *BotonUltima = nullptr;
    QLineEdit *dias = nullptr, *Tiempo = nullptr;
    QLabel *etiquetaTotalPaginas = nullptr, *etiquetaPagina = nullptr, *etiquetaRegistros = nullptr;
    QGroupBox *grupoPaginas = nullptr, *grupoProgreso = nullptr;
    QProgressBar* barraProgreso = nullptr;
    QPushButton* botonCancelar = nullptr;

signals:
    void actualizacionTerminada();

protected:
    void closeEvent(QCloseEvent* e) override;   // FormCloseQuery
    bool eventFilter(QObject* o, QEvent* e) override;

private:
    void escalarVista(double factor);
    void paso();
    void terminarLectura(bool completa);
    void aplicarAjustes();
    void aplicarLimites();
    void agregarPuntos(const PuntosFila& p);
    void volcarPendientes();
    void mostrarPagina();
    void habilitarComandos(bool si);
    void clicSerie(QCPAbstractPlottable* p, int indice, QMouseEvent* e);
    const TGindividual& ajustes() const;

    ContextoVistas& ctx_;
    int n_;
    QPointer<TFormaBase> tabla_;
    QCustomPlot* grafico_ = nullptr;
    QCPGraph* series_[kSeries] = {};
    QCPItemText* lectura_ = nullptr;
    QCPItemLine* flecha_ = nullptr;
    QCPItemStraightLine *cruzV_ = nullptr, *cruzH_ = nullptr;
    Paginas pag_;
    bool hayDatos_ = false;

    // The refresh.
    std::unique_ptr<LectorFilas> lector_;
    QTimer pasos_;
    qint64 totalFilas_ = 0;   // at most this many rows to read
    qint64 leidasFinal_ = 0;
    bool avisado_ = false;   // the row error was shown in this refresh
    Paginas pagPrevia_;
    QVector<QCPGraphData> buf_[kSeries];
    bool ordenado_[kSeries] = {};
    double xMinLeido_ = 0, xMaxLeido_ = 0;
    bool hayLeidos_ = false;
    struct Pendiente {
        QString fecha, hora;
        TextosLectura lecturas;
    };
    QVector<Pendiente> pendientes_;

    // Zoom.
    bool zoomGuardado_ = false;
    double rangos_[6] = {};
    bool activada_ = false;
    bool automaticos_ = false;   // value axes scale themselves in this refresh

    bool gradiente_ = false;
    QColor gradienteSup_ = Qt::white, gradienteInf_ = QColor(0xC0, 0xC0, 0xC0);
    QColor colorFondo_;
};

} // namespace ombrix
