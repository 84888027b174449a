#pragma once
// The page of the publisher of live values to the plant's MQTT broker,
// opened from the menu "Configuración" at the engineering level. OK writes
// the section [MQTT] of the settings file and restarts the publisher with
// it; polling and recording are not touched.

#include "config/ajustes_mqtt.h"

#include <QDialog>

class QCheckBox;
class QComboBox;
class QLineEdit;
class QPushButton;
class QSpinBox;

namespace ombrix {

class Integraciones;
class Modelo;

class TFormaMqtt : public QDialog {
    Q_OBJECT
public:
    TFormaMqtt(Modelo& modelo, Integraciones& integraciones, QWidget* parent = nullptr);

    QCheckBox* casillaPublicar;
    QLineEdit* editorServidor;
    QSpinBox* editorPuerto;        // 0: 1883, or 8883 with a CA file
    QLineEdit* editorPrefijo;      // empty: the default, shown as the placeholder
    QLineEdit* editorUsuario;
    QLineEdit* editorClave;
    QLineEdit* editorArchivoCA;
    QLineEdit* editorIdCliente;
    QComboBox* listaQoS;
    QComboBox* listaProtocolo;
    QSpinBox* editorCola;
    QCheckBox* casillaHomeAssistant;
    QPushButton* botonAceptar;
    QPushButton* botonCancelar;

    // Shows the settings as the file holds them now.
    void FormShow();
    // The settings as the boxes hold them.
    AjustesMqtt ajustes() const;
    // OK: checks the boxes (a message and false when something is wrong),
    // writes the section and restarts the publisher.
    bool botonAceptarClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    Modelo& modelo_;
    Integraciones& integraciones_;
};

} // namespace ombrix
