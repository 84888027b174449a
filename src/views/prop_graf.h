#pragma once
// The chart properties dialog: which values are drawn, their colours, alarm
// levels, line width, value axis limits, title, grid, legend, background and
// automatic following. Everything is checked before anything is applied.

#include "views/contexto_vistas.h"

#include <QColor>
#include <QDialog>
#include <QFont>

#include <functional>

class QCheckBox;
class QDoubleSpinBox;
class QLabel;
class QLineEdit;
class QPlainTextEdit;
class QPushButton;
class QSpinBox;
class QToolButton;

namespace ombrix {

class TGrafForm;

// A font with its colour, as the title is drawn.
struct FuenteConColor {
    QFont fuente;
    QColor color;
};

// Choosers the dialog opens; they return false (or an invalid colour) when
// cancelled. Tests put their own in place of the system dialogs.
using ElegirColor = std::function<QColor(const QColor& inicial, QWidget* padre)>;
using ElegirFuente = std::function<bool(FuenteConColor& fuente, QWidget* padre)>;
QColor colorDelSistema(const QColor& inicial, QWidget* padre);
bool fuenteDelSistema(FuenteConColor& fuente, QWidget* padre);

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
    QPushButton* botonFuente;
    QCheckBox *checkGradiente, *checkColorFondo;
    QLabel *muestraColorSup, *muestraColorInf, *muestraColorFondo;
    QPushButton *botonColorSup, *botonColorInf, *botonColorFondo;

    ElegirColor elegirColor = colorDelSistema;
    ElegirFuente elegirFuente = fuenteDelSistema;

    // The chooser on the title font, and on the three background colours.
    void BotonFuenteClick();
    void BotonGradiente1Click();
    void BotonGradiente2Click();
    void BotonColorFondoClick();
    // Unchecking "Activar color de fondo" takes the colour off the chart at once.
    void CheckColorFondoClick();
    QColor colorSuperior() const { return colorSup_; }
    QColor colorInferior() const { return colorInf_; }
    QColor colorDeFondo() const { return colorFondo_; }
    QColor colorTitulo() const { return colorTitulo_; }

private:
    void pintarMuestra(int k, const QColor& c);
    void pintarFondos();
    void ponerFuenteTitulo(const FuenteConColor& f);
    ContextoVistas& ctx_;
    int n_;
    TGrafForm* grafico_;
    QColor colores_[7];
    QColor colorSup_, colorInf_, colorFondo_ = Qt::white, colorTitulo_ = Qt::black;
};

} // namespace ombrix
