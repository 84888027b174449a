// The headless recorder as it is run: the real ombrix-logger and ombrix-sim
// programs, a settings file and a database in a throw-away data root, the
// serial line on a pseudo-terminal reached through a link named in the
// settings.

#include "contenido_tabla.h"
#include "raiz_temporal.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTest>

#include <cstring>

#include <signal.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

using ombrix::test::RaizTemporal;

namespace {

struct Instrumento {
    Instrumento(int id_ = 1, bool programador_ = false, bool habilitado_ = true, bool salvar_ = true,
                int barrido_ = 1, QByteArray titulo_ = {}, QByteArray extra_ = {})
        : id(id_), programador(programador_), habilitado(habilitado_), salvar(salvar_), barrido(barrido_),
          titulo(std::move(titulo_)), extra(std::move(extra_))
    {
    }
    int id;
    bool programador;
    bool habilitado;
    bool salvar;
    int barrido;
    QByteArray titulo;   // empty: the default title
    QByteArray extra;    // further lines of its section
};

// Lines that leave only the measured value to be read: a silent instrument
// latches after three requests rather than ten.
const QByteArray kSoloValor = "PCheckSPRd=0\r\nPCheckPOT=0\r\nPCheckAl1=0\r\nPCheckAl2=0\r\nPCheckAl3=0\r\nPCheckAl4=0\r\n";

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
    // Waits until `hecho` holds for the output; false after plazoMs or when
    // the process ended without it.
    template <typename F>
    bool esperarQue(F hecho, int plazoMs)
    {
        QElapsedTimer reloj;
        reloj.start();
        for (;;) {
            recoger();
            if (hecho())
                return true;
            if (reloj.elapsed() >= plazoMs || p.state() == QProcess::NotRunning) {
                recoger();
                return hecho();
            }
            p.waitForReadyRead(50);
        }
    }
    // Waits until the output holds `texto` (from byte `desde` on); false after plazoMs.
    bool esperar(const QByteArray& texto, int plazoMs, qsizetype desde = 0)
    {
        return esperarQue([&] { return todo.indexOf(texto, desde) >= 0; }, plazoMs);
    }
    // Waits until a whole line from byte `desde` on matches `patron`.
    bool esperarLinea(const QRegularExpression& patron, int plazoMs, qsizetype desde = 0)
    {
        return esperarQue([&] { return !lineas(patron, desde).isEmpty(); }, plazoMs);
    }
    // The whole lines from byte `desde` on that match `patron`.
    QStringList lineas(const QRegularExpression& patron, qsizetype desde = 0) const
    {
        QStringList r;
        const QByteArray resto = todo.mid(desde);
        const qsizetype fin = resto.lastIndexOf('\n');
        for (const QByteArray& l : resto.left(fin + 1).split('\n'))
            if (patron.match(QString::fromUtf8(l)).hasMatch())
                r << QString::fromUtf8(l);
        return r;
    }
    qsizetype veces(const QByteArray& texto, qsizetype desde = 0) const { return todo.mid(desde).count(texto); }
};

// Lines of the recorder's log.
const QRegularExpression kLineaRegistrada(QStringLiteral("^\\d\\d/\\d\\d/\\d{4} \\d\\d:\\d\\d:\\d\\d registradas (.+) \\(total (\\d+) filas\\)$"));

// The row total of the last "registradas" line, 0 before the first.
int totalRegistrado(const Salida& s)
{
    const QStringList l = s.lineas(kLineaRegistrada);
    return l.isEmpty() ? 0 : kLineaRegistrada.match(l.last()).captured(2).toInt();
}

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
    void escribirAjustes(const QList<Instrumento>& instrumentos, const QString& rutaPuerto = QString(),
                         const QByteArray& general = QByteArray())
    {
        QByteArray t;
        t += "[Puertos]\r\nPuerto=COM1\r\nCOM1=" + (rutaPuerto.isEmpty() ? enlace : rutaPuerto).toUtf8()
            + "\r\nBaudRate=19200\r\n";
        t += "[General]\r\ncantidad de aparatos=" + QByteArray::number(instrumentos.size() + 1)
            + "\r\nTiempoScan=0\r\nSincronismo=0\r\n" + general;
        for (int i = 0; i < instrumentos.size(); ++i) {
            const Instrumento& ins = instrumentos[i];
            t += "[Instrumento" + QByteArray::number(i + 1) + "]\r\n";
            t += "Tipo de instrumento=" + QByteArray(ins.programador ? "1" : "0") + "\r\n";
            t += "Habilitado=" + QByteArray(ins.habilitado ? "1" : "0") + "\r\n";
            t += "SalvarTabla=" + QByteArray(ins.salvar ? "1" : "0") + "\r\n";
            t += "Barrido=" + QByteArray::number(ins.barrido) + "\r\n";
            t += "ID=" + QByteArray::number(ins.id) + "\r\n";
            if (!ins.titulo.isEmpty())
                t += "Titulo=" + ins.titulo + "\r\n";
            t += ins.extra;
        }
        QFile f(raiz.datos() + QStringLiteral("/Ombrix.ini"));
        QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(t);
    }

    // Starts the simulator on the link. With `ordenes` it listens on stdin
    // and, with `registro`, logs every request it serves; otherwise it runs
    // as a daemon.
    void iniciarSimulador(const QStringList& instrumentos, bool ordenes = false, bool registro = true)
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
        if (ordenes && registro)
            QCOMPARE(ordenSimulador("log on"), QByteArray("OK"));
    }

    // Starts the simulator as a device server on a free loopback port, with
    // commands on stdin; returns the address it serves ("tcp://127.0.0.1:N").
    QString iniciarSimuladorTcp(const QStringList& instrumentos)
    {
        QStringList args{QStringLiteral("--tcp"), QStringLiteral("0"), QStringLiteral("--no-pace")};
        for (const QString& i : instrumentos)
            args << QStringLiteral("--inst") << i;
        sim.start(RaizTemporal::programa(QStringLiteral("ombrix-sim")), args);
        if (!sim.waitForStarted(5000) || !salidaSim.esperar("\n", 5000))
            return {};
        const QByteArray l = salidaSim.todo.left(salidaSim.todo.indexOf('\n'));
        return l.startsWith("TCP ") ? QString::fromLatin1(l.mid(4)) : QString();
    }

    // Sends a command to the simulator and returns its answer line (the
    // request log may be interleaved with it); empty when none came.
    QByteArray ordenSimulador(const QByteArray& orden)
    {
        static const QRegularExpression respuesta(QStringLiteral("^(?!RX ).+"));
        salidaSim.recoger();
        const qsizetype desde = salidaSim.todo.size();
        sim.write(orden + "\n");
        if (!salidaSim.esperarLinea(respuesta, 5000, desde))
            return {};
        return salidaSim.lineas(respuesta, desde).first().toUtf8();
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
        return ombrix::test::contenidoTabla(abrirBase(), tabla, columnas);
    }

    QString rutaAjustes() const { return raiz.datos() + QStringLiteral("/Ombrix.ini"); }

    // Sends SIGTERM to the recorder and waits for its end: true when it ended
    // by itself with status 0.
    bool detener(int plazoMs = 10000)
    {
        ::kill(pid_t(logger.processId()), SIGTERM);
        return terminar(logger, out, err, plazoMs) && logger.exitStatus() == QProcess::NormalExit
            && logger.exitCode() == 0;
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

// "detenido: N filas registradas, ..." -> N, or -1.
int filasDeclaradas(const QByteArray& salida)
{
    const auto m = QRegularExpression(QStringLiteral("detenido: (\\d+) filas registradas")).match(QString::fromUtf8(salida));
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// A notify socket as systemd opens one for a Type=notify service: it keeps
// every datagram the service sends.
class SocketAvisos {
public:
    explicit SocketAvisos(const QString& ruta) : ruta_(ruta)
    {
        fd_ = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
        sockaddr_un a{};
        a.sun_family = AF_UNIX;
        const QByteArray r = QFile::encodeName(ruta);
        if (fd_ >= 0 && size_t(r.size()) < sizeof a.sun_path) {
            std::memcpy(a.sun_path, r.constData(), size_t(r.size()));
            listo_ = ::bind(fd_, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
        }
    }
    ~SocketAvisos()
    {
        if (fd_ >= 0)
            ::close(fd_);
    }
    bool listo() const { return listo_; }
    // The datagrams that came since the last call.
    QList<QByteArray> leer()
    {
        char buf[4096];
        ssize_t n;
        while ((n = ::recv(fd_, buf, sizeof buf, 0)) > 0)
            avisos_ << QByteArray(buf, int(n));
        return avisos_;
    }
    // The avisos holding `texto`, from the `desde`-th on.
    QList<QByteArray> con(const QByteArray& texto, qsizetype desde = 0)
    {
        QList<QByteArray> r;
        const QList<QByteArray> todos = leer();
        for (qsizetype i = desde; i < todos.size(); ++i)
            if (todos[i].contains(texto))
                r << todos[i];
        return r;
    }

private:
    QString ruta_;
    int fd_ = -1;
    bool listo_ = false;
    QList<QByteArray> avisos_;
};

// Processor time a process has used so far, in seconds; −1 when unknown.
double segundosCpu(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray stat = f.readAll();
    // Fields after the command name: state is the 3rd field, utime the 14th, stime the 15th.
    const QList<QByteArray> campos = stat.mid(stat.lastIndexOf(')') + 2).split(' ');
    if (campos.size() < 13)
        return -1;
    return double(campos[11].toLongLong() + campos[12].toLongLong()) / double(::sysconf(_SC_CLK_TCK));
}

bool pareceLectura(const QString& t, bool conDecimales)
{
    if (t == QLatin1String(" oF ") || t == QLatin1String(" uF "))
        return conDecimales;
    const QString patron = conDecimales ? QStringLiteral("^-?\\d+(\\.\\d+)?$") : QStringLiteral("^-?\\d+$");
    return QRegularExpression(patron).match(t).hasMatch();
}

// Runs a reading tool (ombrix-export by default) to its end: its exit code,
// and its standard error in `salida`. `sinPermisos`: as a user the file
// modes hold for (root gives up overriding them).
int leer(const QStringList& args, QByteArray* salida, const QString& programa = QStringLiteral("ombrix-export"),
         bool sinPermisos = false)
{
    QProcess p;
    QString ejecutable = RaizTemporal::programa(programa);
    QStringList todos = args;
    if (sinPermisos && ::geteuid() == 0) {
        todos = QStringList{QStringLiteral("--bounding-set=-dac_override,-dac_read_search,-fowner"), QStringLiteral("--"),
                            ejecutable} + args;
        ejecutable = QStringLiteral("setpriv");
    }
    p.start(ejecutable, todos);
    if (!p.waitForFinished(60000))
        return -1;
    *salida = p.readAllStandardError();
    return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
}

int lineasCsv(const QString& ruta)
{
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? int(f.readAll().count("\r\n")) : -1;
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
        QVERIFY2(e.out.todo.contains("registrando en"), e.out.todo.constData());

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
        // A few rows after the two of the first pass.
        QVERIFY2(e.out.esperarQue([&] { return totalRegistrado(e.out) >= 4; }, 15000), e.out.todo.constData());
        ::kill(pid_t(e.logger.processId()), SIGTERM);
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QCOMPARE(e.logger.exitStatus(), QProcess::NormalExit);
        QCOMPARE(e.logger.exitCode(), 0);
        QVERIFY2(e.err.todo.isEmpty(), e.err.todo.constData());

        const int filas = e.filas(QStringLiteral("Instrumento1")) + e.filas(QStringLiteral("Instrumento2"));
        QVERIFY(filas >= 4);
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
        QVERIFY2(e.out.esperarLinea(kLineaRegistrada, 10000), e.err.todo.constData());

        Escenario::arrancar(e.logger2, {QStringLiteral("--db"), e.base, QStringLiteral("--duration"), QStringLiteral("2")});
        QVERIFY(Escenario::terminar(e.logger2, e.out2, e.err2, 10000));
        // Held by another program: that may end, so the service retries (1).
        QCOMPARE(e.logger2.exitCode(), 1);
        QVERIFY2(e.err2.todo.contains("no se pudo abrir la base de datos " + e.base.toUtf8()), e.err2.todo.constData());
        QVERIFY2(e.err2.todo.contains("en uso por otro programa"), e.err2.todo.constData());
        QVERIFY(!e.out2.todo.contains("registrando en"));

        // The first one goes on undisturbed and keeps its rows.
        QVERIFY(e.logger.state() == QProcess::Running);
        ::kill(pid_t(e.logger.processId()), SIGTERM);
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QCOMPARE(e.logger.exitCode(), 0);
        QVERIFY(e.filas(QStringLiteral("Instrumento1")) >= 1);
        QCOMPARE(filasDeclaradas(e.out.todo), e.filas(QStringLiteral("Instrumento1")));
        e.cerrarBase();
    }

    // Export and report read the file the recorder writes into, beside it,
    // and see every row it had reported; a kill -9 of the recorder loses no
    // committed row, readers go on, and the next recorder starts.
    void lectoresJuntoAlRegistrador()
    {
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}});
        e.iniciarSimulador({QStringLiteral("1:c")});
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base});
        QVERIFY2(e.out.esperarQue([&] { return totalRegistrado(e.out) >= 2; }, 20000), e.err.todo.constData());

        const QString csv = e.raiz.ruta(QStringLiteral("lecturas.csv"));
        const int antes = totalRegistrado(e.out);
        QByteArray salida;
        QCOMPARE(leer({QStringLiteral("--db"), e.base, QStringLiteral("--instrument"), QStringLiteral("1"),
                       QStringLiteral("--out"), csv}, &salida), 0);
        QVERIFY2(lineasCsv(csv) - 1 >= antes, salida.constData());
        const QString pdf = e.raiz.ruta(QStringLiteral("informe.pdf"));
        QCOMPARE(leer({QStringLiteral("--db"), e.base, QStringLiteral("--instrument"), QStringLiteral("1"),
                       QStringLiteral("--pdf"), pdf}, &salida, QStringLiteral("ombrix-report")), 0);
        QFile f(pdf);
        QVERIFY(f.open(QIODevice::ReadOnly) && f.read(5) == "%PDF-");

        // The recorder was not held up: it goes on recording.
        QVERIFY(e.logger.state() == QProcess::Running);
        QVERIFY(e.out.esperarQue([&] { return totalRegistrado(e.out) > antes + 1; }, 10000));

        ::kill(pid_t(e.logger.processId()), SIGKILL);
        QVERIFY(e.logger.waitForFinished(5000));
        e.out.drenar();
        const int declaradas = totalRegistrado(e.out);
        QCOMPARE(leer({QStringLiteral("--db"), e.base, QStringLiteral("--instrument"), QStringLiteral("1"),
                       QStringLiteral("--out"), csv}, &salida), 0);
        QVERIFY2(lineasCsv(csv) - 1 >= declaradas, qPrintable(QStringLiteral("%1 < %2").arg(lineasCsv(csv) - 1).arg(declaradas)));

        Escenario::arrancar(e.logger2, {QStringLiteral("--db"), e.base, QStringLiteral("--duration"), QStringLiteral("2")});
        QVERIFY(Escenario::terminar(e.logger2, e.out2, e.err2, 20000));
        QVERIFY2(e.logger2.exitCode() == 0, e.err2.todo.constData());
        QVERIFY(e.filas(QStringLiteral("Instrumento1")) > declaradas);
        e.cerrarBase();
    }

    // A person who may read the files but not write in their folder reads
    // beside the recorder; with the recorder stopped (its -wal and -shm
    // gone) the reader says why it cannot read, and creates nothing.
    void lectorSinPermisoDeEscritura()
    {
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}});
        e.iniciarSimulador({QStringLiteral("1:c")});
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base});
        QVERIFY2(e.out.esperarQue([&] { return totalRegistrado(e.out) >= 2; }, 20000), e.err.todo.constData());

        const QByteArray carpeta = QFile::encodeName(e.raiz.datos());
        const QByteArray base = QFile::encodeName(e.base);
        QVERIFY(::chmod(carpeta.constData(), 0555) == 0);
        for (const char* s : {"", "-wal", "-shm"})
            QVERIFY(::chmod((base + s).constData(), 0444) == 0);
        const QString csv = e.raiz.ruta(QStringLiteral("ajeno.csv"));
        const QStringList args{QStringLiteral("--db"), e.base, QStringLiteral("--instrument"), QStringLiteral("1"),
                               QStringLiteral("--out"), csv};
        QByteArray salida;
        const int codigo = leer(args, &salida, QStringLiteral("ombrix-export"), true);
        QVERIFY(::chmod(carpeta.constData(), 0755) == 0);
        QVERIFY2(codigo == 0, salida.constData());
        QVERIFY(lineasCsv(csv) >= 3);

        QVERIFY(e.detener());
        QVERIFY(!QFile::exists(e.base + QStringLiteral("-shm")));
        QVERIFY(::chmod(carpeta.constData(), 0555) == 0);
        const int otro = leer(args, &salida, QStringLiteral("ombrix-export"), true);
        QVERIFY(::chmod(carpeta.constData(), 0755) == 0);
        QVERIFY(otro != 0);
        QVERIFY2(salida.contains("no hay permiso para crearlo"), salida.constData());
        QVERIFY(!QFile::exists(e.base + QStringLiteral("-shm")));
        QVERIFY(!QFile::exists(e.base + QStringLiteral("-wal")));
        e.cerrarBase();
    }

    void puertoQueNoAbre()
    {
        Escenario e;
        const QString falta = e.raiz.ruta(QStringLiteral("no-hay-linea"));
        e.escribirAjustes({{1, false, true, true, 1}}, falta);
        // No --duration: the failure alone ends it, at once.
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base});
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QCOMPARE(e.logger.exitStatus(), QProcess::NormalExit);
        QCOMPARE(e.logger.exitCode(), 1);
        // The two messages of the acquisition and the recorder's own line, each once.
        const QByteArray linea = "no se pudo abrir el puerto serie COM1 (" + falta.toUtf8() + ")";
        QVERIFY2(e.err.veces(linea) == 1, e.err.todo.constData());
        QVERIFY2(e.err.veces("No se pudo abrir el puerto de comunicaciones: COM1.") == 1, e.err.todo.constData());
        QVERIFY2(e.err.todo.count('\n') == 3, e.err.todo.constData());
        QVERIFY(e.out.todo.isEmpty());
        QCOMPARE(e.filas(QStringLiteral("Instrumento1")), 0);
        e.cerrarBase();
    }

    void baseDeLaListaOFaltaDeBase()
    {
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}});
        const QString lista = e.raiz.ruta(QStringLiteral("Bases.lst"));

        // No --db and no list: settings that cannot run (3).
        Escenario::arrancar(e.logger, {QStringLiteral("--duration"), QStringLiteral("1")});
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QCOMPARE(e.logger.exitCode(), 3);
        QVERIFY2(e.err.todo.contains("no se indicó base de datos"), e.err.todo.constData());
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
        QCOMPARE(e.logger.exitCode(), 3);
        QVERIFY2(e.err.todo.contains("no se indicó base de datos"), e.err.todo.constData());

        // A listed file that is gone.
        const QString perdida = e.raiz.datos() + QStringLiteral("/Perdida.mdb");
        escribirLista(perdida.toUtf8() + "\r\n" + e.base.toUtf8() + "\r\n<Mas archivos>\r\n");
        e.err.todo.clear();
        Escenario::arrancar(e.logger, {QStringLiteral("--duration"), QStringLiteral("1")});
        QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
        QCOMPARE(e.logger.exitCode(), 3);
        QVERIFY2(e.err.todo.contains("no se pudo abrir la base de datos " + perdida.toUtf8()), e.err.todo.constData());

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
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base});
        QVERIFY2(e.out.esperarQue([&] { return totalRegistrado(e.out) >= 2; }, 15000), e.out.todo.constData());
        QVERIFY2(e.detener(), e.err.todo.constData());
        e.salidaSim.drenar();

        QVERIFY(e.filas(QStringLiteral("Instrumento1")) >= 2);
        QCOMPARE(e.filas(QStringLiteral("Instrumento2")), 0);
        QCOMPARE(e.filas(QStringLiteral("Instrumento3")), 0);

        // Requests on the line, by slave address.
        const QByteArray log = e.salidaSim.todo;
        QVERIFY(log.contains("RX 01 "));
        QVERIFY2(log.contains("RX 02 "), "the instrument that does not record is still polled");
        QVERIFY2(!log.contains("RX 03 "), "the disabled instrument was polled");
        // And the log names the rows of 1 only, one line per pass that stored one.
        const QStringList registradas = e.out.lineas(kLineaRegistrada);
        QVERIFY2(registradas.size() >= 2, e.out.todo.constData());
        for (const QString& linea : registradas)
            QVERIFY2(QRegularExpression(QStringLiteral("^1:\\S+$")).match(kLineaRegistrada.match(linea).captured(1)).hasMatch(),
                     qPrintable(linea));
        QCOMPARE(filasDeclaradas(e.out.todo), e.filas(QStringLiteral("Instrumento1")));
        e.cerrarBase();
    }

    void alarmaSeEnganchaUnaVezYSeRestableceSola()
    {
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}, {2, false, true, true, 1, "Horno B", kSoloValor}});
        e.iniciarSimulador({QStringLiteral("1:c"), QStringLiteral("2:c")}, true);
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base, QStringLiteral("--retry"), QStringLiteral("1")});
        QVERIFY2(e.out.esperar(" 2:", 10000), e.err.todo.constData());
        QVERIFY2(e.out.todo.contains(", reintento 1 s\n"), e.out.todo.constData());

        QCOMPARE(e.ordenSimulador("fault 2 silent"), QByteArray("OK"));
        const QByteArray enganche = "alarma de comunicación enganchada: instrumento 2 (Horno B) no responde\n";
        QVERIFY2(e.out.esperar(enganche, 15000), e.out.todo.constData());
        // Probes go out while it is silent (each one a read of the measured
        // value; the reading that latched made one more) and latch nothing again.
        e.salidaSim.recoger();
        const qsizetype antesSondeos = e.salidaSim.todo.size();
        QVERIFY2(e.salidaSim.esperarQue([&] { return e.salidaSim.veces("RX 02 03 10 00", antesSondeos) >= 3; }, 15000),
                 e.salidaSim.todo.mid(antesSondeos).constData());

        QCOMPARE(e.ordenSimulador("fault 2 none"), QByteArray("OK"));
        const QByteArray reset = "alarma de comunicación restablecida: instrumento 2 (Horno B) responde de nuevo\n";
        QVERIFY2(e.out.esperar(reset, 15000), e.out.todo.constData());
        // Its rows resume, with readings again.
        const qsizetype trasReset = e.out.todo.indexOf(reset);
        const QRegularExpression filaDe2(QStringLiteral("^\\S+ \\S+ registradas (.* )?2:-?\\d+(\\.\\d+)? "));
        QVERIFY2(e.out.esperarLinea(filaDe2, 10000, trasReset), e.out.todo.constData());
        QVERIFY2(e.detener(), e.err.todo.constData());

        QCOMPARE(e.out.veces("alarma de comunicación enganchada"), 1);
        QCOMPARE(e.out.veces("alarma de comunicación restablecida"), 1);
        QVERIFY2(e.err.todo.isEmpty(), e.err.todo.constData());
        const int filas2 = e.filas(QStringLiteral("Instrumento2"));
        QCOMPARE(filasDeclaradas(e.out.todo), e.filas(QStringLiteral("Instrumento1")) + filas2);
        const auto valores = e.contenido(QStringLiteral("Instrumento2"), QStringLiteral("Valor_medido"));
        QVERIFY(!valores.isEmpty());
        QVERIFY2(pareceLectura(valores.last().first(), true), qPrintable(valores.last().first()));
        e.cerrarBase();
    }

    void puertoQueDesapareceYVuelve()
    {
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}, {2, true, true, true, 1}});
        e.iniciarSimulador({QStringLiteral("1:c"), QStringLiteral("2:p")}, true, false);
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base});
        QVERIFY2(e.out.esperarLinea(kLineaRegistrada, 10000), e.err.todo.constData());

        QCOMPARE(e.ordenSimulador("unplug"), QByteArray("OK"));
        QVERIFY2(e.out.esperar(" puerto perdido: ", 10000), e.out.todo.constData());
        QElapsedTimer sinPuerto;
        sinPuerto.start();
        const double cpuAntes = segundosCpu(e.logger.processId());
        QVERIFY2(e.ordenSimulador("plug").startsWith("PTY "), e.salidaSim.todo.constData());
        // Reopened at its next attempt, a few seconds apart.
        QVERIFY2(e.out.esperar(" puerto recuperado: COM1 (" + e.enlace.toUtf8() + ")\n", 15000), e.out.todo.constData());
        // It waited for the port rather than trying it over and over.
        const double cpu = segundosCpu(e.logger.processId()) - cpuAntes;
        QVERIFY2(cpuAntes >= 0 && cpu < 0.5 * double(sinPuerto.elapsed()) / 1000.0 + 0.3,
                 qPrintable(QStringLiteral("%1 s of processor in %2 ms").arg(cpu).arg(sinPuerto.elapsed())));
        const qsizetype vuelta = e.out.todo.indexOf(" puerto recuperado: ");
        QVERIFY2(e.out.esperarLinea(kLineaRegistrada, 10000, vuelta), e.out.todo.constData());
        QVERIFY2(e.detener(), e.err.todo.constData());

        QCOMPARE(e.out.veces(" puerto perdido: "), 1);
        QCOMPARE(e.out.veces(" puerto recuperado: "), 1);
        // A missing port is not an instrument that stopped answering.
        QVERIFY2(!e.out.todo.contains("alarma de comunicación"), e.out.todo.constData());
        QVERIFY2(e.err.todo.isEmpty(), e.err.todo.constData());
        QCOMPARE(filasDeclaradas(e.out.todo),
                 e.filas(QStringLiteral("Instrumento1")) + e.filas(QStringLiteral("Instrumento2")));
        e.cerrarBase();
    }

    // COM1 mapped to a device server: the recorder names it, a dropped
    // connection is a lost port and comes back at once, a server that stopped
    // listening is waited for, and no instrument is blamed.
    void servidorSerieCortadoYDeVuelta()
    {
        Escenario e;
        const QString direccion = e.iniciarSimuladorTcp({QStringLiteral("1:c"), QStringLiteral("2:p")});
        QVERIFY2(direccion.startsWith(QLatin1String("tcp://127.0.0.1:")), e.salidaSim.todo.constData());
        e.escribirAjustes({{1, false, true, true, 1}, {2, true, true, true, 1}}, direccion);
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base});
        QVERIFY2(e.out.esperar(" desde COM1 (" + direccion.toUtf8() + ")", 10000), e.err.todo.constData());
        QVERIFY2(e.out.esperarLinea(kLineaRegistrada, 10000), e.err.todo.constData());

        const QByteArray perdido = " puerto perdido: Servidor serie " + direccion.toUtf8() + " no disponible; reintentando\n";
        const QByteArray vuelto = " puerto recuperado: COM1 (" + direccion.toUtf8() + ")\n";
        QCOMPARE(e.ordenSimulador("drop"), QByteArray("OK"));
        QVERIFY2(e.out.esperar(perdido, 10000), e.out.todo.constData());
        QVERIFY2(e.out.esperar(vuelto, 5000), e.out.todo.constData());
        qsizetype desde = e.out.todo.indexOf(vuelto);
        QVERIFY2(e.out.esperarLinea(kLineaRegistrada, 10000, desde), e.out.todo.constData());

        QCOMPARE(e.ordenSimulador("unplug"), QByteArray("OK"));
        QVERIFY2(e.out.esperarQue([&] { return e.out.veces(perdido) == 2; }, 10000), e.out.todo.constData());
        QCOMPARE(e.ordenSimulador("plug"), "TCP " + direccion.toUtf8());
        QVERIFY2(e.out.esperarQue([&] { return e.out.veces(vuelto) == 2; }, 15000), e.out.todo.constData());
        desde = e.out.todo.lastIndexOf(vuelto);
        QVERIFY2(e.out.esperarLinea(kLineaRegistrada, 10000, desde), e.out.todo.constData());
        QVERIFY2(e.detener(), e.err.todo.constData());
        QVERIFY2(!e.out.todo.contains("alarma de comunicación"), e.out.todo.constData());
        QVERIFY2(e.err.todo.isEmpty(), e.err.todo.constData());

        // Nothing listening at the start: one clear line naming the server, status 1.
        QCOMPARE(e.ordenSimulador("unplug"), QByteArray("OK"));
        Escenario::arrancar(e.logger2, {QStringLiteral("--db"), e.base});
        QVERIFY(Escenario::terminar(e.logger2, e.out2, e.err2, 10000));
        QCOMPARE(e.logger2.exitCode(), 1);
        const QByteArray linea = "no se puede conectar con el servidor serie " + direccion.toUtf8() + " (COM1): conexión rehusada";
        QVERIFY2(e.err2.veces(linea) == 1, e.err2.todo.constData());
        QVERIFY2(e.err2.veces("No se pudo conectar con el servidor serie " + direccion.toUtf8()) == 1, e.err2.todo.constData());
        QVERIFY2(!e.err2.todo.contains("Verifique que el puerto sea el correcto"), e.err2.todo.constData());
        e.cerrarBase();
    }

    void avisosDeServicio()
    {
        // As systemd runs the unit: a notify socket and a watchdog of 2 s,
        // shorter than a pass may take with these settings.
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}, {2, true, true, true, 1}});
        e.iniciarSimulador({QStringLiteral("1:c"), QStringLiteral("2:p")}, true, false);
        SocketAvisos avisos(e.raiz.ruta(QStringLiteral("notify")));
        QVERIFY(avisos.listo());
        QProcessEnvironment entorno = QProcessEnvironment::systemEnvironment();
        entorno.insert(QStringLiteral("NOTIFY_SOCKET"), e.raiz.ruta(QStringLiteral("notify")));
        entorno.insert(QStringLiteral("WATCHDOG_USEC"), QStringLiteral("2000000"));
        e.logger.setProcessEnvironment(entorno);
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base});
        QVERIFY2(e.out.esperarQue([&] { return totalRegistrado(e.out) >= 6; }, 15000), e.out.todo.constData());

        // Ready once recording, with its status line.
        QList<QByteArray> todos = avisos.leer();
        QVERIFY(!todos.isEmpty());
        const QByteArray estado = "STATUS=2 instrumento(s) registrando desde COM1 (" + e.enlace.toUtf8() + "), puerto abierto, ";
        const QList<QByteArray> listos = avisos.con("READY=1");
        QCOMPARE(listos.size(), 1);
        QVERIFY2(listos[0].contains(estado), listos[0].constData());
        // Two silent-instrument passes need far more than 2 s: the period is raised.
        const QList<QByteArray> periodo = avisos.con("WATCHDOG_USEC=");
        QCOMPARE(periodo.size(), 1);
        QVERIFY2(periodo[0].mid(periodo[0].indexOf('=') + 1).toLongLong() > 60000000LL, periodo[0].constData());
        QVERIFY(todos.indexOf(periodo[0]) < todos.indexOf(listos[0]));
        // Petted after passes, the status giving the rows.
        QVERIFY2(e.out.esperarQue([&] { return avisos.con("WATCHDOG=1").size() >= 2; }, 5000), todos.join('|').constData());
        QVERIFY2(avisos.con("WATCHDOG=1").last().contains(" filas"), avisos.con("WATCHDOG=1").last().constData());

        // While the port is missing no pass ends, and the watchdog is still petted.
        QCOMPARE(e.ordenSimulador("unplug"), QByteArray("OK"));
        QVERIFY2(e.out.esperar(" puerto perdido: ", 10000), e.out.todo.constData());
        const qsizetype tras = avisos.leer().size();
        QVERIFY2(e.out.esperarQue([&] { return avisos.con("WATCHDOG=1", tras).size() >= 2; }, 5000),
                 avisos.leer().mid(tras).join('|').constData());
        QVERIFY2(avisos.con("WATCHDOG=1", tras).last().contains("puerto perdido"), avisos.con("WATCHDOG=1", tras).last().constData());

        QVERIFY2(e.detener(), e.err.todo.constData());
        QVERIFY2(avisos.leer().last() == "STOPPING=1", avisos.leer().last().constData());
        e.cerrarBase();
    }

    void ajustesQueNoSePuedenUsar()
    {
        Escenario e;
        const QByteArray ruta = e.rutaAjustes().toUtf8();
        // None of these runs gets as far as the database or the port.
        const QString noHay = e.raiz.datos() + QStringLiteral("/NoHay.mdb");
        auto correr = [&](const QByteArray& aviso) {
            e.out.todo.clear();
            e.err.todo.clear();
            Escenario::arrancar(e.logger, {QStringLiteral("--db"), noHay});
            QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
            QCOMPARE(e.logger.exitStatus(), QProcess::NormalExit);
            // Settings that cannot run: the service does not restart on 3.
            QCOMPARE(e.logger.exitCode(), 3);
            // One line, naming the file and what is wrong with it.
            QVERIFY2(e.err.veces("archivo de ajustes") == 1, e.err.todo.constData());
            const QStringList lineas = e.err.lineas(QRegularExpression(QStringLiteral("^ombrix-logger: archivo de ajustes ")));
            QVERIFY2(lineas.size() == 1, e.err.todo.constData());
            QVERIFY2(lineas[0].startsWith(QString::fromUtf8("ombrix-logger: archivo de ajustes " + ruta + " " + aviso)),
                     qPrintable(lineas[0]));
            QVERIFY2(lineas[0].endsWith(QStringLiteral("; se usan los valores por defecto")), qPrintable(lineas[0]));
            // The defaults enable no instrument.
            QVERIFY2(e.err.todo.contains("nada que registrar: "), e.err.todo.constData());
            QVERIFY2(!e.err.todo.contains("no se pudo abrir"), e.err.todo.constData());
            QVERIFY(e.out.todo.isEmpty());
        };

        correr("no existe");
        {
            QFile f(e.rutaAjustes());
            QVERIFY(f.open(QIODevice::WriteOnly));
        }
        correr("está vacío");
        {
            // Bytes of no text at all: no line ends, no sections, no keys.
            QFile f(e.rutaAjustes());
            QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
            QByteArray basura;
            quint32 x = 12345;
            for (int i = 0; i < 4096; ++i) {
                x = x * 1103515245u + 12345u;
                const char c = char(x >> 24);
                basura += (c == '\n' || c == '[' || c == '=') ? '\0' : c;
            }
            f.write(basura);
        }
        correr("no contiene ajustes (ninguna línea clave=valor bajo una [sección])");
        if (::geteuid() != 0) {
            e.escribirAjustes({{1, false, true, true, 1}});
            QVERIFY(::chmod(ruta.constData(), 0) == 0);
            correr("no se puede leer (");
        }
        QVERIFY(QFile::remove(e.rutaAjustes()));
        QVERIFY(QDir().mkdir(e.rutaAjustes()));
        correr("no es un archivo regular");
    }

    // Values the recorder does not use as written are told at start, a line
    // each; an instrument at an address no instrument answers at is not polled.
    void valoresQueNoSeUsanSeDicen()
    {
        Escenario e;
        e.escribirAjustes({{1, false, true, true, 1}, {0, false, true, true, 1}, {3, false, true, false, -5}}, QString(),
                          "ReintentoAlarma=-5\r\n");
        e.iniciarSimulador({QStringLiteral("1:c"), QStringLiteral("3:c")}, true);
        Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base});
        QVERIFY2(e.out.esperarQue([&] { return totalRegistrado(e.out) >= 3; }, 15000), e.out.todo.constData());
        QVERIFY2(e.detener(), e.err.todo.constData());
        e.salidaSim.drenar();

        const QList<QByteArray> avisos{
            "ombrix-logger: ajustes: [General] ReintentoAlarma=-5: fuera de 0..86400; se usa 0\n",
            "ombrix-logger: ajustes: [Instrumento2] ID=0: la dirección 0 está fuera de 1..247; el instrumento 2 no se consulta\n",
            "ombrix-logger: ajustes: [Instrumento3] Barrido=-5: fuera de 1..65535; se usa 60\n",
        };
        for (const QByteArray& a : avisos)
            QVERIFY2(e.err.veces(a) == 1, e.err.todo.constData());
        QCOMPARE(e.err.veces("ajustes: "), avisos.size());
        // Told before the run begins.
        QVERIFY(e.out.todo.startsWith("registrando en"));

        // Address 0 would reach every instrument at once: nothing goes there,
        // and the others are polled at full pace.
        QVERIFY2(!e.salidaSim.todo.contains("RX 00 "), e.salidaSim.todo.constData());
        QVERIFY(e.salidaSim.todo.contains("RX 03 "));
        QCOMPARE(e.filas(QStringLiteral("Instrumento2")), 0);
        QVERIFY(e.filas(QStringLiteral("Instrumento1")) >= 3);
        e.cerrarBase();
    }

    void nadaQueRegistrarNoArranca()
    {
        Escenario e;
        // The link leads nowhere and the database does not exist: neither is
        // looked at before the refusal.
        const QString noHay = e.raiz.datos() + QStringLiteral("/NoHay.mdb");
        auto correr = [&](const QByteArray& motivo) {
            e.out.todo.clear();
            e.err.todo.clear();
            Escenario::arrancar(e.logger, {QStringLiteral("--db"), noHay});
            QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
            QCOMPARE(e.logger.exitStatus(), QProcess::NormalExit);
            // Settings that cannot run: the service does not restart on 3.
            QCOMPARE(e.logger.exitCode(), 3);
            const QByteArray linea = "ombrix-logger: nada que registrar: " + motivo + " en " + e.rutaAjustes().toUtf8() + "\n";
            QVERIFY2(e.err.todo == linea, e.err.todo.constData());
            QVERIFY(e.out.todo.isEmpty());
        };
        // One enabled but not recording, one recording but disabled.
        e.escribirAjustes({{1, false, true, false, 1}, {2, false, false, true, 1}});
        correr("ninguno de los 2 instrumento(s) está a la vez habilitado (Habilitado) y con registro (SalvarTabla)");
        e.escribirAjustes({});
        correr("no hay ningún instrumento configurado");
    }

    void periodoDeSondeo()
    {
        Escenario e;
        for (const QString& malo : {QStringLiteral("-1"), QStringLiteral("x"), QStringLiteral("1.5"), QString()}) {
            e.err.todo.clear();
            Escenario::arrancar(e.logger, {QStringLiteral("--db"), e.base, QStringLiteral("--retry"), malo});
            QVERIFY(Escenario::terminar(e.logger, e.out, e.err, 10000));
            QCOMPARE(e.logger.exitCode(), 2);
            QVERIFY2(e.err.todo.contains("--retry"), e.err.todo.constData());
        }
        QVERIFY(e.out.todo.isEmpty());

        // Without the option: the settings' period when it has one, else 60.
        e.iniciarSimulador({QStringLiteral("1:c")});
        auto periodo = [&](const QByteArray& general, const QStringList& extra) -> QByteArray {
            e.escribirAjustes({{1, false, true, true, 1}}, QString(), general);
            e.out.todo.clear();
            Escenario::arrancar(e.logger, QStringList{QStringLiteral("--db"), e.base} + extra);
            if (!e.out.esperar("registrando en", 10000) || !e.detener())
                return "no start: " + e.err.todo;
            const auto m = QRegularExpression(QStringLiteral(", reintento (.*)\n")).match(QString::fromUtf8(e.out.todo));
            return m.captured(1).toUtf8();
        };
        QCOMPARE(periodo({}, {}), QByteArray("60 s"));
        QCOMPARE(periodo("ReintentoAlarma=0\r\n", {}), QByteArray("60 s"));
        QCOMPARE(periodo("ReintentoAlarma=7\r\n", {}), QByteArray("7 s"));
        QCOMPARE(periodo("ReintentoAlarma=7\r\n", {QStringLiteral("--retry"), QStringLiteral("0")}), QByteArray("no"));
        QCOMPARE(periodo({}, {QStringLiteral("--retry"), QStringLiteral("5")}), QByteArray("5 s"));
        e.cerrarBase();
    }
};

QTEST_GUILESS_MAIN(TestLogger)
#include "test_logger.moc"
