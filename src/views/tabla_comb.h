#pragma once
// The combined table window: the readings of several instruments side by
// side, one row per synchronised recording, with filter and order on a
// clicked cell, delete, CSV and the combined chart.

#include "views/columnas_comb.h"
#include "views/consultas_comb.h"
#include "views/contexto_vistas.h"

#include <QWidget>

class QGroupBox;
class QLabel;
class QModelIndex;
class QTableView;
class QToolBar;
class QTimer;
class QToolButton;

namespace ombrix {

class ModeloTabla;
class TVistaPrevia;
class TFormaGrafTabCom;

class TFormaTablaComb : public QWidget {
    Q_OBJECT
public:
    explicit TFormaTablaComb(ContextoVistas& c, QWidget* parent = nullptr);
    ~TFormaTablaComb() override;

    // The statement the grid shows now (the chart reads the same rows).
    const ConsultaComb& consulta() const { return consulta_; }
    const QVector<ColumnaComb>& columnasValor() const { return columnas_; }
    QStringList titulos() const;   // Id, "Fecha", "Hora", then the value columns
    ModeloTabla* modelo() const { return modelo_; }
    QTableView* rejilla() const { return rejillaDatos; }
    // A new row arrived while the grid was filtered or ordered: read again on next use.
    bool vencida() const { return vencida_; }
    // The list of rows shown is still being read (the commands that change it wait).
    bool leyendo() const;

    void DBGrid1CellClick(const QModelIndex& i);
    void BotonFiltroClick();
    void BotonOrdenClick();
    void BotonBorrarClick();
    void BotonGraficoClick();
    // The combined report's preview of the rows shown.
    TVistaPrevia* BotonImpreClick();
    bool exportarCsv(const QString& ruta);
    void BotonCsvClick();
    // A combined row was stored.
    void filaCombinadaGuardada();
    // Reads the grid again when a new row made it out of date.
    void alDia();

    QToolButton *BotonImpre = nullptr, *BotonBorrar = nullptr, *BotonGrafico = nullptr, *BotonFiltro = nullptr,
                *BotonOrden = nullptr, *BotonCsv = nullptr;
    QGroupBox* grupoFiltro = nullptr;
    QLabel* etiquetaFiltro = nullptr;
    // Shown with free recording, when nothing fills the combined table.
    QLabel* etiquetaSincronismo = nullptr;
    QTableView* rejillaDatos = nullptr;

    // The last clicked cell: its column's title and field name, and its text.
    QString FiltroColumna, FiltroCampo, FiltroValor;

signals:
    void cerrada();

protected:
    void closeEvent(QCloseEvent* e) override;   // FormCloseQuery
    bool event(QEvent* e) override;

private:
    void ajustarColumnas();
    void abrir();
    void pasoLectura();
    void habilitarComandos();
    void quitarFiltroYOrden();
    ContextoVistas& ctx_;
    QVector<ColumnaComb> columnas_;
    ConsultaComb consulta_;
    ModeloTabla* modelo_ = nullptr;
    ConsultasCombinada* fuente_ = nullptr;   // owned by modelo_
    QTimer* pasos_ = nullptr;
    bool vencida_ = false;
};

// The open combined table window, or none.
TFormaTablaComb* formaTablaComb(ContextoVistas& c);
TFormaGrafTabCom* formaGrafTabCom(ContextoVistas& c);
// Creates the combined table window (or brings the open one) with the columns
// the settings choose, and shows it.
TFormaTablaComb* abrirTablaCombinada(ContextoVistas& c);
// Closes the combined table and chart windows (before the connection goes).
void cerrarVistasCombinadas(ContextoVistas& c);

} // namespace ombrix
