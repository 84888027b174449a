#pragma once
// A real PostgreSQL server for the tests: a cluster made by initdb in a
// temporary folder, run by the test as its child on a free port of
// 127.0.0.1, its socket in that folder; stopped (fast shutdown) by the test.
// PostgreSQL refuses to run as root: then the cluster belongs to "nobody"
// and its programs run as that user (setpriv).
//
// The superuser "ombrix" logs in with a password over TCP (scram-sha-256).

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <libpq-fe.h>

#include <arpa/inet.h>
#include <grp.h>
#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ombrix::test {

class ServidorPostgres {
public:
    static QString binarios() { return QStringLiteral("/usr/lib/postgresql/15/bin"); }
    static constexpr const char* kUsuario = "ombrix";
    static constexpr const char* kClave = "clave-de-prueba";

    QTemporaryDir dir;
    quint16 puerto = 0;
    QProcess proceso;

    ServidorPostgres() { puerto = libre(); }
    ~ServidorPostgres() { detener(); }

    QString datos() const { return dir.filePath(QStringLiteral("datos")); }

    // initdb (once) and start; false with the reason.
    bool iniciar(QString* error)
    {
        if (!QFileInfo::exists(datos() + QStringLiteral("/PG_VERSION")) && !crear(error))
            return false;
        return arrancar(error);
    }

    bool arrancar(QString* error)
    {
        proceso.setProcessChannelMode(QProcess::MergedChannels);
        proceso.setStandardOutputFile(dir.filePath(QStringLiteral("servidor.log")), QIODevice::Append);
        const QStringList args{QStringLiteral("-D"), datos(), QStringLiteral("-p"), QString::number(puerto),
                               QStringLiteral("-k"), dir.path(), QStringLiteral("-c"),
                               QStringLiteral("listen_addresses=127.0.0.1"), QStringLiteral("-c"), QStringLiteral("fsync=off"),
                               QStringLiteral("-c"), QStringLiteral("synchronous_commit=off"), QStringLiteral("-c"),
                               QStringLiteral("full_page_writes=off")};
        correr(proceso, binarios() + QStringLiteral("/postgres"), args);
        if (!proceso.waitForStarted(5000))
            return fallo(error, QStringLiteral("postgres no arranca"));
        const QByteArray ping = QStringLiteral("host=127.0.0.1 port=%1 dbname=postgres connect_timeout=2").arg(puerto).toUtf8();
        for (int i = 0; i < 300; ++i) {
            if (PQping(ping.constData()) == PQPING_OK)
                return true;
            if (proceso.state() == QProcess::NotRunning)
                break;
            QTest::qWait(50);
        }
        QFile log(dir.filePath(QStringLiteral("servidor.log")));
        log.open(QIODevice::ReadOnly);
        return fallo(error, QStringLiteral("postgres no responde: ") + QString::fromUtf8(log.readAll().right(2000)));
    }

    // Fast shutdown: open sessions are cut, as a server restart cuts them.
    void detener()
    {
        if (proceso.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(proceso.processId()), SIGINT);
        if (!proceso.waitForFinished(20000)) {
            proceso.kill();
            proceso.waitForFinished(5000);
        }
    }

    QString url(const QString& base) const
    {
        return QStringLiteral("postgresql://%1@127.0.0.1:%2/%3").arg(QLatin1String(kUsuario)).arg(puerto).arg(base);
    }

    // A new, empty database.
    bool crearBase(const QString& base, QString* error)
    {
        return ejecutar(QStringLiteral("postgres"), QStringLiteral("CREATE DATABASE \"%1\"").arg(base), error);
    }

    bool ejecutar(const QString& base, const QString& sql, QString* error = nullptr)
    {
        PGconn* c = conectar(base);
        PGresult* r = PQexec(c, sql.toUtf8().constData());
        const bool ok = r && (PQresultStatus(r) == PGRES_COMMAND_OK || PQresultStatus(r) == PGRES_TUPLES_OK);
        if (!ok && error)
            *error = QString::fromUtf8(PQerrorMessage(c));
        PQclear(r);
        PQfinish(c);
        return ok;
    }

    // Every row of a query, each as its column texts ("<NULL>" for NULL).
    QList<QStringList> filas(const QString& base, const QString& sql)
    {
        QList<QStringList> r;
        PGconn* c = conectar(base);
        PGresult* res = PQexec(c, sql.toUtf8().constData());
        if (PQresultStatus(res) != PGRES_TUPLES_OK)
            qWarning("%s: %s", qPrintable(sql), PQerrorMessage(c));
        for (int i = 0; i < PQntuples(res); ++i) {
            QStringList f;
            for (int k = 0; k < PQnfields(res); ++k)
                f << (PQgetisnull(res, i, k) ? QStringLiteral("<NULL>") : QString::fromUtf8(PQgetvalue(res, i, k)));
            r << f;
        }
        PQclear(res);
        PQfinish(c);
        return r;
    }

    qint64 numero(const QString& base, const QString& sql)
    {
        const QList<QStringList> f = filas(base, sql);
        return f.isEmpty() ? -1 : f[0].value(0).toLongLong();
    }

    static quint16 libre()
    {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a {};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t largo = sizeof a;
        ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &largo);
        ::close(s);
        return ntohs(a.sin_port);
    }

private:
    static bool fallo(QString* error, const QString& t)
    {
        if (error)
            *error = t;
        return false;
    }

    PGconn* conectar(const QString& base)
    {
        const QByteArray c = QStringLiteral("host=127.0.0.1 port=%1 dbname=%2 user=%3 password=%4")
                                 .arg(puerto)
                                 .arg(base, QLatin1String(kUsuario), QLatin1String(kClave))
                                 .toUtf8();
        return PQconnectdb(c.constData());
    }

    // As root, the server's programs run as "nobody", owner of the folder.
    void correr(QProcess& p, const QString& programa, const QStringList& args)
    {
        if (::geteuid() == 0) {
            p.start(QStringLiteral("/usr/bin/setpriv"),
                    QStringList{QStringLiteral("--reuid=nobody"), QStringLiteral("--regid=nogroup"),
                                QStringLiteral("--clear-groups"), QStringLiteral("--")}
                        + QStringList{programa} + args);
        } else {
            p.start(programa, args);
        }
    }

    bool crear(QString* error)
    {
        if (::geteuid() == 0) {
            const passwd* pw = ::getpwnam("nobody");
            const group* gr = ::getgrnam("nogroup");
            if (!pw || !gr || ::chown(dir.path().toUtf8().constData(), pw->pw_uid, gr->gr_gid) != 0)
                return fallo(error, QStringLiteral("no se pudo dar la carpeta del servidor a nobody"));
        }
        const QString claveArchivo = dir.filePath(QStringLiteral("clave"));
        {
            QFile f(claveArchivo);
            f.open(QIODevice::WriteOnly);
            f.write(kClave);
            f.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ReadOther);
        }
        QProcess initdb;
        initdb.setProcessChannelMode(QProcess::MergedChannels);
        correr(initdb, binarios() + QStringLiteral("/initdb"),
               {QStringLiteral("-D"), datos(), QStringLiteral("-U"), QLatin1String(kUsuario),
                QStringLiteral("--pwfile=") + claveArchivo, QStringLiteral("--auth-host=scram-sha-256"),
                QStringLiteral("--auth-local=trust"), QStringLiteral("-E"), QStringLiteral("UTF8"),
                QStringLiteral("--locale=C"), QStringLiteral("--no-sync")});
        if (!initdb.waitForFinished(120000) || initdb.exitCode() != 0)
            return fallo(error, QStringLiteral("initdb falló: ") + QString::fromUtf8(initdb.readAll()));
        return true;
    }
};

} // namespace ombrix::test
