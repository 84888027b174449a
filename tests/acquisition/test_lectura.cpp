// Reading one instrument against the simulator over a real pseudo-terminal,
// with the process frozen so that every value is the one the test wrote.

#include "acquisition/lectura.h"
#include "dialogos_guion.h"
#include "sim/simulador.h"

#include <QTest>

#include <memory>

using namespace ombrix;
namespace reg = ombrix::sim::reg;

namespace {

QByteArray peticion(quint8 esclavo, quint8 funcion, quint16 registro)
{
    const modbus::Trama t = modbus::construirPeticion(esclavo, funcion, registro, 0);
    return QByteArray(reinterpret_cast<const char*>(t.data()), int(t.size()));
}

void todoApagado(TAvanzadas1& a)
{
    a.PCheckVA = a.PCheckSPRd = a.PCheckNProg = a.PCheckNSeg = a.PCheckTemp = false;
    a.PCheckPOT = a.PCheckAl1 = a.PCheckAl2 = a.PCheckAl3 = a.PCheckAl4 = false;
}

} // namespace

class TestLectura : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<test::DialogosGuion> guion;
    std::unique_ptr<sim::Simulador> simu;
    std::unique_ptr<EnlaceModbus> enlace;
    std::unique_ptr<Modelo> modelo;
    TEstadoPuerto puerto;
    EstadoDecimales dec;

    // Instrument 1: controller at address 1; instrument 2: programmer at address 3.
    TAvanzadas1& a1() { return modelo->Avanzadas1[1]; }

    ResultadoLectura leer(int n = 1, int pausaMs = 0)
    {
        ResultadoLectura r =
            LeerInstrumento(modelo->Avanzadas1[n], modelo->Estados[n].Direccion, *enlace, puerto.Handle, dec, pausaMs);
        engancharAlarma(modelo->Estados[n], r);
        return r;
    }

private slots:
    void init()
    {
        guion = std::make_unique<test::DialogosGuion>();
        simu = std::make_unique<sim::Simulador>();
        simu->agregarInstrumento(1, false);
        simu->agregarInstrumento(3, true);
        simu->setDinamica(false);
        simu->setRitmo(false);
        QString ruta, error;
        QVERIFY2(simu->abrirPty(&ruta, &error), qPrintable(error));
        simu->iniciar();

        enlace = std::make_unique<EnlaceModbus>();
        enlace->setTimeOuts(250);   // a loaded machine still answers within it
        enlace->setRetries(0);
        puerto = TEstadoPuerto{};
        enlace->OpenPort(ruta, puerto);
        QVERIFY2(puerto.Abierto, qPrintable(enlace->ultimoError()));

        modelo = std::make_unique<Modelo>();
        modelo->CantidadAparatos = 3;
        modelo->granini(1, QString());
        modelo->granini(2, QString());
        modelo->ActualizarMemoria();
        modelo->Estados[1].Direccion = 1;
        modelo->Estados[2].Direccion = 3;
        dec = EstadoDecimales{};
    }

    void cleanup()
    {
        if (enlace && puerto.Handle >= 0)
            enlace->ClosePort(puerto.Handle, puerto);
        enlace.reset();
        simu.reset();
        modelo.reset();
        guion.reset();
    }

    void decimalesComoTabla_data()
    {
        QTest::addColumn<int>("codigo");
        QTest::addColumn<int>("registro");
        QTest::addColumn<int>("divisor");
        QTest::addColumn<int>("cifras");
        QTest::newRow("0 de 16440") << 0 << 16440 << 1 << 0;
        QTest::newRow("1 de 16440") << 1 << 16440 << 10 << 1;
        QTest::newRow("2 de 16440") << 2 << 16440 << 100 << 2;
        QTest::newRow("3 de 16440") << 3 << 16440 << 1000 << 3;
        QTest::newRow("4 cuenta como 0") << 4 << 16440 << 1 << 0;
        QTest::newRow("5 cuenta como 0") << 5 << 16440 << 1 << 0;
        QTest::newRow("-1 cuenta como 0") << -1 << 16440 << 1 << 0;
        QTest::newRow("10 de 46000 no es tipo") << 10 << 46000 << 1 << 0;
        QTest::newRow("2 de 49000 no es tipo") << 2 << 49000 << 100 << 2;
        for (int c : {0, 6, 7, 9, 12, 13})
            QTest::addRow("tipo %d", c) << c << 47000 << 10 << 1;
        QTest::newRow("tipo 10 en 46001") << 10 << 46001 << 100 << 2;
        QTest::newRow("tipo 11 en 48999") << 11 << 48999 << 1000 << 3;
        for (int c : {1, 2, 3, 5, 8, 14, -1})
            QTest::addRow("tipo %d sin decimales", c) << c << 47000 << 1 << 0;
    }

    void decimalesComoTabla()
    {
        QFETCH(int, codigo);
        QFETCH(int, registro);
        QFETCH(int, divisor);
        QFETCH(int, cifras);
        qint32 d = -7;
        quint8 c = 99;
        decimales(codigo, d, c, registro);
        QCOMPARE(d, divisor);
        QCOMPARE(int(c), cifras);
    }

    void puntoFijo()
    {
        QCOMPARE(textoPuntoFijo(253, 10, 1), QStringLiteral("25.3"));
        QCOMPARE(textoPuntoFijo(-200, 10, 1), QStringLiteral("-20.0"));
        QCOMPARE(textoPuntoFijo(-5, 10, 1), QStringLiteral("-0.5"));
        QCOMPARE(textoPuntoFijo(7, 1000, 3), QStringLiteral("0.007"));
        QCOMPARE(textoPuntoFijo(0, 100, 2), QStringLiteral("0.00"));
        QCOMPARE(textoPuntoFijo(32767, 1, 0), QStringLiteral("32767"));
        QCOMPARE(textoPuntoFijo(-32768, 100, 2), QStringLiteral("-327.68"));
    }

    // Measured value and set point through the line, with the decimals state
    // the reading leaves behind.
    void valorMedido_data()
    {
        QTest::addColumn<int>("sensor");
        QTest::addColumn<int>("codigo");
        QTest::addColumn<int>("valor");
        QTest::addColumn<int>("rango");
        QTest::addColumn<QString>("texto");
        QTest::newRow("codigo 1") << 16440 << 1 << 253 << 0 << "25.3";
        QTest::newRow("codigo 0") << 16440 << 0 << 253 << 0 << "253";
        QTest::newRow("codigo 5") << 16440 << 5 << 253 << 0 << "253";
        QTest::newRow("negativo") << 16440 << 1 << -200 << 0 << "-20.0";
        QTest::newRow("tipo 10") << 47000 << 10 << 253 << 0 << "2.53";
        QTest::newRow("tipo 3") << 47000 << 3 << 253 << 0 << "253";
        QTest::newRow("sobre rango") << 16440 << 1 << 253 << 1 << " oF ";
        QTest::newRow("sobre rango con cero") << 16440 << 1 << 0 << 1 << " oF ";
        QTest::newRow("bajo rango") << 16440 << 1 << -999 << 2 << " uF ";
        QTest::newRow("rango 3 es normal") << 16440 << 2 << 1234 << 3 << "12.34";
    }

    void valorMedido()
    {
        QFETCH(int, sensor);
        QFETCH(int, codigo);
        QFETCH(int, valor);
        QFETCH(int, rango);
        QFETCH(QString, texto);
        a1().Sensor = sensor;
        simu->setRegistro(1, quint16(sensor), qint16(codigo));
        simu->setRegistro(1, reg::VActual, qint16(valor));
        simu->setRegistro(1, reg::FueraRango, qint16(rango));
        simu->setRegistro(1, reg::SetPoint, 500);

        const ResultadoLectura r = leer();
        QCOMPARE(r.fallas, 0);
        QVERIFY(r.valorActual.has_value());
        QCOMPARE(*r.valorActual, texto);
        QCOMPARE(r.Lecturas[kValorMedido], texto);
        // Without registers of its own the set point follows the measured
        // value's decimals (read from Sensor2, which defaults to 16440) and is in range.
        qint32 d;
        quint8 c;
        decimales(codigo, d, c, sensor);
        QCOMPARE(dec.DivisorVA, d);
        QCOMPARE(dec.DecimalesVA, c);
        QVERIFY(r.SetPoint.has_value());
        QCOMPARE(r.Lecturas[kSetPoint], *r.SetPoint);
    }

    void consignaConRegistrosPropios()
    {
        a1().FueraRango2 = 4200;
        a1().Sensor2 = 16442;
        simu->setRegistro(1, reg::SetPoint, 1234);
        simu->setRegistro(1, 16442, 2);
        simu->setRegistro(1, 4200, 0);
        ResultadoLectura r = leer();
        QCOMPARE(r.fallas, 0);
        QCOMPARE(r.Lecturas[kSetPoint], QStringLiteral("12.34"));
        QCOMPARE(r.Lecturas[kValorMedido], QStringLiteral("20.0"));   // 200, one decimal
        QCOMPARE(dec.DivisorSP, 100);
        QCOMPARE(int(dec.DecimalesSP), 2);

        simu->setRegistro(1, 4200, 2);
        r = leer();
        QCOMPARE(*r.SetPoint, QStringLiteral(" uF "));
        QCOMPARE(r.Lecturas[kSetPoint], QStringLiteral(" uF "));
        QCOMPARE(r.Lecturas[kValorMedido], QStringLiteral("20.0"));
    }

    void consignaSinValorMedidoEsError()
    {
        a1().PCheckVA = false;
        a1().FueraRango2 = 0;
        simu->setRegistro(1, reg::SetPoint, 500);
        const ResultadoLectura r = leer();
        QCOMPARE(r.Lecturas[kValorMedido], QStringLiteral("N.I."));
        QCOMPARE(r.Lecturas[kSetPoint], QStringLiteral("Err"));
        QVERIFY(!r.valorActual.has_value());
        QVERIFY(!r.SetPoint.has_value());
        QCOMPARE(r.fallas, 1);
        // The set point itself was asked for, and answered.
        QVERIFY(simu->peticiones().contains(peticion(1, 3, reg::SetPoint)));
        QVERIFY(!simu->peticiones().contains(peticion(1, 3, reg::VActual)));
    }

    void potenciaYAlarmas()
    {
        TAvanzadas1& a = a1();
        a.NombrePot = QStringLiteral("Pot");
        a.NombreAl1 = QStringLiteral("AL1");
        a.A2colorOn = 0x0000FF;
        a.A2colorOff = 0x000080;
        a.A3colorOn = 0x00FF00;
        a.A3colorOff = 0x008000;
        a.A4colorOn = 0xFF0000;
        a.A4colorOff = 0x800000;
        simu->setRegistro(1, reg::Potencia, 450);
        simu->setRegistro(1, reg::Alarma1, 333);
        simu->setRegistro(1, reg::Alarma2, 1000);
        simu->setRegistro(1, reg::Alarma3, 999);
        simu->setRegistro(1, reg::Alarma4, 12);

        ResultadoLectura r = leer();
        QCOMPARE(r.fallas, 0);
        QVERIFY(r.Potencia && r.Alarma1);
        QCOMPARE(r.Potencia->progreso, 450);
        QCOMPARE(r.Potencia->maximo, 1000);
        QCOMPARE(r.Potencia->texto, QStringLiteral("Pot:45%"));
        QCOMPARE(r.Lecturas[kPotencia], QStringLiteral("45"));
        QCOMPARE(r.Alarma1->texto, QStringLiteral("AL1:33%"));
        QCOMPARE(r.Lecturas[kAlarma1], QStringLiteral("33"));
        QCOMPARE(r.ColoresAlarma[0], std::optional<qint32>(0x0000FF));
        QCOMPARE(r.Lecturas[kAlarma2], QStringLiteral("100"));
        QCOMPARE(r.ColoresAlarma[1], std::optional<qint32>(0x008000));
        QCOMPARE(r.Lecturas[kAlarma3], QStringLiteral("391"));
        QCOMPARE(r.ColoresAlarma[2], std::optional<qint32>(0x800000));
        QCOMPARE(r.Lecturas[kAlarma4], QStringLiteral("4"));

        // Percentages are cut toward zero, negative ones too.
        simu->setRegistro(1, reg::Potencia, -55);
        simu->setRegistro(1, reg::Alarma3, -100);
        a.Val100A1 = 7;
        simu->setRegistro(1, reg::Alarma1, 6);
        r = leer();
        QCOMPARE(r.Lecturas[kPotencia], QStringLiteral("-5"));
        QCOMPARE(r.Potencia->texto, QStringLiteral("Pot:-5%"));
        QCOMPARE(r.Lecturas[kAlarma3], QStringLiteral("-39"));
        QCOMPARE(r.Lecturas[kAlarma1], QStringLiteral("85"));
        QCOMPARE(r.Alarma1->maximo, 7);
    }

    void escalaCeroNoDivide()
    {
        a1().NombrePot = QStringLiteral("Pot");
        a1().Val100Pot = 0;
        a1().Val100A1 = 0;
        simu->setRegistro(1, reg::Potencia, 450);
        simu->setRegistro(1, reg::Alarma1, 10);
        const ResultadoLectura r = leer();
        QCOMPARE(r.fallas, 0);
        QCOMPARE(r.Lecturas[kPotencia], QStringLiteral("Err"));
        QCOMPARE(r.Lecturas[kAlarma1], QStringLiteral("Err"));
        QCOMPARE(r.Potencia->progreso, 0);
        QCOMPARE(r.Potencia->maximo, 0);
        QCOMPARE(r.Potencia->texto, QStringLiteral("Pot:Err"));
        QCOMPARE(r.Alarma1->maximo, 0);
    }

    void programaSegmentoYTiempo()
    {
        // Disabled: shown as zero.
        a1().PCheckNProg = a1().PCheckNSeg = a1().PCheckTemp = false;
        ResultadoLectura r = leer();
        QCOMPARE(r.NProg, std::optional<QString>(QStringLiteral("00")));
        QCOMPARE(r.NSeg, std::optional<QString>(QStringLiteral("00")));
        QCOMPARE(r.Temp, std::optional<QString>(QStringLiteral("0000")));
        for (quint16 registro : {reg::NProg, reg::NSeg, reg::Temp})
            for (const QByteArray& p : simu->peticiones())
                QVERIFY(quint8(p[2]) * 256 + quint8(p[3]) != registro);

        // The programmer at address 3.
        struct Caso { qint16 prog, seg, temp; const char *tProg, *tSeg, *tTemp; };
        const Caso casos[] = {{5, 12, 5, "05", "12", "0005"},
                              {0, 9, 42, "00", "09", "0042"},
                              {10, 1, 123, "10", "01", "0123"},
                              {99, 3, 1234, "99", "03", "01234"}};
        for (const Caso& c : casos) {
            simu->setRegistro(3, reg::NProg, c.prog);
            simu->setRegistro(3, reg::NSeg, c.seg);
            simu->setRegistro(3, reg::Temp, c.temp);
            r = leer(2);
            QCOMPARE(r.fallas, 0);
            QCOMPARE(*r.NProg, QLatin1String(c.tProg));
            QCOMPARE(*r.NSeg, QLatin1String(c.tSeg));
            QCOMPARE(*r.Temp, QLatin1String(c.tTemp));
        }
    }

    void nadaHabilitadoNadaEnLaLinea()
    {
        todoApagado(a1());
        simu->limpiarPeticiones();
        const ResultadoLectura r = leer(1, 3);
        for (const QString& t : r.Lecturas)
            QCOMPARE(t, QStringLiteral("N.I."));
        QCOMPARE(r.peticiones, 0);
        QCOMPARE(r.fallas, 0);
        QVERIFY(!r.valorActual && !r.SetPoint && !r.Potencia && !r.Alarma1);
        QTest::qWait(50);
        QVERIFY(simu->peticiones().isEmpty());
    }

    void tramasDeUnaLecturaCompleta()
    {
        // Instrument 2 answers at address 3: the address comes from its state.
        simu->limpiarPeticiones();
        ResultadoLectura r = leer(2, 3);
        QCOMPARE(r.fallas, 0);
        QCOMPARE(r.peticiones, 12);
        QList<QByteArray> esperadas = {
            peticion(3, 3, 4096), peticion(3, 1, 16440), peticion(3, 1, 4128), peticion(3, 3, 4104),
            peticion(3, 1, 252),  peticion(3, 1, 268),   peticion(3, 3, 300),  peticion(3, 1, 4112),
            peticion(3, 1, 4120), peticion(3, 1, 4122),  peticion(3, 1, 4124), peticion(3, 1, 4126)};
        QCOMPARE(simu->peticiones(), esperadas);
        QCOMPARE(esperadas.first().toHex(' '), QByteArray("03 03 10 00 00 00 40 e8"));

        // With a range register of its own the set point brings two more reads.
        modelo->Avanzadas1[2].FueraRango2 = 4130;
        modelo->Avanzadas1[2].Sensor2 = 16441;
        simu->limpiarPeticiones();
        r = leer(2, 0);
        QCOMPARE(r.peticiones, 14);
        esperadas.insert(4, peticion(3, 1, 16441));
        esperadas.insert(5, peticion(3, 1, 4130));
        QCOMPARE(simu->peticiones(), esperadas);
    }

    void crcSegunConfiguracion()
    {
        simu->setFalla(1, sim::Falla::CrcMala);
        a1().CRC = true;
        ResultadoLectura r = leer();
        QCOMPARE(r.Lecturas[kValorMedido], QStringLiteral("Err"));
        QVERIFY(r.fallas >= 5);
        // Without the check the same replies are taken.
        modelo->Estados[1].AlarmaCom = false;
        a1().CRC = false;
        r = leer();
        QCOMPARE(r.fallas, 0);
        QCOMPARE(r.Lecturas[kValorMedido], QStringLiteral("20.0"));
    }

    void alarmaDeComunicacion()
    {
        // Four enabled quantities, all failed: the instrument is not there.
        simu->setFalla(1, sim::Falla::Silencio);
        todoApagado(a1());
        a1().PCheckNProg = a1().PCheckNSeg = a1().PCheckTemp = a1().PCheckPOT = true;
        ResultadoLectura r = leer();
        QCOMPARE(r.fallas, 4);
        QCOMPARE(r.habilitadas, 4);
        QVERIFY(r.alarmaComEnganchada);
        QVERIFY(modelo->Estados[1].AlarmaCom);
        QCOMPARE(r.Lecturas[kPotencia], QStringLiteral("Err"));
        QVERIFY(!r.NProg && !r.NSeg && !r.Temp && !r.Potencia);

        // Already latched: not latched again.
        r = leer();
        QVERIFY(!r.alarmaComEnganchada);
        QVERIFY(modelo->Estados[1].AlarmaCom);

        // A single enabled quantity that fails latches too.
        modelo->Estados[1].AlarmaCom = false;
        todoApagado(a1());
        a1().PCheckAl4 = true;
        r = leer();
        QCOMPARE(r.fallas, 1);
        QVERIFY(r.alarmaComEnganchada);

        // Nothing enabled: nothing sent, nothing failed, nothing latched.
        modelo->Estados[1].AlarmaCom = false;
        todoApagado(a1());
        r = leer();
        QCOMPARE(r.peticiones, 0);
        QVERIFY(!r.alarmaComEnganchada);
    }

    void alarmaDeComunicacionParcial()
    {
        // Some quantities answered: five failures latch, four do not.
        ResultadoLectura r;
        r.habilitadas = 10;
        r.fallas = 4;
        QVERIFY(!r.fallaComunicacion());
        r.fallas = 5;
        QVERIFY(r.fallaComunicacion());
        // A reading cut short is nobody's failure.
        r.cortada = true;
        QVERIFY(!r.fallaComunicacion());
    }

    void lecturaCortadaNoEnviaNadaMas()
    {
        int preguntas = 0;
        const ResultadoLectura r = LeerInstrumento(a1(), 1, *enlace, puerto.Handle, dec, 0, [&] { return ++preguntas > 2; });
        QVERIFY(r.cortada);
        QCOMPARE(r.peticiones, 2);
        QCOMPARE(simu->peticiones().size(), 2);
        QVERIFY(!r.valorActual);
    }

    void puertoPerdidoCortaLaLectura()
    {
        // The device vanished: no instrument is to blame.
        simu->cerrarLinea();
        ResultadoLectura r = leer();
        QVERIFY(r.puertoPerdido);
        QVERIFY(r.cortada);
        QCOMPARE(r.peticiones, 1);
        QVERIFY(!r.alarmaComEnganchada);
        QVERIFY(!modelo->Estados[1].AlarmaCom);
    }

    void setPointConDecimalesPrestadosDeTipoDeEntrada()
    {
        // The measured value's decimals come from an input-type register; the
        // set point borrows them and is decoded by that same register.
        todoApagado(a1());
        a1().PCheckVA = a1().PCheckSPRd = true;
        a1().FueraRango2 = 0;
        a1().Sensor = 47000;
        a1().Sensor2 = 16440;
        simu->setRegistro(1, 47000, 10);   // input type 10: two decimals
        simu->setRegistro(1, sim::reg::VActual, 2534);
        simu->setRegistro(1, sim::reg::SetPoint, -5);
        const ResultadoLectura r = leer();
        QCOMPARE(r.Lecturas[kValorMedido], QStringLiteral("25.34"));
        QCOMPARE(r.Lecturas[kSetPoint], QStringLiteral("-0.05"));
    }

    void valorMedidoCuentaUnaFalla()
    {
        // Three registers, one quantity: a silent instrument costs one failure.
        simu->setFalla(1, sim::Falla::Silencio);
        todoApagado(a1());
        a1().PCheckVA = true;
        dec.DivisorVA = 100;
        dec.DecimalesVA = 2;
        const ResultadoLectura r = leer();
        QCOMPARE(r.peticiones, 3);
        QCOMPARE(r.fallas, 1);
        QCOMPARE(r.Lecturas[kValorMedido], QStringLiteral("Err"));
        QVERIFY(!r.valorActual);
        // The decimals state stays as it was.
        QCOMPARE(dec.DivisorVA, 100);
        QCOMPARE(int(dec.DecimalesVA), 2);
    }
};

QTEST_GUILESS_MAIN(TestLectura)
#include "test_lectura.moc"
