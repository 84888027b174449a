// Transactions over a real pseudo-terminal with a peer that answers as an
// instrument would (or misbehaves on purpose).

#include "dialogos_guion.h"
#include "link/modbus.h"
#include "par_pty.h"

#include <QElapsedTimer>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <mutex>
#include <random>

using namespace ombrix;
using ombrix::test::Accion;
using ombrix::test::eco;
using ombrix::test::ParPty;
using ombrix::test::respuestaCon;

namespace {

struct Banco {
    ParPty par;
    test::DialogosGuion dialogos;
    EnlaceModbus enlace;
    TEstadoPuerto puerto;

    explicit Banco(int timeOuts = 50, int retries = 0)
    {
        enlace.setTimeOuts(timeOuts);
        enlace.setRetries(retries);
        enlace.OpenPort(par.esclavo(), puerto);
    }
    ~Banco()
    {
        par.detener();
        if (puerto.Handle >= 0)
            enlace.ClosePort(puerto.Handle, puerto);
    }
    int h() const { return puerto.Handle; }
};

} // namespace

class TstTransacciones : public QObject {
    Q_OBJECT
private slots:
    void tramasEnviadas()
    {
        Banco b;
        QVERIFY(b.puerto.Abierto);
        b.par.responder([](const QByteArray& p) { return eco(p, 0x0102); });
        TModbusResult r;
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 0x0102);
        b.enlace.WriteSingleRegister(b.h(), 2, 4, 1000, true, r);
        QVERIFY(r.Ok);
        b.enlace.ReadCoils(b.h(), 7, 16440, 0, true, r);
        b.enlace.WriteSingleCoil(b.h(), 255, 0xFFFF, -200, true, r);  // negative: low 16 bits
        QVERIFY(r.Ok);
        const auto pet = b.par.peticiones();
        QCOMPARE(pet.size(), 4);
        QCOMPARE(pet[0], QByteArray::fromHex("010310000000410A"));
        QCOMPARE(pet[1], QByteArray::fromHex("0206000403E8C886"));
        QCOMPARE(pet[2].left(6), QByteArray::fromHex("070140380000"));
        QCOMPARE(pet[3].left(6), QByteArray::fromHex("FF05FFFFFF38"));
        QVERIFY(b.dialogos.mostrados.isEmpty());
    }

    void valoresDecodificados_data()
    {
        QTest::addColumn<int>("crudo");
        QTest::addColumn<int>("valor");
        QTest::newRow("FF38") << 0xFF38 << -200;
        QTest::newRow("7FFF") << 0x7FFF << 32767;
        QTest::newRow("8000") << 0x8000 << -32768;
    }
    void valoresDecodificados()
    {
        QFETCH(int, crudo);
        QFETCH(int, valor);
        Banco b;
        b.par.responder([crudo](const QByteArray& p) { return eco(p, quint16(crudo)); });
        TModbusResult r;
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, valor);
    }

    void crcDesactivadoAceptaCrcErronea()
    {
        Banco b;
        b.par.responder([](const QByteArray& p) {
            Accion a = eco(p, 1234);
            a.bytes[7] = char(a.bytes[7] ^ 0x5A);
            return a;
        });
        TModbusResult r;
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, false, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 1234);
        r = TModbusResult{};
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(!r.Ok);
        QCOMPARE(r.Value, 0);
    }

    void direccionOFuncionAjena_data()
    {
        QTest::addColumn<int>("esclavo");
        QTest::addColumn<int>("funcion");
        QTest::newRow("otro esclavo") << 3 << 6;
        QTest::newRow("otra funcion") << 2 << 3;
    }
    void direccionOFuncionAjena()
    {
        QFETCH(int, esclavo);
        QFETCH(int, funcion);
        Banco b;
        b.par.responder([=](const QByteArray&) { return Accion{respuestaCon(quint8(esclavo), quint8(funcion), 5)}; });
        for (bool crc : {true, false}) {
            TModbusResult r;
            r.Value = 4321;
            b.enlace.WriteSingleRegister(b.h(), 2, 4, 1000, crc, r);
            QVERIFY(!r.Ok);
            QCOMPARE(r.Value, 4321);
            QVERIFY(b.enlace.AlLamp());
        }
    }

    void respuestaCorta()
    {
        Banco b;
        b.par.responder([](const QByteArray& p) { return Accion{eco(p, 77).bytes.left(5)}; });
        TModbusResult r;
        r.Value = -9;
        r.Ok = true;  // a failure clears it
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, false, r);
        QVERIFY(!r.Ok);
        QCOMPARE(r.Value, -9);
    }

    // A reply that arrives after the read gave up stays in the receive
    // buffer; it must not be taken as the answer to the next request.
    void respuestaTardiaNoSeAcredita()
    {
        Banco b(50, 0);  // read ends after 5 × 8 + 50 = 90 ms
        int n = 0;
        b.par.responder([&n](const QByteArray& p) {
            Accion a = eco(p, 555);
            if (n++ == 0)
                a.retardoMs = 160;  // late for the first request
            else
                a.bytes.clear();    // silent for the second
            return a;
        });
        TModbusResult r;
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(!r.Ok);
        QTest::qWait(200);  // the late reply is now waiting in the buffer
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(!r.Ok);
        QCOMPARE(b.par.peticiones().size(), 2);
    }

    void reintentos_data()
    {
        QTest::addColumn<int>("retries");
        QTest::addColumn<QList<int>>("avisos");
        QTest::newRow("0") << 0 << QList<int>{1, 0};
        QTest::newRow("2") << 2 << QList<int>{1, 2, 3, 0};
        QTest::newRow("-1") << -1 << QList<int>{1, 0};
    }
    void reintentos()
    {
        QFETCH(int, retries);
        QFETCH(QList<int>, avisos);
        Banco b(50, retries);
        b.par.responder([](const QByteArray&) { return Accion{}; });
        QList<int> vistos;
        connect(&b.enlace, &EnlaceModbus::OnRetries, this, [&] { vistos << b.enlace.RetryCount(); });
        QSignalSpy fallas(&b.enlace, &EnlaceModbus::OnFallaComm);
        TModbusResult r;
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(!r.Ok);
        QCOMPARE(vistos, avisos);
        QCOMPARE(fallas.count(), 1);
        QCOMPARE(b.enlace.RetryCount(), 0);
        const auto pet = b.par.peticiones();
        QCOMPARE(pet.size(), avisos.size() - 1);
        for (const auto& p : pet)
            QCOMPARE(p, QByteArray::fromHex("010310000000410A"));
    }

    void reintentoQueAcierta()
    {
        Banco b(50, 2);
        int n = 0;
        b.par.responder([&n](const QByteArray& p) { return n++ == 0 ? Accion{} : eco(p, 42); });
        QList<int> vistos;
        connect(&b.enlace, &EnlaceModbus::OnRetries, this, [&] { vistos << b.enlace.RetryCount(); });
        QSignalSpy fallas(&b.enlace, &EnlaceModbus::OnFallaComm);
        TModbusResult r;
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(r.Ok);
        QCOMPARE(r.Value, 42);
        QCOMPARE(vistos, (QList<int>{1, 0}));
        QCOMPARE(fallas.count(), 0);
        QVERIFY(!b.enlace.AlLamp());
    }

    void lamparas()
    {
        Banco b;
        bool responde = false;
        b.par.responder([&responde](const QByteArray& p) { return responde ? eco(p, 1) : Accion{}; });
        struct Estado {
            bool tx, rx, al;
            int peticiones;
        };
        QList<Estado> estados;
        connect(&b.enlace, &EnlaceModbus::lamparasCambiaron, this, [&] {
            estados << Estado{b.enlace.TxLamp(), b.enlace.RxLamp(), b.enlace.AlLamp(), int(b.par.peticiones().size())};
        });
        TModbusResult r;
        b.enlace.ReadHoldingRegister(b.h(), 1, 1, 0, true, r);  // fails
        QVERIFY(!r.Ok);
        QVERIFY(b.enlace.AlLamp());
        QVERIFY(!b.enlace.TxLamp() && !b.enlace.RxLamp());
        // A read lights Rx only, and both go out after the attempt.
        QVERIFY(std::any_of(estados.begin(), estados.end(), [](const Estado& e) { return e.rx && !e.tx; }));
        QVERIFY(std::none_of(estados.begin(), estados.end(), [](const Estado& e) { return e.tx; }));

        estados.clear();
        responde = true;
        b.enlace.WriteSingleRegister(b.h(), 1, 1, 5, true, r);
        QVERIFY(r.Ok);
        // Al goes out first thing, before the request is written.
        QVERIFY(!estados.isEmpty());
        QVERIFY(!estados.first().al);
        QCOMPARE(estados.first().peticiones, 1);
        QVERIFY(std::any_of(estados.begin(), estados.end(), [](const Estado& e) { return e.tx && !e.rx; }));
        QVERIFY(!b.enlace.AlLamp() && !b.enlace.TxLamp() && !b.enlace.RxLamp());
    }

    void puertoInvalidoFallaSinColgarse()
    {
        test::DialogosGuion d;
        EnlaceModbus e;
        e.setRetries(2);
        QSignalSpy fallas(&e, &EnlaceModbus::OnFallaComm);
        TModbusResult r;
        r.Value = 11;
        QElapsedTimer reloj;
        reloj.start();
        e.ReadHoldingRegister(-1, 1, 4096, 0, true, r);
        QVERIFY(reloj.elapsed() < 500);
        QVERIFY(!r.Ok);
        QCOMPARE(r.Value, 11);
        QCOMPARE(fallas.count(), 1);
        QVERIFY(e.AlLamp());
    }

    // The master closes in the middle of a transaction: it fails within its
    // time-outs, the following ones fail at once, and nothing crashes.
    void dispositivoDesapareceEnMedio()
    {
        Banco b(500, 0);
        b.par.responder([](const QByteArray&) {
            Accion a;
            a.colgar = true;
            return a;
        });
        QSignalSpy fallas(&b.enlace, &EnlaceModbus::OnFallaComm);
        TModbusResult r;
        QElapsedTimer reloj;
        reloj.start();
        b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
        QVERIFY(!r.Ok);
        QVERIFY2(reloj.elapsed() < 1500, qPrintable(QString::number(reloj.elapsed())));
        b.enlace.setRetries(5);
        reloj.restart();
        for (int i = 0; i < 5; ++i) {
            b.enlace.ReadHoldingRegister(b.h(), 1, 4096, 0, true, r);
            QVERIFY(!r.Ok);
        }
        // 6 attempts × 3 ms pause each, five times; nowhere near a read time-out.
        QVERIFY2(reloj.elapsed() < 600, qPrintable(QString::number(reloj.elapsed())));
        QCOMPARE(fallas.count(), 6);
        QVERIFY(b.enlace.AlLamp());
    }

    // Random replies over the real line: the transaction accepts exactly
    // those with the right address, function and (when checked) CRC.
    void fuzzSobreLaLinea()
    {
        Banco b(50, 0);
        std::mt19937 gen(777);
        std::mutex m;
        QByteArray siguiente;
        b.par.responder([&](const QByteArray&) {
            std::lock_guard<std::mutex> l(m);
            return Accion{siguiente};
        });
        int aceptadas = 0;
        for (int i = 0; i < 250; ++i) {
            const quint8 esclavo = quint8(1 + gen() % 20);
            static const quint8 funciones[] = {1, 3, 5, 6};
            const quint8 funcion = funciones[gen() % 4];
            const bool crc = gen() % 3 != 0;
            QByteArray resp = respuestaCon(esclavo, funcion, quint16(gen()), quint8(gen()), quint8(gen()));
            const int tipo = int(gen() % 4);
            if (tipo == 1) {
                const int k = int(gen() % 8);
                resp[k] = char(resp[k] ^ char(1 + gen() % 255));
            }
            else if (tipo == 2)
                for (auto& c : resp)
                    c = char(gen());
            else if (tipo == 3)
                resp.truncate(int(gen() % 8));
            {
                std::lock_guard<std::mutex> l(m);
                siguiente = resp;
            }
            const uint8_t* u = reinterpret_cast<const uint8_t*>(resp.constData());
            bool esperado = resp.size() == 8 && u[0] == esclavo && u[1] == funcion;
            if (esperado && crc) {
                const uint16_t c = Crc16(u, 6);
                esperado = u[6] == (c & 0xFF) && u[7] == (c >> 8);
            }
            TModbusResult r;
            r.Value = 99999;
            b.enlace.Transact(b.h(), esclavo, int(gen() % 65536), 0, funcion, crc, r);
            QCOMPARE(r.Ok, esperado);
            if (esperado)
                QCOMPARE(r.Value, modbus::valorDe(u));
            else
                QCOMPARE(r.Value, 99999);
            aceptadas += r.Ok;
        }
        QVERIFY(aceptadas > 30);
    }
};

QTEST_GUILESS_MAIN(TstTransacciones)
#include "tst_transacciones.moc"
