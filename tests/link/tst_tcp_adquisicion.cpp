// The acquisition cycle with its line behind a device server: the simulator
// serving over TCP on the loopback, the polling thread, the recording into a
// real database. A connection dropped over and over never blames an
// instrument, and every instrument is recorded again after each drop.

#include "acquisition/adquisicion.h"
#include "acquisition/base_datos.h"
#include "acquisition/registro.h"
#include "dialogos_guion.h"
#include "raiz_temporal.h"
#include "sim/simulador.h"

#include <QFile>
#include <QSignalSpy>
#include <QSqlQuery>
#include <QTest>

using namespace ombrix;
using namespace ombrix::test;

class TstTcpAdquisicion : public QObject {
    Q_OBJECT
private slots:
    void conexionCortadaVeinteVeces()
    {
        constexpr int kInstrumentos = 3;
        constexpr int kCortes = 20;
        RaizTemporal raiz;
        DialogosGuion dialogos;
        sim::Simulador simulador;
        for (int n = 1; n <= kInstrumentos; ++n)
            simulador.agregarInstrumento(quint8(n), n % 2 == 0);
        simulador.setRitmo(false);
        simulador.setDinamica(false);
        quint16 puerto = 0;
        QString error;
        QVERIFY2(simulador.abrirTcp(0, &puerto, &error), qPrintable(error));
        simulador.iniciar();
        const QString direccion = QStringLiteral("tcp://127.0.0.1:%1").arg(puerto);

        const QString ruta = raiz.datos() + QStringLiteral("/Prueba.mdb");
        QVERIFY(QFile::copy(RaizTemporal::modeloConstruido(), ruta));
        BaseDatos base;
        QVERIFY2(base.abrir(ruta, &error), qPrintable(error));
        Modelo modelo;
        modelo.CantidadAparatos = quint8(kInstrumentos + 1);
        modelo.ActualizarMemoria();
        for (int n = 1; n <= kInstrumentos; ++n) {
            modelo.granini(n, QString());
            modelo.ArrayConfig[n].Habilitado = true;
            modelo.ArrayConfig[n].SalvarTabla = true;
            modelo.ArrayConfig[n].Barrido = 1;
            auto& st = modelo.Estados[n];
            st.Vivo = true;
            st.Habilitado = true;
            st.Direccion = quint8(n);
        }
        // COM1 is the device server, as the settings' [Puertos] section maps it.
        modelo.Config.Puerto = QStringLiteral("COM1");
        modelo.Config.TiempoScan = 0;
        EnlaceModbus enlace;
        enlace.setRetries(0);
        enlace.setTimeOuts(60);
        enlace.setDispositivoConfigurado([&](const QString& com) {
            return com == QLatin1String("COM1") ? direccion : QString();
        });

        Registrador registrador(base, modelo);
        {
            Adquisicion adq(modelo, enlace);
            adq.pausaLecturaMs = 0;
            adq.reintentoPuertoMs = 100;
            adq.registrar = [&](int n, const std::array<QString, 7>& l, const QString& f, const QString& h, QString* e) {
                return registrador.ActualizarTabla(n, l, modelo.Estados[n].Partida, f, h, e);
            };
            QSignalSpy perdido(&adq, &Adquisicion::puertoPerdido);
            QSignalSpy recuperado(&adq, &Adquisicion::puertoRecuperado);
            QSignalSpy enganchada(&adq, &Adquisicion::alarmaComEnganchada);
            QSignalSpy enLinea(&adq, &Adquisicion::enLinea);
            adq.Timer1Timer();
            adq.ComenzarExecute();
            QVERIFY(enLinea.wait(5000));
            QVERIFY(enLinea.last().first().toBool());

            auto filas = [&](int n) {
                QSqlQuery q(base.db());
                q.exec(QStringLiteral("SELECT count(*) FROM \"Instrumento%1\"").arg(n));
                return q.next() ? q.value(0).toInt() : -1;
            };
            // Ticks until every instrument has a row more than in `antes`.
            auto registrarTodos = [&](const QList<int>& antes) {
                for (int intento = 0; intento < 100; ++intento) {
                    bool todos = true;
                    for (int n = 1; n <= kInstrumentos; ++n)
                        todos = todos && filas(n) > antes[n - 1];
                    if (todos)
                        return true;
                    adq.Timer1Timer();
                    const int objetivo = adq.pasadas() + 1;
                    QTest::qWaitFor([&] { return adq.pasadas() >= objetivo; }, 2000);
                }
                return false;
            };
            QList<int> antes(kInstrumentos, 0);
            QVERIFY(registrarTodos(antes));

            for (int corte = 1; corte <= kCortes; ++corte) {
                for (int n = 1; n <= kInstrumentos; ++n)
                    antes[n - 1] = filas(n);
                simulador.cortarConexion();
                QTRY_COMPARE_WITH_TIMEOUT(perdido.size(), corte, 5000);
                QTRY_COMPARE_WITH_TIMEOUT(recuperado.size(), corte, 5000);
                QVERIFY2(registrarTodos(antes), qPrintable(QStringLiteral("corte %1").arg(corte)));
            }
            QCOMPARE(enganchada.size(), 0);
            for (int n = 1; n <= kInstrumentos; ++n)
                QVERIFY(!modelo.Estados[n].AlarmaCom);
            // The status names the device server.
            QCOMPARE(perdido.first().first().toString(),
                     QStringLiteral("Servidor serie %1 no disponible; reintentando").arg(direccion));

            // A server gone for good: polling waits without spinning and
            // comes back by itself once it listens again.
            simulador.cerrarLinea();
            QTRY_COMPARE_WITH_TIMEOUT(perdido.size(), kCortes + 1, 5000);
            QTest::qWait(500);
            QCOMPARE(recuperado.size(), kCortes);
            QVERIFY(adq.adquiriendo());
            QVERIFY(simulador.abrirTcp(puerto, nullptr, &error));
            simulador.iniciar();
            QTRY_COMPARE_WITH_TIMEOUT(recuperado.size(), kCortes + 1, 5000);
            for (int n = 1; n <= kInstrumentos; ++n)
                antes[n - 1] = filas(n);
            QVERIFY(registrarTodos(antes));
            QCOMPARE(enganchada.size(), 0);

            adq.TerminarExecute();
            QVERIFY(adq.esperarHilo(10000));
        }
        registrador.olvidarSentencias();
    }
};

QTEST_GUILESS_MAIN(TstTcpAdquisicion)
#include "tst_tcp_adquisicion.moc"
