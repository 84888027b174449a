#pragma once
// The options dialog: asking for a batch code when recording starts, and
// keeping the access level across restarts.

#include "config/configuracion.h"

#include <QDialog>

class QCheckBox;
class QPushButton;

namespace ombrix {

class TConf_Opciones : public QDialog {
    Q_OBJECT
public:
    explicit TConf_Opciones(Tconfig& config, QWidget* parent = nullptr);

    QCheckBox* casillaPedirPartida;
    QCheckBox* casillaMantenerNivel;
    QPushButton* botonAceptar;
    QPushButton* botonCancelar;

    // The boxes show the settings as they are now (also after another
    // database was loaded), every time the dialog opens.
    void FormShow();
    // OK: stores both options; the caller then stops every recording.
    void botonAceptarClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    Tconfig& config_;
};

} // namespace ombrix
