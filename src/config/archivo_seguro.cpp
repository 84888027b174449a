#include "archivo_seguro.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrix {

namespace {

QString textoErrno(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

QString noSeEscribe(const QString& ruta, int e)
{
    return QStringLiteral("No se pudo escribir el archivo %1: %2").arg(ruta, textoErrno(e));
}

// What a node that is not a regular file is, in the words the user is given.
QString claseDeNodo(mode_t modo)
{
    if (S_ISDIR(modo))
        return QStringLiteral("es una carpeta");
    if (S_ISCHR(modo) || S_ISBLK(modo))
        return QStringLiteral("es un dispositivo");
    if (S_ISFIFO(modo))
        return QStringLiteral("es una tubería (FIFO)");
    if (S_ISSOCK(modo))
        return QStringLiteral("es un socket");
    return QStringLiteral("no es un archivo común");
}

// The permissions a new file gets: 0666 less this process's umask.
mode_t modoNuevo()
{
    const mode_t m = ::umask(0);
    ::umask(m);
    return 0666 & ~m;
}

} // namespace

QString motivoDestinoInvalido(const QString& ruta)
{
    if (ruta.isEmpty())
        return QStringLiteral("Falta el nombre del archivo");
    const QByteArray nombre = QFile::encodeName(ruta);
    struct stat st;
    if (::stat(nombre.constData(), &st) == 0) {
        if (!S_ISREG(st.st_mode))
            return QStringLiteral("%1 %2, no un archivo común: no se reemplaza").arg(ruta, claseDeNodo(st.st_mode));
        return QString();
    }
    if (errno != ENOENT)
        return QStringLiteral("No se puede usar %1: %2").arg(ruta, textoErrno(errno));
    if (::lstat(nombre.constData(), &st) == 0)
        return QStringLiteral("%1 es un enlace que no lleva a ningún archivo").arg(ruta);
    const QString carpeta = QFileInfo(ruta).absolutePath();
    if (!QFileInfo(carpeta).isDir())
        return QStringLiteral("La carpeta %1 no existe").arg(carpeta);
    return QString();
}

ArchivoSeguro::ArchivoSeguro(QString ruta, bool salidaEstandar)
    : ruta_(std::move(ruta)), permitirSalida_(salidaEstandar)
{
}

ArchivoSeguro::~ArchivoSeguro() { descartar(); }

bool ArchivoSeguro::abrir(QString* error)
{
    descartar();
    auto fallo = [&](const QString& por) {
        if (error)
            *error = por;
        descartar();
        return false;
    };
    if (permitirSalida_ && ruta_ == QLatin1String("-")) {
        salidaEstandar_ = true;
        fd_ = STDOUT_FILENO;
        return true;
    }
    const QString motivo = motivoDestinoInvalido(ruta_);
    if (!motivo.isEmpty())
        return fallo(motivo);
    // A link is kept: the file it leads to is the one replaced.
    const QFileInfo info(ruta_);
    destino_ = info.isSymLink() ? info.canonicalFilePath() : info.absoluteFilePath();
    const QFileInfo final(destino_);
    QByteArray plantilla = QFile::encodeName(final.absolutePath() + QStringLiteral("/.") + final.fileName()
                                             + QStringLiteral(".XXXXXX"));
    fd_ = ::mkostemp(plantilla.data(), O_CLOEXEC);
    if (fd_ < 0)
        return fallo(QStringLiteral("No se pudo crear el archivo %1: %2").arg(ruta_, textoErrno(errno)));
    temporal_ = QFile::decodeName(plantilla);
    struct stat anterior;
    const mode_t modo = ::stat(QFile::encodeName(destino_).constData(), &anterior) == 0 ? (anterior.st_mode & 07777)
                                                                                        : modoNuevo();
    ::fchmod(fd_, modo);
    return true;
}

std::FILE* ArchivoSeguro::flujo()
{
    if (salidaEstandar_)
        return stdout;
    if (!flujo_ && fd_ >= 0)
        flujo_ = ::fdopen(::dup(fd_), "wb");
    return flujo_;
}

QIODevice* ArchivoSeguro::dispositivo()
{
    if (!archivo_ && fd_ >= 0) {
        archivo_ = new QFile;
        archivo_->open(fd_, QIODevice::WriteOnly, QFileDevice::DontCloseHandle);
    }
    return archivo_;
}

bool ArchivoSeguro::confirmar(QString* error)
{
    int e = 0;
    if (flujo_ && flujo_ != stdout) {
        if (std::fflush(flujo_) != 0 || std::ferror(flujo_))
            e = errno ? errno : EIO;
        if (std::fclose(flujo_) != 0 && !e)
            e = errno ? errno : EIO;
        flujo_ = nullptr;
    }
    if (archivo_) {
        if (!archivo_->flush() || archivo_->error() != QFileDevice::NoError)
            e = e ? e : (errno ? errno : EIO);
        delete archivo_;
        archivo_ = nullptr;
    }
    if (salidaEstandar_) {
        if (std::fflush(stdout) != 0 && !e)
            e = errno ? errno : EIO;
        fd_ = -1;
        salidaEstandar_ = false;
        if (e && error)
            *error = QStringLiteral("No se pudo escribir en la salida estándar: ") + textoErrno(e);
        return e == 0;
    }
    if (fd_ < 0) {
        if (error)
            *error = QStringLiteral("No se pudo escribir el archivo ") + ruta_;
        return false;
    }
    if (!e && ::fsync(fd_) != 0)
        e = errno;
    if (::close(fd_) != 0 && !e)
        e = errno;
    fd_ = -1;
    // Looked at again: a node put at the target meanwhile is still not replaced.
    QString motivo;
    if (!e)
        motivo = motivoDestinoInvalido(destino_);
    if (!e && motivo.isEmpty()
        && ::rename(QFile::encodeName(temporal_).constData(), QFile::encodeName(destino_).constData()) != 0)
        e = errno;
    if (e || !motivo.isEmpty()) {
        if (error)
            *error = motivo.isEmpty() ? noSeEscribe(ruta_, e) : motivo;
        descartar();
        return false;
    }
    temporal_.clear();
    // The new name reaches the disk with the folder.
    const int carpeta = ::open(QFile::encodeName(QFileInfo(destino_).absolutePath()).constData(),
                               O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (carpeta >= 0) {
        ::fsync(carpeta);
        ::close(carpeta);
    }
    return true;
}

void ArchivoSeguro::descartar()
{
    if (flujo_ && flujo_ != stdout)
        std::fclose(flujo_);
    flujo_ = nullptr;
    delete archivo_;
    archivo_ = nullptr;
    if (fd_ >= 0 && !salidaEstandar_)
        ::close(fd_);
    fd_ = -1;
    salidaEstandar_ = false;
    if (!temporal_.isEmpty())
        ::unlink(QFile::encodeName(temporal_).constData());
    temporal_.clear();
}

} // namespace ombrix
