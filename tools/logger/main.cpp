// ombrix-logger: polls and records the instruments without any window.
//
//   ombrix-logger [--db FILE] [--duration SECONDS] [--partida CODE]
//
// It loads the settings file of the data root, opens the database given by
// --db (else the first database of Bases.lst), polls every enabled
// instrument and records those whose recording is switched on, free or
// synchronised as the settings say. It prints one status line per pass and
// stops after --duration seconds, or on SIGINT/SIGTERM once the row in flight
// is stored; the last line gives the rows recorded and the peak memory.

#include "acquisition/adquisicion.h"
#include "acquisition/base_datos.h"
#include "acquisition/registro.h"
#include "config/dialogos.h"
#include "config/modelo.h"
#include "config/perfil.h"
#include "config/rutas.h"
#include "link/modbus.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <unistd.h>

using namespace ombrix;

namespace {
int tuberiaSenal[2] = {-1, -1};

void alRecibirSenal(int)
{
    const char c = 1;
    [[maybe_unused]] auto r = ::write(tuberiaSenal[1], &c, 1);
}

QString primeraBaseDeLaLista()
{
    QFile f(rutaListaBases());
    if (!f.open(QIODevice::ReadOnly))
        return {};
    for (QByteArray linea : f.readAll().split('\n')) {
        linea = linea.trimmed();
        if (!linea.isEmpty() && linea != "<Mas archivos>")
            return QString::fromUtf8(linea);
    }
    return {};
}

void imprimir(const QString& s)
{
    std::fprintf(stdout, "%s\n", qPrintable(s));
    std::fflush(stdout);
}

// Peak resident memory of this process so far, in kB (Linux counts ru_maxrss in kB).
long memoriaPicoKb()
{
    rusage uso {};
    return ::getrusage(RUSAGE_SELF, &uso) == 0 ? uso.ru_maxrss : -1;
}

void imprimirError(const QString& s)
{
    std::fprintf(stderr, "ombrix-logger: %s\n", qPrintable(s));
    std::fflush(stderr);
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ombrix-logger"));

    QCommandLineParser opciones;
    opciones.setApplicationDescription(QStringLiteral("Polls the instruments and records their readings without a screen."));
    opciones.addHelpOption();
    opciones.addOption({QStringLiteral("db"), QStringLiteral("Database file (default: the first of Bases.lst)."), QStringLiteral("FILE")});
    opciones.addOption({QStringLiteral("duration"), QStringLiteral("Stop after this many seconds."), QStringLiteral("SECONDS")});
    opciones.addOption({QStringLiteral("partida"), QStringLiteral("Batch code written with every row."), QStringLiteral("CODE")});
    opciones.process(app);

    int duracion = 0;
    if (opciones.isSet(QStringLiteral("duration"))) {
        bool ok = false;
        duracion = opciones.value(QStringLiteral("duration")).toInt(&ok);
        if (!ok || duracion <= 0) {
            imprimirError(QStringLiteral("--duration takes a positive whole number of seconds"));
            return 2;
        }
    }

    Modelo modelo;
    modelo.CantidadAparatos = 1;
    modelo.RutaIni = rutaIniPorDefecto();
    modelo.CargarIni();
    modelo.Cargando = false;

    const QString rutaBase = opciones.isSet(QStringLiteral("db")) ? opciones.value(QStringLiteral("db")) : primeraBaseDeLaLista();
    if (rutaBase.isEmpty()) {
        imprimirError(QStringLiteral("no database given (--db) and none in ") + rutaListaBases());
        return 1;
    }
    BaseDatos base;
    QString error;
    if (!base.abrir(rutaBase, &error)) {
        imprimirError(QStringLiteral("cannot open the database ") + rutaBase + QStringLiteral(": ") + error);
        return 1;
    }

    const QString partida = opciones.value(QStringLiteral("partida"));
    for (int n = 1; n < modelo.CantidadAparatos; ++n) {
        EstadoInstrumento& st = modelo.Estados[n];
        st.Vivo = true;
        st.Direccion = modelo.ArrayConfig[n].ID;
        st.Habilitado = modelo.ArrayConfig[n].Habilitado;
        st.Titulo = modelo.ArrayConfig[n].Titulo;
        st.Unidad = modelo.ArrayConfig[n].Unidad;
        st.Partida = partida;
        if (modelo.ArrayConfig[n].Tipo == 0) {
            modelo.Avanzadas1[n].PCheckNProg = false;
            modelo.Avanzadas1[n].PCheckNSeg = false;
            modelo.Avanzadas1[n].PCheckTemp = false;
        }
    }

    EnlaceModbus enlace;
    enlace.setRetries(0);
    const Perfil perfil(modelo.RutaIni);
    enlace.setDispositivoConfigurado([&perfil](const QString& nombre) {
        return perfil.leerTexto(QStringLiteral("Puertos"), nombre, QString());
    });

    Registrador registrador(base, modelo);
    Adquisicion adq(modelo, enlace);
    adq.registrar = [&](int n, const std::array<QString, 7>& lecturas, const QString& fecha, const QString& hora,
                        QString* err) { return registrador.ActualizarTabla(n, lecturas, modelo.Estados[n].Partida, fecha, hora, err); };
    QObject::connect(&adq, &Adquisicion::nuevaRonda, &app, [&] { registrador.marcarNuevaRonda(); });
    QObject::connect(&adq, &Adquisicion::falloRegistro, &app, [](const QString& m) {
        imprimirError(QStringLiteral("cannot record: ") + m + QStringLiteral(" (polling goes on)"));
    });
    QObject::connect(&adq, &Adquisicion::registroRecuperado, &app, [] { imprimir(QStringLiteral("recording works again")); });

    int filas = 0;
    QObject::connect(&adq, &Adquisicion::filaGuardada, &app, [&](int) { ++filas; });
    QStringList resumen;
    QObject::connect(&adq, &Adquisicion::lecturaHecha, &app, [&](int n, const ResultadoLectura& r) {
        resumen << QStringLiteral("%1:%2").arg(n).arg(r.Lecturas[kValorMedido].trimmed());
    });
    QObject::connect(&adq, &Adquisicion::pasadaTerminada, &app, [&](int pasada) {
        QStringList alarmas;
        for (int n = 1; n < modelo.CantidadAparatos; ++n)
            if (modelo.Estados[n].AlarmaCom)
                alarmas << QString::number(n);
        imprimir(QStringLiteral("%1 %2 pass %3: %4 rows %5%6")
                     .arg(Adquisicion::fechaTexto(QDateTime::currentDateTime()),
                          Adquisicion::horaTexto(QDateTime::currentDateTime()))
                     .arg(pasada)
                     .arg(resumen.isEmpty() ? QStringLiteral("(nothing read)") : resumen.join(QLatin1Char(' ')))
                     .arg(filas)
                     .arg(alarmas.isEmpty() ? QString() : QStringLiteral(" comm-alarm ") + alarmas.join(QLatin1Char(','))));
        resumen.clear();
    });

    // Signals reach the event loop through a pipe, so a stop never cuts a row.
    if (::pipe2(tuberiaSenal, O_CLOEXEC | O_NONBLOCK) != 0)
        return 1;
    QSocketNotifier notificador(tuberiaSenal[0], QSocketNotifier::Read);
    bool parando = false;
    auto parar = [&] {
        if (parando)
            return;
        parando = true;
        adq.TerminarExecute();
        adq.esperarHilo(60000);
        app.quit();
    };
    QObject::connect(&notificador, &QSocketNotifier::activated, &app, [&] {
        char c;
        while (::read(tuberiaSenal[0], &c, 1) > 0) {
        }
        parar();
    });
    struct sigaction sa {};
    sa.sa_handler = alRecibirSenal;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGINT, &sa, nullptr);
    ::sigaction(SIGTERM, &sa, nullptr);

    // Before the start every recording instrument is due at its first reading.
    adq.Timer1Timer();
    registrador.iniciarAdquisicion();
    // The port opens on the polling thread: the answer comes as enLinea.
    bool enMarcha = false;
    QObject::connect(&adq, &Adquisicion::enLinea, &app, [&](bool activa) {
        if (activa) {
            enMarcha = true;
            imprimir(QStringLiteral("recording into %1 from %2 (%3)")
                         .arg(rutaBase, modelo.Config.Puerto, enlace.rutaDe(modelo.Config.Puerto)));
        } else if (!enMarcha && !parando) {
            imprimirError(QStringLiteral("cannot open the serial port ") + modelo.Config.Puerto + QStringLiteral(" (")
                          + enlace.rutaDe(modelo.Config.Puerto) + QStringLiteral(")"));
            parando = true;
            app.exit(1);
        }
    });
    adq.ComenzarExecute();

    QTimer reloj;
    reloj.setInterval(1000);
    QObject::connect(&reloj, &QTimer::timeout, &adq, &Adquisicion::Timer1Timer);
    reloj.start();
    if (duracion > 0)
        QTimer::singleShot(duracion * 1000, &app, parar);

    const int codigo = app.exec();
    imprimir(QStringLiteral("stopped: %1 rows recorded, peak memory %2 kB").arg(filas).arg(memoriaPicoKb()));
    return codigo;
}
