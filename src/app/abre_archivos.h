#pragma once
// Browsing for a database: a folder tree, the "*.mdb" files of the chosen
// folder and, for a new database, the name box.

#include <QDialog>

class QFileSystemModel;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QTimer;
class QToolButton;
class QTreeView;

namespace ombrix {

class TFormaAbreBases : public QDialog {
    Q_OBJECT
public:
    explicit TFormaAbreBases(QWidget* parent = nullptr);

    bool Nueva = false;          // create a new database (else open an existing one)
    bool PuedeCerrar = false;    // the dialog may close
    QString BaseElegida;         // full path of the chosen or created database; "" once cancelled

    QTreeView* RzDirectoryTree1;
    QLineEdit* editorCarpeta;
    QToolButton* BotonCarpeta;
    QListWidget* RzFileListBox1;
    QGroupBox* GrupoNombre;
    QLineEdit* NombreBase;
    QPushButton* BotonAceptar;
    QPushButton* BotonCancelar;

    void FormActivate();
    void RzDirectoryTree1Click();
    void RzFileListBox1Click();
    void RzFileListBox1DblClick();
    void BotonAceptarClick();
    void BotonCancelarClick();
    bool AbrirBase();
    void CrearCarpeta();

    // The folder highlighted in the tree, which is where databases are listed
    // and created; highlighting another one, by mouse or keyboard, changes it.
    QString carpeta() const { return carpeta_; }
    void setCarpeta(const QString& ruta);

    // The file name of a new database typed as `nombre`: ".mdb" is added unless
    // the name already ends so (in any case). "" when the name is not usable.
    static QString nombreArchivoNuevo(const QString& nombre);

protected:
    void showEvent(QShowEvent* e) override;
    void done(int r) override;
    bool eventFilter(QObject* objeto, QEvent* evento) override;

private:
    void seleccionCambiada();
    void mostrarCarpeta();
    void listarArchivos();
    QFileSystemModel* modelo_;
    QString carpeta_;
    bool fijando_ = false;          // the tree's selection is being set from carpeta_
    // Until the user moves in the tree it keeps the folder in view while the
    // folders load and get sorted.
    bool seguirCarpeta_ = false;
    QTimer* desplazar_;
};

} // namespace ombrix
