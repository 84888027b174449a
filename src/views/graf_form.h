#pragma once
// The instrument chart window: measured value and set point on the left axis,
// power and the four alarms on the right one, against time, one page at a
// time. It reads the table on its own, in slices, and follows new readings.

#include "acquisition/registro.h"
#include "views/contexto_vistas.h"
#include "views/grafico_tiempo.h"

#include <QColor>
#include <QPointer>

#include <memory>

class QCPGraphData;

namespace ombrix {

class LectorFilas;
class TFormaBase;

class TGrafForm : public GraficoTiempo {
    Q_OBJECT
public:
    TGrafForm(ContextoVistas& c, int n, TFormaBase* tabla, QWidget* parent = nullptr);
    ~TGrafForm() override;

    int Tag() const { return n_; }

    // Refresh from the table: reads, in slices, the rows up to the last Id
    // present when it starts.
    void BotonActualizarClick();
    bool actualizando() const override { return lector_ != nullptr; }
    void VPuntosClick();
    void BotonPropiedadesClick();

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

    // Click read-out at pixel (x, y) of the chart on line series `serie` (0..2).
    void mostrarLectura(int serie, int x, int y);

    QCPGraph* serie(int k) const { return series_[k]; }
    QCheckBox *VPuntos = nullptr, *CheckCruz = nullptr;

protected:
    void closeEvent(QCloseEvent* e) override;   // FormCloseQuery
    void guardarLongitudPagina(const QString& tiempo, const QString& dias) override;
    bool cruzActiva() const override;
    void abrirPropiedades() override { BotonPropiedadesClick(); }
    QString nombreImagen() const override;
    void clicSerie(QCPAbstractPlottable* p, int indice, QMouseEvent* e) override;
    void habilitarComandos(bool si) override;
    void soltarLector(bool completa) override;
    void agregarPendientes() override;

private:
    void paso();
    void aplicarAjustes();
    void aplicarLimites();
    void volcarPendientes();
    const TGindividual& ajustes() const;

    ContextoVistas& ctx_;
    int n_;
    QPointer<TFormaBase> tabla_;
    QCPGraph* series_[kSeries] = {};

    // The refresh.
    std::unique_ptr<LecturaFondo> lector_;
    qint64 totalFilas_ = 0;   // at most this many rows to read
    qint64 leidasFinal_ = 0;
    QVector<QCPGraphData> buf_[kSeries];
    bool ordenado_[kSeries] = {};
    struct Pendiente {
        QString fecha, hora;
        TextosLectura lecturas;
    };
    QVector<Pendiente> pendientes_;

    bool activada_ = false;

    bool gradiente_ = false;
    QColor gradienteSup_ = Qt::white, gradienteInf_ = QColor(0xC0, 0xC0, 0xC0);
    QColor colorFondo_;
};

} // namespace ombrix
