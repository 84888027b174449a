#pragma once
// The frame the settings pages of the plant connections (MQTT, central
// database, web view) share: the switch on top, the form, what goes below
// it, and Aceptar/Cancelar.

#include <functional>

class QCheckBox;
class QDialog;
class QFormLayout;
class QPushButton;
class QWidget;

namespace ombrix {

// Lays out `d` and makes its two buttons. Aceptar closes the page only when
// `aceptar` took the settings; Cancelar closes it unchanged. `debajo` (may be
// null) goes under the form.
void armarPaginaAjustes(QDialog& d, QCheckBox* casilla, QFormLayout* formulario, QWidget* debajo,
                        QPushButton*& botonAceptar, QPushButton*& botonCancelar, std::function<bool()> aceptar);

} // namespace ombrix
