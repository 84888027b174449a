// The link against the instrument simulator on a pseudo-terminal: real
// replies, the simulator's faults, and its line pacing.

#include "dialogos_guion.h"
#include "link/modbus.h"
#include "sim/simulador.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

using namespace ombrix;
namespace reg = ombrix::sim::reg;
using ombrix::sim::Falla;

namespace {

struct Linea {
    sim::Simulador simulador;
    test::DialogosGuion dialogos;
    EnlaceModbus enlace;
    TEstadoPuerto puerto;

    explicit Linea(int timeOuts = 100, int retries = 0, bool ritmo = false)
    {
        simulador.agregarInstrumento(1, false);
        simulador.agregarInstrumento(3, true);
        simulador.setDinamica(false);
        simulador.setRitmo(ritmo);
        QString ruta;
        if (!simulador.abrirPty(&ruta))
            return;
        simulador.iniciar();
        enlace.setTimeOuts(timeOuts);
        enlace.setRetries(retries);
        enlace.OpenPort(ruta, puerto);
    }
    ~Linea()
    {
        if (puerto.Handle >= 0)
            enlace.ClosePort(puerto.Handle, puerto);
        simulador.detener();
    }
    int h() const { return puerto.Handle; }
};

} // namespace

class TstSimulador : public QObject {
    Q_OBJECT
private slots:
    void leerYEscribir()
    {
        Linea l;
        QVERIFY(l.puerto.Abierto);
        l.simulador.setRegistro(1, reg::VActual, -200);
        l.simulador.setRegistro(3, reg::Decimales, 2);
        TModbusResult r;
        l.enlace.ReadHoldingRegister(l.h(), 1, reg::VActual, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, -200);
        l.enlace.ReadCoils(l.h(), 3, reg::Decimales, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 2);

        l.enlace.WriteSingleRegister(l.h(), 1, reg::SP1, 1000, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 1000);
        QCOMPARE(l.simulador.registro(1, reg::SP1), qint16(1000));
        l.enlace.WriteSingleCoil(l.h(), 3, reg::NProg, -5, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, -5);
        QCOMPARE(l.simulador.registro(3, reg::NProg), qint16(-5));

        const auto pet = l.simulador.peticiones();
        QCOMPARE(pet.size(), 4);
        QCOMPARE(pet[0], QByteArray::fromHex("010310000000410A"));
        QVERIFY(l.dialogos.mostrados.isEmpty());
    }

    void direccionSinInstrumento()
    {
        Linea l(50, 1);
        QSignalSpy fallas(&l.enlace, &EnlaceModbus::OnFallaComm);
        TModbusResult r;
        l.enlace.ReadHoldingRegister(l.h(), 9, reg::VActual, 0, true, r);
        QVERIFY(!r.Ok);
        QCOMPARE(fallas.count(), 1);
        QVERIFY(l.enlace.AlLamp());
        // The next good transaction puts Al out.
        l.enlace.ReadHoldingRegister(l.h(), 1, reg::VActual, 0, true, r);
        QVERIFY(r.Ok);
        QVERIFY(!l.enlace.AlLamp());
    }

    void fallas_data()
    {
        QTest::addColumn<int>("falla");
        QTest::addColumn<bool>("conCrc");
        QTest::addColumn<bool>("ok");
        QTest::newRow("silencio") << int(Falla::Silencio) << true << false;
        QTest::newRow("crc mala") << int(Falla::CrcMala) << true << false;
        QTest::newRow("crc mala sin comprobar") << int(Falla::CrcMala) << false << true;
        QTest::newRow("direccion mala") << int(Falla::DireccionMala) << false << false;
        QTest::newRow("corta") << int(Falla::Corta) << false << false;
        QTest::newRow("basura") << int(Falla::Basura) << true << false;
    }
    void fallas()
    {
        QFETCH(int, falla);
        QFETCH(bool, conCrc);
        QFETCH(bool, ok);
        Linea l(50, 2);
        l.simulador.setRegistro(1, reg::SetPoint, 321);
        l.simulador.setFalla(1, static_cast<Falla>(falla));
        QList<int> avisos;
        connect(&l.enlace, &EnlaceModbus::OnRetries, this, [&] { avisos << l.enlace.RetryCount(); });
        TModbusResult r;
        r.Value = -1;
        l.enlace.ReadHoldingRegister(l.h(), 1, reg::SetPoint, 0, conCrc, r);
        QCOMPARE(r.Ok, ok);
        QCOMPARE(r.Value, ok ? 321 : -1);
        QCOMPARE(avisos, ok ? QList<int>({0}) : QList<int>({1, 2, 3, 0}));
        QCOMPARE(l.simulador.peticiones().size(), ok ? 1 : 3);

        // The instrument recovers; the line is clean again at once.
        l.simulador.setFalla(1, Falla::Ninguna);
        l.enlace.ReadHoldingRegister(l.h(), 1, reg::SetPoint, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 321);
    }

    // A late reply carries an old value; the next request must get the new one.
    void respuestaTardia()
    {
        Linea l(50, 0);
        l.simulador.setRegistro(1, reg::VActual, 111);
        l.simulador.setFalla(1, Falla::Tarde, 200);
        TModbusResult r;
        l.enlace.ReadHoldingRegister(l.h(), 1, reg::VActual, 0, true, r);
        QVERIFY(!r.Ok);
        l.simulador.setRegistro(1, reg::VActual, 222);
        l.simulador.setFalla(1, Falla::Ninguna);
        QTest::qWait(300);  // the late reply (111) has arrived by now
        l.enlace.ReadHoldingRegister(l.h(), 1, reg::VActual, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 222);
    }

    // With the line paced at 9600 bit/s, 16 bytes cross it per transaction.
    void lineaConRitmo()
    {
        Linea l(500, 0, true);
        l.simulador.setBaudios(9600);
        l.simulador.setRegistro(1, reg::VActual, 7);
        TModbusResult r;
        QElapsedTimer reloj;
        reloj.start();
        for (int i = 0; i < 5; ++i) {
            l.enlace.ReadHoldingRegister(l.h(), 1, reg::VActual, 0, true, r);
            QVERIFY(r.Ok);
        }
        const qint64 ms = reloj.elapsed();
        QVERIFY2(ms >= 5 * 12 && ms < 5 * 400, qPrintable(QString::number(ms)));
    }
};

QTEST_GUILESS_MAIN(TstSimulador)
#include "tst_simulador.moc"
