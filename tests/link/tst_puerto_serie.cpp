// Opening, configuring and closing the port, and the time-outs, measured over
// real pseudo-terminals.

#include "dialogos_guion.h"
#include "link/modbus.h"
#include "par_pty.h"

#include <QElapsedTimer>
#include <QTemporaryFile>
#include <QTest>

#include <sys/file.h>
#include <sys/wait.h>

using namespace ombrix;
using ombrix::test::ParPty;

namespace {

const QString kInvalido = QStringLiteral("El puerto solicitado es inválido o está siendo usado por otro dispositivo");
const QString kIncorrectos = QStringLiteral("Los parámetros de configuración del puerto son incorrectos");

// Writes `b` to the master after `ms` milliseconds, from another thread.
std::thread enviarLuego(ParPty& par, int ms, QByteArray b, int pausaEntreBytesMs = 0)
{
    return std::thread([&par, ms, b, pausaEntreBytesMs] {
        std::this_thread::sleep_for(std::chrono::milliseconds(ms));
        for (char c : b) {
            par.enviar(QByteArray(1, c));
            if (pausaEntreBytesMs)
                std::this_thread::sleep_for(std::chrono::milliseconds(pausaEntreBytesMs));
        }
    });
}

} // namespace

class TstPuertoSerie : public QObject {
    Q_OBJECT
private slots:
    void dispositivoInexistente()
    {
        test::DialogosGuion d;
        EnlaceModbus e;
        TEstadoPuerto p;
        p.Abierto = true;
        QCOMPARE(e.OpenPort(QStringLiteral("/dev/ombrix-no-existe"), p), FalloApertura::NoExiste);
        QVERIFY(!p.Abierto);
        QCOMPARE(p.Handle, -1);
        QVERIFY(!e.PortOpen());
        // The link reports; it is for the caller to tell the user.
        QVERIFY(d.mostrados.isEmpty());
        QCOMPARE(EnlaceModbus::mensajeDe(FalloApertura::PuertoInvalido), kInvalido);
        // A device that is not there says so, not "invalid or in use".
        QCOMPARE(EnlaceModbus::mensajeDe(e.ultimoFallo(), e.ultimaRuta()),
                 QStringLiteral("El puerto /dev/ombrix-no-existe no existe"));
        QVERIFY(e.ultimoError().contains(QStringLiteral("/dev/ombrix-no-existe")));

        // COMn configured to a device that is not there.
        e.setDispositivoConfigurado([](const QString&) { return QStringLiteral("/dev/ombrix-tampoco"); });
        QCOMPARE(e.OpenPort(QStringLiteral("COM4"), p), FalloApertura::NoExiste);
        QVERIFY(!p.Abierto);
    }

    void abrirConfigurarCerrar()
    {
        ParPty par;
        QVERIFY(par.valido());
        test::DialogosGuion d;
        EnlaceModbus e;
        e.setDispositivoConfigurado([&](const QString& clave) {
            return clave == QStringLiteral("COM3") ? par.esclavo() : QString();
        });
        TEstadoPuerto p;
        e.OpenPort(QStringLiteral("COM3"), p);
        QVERIFY(d.mostrados.isEmpty());
        QVERIFY(p.Abierto);
        QVERIFY(p.Handle >= 0);
        QVERIFY(e.PortOpen());
        serie::TiemposEspera t;
        QVERIFY(serie::tiemposDe(p.Handle, &t));
        QCOMPARE(t, (serie::TiemposEspera{50, 50, 500, 50, 500}));
        QCOMPARE(serie::baudiosActuales(p.Handle), 9600);
        QCOMPARE(::fcntl(p.Handle, F_GETFD) & FD_CLOEXEC, FD_CLOEXEC);
        // A pseudo-terminal has no modem lines: setting them is accepted.
        QVERIFY(e.setLineas(p.Handle, true, false));
        QVERIFY(e.setLineas(p.Handle, false, true));

        const int fd = p.Handle;
        e.ClosePort(p.Handle, p);
        QVERIFY(!p.Abierto);
        QCOMPARE(p.Handle, -1);
        QVERIFY(!e.PortOpen());
        QVERIFY(!serie::tiemposDe(fd, nullptr));

        // Closing an invalid handle fails: Abierto stays true.
        e.ClosePort(-1, p);
        QVERIFY(p.Abierto);
        QCOMPARE(p.Handle, -1);
        QVERIFY(!e.setLineas(-1, true, true));
    }

    void lineaSegunPropiedades_data()
    {
        QTest::addColumn<int>("baud");
        QTest::addColumn<int>("timeOuts");
        QTest::addColumn<int>("baudios");
        QTest::addColumn<int>("intervalo");
        QTest::addColumn<int>("constante");
        QTest::newRow("4800") << int(br4800) << 500 << 4800 << 50 << 500;
        QTest::newRow("19200 T55") << int(br19200) << 55 << 19200 << 5 << 55;
        QTest::newRow("38400") << int(br38400) << 200 << 38400 << 20 << 200;
        QTest::newRow("76800") << int(br76800) << 500 << 76800 << 50 << 500;
        QTest::newRow("115200") << int(br115200) << 1000 << 115200 << 100 << 1000;
    }
    void lineaSegunPropiedades()
    {
        QFETCH(int, baud);
        QFETCH(int, timeOuts);
        QFETCH(int, baudios);
        QFETCH(int, intervalo);
        QFETCH(int, constante);
        ParPty par;
        test::DialogosGuion d;
        EnlaceModbus e;
        e.setBaud(static_cast<TBaud>(baud));
        e.setTimeOuts(timeOuts);
        e.setWordSize(ws7);
        e.setPar(spOdd);
        TEstadoPuerto p;
        e.OpenPort(par.esclavo(), p);
        QVERIFY(p.Abierto);
        QCOMPARE(serie::baudiosActuales(p.Handle), baudios);
        serie::TiemposEspera t;
        QVERIFY(serie::tiemposDe(p.Handle, &t));
        QCOMPARE(t, (serie::TiemposEspera{intervalo, intervalo, constante, intervalo, constante}));
        // (A pseudo-terminal always keeps 8 bits without parity; the flags
        // themselves are checked in lineaEnTermios.)
        termios tt{};
        QCOMPARE(::tcgetattr(p.Handle, &tt), 0);
        QVERIFY(tt.c_cflag & CLOCAL);
        QVERIFY(!(tt.c_cflag & CRTSCTS));
        QVERIFY(!(tt.c_iflag & (IXON | IXOFF)));
        QVERIFY(!(tt.c_lflag & (ICANON | ECHO | ISIG)));
        QVERIFY(!(tt.c_oflag & OPOST));
        e.ClosePort(p.Handle, p);
        QVERIFY(d.mostrados.isEmpty());
    }

    void lineaEnTermios()
    {
        termios t{};
        t.c_iflag = IXON | IXOFF | ICRNL | INPCK;
        t.c_oflag = OPOST;
        t.c_lflag = ICANON | ECHO | ISIG;
        t.c_cflag = CRTSCTS | CS8 | PARENB;
        serie::ParametrosLinea l;
        l.baudios = 19200;
        l.bitsDatos = 7;
        l.paridad = serie::Paridad::Impar;
        l.bitsParada = 2;
        QVERIFY(serie::prepararTermios(t, l));
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS7));
        QCOMPARE(t.c_cflag & (PARENB | PARODD), tcflag_t(PARENB | PARODD));
        QVERIFY(t.c_cflag & CSTOPB);
        QVERIFY(!(t.c_cflag & CRTSCTS));
        QCOMPARE(t.c_cflag & (CLOCAL | CREAD), tcflag_t(CLOCAL | CREAD));
        QVERIFY(!(t.c_iflag & (IXON | IXOFF | ICRNL | INPCK)));
        QVERIFY(!(t.c_lflag & (ICANON | ECHO | ISIG)));
        QVERIFY(!(t.c_oflag & OPOST));
        QCOMPARE(::cfgetospeed(&t), speed_t(B19200));

        l.bitsDatos = 8;
        l.paridad = serie::Paridad::Par;
        l.bitsParada = 1;
        QVERIFY(serie::prepararTermios(t, l));
        QCOMPARE(t.c_cflag & CSIZE, tcflag_t(CS8));
        QCOMPARE(t.c_cflag & (PARENB | PARODD), tcflag_t(PARENB));
        QVERIFY(!(t.c_cflag & CSTOPB));
        l.paridad = serie::Paridad::Ninguna;
        QVERIFY(serie::prepararTermios(t, l));
        QVERIFY(!(t.c_cflag & PARENB));

        l.bitsDatos = 6;
        QVERIFY(!serie::prepararTermios(t, l));
        l.bitsDatos = 8;
        l.bitsParada = 3;
        QVERIFY(!serie::prepararTermios(t, l));
    }

    void noEsUnTerminal()
    {
        QTemporaryFile f;
        QVERIFY(f.open());
        test::DialogosGuion d;
        EnlaceModbus e;
        TEstadoPuerto p;
        QCOMPARE(e.OpenPort(f.fileName(), p), FalloApertura::Parametros);
        QVERIFY(!p.Abierto);
        QVERIFY(!e.PortOpen());
        QCOMPARE(EnlaceModbus::mensajeDe(FalloApertura::Parametros), kIncorrectos);
        // The handle stays for the caller to close.
        QVERIFY(p.Handle >= 0);
        e.ClosePort(p.Handle, p);
        QVERIFY(!p.Abierto);
    }

    void tiemposSinLimiteRechazados()
    {
        ParPty par;
        test::DialogosGuion d;
        EnlaceModbus e;
        e.setTimeOuts(0);
        TEstadoPuerto p;
        QCOMPARE(e.OpenPort(par.esclavo(), p), FalloApertura::Parametros);
        QVERIFY(!p.Abierto);
        e.ClosePort(p.Handle, p);
    }

    void segundaAperturaEnElMismoProceso()
    {
        ParPty par;
        test::DialogosGuion d;
        EnlaceModbus e;
        TEstadoPuerto p1, p2;
        e.OpenPort(par.esclavo(), p1);
        QVERIFY(p1.Abierto);
        QCOMPARE(e.OpenPort(par.esclavo(), p2), FalloApertura::PuertoInvalido);
        QVERIFY(!p2.Abierto);
        QCOMPARE(p2.Handle, -1);
        e.ClosePort(p1.Handle, p1);
        // Once released it opens again.
        e.OpenPort(par.esclavo(), p2);
        QVERIFY(p2.Abierto);
        e.ClosePort(p2.Handle, p2);
    }

    void dispositivoTomadoPorOtroProceso()
    {
        ParPty par;
        const QByteArray ruta = par.esclavo().toLocal8Bit();
        int listo[2], fin[2];
        QCOMPARE(::pipe(listo), 0);
        QCOMPARE(::pipe(fin), 0);
        const pid_t hijo = ::fork();
        QVERIFY(hijo >= 0);
        if (hijo == 0) {
            // Another program holding the port the usual way.
            const int fd = ::open(ruta.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
            const char r = (fd >= 0 && ::flock(fd, LOCK_EX | LOCK_NB) == 0) ? '1' : '0';
            (void)!::write(listo[1], &r, 1);
            char c;
            (void)!::read(fin[0], &c, 1);
            ::_exit(0);
        }
        char r = 0;
        QCOMPARE(::read(listo[0], &r, 1), ssize_t(1));
        QCOMPARE(r, '1');

        test::DialogosGuion d;
        EnlaceModbus e;
        TEstadoPuerto p;
        QCOMPARE(e.OpenPort(par.esclavo(), p), FalloApertura::PuertoInvalido);
        QVERIFY(!p.Abierto);
        QVERIFY(!e.PortOpen());

        (void)!::write(fin[1], "x", 1);
        int estado = 0;
        ::waitpid(hijo, &estado, 0);
        for (int fd : {listo[0], listo[1], fin[0], fin[1]})
            ::close(fd);

        e.OpenPort(par.esclavo(), p);
        QVERIFY(p.Abierto);
        e.ClosePort(p.Handle, p);
    }

    // Silent line: a read of 8 bytes ends after (T div 10) × 8 + T ms.
    void lecturaSilenciosa_data()
    {
        QTest::addColumn<int>("T");
        QTest::newRow("500") << 500;
        QTest::newRow("55") << 55;
    }
    void lecturaSilenciosa()
    {
        QFETCH(int, T);
        ParPty par;
        test::DialogosGuion d;
        EnlaceModbus e;
        e.setTimeOuts(T);
        TEstadoPuerto p;
        e.OpenPort(par.esclavo(), p);
        QVERIFY(p.Abierto);
        uint8_t buf[8];
        QElapsedTimer reloj;
        reloj.start();
        QCOMPARE(serie::leer(p.Handle, buf, 8), 0L);
        const qint64 ms = reloj.elapsed();
        const int esperado = (T / 10) * 8 + T;
        QVERIFY2(ms >= esperado - 2 && ms < esperado + 300, qPrintable(QString::number(ms)));
        e.ClosePort(p.Handle, p);
    }

    // Three bytes and then silence: the gap time-out ends the read, long
    // before the total.
    void lecturaCortadaPorIntervalo()
    {
        ParPty par;
        test::DialogosGuion d;
        EnlaceModbus e;
        TEstadoPuerto p;
        e.OpenPort(par.esclavo(), p);
        QVERIFY(p.Abierto);
        auto h = enviarLuego(par, 100, QByteArray::fromHex("010203"), 15);  // gaps below the 50 ms interval
        uint8_t buf[8] = {};
        QElapsedTimer reloj;
        reloj.start();
        const long n = serie::leer(p.Handle, buf, 8);
        const qint64 ms = reloj.elapsed();
        h.join();
        QCOMPARE(n, 3L);
        QCOMPARE(buf[2], uint8_t(3));
        // first byte at ~100, last at ~130, then 50 ms of silence
        QVERIFY2(ms >= 170 && ms < 600, qPrintable(QString::number(ms)));
        e.ClosePort(p.Handle, p);
    }

    void lecturaCompletaNoEspera()
    {
        ParPty par;
        test::DialogosGuion d;
        EnlaceModbus e;
        TEstadoPuerto p;
        e.OpenPort(par.esclavo(), p);
        auto h = enviarLuego(par, 20, QByteArray::fromHex("0102030405060708090A"));
        uint8_t buf[8] = {};
        QElapsedTimer reloj;
        reloj.start();
        QCOMPARE(serie::leer(p.Handle, buf, 8), 8L);
        QVERIFY(reloj.elapsed() < 400);
        h.join();
        QCOMPARE(buf[7], uint8_t(8));
        // What came beyond the 8 bytes is still there until discarded.
        QCOMPARE(serie::leer(p.Handle, buf, 8), 2L);
        par.enviar("xyz");
        QTest::qWait(20);
        QVERIFY(serie::descartarEntrada(p.Handle));
        QVERIFY(serie::configurarTiempos(p.Handle, serie::tiemposPara(55)));
        QCOMPARE(serie::leer(p.Handle, buf, 8), 0L);
        e.ClosePort(p.Handle, p);
    }

    void escritura()
    {
        ParPty par;
        test::DialogosGuion d;
        EnlaceModbus e;
        TEstadoPuerto p;
        e.OpenPort(par.esclavo(), p);
        const uint8_t trama[8] = {1, 3, 0x10, 0, 0, 0, 0x41, 0x0A};
        QCOMPARE(serie::escribir(p.Handle, trama, 8), 8L);
        ::fcntl(par.maestro(), F_SETFL, ::fcntl(par.maestro(), F_GETFL) | O_NONBLOCK);
        QByteArray llegado;
        QElapsedTimer reloj;
        reloj.start();
        while (llegado.size() < 8 && reloj.elapsed() < 2000) {
            char b[16];
            const ssize_t k = ::read(par.maestro(), b, sizeof b);
            if (k > 0)
                llegado.append(b, int(k));
            else
                QTest::qWait(5);
        }
        QCOMPARE(llegado, QByteArray::fromHex("010310000000410A"));
        QCOMPARE(serie::escribir(-1, trama, 8), -1L);
        e.ClosePort(p.Handle, p);
    }

    // The device vanishes (the master closes, as a USB adapter pulled out):
    // a read in progress ends at once, later reads and writes fail at once,
    // and nothing spins.
    void dispositivoDesaparece()
    {
        ParPty par;
        test::DialogosGuion d;
        EnlaceModbus e;
        TEstadoPuerto p;
        e.OpenPort(par.esclavo(), p);
        QVERIFY(p.Abierto);
        std::thread h([&par] {
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            par.colgar();
        });
        timespec cpu0{}, cpu1{};
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu0);
        uint8_t buf[8];
        QElapsedTimer reloj;
        reloj.start();
        QCOMPARE(serie::leer(p.Handle, buf, 8), -1L);
        QVERIFY2(reloj.elapsed() < 600, qPrintable(QString::number(reloj.elapsed())));
        h.join();
        reloj.restart();
        for (int i = 0; i < 50; ++i) {
            QCOMPARE(serie::leer(p.Handle, buf, 8), -1L);
            QCOMPARE(serie::escribir(p.Handle, buf, 8), -1L);
        }
        QVERIFY(reloj.elapsed() < 500);
        ::clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpu1);
        const double cpu = (cpu1.tv_sec - cpu0.tv_sec) + (cpu1.tv_nsec - cpu0.tv_nsec) / 1e9;
        QVERIFY2(cpu < 0.3, qPrintable(QString::number(cpu)));
        e.ClosePort(p.Handle, p);
        QVERIFY(!p.Abierto);
    }
};

QTEST_GUILESS_MAIN(TstPuertoSerie)
#include "tst_puerto_serie.moc"
