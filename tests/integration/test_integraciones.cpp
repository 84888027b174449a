// The stream that feeds everything leaving the program: the readings of a
// real line (the simulator on a pseudo-terminal) reach every listener as one
// plain value, the same the tables store.
#include "banco_linea.h"
#include "integration/integraciones.h"

#include <QTest>

#include <thread>

using namespace ombrix;
using namespace ombrix::test;

namespace {

struct Anotador : Oyente {
    QList<LecturaPlanta> lecturas;
    QList<QPair<int, bool>> cambios;
    QList<bool> lineas;
    int detenciones = 0;
    void lectura(const LecturaPlanta& l) override { lecturas << l; }
    void disponibilidad(int n, bool d) override { cambios << qMakePair(n, d); }
    void enLinea(bool a) override { lineas << a; }
    void detener() override { ++detenciones; }
};

} // namespace

class TestIntegraciones : public QObject {
    Q_OBJECT
private slots:
    void numerosSoloDondeHayNumeros()
    {
        QCOMPARE(numeroDeTexto(QStringLiteral("-20.5")).value(), -20.5);
        QCOMPARE(numeroDeTexto(QStringLiteral(" 7 ")).value(), 7.0);
        for (const char* t : {"Err", "N.I.", " oF ", " uF ", "", "-", ".", "1e5", "1.2.3", "nan", "inf", "0x10"})
            QVERIFY2(!numeroDeTexto(QString::fromLatin1(t)), t);
    }

    void cadaLecturaLlegaComoSeGuarda()
    {
        Banco b(2);
        b.modelo.Estados[1].Partida = QStringLiteral("L-9");
        b.modelo.Estados[1].Titulo = QStringLiteral("Horno 1");
        b.modelo.Estados[1].Unidad = QStringLiteral("ºC");
        Integraciones integ(b.modelo, Origen::Registrador);
        auto propio = std::make_unique<Anotador>();
        Anotador* a = propio.get();
        integ.agregar(std::move(propio));
        integ.conectar(*b.adq);
        QCOMPARE(integ.buscar<Anotador>(), a);

        QVERIFY(b.comenzar());
        b.pasadas(2);
        QCOMPARE(a->lineas, QList<bool>{true});
        QVERIFY(a->lecturas.size() >= 2);
        // The first reading of each instrument is the stored row: same stamp, same texts.
        const auto filas = b.contenido(QStringLiteral("Instrumento1"),
                                       QStringLiteral("Fecha, Hora, Valor_medido, Set_point, Potencia, Partida"));
        QVERIFY(!filas.isEmpty());
        const LecturaPlanta& l = a->lecturas.first();
        QCOMPARE(l.instrumento, 1);
        QCOMPARE(l.titulo, QStringLiteral("Horno 1"));
        QCOMPARE(l.unidad, QStringLiteral("ºC"));
        QCOMPARE(l.fecha, filas[0][0]);
        QCOMPARE(l.hora, filas[0][1]);
        QCOMPARE(l.textos[kValorMedido], filas[0][2]);
        QCOMPARE(l.textos[kSetPoint], filas[0][3]);
        QCOMPARE(l.partida, filas[0][5]);
        QCOMPARE(l.numeros[kValorMedido].value(), filas[0][2].toDouble());
        // The instant is the stored local time, in UTC.
        const QDateTime local(QDate::fromString(l.fecha, QStringLiteral("dd/MM/yyyy")),
                              QTime::fromString(l.hora, QStringLiteral("hh:mm:ss")));
        QCOMPARE(l.instanteUtc, local.toUTC());
        QVERIFY(l.instanteIso().endsWith(QLatin1Char('Z')));
        QVERIFY(!l.programador);
        QVERIFY(a->lecturas.at(1).instrumento == 2);

        // A silent instrument is reported unavailable once, then available after a probe answers.
        b.adq->reintentoAlarmaS = 1;
        b.simulador.setFalla(2, sim::Falla::Silencio);
        QTRY_VERIFY_WITH_TIMEOUT(a->cambios.contains(qMakePair(2, false)), 20000);
        b.simulador.setFalla(2, sim::Falla::Ninguna);
        QTRY_VERIFY_WITH_TIMEOUT(a->cambios.contains(qMakePair(2, true)), 20000);
        QCOMPARE(a->cambios.count(qMakePair(2, false)), 1);

        // Stopped once; nothing reaches a stopped listener.
        integ.detener();
        const int vistas = a->lecturas.size();
        b.pasadas(1);
        QCOMPARE(a->lecturas.size(), vistas);
        integ.detener();
        QCOMPARE(a->detenciones, 1);
    }

    void avisoDesdeOtroHilo()
    {
        Modelo modelo;
        Integraciones integ(modelo, Origen::Ventana);
        QSignalSpy avisos(&integ, &Integraciones::aviso);
        std::thread t([&] { integ.avisar(QStringLiteral("Broker perdido")); });
        t.join();
        QTRY_COMPARE(avisos.size(), 1);
        QCOMPARE(avisos.first().first().toString(), QStringLiteral("Broker perdido"));
    }
};

QTEST_GUILESS_MAIN(TestIntegraciones)
#include "test_integraciones.moc"
