// ombrix-logger: polls and records the instruments without any window.
//
//   ombrix-logger [--db FILE] [--duration SECONDS] [--partida CODE] [--retry SECONDS]
//   ombrix-logger --version
//
// It loads the settings file of the data root (<root>/RIvariv/Ombrix.ini),
// opens the database given by --db (else the first database of Bases.lst),
// polls every enabled instrument and records those whose recording is
// switched on, free or synchronised as the settings say. A settings file that
// is missing, empty or unreadable is reported on stderr (the defaults then
// apply), and so is every value not used as written, a line each ("ajustes:
// [General] TiempoScan=-5: fuera de 0..86400; se usa 1"); an instrument whose
// address is outside 1..247 is not polled. When no instrument is enabled,
// recording and at a valid address it refuses to run.
//
// --retry is the period of the probe sent to an instrument whose
// communication alarm latched: when it answers again the alarm is reset and
// its rows resume. 0 never probes. Without the option it is the "General"
// key "ReintentoAlarma" when that is set to a non-zero value, else 60.
//
// --mqtt publishes every reading to an MQTT broker in place of the [MQTT]
// section of the settings (src/mqtt); the password is the key "Clave" of that
// section or the variable OMBRIX_MQTT_CLAVE. Its log lines begin with "MQTT:".
//
// Standard output is the run's log, one line per change, each beginning with
// the date and time: a communication alarm latched or reset, the port lost or
// back, recording failing or working again, and after every pass that stored
// rows the rows it stored ("recorded 1:25.3 2:48.0 (total 57 rows)"). Passes
// that stored nothing print nothing. It stops after --duration seconds, or on
// SIGINT/SIGTERM once the row in flight is stored; the last line gives the
// rows recorded and the peak memory ("stopped: N rows recorded, peak memory
// K kB").
//
// Exit status: 0 after a run; 1 when it cannot start (nothing to record, no
// database, the port does not open); 2 for a wrong option.

#include "acquisition/adquisicion.h"
#include "acquisition/base_datos.h"
#include "acquisition/registro.h"
#include "integration/integraciones.h"
#include "config/ajustes_mqtt.h"
#include "mqtt/temas.h"
#include "config/dialogos.h"
#include "config/modelo.h"
#include "config/perfil.h"
#include "config/rutas.h"
#include "link/modbus.h"
#include "ombrix_version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QSet>
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

// Probe period of latched instruments when neither the option nor the
// settings say otherwise.
constexpr int kReintentoPorDefecto = 60;

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

// A line of the run's log: date and time, then what happened.
void registrarEvento(const QString& s)
{
    const QDateTime ahora = QDateTime::currentDateTime();
    imprimir(Adquisicion::fechaTexto(ahora) + QLatin1Char(' ') + Adquisicion::horaTexto(ahora) + QLatin1Char(' ') + s);
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

// True when the text holds at least one "key=value" line under a "[section]"
// line, read the way Perfil reads it. Lines before the first section are not
// settings the program ever reads.
bool tieneAjustes(const QString& texto)
{
    bool enSeccion = false;
    for (const QStringView linea : QStringView(texto).split(QLatin1Char('\n'))) {
        const QStringView t = linea.trimmed();
        if (t.startsWith(QLatin1Char('[')) && t.indexOf(QLatin1Char(']')) > 0) {
            enSeccion = true;
            continue;
        }
        if (enSeccion && !t.startsWith(QLatin1Char(';')) && t.indexOf(QLatin1Char('=')) > 0)
            return true;
    }
    return false;
}

// What is wrong with the settings file, or nothing when it holds settings.
// A file that fails here is read as an empty one: every value takes its default.
QString problemaDeAjustes(const QString& ruta)
{
    const QFileInfo info(ruta);
    if (!info.exists())
        return QStringLiteral("not found");
    // Checked before opening: a fifo or a device would hold the open.
    if (!info.isFile())
        return QStringLiteral("is not a regular file");
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("cannot be read (%1)").arg(f.errorString());
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return QStringLiteral("cannot be read (%1)").arg(f.errorString());
    if (bytes.trimmed().isEmpty())
        return QStringLiteral("is empty");
    if (!tieneAjustes(Perfil::decodificar(bytes)))
        return QStringLiteral("holds no settings (no key=value line under a [section])");
    return {};
}

// Why nothing would be recorded with these settings, or nothing when some
// instrument is both enabled and recording.
QString nadaQueRegistrar(const Modelo& modelo)
{
    const int cantidad = modelo.CantidadAparatos - 1;
    if (cantidad <= 0)
        return QStringLiteral("no instrument is configured");
    for (int n = 1; n < modelo.CantidadAparatos && n < modelo.ArrayConfig.size(); ++n)
        if (modelo.ArrayConfig[n].Habilitado && modelo.ArrayConfig[n].SalvarTabla
            && direccionDeBus(modelo.ArrayConfig[n].ID))
            return {};
    return QStringLiteral("none of the %1 instrument(s) is both enabled (Habilitado) and recording (SalvarTabla)")
        .arg(cantidad);
}

QString nombreInstrumento(const Modelo& modelo, int n)
{
    const QString titulo = n < modelo.Estados.size() ? modelo.Estados[n].Titulo.trimmed() : QString();
    return titulo.isEmpty() ? QStringLiteral("instrument %1").arg(n)
                            : QStringLiteral("instrument %1 (%2)").arg(n).arg(titulo);
}

// The device's own reason for a failed open, without the path it begins with.
QString motivoApertura(const QString& error, const QString& ruta)
{
    const QString prefijo = ruta + QStringLiteral(": ");
    return error.startsWith(prefijo) ? error.mid(prefijo.size()) : error;
}
} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ombrix-logger"));
    QCoreApplication::setApplicationVersion(QStringLiteral(OMBRIX_VERSION));

    QCommandLineParser opciones;
    opciones.setApplicationDescription(QStringLiteral("Polls the instruments and records their readings without a screen."));
    opciones.addHelpOption();
    opciones.addVersionOption();
    opciones.addOption({QStringLiteral("db"), QStringLiteral("Database file (default: the first of Bases.lst)."), QStringLiteral("FILE")});
    opciones.addOption({QStringLiteral("duration"), QStringLiteral("Stop after this many seconds."), QStringLiteral("SECONDS")});
    opciones.addOption({QStringLiteral("partida"), QStringLiteral("Batch code written with every row."), QStringLiteral("CODE")});
    opciones.addOption({QStringLiteral("retry"),
                        QStringLiteral("Seconds between probes of an instrument whose communication alarm latched; "
                                       "0 never probes (default: ReintentoAlarma of the settings when set, else 60)."),
                        QStringLiteral("SECONDS")});
    opciones.addOption({QStringLiteral("mqtt"),
                        QStringLiteral("Publica las lecturas en el broker MQTT mqtt://[usuario@]servidor[:puerto][/prefijo] "
                                       "(en lugar de la sección [MQTT] de los ajustes); la clave se toma de los ajustes "
                                       "o de la variable OMBRIX_MQTT_CLAVE, nunca de la línea de órdenes."),
                        QStringLiteral("URL")});
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
    int reintento = -1;
    if (opciones.isSet(QStringLiteral("retry"))) {
        bool ok = false;
        reintento = opciones.value(QStringLiteral("retry")).toInt(&ok);
        if (!ok || reintento < 0) {
            imprimirError(QStringLiteral("--retry takes a whole number of seconds, 0 or more (0 never probes): ")
                          + opciones.value(QStringLiteral("retry")));
            return 2;
        }
    }

    // A new data root (the first start of a service instance) gets its folder
    // and the template; one line says where.
    const RaizPreparada raizPreparada = prepararRaizDatos();
    if (const QString aviso = avisoRaizPreparada(raizPreparada); !aviso.isEmpty())
        imprimirError(raizPreparada.error.isEmpty()
                          ? QStringLiteral("new data root %1 (RIvariv created%2)")
                                .arg(raizPreparada.raiz,
                                     raizPreparada.modeloCopiado ? QStringLiteral(", template Modelo.mod copied")
                                                                 : QStringLiteral(", no template Modelo.mod found"))
                          : QStringLiteral("cannot prepare the data root %1: %2").arg(raizPreparada.raiz, raizPreparada.error));

    Modelo modelo;
    modelo.CantidadAparatos = 1;
    modelo.RutaIni = rutaIniPorDefecto();
    const QString problema = problemaDeAjustes(modelo.RutaIni);
    if (!problema.isEmpty())
        imprimirError(QStringLiteral("settings file %1 %2; running with the defaults").arg(modelo.RutaIni, problema));
    modelo.CargarIni();
    // A line for every value not used as written, before anything starts.
    for (const AvisoAjuste& a : std::as_const(modelo.Avisos))
        imprimirError(QStringLiteral("ajustes: ") + a.texto());
    AjustesMqtt ajustesMqtt = leerAjustesMqtt(Perfil(modelo.RutaIni));
    if (opciones.isSet(QStringLiteral("mqtt"))) {
        QString error;
        if (!aplicarDireccionMqtt(opciones.value(QStringLiteral("mqtt")), ajustesMqtt, &error)) {
            imprimirError(QStringLiteral("--mqtt: ") + error);
            return 2;
        }
    }

    // Refused before the database and the port are touched.
    const QString nada = nadaQueRegistrar(modelo);
    if (!nada.isEmpty()) {
        imprimirError(QStringLiteral("nothing to record: %1 in %2").arg(nada, modelo.RutaIni));
        return 1;
    }
    if (reintento < 0)
        reintento = modelo.Config.ReintentoAlarma > 0 ? modelo.Config.ReintentoAlarma : kReintentoPorDefecto;

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
        modelo.prepararInstrumento(n);
        modelo.Estados[n].Partida = partida;
    }

    EnlaceModbus enlace;
    enlace.setRetries(0);
    const Perfil perfil(modelo.RutaIni);
    enlace.setDispositivoConfigurado([&perfil](const QString& nombre) {
        return perfil.leerTexto(QStringLiteral("Puertos"), nombre, QString());
    });
    const QString rutaPuerto = enlace.rutaDe(modelo.Config.Puerto);

    Registrador registrador(base, modelo);
    Adquisicion adq(modelo, enlace);
    adq.reintentoAlarmaS = reintento;
    adq.registrar = [&](int n, const std::array<QString, 7>& lecturas, const QString& fecha, const QString& hora,
                        QString* err) { return registrador.ActualizarTabla(n, lecturas, modelo.Estados[n].Partida, fecha, hora, err); };
    QObject::connect(&adq, &Adquisicion::nuevaRonda, &app, [&] { registrador.marcarNuevaRonda(); });
    Integraciones integraciones(modelo, Origen::Registrador);
    integraciones.conectar(adq);
    QObject::connect(&integraciones, &Integraciones::aviso, &app, [&](const QString& t) { registrarEvento(t); });
    integraciones.configurarMqtt(ajustesMqtt);

    // The rows stored in the pass under way, each with the measured value of
    // the reading it holds; one line when the pass ends, none when it stored nothing.
    int filas = 0;
    QVector<QString> ultimoValor(modelo.CantidadAparatos);
    QStringList guardadasEnPasada;
    QObject::connect(&adq, &Adquisicion::lecturaHecha, &app, [&](int n, const ResultadoLectura& r) {
        if (n >= 0 && n < ultimoValor.size())
            ultimoValor[n] = r.Lecturas[kValorMedido].trimmed();
    });
    QObject::connect(&adq, &Adquisicion::filaGuardada, &app, [&](int n) {
        ++filas;
        const QString valor = n >= 0 && n < ultimoValor.size() ? ultimoValor[n] : QString();
        guardadasEnPasada << QStringLiteral("%1:%2").arg(n).arg(valor.isEmpty() ? QStringLiteral("-") : valor);
    });
    auto informarPasada = [&] {
        if (guardadasEnPasada.isEmpty())
            return;
        registrarEvento(QStringLiteral("recorded %1 (total %2 rows)").arg(guardadasEnPasada.join(QLatin1Char(' '))).arg(filas));
        guardadasEnPasada.clear();
    };
    QObject::connect(&adq, &Adquisicion::pasadaTerminada, &app, informarPasada);

    // Only changes are printed: every state below is told once when it
    // begins and once when it ends, however often the acquisition repeats it.
    bool registroFallando = false;
    QObject::connect(&adq, &Adquisicion::falloRegistro, &app, [&](const QString& m) {
        if (registroFallando)
            return;
        registroFallando = true;
        registrarEvento(QStringLiteral("recording failing: ") + m + QStringLiteral(" (polling goes on)"));
    });
    QObject::connect(&adq, &Adquisicion::registroRecuperado, &app, [&] {
        if (!registroFallando)
            return;
        registroFallando = false;
        registrarEvento(QStringLiteral("recording works again"));
    });
    bool puertoPerdido = false;
    QObject::connect(&adq, &Adquisicion::puertoPerdido, &app, [&](const QString& m) {
        if (puertoPerdido)
            return;
        puertoPerdido = true;
        // The pass the loss cut short does not end: its rows are told first.
        informarPasada();
        registrarEvento(QStringLiteral("port lost: ") + m);
    });
    QObject::connect(&adq, &Adquisicion::puertoRecuperado, &app, [&] {
        if (!puertoPerdido)
            return;
        puertoPerdido = false;
        registrarEvento(QStringLiteral("port back: %1 (%2)").arg(modelo.Config.Puerto, rutaPuerto));
    });
    QSet<int> enganchados;
    QObject::connect(&adq, &Adquisicion::alarmaComEnganchada, &app, [&](int n) {
        if (enganchados.contains(n))
            return;
        enganchados.insert(n);
        registrarEvento(QStringLiteral("comm alarm latched: %1 does not answer").arg(nombreInstrumento(modelo, n)));
    });
    QObject::connect(&adq, &Adquisicion::alarmaComRestablecida, &app, [&](int n) {
        if (!enganchados.remove(n))
            return;
        registrarEvento(QStringLiteral("comm alarm reset: %1 answers again").arg(nombreInstrumento(modelo, n)));
    });

    // Signals reach the event loop through a pipe, so a stop never cuts a row.
    if (::pipe2(tuberiaSenal, O_CLOEXEC | O_NONBLOCK) != 0) {
        imprimirError(QStringLiteral("cannot set up the stop signals"));
        return 1;
    }
    QSocketNotifier notificador(tuberiaSenal[0], QSocketNotifier::Read);
    bool parando = false;
    bool fallaInicio = false;
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
    // The port opens on the polling thread: the answer comes as enLinea. On
    // failure the acquisition has already shown its two messages on stderr.
    bool enMarcha = false;
    QObject::connect(&adq, &Adquisicion::enLinea, &app, [&](bool activa) {
        if (activa) {
            enMarcha = true;
            imprimir(QStringLiteral("recording into %1 from %2 (%3), retry %4")
                         .arg(rutaBase, modelo.Config.Puerto, rutaPuerto,
                              reintento > 0 ? QStringLiteral("%1 s").arg(reintento) : QStringLiteral("off")));
        } else if (!enMarcha && !parando) {
            // The polling thread made its last open before telling this one: the
            // error it left is read after it.
            const QString motivo = enlace.ultimoFallo() == FalloApertura::NoExiste
                                       ? QStringLiteral("el dispositivo no existe")
                                       : motivoApertura(enlace.ultimoError(), rutaPuerto);
            QString consejo;
            if (enlace.ultimoFallo() == FalloApertura::SinPermiso) {
                const QString usuario = EnlaceModbus::usuarioActual();
                consejo = QStringLiteral("; the user %1 may not open it: add it to the group dialout "
                                         "(sudo adduser %1 dialout) and log in again, or restart the service")
                              .arg(usuario);
            }
            imprimirError(QStringLiteral("cannot open the serial port %1 (%2)").arg(modelo.Config.Puerto, rutaPuerto)
                          + (motivo.isEmpty() ? QString() : QStringLiteral(": ") + motivo) + consejo);
            parando = true;
            fallaInicio = true;
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
    if (fallaInicio)
        return codigo;
    // Rows of a pass the stop cut short.
    informarPasada();
    imprimir(QStringLiteral("stopped: %1 rows recorded, peak memory %2 kB").arg(filas).arg(memoriaPicoKb()));
    return codigo;
}
