#pragma once
// Browsing for a database: a folder tree, the "*.mdb" files of the chosen
// folder and, for a new database, the name box.

#include <QDialog>

class QFileSystemModel;
class QGroupBox;
class QLineEdit;
class QListWidget;
class QPushButton;
class QToolButton;
class QTreeView;

namespace ombrix {

class TFormaAbreBases : public QDialog {
    Q_OBJECT
public:
    explicit TFormaAbreBases(QWidget* parent = nullptr);

    bool Nueva = false;          // create a new database (else open an existing one)
    bool PuedeCerrar = false;    // the dialog may close
    QString BaseElegida;         // full path of the chosen or created database

    QTreeView* RzDirectoryTree1;
    QLineEdit* Edit1;
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

    // The folder selected in the tree; selecting one lists its databases.
    QString carpeta() const { return carpeta_; }
    void setCarpeta(const QString& ruta);

protected:
    void showEvent(QShowEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void done(int r) override;

private:
    void listarArchivos();
    QFileSystemModel* modelo_;
    QString carpeta_;
};

} // namespace ombrix
