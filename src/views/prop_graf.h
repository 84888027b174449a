#pragma once
// The chart properties dialog: which values are drawn, their colours, alarm
// levels, line width, value axis limits, title, grid, legend, background and
// automatic following. Everything is checked before anything is applied.

#include "views/contexto_vistas.h"

#include <QDialog>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QSpinBox;
class QToolButton;

namespace ombrix {

class TGrafForm;

class TFormaPropGraf : public QDialog {
    Q_OBJECT
public:
    TFormaPropGraf(ContextoVistas& c, int n, TGrafForm* grafico, QWidget* parent = nullptr);

    // Loads the controls from the chart and the settings.
    void FormActivate();
    // Checks every field; the reason of the first fault, empty when all are right.
    QString revisar() const;
    // Applies everything when all is right and refreshes the chart; false (and
    // nothing applied) otherwise.
    bool BotonAceptarClick();

    QCheckBox *CheckPaginas, *CheckGrilla, *CheckLegend, *CheckActualizar, *CheckTitulo;
    QLineEdit* EspesorLinea;
    QCheckBox* checkValor[7];
    QToolButton* muestraColor[7];
    QLabel* etiquetaValor[7];
    QSpinBox* PosAl[4];
    QPlainTextEdit* textoTitulo;
    QLineEdit *MaximoTemp, *Minimotemp, *maximoAl, *MinimoAl;

private:
    void pintarMuestra(int k, const QColor& c);
    ContextoVistas& ctx_;
    int n_;
    TGrafForm* grafico_;
    QColor colores_[7];
};

} // namespace ombrix
