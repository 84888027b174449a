#pragma once
// The access level dialog: Operador, Avanzado (password) and Ingenieria
// (password), and the change of a level's password.

#include "config/configuracion.h"

#include <QDialog>

class QComboBox;
class QLineEdit;
class QPushButton;

namespace ombrix {

class TNiveldeacceso1 : public QDialog {
    Q_OBJECT
public:
    explicit TNiveldeacceso1(Tconfig& config, QWidget* parent = nullptr);

    QComboBox* listaNiveles;          // "Operador", "Avanzado", "Ingenieria"
    QLineEdit* editorContrasena;
    QPushButton* botonCambiarContrasena;
    QPushButton* botonAceptar;
    QPushButton* botonCancelar;

    // The level values the dialog grants, by list position.
    static constexpr quint8 kNiveles[3] = {0, 1, 3};

    void FormCreate();
    void listaNivelesChange();
    // OK: the new level, or "Contraseña incorrecta" and no change.
    void botonAceptarClick();
    void botonCambiarContrasenaClick();

private:
    Tconfig& config_;
};

} // namespace ombrix
