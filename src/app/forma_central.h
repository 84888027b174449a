#pragma once
// The page of the forwarder to the plant's central PostgreSQL database,
// opened from the menu "Configuración" at the engineering level. OK writes
// the section [Central] of the settings file and restarts the forwarder with
// it; polling and recording are not touched.

#include "config/ajustes_central.h"

#include <QDialog>

class QCheckBox;
class QLineEdit;
class QPushButton;

namespace ombrix {

class Integraciones;
class Modelo;

class TFormaCentral : public QDialog {
    Q_OBJECT
public:
    TFormaCentral(Modelo& modelo, Integraciones& integraciones, QWidget* parent = nullptr);

    QCheckBox* casillaEnviar;
    QLineEdit* editorUrl;      // postgresql://usuario@servidor[:puerto]/base
    QLineEdit* editorLinea;    // empty: the default, shown as the placeholder
    QLineEdit* editorClave;
    QPushButton* botonAceptar;
    QPushButton* botonCancelar;

    // Shows the settings as the file holds them now.
    void FormShow();
    // The settings as the boxes hold them.
    AjustesCentral ajustes() const;
    // OK: checks the boxes (a message and false when something is wrong),
    // writes the section and restarts the forwarder.
    bool botonAceptarClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    Modelo& modelo_;
    Integraciones& integraciones_;
};

} // namespace ombrix
