// The acquisition cycle with its line behind a device server: the simulator
// serving over TCP on the loopback, the polling thread, the recording into a
// real database. A connection dropped over and over never blames an
// instrument, and every instrument is recorded again after each drop.

#include "banco_linea.h"
#include "dialogos_guion.h"

using namespace ombrix;
using namespace ombrix::test;

class TstTcpAdquisicion : public QObject {
    Q_OBJECT
private slots:
    void conexionCortadaVeinteVeces()
    {
        constexpr int kInstrumentos = 3;
        constexpr int kCortes = 20;
        DialogosGuion dialogos;
        Banco b(kInstrumentos);
        // The same instruments, now behind a device server; COM1 is mapped
        // to it, as the settings' [Puertos] section does.
        b.simulador.cerrarLinea();
        quint16 puerto = 0;
        QString error;
        QVERIFY2(b.simulador.abrirTcp(0, &puerto, &error), qPrintable(error));
        b.simulador.iniciar();
        const QString direccion = QStringLiteral("tcp://127.0.0.1:%1").arg(puerto);
        b.modelo.Config.Puerto = QStringLiteral("COM1");
        b.enlace.setDispositivoConfigurado([&](const QString& com) {
            return com == QLatin1String("COM1") ? direccion : QString();
        });
        for (int n = 1; n <= kInstrumentos; ++n)
            b.modelo.ArrayConfig[n].Barrido = 1;
        b.adq->reintentoPuertoMs = 100;
        QSignalSpy perdido(b.adq.get(), &Adquisicion::puertoPerdido);
        QSignalSpy recuperado(b.adq.get(), &Adquisicion::puertoRecuperado);
        QSignalSpy enganchada(b.adq.get(), &Adquisicion::alarmaComEnganchada);
        QVERIFY(b.comenzar());

        // Ticks until every instrument has a row more than in `antes`.
        QList<int> antes(kInstrumentos, 0);
        auto registrarTodos = [&] {
            for (int intento = 0; intento < 100; ++intento) {
                bool todos = true;
                for (int n = 1; n <= kInstrumentos; ++n)
                    todos = todos && b.filas(QStringLiteral("Instrumento%1").arg(n)) > antes[n - 1];
                if (todos)
                    return true;
                b.adq->Timer1Timer();
                const int objetivo = b.adq->pasadas() + 1;
                QTest::qWaitFor([&] { return b.adq->pasadas() >= objetivo; }, 2000);
            }
            return false;
        };
        auto contar = [&] {
            for (int n = 1; n <= kInstrumentos; ++n)
                antes[n - 1] = b.filas(QStringLiteral("Instrumento%1").arg(n));
        };
        QVERIFY(registrarTodos());

        for (int corte = 1; corte <= kCortes; ++corte) {
            contar();
            b.simulador.cortarConexion();
            QTRY_COMPARE_WITH_TIMEOUT(perdido.size(), corte, 5000);
            QTRY_COMPARE_WITH_TIMEOUT(recuperado.size(), corte, 5000);
            QVERIFY2(registrarTodos(), qPrintable(QStringLiteral("corte %1").arg(corte)));
        }
        QCOMPARE(enganchada.size(), 0);
        for (int n = 1; n <= kInstrumentos; ++n)
            QVERIFY(!b.modelo.Estados[n].AlarmaCom);
        // The status names the device server.
        QCOMPARE(perdido.first().first().toString(),
                 QStringLiteral("Servidor serie %1 no disponible; reintentando").arg(direccion));

        // A server gone for good: polling waits without spinning and comes
        // back by itself once it listens again.
        b.simulador.cerrarLinea();
        QTRY_COMPARE_WITH_TIMEOUT(perdido.size(), kCortes + 1, 5000);
        QTest::qWait(500);
        QCOMPARE(recuperado.size(), kCortes);
        QVERIFY(b.adq->adquiriendo());
        QVERIFY(b.simulador.abrirTcp(puerto, nullptr, &error));
        b.simulador.iniciar();
        QTRY_COMPARE_WITH_TIMEOUT(recuperado.size(), kCortes + 1, 5000);
        contar();
        QVERIFY(registrarTodos());
        QCOMPARE(enganchada.size(), 0);
    }
};

QTEST_GUILESS_MAIN(TstTcpAdquisicion)
#include "tst_tcp_adquisicion.moc"
