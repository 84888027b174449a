// The acquisition cycle end to end: the simulator on a real pseudo-terminal,
// the polling thread, the one-second tick (driven by the test), the recording
// into a real database file.
#include "banco_linea.h"
#include "config/rutas.h"
#include "dialogos_guion.h"

#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QRegularExpression>
#include <QTest>

using namespace ombrix;
using namespace ombrix::test;

class TestAdquisicion : public QObject {
    Q_OBJECT
private slots:
    void modoLibreCadaInstrumentoConSuPeriodo()
    {
        Banco b(2);
        b.modelo.ArrayConfig[1].Barrido = 2;
        b.modelo.ArrayConfig[2].Barrido = 3;
        b.modelo.Estados[1].Partida = QStringLiteral("L-7");
        QSignalSpy enLinea(b.adq.get(), &Adquisicion::enLinea);
        QSignalSpy estados(b.adq.get(), &Adquisicion::estado);
        QVERIFY(b.comenzar());
        QCOMPARE(enLinea.first().first().toBool(), true);
        b.pasadas(2);
        QStringList textos;
        for (const auto& e : estados)
            textos << e.first().toString();
        QCOMPARE(textos.first(), QStringLiteral("Sistema en linea"));
        QVERIFY(textos.contains(QStringLiteral("Consultando en linea: 2")));
        QVERIFY(textos.contains(QStringLiteral("Actualizando Tabla: 1")));
        // The pass over, the status says so again.
        QVERIFY(textos.count(QStringLiteral("Sistema en linea")) >= 2);
        for (int i = 0; i < 6; ++i)
            b.tic();
        // Recorded at the first reading after the start, then every Barrido ticks.
        QCOMPARE(b.filas(QStringLiteral("Instrumento1")), 4);
        QCOMPARE(b.filas(QStringLiteral("Instrumento2")), 3);
        QCOMPARE(b.filas(QStringLiteral("Combinada")), 0);
        const auto filas = b.contenido(QStringLiteral("Instrumento1"), QStringLiteral("Fecha, Hora, Valor_medido, Set_point, Partida"));
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d/\\d\\d/\\d{4}$")).match(filas[0][0]).hasMatch());
        QVERIFY(QRegularExpression(QStringLiteral("^\\d\\d:\\d\\d:\\d\\d$")).match(filas[0][1]).hasMatch());
        QCOMPARE(filas[0][2], QStringLiteral("20.0"));
        QCOMPARE(filas[0][3], QStringLiteral("50.0"));
        QCOMPARE(filas[0][4], QStringLiteral("L-7"));
        QVERIFY(b.contenido(QStringLiteral("Instrumento2"), QStringLiteral("Partida"))[0][0].isEmpty());
    }

    void modoSincronizadoYFilaCombinada()
    {
        Banco b(2);
        b.modelo.Config.Sincronismo = true;
        b.modelo.Config.TiempoSinc = 2;
        QVERIFY(b.comenzar());
        b.pasadas(2);
        // The first synchronised recording writes no combined row.
        QCOMPARE(b.filas(QStringLiteral("Instrumento1")), 1);
        QCOMPARE(b.filas(QStringLiteral("Instrumento2")), 1);
        QCOMPARE(b.filas(QStringLiteral("Combinada")), 0);
        b.tic();
        b.tic();   // second recording: its first row brings the combined row of the first
        QCOMPARE(b.filas(QStringLiteral("Instrumento1")), 2);
        QCOMPARE(b.filas(QStringLiteral("Combinada")), 1);
        const auto i1 = b.contenido(QStringLiteral("Instrumento1"), QStringLiteral("Fecha, Hora"));
        const auto i2 = b.contenido(QStringLiteral("Instrumento2"), QStringLiteral("Fecha, Hora"));
        QCOMPARE(i1[0], i2[0]);   // one recording, one date and time
        const auto comb = b.contenido(QStringLiteral("Combinada"),
                                      QStringLiteral("Fecha, Hora, \"V_medido(Ins1)\", \"SP(Ins2)\", \"V_medido(Ins3)\""));
        QCOMPARE(comb[0][0], i1[0][0]);
        QCOMPARE(comb[0][1], i1[0][1]);
        QCOMPARE(comb[0][2], QStringLiteral("20.0"));
        QCOMPARE(comb[0][3], QStringLiteral("50.0"));
    }

    void instrumentoMudoSeEnganchaYSeSalta()
    {
        Banco b(2);
        b.modelo.ArrayConfig[2].Barrido = 1;
        b.simulador.setFalla(2, sim::Falla::Silencio);
        QVERIFY(b.comenzar());
        b.pasadas(2);
        QVERIFY(b.modelo.Estados[2].AlarmaCom);
        const auto filas = b.contenido(QStringLiteral("Instrumento2"), QStringLiteral("Valor_medido, Potencia"));
        QCOMPARE(filas.size(), 1);
        QCOMPARE(filas[0][0], QStringLiteral("Err"));
        QCOMPARE(filas[0][1], QStringLiteral("Err"));
        // Latched: no more requests to it, no more rows, until the alarm is reset.
        b.simulador.limpiarPeticiones();
        b.tic();
        b.tic();
        for (const QByteArray& p : b.simulador.peticiones())
            QVERIFY(quint8(p[0]) != 2);
        QCOMPARE(b.filas(QStringLiteral("Instrumento2")), 1);
        b.simulador.setFalla(2, sim::Falla::Ninguna);
        b.modelo.Estados[2].AlarmaCom = false;
        b.tic();
        b.tic();
        QVERIFY(b.filas(QStringLiteral("Instrumento2")) > 1);
        QVERIFY(!b.modelo.Estados[2].AlarmaCom);
    }

    void instrumentoDeshabilitadoNiSeLeeNiSeRegistra()
    {
        Banco b(2);
        b.modelo.Estados[2].Habilitado = false;
        QVERIFY(b.comenzar());
        b.pasadas(3);
        for (const QByteArray& p : b.simulador.peticiones())
            QVERIFY(quint8(p[0]) != 2);
        QCOMPARE(b.filas(QStringLiteral("Instrumento2")), 0);
        QCOMPARE(b.filas(QStringLiteral("Instrumento1")), 1);
    }

    void comenzarTerminarComenzar()
    {
        Banco b(1);
        QVERIFY(b.comenzar());
        b.pasadas(2);
        b.adq->TerminarExecute();
        QVERIFY(!b.adq->adquiriendo());
        QVERIFY(!b.adq->EstadoPuerto.Abierto);
        QVERIFY(b.adq->esperarHilo(10000));
        b.simulador.limpiarPeticiones();
        QTest::qWait(200);
        QVERIFY(b.simulador.peticiones().isEmpty());   // nothing on a closed line
        QVERIFY(b.comenzar());
        b.pasadas(2);
        QVERIFY(!b.simulador.peticiones().isEmpty());
        QCOMPARE(b.filas(QStringLiteral("Instrumento1")), 2);
    }

    void paradaEnMitadDeUnaPasadaNoEngancha()
    {
        Banco b(1);
        b.modelo.Config.TiempoScan = 1;
        QVERIFY(b.comenzar());
        b.pasadas(1);
        // Stop, and let whatever turn was queued run after the port closed.
        b.adq->TerminarExecute();
        QVERIFY(b.adq->esperarHilo(10000));
        QVERIFY(!b.modelo.Estados[1].AlarmaCom);
    }

    void puertoInexistente()
    {
        Banco b(1);
        DialogosGuion guion;
        b.modelo.Config.Puerto = QStringLiteral("/dev/no-existe-ombrix");
        QSignalSpy estados(b.adq.get(), &Adquisicion::estado);
        QVERIFY(!b.comenzar());
        QVERIFY(!b.adq->adquiriendo());
        QVERIFY(!b.adq->EstadoPuerto.Abierto);
        QCOMPARE(guion.mostrados.size(), 2);
        QCOMPARE(guion.mostrados[0].texto, QStringLiteral("El puerto /dev/no-existe-ombrix no existe"));
        QCOMPARE(guion.mostrados[1].titulo, QStringLiteral("ATENCION: PREGUNTA!!!"));
        QCOMPARE(guion.mostrados[1].texto,
                 QStringLiteral("No se pudo abrir el puerto de comunicaciones: /dev/no-existe-ombrix. Verifique que el puerto sea el correcto, o que no este siendo usado por otro programa"));
        QCOMPARE(estados.last().first().toString(), QStringLiteral("Sistema fuera de linea"));
        // A second start with a good port polls normally.
        b.modelo.Config.Puerto = b.enlaceLinea;
        QVERIFY(b.comenzar());
        b.pasadas(2);
        QCOMPARE(b.filas(QStringLiteral("Instrumento1")), 1);
    }

    void filaFallidaNoDetieneElSondeo()
    {
        Banco b(1);
        b.modelo.ArrayConfig[1].Barrido = 1;
        DialogosGuion guion;
        QSignalSpy fallos(b.adq.get(), &Adquisicion::falloRegistro);
        QSignalSpy recuperado(b.adq.get(), &Adquisicion::registroRecuperado);
        {
            QSqlQuery q(b.base.db());
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE Instrumento1 RENAME TO Apartada")));
        }
        b.registrador->olvidarSentencias();
        QVERIFY(b.comenzar());
        b.pasadas(2);
        b.tic();
        b.tic();
        QCOMPARE(fallos.size(), 1);   // said once, polling goes on
        QVERIFY(b.adq->adquiriendo());
        {
            QSqlQuery q(b.base.db());
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE Apartada RENAME TO Instrumento1")));
        }
        b.registrador->olvidarSentencias();
        b.tic();
        b.tic();
        QCOMPARE(recuperado.size(), 1);
        QVERIFY(b.filas(QStringLiteral("Instrumento1")) >= 1);
    }

    void erroresDeRegistroSeAvisanUnaVezPorEpisodio()
    {
        Banco b(2);
        b.modelo.ArrayConfig[1].Barrido = 1;
        b.modelo.ArrayConfig[2].Barrido = 1;
        DialogosGuion guion;
        QSignalSpy fallos(b.adq.get(), &Adquisicion::falloRegistro);
        QSignalSpy recuperado(b.adq.get(), &Adquisicion::registroRecuperado);
        {
            QSqlQuery q(b.base.db());
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE Instrumento1 RENAME TO Apartada")));
        }
        b.registrador->olvidarSentencias();
        QSignalSpy estados(b.adq.get(), &Adquisicion::estado);
        QVERIFY(b.comenzar());
        b.pasadas(2);
        for (int i = 0; i < 3; ++i)
            b.tic();
        // Instrument 2 keeps storing, instrument 1 keeps failing: one notice,
        // and the status bar keeps saying rows are not stored.
        QCOMPARE(fallos.size(), 1);
        QCOMPARE(recuperado.size(), 0);
        QVERIFY(b.filas(QStringLiteral("Instrumento2")) >= 3);
        QCOMPARE(estados.last().first().toString(), Adquisicion::kErrorGuardar);
        for (const auto& e : estados.mid(estados.indexOf(QVariantList{Adquisicion::kErrorGuardar})))
            QVERIFY2(!e.first().toString().startsWith(QStringLiteral("Consultando")), qPrintable(e.first().toString()));
        {
            QSqlQuery q(b.base.db());
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE Apartada RENAME TO Instrumento1")));
        }
        b.registrador->olvidarSentencias();
        estados.clear();
        b.tic();
        QCOMPARE(recuperado.size(), 1);
        QCOMPARE(fallos.size(), 1);
        // Once stored again the status bar follows the polling again.
        const int recuperacion = estados.indexOf(QVariantList{QStringLiteral("Actualizando Tabla: 1")});
        QVERIFY(recuperacion >= 0);
        for (const auto& e : estados.mid(recuperacion))
            QVERIFY(e.first().toString() != Adquisicion::kErrorGuardar);
    }

    void comandoEncoladoCorreEntreLecturas()
    {
        Banco b(2);
        QVERIFY(b.comenzar());
        b.pasadas(1);
        QObject receptor;
        bool hecho = false;
        bool ok = false;
        QVERIFY(b.adq->encolar(&receptor, [&ok, &hecho](EnlaceModbus& e, int h) {
            TModbusResult r;
            e.WriteSingleRegister(h, 1, sim::reg::SP1, 321, true, r);
            ok = r.Ok;
            return std::function<void()>([&hecho] { hecho = true; });
        }));
        QTRY_VERIFY_WITH_TIMEOUT(hecho, 5000);
        QVERIFY(ok);
        QCOMPARE(b.simulador.registro(1, sim::reg::SP1), qint16(321));
        // Work for a receiver that is gone runs, and its answer is dropped.
        bool tarde = false;
        {
            QObject efimero;
            QVERIFY(b.adq->encolar(&efimero, [&](EnlaceModbus&, int) { return std::function<void()>([&] { tarde = true; }); }));
        }
        b.pasadas(1);
        QVERIFY(!tarde);
        // Nothing is queued while acquisition is off.
        b.adq->TerminarExecute();
        QVERIFY(!b.adq->encolar(&receptor, [](EnlaceModbus&, int) { return std::function<void()>{}; }));
    }

    void puertoPerdidoYRecuperadoSinCulparALosInstrumentos()
    {
        Banco b(2);
        b.modelo.ArrayConfig[1].Barrido = 1;
        QSignalSpy perdido(b.adq.get(), &Adquisicion::puertoPerdido);
        QSignalSpy recuperado(b.adq.get(), &Adquisicion::puertoRecuperado);
        QVERIFY(b.comenzar());
        b.pasadas(2);
        b.desenchufar();
        QTRY_COMPARE_WITH_TIMEOUT(perdido.size(), 1, 5000);
        QVERIFY(b.adq->adquiriendo());
        QVERIFY(!b.adq->EstadoPuerto.Abierto);
        QTest::qWait(700);   // several attempts to reopen, none of them spinning
        QVERIFY(!b.modelo.Estados[1].AlarmaCom);
        QVERIFY(!b.modelo.Estados[2].AlarmaCom);
        const int filasAntes = b.filas(QStringLiteral("Instrumento1"));
        b.enchufar();
        QTRY_COMPARE_WITH_TIMEOUT(recuperado.size(), 1, 5000);
        QVERIFY(b.adq->EstadoPuerto.Abierto);
        b.tic();
        b.tic();
        QVERIFY(b.filas(QStringLiteral("Instrumento1")) > filasAntes);
        QVERIFY(!b.modelo.Estados[1].AlarmaCom);
        QCOMPARE(perdido.size(), 1);
    }

    void sondeoRestableceLaAlarmaCuandoResponde()
    {
        Banco b(1);
        b.adq->reintentoAlarmaS = 1;
        b.modelo.Config.Pedir_Partida = false;
        b.simulador.setFalla(1, sim::Falla::Silencio);
        QSignalSpy enganchada(b.adq.get(), &Adquisicion::alarmaComEnganchada);
        QSignalSpy restablecida(b.adq.get(), &Adquisicion::alarmaComRestablecida);
        QVERIFY(b.comenzar());
        QTRY_COMPARE_WITH_TIMEOUT(enganchada.size(), 1, 10000);
        b.modelo.ArrayConfig[1].SalvarTabla = false;
        // While it stays silent only single probes go out, about one a second.
        b.simulador.limpiarPeticiones();
        QTest::qWait(1500);
        QVERIFY(b.simulador.peticiones().size() <= 2);
        QVERIFY(b.modelo.Estados[1].AlarmaCom);
        b.simulador.setFalla(1, sim::Falla::Ninguna);
        QTRY_COMPARE_WITH_TIMEOUT(restablecida.size(), 1, 5000);
        QVERIFY(!b.modelo.Estados[1].AlarmaCom);
        QVERIFY(b.modelo.ArrayConfig[1].SalvarTabla);   // as the reset button does
        b.pasadas(2);
        QVERIFY(!b.modelo.Estados[1].AlarmaCom);
    }

    void sinReintentoLaAlarmaEsperaAlOperador()
    {
        Banco b(1);
        b.adq->reintentoAlarmaS = 0;
        b.simulador.setFalla(1, sim::Falla::Silencio);
        QVERIFY(b.comenzar());
        QTRY_VERIFY_WITH_TIMEOUT(b.modelo.Estados[1].AlarmaCom, 10000);
        b.simulador.setFalla(1, sim::Falla::Ninguna);
        b.simulador.limpiarPeticiones();
        QTest::qWait(1200);
        QVERIFY(b.simulador.peticiones().isEmpty());
        QVERIFY(b.modelo.Estados[1].AlarmaCom);
    }

    void nadaQueSondearNoGira()
    {
        Banco b(2);
        b.modelo.Estados[1].Habilitado = false;
        b.modelo.Estados[2].Habilitado = false;
        QVERIFY(b.comenzar());
        QTest::qWait(1000);
        // One 100 ms step per empty pass at least, whatever TiempoScan says.
        QVERIFY2(b.adq->pasadas() <= 11, qPrintable(QString::number(b.adq->pasadas())));
        QVERIFY(b.adq->pasadas() >= 3);
    }

    void paradaNoEsperaAUnInstrumentoMudo()
    {
        Banco b(1);
        b.enlace.setTimeOuts(500);   // a silent read costs about a second
        b.simulador.setFalla(1, sim::Falla::Silencio);
        QVERIFY(b.comenzar());
        QTest::qWait(300);
        QElapsedTimer t;
        t.start();
        b.adq->TerminarExecute();
        QVERIFY(t.elapsed() < 50);   // the window thread never waits for the line
        QVERIFY(b.adq->esperarHilo(3000));   // one transaction's time-out at most
        QVERIFY(!b.modelo.Estados[1].AlarmaCom);
        QCOMPARE(b.adq->pasadas(), 0);   // the pass cut short is not a pass
    }

    void tiempoScanLargoSeRespeta()
    {
        Banco b(1);
        b.modelo.Config.TiempoScan = 7000;   // more than 16 bits of tenths
        QVERIFY(b.comenzar());
        b.pasadas(1);
        QTest::qWait(600);
        QCOMPARE(b.adq->pasadas(), 1);   // still waiting, not wrapped to a short wait
        // A recording that falls due cuts the wait short.
        b.modelo.Estados[1].RegistroPendiente = true;
        b.adq->Timer1Timer();
        b.pasadas(1);
    }
};

QTEST_MAIN(TestAdquisicion)
#include "test_adquisicion.moc"
