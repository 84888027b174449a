#include "base_datos.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>

#include <QAtomicInt>
#include <QCoreApplication>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QSet>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QThread>
#include <QUrl>

#include <cerrno>
#include <functional>
#include <memory>
#include <cstring>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrix {

namespace {
QAtomicInt contador;

// The files this process holds, by device and inode. A second BaseDatos on a file
// already held is refused before it opens a descriptor of its own: closing any
// descriptor of a file drops every POSIX lock the process has on it, SQLite's too.
QMutex mutexEnUso;
QSet<QPair<quint64, quint64>> enUso;

const QString kNoExiste = QStringLiteral("El archivo no existe");
const QString kEnUso = QStringLiteral("El archivo está en uso por otro programa");
const QString kYaAbierto = QStringLiteral("El archivo está en uso: este programa ya lo tiene abierto");
const QString kSoloLectura = QStringLiteral("El archivo es de solo lectura: no se puede escribir en él");

QString ajena(const QString& detalle)
{
    return QStringLiteral("El archivo no es una base de datos de este sistema: ") + detalle;
}

// The tables the recorder writes and the columns it writes in each.
struct Tabla {
    QString nombre;
    QStringList columnas;
};

QList<Tabla> tablasDelSistema()
{
    QList<Tabla> tablas;
    const QStringList instrumento{
        QStringLiteral("Fecha"),    QStringLiteral("Hora"),     QStringLiteral("Valor_medido"),
        QStringLiteral("Set_point"), QStringLiteral("Potencia"), QStringLiteral("Alarma_1"),
        QStringLiteral("Alarma_2"), QStringLiteral("Alarma_3"), QStringLiteral("Alarma_4"),
        QStringLiteral("Partida")};
    for (int n = 1; n <= 20; ++n)
        tablas.append({QStringLiteral("Instrumento%1").arg(n), instrumento});
    QStringList combinada{QStringLiteral("Fecha"), QStringLiteral("Hora")};
    for (int n = 1; n <= 20; ++n)
        for (const char* c : {"V_medido", "SP", "Pot", "AL1", "AL2", "AL3", "AL4"})
            combinada << QStringLiteral("%1(Ins%2)").arg(QLatin1String(c)).arg(n);
    tablas.append({QStringLiteral("Combinada"), combinada});
    return tablas;
}

// A file that fails SQLite's quick check: the reason and what to do.
QString danada(const QString& detalle)
{
    return QStringLiteral("La base de datos está dañada (%1): no se registra en ella. Haga una copia del archivo y "
                          "recupere las lecturas de la copia con la orden .recover de sqlite3 "
                          "(sqlite3 copia.mdb .recover | sqlite3 recuperada.mdb), o elija otra base de datos.")
        .arg(detalle);
}

int codigoSqlite(const QSqlError& e)
{
    return e.nativeErrorCode().toInt() & 0xff;   // primary code of an extended one
}

// The reason for an SQLite error, in the words the user is given.
QString motivoSqlite(const QSqlError& e)
{
    switch (codigoSqlite(e)) {
    case 5:    // SQLITE_BUSY
    case 6:    // SQLITE_LOCKED
        return kEnUso;
    case 8:    // SQLITE_READONLY
        return kSoloLectura;
    case 11:   // SQLITE_CORRUPT
    case 26:   // SQLITE_NOTADB
        return ajena(QStringLiteral("no es un archivo SQLite válido"));
    default:
        return QStringLiteral("Error de la base de datos: ") + e.text();
    }
}

bool ejecutar(QSqlDatabase& db, const QString& sql, QString* error)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = motivoSqlite(q.lastError());
    return false;
}

// "" when the tables and columns the recorder writes are all there.
QString tablasQueFaltan(QSqlDatabase& db)
{
    QSqlQuery q(db);
    q.setForwardOnly(true);
    if (!q.exec(QStringLiteral("SELECT name FROM sqlite_master WHERE type='table'")))
        return motivoSqlite(q.lastError());
    QSet<QString> tablas;
    while (q.next())
        tablas.insert(q.value(0).toString().toLower());
    // Names are compared as SQLite does, without regard to case.
    for (const Tabla& t : tablasDelSistema()) {
        if (!tablas.contains(t.nombre.toLower()))
            return ajena(QStringLiteral("falta la tabla %1").arg(t.nombre));
        if (!q.exec(QStringLiteral("PRAGMA table_info(\"%1\")").arg(t.nombre)))
            return motivoSqlite(q.lastError());
        QSet<QString> columnas;
        while (q.next())
            columnas.insert(q.value(1).toString().toLower());
        for (const QString& c : t.columnas)
            if (!columnas.contains(c.toLower()))
                return ajena(QStringLiteral("a la tabla %1 le falta la columna %2").arg(t.nombre, c));
    }
    return QString();
}

const char* const kArchivosAnexos[] = {"-wal", "-shm", "-journal"};

// A read-only connection's name for the file.
QString uriLectura(const QString& ruta, bool inmutable)
{
    QString uri = QUrl::fromLocalFile(QFileInfo(ruta).absoluteFilePath()).toString(QUrl::FullyEncoded)
                  + QStringLiteral("?mode=ro");
    if (inmutable)
        uri += QStringLiteral("&immutable=1");
    return uri;
}
} // namespace

BaseDatos::BaseDatos()
    : conexion_(QStringLiteral("ombrix-base-%1").arg(contador.fetchAndAddRelaxed(1)))
{
}

BaseDatos::~BaseDatos() { cerrar(); }

QSqlDatabase BaseDatos::db() const { return QSqlDatabase::database(conexion_, false); }

bool BaseDatos::abrir(const QString& ruta, QString* error) { return abrirComo(ruta, error, false); }


// Why `ruta` cannot be a database file (missing, a folder, a device, a pipe
// or a socket); empty when it is a regular file.
static QString noEsBase(const QString& ruta, const QFileInfo& info)
{
    if (ruta.isEmpty() || !info.exists())
        return kNoExiste;
    if (info.isDir())
        return QStringLiteral("Es una carpeta, no un archivo de base de datos");
    if (!info.isFile())
        return QStringLiteral("No es un archivo común (es un dispositivo, una tubería o un socket)");
    return QString();
}

bool BaseDatos::abrirComo(const QString& ruta, QString* error, bool lectura)
{
    cerrar();
    lectura_ = lectura;
    auto fallo = [&](const QString& por) {
        if (error)
            *error = por;
        cerrar();
        return false;
    };

    const QFileInfo info(ruta);
    if (const QString por = noEsBase(ruta, info); !por.isEmpty())
        return fallo(por);

    const QByteArray nombre = QFile::encodeName(ruta);
    struct stat st;
    if (::stat(nombre.constData(), &st) != 0)
        return fallo(kNoExiste);
    {
        QMutexLocker l(&mutexEnUso);
        if (enUso.contains({quint64(st.st_dev), quint64(st.st_ino)}))
            return fallo(kYaAbierto);
    }

    // The flock makes the file ours alone: it also holds against a second
    // connection inside this process, and against root, whom file modes do not stop.
    // A file we may not write is still locked and read, so that the reason given
    // for refusing it is the right one.
    bool escribible = true;
    candado_ = lectura ? -1 : ::open(nombre.constData(), O_RDWR | O_CLOEXEC);
    if (candado_ < 0 && (lectura || errno == EACCES || errno == EROFS || errno == EPERM)) {
        escribible = false;
        candado_ = ::open(nombre.constData(), O_RDONLY | O_CLOEXEC);
    }
    if (candado_ < 0) {
        if (errno == EACCES || errno == EPERM)
            return fallo(QStringLiteral("No hay permiso para leer el archivo"));
        if (errno == ENOENT)
            return fallo(kNoExiste);
        return fallo(QStringLiteral("No se pudo abrir el archivo: ") + QString::fromLocal8Bit(std::strerror(errno)));
    }
    if (::flock(candado_, LOCK_EX | LOCK_NB) != 0)
        return fallo(kEnUso);
    struct stat propio;
    if (::fstat(candado_, &propio) == 0) {
        QMutexLocker l(&mutexEnUso);
        dispositivo_ = quint64(propio.st_dev);
        nodo_ = quint64(propio.st_ino);
        enUso.insert({dispositivo_, nodo_});
        enLista_ = true;
    }

    // Nothing is written until the file has shown it is one of ours.
    QString porque = revisarArchivo(ruta, escribible);
    if (!porque.isEmpty())
        return fallo(porque);
    if (!escribible && !lectura)
        return fallo(kSoloLectura);

    porque = lectura ? prepararLectura(ruta) : prepararConexion(ruta);
    if (!porque.isEmpty())
        return fallo(porque);
    ruta_ = ruta;
    abierta_ = true;
    return true;
}

QString BaseDatos::revisarArchivo(const QString& ruta, bool escribible)
{
    // The header first, through our own descriptor: an empty file or one of another
    // kind never reaches SQLite, which would take an empty file for a new database.
    unsigned char cabecera[100];
    ssize_t leidos;
    do
        leidos = ::pread(candado_, cabecera, sizeof cabecera, 0);
    while (leidos < 0 && errno == EINTR);
    if (leidos < 0)
        return QStringLiteral("No se pudo leer el archivo: ") + QString::fromLocal8Bit(std::strerror(errno));
    if (leidos == 0)
        return ajena(QStringLiteral("el archivo está vacío"));
    if (leidos < qsizetype(sizeof cabecera) || std::memcmp(cabecera, "SQLite format 3", 16) != 0)
        return ajena(QStringLiteral("no es un archivo SQLite"));

    // Bytes 18 and 19 are 2 in WAL mode. Such a file read by a read-only connection
    // gets a -wal and a -shm that the connection cannot remove; with no log beside
    // it everything is in the file itself, and it is read as immutable, which
    // creates nothing. Whatever the reading still leaves beside the file goes.
    const bool modoWal = cabecera[18] == 2 && cabecera[19] == 2;
    const bool inmutable = modoWal && !QFileInfo::exists(ruta + QStringLiteral("-wal"));
    inmutable_ = inmutable;
    QStringList nuevos;
    for (const char* sufijo : kArchivosAnexos) {
        const QString anexo = ruta + QLatin1String(sufijo);
        if (!QFileInfo::exists(anexo))
            nuevos << anexo;
    }
    const QString porque = revisarTablas(ruta, inmutable);
    // Beside a file that is taken they stay, for a reader may already share them.
    if (porque.isEmpty() && escribible)
        return porque;
    for (const QString& anexo : std::as_const(nuevos))
        if (QFileInfo::exists(anexo))
            QFile::remove(anexo);
    return porque;
}

void fueraDelHiloPrincipal(const std::function<void()>& trabajo)
{
    QCoreApplication* app = QCoreApplication::instance();
    if (!app || QThread::currentThread() != app->thread()) {
        trabajo();
        return;
    }
    std::unique_ptr<QThread> hilo(QThread::create(trabajo));
    QEventLoop espera;
    QObject::connect(hilo.get(), &QThread::finished, &espera, &QEventLoop::quit);
    hilo->start();
    while (!hilo->isFinished())
        // An application asked to end makes every loop return at once: then it just waits.
        if (espera.exec(QEventLoop::ExcludeUserInputEvents) < 0)
            hilo->wait();
    hilo->wait();
}

QString BaseDatos::revisarTablas(const QString& ruta, bool inmutable)
{
    // The check of a writer reads the whole file (seconds for years of rows):
    // it runs off the caller's thread, on a connection of its own.
    QString porque;
    fueraDelHiloPrincipal([&] { porque = revisarTablasAqui(ruta, inmutable); });
    return porque;
}

QString BaseDatos::revisarTablasAqui(const QString& ruta, bool inmutable)
{
    const QString nombre = conexion_ + QStringLiteral("-revision");
    QString porque;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), nombre);
        db.setDatabaseName(uriLectura(ruta, inmutable));
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
        porque = [&]() -> QString {
            if (!db.open())
                return motivoSqlite(db.lastError());
            const QString falta = tablasQueFaltan(db);
            if (!falta.isEmpty())
                return falta;
            QSqlQuery q(db);
            // A writer records into a sound file only: rows added to a damaged
            // one may be lost with it.
            if (!lectura_) {
                const bool bien = q.exec(QStringLiteral("PRAGMA quick_check(1)")) && q.next();
                const QString resultado = bien ? q.value(0).toString() : q.lastError().text();
                if (resultado != QLatin1String("ok"))
                    return danada(resultado);
            }
            return QString();
        }();
        db.close();
    }
    QSqlDatabase::removeDatabase(nombre);
    return porque;
}

QString BaseDatos::prepararLectura(const QString& ruta)
{
    // Read as the check read it (a WAL file without its log is immutable);
    // whatever the reading leaves beside the file goes at close.
    for (const char* sufijo : kArchivosAnexos)
        if (!QFileInfo::exists(ruta + QLatin1String(sufijo)))
            anexosNuevos_ << ruta + QLatin1String(sufijo);
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conexion_);
    db.setDatabaseName(uriLectura(ruta, inmutable_));
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI"));
    if (!db.open())
        return motivoSqlite(db.lastError());
    return QString();
}

QString BaseDatos::prepararConexion(const QString& ruta)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conexion_);
    db.setDatabaseName(ruta);
    if (!db.open())
        return motivoSqlite(db.lastError());
    QString err;
    // SQLite's locking stays normal, so that readers share the file (the
    // writer is alone by its own lock); WAL with full synchronisation commits
    // every row durably without rewriting pages, and never makes readers wait.
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
            return motivoSqlite(q.lastError());
        // SQLite answers with the mode it is left in; it does not fail when it cannot switch.
        if (!q.next() || q.value(0).toString().compare(QLatin1String("wal"), Qt::CaseInsensitive) != 0)
            return QStringLiteral("No se pudo pasar la base de datos al modo WAL");
    }
    if (!ejecutar(db, QStringLiteral("PRAGMA synchronous=FULL"), &err))
        return err;
    // A log that grew while readers held its start is cut back when it starts over.
    if (!ejecutar(db, QStringLiteral("PRAGMA journal_size_limit=4194304"), &err))
        return err;
    // A write transaction takes the exclusive lock now and proves the file writable.
    if (!ejecutar(db, QStringLiteral("BEGIN IMMEDIATE"), &err))
        return err;
    if (!ejecutar(db, QStringLiteral("COMMIT"), &err))
        return err;
    return QString();
}

bool BaseDatos::abrirLectura(const QString& ruta, QString* error, bool revisar)
{
    cerrar();
    auto fallo = [&](const QString& por) {
        if (error)
            *error = por;
        cerrar();
        return false;
    };
    // No descriptor of our own on the file: closing it would drop the locks
    // SQLite holds on it in this process, the writer's among them.
    const QFileInfo info(ruta);
    if (const QString por = noEsBase(ruta, info); !por.isEmpty())
        return fallo(por);
    if (!info.isReadable())
        return fallo(QStringLiteral("No hay permiso para leer el archivo"));
    if (info.size() == 0)
        return fallo(ajena(QStringLiteral("el archivo está vacío")));

    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conexion_);
    db.setDatabaseName(QUrl::fromLocalFile(info.absoluteFilePath()).toString(QUrl::FullyEncoded)
                       + QStringLiteral("?mode=ro"));
    // A rollback-journal file is locked whole while a row is written: the
    // reader waits that long and tries again.
    db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_OPEN_URI;QSQLITE_BUSY_TIMEOUT=3000"));
    if (!db.open())
        return fallo(motivoLectura(db.lastError(), ruta));
    // The first read opens the log and its index.
    {
        QSqlQuery q(db);
        if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master")))
            return fallo(motivoLectura(q.lastError(), ruta));
    }
    if (revisar) {
        const QString porque = tablasQueFaltan(db);
        if (!porque.isEmpty())
            return fallo(porque);
    }
    ruta_ = ruta;
    soloLectura_ = true;
    abierta_ = true;
    return true;
}

QString BaseDatos::motivoLectura(const QSqlError& e, const QString& ruta) const
{
    // A WAL database is read through its -wal and -shm files: they must be
    // readable, or SQLite must be able to create them.
    const int codigo = codigoSqlite(e);
    if (codigo == 5 || codigo == 6)   // SQLITE_BUSY, SQLITE_LOCKED
        return QStringLiteral("El archivo está ocupado por el programa que escribe en él; inténtelo de nuevo");
    if (codigo != 8 && codigo != 10 && codigo != 14)   // SQLITE_READONLY, SQLITE_IOERR, SQLITE_CANTOPEN
        return motivoSqlite(e);
    const QFileInfo info(ruta);
    const QString carpeta = info.absolutePath();
    const bool carpetaEscribible = ::access(QFile::encodeName(carpeta).constData(), W_OK) == 0;
    for (const char* sufijo : {"-wal", "-shm"}) {
        const QFileInfo anexo(ruta + QLatin1String(sufijo));
        if (anexo.exists() && !anexo.isReadable())
            return QStringLiteral("No hay permiso para leer el archivo %1").arg(anexo.fileName());
        if (!anexo.exists() && !carpetaEscribible)
            return QStringLiteral("No se puede leer: falta el archivo %1, que acompaña a la base mientras se "
                                  "registra, y no hay permiso para crearlo en la carpeta %2")
                .arg(anexo.fileName(), carpeta);
    }
    return QStringLiteral("No se pudo leer el archivo: ") + e.text();
}

void BaseDatos::cerrar()
{
    if (QSqlDatabase::contains(conexion_)) {
        {
            QSqlDatabase db = QSqlDatabase::database(conexion_, false);
            db.close();
        }
        QSqlDatabase::removeDatabase(conexion_);
    }
    for (const QString& anexo : std::as_const(anexosNuevos_))
        if (QFileInfo::exists(anexo))
            QFile::remove(anexo);
    anexosNuevos_.clear();
    // Released only after SQLite has let go of the file.
    if (candado_ >= 0) {
        ::close(candado_);
        candado_ = -1;
    }
    if (enLista_) {
        QMutexLocker l(&mutexEnUso);
        enUso.remove({dispositivo_, nodo_});
        enLista_ = false;
    }
    abierta_ = false;
    soloLectura_ = false;
    ruta_.clear();
}

bool BaseDatos::vaciarTabla(const QString& tabla, QString* error)
{
    QSqlDatabase d = db();
    auto fallo = [&](const QSqlError& e) {
        if (error)
            *error = e.text();
        return false;
    };
    if (!abierta_ || !d.isOpen())
        return fallo(QSqlError(QStringLiteral("No hay ninguna base de datos abierta"), {}, QSqlError::ConnectionError));
    if (soloLectura_)
        return fallo(QSqlError(QStringLiteral("La base de datos está abierta solo para consulta"), {},
                               QSqlError::ConnectionError));
    if (!d.transaction())
        return fallo(d.lastError());
    QSqlQuery q(d);
    const QString nombre = d.driver()->escapeIdentifier(tabla, QSqlDriver::TableName);
    if (!q.exec(QStringLiteral("DELETE FROM ") + nombre)) {
        const QSqlError e = q.lastError();
        d.rollback();
        return fallo(e);
    }
    if (!d.commit()) {
        const QSqlError e = d.lastError();
        d.rollback();
        return fallo(e);
    }
    return true;
}

} // namespace ombrix
