// Frames, reply checking and decoding, port names and time-out figures:
// everything of the link that needs no device.

#include "link/modbus.h"

#include <QSignalSpy>
#include <QTest>

#include <random>

using namespace ombrix;

namespace {

QByteArray bytes(const modbus::Trama& t) { return QByteArray(reinterpret_cast<const char*>(t.data()), 8); }

// Bit by bit, independent of the table the link uses.
uint16_t crcPorBits(const uint8_t* d, std::size_t n)
{
    uint16_t c = 0xFFFF;
    for (std::size_t i = 0; i < n; ++i) {
        c ^= d[i];
        for (int b = 0; b < 8; ++b)
            c = (c & 1) ? static_cast<uint16_t>((c >> 1) ^ 0xA001) : static_cast<uint16_t>(c >> 1);
    }
    return c;
}

} // namespace

class TstTramas : public QObject {
    Q_OBJECT
private slots:
    void peticionesConocidas()
    {
        QCOMPARE(bytes(modbus::construirPeticion(1, 3, 4096, 0)), QByteArray::fromHex("010310000000410A"));
        QCOMPARE(bytes(modbus::construirPeticion(2, 6, 4, 1000)), QByteArray::fromHex("0206000403E8C886"));
        // Bytes 7 and 8 are always the CRC of 1..6, low byte first.
        const auto t = modbus::construirPeticion(0xFF, 5, 0xFFFF, 0x8000);
        const uint16_t crc = crcPorBits(t.data(), 6);
        QCOMPARE(t[6], static_cast<uint8_t>(crc & 0xFF));
        QCOMPARE(t[7], static_cast<uint8_t>(crc >> 8));
    }

    void decodificacion_data()
    {
        QTest::addColumn<QByteArray>("alto_bajo");
        QTest::addColumn<int>("valor");
        QTest::newRow("FF38") << QByteArray::fromHex("FF38") << -200;
        QTest::newRow("7FFF") << QByteArray::fromHex("7FFF") << 32767;
        QTest::newRow("8000") << QByteArray::fromHex("8000") << -32768;
        QTest::newRow("0000") << QByteArray::fromHex("0000") << 0;
        QTest::newRow("FFFF") << QByteArray::fromHex("FFFF") << -1;
        QTest::newRow("03E8") << QByteArray::fromHex("03E8") << 1000;
    }
    void decodificacion()
    {
        QFETCH(QByteArray, alto_bajo);
        QFETCH(int, valor);
        uint8_t r[8] = {1, 3, 0, 0, static_cast<uint8_t>(alto_bajo[0]), static_cast<uint8_t>(alto_bajo[1]), 0, 0};
        QCOMPARE(modbus::valorDe(r), valor);
    }

    void comprobacionDeRespuesta()
    {
        uint8_t r[8] = {2, 6, 0, 4, 3, 0xE8, 0, 0};
        const uint16_t crc = crcPorBits(r, 6);
        r[6] = crc & 0xFF;
        r[7] = crc >> 8;
        QVERIFY(modbus::respuestaValida(r, 8, 2, 6, true));
        QVERIFY(!modbus::respuestaValida(r, 7, 2, 6, true));   // short
        QVERIFY(!modbus::respuestaValida(r, 0, 2, 6, false));
        QVERIFY(!modbus::respuestaValida(r, 8, 3, 6, true));   // another slave
        QVERIFY(!modbus::respuestaValida(r, 8, 2, 5, true));   // another function
        QVERIFY(!modbus::respuestaValida(nullptr, 8, 2, 6, false));
        r[7] ^= 0x01;
        QVERIFY(!modbus::respuestaValida(r, 8, 2, 6, true));
        QVERIFY(modbus::respuestaValida(r, 8, 2, 6, false));   // CRC not checked
        r[0] = 3;
        QVERIFY(!modbus::respuestaValida(r, 8, 2, 6, false));  // the address is checked all the same
    }

    // Thousands of random and mutated replies against an independent oracle.
    void fuzzComprobacion()
    {
        std::mt19937 gen(20240611);
        std::uniform_int_distribution<int> byte(0, 255);
        const quint8 funciones[] = {1, 3, 5, 6};
        int aceptadas = 0;
        for (int i = 0; i < 50000; ++i) {
            const quint8 esclavo = static_cast<quint8>(byte(gen));
            const quint8 funcion = funciones[gen() % 4];
            const bool conCrc = gen() % 4 != 0;
            uint8_t r[8];
            const int tipo = static_cast<int>(gen() % 3);
            if (tipo == 0) {
                for (auto& b : r)
                    b = static_cast<uint8_t>(byte(gen));
            } else {
                r[0] = esclavo;
                r[1] = funcion;
                for (int k = 2; k < 6; ++k)
                    r[k] = static_cast<uint8_t>(byte(gen));
                const uint16_t c = crcPorBits(r, 6);
                r[6] = c & 0xFF;
                r[7] = c >> 8;
                const int cambios = tipo == 1 ? 0 : 1 + static_cast<int>(gen() % 3);
                for (int k = 0; k < cambios; ++k)
                    r[gen() % 8] ^= static_cast<uint8_t>(1 + gen() % 255);
            }
            const std::size_t largo = gen() % 5 == 0 ? gen() % 8 : 8;
            const uint16_t c = crcPorBits(r, 6);
            const bool esperado = largo == 8 && r[0] == esclavo && r[1] == funcion
                               && (!conCrc || (r[6] == (c & 0xFF) && r[7] == (c >> 8)));
            const bool obtenido = modbus::respuestaValida(r, largo, esclavo, funcion, conCrc);
            if (obtenido != esperado)
                QFAIL(qPrintable(QStringLiteral("caso %1: %2 slave %3 fn %4 crc %5 largo %6")
                                     .arg(i)
                                     .arg(QString::fromLatin1(QByteArray(reinterpret_cast<char*>(r), 8).toHex(' ')))
                                     .arg(esclavo)
                                     .arg(funcion)
                                     .arg(conCrc)
                                     .arg(largo)));
            aceptadas += obtenido;
        }
        // The mix must exercise both outcomes.
        QVERIFY(aceptadas > 5000);
        QVERIFY(aceptadas < 45000);
    }

    void nombresDePuerto()
    {
        const std::function<QString(QString)> ninguno;
        QCOMPARE(resolverPuerto(QStringLiteral("COM1"), ninguno), QStringLiteral("/dev/ttyS0"));
        QCOMPARE(resolverPuerto(QStringLiteral("COM8"), ninguno), QStringLiteral("/dev/ttyS7"));
        QCOMPARE(resolverPuerto(QStringLiteral("com3"), ninguno), QStringLiteral("/dev/ttyS2"));
        QCOMPARE(resolverPuerto(QStringLiteral("/dev/pts/3"), ninguno), QStringLiteral("/dev/pts/3"));
        QCOMPARE(resolverPuerto(QStringLiteral("/dev/ttyUSB0"), ninguno), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(resolverPuerto(QStringLiteral("COM0"), ninguno), QStringLiteral("COM0"));

        QStringList pedidas;
        const auto configurado = [&](const QString& clave) {
            pedidas << clave;
            return clave == QStringLiteral("COM2") ? QStringLiteral("/dev/ttyUSB0") : QString();
        };
        QCOMPARE(resolverPuerto(QStringLiteral("com2"), configurado), QStringLiteral("/dev/ttyUSB0"));
        QCOMPARE(resolverPuerto(QStringLiteral("COM5"), configurado), QStringLiteral("/dev/ttyS4"));
        QCOMPARE(resolverPuerto(QStringLiteral("/dev/pts/9"), configurado), QStringLiteral("/dev/pts/9"));
        QCOMPARE(pedidas, (QStringList{QStringLiteral("COM2"), QStringLiteral("COM5")}));

        EnlaceModbus e;
        QCOMPARE(e.rutaDe(QStringLiteral("COM2")), QStringLiteral("/dev/ttyS1"));
        e.setDispositivoConfigurado(configurado);
        QCOMPARE(e.rutaDe(QStringLiteral("COM2")), QStringLiteral("/dev/ttyUSB0"));
    }

    void tiemposDeEspera()
    {
        QCOMPARE(serie::tiemposPara(500), (serie::TiemposEspera{50, 50, 500, 50, 500}));
        QCOMPARE(serie::tiemposPara(55), (serie::TiemposEspera{5, 5, 55, 5, 55}));
        QCOMPARE(serie::tiemposPara(9), (serie::TiemposEspera{0, 0, 9, 0, 9}));
        // No total time, or negative ones, would let a read wait for ever.
        QVERIFY(!serie::configurarTiempos(5, serie::tiemposPara(0)));
        QVERIFY(!serie::configurarTiempos(5, serie::tiemposPara(-20)));
    }

    void valoresIniciales()
    {
        EnlaceModbus e;
        QCOMPARE(e.Baud(), br9600);
        QCOMPARE(e.TimeOuts(), 500);
        QCOMPARE(e.Retries(), 5);
        QCOMPARE(e.WordSize(), ws8);
        QCOMPARE(e.Par(), spNone);
        QCOMPARE(e.StopBits(), sb1);
        QVERIFY(!e.TxLamp() && !e.RxLamp() && !e.AlLamp());
        QCOMPARE(e.RetryCount(), 0);
        QVERIFY(!e.PortOpen());
        QCOMPARE(baudiosDe(br4800), 4800);
        QCOMPARE(baudiosDe(br76800), 76800);
        QCOMPARE(baudiosDe(br115200), 115200);
    }

    void propiedadesSoloAvisanAlCambiar()
    {
        EnlaceModbus e;
        QSignalSpy spy(&e, &EnlaceModbus::propiedadesCambiaron);
        e.setBaud(br9600);
        e.setTimeOuts(500);
        e.setRetries(5);
        e.setWordSize(ws8);
        e.setPar(spNone);
        e.setStopBits(sb1);
        QCOMPARE(spy.count(), 0);
        e.setBaud(br19200);
        e.setTimeOuts(55);
        e.setRetries(0);
        e.setWordSize(ws7);
        e.setPar(spEven);
        e.setStopBits(sb2);
        QCOMPARE(spy.count(), 6);
        QCOMPARE(e.Baud(), br19200);
        QCOMPARE(e.TimeOuts(), 55);
        QCOMPARE(e.Retries(), 0);
    }
};

QTEST_GUILESS_MAIN(TstTramas)
#include "tst_tramas.moc"
