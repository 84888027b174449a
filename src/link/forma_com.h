#pragma once
// The communication parameters dialog: port (a COM port, or a serial device
// server reached over TCP by host and port), line speed, the DTR and RTS
// levels, synchronised recording, the polling period and how often an
// instrument in communication alarm is retried.

#include <QDialog>
#include <QGroupBox>

class QCheckBox;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSpinBox;
class QTabWidget;

namespace ombrix {

class Modelo;

// A caption and two items, "Borrar" and "Enviar", of which one is selected.
class GrupoRadio : public QGroupBox {
    Q_OBJECT
public:
    GrupoRadio(const QString& titulo, QWidget* parent = nullptr);
    void agregar(const QString& texto);
    int ItemIndex() const;
    void setItemIndex(int i);   // an index outside the items selects none

private:
    QList<QRadioButton*> botones_;
};

class TFormaCom : public QDialog {
    Q_OBJECT
public:
    explicit TFormaCom(Modelo& modelo, QWidget* parent = nullptr);

    QTabWidget* Paginas;
    QWidget* PuertoPC;
    QWidget* Datos;
    QGroupBox* grupoPuerto;
    QRadioButton* COM[8];   // COM1 .. COM8
    QRadioButton* botonServidor;   // a device server instead of a COM port
    QLineEdit* editorServidor;     // its host name or address
    QSpinBox* casillaPuertoTcp;    // its TCP port
    QGroupBox* grupoVelocidad;
    QComboBox* BaudRate;
    GrupoRadio* grupoRts;   // captioned "RTS": edits Config.RTS
    GrupoRadio* grupoDtr;   // captioned "DTR": edits Config.DTR
    QGroupBox* grupoTomaDatos;
    QCheckBox* Sincronismo;
    QSpinBox* TiempoSinc1;
    QGroupBox* grupoBarrido;
    QSpinBox* Barrido;
    QGroupBox* grupoReintento;
    QLabel* etiquetaReintento;
    QSpinBox* casillaReintento;   // Config.ReintentoAlarma, 0 = "Nunca"
    QPushButton* botonAceptar;
    QPushButton* botonCancelar;

    void FormActivate();
    void SincronismoClick();
    // Stores what the dialog shows; false (nothing stored, the user told why)
    // when the device server's name is not one a connection can be made to.
    bool botonAceptarClick();

protected:
    void showEvent(QShowEvent* e) override;

private:
    Modelo& modelo_;
};

} // namespace ombrix
