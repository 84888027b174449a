// The ombrix-sim program as the run scripts use it.

#include "cliente_linea.h"
#include "link/enlace_tcp.h"
#include "link/modbus.h"
#include "link/puerto_serie.h"
#include "raiz_temporal.h"

#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <signal.h>

namespace modbus = ombrix::modbus;
namespace serie = ombrix::serie;
namespace tcp = ombrix::tcp;
using ombrix::test::ClienteLinea;
using ombrix::test::RaizTemporal;
using ombrix::test::trama;

namespace {

QByteArray linea(QProcess& p, int plazoMs = 5000)
{
    QElapsedTimer reloj;
    reloj.start();
    while (!p.canReadLine() && reloj.elapsed() < plazoMs)
        p.waitForReadyRead(int(plazoMs - reloj.elapsed()));
    return p.canReadLine() ? p.readLine().trimmed() : QByteArray();
}

QByteArray orden(QProcess& p, const QByteArray& texto)
{
    p.write(texto + '\n');
    return linea(p);
}

QString iniciar(QProcess& p, const QStringList& argumentos)
{
    p.start(RaizTemporal::programa(QStringLiteral("ombrix-sim")), argumentos);
    if (!p.waitForStarted(5000))
        return {};
    const QByteArray l = linea(p);
    return l.startsWith("PTY ") ? QString::fromLocal8Bit(l.mid(4)) : QString();
}

// Reads one register the way the acquisition does: the count of reply bytes
// (8 when it all came, the value in *valor when good), or -1 when the line failed.
long leerRegistro(int fd, quint8 esclavo, quint16 registro, qint32* valor)
{
    const auto pedido = modbus::construirPeticion(esclavo, modbus::kLeerRegistro, registro, 0);
    if (serie::escribir(fd, pedido.data(), pedido.size()) != long(pedido.size()))
        return -1;
    uint8_t r[8] = {};
    const long n = serie::leer(fd, r, sizeof r);
    if (n == 8 && modbus::respuestaValida(r, 8, esclavo, modbus::kLeerRegistro, true))
        *valor = modbus::valorDe(r);
    return n;
}

} // namespace

class TestProgramaSim : public QObject {
    Q_OBJECT

private slots:
    void ordenesYUnaTransaccion()
    {
        QProcess p;
        const QString ruta = iniciar(p, {QStringLiteral("--inst"), QStringLiteral("5:c")});
        QVERIFY2(ruta.startsWith(QLatin1String("/dev/")), qPrintable(ruta));
        ClienteLinea cliente(ruta);
        QVERIFY(cliente.abierto());

        QCOMPARE(orden(p, "set 5 0x1000 253"), QByteArray("OK"));
        QCOMPARE(orden(p, "dynamics off"), QByteArray("OK"));
        QCOMPARE(orden(p, "set 5 4096 -200"), QByteArray("OK"));
        QCOMPARE(orden(p, "get 5 4096"), QByteArray("VALUE -200"));
        QCOMPARE(orden(p, "log on"), QByteArray("OK"));

        const QByteArray pedido = trama(5, 3, 4096, 0);
        QCOMPARE(cliente.transaccion(pedido), trama(5, 3, 4096, 0xFF38));
        QCOMPARE(linea(p), QByteArray("RX " + pedido.toHex(' ').toUpper()));

        QCOMPARE(orden(p, "fault 5 silent"), QByteArray("OK"));
        QVERIFY(cliente.transaccion(pedido, 300).isEmpty());
        QCOMPARE(linea(p), QByteArray("RX " + pedido.toHex(' ').toUpper()));  // heard while silent
        QCOMPARE(orden(p, "log off"), QByteArray("OK"));
        QCOMPARE(orden(p, "fault 5 none"), QByteArray("OK"));
        QCOMPARE(cliente.transaccion(pedido), trama(5, 3, 4096, 0xFF38));

        QVERIFY(orden(p, "get 1 4096").startsWith("ERR"));  // not served
        QVERIFY(orden(p, "fault 5 late").startsWith("ERR"));
        QVERIFY(orden(p, "frobnicate").startsWith("ERR"));
        QCOMPARE(orden(p, "fault 5 late 50"), QByteArray("OK"));

        QCOMPARE(orden(p, "quit"), QByteArray("OK"));
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void finDeEntradaYEnlace()
    {
        QTemporaryDir dir;
        const QString enlace = dir.filePath(QStringLiteral("ttyOMBRIX"));
        QFile::link(QStringLiteral("/nonexistent"), enlace);  // an old link is replaced
        QProcess p;
        const QString ruta = iniciar(p, {QStringLiteral("--link"), enlace, QStringLiteral("--no-pace")});
        QVERIFY(!ruta.isEmpty());
        QCOMPARE(QFileInfo(enlace).symLinkTarget(), ruta);

        // The default set of instruments; a client opens the link.
        ClienteLinea cliente(enlace);
        QVERIFY(cliente.abierto());
        QCOMPARE(cliente.transaccion(trama(3, 1, 16440, 0)), trama(3, 1, 16440, 1));
        QCOMPARE(cliente.transaccion(trama(4, 1, 16440, 0)), trama(4, 1, 16440, 1));

        p.closeWriteChannel();
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
        QVERIFY(!QFileInfo::exists(enlace) && !QFileInfo(enlace).isSymLink());
    }

    void adaptadorDesenchufadoYEnchufado()
    {
        QTemporaryDir dir;
        const QString enlace = dir.filePath(QStringLiteral("ttyUSB0"));
        QProcess p;
        const QString primera = iniciar(p, {QStringLiteral("--link"), enlace, QStringLiteral("--no-pace"),
                                            QStringLiteral("--inst"), QStringLiteral("5:c"),
                                            QStringLiteral("--inst"), QStringLiteral("6:p")});
        QVERIFY(!primera.isEmpty());
        QCOMPARE(orden(p, "plug"), QByteArray("ERR ya está enchufado"));
        QCOMPARE(orden(p, "set 5 12 777"), QByteArray("OK"));
        const int viejo = serie::abrir(enlace);
        qint32 valor = 0;
        QCOMPARE(leerRegistro(viejo, 5, 12, &valor), 8L);
        QCOMPARE(valor, 777);

        // The programmer's segment goes on counting down while the line is away.
        QCOMPARE(orden(p, "set 6 300 100"), QByteArray("OK"));
        QCOMPARE(orden(p, "unplug"), QByteArray("OK"));
        uint8_t basura[8];
        QCOMPARE(serie::leer(viejo, basura, sizeof basura), -1L);
        QVERIFY(!QFileInfo(enlace).isSymLink());
        QCOMPARE(orden(p, "unplug"), QByteArray("ERR no está enchufado"));
        QTest::qSleep(2000);

        // A new pseudo-terminal: the old one is still held open here.
        const QByteArray respuesta = orden(p, "plug");
        const QString segunda = QString::fromLocal8Bit(respuesta.mid(4));
        QVERIFY2(respuesta.startsWith("PTY /dev/") && segunda != primera, respuesta.constData());
        QCOMPARE(QFileInfo(enlace).symLinkTarget(), segunda);
        const int restante = orden(p, "get 6 300").mid(6).toInt();
        QVERIFY2(restante >= 90 && restante <= 98, QByteArray::number(restante).constData());
        serie::cerrar(viejo);
        const int nuevo = serie::abrir(enlace);
        valor = 0;
        QCOMPARE(leerRegistro(nuevo, 5, 12, &valor), 8L);
        QCOMPARE(valor, 777);
        serie::cerrar(nuevo);

        QCOMPARE(orden(p, "unplug"), QByteArray("OK"));
        QCOMPARE(orden(p, "quit"), QByteArray("OK"));
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);
    }

    // As a device server: the address it prints takes connections, a drop
    // resets the client, unplugged it refuses, plugged it listens again on
    // the same port.
    void servidorSerieTcp()
    {
        QProcess p;
        p.start(RaizTemporal::programa(QStringLiteral("ombrix-sim")),
                {QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--no-pace"), QStringLiteral("--inst"),
                 QStringLiteral("5:c")});
        QVERIFY(p.waitForStarted(5000));
        const QByteArray primera = linea(p);
        QVERIFY2(primera.startsWith("TCP tcp://127.0.0.1:"), primera.constData());
        const QString direccion = QString::fromLatin1(primera.mid(4));
        tcp::Direccion d;
        QVERIFY(tcp::analizar(direccion, &d));
        QVERIFY(d.puerto != 0);
        auto conectar = [&] {
            const int fd = tcp::conectar(d);
            if (fd >= 0)
                serie::configurarTiempos(fd, serie::tiemposPara(100));
            return fd;
        };
        QCOMPARE(orden(p, "set 5 12 777"), QByteArray("OK"));
        const int fd = conectar();
        QVERIFY(fd >= 0);
        qint32 valor = 0;
        QCOMPARE(leerRegistro(fd, 5, 12, &valor), 8L);
        QCOMPARE(valor, 777);

        QCOMPARE(orden(p, "drop"), QByteArray("OK"));
        QTest::qWait(100);
        QCOMPARE(leerRegistro(fd, 5, 12, &valor), -1L);
        serie::cerrar(fd);

        QCOMPARE(orden(p, "unplug"), QByteArray("OK"));
        QCOMPARE(orden(p, "drop"), QByteArray("ERR not plugged"));
        QString error;
        QCOMPARE(tcp::conectar(d, 1000, &error), -1);
        QVERIFY2(error.contains(QStringLiteral("rehusada")), qPrintable(error));
        QCOMPARE(orden(p, "plug"), "TCP " + direccion.toLatin1());
        const int otro = conectar();
        QVERIFY(otro >= 0);
        valor = 0;
        QCOMPARE(leerRegistro(otro, 5, 12, &valor), 8L);
        QCOMPARE(valor, 777);
        serie::cerrar(otro);
        QCOMPARE(orden(p, "quit"), QByteArray("OK"));
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 0);

        // A pseudo-terminal has no connection to drop; --tcp takes no link.
        QVERIFY(!iniciar(p, {QStringLiteral("--inst"), QStringLiteral("5:c")}).isEmpty());
        QVERIFY(orden(p, "drop").startsWith("ERR "));
        QCOMPARE(orden(p, "quit"), QByteArray("OK"));
        QVERIFY(p.waitForFinished(5000));
        p.start(RaizTemporal::programa(QStringLiteral("ombrix-sim")),
                {QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--link"), QStringLiteral("/tmp/x")});
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitCode(), 2);
    }

    void demonioTerminaConSenal()
    {
        QProcess p;
        QVERIFY(!iniciar(p, {QStringLiteral("--daemon"), QStringLiteral("--inst"), QStringLiteral("7:p")}).isEmpty());
        p.closeWriteChannel();  // stdin is ignored
        QVERIFY(!p.waitForFinished(300));
        ::kill(pid_t(p.processId()), SIGTERM);
        QVERIFY(p.waitForFinished(5000));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
    }

    void argumentosMalos()
    {
        QProcess p;
        p.start(RaizTemporal::programa(QStringLiteral("ombrix-sim")), {QStringLiteral("--inst"), QStringLiteral("5:x")});
        QVERIFY(p.waitForFinished(5000));
        QVERIFY(p.exitCode() != 0);

        // A real file at the link path is never replaced.
        QTemporaryDir dir;
        const QString archivo = dir.filePath(QStringLiteral("archivo"));
        QFile f(archivo);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.close();
        p.start(RaizTemporal::programa(QStringLiteral("ombrix-sim")), {QStringLiteral("--link"), archivo});
        QVERIFY(p.waitForFinished(5000));
        QVERIFY(p.exitCode() != 0);
        QVERIFY(!QFileInfo(archivo).isSymLink());
    }
};

QTEST_GUILESS_MAIN(TestProgramaSim)
#include "test_programa_sim.moc"
