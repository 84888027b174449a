// The web view under load:
//
//   vivos [minutos]   20 programmers polled at 19200 baud on the simulator (a
//                     paced pseudo-terminal), the view serving 50 live pages
//                     (server-sent events, read on a thread of their own); the
//                     view gets the readings one pass in two, so both kinds of
//                     pass see the same machine: the ratio of the median
//                     passes with and without, the time from each reading's
//                     hand-over to its arrival at every page (median, p99,
//                     max; the goal is every one within 1 s) and the resident
//                     memory along the run. Default 1 minute; 10 for the
//                     long run.
//   tendencia [filas] a table of 1,000,000 rows (default): the time to the
//                     first byte of the trend of the whole table, of one day
//                     and of 1000 raw rows, over HTTP on 127.0.0.1: the first
//                     request (no block summaries yet) and the median of 5;
//                     the goal is under 300 ms.
//
// Without arguments: vivos 1, tendencia.

#include "acquisition/adquisicion.h"
#include "acquisition/base_datos.h"
#include "comun.h"
#include "config/ajustes_web.h"
#include "integration/integraciones.h"
#include "sim/simulador.h"
#include "web/vista_web.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QProcess>
#include <QSocketNotifier>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <map>
#include <mutex>
#include <sys/resource.h>
#include <time.h>

using namespace ombrix;

namespace {

qint64 ahoraNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return qint64(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

double mediana(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

// Hand-over instants of the readings, by "n tiempo" (the last 30 s only),
// and the delays measured, in a histogram of 0.01 ms steps: the bench's own
// memory stays the same however long it runs.
struct Registro {
    std::mutex m;
    std::map<QByteArray, qint64> entregadas;
    qint64 totalEntregadas = 0;
    std::vector<qint64> histograma = std::vector<qint64>(100001);   // the last one: 1 s or more
    qint64 demoras = 0;
    double maximaMs = 0;
    qint64 perdidas = 0;

    void llegada(const QByteArray& linea)
    {
        if (linea == "perdida") {
            ++perdidas;
            return;
        }
        const QList<QByteArray> p = linea.split(' ');
        if (p.size() != 3)
            return;
        std::lock_guard g(m);
        const auto it = entregadas.find(p[0] + ' ' + p[1]);
        if (it == entregadas.end())
            return;
        const double ms = double(p[2].toLongLong() - it->second) / 1e6;
        ++histograma[size_t(std::clamp(qint64(ms * 100), qint64(0), qint64(histograma.size() - 1)))];
        ++demoras;
        maximaMs = std::max(maximaMs, ms);
    }
    void olvidarViejas(qint64 ahora)
    {
        std::lock_guard g(m);
        for (auto it = entregadas.begin(); it != entregadas.end();)
            it = ahora - it->second > 30000000000LL ? entregadas.erase(it) : std::next(it);
    }
    double percentilMs(double p) const
    {
        qint64 acumulado = 0;
        for (size_t i = 0; i < histograma.size(); ++i)
            if ((acumulado += histograma[i]) > qint64(double(demoras) * p))
                return double(i) / 100;
        return 0;
    }
};

// The view behind a switch: it gets the readings only while on.
struct Conmutada : Oyente {
    VistaWeb* vista = nullptr;
    Registro* registro = nullptr;
    bool activa = false;
    void lectura(const LecturaPlanta& l) override
    {
        if (!activa)
            return;
        {
            std::lock_guard g(registro->m);
            if (registro->entregadas.emplace(QByteArray::number(l.instrumento) + ' ' + l.instanteIso().toLatin1(), ahoraNs()).second)
                ++registro->totalEntregadas;
        }
        vista->lectura(l);
    }
    void detener() override { vista->detener(); }
};

// The live pages, in a process of their own (as browsers elsewhere would be,
// it does not share this process's threads): each a connection to
// /api/vivo; every reading that arrives is printed as "n tiempo instant_ns"
// (CLOCK_MONOTONIC, the same clock for both processes).
int paginas(quint16 puerto, int cuantas)
{
    std::vector<QByteArray> buffers(static_cast<size_t>(cuantas));
    std::vector<std::unique_ptr<QTcpSocket>> sockets;
    int abiertas = 0;
    for (int i = 0; i < cuantas; ++i) {
        auto s = std::make_unique<QTcpSocket>();
        QTcpSocket* p = s.get();
        QByteArray* buf = &buffers[size_t(i)];
        QObject::connect(p, &QTcpSocket::readyRead, p, [p, buf] {
            *buf += p->readAll();
            qsizetype fin;
            while ((fin = buf->indexOf("\n\n")) >= 0) {
                const QByteArray m = buf->left(fin);
                buf->remove(0, fin + 2);
                if (!m.startsWith("event: lectura"))
                    continue;
                const qint64 llegada = ahoraNs();
                const qsizetype a = m.indexOf("\"instrumento\":"), t = m.indexOf("\"tiempo\":\"");
                const QByteArray n = m.mid(a + 14, m.indexOf(',', a) - a - 14);
                const QByteArray tiempo = m.mid(t + 10, m.indexOf('"', t + 10) - t - 10);
                std::printf("%s %s %lld\n", n.constData(), tiempo.constData(), (long long)llegada);
            }
        });
        QObject::connect(p, &QTcpSocket::disconnected, p, [] { std::printf("perdida\n"); });
        QObject::connect(p, &QTcpSocket::connected, p, [&abiertas] {
            if (++abiertas == 1)
                std::fflush(stdout);
        });
        p->connectToHost(QStringLiteral("127.0.0.1"), puerto);
        p->write("GET /api/vivo HTTP/1.1\r\nHost: 127.0.0.1\r\n\r\n");
        sockets.push_back(std::move(s));
    }
    // Ends when the parent closes stdin.
    QSocketNotifier fin(0, QSocketNotifier::Read);
    QObject::connect(&fin, &QSocketNotifier::activated, qApp, [] { qApp->quit(); });
    qApp->exec();
    for (auto& s : sockets)
        QObject::disconnect(s.get(), nullptr, nullptr, nullptr);
    std::fflush(stdout);
    return 0;
}

int vivos(double minutos)
{
    constexpr int kInstrumentos = 20, kPaginas = 50;
    sim::Simulador simulador;
    for (int n = 1; n <= kInstrumentos; ++n)
        simulador.agregarInstrumento(quint8(n), true);
    simulador.setDinamica(true);
    simulador.setBaudios(19200);
    simulador.setRitmo(true);
    simulador.setRetardoRespuesta(2);
    QString pty, error;
    if (!simulador.abrirPty(&pty, &error)) {
        std::fprintf(stderr, "bench-web: no line: %s\n", qPrintable(error));
        return 1;
    }
    simulador.iniciar();
    Modelo modelo;
    modelo.CantidadAparatos = quint8(kInstrumentos + 1);
    modelo.ActualizarMemoria();
    for (int n = 1; n <= kInstrumentos; ++n) {
        modelo.granini(n, QString());
        modelo.ArrayConfig[n].Tipo = 1;
        modelo.ArrayConfig[n].Habilitado = true;
        modelo.ArrayConfig[n].SalvarTabla = false;
        EstadoInstrumento& st = modelo.Estados[n];
        st.Vivo = true;
        st.Habilitado = true;
        st.Direccion = quint8(n);
    }
    modelo.Config.Puerto = pty;
    modelo.Config.BaudRate = 19200;
    modelo.Config.TiempoScan = 0;
    EnlaceModbus enlace;
    enlace.setRetries(0);
    Adquisicion adq(modelo, enlace);
    adq.pausaLecturaMs = 3;

    AjustesWeb ajustes;
    ajustes.activo = true;
    ajustes.puerto = 0;
    ajustes.clientes = kPaginas + 10;
    std::vector<web::InstrumentoWeb> lista;
    for (int n = 1; n <= kInstrumentos; ++n) {
        web::InstrumentoWeb i;
        i.n = n;
        i.programador = true;
        lista.push_back(i);
    }
    Registro registro;
    auto vista = std::make_unique<VistaWeb>(ajustes, lista, QString(), nullptr);
    if (const QString e = vista->iniciar(); !e.isEmpty()) {
        std::fprintf(stderr, "bench-web: %s\n", qPrintable(e));
        return 1;
    }
    auto conmutada = std::make_unique<Conmutada>();
    conmutada->vista = vista.get();
    conmutada->registro = &registro;
    Conmutada* web = conmutada.get();
    Integraciones integraciones(modelo, Origen::Registrador);
    integraciones.agregar(std::move(conmutada));
    integraciones.conectar(adq);

    QProcess hijo;
    hijo.start(QStringLiteral("nice"), {QStringLiteral("-n"), QStringLiteral("10"), QCoreApplication::applicationFilePath(),
                                        QStringLiteral("paginas"), QString::number(vista->puerto()),
                                        QString::number(kPaginas)});
    QByteArray llegadas;
    auto leerLlegadas = [&] {
        llegadas += hijo.readAllStandardOutput();
        const qsizetype fin = llegadas.lastIndexOf('\n');
        if (fin < 0)
            return;
        for (const QByteArray& linea : llegadas.left(fin).split('\n'))
            registro.llegada(linea);
        llegadas.remove(0, fin + 1);
    };
    QObject::connect(&hijo, &QProcess::readyReadStandardOutput, qApp, leerLlegadas);
    QElapsedTimer espera;
    espera.start();
    while (vista->cifras().vivos < kPaginas && espera.elapsed() < 10000)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);

    std::vector<double> con, sin;
    std::vector<long> memoria;
    QElapsedTimer reloj, total;
    total.start();
    QObject::connect(&adq, &Adquisicion::pasadaTerminada, qApp, [&](int numero) {
        if (numero > 2)
            (web->activa ? con : sin).push_back(double(reloj.nsecsElapsed()) / 1e6);
        web->activa = numero % 2 == 0;
        reloj.start();
        if (total.elapsed() > qint64(minutos * 60000)) {
            adq.TerminarExecute();
            qApp->quit();
        }
    });
    QTimer muestras;
    muestras.setInterval(minutos >= 5 ? 60000 : 10000);
    QObject::connect(&muestras, &QTimer::timeout, qApp, [&] {
        registro.olvidarViejas(ahoraNs());
        memoria.push_back(bench::memoriaKb("VmRSS:"));
    });
    memoria.push_back(bench::memoriaKb("VmRSS:"));
    muestras.start();
    adq.ComenzarExecute();
    qApp->exec();
    adq.esperarHilo(30000);
    QElapsedTimer ultimas;   // the last readings reach the pages
    ultimas.start();
    while (ultimas.elapsed() < 1500)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 50);
    memoria.push_back(bench::memoriaKb("VmRSS:"));
    const VistaWeb::Cifras cifras = vista->cifras();
    hijo.closeWriteChannel();
    hijo.waitForFinished(10000);
    leerLlegadas();
    integraciones.detener();
    simulador.detener();

    const qint64 esperadas = registro.totalEntregadas * kPaginas;
    const double mCon = mediana(con), mSin = mediana(sin);
    std::printf("bench-web vivos: %.1f min, %d programadores a 19200 baudios, %d paginas en vivo (SSE)\n", minutos,
                kInstrumentos, kPaginas);
    std::printf("  pasadas: %zu con la vista, %zu sin; mediana con %.1f ms, sin %.1f ms, razon %.3f (objetivo <= 1.02)\n",
                con.size(), sin.size(), mCon, mSin, mSin > 0 ? mCon / mSin : 0.0);
    std::printf("  entregas: %lld de %lld esperadas; demora mediana %.2f ms, p99 %.2f ms, maxima %.2f ms (objetivo < 1000 ms)\n",
                (long long)registro.demoras, (long long)esperadas, registro.percentilMs(0.5), registro.percentilMs(0.99),
                registro.maximaMs);
    std::printf("  cambios descartados %lld, paginas cortadas por lentas %lld, conexiones perdidas %lld\n",
                (long long)cifras.descartadas, (long long)cifras.lentos, (long long)registro.perdidas);
    std::printf("  memoria residente (kB):");
    for (long kb : memoria)
        std::printf(" %ld", kb);
    std::printf("\n");
    return 0;
}

// CPU time of this process so far, in ms (the server's threads included).
double cpuMs()
{
    rusage u {};
    ::getrusage(RUSAGE_SELF, &u);
    return (u.ru_utime.tv_sec + u.ru_stime.tv_sec) * 1000.0 + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1000.0;
}

// The time from sending a GET to the first byte of the answer, and the whole answer's size.
std::pair<double, qint64> primerByte(quint16 puerto, const QByteArray& ruta)
{
    QTcpSocket s;
    s.connectToHost(QStringLiteral("127.0.0.1"), puerto);
    s.waitForConnected(5000);
    const qint64 t0 = ahoraNs();
    s.write("GET " + ruta + " HTTP/1.1\r\nHost: 127.0.0.1\r\nConnection: close\r\n\r\n");
    s.waitForReadyRead(30000);
    const double ms = double(ahoraNs() - t0) / 1e6;
    qint64 bytes = s.readAll().size();
    while (s.waitForReadyRead(30000))
        bytes += s.readAll().size();
    return {ms, bytes};
}

QString cargaMedia()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly) ? QString::fromLatin1(f.readAll()) : QStringLiteral("?\n");
}

int tendencia(qint64 filas)
{
    QTemporaryDir dir;
    const QString ruta = dir.path() + QStringLiteral("/Tendencia.mdb");
    if (!bench::copiarPlantilla(ruta))
        return 1;
    {
        sqlite3* h = nullptr;
        sqlite3_open(ruta.toUtf8().constData(), &h);
        QElapsedTimer llenado;
        llenado.start();
        bench::generarLecturas(h, 1, filas, "L-1");
        sqlite3_close(h);
        std::printf("bench-web tendencia: %lld filas del instrumento 1 (cada 10 s desde 01/01/2025) en %.1f s\n",
                    (long long)filas, llenado.elapsed() / 1000.0);
    }
    BaseDatos escritor;   // the recorder holds the file, as in the program
    QString error;
    if (!escritor.abrir(ruta, &error)) {
        std::fprintf(stderr, "bench-web: %s\n", qPrintable(error));
        return 1;
    }
    AjustesWeb ajustes;
    ajustes.activo = true;
    ajustes.puerto = 0;
    ajustes.peticiones = 100000;
    web::InstrumentoWeb i;
    i.n = 1;
    VistaWeb vista(ajustes, {i}, ruta, nullptr);
    if (const QString e = vista.iniciar(); !e.isEmpty()) {
        std::fprintf(stderr, "bench-web: %s\n", qPrintable(e));
        return 1;
    }
    const QDateTime inicio(QDate(2025, 1, 1), QTime(0, 0));
    const QDateTime fin = inicio.addSecs(filas * 10);
    const QByteArray todo = "/api/instrumentos/1/tendencia?puntos=1000&desde=" + inicio.toString(Qt::ISODate).toLatin1()
                            + "&hasta=" + fin.toString(Qt::ISODate).toLatin1();
    const QDateTime medio = inicio.addSecs(filas * 5);
    const QByteArray dia = "/api/instrumentos/1/tendencia?puntos=1000&desde=" + medio.toString(Qt::ISODate).toLatin1()
                           + "&hasta=" + medio.addDays(1).toString(Qt::ISODate).toLatin1();
    const QByteArray crudas = "/api/instrumentos/1/lecturas?limite=1000&desde=" + medio.toString(Qt::ISODate).toLatin1()
                              + "&hasta=" + fin.toString(Qt::ISODate).toLatin1();
    std::printf("%-30s %11s %11s %9s %11s %9s\n", "consulta", "primera_ms", "mediana_ms", "max_ms", "cpu_ms", "bytes");
    for (const auto& [nombre, ruta] : {std::pair {"tendencia de toda la tabla", todo}, std::pair {"tendencia de un dia", dia},
                                       std::pair {"1000 filas crudas", crudas}}) {
        std::vector<double> ms, cpu;
        qint64 bytes = 0;
        for (int k = 0; k < 5; ++k) {
            const double c0 = cpuMs();
            const auto [t, b] = primerByte(vista.puerto(), ruta);
            cpu.push_back(cpuMs() - c0);
            ms.push_back(t);
            bytes = b;
        }
        std::printf("%-30s %11.1f %11.1f %9.1f %11.1f %9lld\n", nombre, ms.front(), mediana(ms),
                    *std::max_element(ms.begin(), ms.end()), mediana(cpu), (long long)bytes);
    }
    std::printf("(objetivo: primer byte de la tendencia de 1M filas < 300 ms. primera: sin resumenes de bloques\n"
                " todavia (lee cada fila, en dos mitades a la vez); las otras 4 toman los bloques resumidos. cpu_ms:\n"
                " tiempo de CPU del proceso en la consulta, todos sus hilos; con la maquina cargada por otros el\n"
                " tiempo de pared crece, no la CPU)\n");
    std::printf("carga media de la maquina: %s", qPrintable(cargaMedia()));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments().mid(1);
    if (a.value(0) == QLatin1String("vivos"))
        return vivos(a.size() > 1 ? a[1].toDouble() : 1.0);
    if (a.value(0) == QLatin1String("paginas"))
        return paginas(quint16(a.value(1).toUInt()), a.value(2).toInt());
    if (a.value(0) == QLatin1String("tendencia"))
        return tendencia(a.size() > 1 ? a[1].toLongLong() : 1000000);
    if (!a.isEmpty()) {
        std::fprintf(stderr, "bench-web [vivos [minutos] | tendencia [filas]]\n");
        return 2;
    }
    return vivos(1.0) | tendencia(1000000);
}
