// Longest stall of the window thread's event loop while acquiring. Everything
// the main thread does during acquisition runs here as the program runs it:
// the instruments window with its 20 panels (shown, every reading put on its
// panel), the lamps on the tool bar, the status bar, the one-second tick and
// the recorder writing one row per reading into a copy of the template
// database; the polling thread owns the line to the instrument simulator on a
// pseudo-terminal paced at 9600 bit/s.
//
// A 1 ms timer (Qt::PreciseTimer) on the main thread measures the gap between
// two consecutive timeouts, from the end of the first pass for a fixed time.
// The largest gap is the longest the window did not answer; the target is
// 50 ms.
//
// Two runs, each with a fresh line, window and database:
//   1. all 20 instruments answering;
//   2. instrument 7 falls silent once the first pass is over, so the measured
//      time holds its whole reading timing out until its communication alarm
//      latches (TimeOuts 500, each request sent once: the wait for a reply is
//      500 ms plus 50 ms per byte expected, some 0.85 s per request).
//
// Usage: bench-bloqueo [--seconds N (default 20)] [--dir DIR (where the
// database copies go; default a temporary folder)]
// The template database is taken from $OMBRIX_BIN_DIR or the program's folder.
// Without QT_QPA_PLATFORM the windows are drawn off screen.

#include "acquisition/adquisicion.h"
#include "acquisition/base_datos.h"
#include "acquisition/registro.h"
#include "instruments/inst_form.h"
#include "link/ombrix_comm.h"
#include "sim/simulador.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QLabel>
#include <QLocale>
#include <QMainWindow>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <vector>

using namespace ombrix;

namespace {

constexpr int kInstrumentos = 20;
constexpr int kBaudios = 9600;
constexpr int kSilencioso = 7;
constexpr double kObjetivoMs = 50.0;
// The first pass takes some 6 s at 9600 bit/s; past this something is wrong.
constexpr int kEsperaPrimeraPasadaMs = 60000;

struct Medida {
    bool valida = false;
    QString error;
    int pasadas = 0;            // passes completed within the measured time
    int filas = 0;              // rows stored within the measured time
    int muestras = 0;           // timer gaps measured
    double maximoMs = 0;        // longest gap
    double p99Ms = 0;           // 99th percentile of the gaps
    double escrituraMaxMs = 0;  // longest single row write on the main thread
    // Instrument 7's reading while it timed out (run 2 only).
    bool silencio = false;
    bool lecturaSilenciosa = false;   // its reading began and ended within the measured time
    double lecturaSilenciosaMs = 0;
    int peticionesFallidas = 0;
    bool enganchada = false;
    double maximoDuranteSilencioMs = 0;
};

// One run: line, model, window, recorder and acquisition built afresh, torn
// down at its end (the window first, as the main window does).
Medida medir(bool silencio, int segundos, const QString& modeloMod, const QString& carpeta, int numero)
{
    Medida m;
    m.silencio = silencio;

    sim::Simulador simulador;
    for (int n = 1; n <= kInstrumentos; ++n)
        simulador.agregarInstrumento(quint8(n), true);
    simulador.setBaudios(kBaudios);
    simulador.setRitmo(true);
    QString pty, error;
    if (!simulador.abrirPty(&pty, &error)) {
        m.error = QStringLiteral("no pseudo-terminal: ") + error;
        return m;
    }
    simulador.iniciar();

    const QString ruta = carpeta + QStringLiteral("/Bloqueo%1.mdb").arg(numero);
    QFile::remove(ruta);
    if (!QFile::copy(modeloMod, ruta)) {
        m.error = QStringLiteral("cannot copy the template ") + modeloMod;
        return m;
    }
    QFile::setPermissions(ruta, QFile::ReadOwner | QFile::WriteOwner);
    BaseDatos base;
    if (!base.abrir(ruta, &error)) {
        m.error = QStringLiteral("cannot open ") + ruta + QStringLiteral(": ") + error;
        return m;
    }

    Modelo modelo;
    modelo.CantidadAparatos = quint8(kInstrumentos + 1);
    modelo.ActualizarMemoria();
    for (int n = 1; n <= kInstrumentos; ++n) {
        modelo.granini(n, QString());   // defaults: every quantity asked for
        modelo.ArrayConfig[n].Tipo = 1;
        modelo.ArrayConfig[n].Habilitado = true;
        modelo.ArrayConfig[n].SalvarTabla = true;
        modelo.ArrayConfig[n].Barrido = 1;
        modelo.Avanzadas1[n].FueraRango2 = sim::reg::FueraRango;
    }
    modelo.Config.Puerto = pty;
    modelo.Config.BaudRate = kBaudios;
    modelo.Config.TiempoScan = 0;
    modelo.Config.Pedir_Partida = false;
    modelo.Cargando = true;

    // The line as the program sets it up: each request sent once.
    EnlaceModbus enlace;
    enlace.setRetries(0);
    enlace.setTimeOuts(500);

    // Rows go in on the main thread; the longest single write is kept.
    QElapsedTimer reloj;
    bool midiendo = false;
    Registrador registrador(base, modelo);
    Adquisicion adq(modelo, enlace);
    adq.registrar = [&](int n, const std::array<QString, 7>& lecturas, const QString& fecha, const QString& hora,
                        QString* e) {
        QElapsedTimer t;
        t.start();
        const bool ok = registrador.ActualizarTabla(n, lecturas, modelo.Estados[n].Partida, fecha, hora, e);
        if (midiendo)
            m.escrituraMaxMs = std::max(m.escrituraMaxMs, double(t.nsecsElapsed()) / 1e6);
        return ok;
    };
    QObject::connect(&adq, &Adquisicion::nuevaRonda, &registrador, &Registrador::marcarNuevaRonda);

    RegistroVentanas ventanas;
    ContextoInstrumentos ctx(modelo, ventanas, enlace, adq.EstadoPuerto);

    // The main window: the instruments window in its area, the lamps on the
    // tool bar, the status bar and the one-second tick.
    QMainWindow principal;
    principal.resize(1440, 900);
    auto* area = new QMdiArea(&principal);
    area->setBackground(QColor(58, 68, 84));
    principal.setCentralWidget(area);
    QToolBar* herramientas = principal.addToolBar(QStringLiteral("Herramientas"));
    herramientas->setMovable(false);
    auto* lamparas = new TOmbrixComm(&enlace, herramientas);
    QAction* accionLamparas = herramientas->addWidget(lamparas);
    accionLamparas->setVisible(false);
    QLabel* panelEstado[2] = {new QLabel(&principal), new QLabel(&principal)};
    for (QLabel* l : panelEstado) {
        l->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        principal.statusBar()->addWidget(l, 1);
    }
    QObject::connect(&adq, &Adquisicion::estado, panelEstado[0], &QLabel::setText);

    QTimer timer1;
    timer1.setInterval(1000);
    QObject::connect(&timer1, &QTimer::timeout, &principal, [&] {
        const QDateTime ahora = QDateTime::currentDateTime();
        panelEstado[1]->setText(QStringLiteral("Día:") + ahora.toString(QStringLiteral("dd/MM/yyyy"))
                                + QStringLiteral("    Hora:") + ahora.toString(QStringLiteral("hh:mm:ss")));
        adq.Timer1Timer();
    });

    ctx.estado = [&](const QString& t) { panelEstado[0]->setText(t); };
    ctx.iniciarTimer1 = [&] { timer1.start(); };
    ctx.ventanaPrincipal = &principal;
    ctx.encolar = [&](QObject* receptor, TrabajoLinea trabajo) { return adq.encolar(receptor, std::move(trabajo)); };

    principal.show();
    auto* instrumentos = new TInstForm(ctx);
    QMdiSubWindow* sub = area->addSubWindow(instrumentos);
    instrumentos->show();
    instrumentos->ajustarAVentanaPrincipal();
    sub->show();
    for (int n = 1; n <= kInstrumentos; ++n) {
        EstadoInstrumento& st = modelo.Estados[n];
        st.Direccion = quint8(n);
        st.Habilitado = true;
        st.Vivo = true;
    }

    // Readings reach the panels as in the main window.
    QObject::connect(&adq, &Adquisicion::consultando, &principal, [&](int n) {
        if (TFormaInstP* p = instrumentos->panel(n))
            p->consultando();
    });
    QObject::connect(&adq, &Adquisicion::lecturaHecha, &principal, [&](int n, const ResultadoLectura& r) {
        if (TFormaInstP* p = instrumentos->panel(n))
            p->mostrarLectura(r);
    });
    QObject::connect(&adq, &Adquisicion::alarmaComRestablecida, &principal, [&](int n) {
        if (TFormaInstP* p = instrumentos->panel(n))
            p->alarmaRestablecida();
    });

    // The measurement: the gaps of the 1 ms timer, each with the time it ended.
    const qint64 duracionNs = qint64(segundos) * 1000000000LL;
    std::vector<qint64> finGap, gap;
    finGap.reserve(size_t(segundos) * 1100);
    gap.reserve(size_t(segundos) * 1100);
    qint64 anterior = 0;
    qint64 inicioSilencio = -1, finSilencio = -1;
    QEventLoop bucle;
    QTimer medidor;
    medidor.setTimerType(Qt::PreciseTimer);
    medidor.setInterval(1);
    QObject::connect(&medidor, &QTimer::timeout, &bucle, [&] {
        const qint64 ahora = reloj.nsecsElapsed();
        finGap.push_back(ahora);
        gap.push_back(ahora - anterior);
        anterior = ahora;
        if (ahora >= duracionNs) {
            medidor.stop();
            midiendo = false;
            bucle.quit();
        }
    });

    QObject::connect(&adq, &Adquisicion::enLinea, &principal, [&](bool activa) {
        if (activa) {
            registrador.iniciarAdquisicion();
            accionLamparas->setVisible(true);
        } else if (!midiendo && gap.empty()) {
            m.error = QStringLiteral("acquisition did not start on ") + pty;
            bucle.quit();
        }
    });
    QObject::connect(&adq, &Adquisicion::pasadaTerminada, &principal, [&](int numero) {
        if (numero == 1 && !midiendo && gap.empty()) {
            if (silencio)
                simulador.setFalla(kSilencioso, sim::Falla::Silencio);
            midiendo = true;
            reloj.start();
            anterior = 0;
            medidor.start();
            return;
        }
        if (midiendo)
            ++m.pasadas;
    });
    QObject::connect(&adq, &Adquisicion::filaGuardada, &principal, [&](int) {
        if (midiendo)
            ++m.filas;
    });
    if (silencio) {
        QObject::connect(&adq, &Adquisicion::consultando, &principal, [&](int n) {
            if (midiendo && n == kSilencioso && inicioSilencio < 0)
                inicioSilencio = reloj.nsecsElapsed();
        });
        QObject::connect(&adq, &Adquisicion::lecturaHecha, &principal, [&](int n, const ResultadoLectura& r) {
            if (midiendo && n == kSilencioso && inicioSilencio >= 0 && finSilencio < 0) {
                finSilencio = reloj.nsecsElapsed();
                m.peticionesFallidas = r.fallas;
                m.enganchada = r.alarmaComEnganchada;
            }
        });
    }
    QTimer::singleShot(kEsperaPrimeraPasadaMs, &bucle, [&] {
        if (!midiendo && gap.empty()) {
            m.error = QStringLiteral("no pass completed within %1 s").arg(kEsperaPrimeraPasadaMs / 1000);
            bucle.quit();
        }
    });

    adq.ComenzarExecute();
    bucle.exec();
    medidor.stop();
    midiendo = false;
    adq.TerminarExecute();
    adq.esperarHilo(10000);
    simulador.detener();
    if (!m.error.isEmpty() || gap.empty())
        return m;

    m.valida = true;
    m.muestras = int(gap.size());
    std::vector<qint64> orden = gap;
    std::sort(orden.begin(), orden.end());
    m.maximoMs = double(orden.back()) / 1e6;
    const size_t i99 = size_t(std::ceil(0.99 * double(orden.size()))) - 1;
    m.p99Ms = double(orden[std::min(i99, orden.size() - 1)]) / 1e6;
    if (silencio && inicioSilencio >= 0 && finSilencio >= 0) {
        m.lecturaSilenciosa = true;
        m.lecturaSilenciosaMs = double(finSilencio - inicioSilencio) / 1e6;
        // Every gap that overlaps the reading of the silent instrument.
        for (size_t i = 0; i < gap.size(); ++i)
            if (finGap[i] > inicioSilencio && finGap[i] - gap[i] < finSilencio)
                m.maximoDuranteSilencioMs = std::max(m.maximoDuranteSilencioMs, double(gap[i]) / 1e6);
    }
    return m;
}

void uso()
{
    std::fprintf(stderr, "usage: bench-bloqueo [--seconds N] [--dir DIR]\n");
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    int segundos = 20;
    QString carpeta;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--seconds") == 0 && i + 1 < argc) {
            segundos = std::atoi(argv[++i]);
            if (segundos < 1) {
                uso();
                return 2;
            }
        } else if (std::strcmp(argv[i], "--dir") == 0 && i + 1 < argc) {
            carpeta = QString::fromLocal8Bit(argv[++i]);
        } else {
            uso();
            return 2;
        }
    }

    QApplication app(argc, argv);
    // Numbers are written and read with "." whatever the machine's locale.
    QLocale::setDefault(QLocale::c());

    QString dirBin = qEnvironmentVariable("OMBRIX_BIN_DIR");
    if (dirBin.isEmpty())
        dirBin = QCoreApplication::applicationDirPath();
    const QString modeloMod = dirBin + QStringLiteral("/Modelo.mod");
    if (!QFile::exists(modeloMod)) {
        std::fprintf(stderr, "bench-bloqueo: no template database at %s\n", qPrintable(modeloMod));
        return 1;
    }
    QTemporaryDir temporal;
    if (carpeta.isEmpty()) {
        if (!temporal.isValid()) {
            std::fprintf(stderr, "bench-bloqueo: no temporary folder\n");
            return 1;
        }
        carpeta = temporal.path();
    } else if (!QDir().mkpath(carpeta)) {
        std::fprintf(stderr, "bench-bloqueo: cannot create %s\n", qPrintable(carpeta));
        return 1;
    }

    std::printf("bench-bloqueo: %d programmers at %d bit/s (paced), 14 requests each, time-out 500 ms, no retries;\n"
                "  window with %d panels, lamps and status bar (%s), rows every second per instrument into %s;\n"
                "  largest gap of a 1 ms timer on the window thread over %d s from the first completed pass,"
                " target %.0f ms\n",
                kInstrumentos, kBaudios, kInstrumentos, qPrintable(QGuiApplication::platformName()),
                qPrintable(carpeta), segundos, kObjetivoMs);
    std::fflush(stdout);

    const Medida medidas[2] = {medir(false, segundos, modeloMod, carpeta, 1),
                               medir(true, segundos, modeloMod, carpeta, 2)};
    const char* nombres[2] = {"all answering", "7 silent"};

    std::printf("%-14s %7s %6s %13s %11s %8s %7s %15s %8s\n", "run", "passes", "rows", "max_stall_ms", "p99_gap_ms",
                "verdict", "max/50", "row_write_max", "samples");
    bool fallo = false;
    for (int k = 0; k < 2; ++k) {
        const Medida& m = medidas[k];
        if (!m.valida) {
            std::printf("%-14s not measured: %s\n", nombres[k], qPrintable(m.error));
            fallo = true;
            continue;
        }
        std::printf("%-14s %7d %6d %13.1f %11.2f %8s %7.2f %15.1f %8d\n", nombres[k], m.pasadas, m.filas, m.maximoMs,
                    m.p99Ms, m.maximoMs <= kObjetivoMs ? "ok" : "OVER", m.maximoMs / kObjetivoMs, m.escrituraMaxMs,
                    m.muestras);
    }
    const Medida& s = medidas[1];
    if (s.valida) {
        if (s.lecturaSilenciosa)
            std::printf("instrument %d: its reading took %.0f ms within the measured time (%d quantities failed, "
                        "alarm %s); largest gap meanwhile %.1f ms\n",
                        kSilencioso, s.lecturaSilenciosaMs, s.peticionesFallidas,
                        s.enganchada ? "latched" : "not latched", s.maximoDuranteSilencioMs);
        else
            std::printf("instrument %d: its reading did not both begin and end within the measured time "
                        "(lengthen --seconds)\n",
                        kSilencioso);
    }
    bool sobre = false;
    for (const Medida& m : medidas)
        sobre = sobre || (m.valida && m.maximoMs > kObjetivoMs);
    std::printf("%s (max_stall_ms / %.0f ms: above 1 is over the target)\n",
                sobre ? "OVER the 50 ms target" : "within the 50 ms target", kObjetivoMs);
    return fallo ? 1 : 0;
}
