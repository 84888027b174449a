#pragma once
// The combined chart's properties: per instrument its drawn values, their
// colours and its axis; the axis limits, line width, markers, cross-hair and
// legend. Works on a copy until "Aceptar".

#include "views/contexto_vistas.h"
#include "views/prop_graf.h"

#include <QDialog>
#include <QVector>

class QCheckBox;
class QGroupBox;
class QLabel;
class QListWidget;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QToolButton;

namespace ombrix {

class TFormaGrafTabCom;

class TFormaPropGrafComb : public QDialog {
    Q_OBJECT
public:
    TFormaPropGrafComb(ContextoVistas& c, TFormaGrafTabCom* grafico, QWidget* parent = nullptr);

    void FormActivate();
    void ListBox1DblClick();
    void casillaClick(int k);   // VM1Click .. AL14Click
    void colorClick(int k);     // CLVM1Click .. CLAL14Click
    void RadioGroup1Click();
    void EspesorVActualChange();
    void BitBtn1Click();

    QListWidget* listaInstrumentos = nullptr;
    QGroupBox* grupoInstrumento = nullptr;
    QRadioButton *EjeIzquierdo = nullptr, *EjeDerecho = nullptr;
    QCheckBox* casillas[7] = {};
    QToolButton* muestras[7] = {};
    QSpinBox *Maximo = nullptr, *Minimo = nullptr, *Maximoder = nullptr, *Minimoder = nullptr, *EspesorVActual = nullptr;
    QLabel* muestraEspesor = nullptr;
    QCheckBox *VPuntos = nullptr, *CheckCruz = nullptr, *verReferencias = nullptr;
    QPushButton *botonAceptar = nullptr, *botonCancelar = nullptr;

    QVector<TInstGrafico> GraficoComb;
    QVector<int> ListaInstComb;
    ElegirColor elegirColor = colorDelSistema;

protected:
    void done(int r) override;   // FormCloseQuery

private:
    int elegido() const;
    ContextoVistas& ctx_;
    TFormaGrafTabCom* grafico_;
};

} // namespace ombrix
