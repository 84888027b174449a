#pragma once
// The combined chart window: against time, the rows the combined table shows,
// up to seven series per instrument, each instrument on the left or the right
// axis. Reads in slices, follows each new combined row.

#include "views/columnas_comb.h"
#include "views/consultas_comb.h"
#include "views/contexto_vistas.h"
#include "views/grafico_tiempo.h"

#include <QElapsedTimer>
#include <QVector>

#include <array>
#include <functional>
#include <memory>

class QCPGraphData;
class QDialog;

namespace ombrix {

class TFormaGrafTabCom : public GraficoTiempo {
    Q_OBJECT
public:
    explicit TFormaGrafTabCom(ContextoVistas& c, QWidget* parent = nullptr);
    ~TFormaGrafTabCom() override;

    // Refresh: the rows the combined table shows now (its own copy of that
    // statement when the table window is closed), read in slices.
    void BotonActualizarClick();
    bool actualizando() const override { return lector_ != nullptr; }
    // Drops every series and refreshes (after the properties dialog).
    void reconstruir();
    void PropsClick();
    // Legend on or off ("Ver referencias").
    void CheckBox1Click(bool si);
    bool leyendaVisible() const;
    void ponerCruz(bool si);
    bool cruz() const { return cruz_; }
    // A combined row was stored: its points are added.
    void filaCombinadaGuardada();

    const ConsultaComb& consulta() const { return consulta_; }
    // Series of kind t of instrument n, or none.
    QCPGraph* serie(int n, TipoValor t) const;
    // The unit a read-out of this series gives.
    QString unidadDe(const QCPGraph* g) const;
    // Click read-out at pixel (x, y) on a line series.
    void mostrarLectura(QCPGraph* g, int x, int y) { mostrarLecturaDe(g, unidadDe(g), x, y); }
    int cantidadSeries() const;

    std::function<int(QDialog&)> ejecutarModal;

protected:
    void closeEvent(QCloseEvent* e) override;
    void guardarLongitudPagina(const QString& tiempo, const QString& dias) override;
    bool cruzActiva() const override { return cruz_; }
    void abrirPropiedades() override { PropsClick(); }
    QString nombreImagen() const override { return QStringLiteral("grafico_combinado.png"); }
    void clicSerie(QCPAbstractPlottable* p, int indice, QMouseEvent* e) override;
    void soltarLector(bool completa) override;
    void agregarPendientes() override;

private:
    struct Columna {
        int n;
        TipoValor t;
    };
    void paso();
    bool aplicarLimites();
    void agregarFila(qint64 id);
    QCPGraph* crearSerie(int n, TipoValor t);
    void quitarSeries();

    ContextoVistas& ctx_;
    ConsultaComb consulta_;          // what the chart draws
    QVector<Columna> columnas_;      // the charted value columns, after Id, Fecha, Hora
    QVector<std::array<QCPGraph*, kTiposValor>> series_;
    std::unique_ptr<LectorCombinada> lector_;
    std::unique_ptr<ConsultasCombinada> enVivo_;
    QVector<QVector<QCPGraphData>> buf_;   // per charted column
    QVector<bool> ordenado_;
    qint64 tope_ = 0;
    QVector<qint64> pendientes_;
    QElapsedTimer progreso_;   // since the progress panel was last updated
    bool cruz_ = false;
};

} // namespace ombrix
