// The headless recorder as it is run: the real ombrix-logger and ombrix-sim
// programs, a settings file and a database in a throw-away data root, the
// serial line on a pseudo-terminal reached through a link named in the
// settings.

#include "raiz_temporal.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <signal.h>

using ombrix::test::RaizTemporal;

namespace {

struct Instrumento {
    int id = 1;
    bool programador = false;
    bool habilitado = true;
    bool salvar = true;
    int barrido = 1;
};

// Reads a process's output as it comes, keeping all of it.
struct Salida {
    Salida(QProcess& proceso, QProcess::ProcessChannel c) : p(proceso), canal(c) {}
    QProcess& p;
    QProcess::ProcessChannel canal;
    QByteArray todo;

    void recoger()
    {
        p.setReadChannel(canal);
        todo += p.readAll();
    }
    // Takes in whatever is still on its way.
    void drenar()
    {
        recoger();
        while (p.waitForReadyRead(300))
            recoger();
    }
    // Waits until the output holds `texto`; false after plazoMs.
    bool esperar(const QByteArray& texto, int plazoMs)
    {
        QElapsedTimer reloj;
        reloj.start();
        for (;;) {
            recoger();
            if (todo.contains(texto))
                return true;
            if (reloj.elapsed() >= plazoMs || p.state() == QProcess::NotRunning)
                return false;
            p.waitForReadyRead(50);
        }
    }
};

class Escenario {
public:
    Escenario()
        : enlace(raiz.ruta(QStringLiteral("ttyOMBRIX"))), base(raiz.datos() + QStringLiteral("/Prueba.mdb"))
    {
        QFile::copy(RaizTemporal::modeloConstruido(), base);
    }

    ~Escenario()
    {
        for (QProcess* p : {&logger, &logger2, &sim}) {
            if (p->state() != QProcess::NotRunning) {
                ::kill(pid_t(p->processId()), SIGTERM);
                if (!p->waitForFinished(5000))
                    p->kill();
                p->waitForFinished(2000);
            }
        }
        QSqlDatabase::removeDatabase(QStringLiteral("lectura-prueba"));
    }

    // The settings file: COM1 is the link, polling without a wait.
    void escribirAjustes(const QList<Instrumento>& instrumentos, const QString& rutaPuerto = QString())
    {
        QByteArray t;
        t += "[Puertos]\r\nPuerto=COM1\r\nCOM1=" + (rutaPuerto.isEmpty() ? enlace : rutaPuerto).toUtf8()
            + "\r\nBaudRate=19200\r\n";
        t += "[General]\r\ncantidad de aparatos=" + QByteArray::number(instrumentos.size() + 1)
            + "\r\nTiempoScan=0\r\nSincronismo=0\r\n";
        for (int i = 0; i < instrumentos.size(); ++i) {
            const Instrumento& ins = instrumentos[i];
            t += "[Instrumento" + QByteArray::number(i + 1) + "]\r\n";
            t += "Tipo de instrumento=" + QByteArray(ins.programador ? "1" : "0") + "\r\n";
            t += "Habilitado=" + QByteArray(ins.habilitado ? "1" : "0") + "\r\n";
            t += "SalvarTabla=" + QByteArray(ins.salvar ? "1" : "0") + "\r\n";
            t += "Barrido=" + QByteArray::number(ins.barrido) + "\r\n";
            t += "ID=" + QByteArray::number(ins.id) + "\r\n";
        }
        QFile f(raiz.datos() + QStringLiteral("/Ombrix.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(t);
    }

    // Starts the simulator on the link. With `ordenes` it listens on stdin
    // and logs every request it serves; otherwise it runs as a daemon.
    void iniciarSimulador(const QStringList& instrumentos, bool ordenes = false)
    {
        QStringList args{QStringLiteral("--link"), enlace, QStringLiteral("--no-pace")};
        for (const QString& i : instrumentos)
            args << QStringLiteral("--inst") << i;
        if (!ordenes)
            args << QStringLiteral("--daemon");
        sim.start(RaizTemporal::programa(QStringLiteral("ombrix-sim")), args);
        QVERIFY(sim.waitForStarted(5000));
        QVERIFY2(salidaSim.esperar("PTY ", 5000), salidaSim.todo.constData());
        QVERIFY(QFileInfo::exists(enlace));
        if (ordenes) {
            sim.write("log on\n");
            QVERIFY(salidaSim.esperar("OK", 5000));
        }
    }

    static void arrancar(QProcess& p, const QStringList& args)
    {
        p.start(RaizTemporal::programa(QStringLiteral("ombrix-logger")), args);
        QVERIFY(p.waitForStarted(5000));
    }

    // Waits for the end of a process and collects all its output.
    static bool terminar(QProcess& p, Salida& out, Salida& err, int plazoMs = 20000)
    {
        const bool fin = p.waitForFinished(plazoMs);
        out.recoger();
        err.recoger();
        return fin;
    }

    QSqlDatabase abrirBase()
    {
        QSqlDatabase db = QSqlDatabase::contains(QStringLiteral("lectura-prueba"))
            ? QSqlDatabase::database(QStringLiteral("lectura-prueba"))
            : QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("lectura-prueba"));
        db.setDatabaseName(base);
        db.open();
        return db;
    }

    int filas(const QString& tabla)
    {
        QSqlQuery q(abrirBase());
        if (!q.exec(QStringLiteral("SELECT count(*) FROM \"%1\"").arg(tabla)) || !q.next())
            return -1;
        return q.value(0).toInt();
    }

    QList<QStringList> contenido(const QString& tabla, const QString& columnas)
    {
        QList<QStringList> r;
        QSqlQuery q(abrirBase());
        q.exec(QStringLiteral("SELECT %1 FROM \"%2\" ORDER BY Id").arg(columnas, tabla));
        while (q.next()) {
            QStringList fila;
            for (int i = 0; i < q.record().count(); ++i)
                fila << q.value(i).toString();
            r << fila;
        }
        return r;
    }

    void cerrarBase()
    {
        if (QSqlDatabase::contains(QStringLiteral("lectura-prueba")))
            QSqlDatabase::database(QStringLiteral("lectura-prueba"), false).close();
    }

    RaizTemporal raiz;
    const QString enlace;
    const QString base;
    QProcess sim, logger, logger2;
    Salida salidaSim{sim, QProcess::StandardOutput};
    Salida out{logger, QProcess::StandardOutput};
    Salida err{logger, QProcess::StandardError};
    Salida out2{logger2, QProcess::StandardOutput};
    Salida err2{logger2, QProcess::StandardError};
};

// "stopped: N rows recorded, ..." -> N, or -1.
int filasDeclaradas(const QByteArray& salida)
{
    const auto m = QRegularExpression(QStringLiteral("stopped: (\\d+) rows recorded")).match(QString::fromUtf8(salida));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

bool pareceLectura(const QString& t, bool conDecimales)
{
    if (t == QLatin1String(" oF ") || t == QLatin1String(" uF "))
        return conDecimales;
    const QString patron = conDecimales ? QStringLiteral("^-?\\d+(\\.\\d+)?$") : QStringLiteral("^-?\\d+$");
    return QRegularExpression(patron).match(t).hasMatch();
}

} // namespace

class TestLogger : public QObject {
    Q_OBJECT

private slots:
    void corridaConDuracionRegistraCadaBarrido()
    {
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}, {2, true, true, true, 2}, {3, false, true, true, 60}});
        e.iniciarSimulador({QStringLiteral("1:c"), QStringLiteral("2:p"), QStringLiteral("3:c")});
        const QDateTime inicio = QDateTime::currentDateTime();
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base, QStringLiteral("--duration"), QStringLiteral("4"),
                                       QStringLiteral("--partida"), QStringLiteral("L-42")});
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err));
        QVERIFY2(e.logger.exitStatus() == QProcess::NormalExit && e.logger.exitCode() == 0, e.err.todo.constData());
        QVERIFY2(e.out.todo.contains("recording into"), e.out.todo.constData());

        // Recorded at the first reading, then every Barrido seconds.
        const int filas1 = e.filas(QStringLiteral("Instrumento1"));
        const int filas2 = e.filas(QStringLiteral("Instrumento2"));
        QVERIFY2(filas1 >= 4 && filas1 <= 6, qPrintable(QString::number(filas1)));
        QVERIFY2(filas2 >= 2 && filas2 <= 4, qPrintable(QString::number(filas2)));
        // A long period: only the reading at the start is recorded.
        QCOMPARE(e.filas(QStringLiteral("Instrumento3")), 1);
        QCOMPARE(e.filas(QStringLiteral("Combinada")), 0);
        // Every stored row is counted, none twice.
        QCOMPARE(filasDeclaradas(e.out.todo), filas1 + filas2 + 1);

        for (const QString& tabla : {QStringLiteral("Instrumento1"), QStringLiteral("Instrumento2"), QStringLiteral("Instrumento3")}) {
            const auto filas = e.contenido(tabla, QStringLiteral("Fecha, Hora, Valor_medido, Set_point, Potencia, "
                                                                 "Alarma_1, Alarma_2, Alarma_3, Alarma_4, Partida"));
            QVERIFY(!filas.isEmpty());
            for (const QStringList& f : filas) {
                const QString texto = f.join(QLatin1Char('|'));
                QVERIFY2(QDate::fromString(f[0], QStringLiteral("dd/MM/yyyy")).isValid(), qPrintable(texto));
                QVERIFY2(QTime::fromString(f[1], QStringLiteral("hh:mm:ss")).isValid(), qPrintable(texto));
                QVERIFY2(pareceLectura(f[2], true), qPrintable(texto));
                QVERIFY2(pareceLectura(f[3], true), qPrintable(texto));
                for (int i = 4; i <= 8; ++i)
                    QVERIFY2(pareceLectura(f[i], false), qPrintable(texto));
                QCOMPARE(f[9], QStringLiteral("L-42"));
            }
            // The first reading is recorded at once, not after a first period.
            const QDateTime primera = QDateTime(QDate::fromString(filas[0][0], QStringLiteral("dd/MM/yyyy")),
                                                QTime::fromString(filas[0][1], QStringLiteral("hh:mm:ss")));
            QVERIFY2(qAbs(inicio.secsTo(primera)) <= 3, qPrintable(filas[0][1]));
        }
        e.cerrarBase();
    }

    void senalTerminaLimpio()
    {
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}, {2, true, true, true, 1}});
        e.iniciarSimulador({QStringLiteral("1:c"), QStringLiteral("2:p")});
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base});
        QVERIFY2(e.out.esperar(" pass 1:", 10000), e.err.todo.constData());
        QTest::qWait(1200);   // a few rows after the first
        ::kill(pid_t(e.logger.processId()), SIGTERM);
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QCOMPARE(e.logger.exitStatus(), QProcess::NormalExit);
        QCOMPARE(e.logger.exitCode(), 0);
        QVERIFY2(e.err.todo.isEmpty(), e.err.todo.constData());

        const int filas = e.filas(QStringLiteral("Instrumento1")) + e.filas(QStringLiteral("Instrumento2"));
        QVERIFY(filas >= 2);
        QCOMPARE(filasDeclaradas(e.out.todo), filas);
        QSqlQuery q(e.abrirBase());
        QVERIFY(q.exec(QStringLiteral("PRAGMA integrity_check")));
        QVERIFY(q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("ok"));
        q.finish();
        e.cerrarBase();
    }

    void baseTomadaPorOtroProceso()
    {
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}});
        e.iniciarSimulador({QStringLiteral("1:c")});
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base});
        QVERIFY2(e.out.esperar(" pass 1:", 10000), e.err.todo.constData());

        Escenario::arrancar(e.logger2, {QStringLiteral("--db"), e.base, QStringLiteral("--duration"), QStringLiteral("2")});
        QVERIFY(Escenario::terminar(e.logger2, e.out2, e.err2, 10000));
        QVERIFY(e.logger2.exitCode() != 0);
        QVERIFY2(e.err2.todo.contains("cannot open the database " + e.base.toUtf8()), e.err2.todo.constData());
        QVERIFY2(e.err2.todo.contains("en uso por otro programa"), e.err2.todo.constData());
        QVERIFY(!e.out2.todo.contains("recording into"));

        // The first one goes on undisturbed and keeps its rows.
        QVERIFY(e.logger.state() == QProcess::Running);
        ::kill(pid_t(e.logger.processId()), SIGTERM);
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QCOMPARE(e.logger.exitCode(), 0);
        QVERIFY(e.filas(QStringLiteral("Instrumento1")) >= 1);
        QCOMPARE(filasDeclaradas(e.out.todo), e.filas(QStringLiteral("Instrumento1")));
        e.cerrarBase();
    }

    void puertoQueNoAbre()
    {
        Escenario e;
        const QString falta = e.raiz.ruta(QStringLiteral("no-hay-linea"));
        e.escribirAjustes({{1, false, true, true, 1}}, falta);
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base, QStringLiteral("--duration"), QStringLiteral("2")});
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QCOMPARE(e.logger.exitStatus(), QProcess::NormalExit);
        QVERIFY(e.logger.exitCode() != 0);
        QVERIFY2(e.err.todo.contains("cannot open the serial port COM1 (" + falta.toUtf8() + ")"), e.err.todo.constData());
        QVERIFY2(e.err.todo.contains("No se pudo abrir el puerto de comunicaciones: COM1."), e.err.todo.constData());
        QVERIFY(!e.out.todo.contains("recording into"));
        QCOMPARE(e.filas(QStringLiteral("Instrumento1")), 0);
        e.cerrarBase();
    }

    void baseDeLaListaOFaltaDeBase()
    {
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}});
        const QString lista = e.raiz.ruta(QStringLiteral("Bases.lst"));

        // No --db and no list.
        Escenario::arrancar(e.logger, {QStringLiteral("--duration"), QStringLiteral("1")});
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QVERIFY(e.logger.exitCode() != 0);
        QVERIFY2(e.err.todo.contains("no database given"), e.err.todo.constData());
        QVERIFY2(e.err.todo.contains(lista.toUtf8()), e.err.todo.constData());

        // A list that names no database.
        auto escribirLista = [&](const QByteArray& t) {
            QFile f(lista);
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            f.write(t);
        };
        escribirLista("\r\n<Mas archivos>\r\n");
        e.err.todo.clear();
        Escenario::arrancar(e.logger, {QStringLiteral("--duration"), QStringLiteral("1")});
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QVERIFY(e.logger.exitCode() != 0);
        QVERIFY2(e.err.todo.contains("no database given"), e.err.todo.constData());

        // A listed file that is gone.
        const QString perdida = e.raiz.datos() + QStringLiteral("/Perdida.mdb");
        escribirLista(perdida.toUtf8() + "\r\n" + e.base.toUtf8() + "\r\n<Mas archivos>\r\n");
        e.err.todo.clear();
        Escenario::arrancar(e.logger, {QStringLiteral("--duration"), QStringLiteral("1")});
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QVERIFY(e.logger.exitCode() != 0);
        QVERIFY2(e.err.todo.contains("cannot open the database " + perdida.toUtf8()), e.err.todo.constData());

        // The first database of the list is the one recorded into.
        escribirLista(e.base.toUtf8() + "\r\n<Mas archivos>\r\n");
        e.iniciarSimulador({QStringLiteral("1:c")});
        e.err.todo.clear();
        Escenario::arrancar(e.logger, {QStringLiteral("--duration"), QStringLiteral("1")});
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QVERIFY2(e.logger.exitCode() == 0, e.err.todo.constData());
        QVERIFY(e.filas(QStringLiteral("Instrumento1")) >= 1);
        e.cerrarBase();
    }

    void soloSeSondeaYRegistraLoQueCorresponde()
    {
        // 1 records; 2 is read but does not record; 3 is disabled.
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}, {2, true, true, false, 1}, {3, false, false, true, 1}});
        e.iniciarSimulador({QStringLiteral("1:c"), QStringLiteral("2:p"), QStringLiteral("3:c")}, true);
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base, QStringLiteral("--duration"), QStringLiteral("2")});
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err));
        QVERIFY2(e.logger.exitCode() == 0, e.err.todo.constData());
        e.salidaSim.drenar();

        QVERIFY(e.filas(QStringLiteral("Instrumento1")) >= 2);
        QCOMPARE(e.filas(QStringLiteral("Instrumento2")), 0);
        QCOMPARE(e.filas(QStringLiteral("Instrumento3")), 0);

        // Requests on the line, by slave address.
        const QByteArray log = e.salidaSim.todo;
        QVERIFY(log.contains("RX 01 "));
        QVERIFY2(log.contains("RX 02 "), "the instrument that does not record is still polled");
        QVERIFY2(!log.contains("RX 03 "), "the disabled instrument was polled");
        // And the status lines show readings of 1 and 2 only.
        const QRegularExpression paso(QStringLiteral(" pass \\d+: (.*) rows \\d+"));
        int pasadas = 0;
        for (const QByteArray& linea : e.out.todo.split('\n')) {
            const auto m = paso.match(QString::fromUtf8(linea));
            if (!m.hasMatch())
                continue;
            ++pasadas;
            QVERIFY2(QRegularExpression(QStringLiteral("^1:\\S+ 2:\\S+$")).match(m.captured(1)).hasMatch(), linea.constData());
        }
        QVERIFY(pasadas >= 2);
        e.cerrarBase();
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "test_logger.moc"
