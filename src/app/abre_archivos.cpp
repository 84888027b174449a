#include "abre_archivos.h"

#include "touch/teclado.h"

#include "centrar.h"
#include "config/dialogos.h"
#include "config/rutas.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFileSystemModel>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLineEdit>
#include <QListWidget>
#include <QKeyEvent>
#include <QPushButton>
#include <QScrollBar>
#include <QSplitter>
#include <QStyle>
#include <QTimer>
#include <QToolButton>
#include <QTreeView>
#include <QVBoxLayout>

#include <cerrno>
#include <fcntl.h>
#include <unistd.h>

namespace ombrix {

namespace {
// Why the new file could not be written, in the words the user is given.
QString motivoEscritura(int codigo)
{
    switch (codigo) {
    case EACCES:
    case EPERM: return QStringLiteral("no hay permiso para escribir en la carpeta");
    case EROFS: return QStringLiteral("la carpeta está en un disco de solo lectura");
    case ENOSPC:
    case EDQUOT: return QStringLiteral("no queda espacio en el disco");
    case ENOENT:
    case ENOTDIR: return QStringLiteral("la carpeta no existe");
    case ENAMETOOLONG: return QStringLiteral("el nombre es demasiado largo");
    case EEXIST: return QStringLiteral("ya existe un archivo con ese nombre");
    case EIO: return QStringLiteral("error de lectura o escritura en el disco");
    default: return QStringLiteral("error del sistema número %1").arg(codigo);
    }
}

// Why the template could not be read.
QString motivoLectura(int codigo)
{
    switch (codigo) {
    case EACCES:
    case EPERM: return QStringLiteral("no hay permiso para leerla");
    case ENOENT: return QStringLiteral("el archivo no existe");
    case EIO: return QStringLiteral("error de lectura en el disco");
    default: return QStringLiteral("error del sistema número %1").arg(codigo);
    }
}

// Copies the template into a file that must not exist yet. On failure nothing
// is left behind and `porque` says why.
bool copiarModelo(const QString& origen, const QString& destino, QString& porque)
{
    const int fuente = ::open(QFile::encodeName(origen).constData(), O_RDONLY | O_CLOEXEC);
    if (fuente < 0) {
        porque = QStringLiteral("no se pudo leer la base modelo ") + QDir::toNativeSeparators(origen)
                 + QStringLiteral(": ") + motivoLectura(errno);
        return false;
    }
    const QByteArray nombre = QFile::encodeName(destino);
    const int copia = ::open(nombre.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (copia < 0) {
        porque = motivoEscritura(errno);
        ::close(fuente);
        return false;
    }
    char bloque[65536];
    bool bien = true;
    while (bien) {
        const ssize_t leidos = ::read(fuente, bloque, sizeof bloque);
        if (leidos < 0 && errno == EINTR)
            continue;
        if (leidos < 0) {
            porque = QStringLiteral("no se pudo leer la base modelo ") + QDir::toNativeSeparators(origen)
                     + QStringLiteral(": ") + motivoLectura(errno);
            bien = false;
            break;
        }
        if (leidos == 0)
            break;
        for (ssize_t hecho = 0; hecho < leidos;) {
            const ssize_t escritos = ::write(copia, bloque + hecho, size_t(leidos - hecho));
            if (escritos < 0 && errno == EINTR)
                continue;
            if (escritos < 0) {
                porque = motivoEscritura(errno);
                bien = false;
                break;
            }
            hecho += escritos;
        }
    }
    // A full disk may show only when the data reach it.
    if (bien && ::fsync(copia) != 0) {
        porque = motivoEscritura(errno);
        bien = false;
    }
    if (::close(copia) != 0 && bien) {
        porque = motivoEscritura(errno);
        bien = false;
    }
    ::close(fuente);
    if (!bien)
        ::unlink(nombre.constData());
    return bien;
}
} // namespace

TFormaAbreBases::TFormaAbreBases(QWidget* parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint)
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
    editorCarpeta = new QLineEdit(grupoBases);
    editorCarpeta->setReadOnly(true);
    BotonCarpeta = new QToolButton(grupoBases);
    BotonCarpeta->setIcon(style()->standardIcon(QStyle::SP_FileDialogNewFolder));
    BotonCarpeta->setToolTip(QStringLiteral("Crea un carpeta nueva"));
    RzFileListBox1 = new QListWidget(grupoBases);
    auto* fila = new QHBoxLayout;
    fila->addWidget(editorCarpeta);
    fila->addWidget(BotonCarpeta);
    auto* gb = new QVBoxLayout(grupoBases);
    gb->addLayout(fila);
    gb->addWidget(RzFileListBox1);

    auto* divisor = new QSplitter(Qt::Horizontal);
    divisor->addWidget(grupoCarpetas);
    divisor->addWidget(grupoBases);
    divisor->setSizes({260, 300});

    GrupoNombre = new QGroupBox(QStringLiteral("Nombre de la base de datos:"));
    // Touching it opens the on-screen keyboard.
    NombreBase = new TEditKbr(GrupoNombre);
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
    // A fixed frame: the dialog is not resized.
    setFixedSize(600, 420);

    // The highlighted folder is the folder, however it got highlighted.
    connect(RzDirectoryTree1->selectionModel(), &QItemSelectionModel::selectionChanged, this,
            &TFormaAbreBases::seleccionCambiada);
    // The folders load in the background and are sorted as they arrive, which
    // moves the rows: the tree is scrolled again until the user takes over.
    desplazar_ = new QTimer(this);
    desplazar_->setSingleShot(true);
    desplazar_->setInterval(0);
    connect(desplazar_, &QTimer::timeout, this, &TFormaAbreBases::mostrarCarpeta);
    auto seguir = [this] {
        if (seguirCarpeta_)
            desplazar_->start();
    };
    connect(modelo_, &QFileSystemModel::directoryLoaded, this, seguir);
    connect(modelo_, &QAbstractItemModel::layoutChanged, this, seguir);
    connect(modelo_, &QAbstractItemModel::rowsInserted, this, seguir);
    connect(RzDirectoryTree1->verticalScrollBar(), &QScrollBar::actionTriggered, this, [this] { seguirCarpeta_ = false; });
    connect(RzDirectoryTree1->horizontalScrollBar(), &QScrollBar::actionTriggered, this, [this] { seguirCarpeta_ = false; });
    RzDirectoryTree1->installEventFilter(this);
    RzDirectoryTree1->viewport()->installEventFilter(this);
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
    seguirCarpeta_ = true;
    setCarpeta(carpetaDatos());
}

void TFormaAbreBases::setCarpeta(const QString& ruta)
{
    carpeta_ = QDir::cleanPath(ruta);
    const QModelIndex i = modelo_->index(carpeta_);
    if (i.isValid() && !RzDirectoryTree1->selectionModel()->isSelected(i)) {
        fijando_ = true;
        RzDirectoryTree1->setCurrentIndex(i);
        fijando_ = false;
    }
    mostrarCarpeta();
    RzDirectoryTree1Click();
}

void TFormaAbreBases::seleccionCambiada()
{
    if (fijando_)
        return;
    const QModelIndexList marcadas = RzDirectoryTree1->selectionModel()->selectedIndexes();
    if (marcadas.isEmpty()) {
        // Nothing highlighted (a Ctrl+click, or the folder vanished): the
        // folder in use is highlighted again, if it is still there.
        const QModelIndex i = modelo_->index(carpeta_);
        if (i.isValid()) {
            fijando_ = true;
            RzDirectoryTree1->setCurrentIndex(i);
            fijando_ = false;
        }
        return;
    }
    const QString ruta = QDir::cleanPath(modelo_->filePath(marcadas.first().siblingAtColumn(0)));
    if (ruta != carpeta_)
        setCarpeta(ruta);
}

void TFormaAbreBases::mostrarCarpeta()
{
    const QModelIndex i = modelo_->index(carpeta_);
    if (i.isValid())
        RzDirectoryTree1->scrollTo(i, seguirCarpeta_ ? QAbstractItemView::PositionAtCenter : QAbstractItemView::EnsureVisible);
}

bool TFormaAbreBases::eventFilter(QObject* objeto, QEvent* evento)
{
    // Once the user clicks, scrolls or types in the tree, it stays where the user puts it.
    switch (evento->type()) {
    case QEvent::MouseButtonPress:
    case QEvent::Wheel:
    case QEvent::KeyPress:
        seguirCarpeta_ = false;
        break;
    default:
        break;
    }
    return QDialog::eventFilter(objeto, evento);
}

void TFormaAbreBases::RzDirectoryTree1Click()
{
    editorCarpeta->setText(QDir::toNativeSeparators(carpeta_));
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
    // A double click is the file and the OK button at once.
    RzFileListBox1Click();
    AbrirBase();
    if (PuedeCerrar)
        accept();
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
            // The box offers Yes and No; either answer leaves the dialog open.
            dialogos().mensaje(kTituloError, QStringLiteral("El archivo no existe."), Icono::Error, Botones::SiNo);
            BaseElegida.clear();
            PuedeCerrar = false;
        }
        return false;
    }

    // A refused name or a failed creation leaves the dialog open with no database.
    auto rehusar = [this](const QString& texto) {
        dialogos().mensaje(kTituloError, texto, Icono::Error, Botones::Ok);
        BaseElegida.clear();
        PuedeCerrar = false;
        return false;
    };
    const QString nombre = nombreArchivoNuevo(NombreBase->text());
    if (nombre.isEmpty()) {
        if (NombreBase->text().contains(QLatin1Char('/')))
            return rehusar(QStringLiteral("El nombre de la base de datos no puede contener el carácter \"/\"."));
        return rehusar(QStringLiteral("Escriba el nombre de la base de datos nueva."));
    }
    BaseElegida = carpeta_ + QLatin1Char('/') + nombre;

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

    if (!QFileInfo::exists(rutaModelo()))
        return rehusar(QStringLiteral("No se encuentra la base modelo. No se puede crear la base nueva.-"));

    QString porque;
    if (!copiarModelo(rutaModelo(), BaseElegida, porque))
        return rehusar(QStringLiteral("No se pudo crear la base de datos nueva ") + QDir::toNativeSeparators(BaseElegida)
                       + QStringLiteral(": ") + porque + QStringLiteral("."));
    PuedeCerrar = true;
    return true;
}

QString TFormaAbreBases::nombreArchivoNuevo(const QString& nombre)
{
    const QString limpio = nombre.trimmed();
    const QString extension = QStringLiteral(".mdb");
    if (limpio.contains(QLatin1Char('/')))
        return QString();
    if (limpio.endsWith(extension, Qt::CaseInsensitive))
        return limpio.size() > extension.size() ? limpio : QString();
    return limpio.isEmpty() ? QString() : limpio + extension;
}

void TFormaAbreBases::CrearCarpeta()
{
    QString nombre;
    if (!dialogos().entrada(QStringLiteral("Crear carpeta"), QStringLiteral("Con nombre:"), nombre))
        return;
    nombre = nombre.trimmed();
    if (nombre.isEmpty())
        return;
    if (nombre.contains(QLatin1Char('/')) || nombre == QStringLiteral(".") || nombre == QStringLiteral("..")) {
        dialogos().mensaje(kTituloError, QStringLiteral("El nombre de la carpeta no es válido: ") + nombre,
                           Icono::Error, Botones::Ok);
        return;
    }
    const QString nueva = carpeta_ + QLatin1Char('/') + nombre;
    if (!QDir(carpeta_).mkdir(nombre) && !QFileInfo(nueva).isDir()) {
        dialogos().mensaje(kTituloError, QStringLiteral("No se pudo crear la carpeta ") + QDir::toNativeSeparators(nueva),
                           Icono::Error, Botones::Ok);
        return;
    }
    editorCarpeta->setToolTip(QDir::toNativeSeparators(nueva));
    setCarpeta(nueva);
}

void TFormaAbreBases::done(int r)
{
    // Escape, the close box and the cancel button give no database, even after
    // one was picked; OK closes only when the chosen database may be used.
    if (r != QDialog::Accepted) {
        PuedeCerrar = true;
        BaseElegida.clear();
        QDialog::done(r);
        return;
    }
    if (PuedeCerrar)
        QDialog::done(r);
}

} // namespace ombrix
