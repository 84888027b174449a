#include "abre_archivos.h"

#include "centrar.h"
#include "config/dialogos.h"
#include "config/rutas.h"

#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QSplitter>
#include <QStyle>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

namespace ombrix {

TFormaAbreBases::TFormaAbreBases(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint)
{
    setObjectName(QStringLiteral("FormaAbreBases"));
    setModal(true);

    modelo_ = new QFileSystemModel(this);
    modelo_->setFilter(QDir::AllDirs | QDir::NoDotAndDotDot | QDir::Drives);
    modelo_->setRootPath(QDir::rootPath());

    auto* grupoCarpetas = new QGroupBox(QStringLiteral("Carpetas disponibles:"));
    RzDirectoryTree1 = new QTreeView(grupoCarpetas);
    RzDirectoryTree1->setModel(modelo_);
    for (int c = 1; c < modelo_->columnCount(); ++c)
        RzDirectoryTree1->hideColumn(c);
    RzDirectoryTree1->header()->hide();
    (new QVBoxLayout(grupoCarpetas))->addWidget(RzDirectoryTree1);

    auto* grupoBases = new QGroupBox(QStringLiteral("Bases disponibles:"));
    Edit1 = new QLineEdit(grupoBases);
    Edit1->setReadOnly(true);
    BotonCarpeta = new QToolButton(grupoBases);
    BotonCarpeta->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    BotonCarpeta->setToolTip(QStringLiteral("Crea un carpeta nueva"));
    RzFileListBox1 = new QListWidget(grupoBases);
    auto* fila = new QHBoxLayout;
    fila->addWidget(Edit1);
    fila->addWidget(BotonCarpeta);
    auto* gb = new QVBoxLayout(grupoBases);
    gb->addLayout(fila);
    gb->addWidget(RzFileListBox1);

    auto* divisor = new QSplitter(Qt::Horizontal);
    divisor->addWidget(grupoCarpetas);
    divisor->addWidget(grupoBases);
    divisor->setSizes({260, 300});

    GrupoNombre = new QGroupBox(QStringLiteral("Nombre de la base de datos:"));
    NombreBase = new QLineEdit(GrupoNombre);
    (new QVBoxLayout(GrupoNombre))->addWidget(NombreBase);

    BotonAceptar = new QPushButton(QStringLiteral("&Aceptar"));
    BotonAceptar->setDefault(true);
    BotonCancelar = new QPushButton(QStringLiteral("&Cancelar"));
    auto* botones = new QHBoxLayout;
    botones->addStretch();
    botones->addWidget(BotonAceptar);
    botones->addWidget(BotonCancelar);

    auto* capa = new QVBoxLayout(this);
    capa->addWidget(divisor, 1);
    capa->addWidget(GrupoNombre);
    capa->addLayout(botones);
    resize(600, 420);

    connect(RzDirectoryTree1, &QTreeView::clicked, this, [this](const QModelIndex& i) {
        setCarpeta(modelo_->filePath(i));
    });
    connect(RzFileListBox1, &QListWidget::itemClicked, this, &TFormaAbreBases::RzFileListBox1Click);
    connect(RzFileListBox1, &QListWidget::itemDoubleClicked, this, &TFormaAbreBases::RzFileListBox1DblClick);
    connect(BotonCarpeta, &QToolButton::clicked, this, &TFormaAbreBases::CrearCarpeta);
    connect(BotonAceptar, &QPushButton::clicked, this, &TFormaAbreBases::BotonAceptarClick);
    connect(BotonCancelar, &QPushButton::clicked, this, &TFormaAbreBases::BotonCancelarClick);
}

void TFormaAbreBases::showEvent(QShowEvent* e)
{
    QDialog::showEvent(e);
    centrarEnPantalla(this);
    FormActivate();
}

void TFormaAbreBases::FormActivate()
{
    if (Nueva) {
        setWindowTitle(QStringLiteral("Cargar base de datos nueva"));
        GrupoNombre->show();
    } else {
        setWindowTitle(QStringLiteral("Abrir base de daros existente"));
        GrupoNombre->hide();
    }
    setCarpeta(carpetaDatos());
}

void TFormaAbreBases::setCarpeta(const QString& ruta)
{
    carpeta_ = QDir::cleanPath(ruta);
    const QModelIndex i = modelo_->index(carpeta_);
    if (i.isValid()) {
        RzDirectoryTree1->setCurrentIndex(i);
        RzDirectoryTree1->scrollTo(i);
    }
    RzDirectoryTree1Click();
}

void TFormaAbreBases::RzDirectoryTree1Click()
{
    Edit1->setText(QDir::toNativeSeparators(carpeta_));
    listarArchivos();
}

void TFormaAbreBases::listarArchivos()
{
    RzFileListBox1->clear();
    RzFileListBox1->addItems(QDir(carpeta_).entryList({QStringLiteral("*.mdb")}, QDir::Files, QDir::Name | QDir::IgnoreCase));
}

void TFormaAbreBases::RzFileListBox1Click()
{
    if (QListWidgetItem* it = RzFileListBox1->currentItem())
        NombreBase->setText(it->text());
}

void TFormaAbreBases::RzFileListBox1DblClick()
{
    RzFileListBox1Click();
    AbrirBase();
}

void TFormaAbreBases::BotonAceptarClick()
{
    AbrirBase();
    if (PuedeCerrar)
        accept();
}

void TFormaAbreBases::BotonCancelarClick()
{
    PuedeCerrar = true;
    BaseElegida.clear();
    reject();
}

bool TFormaAbreBases::AbrirBase()
{
    QListWidgetItem* elegido = RzFileListBox1->currentItem();
    const QString seleccionado = elegido ? carpeta_ + QLatin1Char('/') + elegido->text() : QString();

    if (!Nueva) {
        if (!seleccionado.isEmpty() && QFileInfo(seleccionado).isFile()) {
            PuedeCerrar = true;
            BaseElegida = seleccionado;
        } else {
            dialogos().mensaje(kTituloError, QStringLiteral("El archivo no existe."), Icono::Error, Botones::SiNo);
            PuedeCerrar = false;
        }
        return false;
    }

    BaseElegida = carpeta_ + QLatin1Char('/') + NombreBase->text();
    if (!BaseElegida.contains(QStringLiteral(".mdb")))
        BaseElegida += QStringLiteral(".mdb");

    if (QFileInfo::exists(BaseElegida)) {
        const Respuesta r = dialogos().mensaje(QStringLiteral("ATENCION!!"),
                                               QStringLiteral("El archivo: ") + BaseElegida
                                                   + QStringLiteral(" ya existe. ¿Desea sobre escribirlo?"),
                                               Icono::Pregunta, Botones::SiNo);
        // An existing database is never overwritten: the dialog stays open so
        // that the user types another name; Yes points at the selected file.
        if (r == Respuesta::Si)
            BaseElegida = seleccionado;
        PuedeCerrar = false;
        return false;
    }

    if (!QFileInfo::exists(rutaModelo())) {
        dialogos().mensaje(kTituloError,
                           QStringLiteral("No se encuentra la base modelo. No se puede crear la base nueva.-"),
                           Icono::Error, Botones::Ok);
        BaseElegida.clear();
        PuedeCerrar = true;
        return false;
    }

    // QFile::copy never replaces an existing file.
    const bool copiado = QFile::copy(rutaModelo(), BaseElegida);
    if (!copiado)
        BaseElegida.clear();
    PuedeCerrar = true;
    return copiado;
}

void TFormaAbreBases::CrearCarpeta()
{
    QString nombre;
    if (!dialogos().entrada(QStringLiteral("Crear carpeta"), QStringLiteral("Con nombre:"), nombre))
        return;
    nombre = nombre.trimmed();
    if (nombre.isEmpty() || nombre.contains(QLatin1Char('/')) || nombre == QStringLiteral(".")
        || nombre == QStringLiteral(".."))
        return;
    const QString nueva = carpeta_ + QLatin1Char('/') + nombre;
    if (!QDir(carpeta_).mkdir(nombre) && !QFileInfo(nueva).isDir())
        return;
    Edit1->setToolTip(QDir::toNativeSeparators(nueva));
    setCarpeta(nueva);
}

void TFormaAbreBases::closeEvent(QCloseEvent* e)
{
    if (PuedeCerrar)
        e->accept();
    else
        e->ignore();
}

void TFormaAbreBases::done(int r)
{
    // Escape cancels; otherwise the dialog closes only when it may.
    if (r == QDialog::Rejected && !PuedeCerrar) {
        BotonCancelarClick();
        return;
    }
    if (PuedeCerrar)
        QDialog::done(r);
}

} // namespace ombrix
