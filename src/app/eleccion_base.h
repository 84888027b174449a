#pragma once
// Choice of the database file: from the list of recent databases, or by
// browsing for an existing one or creating a new one from the template.

#include <QDialog>
#include <functional>

class QCheckBox;
class QGroupBox;
class QListWidget;
class QPushButton;
class QRadioButton;

namespace ombrix {

class TFormaEleccionBase : public QDialog {
    Q_OBJECT
public:
    explicit TFormaEleccionBase(QWidget* parent = nullptr);

    QGroupBox* marcoBases;
    QRadioButton* RadioNueva;
    QRadioButton* RadioExistente;
    QListWidget* listaBases;
    QPushButton* BotonAceptar;
    QPushButton* BotonCancelar;
    QPushButton* BotonLimpiar;
    QCheckBox* casillaConsulta;   // "Abrir para consulta"

    // The chosen database; it changes only when a database was chosen.
    QString RutaBase;
    // The chosen database is to be opened for consultation only.
    bool SoloConsulta = false;
    // Set when the user cancelled (at start-up the program then ends).
    bool PidioTerminar = false;

    // Browses for a database (new or existing) and returns its path, or "" when
    // the user cancelled or nothing could be created. Replaceable so that
    // callers and tests decide how browsing happens.
    std::function<QString(bool nueva)> examinar;

    void FormActivate();
    void RadioNuevaClick();
    void RadioExistenteClick();
    void listaBasesDblClick();
    void BotonLimpiarClick();
    // True when a database was chosen; otherwise the dialog stays as it was.
    bool BotonAceptarClick();
    void BotonCancelarClick();

    static const QString kMasArchivos;

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void reject() override;
};

// Reads the list of recent databases; a missing or unreadable file gives only "<Mas archivos>".
QStringList leerListaBases(const QString& ruta);
// Replaces the list as a whole; false (and the old file untouched) when it cannot be written.
bool escribirListaBases(const QString& ruta, const QStringList& lista);

} // namespace ombrix
