#pragma once
// "Registro de eventos": the event log of the open database, filtered by
// instrument, kind and dates, following new events as they are logged, with
// CSV export and printing through the report preview.

#include "events/almacen_eventos.h"

#include <QPointer>
#include <QWidget>

class QCheckBox;
class QComboBox;
class QDateEdit;
class QLabel;
class QMdiArea;
class QPushButton;
class QStandardItemModel;
class QTableView;

namespace ombrix {

class RegistroEventos;

class TFormaEventos : public QWidget {
    Q_OBJECT
public:
    explicit TFormaEventos(RegistroEventos& registro, QWidget* parent = nullptr);

    QComboBox* listaInstrumento = nullptr;
    QComboBox* listaTipo = nullptr;
    QCheckBox* casillaFechas = nullptr;
    QDateEdit* fechaDesde = nullptr;
    QDateEdit* fechaHasta = nullptr;
    QPushButton* botonCsv = nullptr;
    QPushButton* botonImprimir = nullptr;
    QTableView* rejillaEventos = nullptr;
    QLabel* etiquetaCantidad = nullptr;

    // The filter the controls describe.
    almacenEventos::Filtro filtro() const;
    // Reads the events again with the filter.
    void recargar();
    // The events shown, in order.
    const QVector<Evento>& eventos() const { return eventos_; }
    bool exportarCsv(const QString& ruta);
    void BotonCsvClick();
    // Opens the preview of the rows shown.
    QWidget* BotonImprimirClick();

private:
    void agregar(const Evento& e);
    void alAnotar(const Evento& e);
    QPointer<RegistroEventos> registro_;
    QStandardItemModel* modelo_ = nullptr;
    QVector<Evento> eventos_;
    QPointer<QWidget> previa_;
};

// Opens the events window as a child window of `mdi` (a top-level window
// without one), or brings the open one to the front.
TFormaEventos* abrirFormaEventos(QMdiArea* mdi, RegistroEventos& registro);

} // namespace ombrix
