// A serial device the user may not open: the failure is told apart from a
// missing or busy port, and the message says what to do.

#include "link/modbus.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <cerrno>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ombrix;

namespace {

constexpr uid_t kNobody = 65534;

// Opens `ruta` as "COM1" through the link and returns how it failed. As root
// a mode bit refuses nothing, so the open runs in a child that first becomes
// the unprivileged user; any other user opens it itself.
FalloApertura abrirSinPermiso(const QString& ruta, QString* error)
{
    auto abrir = [&ruta](QString* err) {
        EnlaceModbus enlace;
        enlace.setDispositivoConfigurado([ruta](const QString&) { return ruta; });
        TEstadoPuerto puerto;
        const FalloApertura f = enlace.OpenPort(QStringLiteral("COM1"), puerto);
        if (puerto.Handle >= 0)
            enlace.ClosePort(puerto.Handle, puerto);
        if (err)
            *err = enlace.ultimoError();
        return f;
    };
    if (::geteuid() != 0)
        return abrir(error);
    const pid_t hijo = ::fork();
    if (hijo == 0) {
        if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0)
            ::_exit(100);
        ::_exit(static_cast<int>(abrir(nullptr)));
    }
    int estado = 0;
    ::waitpid(hijo, &estado, 0);
    if (!WIFEXITED(estado) || WEXITSTATUS(estado) == 100)
        return FalloApertura::Ninguno;
    return static_cast<FalloApertura>(WEXITSTATUS(estado));
}

} // namespace

class TstPermiso : public QObject {
    Q_OBJECT
private slots:
    void errnoAFallo()
    {
        QCOMPARE(falloPorErrno(0), FalloApertura::Ninguno);
        QCOMPARE(falloPorErrno(EACCES), FalloApertura::SinPermiso);
        QCOMPARE(falloPorErrno(EPERM), FalloApertura::SinPermiso);
        QCOMPARE(falloPorErrno(ENOENT), FalloApertura::NoExiste);
        QCOMPARE(falloPorErrno(EBUSY), FalloApertura::PuertoInvalido);
        QCOMPARE(falloPorErrno(EWOULDBLOCK), FalloApertura::PuertoInvalido);
    }

    void abrirDiceElErrno()
    {
        QTemporaryDir dir;
        int codigo = -1;
        QString error;
        QCOMPARE(serie::abrir(dir.filePath(QStringLiteral("no-existe")), &error, &codigo), -1);
        QCOMPARE(codigo, ENOENT);
        QVERIFY(!error.isEmpty());
        QCOMPARE(serie::abrir(QString(), &error, &codigo), -1);
        QCOMPARE(codigo, 0);
    }

    void mensajeNombraPuertoYGrupo()
    {
        const QString m = EnlaceModbus::mensajeDe(FalloApertura::SinPermiso, QStringLiteral("/dev/ttyUSB0"));
        QVERIFY2(m.startsWith(QStringLiteral("No tiene permiso para abrir el puerto /dev/ttyUSB0.")), qPrintable(m));
        const QString usuario = EnlaceModbus::usuarioActual();
        QVERIFY(!usuario.isEmpty());
        QVERIFY2(m.contains(QStringLiteral("sudo adduser %1 dialout").arg(usuario)), qPrintable(m));
        QVERIFY(m.contains(QStringLiteral("vuelva a iniciar la sesión")));
        // The other failures keep their own messages.
        QVERIFY(!EnlaceModbus::mensajeDe(FalloApertura::PuertoInvalido).contains(QStringLiteral("dialout")));
        QVERIFY(EnlaceModbus::mensajeDe(FalloApertura::Ninguno).isEmpty());
    }

    void dispositivoSinPermiso()
    {
        // A node only its owner may open, in a folder anybody may enter.
        QTemporaryDir dir;
        QVERIFY(QFile::setPermissions(dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                      | QFileDevice::ExeGroup | QFileDevice::ExeOther));
        const QString ruta = dir.filePath(QStringLiteral("ttyCerrado"));
        {
            QFile f(ruta);
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        const QFileDevice::Permissions soloDueno = ::geteuid() == 0 ? QFileDevice::ReadOwner | QFileDevice::WriteOwner
                                                                    : QFileDevice::Permissions();
        QVERIFY(QFile::setPermissions(ruta, soloDueno));
        QString error;
        QCOMPARE(abrirSinPermiso(ruta, &error), FalloApertura::SinPermiso);
    }

    void enlaceRecuerdaElFallo()
    {
        QTemporaryDir dir;
        const QString ruta = dir.filePath(QStringLiteral("ttyNoHay"));
        EnlaceModbus enlace;
        enlace.setDispositivoConfigurado([ruta](const QString&) { return ruta; });
        TEstadoPuerto puerto;
        QCOMPARE(enlace.OpenPort(QStringLiteral("COM1"), puerto), FalloApertura::NoExiste);
        QCOMPARE(enlace.ultimoFallo(), FalloApertura::NoExiste);
        QCOMPARE(EnlaceModbus::mensajeDe(enlace.ultimoFallo(), ruta),
                 QStringLiteral("El puerto %1 no existe").arg(ruta));
        QCOMPARE(enlace.ultimaRuta(), ruta);
        QVERIFY(enlace.ultimoError().startsWith(ruta + QStringLiteral(": ")));
    }
};

QTEST_GUILESS_MAIN(TstPermiso)
#include "tst_permiso.moc"
