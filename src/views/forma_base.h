#pragma once
// The instrument data table window: a grid over every reading of one
// instrument, with delete, chart and CSV commands.

#include "acquisition/registro.h"
#include "views/contexto_vistas.h"

#include <QPointer>
#include <QWidget>

class QTableView;
class QToolBar;
class QToolButton;

namespace ombrix {

class ModeloTabla;
class TGrafForm;

class TFormaBase : public QWidget {
    Q_OBJECT
public:
    TFormaBase(ContextoVistas& c, int n, QWidget* parent = nullptr);
    ~TFormaBase() override;

    int Tag() const { return n_; }
    ModeloTabla* modelo() const { return modelo_; }
    QTableView* rejilla() const { return rejilla_; }
    TGrafForm* FormaGraf() const;

    QToolButton* BotonImpre = nullptr;
    QToolButton* BotonBorrar = nullptr;
    QToolButton* BotonGrafico = nullptr;
    QToolButton* BotonCsv = nullptr;

    // Opens the report preview over the rows stored now (replacing an open one).
    void BotonImpreClick();
    QWidget* vistaPrevia() const { return previa_.data(); }
    void BotonBorrarClick();
    void BotonGraficoClick();
    // Writes every row of the grid to `ruta` as CSV; false with a message on failure.
    bool exportarCsv(const QString& ruta);
    void BotonCsvClick();
    // A stored reading of instrument N: to the grid, and to the open chart when
    // automatic following is on.
    void filaGuardada(int n, const QString& fecha, const QString& hora, const TextosLectura& lecturas);
    void ActualizarGrafico(const QString& fecha, const QString& hora, const TextosLectura& lecturas);

    // The chart window closed (it re-enables "Graficar").
    void graficoCerrado();

protected:
    void closeEvent(QCloseEvent* e) override;   // FormCloseQuery

private:
    ContextoVistas& ctx_;
    int n_;
    QToolBar* barra_ = nullptr;
    QTableView* rejilla_ = nullptr;
    ModeloTabla* modelo_ = nullptr;
    QPointer<TGrafForm> formaGraf_;
    QPointer<QWidget> previa_;
};

// Opens instrument n's table window, or brings the open one to the front.
TFormaBase* abrirTablaInstrumento(ContextoVistas& c, int n);
// Closes every table window and chart window (before the connection goes).
void cerrarVistas(ContextoVistas& c);

} // namespace ombrix
