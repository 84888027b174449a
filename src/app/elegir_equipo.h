#pragma once
// The instrument type dialog of "Nuevo Instrumento": controller or programmer.

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace ombrix {

class TFormaElegir : public QDialog {
    Q_OBJECT
public:
    explicit TFormaElegir(QWidget* parent = nullptr);

    QCheckBox* Controlador;
    QCheckBox* Programador;
    QPushButton* botonAceptar;
    QPushButton* botonCancelar;

    // Ticking one box unticks the other; both may end up unticked.
    void ProgramadorClick(QCheckBox* pulsada);
    // The chosen type: 1 programmer, 0 controller (also with none ticked).
    quint8 tipo() const;
};

} // namespace ombrix
