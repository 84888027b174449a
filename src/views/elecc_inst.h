#pragma once
// The choice of the combined table's columns: per instrument, which of its
// seven values become columns. Works on a copy of the flags until "Ver Tabla".

#include "views/contexto_vistas.h"

#include <QDialog>
#include <QVector>

#include <array>

class QCheckBox;
class QGroupBox;
class QListWidget;
class QPushButton;

namespace ombrix {

class TFormaEleccInst : public QDialog {
    Q_OBJECT
public:
    TFormaEleccInst(ContextoVistas& c, QWidget* parent = nullptr);

    // Fills the list with the instruments' titles and loads the flags.
    void FormActivate();
    void ListBox1Click();
    // Stores the check boxes into the working copy of the instrument shown.
    void actualizar();
    // Copies the working flags into the settings and closes with OK.
    void BotonVerClick();

    QListWidget* listaInstrumentos = nullptr;
    QGroupBox* grupoInstrumento = nullptr;
    QCheckBox* casillas[7] = {};   // VM1, SP1, POT1, AL11 .. AL14
    QPushButton *BotonVer = nullptr, *botonCancelar = nullptr;

    QVector<std::array<bool, 7>> SeleccionComb;   // 1.. instruments
    int InstrumentoElegido = 0;

private:
    ContextoVistas& ctx_;
};

// The title an instrument shows on its panel.
QString tituloInstrumento(const Modelo& m, int n);

} // namespace ombrix
