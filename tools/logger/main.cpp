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
// --central forwards every stored row to the plant's central PostgreSQL
// database in place of the [Central] section (src/central), as line --linea;
// the password is the key "Clave" of that section, OMBRIX_CENTRAL_CLAVE, or
// libpq's PGPASSWORD / PGPASSFILE. Its log lines begin with "Base central".
//
// --http serves the read-only web view of the line (src/web) on ADDRESS:PORT
// in place of the [Web] section of the settings; a port alone listens on
// 127.0.0.1. Its log lines begin with "Web:". --web-clave reads a password
// on standard input and prints the hash to write as the key "Clave" of [Web].
//
// Standard output is the run's log, one line per change, each beginning with
// the date and time: a communication alarm latched or reset, the port lost or
// back, recording failing or working again, and after every pass that stored
// rows the rows it stored ("registradas 1:25.3 2:48.0 (total 57 filas)").
// Passes that stored nothing print nothing. It stops after --duration
// seconds, or on SIGINT/SIGTERM once the row in flight is stored; the last
// line gives the rows recorded and the peak memory ("detenido: N filas
// registradas, memoria máxima K kB").
//
// Under systemd (Type=notify) it says READY=1 once the port is open, keeps a
// one-line STATUS= and pets the watchdog after every pass; it raises the
// unit's watchdog period to three times the longest pass its settings allow.
//
// Exit status: 0 after a run; 1 when it fails while starting or running (the
// port does not open, the database is held by another program); 2 for a
// wrong option; 3 for settings that cannot run (nothing to record, no
// database named, the database file does not exist): the service unit does
// not restart after 2 or 3.

#include "acquisition/adquisicion.h"
#include "acquisition/base_datos.h"
#include "acquisition/registro.h"
#include "integration/integraciones.h"
#include "events/registro_eventos.h"
#include "config/ajustes_mqtt.h"
#include "config/ajustes_central.h"
#include "central/servidor_central.h"
#include "mqtt/temas.h"
#include "config/ajustes_web.h"
#include "web/clave_web.h"
#include "web/servidor_web.h"
#include "config/dialogos.h"
#include "config/modelo.h"
#include "config/perfil.h"
#include "config/rutas.h"
#include "link/modbus.h"
#include "ombrix_version.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSet>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <sys/resource.h>
#include <systemd/sd-daemon.h>
#include <unistd.h>

using namespace ombrix;

namespace {
int tuberiaSenal[2] = {-1, -1};

// Exit codes, as the help and the manual page give them.
constexpr int kSalidaFallo = 1;
constexpr int kSalidaArgumentos = 2;
constexpr int kSalidaConfiguracion = 3;

const char* const kAyuda =
    "Uso: ombrix-logger [--db ARCHIVO] [--duration SEGUNDOS] [--partida CÓDIGO] [--retry SEGUNDOS]\n"
    "                   [--mqtt URL] [--central URL [--linea NOMBRE]]\n"
    "                   [--http [DIRECCIÓN:]PUERTO]\n"
    "       ombrix-logger --web-clave\n"
    "Sondea los instrumentos y registra sus lecturas sin pantalla.\n"
    "\n"
    "Lee los ajustes de la raíz de datos ($OMBRIX_HOME/RIvariv/Ombrix.ini) y registra\n"
    "cada instrumento habilitado cuyo registro está activado.\n"
    "\n"
    "Opciones:\n"
    "  --db ARCHIVO          Base de datos (por defecto, la primera de Bases.lst).\n"
    "  --duration SEGUNDOS   Se detiene tras esos segundos.\n"
    "  --partida CÓDIGO      Código de partida escrito en cada fila.\n"
    "  --retry SEGUNDOS      Segundos entre sondeos de un instrumento con la alarma de\n"
    "                        comunicación enganchada; 0 no sondea nunca (por defecto,\n"
    "                        ReintentoAlarma de los ajustes si está puesto, si no 60).\n"
    "  --mqtt URL            Publica las lecturas en el broker MQTT\n"
    "                        mqtt://[usuario@]servidor[:puerto][/prefijo] (en lugar de la\n"
    "                        sección [MQTT] de los ajustes); la clave se toma de los ajustes\n"
    "                        o de la variable OMBRIX_MQTT_CLAVE, nunca de la línea de órdenes.\n"
    "  --central URL         Envía cada fila registrada a la base central PostgreSQL\n"
    "                        postgresql://usuario@servidor[:puerto]/base (en lugar de la\n"
    "                        sección [Central] de los ajustes); la clave se toma de los\n"
    "                        ajustes, de OMBRIX_CENTRAL_CLAVE, PGPASSWORD o PGPASSFILE,\n"
    "                        nunca de la línea de órdenes.\n"
    "  --linea NOMBRE        Nombre de esta línea en la base central (por defecto, el de\n"
    "                        los ajustes, o el equipo y el puerto).\n"
    "  --http [DIRECCIÓN:]PUERTO\n"
    "                        Sirve la vista web de la línea, solo de lectura, en esa\n"
    "                        dirección (solo el puerto: 127.0.0.1), en lugar de la\n"
    "                        sección [Web] de los ajustes.\n"
    "  --web-clave           Lee una clave de la entrada estándar e imprime su resumen,\n"
    "                        para la clave Clave de la sección [Web], y termina.\n"
    "  -h, --help            Muestra esta ayuda y termina.\n"
    "  --version             Muestra la versión y termina.\n"
    "\n"
    "Códigos de salida:\n"
    "  0   terminó bien (--duration, SIGINT o SIGTERM)\n"
    "  1   falló al arrancar o durante la marcha (el puerto no abre, la base está en uso)\n"
    "  2   argumentos incorrectos\n"
    "  3   ajustes con los que no puede funcionar (nada que registrar, ninguna base de\n"
    "      datos indicada, la base de datos no existe)\n";

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
        return QStringLiteral("no existe");
    // Checked before opening: a fifo or a device would hold the open.
    if (!info.isFile())
        return QStringLiteral("no es un archivo regular");
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        return QStringLiteral("no se puede leer (%1)").arg(f.errorString());
    const QByteArray bytes = f.readAll();
    if (f.error() != QFileDevice::NoError)
        return QStringLiteral("no se puede leer (%1)").arg(f.errorString());
    if (bytes.trimmed().isEmpty())
        return QStringLiteral("está vacío");
    if (!tieneAjustes(Perfil::decodificar(bytes)))
        return QStringLiteral("no contiene ajustes (ninguna línea clave=valor bajo una [sección])");
    return {};
}

// Why nothing would be recorded with these settings, or nothing when some
// instrument is both enabled and recording.
QString nadaQueRegistrar(const Modelo& modelo)
{
    const int cantidad = modelo.CantidadAparatos - 1;
    if (cantidad <= 0)
        return QStringLiteral("no hay ningún instrumento configurado");
    for (int n = 1; n < modelo.CantidadAparatos && n < modelo.ArrayConfig.size(); ++n)
        if (modelo.ArrayConfig[n].Habilitado && modelo.ArrayConfig[n].SalvarTabla
            && direccionDeBus(modelo.ArrayConfig[n].ID))
            return {};
    return QStringLiteral("ninguno de los %1 instrumento(s) está a la vez habilitado (Habilitado) y con registro (SalvarTabla)")
        .arg(cantidad);
}

QString nombreInstrumento(const Modelo& modelo, int n)
{
    const QString titulo = n < modelo.Estados.size() ? modelo.Estados[n].Titulo.trimmed() : QString();
    return titulo.isEmpty() ? QStringLiteral("instrumento %1").arg(n)
                            : QStringLiteral("instrumento %1 (%2)").arg(n).arg(titulo);
}

// What systemd hears from a recorder run as a Type=notify service. Outside
// one ($NOTIFY_SOCKET unset) every call does nothing.
class AvisoServicio {
public:
    AvisoServicio() { vigilado_ = sd_watchdog_enabled(0, &periodoUs_) > 0; }

    void listo(const QString& estado)
    {
        enviar("READY=1\nSTATUS=" + estado.toUtf8());
        reloj_.start();
    }
    // After a pass, or while the port is awaited: the watchdog is petted and
    // the status line renewed, at most once a second.
    void vivo(const QString& estado)
    {
        if (reloj_.isValid() && reloj_.elapsed() < 1000)
            return;
        reloj_.start();
        enviar((vigilado_ ? QByteArray("WATCHDOG=1\n") : QByteArray()) + "STATUS=" + estado.toUtf8());
    }
    void parando() { enviar("STOPPING=1"); }
    // The unit's watchdog period is raised to `us` when it is shorter: a long
    // scan period or many silent instruments make a healthy pass that long.
    void vigilarAlMenos(quint64 us)
    {
        if (vigilado_ && us > periodoUs_) {
            periodoUs_ = us;
            enviar("WATCHDOG_USEC=" + QByteArray::number(us));
        }
    }

private:
    static void enviar(const QByteArray& aviso) { sd_notify(0, aviso.constData()); }

    bool vigilado_ = false;
    uint64_t periodoUs_ = 0;
    QElapsedTimer reloj_;
};

// The longest a healthy pass can take with these settings, in ms: the wait
// between passes and, for every instrument polled, each of its requests
// timing out (sent and read, each waiting up to `espera` ms).
qint64 pasadaMasLargaMs(const Modelo& modelo, int espera)
{
    constexpr int kPeticionesPorInstrumento = 16;
    constexpr int kPausaMs = 3;
    int sondeados = 0;
    for (int n = 1; n < modelo.CantidadAparatos && n < modelo.ArrayConfig.size(); ++n)
        sondeados += modelo.ArrayConfig[n].Habilitado ? 1 : 0;
    return qint64(qMax(0, modelo.Config.TiempoScan)) * 1000
        + qint64(sondeados) * kPeticionesPorInstrumento * (2 * qint64(espera) + kPausaMs + 50);
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

    // The help, the version and the parser's refusals are our own: in
    // Spanish, and a wrong call ends with 2.
    QCommandLineParser opciones;
    opciones.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    opciones.addOption({QStringLiteral("version"), QString()});
    opciones.addOption({QStringLiteral("db"), QString(), QStringLiteral("ARCHIVO")});
    opciones.addOption({QStringLiteral("duration"), QString(), QStringLiteral("SEGUNDOS")});
    opciones.addOption({QStringLiteral("partida"), QString(), QStringLiteral("CÓDIGO")});
    opciones.addOption({QStringLiteral("retry"), QString(), QStringLiteral("SEGUNDOS")});
    opciones.addOption({QStringLiteral("mqtt"), QString(), QStringLiteral("URL")});
    opciones.addOption({QStringLiteral("central"), QString(), QStringLiteral("URL")});
    opciones.addOption({QStringLiteral("linea"), QString(), QStringLiteral("NOMBRE")});
    opciones.addOption({QStringLiteral("http"), QString(), QStringLiteral("DIRECCIÓN")});
    opciones.addOption({QStringLiteral("web-clave"), QString()});
    if (!opciones.parse(app.arguments())) {
        const QStringList desconocidas = opciones.unknownOptionNames();
        imprimirError(desconocidas.isEmpty() ? QStringLiteral("falta el valor de ") + app.arguments().constLast()
                                             : QStringLiteral("opción desconocida: ") + desconocidas.first());
        std::fputs("Pruebe «ombrix-logger --help».\n", stderr);
        return kSalidaArgumentos;
    }
    if (opciones.isSet(QStringLiteral("help"))) {
        std::fputs(kAyuda, stdout);
        return 0;
    }
    if (opciones.isSet(QStringLiteral("version"))) {
        std::printf("ombrix-logger %s\n", OMBRIX_VERSION);
        return 0;
    }
    if (opciones.isSet(QStringLiteral("web-clave"))) {
        char linea[1024];
        const bool leida = std::fgets(linea, sizeof linea, stdin) != nullptr;
        QString clave = leida ? QString::fromLocal8Bit(linea) : QString();
        while (clave.endsWith(QLatin1Char('\n')) || clave.endsWith(QLatin1Char('\r')))
            clave.chop(1);
        if (clave.isEmpty()) {
            imprimirError(QStringLiteral("--web-clave: no se leyó ninguna clave en la entrada estándar"));
            return kSalidaArgumentos;
        }
        std::printf("%s\n", qPrintable(web::resumenClave(clave)));
        return 0;
    }
    if (!opciones.positionalArguments().isEmpty()) {
        imprimirError(QStringLiteral("argumento de más: ") + opciones.positionalArguments().first());
        return kSalidaArgumentos;
    }

    int duracion = 0;
    if (opciones.isSet(QStringLiteral("duration"))) {
        bool ok = false;
        duracion = opciones.value(QStringLiteral("duration")).toInt(&ok);
        if (!ok || duracion <= 0) {
            imprimirError(QStringLiteral("--duration requiere un número entero positivo de segundos"));
            return kSalidaArgumentos;
        }
    }
    int reintento = -1;
    if (opciones.isSet(QStringLiteral("retry"))) {
        bool ok = false;
        reintento = opciones.value(QStringLiteral("retry")).toInt(&ok);
        if (!ok || reintento < 0) {
            imprimirError(QStringLiteral("--retry requiere un número entero de segundos, 0 o más (0 no sondea nunca): ")
                          + opciones.value(QStringLiteral("retry")));
            return kSalidaArgumentos;
        }
    }

    // A new data root (the first start of a service instance) gets its folder
    // and the template; one line says where.
    const RaizPreparada raizPreparada = prepararRaizDatos();
    if (const QString aviso = avisoRaizPreparada(raizPreparada); !aviso.isEmpty())
        imprimirError(aviso);

    Modelo modelo;
    modelo.CantidadAparatos = 1;
    modelo.RutaIni = rutaIniPorDefecto();
    const QString problema = problemaDeAjustes(modelo.RutaIni);
    if (!problema.isEmpty())
        imprimirError(QStringLiteral("archivo de ajustes %1 %2; se usan los valores por defecto").arg(modelo.RutaIni, problema));
    modelo.CargarIni();
    // A line for every value not used as written, before anything starts.
    for (const AvisoAjuste& a : std::as_const(modelo.Avisos))
        imprimirError(QStringLiteral("ajustes: ") + a.texto());
    AjustesMqtt ajustesMqtt = leerAjustesMqtt(Perfil(modelo.RutaIni));
    if (opciones.isSet(QStringLiteral("mqtt"))) {
        QString error;
        if (!aplicarDireccionMqtt(opciones.value(QStringLiteral("mqtt")), ajustesMqtt, &error)) {
            imprimirError(QStringLiteral("--mqtt: ") + error);
            return kSalidaArgumentos;
        }
    }
    AjustesCentral ajustesCentral = leerAjustesCentral(Perfil(modelo.RutaIni));
    if (opciones.isSet(QStringLiteral("central"))) {
        ajustesCentral.activo = true;
        ajustesCentral.url = opciones.value(QStringLiteral("central")).trimmed();
        if (const QString p = central::problemaDeUrl(ajustesCentral.url); !p.isEmpty()) {
            imprimirError(QStringLiteral("--central: ") + p);
            return kSalidaArgumentos;
        }
    }
    if (opciones.isSet(QStringLiteral("linea"))) {
        ajustesCentral.linea = opciones.value(QStringLiteral("linea")).trimmed();
        if (const QString p = problemaDeLinea(ajustesCentral.linea); !p.isEmpty()) {
            imprimirError(QStringLiteral("--linea: ") + p);
            return kSalidaArgumentos;
        }
    }

    AjustesWeb ajustesWeb = leerAjustesWeb(Perfil(modelo.RutaIni));
    if (opciones.isSet(QStringLiteral("http"))) {
        QString error;
        if (!web::aplicarDireccionWeb(opciones.value(QStringLiteral("http")), ajustesWeb, &error)) {
            imprimirError(QStringLiteral("--http: ") + error);
            return kSalidaArgumentos;
        }
    }

    // Refused before the database and the port are touched.
    const QString nada = nadaQueRegistrar(modelo);
    if (!nada.isEmpty()) {
        imprimirError(QStringLiteral("nada que registrar: %1 en %2").arg(nada, modelo.RutaIni));
        return kSalidaConfiguracion;
    }
    if (reintento < 0)
        reintento = modelo.Config.ReintentoAlarma > 0 ? modelo.Config.ReintentoAlarma : kReintentoPorDefecto;

    const QString rutaBase = opciones.isSet(QStringLiteral("db")) ? opciones.value(QStringLiteral("db")) : primeraBaseDeLaLista();
    if (rutaBase.isEmpty()) {
        imprimirError(QStringLiteral("no se indicó base de datos (--db) y no hay ninguna en ") + rutaListaBases());
        return kSalidaConfiguracion;
    }
    BaseDatos base;
    QString error;
    if (!base.abrir(rutaBase, &error)) {
        imprimirError(QStringLiteral("no se pudo abrir la base de datos ") + rutaBase + QStringLiteral(": ") + error);
        // A file that is not there will not be there at the next attempt either.
        return QFileInfo::exists(rutaBase) ? kSalidaFallo : kSalidaConfiguracion;
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
    integraciones.usarBase(base);
    integraciones.eventos().baseAbierta();
    if (!partida.isEmpty())
        anotarCambio(tipoEvento::Partida, 0, QStringLiteral("Código de partida dado al registrador"), QString(), partida);
    QObject::connect(&integraciones, &Integraciones::aviso, &app, [&](const QString& t) { registrarEvento(t); });
    integraciones.configurarMqtt(ajustesMqtt);
    integraciones.configurarCentral(ajustesCentral);
    integraciones.configurarWeb(ajustesWeb);

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
    AvisoServicio servicio;
    servicio.vigilarAlMenos(quint64(3 * pasadaMasLargaMs(modelo, enlace.TimeOuts())) * 1000);
    int registrando = 0;
    for (int n = 1; n < modelo.CantidadAparatos && n < modelo.ArrayConfig.size(); ++n)
        registrando += modelo.ArrayConfig[n].Habilitado && modelo.ArrayConfig[n].SalvarTabla ? 1 : 0;
    bool registroFallando = false;
    bool puertoPerdido = false;
    QSet<int> enganchados;
    // One line for "systemctl status": what is recorded, the port, the rows.
    auto estadoServicio = [&] {
        QString t = QStringLiteral("%1 instrumento(s) registrando desde %2 (%3), puerto %4, %5 filas")
                        .arg(registrando)
                        .arg(modelo.Config.Puerto, rutaPuerto,
                             puertoPerdido ? QStringLiteral("perdido") : QStringLiteral("abierto"))
                        .arg(filas);
        if (!enganchados.isEmpty())
            t += QStringLiteral(", %1 sin responder").arg(enganchados.size());
        if (registroFallando)
            t += QStringLiteral(", el registro falla");
        return t;
    };
    auto informarPasada = [&] {
        if (guardadasEnPasada.isEmpty())
            return;
        registrarEvento(QStringLiteral("registradas %1 (total %2 filas)").arg(guardadasEnPasada.join(QLatin1Char(' '))).arg(filas));
        guardadasEnPasada.clear();
    };
    QObject::connect(&adq, &Adquisicion::pasadaTerminada, &app, [&] {
        informarPasada();
        servicio.vivo(estadoServicio());
    });

    // Only changes are printed: every state below is told once when it
    // begins and once when it ends, however often the acquisition repeats it.
    QObject::connect(&adq, &Adquisicion::falloRegistro, &app, [&](const QString& m) {
        if (registroFallando)
            return;
        registroFallando = true;
        registrarEvento(QStringLiteral("el registro falla: ") + m + QStringLiteral(" (el sondeo sigue)"));
    });
    QObject::connect(&adq, &Adquisicion::registroRecuperado, &app, [&] {
        if (!registroFallando)
            return;
        registroFallando = false;
        registrarEvento(QStringLiteral("el registro funciona de nuevo"));
    });
    QObject::connect(&adq, &Adquisicion::puertoPerdido, &app, [&](const QString& m) {
        if (puertoPerdido)
            return;
        puertoPerdido = true;
        // The pass the loss cut short does not end: its rows are told first.
        informarPasada();
        registrarEvento(QStringLiteral("puerto perdido: ") + m);
    });
    QObject::connect(&adq, &Adquisicion::puertoRecuperado, &app, [&] {
        if (!puertoPerdido)
            return;
        puertoPerdido = false;
        registrarEvento(QStringLiteral("puerto recuperado: %1 (%2)").arg(modelo.Config.Puerto, rutaPuerto));
    });
    QObject::connect(&adq, &Adquisicion::alarmaComEnganchada, &app, [&](int n) {
        if (enganchados.contains(n))
            return;
        enganchados.insert(n);
        registrarEvento(QStringLiteral("alarma de comunicación enganchada: %1 no responde").arg(nombreInstrumento(modelo, n)));
    });
    QObject::connect(&adq, &Adquisicion::alarmaComRestablecida, &app, [&](int n) {
        if (!enganchados.remove(n))
            return;
        registrarEvento(QStringLiteral("alarma de comunicación restablecida: %1 responde de nuevo").arg(nombreInstrumento(modelo, n)));
    });

    // Signals reach the event loop through a pipe, so a stop never cuts a row.
    if (::pipe2(tuberiaSenal, O_CLOEXEC | O_NONBLOCK) != 0) {
        imprimirError(QStringLiteral("no se pudieron preparar las señales de parada"));
        return kSalidaFallo;
    }
    QSocketNotifier notificador(tuberiaSenal[0], QSocketNotifier::Read);
    bool parando = false;
    bool fallaInicio = false;
    auto parar = [&] {
        if (parando)
            return;
        parando = true;
        servicio.parando();
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
            servicio.listo(estadoServicio());
            imprimir(QStringLiteral("registrando en %1 desde %2 (%3), reintento %4")
                         .arg(rutaBase, modelo.Config.Puerto, rutaPuerto,
                              reintento > 0 ? QStringLiteral("%1 s").arg(reintento) : QStringLiteral("no")));
        } else if (!enMarcha && !parando) {
            // The polling thread made its last open before telling this one: the
            // error it left is read after it.
            const QString motivo = enlace.ultimoFallo() == FalloApertura::NoExiste
                                       ? QStringLiteral("el dispositivo no existe")
                                       : motivoApertura(enlace.ultimoError(), rutaPuerto);
            QString consejo;
            if (enlace.ultimoFallo() == FalloApertura::SinPermiso) {
                const QString usuario = EnlaceModbus::usuarioActual();
                consejo = QStringLiteral("; el usuario %1 no puede abrirlo: agréguelo al grupo dialout "
                                         "(sudo adduser %1 dialout) y vuelva a iniciar la sesión, o reinicie el servicio")
                              .arg(usuario);
            }
            // A line behind a device server is named by its address first.
            const QString linea = enlace.ultimoFallo() == FalloApertura::Servidor
                                      ? QStringLiteral("no se puede conectar con el servidor serie %2 (%1)")
                                      : QStringLiteral("no se pudo abrir el puerto serie %1 (%2)");
            imprimirError(linea.arg(modelo.Config.Puerto, rutaPuerto)
                          + (motivo.isEmpty() ? QString() : QStringLiteral(": ") + motivo) + consejo);
            parando = true;
            fallaInicio = true;
            app.exit(kSalidaFallo);
        }
    });
    adq.ComenzarExecute();

    QTimer reloj;
    reloj.setInterval(1000);
    QObject::connect(&reloj, &QTimer::timeout, &adq, &Adquisicion::Timer1Timer);
    // No pass ends while the port is missing: the wait for it is no hang.
    QObject::connect(&reloj, &QTimer::timeout, &app, [&] {
        if (puertoPerdido)
            servicio.vivo(estadoServicio());
    });
    reloj.start();
    if (duracion > 0)
        QTimer::singleShot(duracion * 1000, &app, parar);

    const int codigo = app.exec();
    if (fallaInicio)
        return codigo;
    // The listeners hand over what is pending (the central database: a few seconds at most).
    integraciones.detener();
    // Rows of a pass the stop cut short.
    informarPasada();
    imprimir(QStringLiteral("detenido: %1 filas registradas, memoria máxima %2 kB").arg(filas).arg(memoriaPicoKb()));
    return codigo;
}
