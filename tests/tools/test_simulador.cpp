// The simulator in-process, talked to over a real pseudo-terminal.

#include "cliente_linea.h"
#include "sim/simulador.h"

#include <QElapsedTimer>
#include <QTest>
#include <QThread>

#include <memory>

using namespace ombrix::sim;
using ombrix::test::ClienteLinea;
using ombrix::test::crcValida;
using ombrix::test::trama;

class TestSimulador : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<Simulador> sim;
    std::unique_ptr<ClienteLinea> linea;
    QString ruta;

    // Controllers 1 and 2 and programmer 3, fixed values, no pacing.
    void arrancar(bool dinamica = false, bool ritmo = false)
    {
        sim = std::make_unique<Simulador>();
        sim->agregarInstrumento(1, false);
        sim->agregarInstrumento(2, false);
        sim->agregarInstrumento(3, true);
        sim->setDinamica(dinamica);
        sim->setRitmo(ritmo);
        QString error;
        QVERIFY2(sim->abrirPty(&ruta, &error), qPrintable(error));
        sim->iniciar();
        linea = std::make_unique<ClienteLinea>(ruta);
        QVERIFY(linea->abierto());
    }

private slots:
    void cleanup()
    {
        linea.reset();
        sim.reset();
    }

    void lecturaDevuelveLaRespuestaExacta()
    {
        arrancar();
        sim->setRegistro(1, reg::VActual, 253);
        const QByteArray pedido = trama(1, 3, 4096, 0);
        QCOMPARE(pedido.toHex(' '), QByteArray("01 03 10 00 00 00 41 0a"));
        QCOMPARE(linea->transaccion(pedido), trama(1, 3, 4096, 253));

        // Function 1 carries a full 16-bit value too; negative values travel
        // as two's complement.
        QCOMPARE(linea->transaccion(trama(1, 1, reg::Decimales, 0)), trama(1, 1, reg::Decimales, 1));
        sim->setRegistro(1, reg::Potencia, -200);
        QCOMPARE(linea->transaccion(trama(1, 1, reg::Potencia, 0)), trama(1, 1, reg::Potencia, 0xFF38));
        // A register nobody wrote reads 0.
        QCOMPARE(linea->transaccion(trama(1, 3, 5000, 0)), trama(1, 3, 5000, 0));
    }

    void escrituraGuardaYDevuelveElEco()
    {
        arrancar();
        const QByteArray pedido = trama(2, 6, 4, 1000);
        QCOMPARE(pedido.toHex(' '), QByteArray("02 06 00 04 03 e8 c8 86"));
        QCOMPARE(linea->transaccion(pedido), pedido);
        QCOMPARE(sim->registro(2, reg::SP1), qint16(1000));
        QCOMPARE(sim->registro(2, reg::SetPoint), qint16(1000));  // the set point shows SP1
        QCOMPARE(sim->registro(1, reg::SP1), qint16(500));         // the other instrument is untouched

        QCOMPARE(linea->transaccion(trama(2, 5, reg::Modo, 2)), trama(2, 5, reg::Modo, 2));
        QCOMPARE(sim->registro(2, reg::Modo), qint16(2));

        // Unknown registers keep what is written.
        QCOMPARE(linea->transaccion(trama(2, 6, 7777, 0xFFFF)), trama(2, 6, 7777, 0xFFFF));
        QCOMPARE(sim->registro(2, 7777), qint16(-1));
        QCOMPARE(linea->transaccion(trama(2, 3, 7777, 0)), trama(2, 3, 7777, 0xFFFF));
    }

    void otrasDireccionesYCrcMalaNoTienenRespuesta()
    {
        arrancar();
        QVERIFY(linea->transaccion(trama(9, 3, 4096, 0), 200).isEmpty());
        QByteArray mala = trama(1, 3, 4096, 0);
        mala[7] = char(mala[7] ^ 0x01);
        QVERIFY(linea->transaccion(mala, 200).isEmpty());
        QVERIFY(sim->peticiones().isEmpty());
        // Still serving.
        QCOMPARE(linea->transaccion(trama(1, 3, reg::SP1, 0)), trama(1, 3, reg::SP1, 500));
    }

    void seResincronizaTrasBasura()
    {
        arrancar();
        // Noise glued to the front of a frame.
        QCOMPARE(linea->transaccion(QByteArray("\x55\xAA\x01\x03\x10", 5) + trama(1, 3, reg::SP1, 0)),
                 trama(1, 3, reg::SP1, 500));

        // Half a frame, a pause well beyond 3.5 characters, the other half:
        // the two halves never make a frame.
        const QByteArray pedido = trama(1, 3, reg::SP1, 0);
        linea->escribir(pedido.left(4));
        QThread::msleep(30);
        linea->escribir(pedido.mid(4));
        QVERIFY(linea->leer(8, 200).isEmpty());
        QCOMPARE(linea->transaccion(pedido), trama(1, 3, reg::SP1, 500));

        // A frame for another device on the line is skipped as a whole.
        linea->escribir(trama(7, 6, 1, 2) + pedido);
        QCOMPARE(linea->leer(8, 1000), trama(1, 3, reg::SP1, 500));
        QVERIFY(linea->leer(1, 100).isEmpty());
    }

    void fallas()
    {
        arrancar();
        sim->setRegistro(1, reg::VActual, 253);
        const QByteArray pedido = trama(1, 3, 4096, 0);
        const QByteArray buena = trama(1, 3, 4096, 253);

        sim->setFalla(1, Falla::Silencio);
        QVERIFY(linea->transaccion(pedido, 300).isEmpty());
        QCOMPARE(sim->peticiones().size(), 1);  // heard on the line, not answered

        sim->setFalla(1, Falla::CrcMala);
        QByteArray r = linea->transaccion(pedido);
        QCOMPARE(r.size(), 8);
        QCOMPARE(r.left(6), buena.left(6));
        QVERIFY(!crcValida(r));

        sim->setFalla(1, Falla::DireccionMala);
        r = linea->transaccion(pedido);
        QCOMPARE(r.size(), 8);
        QCOMPARE(quint8(r[0]), quint8(2));
        QCOMPARE(r.mid(1, 5), buena.mid(1, 5));
        QVERIFY(crcValida(r));

        sim->setFalla(1, Falla::Corta);
        r = linea->transaccion(pedido, 300);
        QCOMPARE(r, buena.left(5));

        sim->setFalla(1, Falla::Basura);
        r = linea->transaccion(pedido);
        QCOMPARE(r.size(), 8);
        QVERIFY(quint8(r[0]) != 1);  // never passes for the reply

        sim->setFalla(1, Falla::Tarde, 400);
        linea->escribir(pedido);
        QVERIFY(linea->leer(8, 150).isEmpty());
        QCOMPARE(linea->leer(8, 3000), buena);

        sim->setFalla(1, Falla::Ninguna);
        QCOMPARE(linea->transaccion(pedido), buena);

        // A silent instrument does not take writes either; the others still answer.
        sim->setFalla(1, Falla::Silencio);
        QVERIFY(linea->transaccion(trama(1, 6, reg::SP1, 900), 300).isEmpty());
        QCOMPARE(sim->registro(1, reg::SP1), qint16(500));
        QCOMPARE(linea->transaccion(trama(2, 3, reg::SP1, 0)), trama(2, 3, reg::SP1, 500));
    }

    void ritmoDeLaLinea()
    {
        arrancar(false, true);
        sim->setBaudios(9600);
        const QByteArray pedido = trama(1, 3, reg::SP1, 0);
        QElapsedTimer reloj;
        reloj.start();
        const QByteArray r = linea->transaccion(pedido);
        const qint64 ns = reloj.nsecsElapsed();
        QCOMPARE(r, trama(1, 3, reg::SP1, 500));
        // 8 characters at 9600 bit/s last 8.3 ms, and the request as many.
        QVERIFY2(ns >= 8000000, qPrintable(QString::number(ns)));
    }

    void elValorMedidoSigueAlSetPoint()
    {
        arrancar(true);
        const qint16 inicial = sim->registro(1, reg::VActual);
        QVERIFY(inicial < 550);  // starts cold, heading for 50.0
        QCOMPARE(linea->transaccion(trama(1, 6, reg::SP1, 1000)), trama(1, 6, reg::SP1, 1000));
        QTRY_VERIFY_WITH_TIMEOUT(sim->registro(1, reg::VActual) > 600, 15000);
        QTRY_VERIFY_WITH_TIMEOUT(qAbs(sim->registro(1, reg::VActual) - 1000) < 50, 30000);
        // In automatic mode the output works to hold the set point.
        QVERIFY(sim->registro(1, reg::Potencia) > 0);
        QCOMPARE(sim->registro(1, reg::Alarma1), sim->registro(1, reg::Potencia));

        // Manual mode holds the written power: 0 % lets the process cool.
        sim->setRegistro(1, reg::PotenciaManual, 0);
        sim->setRegistro(1, reg::Modo, 2);
        QTRY_COMPARE_WITH_TIMEOUT(sim->registro(1, reg::Potencia), qint16(0), 2000);
        QTRY_VERIFY_WITH_TIMEOUT(sim->registro(1, reg::VActual) < 800, 15000);
        sim->setRegistro(1, reg::PotenciaManual, 450);
        QTRY_COMPARE_WITH_TIMEOUT(sim->registro(1, reg::Potencia), qint16(450), 2000);
    }

    void alarmasYEstadoDeRango()
    {
        arrancar(true);
        // Alarm 2 switches on above its high limit AL1.
        QCOMPARE(sim->registro(2, reg::Alarma2), qint16(0));
        sim->setRegistro(2, reg::AL1, 100);
        QTRY_COMPARE_WITH_TIMEOUT(sim->registro(2, reg::Alarma2), qint16(1000), 2000);
        sim->setRegistro(2, reg::AL1, 30000);
        QTRY_COMPARE_WITH_TIMEOUT(sim->registro(2, reg::Alarma2), qint16(0), 2000);
        // Alarm 3 below the low limit AL2.
        sim->setRegistro(2, reg::AL2, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(sim->registro(2, reg::Alarma3), qint16(1000), 2000);

        // Range state: forced by a write, computed otherwise.
        sim->setRegistro(2, reg::FueraRango, 2);
        QThread::msleep(300);
        QCOMPARE(sim->registro(2, reg::FueraRango), qint16(2));
        sim->setRegistro(2, reg::FueraRango, 0);
        QTRY_COMPARE_WITH_TIMEOUT(sim->registro(2, reg::FueraRango), qint16(0), 2000);
        sim->setRegistro(2, reg::VActual, 13000);  // 1300.0 is beyond the sensor
        QTRY_COMPARE_WITH_TIMEOUT(sim->registro(2, reg::FueraRango), qint16(1), 2000);
    }

    void elProgramadorAvanzaSusSegmentos()
    {
        arrancar(true);
        // Load program 2, segment 1 with 2 s left, as the panel does.
        QCOMPARE(linea->transaccion(trama(3, 5, reg::NProg, 2)), trama(3, 5, reg::NProg, 2));
        QCOMPARE(linea->transaccion(trama(3, 5, reg::NSeg, 1)), trama(3, 5, reg::NSeg, 1));
        QCOMPARE(linea->transaccion(trama(3, 6, reg::Temp, 2)), trama(3, 6, reg::Temp, 2));
        QTRY_COMPARE_WITH_TIMEOUT(sim->registro(3, reg::Temp), qint16(1), 3000);
        QTRY_COMPARE_WITH_TIMEOUT(sim->registro(3, reg::NSeg), qint16(2), 5000);
        QVERIFY(sim->registro(3, reg::Temp) > 20);
        // The ramp of segment 1 ended at its target (110.0 for program 2).
        QCOMPARE(sim->registro(3, reg::SetPoint), qint16(1100));
        QCOMPARE(sim->registro(3, reg::NProg), qint16(2));

        // After the last segment the program ends.
        sim->setRegistro(3, reg::NSeg, 8);
        sim->setRegistro(3, reg::Temp, 1);
        QTRY_COMPARE_WITH_TIMEOUT(sim->registro(3, reg::NProg), qint16(0), 5000);
        QCOMPARE(sim->registro(3, reg::NSeg), qint16(0));

        // A controller runs no program.
        QCOMPARE(sim->registro(1, reg::NProg), qint16(0));
    }

    void peticionesEnOrdenDeLlegada()
    {
        arrancar();
        const QByteArray a = trama(1, 3, 4096, 0), b = trama(5, 3, 4096, 0), c = trama(2, 6, 4, 250),
                         e = trama(3, 1, 252, 0);
        for (const QByteArray& t : {a, b, c, e})
            linea->transaccion(t, t == b ? 100 : 1000);
        QCOMPARE(sim->peticiones(), (QList<QByteArray>{a, c, e}));
        sim->limpiarPeticiones();
        QVERIFY(sim->peticiones().isEmpty());
    }

    void clientesSucesivos()
    {
        arrancar();
        const QByteArray pedido = trama(1, 3, reg::SP1, 0);
        QCOMPARE(linea->transaccion(pedido), trama(1, 3, reg::SP1, 500));
        linea->cerrar();
        QThread::msleep(100);
        for (int i = 0; i < 3; ++i) {
            ClienteLinea otro(ruta);
            QVERIFY(otro.abierto());
            QCOMPARE(otro.transaccion(pedido), trama(1, 3, reg::SP1, 500));
        }
    }
};

QTEST_GUILESS_MAIN(TestSimulador)
#include "test_simulador.moc"
