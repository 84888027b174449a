#pragma once
// The page of the read-only web view of the line, opened from the menu
// "Configuración" at the engineering level. OK starts (or stops) the view
// with the boxes' settings and, when it could, writes the section [Web] of
// the settings file; polling and recording are not touched. The password is
// kept as a salted hash, never as typed.

#include "config/ajustes_web.h"

#include <QDialog>

class QCheckBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace ombrix {

class Integraciones;
class Modelo;

class TFormaWeb : public QDialog {
    Q_OBJECT
public:
    TFormaWeb(Modelo& modelo, Integraciones& integraciones, QWidget* parent = nullptr);

    QCheckBox* casillaServir;
    QLineEdit* editorDireccion;    // empty: 127.0.0.1, this computer only
    QSpinBox* editorPuerto;
    QLineEdit* editorUsuario;      // empty: no password asked
    QLineEdit* editorClave;        // empty: the password saved stays
    QSpinBox* editorClientes;
    QSpinBox* editorPeticiones;
    QLabel* etiquetaDireccion;     // where the page is
    QPushButton* botonAceptar;
    QPushButton* botonCancelar;

    void FormShow();
    // The settings as the boxes hold them (the password hashed, or the one saved).
    AjustesWeb ajustes() const;
    // OK: checks the boxes, starts the view, writes the section. False after a message.
    bool botonAceptarClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    Modelo& modelo_;
    Integraciones& integraciones_;
    QString claveGuardada_;
};

} // namespace ombrix
