#include "base_datos.h"

#include <QAtomicInt>
#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace ombrix {

namespace {
QAtomicInt contador;

bool ejecutar(QSqlDatabase& db, const QString& sql, QString* error)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    if (error)
        *error = q.lastError().text();
    return false;
}
} // namespace

BaseDatos::BaseDatos()
    : conexion_(QStringLiteral("ombrix-base-%1").arg(contador.fetchAndAddRelaxed(1)))
{
}

BaseDatos::~BaseDatos() { cerrar(); }

QSqlDatabase BaseDatos::db() const { return QSqlDatabase::database(conexion_, false); }

bool BaseDatos::abrir(const QString& ruta, QString* error)
{
    cerrar();
    auto fallo = [&](const QString& por) {
        if (error)
            *error = por;
        cerrar();
        return false;
    };

    const QFileInfo info(ruta);
    if (ruta.isEmpty() || !info.exists() || !info.isFile())
        return fallo(QStringLiteral("the file does not exist"));

    // The flock makes the file ours alone: it also holds against a second
    // connection inside this process, and against root, whom file modes do not stop.
    candado_ = ::open(QFile::encodeName(ruta).constData(), O_RDWR | O_CLOEXEC);
    if (candado_ < 0)
        return fallo(QStringLiteral("the file cannot be opened for writing"));
    if (::flock(candado_, LOCK_EX | LOCK_NB) != 0)
        return fallo(QStringLiteral("the file is in use by another program"));

    const QString porque = prepararConexion(ruta);
    if (!porque.isEmpty())
        return fallo(porque);
    ruta_ = ruta;
    abierta_ = true;
    return true;
}

QString BaseDatos::prepararConexion(const QString& ruta)
{
    QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), conexion_);
    db.setDatabaseName(ruta);
    if (!db.open())
        return db.lastError().text();
    QString err;
    // Exclusive locking keeps SQLite's own lock for the whole session; WAL with
    // full synchronisation commits every row durably without rewriting pages.
    if (!ejecutar(db, QStringLiteral("PRAGMA locking_mode=EXCLUSIVE"), &err)
        || !ejecutar(db, QStringLiteral("PRAGMA journal_mode=WAL"), &err)
        || !ejecutar(db, QStringLiteral("PRAGMA synchronous=FULL"), &err))
        return err;
    QSqlQuery q(db);
    if (!q.exec(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE type='table' AND name='Instrumento1'")))
        return q.lastError().text();
    if (!q.next() || q.value(0).toInt() != 1)
        return QStringLiteral("the file is not a database of this system");
    q.finish();
    // A write transaction takes the exclusive lock now and proves the file writable.
    if (!ejecutar(db, QStringLiteral("BEGIN IMMEDIATE"), &err))
        return err;
    if (!ejecutar(db, QStringLiteral("COMMIT"), &err))
        return err;
    return QString();
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
    // Released only after SQLite has let go of the file.
    if (candado_ >= 0) {
        ::close(candado_);
        candado_ = -1;
    }
    abierta_ = false;
    ruta_.clear();
}

} // namespace ombrix
