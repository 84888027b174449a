// A serial line behind a device server: real TCP connections on the
// loopback, a peer that answers as the line would (or misbehaves), and the
// simulator serving as a device server.

#include "dialogos_guion.h"
#include "link/enlace_tcp.h"
#include "link/modbus.h"
#include "par_tcp.h"
#include "sim/simulador.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <cstring>

#include <net/if.h>
#include <netinet/in.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/wait.h>

using namespace ombrix;
using ombrix::test::Accion;
using ombrix::test::eco;
using ombrix::test::ParPty;
using ombrix::test::ParTcp;
using ombrix::test::respuestaCon;

namespace {

struct Banco {
    ParTcp par;
    test::DialogosGuion dialogos;
    EnlaceModbus enlace;
    TEstadoPuerto puerto;

    explicit Banco(int timeOuts = 50, int retries = 0, bool ipv6 = false) : par(ipv6)
    {
        enlace.setTimeOuts(timeOuts);
        enlace.setRetries(retries);
        if (par.valido())
            enlace.OpenPort(par.direccion(), puerto);
    }
    ~Banco()
    {
        par.detener();
        if (puerto.Handle >= 0)
            enlace.ClosePort(puerto.Handle, puerto);
    }
    int h() const { return puerto.Handle; }
};

// A port on the loopback where nothing listens.
quint16 puertoCerrado()
{
    const int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t l = sizeof a;
    ::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a);
    ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &l);
    ::close(s);
    return ntohs(a.sin_port);
}

// Brings the loopback of this network namespace up or down.
bool loopback(bool arriba)
{
    const int s = ::socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    ifreq ifr{};
    std::strncpy(ifr.ifr_name, "lo", IFNAMSIZ - 1);
    bool ok = ::ioctl(s, SIOCGIFFLAGS, &ifr) == 0;
    if (ok) {
        ifr.ifr_flags = short(arriba ? (ifr.ifr_flags | IFF_UP) : (ifr.ifr_flags & ~IFF_UP));
        ok = ::ioctl(s, SIOCSIFFLAGS, &ifr) == 0;
    }
    ::close(s);
    return ok;
}

// In a network namespace of its own (a child process), the device server
// stops acknowledging anything in the middle of a run, as a box that lost
// its power or its cable does. Exit status: 0 when the transaction that
// went unacknowledged was a lost port, 77 when no namespace can be made
// here, another number for the first check that failed.
int servidorQueCallaEnSuRed()
{
    if (::unshare(CLONE_NEWUSER | CLONE_NEWNET) != 0 || !loopback(true))
        return 77;
    ParTcp par;
    if (!par.valido())
        return 2;
    par.responder([](const QByteArray& p) { return eco(p, 5); });
    EnlaceModbus e;
    e.setTimeOuts(500);   // the usual base: a read waits 0.9 s
    e.setRetries(3);
    TEstadoPuerto p;
    if (e.OpenPort(par.direccion(), p) != FalloApertura::Ninguno)
        return 3;
    TModbusResult r;
    e.ReadHoldingRegister(p.Handle, 1, 4096, 0, true, r);
    if (!r.Ok)
        return 4;
    loopback(false);
    QElapsedTimer reloj;
    reloj.start();
    e.ReadHoldingRegister(p.Handle, 1, 4096, 0, true, r);
    if (r.Ok || !r.PuertoPerdido)
        return 5;
    // Given up at the first attempt, not after every retry.
    if (reloj.elapsed() > 1500)
        return 6;
    e.ClosePort(p.Handle, p);
    par.detener();
    return 0;
}

// One silent transaction, in milliseconds.
qint64 transaccionMuda(EnlaceModbus& e, int handle, TModbusResult& r)
{
    QElapsedTimer reloj;
    reloj.start();
    e.ReadHoldingRegister(handle, 1, 4096, 0, true, r);
    return reloj.elapsed();
}

} // namespace

class TstTcp : public QObject {
    Q_OBJECT
private slots:
    void direcciones_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QString>("servidor");   // empty: refused
        QTest::addColumn<int>("puerto");
        QTest::newRow("ipv4") << "tcp://127.0.0.1:4001" << "127.0.0.1" << 4001;
        QTest::newRow("nombre") << " TCP://plc-3.planta_b:502 " << "plc-3.planta_b" << 502;
        QTest::newRow("ipv6") << "tcp://[::1]:65535" << "::1" << 65535;
        QTest::newRow("ipv6 mapeada") << "tcp://[::ffff:10.0.0.7]:1" << "::ffff:10.0.0.7" << 1;
        QTest::newRow("ipv6 con interfaz") << "tcp://[fe80::1%eth0]:4001" << "fe80::1%eth0" << 4001;
        QTest::newRow("ipv6 interfaz vacía") << "tcp://[fe80::1%]:4001" << "" << 0;
        QTest::newRow("ipv6 interfaz rara") << "tcp://[fe80::1%e/0]:4001" << "" << 0;
        QTest::newRow("sin nada") << "tcp://" << "" << 0;
        QTest::newRow("sin puerto") << "tcp://servidor" << "" << 0;
        QTest::newRow("puerto vacío") << "tcp://servidor:" << "" << 0;
        QTest::newRow("puerto 0") << "tcp://servidor:0" << "" << 0;
        QTest::newRow("puerto grande") << "tcp://servidor:65536" << "" << 0;
        QTest::newRow("puerto con signo") << "tcp://servidor:+80" << "" << 0;
        QTest::newRow("puerto letras") << "tcp://servidor:12a" << "" << 0;
        QTest::newRow("sin servidor") << "tcp://:4001" << "" << 0;
        QTest::newRow("ipv6 sin corchetes") << "tcp://::1:4001" << "" << 0;
        QTest::newRow("ipv6 sin dos puntos") << "tcp://[::1]4001" << "" << 0;
        QTest::newRow("ipv6 sin cierre") << "tcp://[::1:4001" << "" << 0;
        QTest::newRow("ipv6 no válida") << "tcp://[zz]:4001" << "" << 0;
        QTest::newRow("blancos") << "tcp://mi servidor:4001" << "" << 0;
        QTest::newRow("ruta") << "tcp://servidor/x:4001" << "" << 0;
        QTest::newRow("otro esquema") << "udp://servidor:4001" << "" << 0;
    }
    void direcciones()
    {
        QFETCH(QString, texto);
        QFETCH(QString, servidor);
        QFETCH(int, puerto);
        tcp::Direccion d;
        QString error;
        QCOMPARE(tcp::analizar(texto, &d, &error), !servidor.isEmpty());
        if (servidor.isEmpty()) {
            QVERIFY(!error.isEmpty());
            return;
        }
        QCOMPARE(d.servidor, servidor);
        QCOMPARE(int(d.puerto), puerto);
        // Written back the way it is read.
        tcp::Direccion otra;
        QVERIFY(tcp::analizar(tcp::nombre(d), &otra));
        QCOMPARE(otra.servidor, d.servidor);
        QCOMPARE(otra.puerto, d.puerto);
    }

    // A COM name mapped to a device server in the settings, and how the line is named to the user.
    void comMapeadoAUnServidor()
    {
        EnlaceModbus e;
        e.setDispositivoConfigurado([](const QString& com) {
            return com == QLatin1String("COM2") ? QStringLiteral("tcp://[::1]:4001") : QString();
        });
        QCOMPARE(e.rutaDe(QStringLiteral("com2")), QStringLiteral("tcp://[::1]:4001"));
        QCOMPARE(EnlaceModbus::nombreLinea(QStringLiteral("COM2"), e.rutaDe(QStringLiteral("COM2"))),
                 QStringLiteral("Servidor serie tcp://[::1]:4001"));
        QCOMPARE(EnlaceModbus::nombreLinea(QStringLiteral("COM1"), e.rutaDe(QStringLiteral("COM1"))),
                 QStringLiteral("Puerto COM1"));
    }

    // The same 8-byte frames as on the serial line, and the replies decoded alike.
    void tramasYValores()
    {
        Banco b;
        QVERIFY(b.par.valido());
        QVERIFY(b.puerto.Abierto);
        b.par.responder([](const QByteArray& p) { return eco(p, quint16(-200)); });
        TModbusResult r;
        b.enlace.ReadHoldingRegister(b.h(), 7, 4096, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, -200);
        b.enlace.ReadCoils(b.h(), 7, 4128, 0, true, r);
        QVERIFY(r.Ok);
        b.enlace.WriteSingleRegister(b.h(), 7, 4, 1234, true, r);
        QVERIFY(r.Ok);
        b.enlace.WriteSingleCoil(b.h(), 7, 9, 0xFF00, true, r);
        QVERIFY(r.Ok);
        auto trama = [](quint8 f, quint16 reg, quint16 v) {
            const auto t = modbus::construirPeticion(7, f, reg, v);
            return QByteArray(reinterpret_cast<const char*>(t.data()), int(t.size()));
        };
        QCOMPARE(b.par.peticiones(), (QList<QByteArray>{trama(3, 4096, 0), trama(1, 4128, 0), trama(6, 4, 1234),
                                                        trama(5, 9, 0xFF00)}));
        // The modem lines belong to the device server: accepted, nothing done.
        QVERIFY(b.enlace.setLineas(b.h(), true, true));
    }

    // A reply that comes in eight segments is one reply while its bytes stay
    // within the gap time-out; a longer gap ends it, as on the line.
    void respuestaEnBytesSueltos()
    {
        Banco b(500, 0);   // gap time-out 50 ms
        int ritmoUs = 5000;
        b.par.responder([&ritmoUs](const QByteArray& p) {
            Accion a = eco(p, 321);
            a.ritmoUs = ritmoUs;
            return a;
        });
        TModbusResult r;
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 321);
        ritmoUs = 150000;
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(!r.Ok);
        QVERIFY(!r.PuertoPerdido);
        // The rest of the slow reply is not taken for the next answer.
        ritmoUs = 0;
        QTest::qWait(1300);
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 321);
    }

    // The time-outs are the serial line's: a silent peer costs the same time
    // behind a device server as on a pseudo-terminal, and blames the
    // instrument (the connection is alive) rather than the port.
    void tiemposComoEnLaLinea()
    {
        Banco b(100, 1);   // each attempt: 8 ms + 10 × 8 + 100 ms
        b.par.responder([](const QByteArray&) { return Accion{}; });
        ParPty pty;
        QVERIFY(pty.valido());
        pty.responder([](const QByteArray&) { return Accion{}; });
        EnlaceModbus serie;
        serie.setTimeOuts(100);
        serie.setRetries(1);
        TEstadoPuerto ps;
        serie.OpenPort(pty.esclavo(), ps);
        QVERIFY(ps.Abierto);

        QSignalSpy fallas(&b.enlace, &EnlaceModbus::OnFallaComm);
        TModbusResult r, rs;
        const qint64 porRed = transaccionMuda(b.enlace, b.h(), r);
        const qint64 porLinea = transaccionMuda(serie, ps.Handle, rs);
        pty.detener();
        serie.ClosePort(ps.Handle, ps);
        QVERIFY(!r.Ok && !rs.Ok);
        QVERIFY(!r.PuertoPerdido);
        QCOMPARE(fallas.count(), 1);
        QVERIFY(b.enlace.AlLamp());
        QCOMPARE(b.par.peticiones().size(), 2);   // one retry
        QVERIFY2(porRed >= 2 * 188 && porRed < 2 * 188 + 400, qPrintable(QString::number(porRed)));
        QVERIFY2(qAbs(porRed - porLinea) < 150, qPrintable(QStringLiteral("%1 / %2 ms").arg(porRed).arg(porLinea)));
    }

    // A reply that arrives after the read gave up is dropped before the next request.
    void respuestaTardiaSeDescarta()
    {
        Banco b(50, 0);   // read ends after 5 × 8 + 50 = 90 ms
        int n = 0;
        b.par.responder([&n](const QByteArray& p) {
            Accion a = eco(p, n == 0 ? 555 : 777);
            if (n++ == 0)
                a.retardoMs = 160;
            return a;
        });
        TModbusResult r;
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(!r.Ok);
        QTest::qWait(400);   // the late reply is now waiting
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 777);
    }

    // A server that floods bytes: every transaction ends within its
    // time-outs, none is mistaken for an answer, and after reconnecting
    // the line works again.
    void servidorQueInunda()
    {
        Banco b(50, 2);
        b.par.inundar();
        QElapsedTimer reloj;
        reloj.start();
        TModbusResult r;
        for (int i = 0; i < 5; ++i) {
            b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
            QVERIFY(!r.Ok);
            QVERIFY(!r.PuertoPerdido);
        }
        QVERIFY2(reloj.elapsed() < 5 * 3 * 100 + 1000, qPrintable(QString::number(reloj.elapsed())));
        b.par.detener();
        b.par.cortar(false);
        b.enlace.ClosePort(b.h(), b.puerto);
        b.par.responder([](const QByteArray& p) { return eco(p, 9); });
        QCOMPARE(b.enlace.OpenPort(b.par.direccion(), b.puerto), FalloApertura::Ninguno);
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 9);
    }

    // Garbage that passes no check is a bad reply, as on the line.
    void basuraNoSeAcredita()
    {
        Banco b(50, 0);
        b.par.responder([](const QByteArray& p) {
            Accion a = eco(p, 5);
            a.bytes[7] = char(a.bytes[7] ^ 0x55);
            a.bytes.append(QByteArray(300, char(0xFF)));
            return a;
        });
        TModbusResult r;
        for (int i = 0; i < 3; ++i) {
            b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
            QVERIFY(!r.Ok);
            QVERIFY(!r.PuertoPerdido);
        }
    }

    // A connection reset in the middle of a reply, or closed by the server:
    // the port is lost (no retry, no instrument blamed), and every later
    // transaction on it fails at once.
    void conexionCortada_data()
    {
        QTest::addColumn<int>("bytesAntes");
        QTest::addColumn<bool>("ordenado");
        QTest::newRow("reinicio a mitad de respuesta") << 3 << false;
        QTest::newRow("reinicio sin respuesta") << 0 << false;
        QTest::newRow("cierre del servidor") << 0 << true;
    }
    void conexionCortada()
    {
        QFETCH(int, bytesAntes);
        QFETCH(bool, ordenado);
        Banco b(200, 5);
        b.par.responder([&](const QByteArray& p) {
            Accion a = eco(p, 1);
            a.bytes.truncate(bytesAntes);
            a.colgar = !ordenado;
            return a;
        });
        TModbusResult r;
        if (ordenado) {
            QTest::qWait(50);
            b.par.cortar(false);
            QTest::qWait(50);
        }
        QSignalSpy fallas(&b.enlace, &EnlaceModbus::OnFallaComm);
        QElapsedTimer reloj;
        reloj.start();
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(!r.Ok);
        QVERIFY(r.PuertoPerdido);
        QCOMPARE(fallas.count(), 1);
        QVERIFY(b.par.peticiones().size() <= 1);
        reloj.restart();
        for (int i = 0; i < 5; ++i) {
            b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
            QVERIFY(r.PuertoPerdido);
        }
        QVERIFY2(reloj.elapsed() < 300, qPrintable(QString::number(reloj.elapsed())));
    }

    // Opening fails with a message that names the device server and says why.
    void aperturaFallida()
    {
        EnlaceModbus e;
        TEstadoPuerto p;
        QElapsedTimer reloj;
        reloj.start();
        const QString desconocido = QStringLiteral("tcp://ombrix-no-existe.invalid:4001");
        QCOMPARE(e.OpenPort(desconocido, p), FalloApertura::Servidor);
        QVERIFY(!p.Abierto);
        QCOMPARE(p.Handle, -1);
        QVERIFY2(e.ultimoMotivo().contains(QStringLiteral("ombrix-no-existe.invalid")), qPrintable(e.ultimoMotivo()));
        const QString m = EnlaceModbus::mensajeDe(FalloApertura::Servidor, desconocido, e.ultimoMotivo());
        QVERIFY2(m.contains(desconocido) && m.contains(e.ultimoMotivo()), qPrintable(m));

        const QString cerrado = QStringLiteral("tcp://127.0.0.1:%1").arg(puertoCerrado());
        QCOMPARE(e.OpenPort(cerrado, p), FalloApertura::Servidor);
        QVERIFY2(e.ultimoMotivo().contains(QStringLiteral("rehusada")), qPrintable(e.ultimoMotivo()));
        QCOMPARE(e.ultimoError(), cerrado + QStringLiteral(": ") + e.ultimoMotivo());

        QCOMPARE(e.OpenPort(QStringLiteral("tcp://127.0.0.1"), p), FalloApertura::Servidor);
        QVERIFY2(e.ultimoMotivo().contains(QStringLiteral("puerto")), qPrintable(e.ultimoMotivo()));
        QVERIFY(!e.PortOpen());
    }

    // A host that never answers the connection (its queue is full, so the
    // requests to connect are dropped): the open gives up after its wait.
    void servidorQueNoContestaLaConexion()
    {
        const int s = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t l = sizeof a;
        QCOMPARE(::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
        QCOMPARE(::listen(s, 0), 0);
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &l);
        const QString direccion = QStringLiteral("tcp://127.0.0.1:%1").arg(ntohs(a.sin_port));
        // Fill the queue: these connections are never accepted.
        QList<int> llenos;
        for (int i = 0; i < 3; ++i) {
            tcp::Direccion d;
            tcp::analizar(direccion, &d);
            if (const int c = tcp::conectar(d, 300); c >= 0)
                llenos << c;
        }
        EnlaceModbus e;
        TEstadoPuerto p;
        QElapsedTimer reloj;
        reloj.start();
        const FalloApertura f = e.OpenPort(direccion, p);
        const qint64 ms = reloj.elapsed();
        for (int c : llenos)
            ::close(c);
        ::close(s);
        if (f == FalloApertura::Ninguno) {
            e.ClosePort(p.Handle, p);
            QSKIP("this system accepted the connection anyway");
        }
        QCOMPARE(f, FalloApertura::Servidor);
        QVERIFY2(ms >= tcp::kEsperaConexionMs - 100 && ms < tcp::kEsperaConexionMs + 1500, qPrintable(QString::number(ms)));
        QVERIFY2(e.ultimoMotivo().contains(QStringLiteral("no responde")), qPrintable(e.ultimoMotivo()));
    }

    void servidorQueCalla()
    {
        const pid_t hijo = ::fork();
        QVERIFY(hijo >= 0);
        if (hijo == 0)
            ::_exit(servidorQueCallaEnSuRed());
        int estado = 0;
        QCOMPARE(::waitpid(hijo, &estado, 0), hijo);
        QVERIFY(WIFEXITED(estado));
        if (WEXITSTATUS(estado) == 77)
            QSKIP("no network namespace of its own here");
        QCOMPARE(WEXITSTATUS(estado), 0);
    }

    void ipv6()
    {
        Banco b(50, 0, true);
        if (!b.par.valido())
            QSKIP("no IPv6 loopback here");
        QVERIFY2(b.puerto.Abierto, qPrintable(b.enlace.ultimoError()));
        b.par.responder([](const QByteArray& p) { return eco(p, 66); });
        TModbusResult r;
        b.enlace.ReadHoldingRegister(b.h(), 3, 4096, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 66);
    }

    // The simulator as a device server: instruments answer, a dropped
    // connection is a lost port, a new connection works at once, and a
    // server that stopped listening refuses until it is back.
    void simuladorComoServidorSerie()
    {
        sim::Simulador s;
        s.agregarInstrumento(1, false);
        s.agregarInstrumento(2, true);
        s.setRitmo(false);
        s.setDinamica(false);
        s.setRegistro(2, sim::reg::VActual, 1234);
        quint16 puerto = 0;
        QString error;
        QVERIFY2(s.abrirTcp(0, &puerto, &error), qPrintable(error));
        QVERIFY(puerto != 0);
        s.iniciar();
        EnlaceModbus e;
        e.setTimeOuts(60);
        e.setRetries(0);
        const QString direccion = QStringLiteral("tcp://127.0.0.1:%1").arg(puerto);
        e.setDispositivoConfigurado([&](const QString&) { return direccion; });
        TEstadoPuerto p;
        QCOMPARE(e.OpenPort(QStringLiteral("COM1"), p), FalloApertura::Ninguno);
        QCOMPARE(e.ultimaRuta(), direccion);
        TModbusResult r;
        e.ReadHoldingRegister(p.Handle, 2, sim::reg::VActual, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 1234);
        e.ReadHoldingRegister(p.Handle, 1, sim::reg::VActual, 0, true, r);
        QVERIFY(r.Ok);

        s.cortarConexion();
        QTest::qWait(50);
        e.ReadHoldingRegister(p.Handle, 2, sim::reg::VActual, 0, true, r);
        QVERIFY(r.PuertoPerdido);
        e.ClosePort(p.Handle, p);
        QCOMPARE(e.OpenPort(QStringLiteral("COM1"), p), FalloApertura::Ninguno);
        e.ReadHoldingRegister(p.Handle, 2, sim::reg::VActual, 0, true, r);
        QVERIFY(r.Ok);

        s.cerrarLinea();
        e.ReadHoldingRegister(p.Handle, 2, sim::reg::VActual, 0, true, r);
        QVERIFY(r.PuertoPerdido);
        e.ClosePort(p.Handle, p);
        QCOMPARE(e.OpenPort(QStringLiteral("COM1"), p), FalloApertura::Servidor);
        QVERIFY(s.abrirTcp(puerto, nullptr, &error));
        s.iniciar();
        QCOMPARE(e.OpenPort(QStringLiteral("COM1"), p), FalloApertura::Ninguno);
        e.ReadHoldingRegister(p.Handle, 2, sim::reg::VActual, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 1234);
        e.ClosePort(p.Handle, p);
    }
};

QTEST_GUILESS_MAIN(TstTcp)
#include "tst_tcp.moc"
