// ombrix-sim: instruments on a pseudo-terminal (or a serial device, or behind
// a device server on a TCP port) for trying the acquisition without hardware. Commands arrive on stdin, one per
// line; see usage().

#include "ombrix_version.h"
#include "sim/simulador.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <atomic>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <string>

#include <fcntl.h>
#include <poll.h>
#include <sys/stat.h>
#include <unistd.h>

using ombrix::sim::Falla;
using ombrix::sim::Simulador;

namespace {

std::mutex salidaMutex;
int senalPipe[2] = {-1, -1};

void decir(const QByteArray& linea)
{
    std::lock_guard lock(salidaMutex);
    std::fwrite(linea.constData(), 1, std::size_t(linea.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

void alRecibirSenal(int)
{
    const char c = 1;
    const int guardado = errno;
    if (::write(senalPipe[1], &c, 1) < 0) {
        // the pipe already holds a wake-up
    }
    errno = guardado;
}

// The help: on stdout when asked for, on stderr after a wrong call.
void usage(std::FILE* f)
{
    std::fputs(
        "Uso: ombrix-sim [--link RUTA] [--device RUTA | --tcp PUERTO] [--baud N] [--no-pace]\n"
        "                [--reply-delay MS] [--static] [--daemon] [--inst DIR:c|p]...\n"
        "Simula controladores (c) y programadores (p) en las direcciones de esclavo\n"
        "dadas (por defecto 1:c 2:c 3:p 4:p) en una pseudoterminal nueva e imprime\n"
        "\"PTY <ruta>\".\n"
        "\n"
        "Opciones:\n"
        "  --link RUTA          Enlace simbólico a la línea servida (se rehace al enchufar).\n"
        "  --device RUTA        Sirve un dispositivo serie existente en vez de una pseudoterminal.\n"
        "  --tcp PUERTO         Sirve como un servidor serie, en 127.0.0.1:PUERTO (0: uno libre),\n"
        "                       a un cliente a la vez; imprime \"TCP tcp://127.0.0.1:<puerto>\".\n"
        "  --baud N             Velocidad en baudios (9600 por defecto).\n"
        "  --no-pace            Responde sin el tiempo de transmisión de cada byte.\n"
        "  --reply-delay MS     Espera antes de cada respuesta (2 ms por defecto).\n"
        "  --static             Valores fijos (sin la dinámica de los hornos).\n"
        "  --daemon             No lee órdenes: corre hasta SIGINT o SIGTERM.\n"
        "  --inst DIR:c|p       Un instrumento en la dirección DIR (repetible).\n"
        "  -h, --help           Muestra esta ayuda y termina.\n"
        "  --version            Muestra la versión y termina.\n"
        "\n"
        "Órdenes por la entrada estándar (una línea de respuesta cada una):\n"
        "  fault DIR none|silent|crc|address|short|garbage\n"
        "  fault DIR late MS\n"
        "  set DIR REG VALOR         (decimal o hexadecimal 0x)\n"
        "  get DIR REG               -> VALUE <n>\n"
        "  log on|off                (imprime RX <bytes> por cada petición servida)\n"
        "  dynamics on|off\n"
        "  unplug                    cierra la pseudoterminal como un adaptador USB\n"
        "                            desenchufado (el cliente ve un corte) y quita el enlace;\n"
        "                            con --tcp, cierra la conexión y deja de escuchar\n"
        "  plug                      una pseudoterminal nueva, con el enlace hacia ella\n"
        "                            -> PTY <ruta>; con --tcp, escucha de nuevo -> TCP <dirección>\n"
        "  drop                      con --tcp: corta la conexión del cliente\n"
        "  quit\n"
        "Las respuestas empiezan por OK, ERR, PTY o VALUE.\n"
        "\n"
        "Códigos de salida:\n"
        "  0   terminó bien (quit, fin de la entrada, SIGINT o SIGTERM)\n"
        "  1   no pudo abrir la línea o crear el enlace\n"
        "  2   argumentos incorrectos\n",
        f);
}

// Decimal or 0x-hexadecimal integer within [minimo, maximo].
bool numero(const QString& texto, long minimo, long maximo, long* valor)
{
    bool ok = false;
    long v = 0;
    QString t = texto;
    bool negativo = false;
    if (t.startsWith(QLatin1Char('-'))) {
        negativo = true;
        t.remove(0, 1);
    }
    if (t.startsWith(QLatin1String("0x"), Qt::CaseInsensitive) && t.size() > 2)
        v = t.mid(2).toLong(&ok, 16);
    else if (!t.isEmpty() && t[0].isDigit())
        v = t.toLong(&ok, 10);
    if (!ok)
        return false;
    if (negativo)
        v = -v;
    if (v < minimo || v > maximo)
        return false;
    *valor = v;
    return true;
}

// Makes PATH a symbolic link to destino, replacing an earlier link (never a file).
bool enlazar(const QByteArray& ruta, const QByteArray& destino, QByteArray* error)
{
    struct stat st;
    if (lstat(ruta.constData(), &st) == 0) {
        if (!S_ISLNK(st.st_mode)) {
            *error = ruta + " existe y no es un enlace simbólico";
            return false;
        }
        if (unlink(ruta.constData()) != 0) {
            *error = ruta + ": " + std::strerror(errno);
            return false;
        }
    }
    if (symlink(destino.constData(), ruta.constData()) != 0) {
        *error = ruta + ": " + std::strerror(errno);
        return false;
    }
    return true;
}

// Removes the link, unless somebody has pointed it elsewhere.
void desenlazar(const QByteArray& ruta, const QByteArray& destino)
{
    char buf[4096];
    const ssize_t n = readlink(ruta.constData(), buf, sizeof buf - 1);
    if (n >= 0 && QByteArray(buf, int(n)) == destino)
        unlink(ruta.constData());
}

struct Estado {
    Simulador& sim;
    std::atomic<bool>& registro;
    QByteArray enlace;  // --link, empty without it
    QByteArray ruta;    // the line being served, empty while unplugged
    bool pty = true;    // false when serving a --device or over TCP
    int tcp = -1;       // the port served with --tcp, −1 without it
    bool salir = false;
};

QByteArray direccionTcp(int puerto) { return "tcp://127.0.0.1:" + QByteArray::number(puerto); }

// As a device server: unplugged, nothing listens; plugged, the same port again.
QByteArray enchufarTcp(Estado& e, bool enchufar)
{
    if (enchufar == !e.ruta.isEmpty())
        return enchufar ? "ERR already plugged" : "ERR not plugged";
    if (!enchufar) {
        e.sim.cerrarLinea();
        e.ruta.clear();
        return "OK";
    }
    QString error;
    if (!e.sim.abrirTcp(quint16(e.tcp), nullptr, &error))
        return "ERR " + error.toLocal8Bit();
    e.sim.iniciar();
    e.ruta = direccionTcp(e.tcp);
    return "TCP " + e.ruta;
}

// Pulls the adapter: the link goes first, so that a client that sees the
// hang-up no longer finds it.
QByteArray desenchufar(Estado& e)
{
    if (e.tcp >= 0)
        return enchufarTcp(e, false);
    if (!e.pty)
        return "ERR no es una pseudoterminal";
    if (e.ruta.isEmpty())
        return "ERR no está enchufado";
    if (!e.enlace.isEmpty())
        desenlazar(e.enlace, e.ruta);
    e.sim.cerrarLinea();
    e.ruta.clear();
    return "OK";
}

// Plugs the adapter back: it comes up as a new pseudo-terminal.
QByteArray enchufar(Estado& e)
{
    if (e.tcp >= 0)
        return enchufarTcp(e, true);
    if (!e.pty)
        return "ERR no es una pseudoterminal";
    if (!e.ruta.isEmpty())
        return "ERR ya está enchufado";
    QString ruta, error;
    if (!e.sim.abrirPty(&ruta, &error))
        return "ERR " + error.toLocal8Bit();
    const QByteArray nueva = ruta.toLocal8Bit();
    QByteArray fallo;
    if (!e.enlace.isEmpty() && !enlazar(e.enlace, nueva, &fallo)) {
        e.sim.cerrarLinea();
        return "ERR " + fallo;
    }
    e.sim.iniciar();
    e.ruta = nueva;
    return "PTY " + nueva;
}

// Runs one command line and returns its answer.
QByteArray orden(Estado& e, const QString& linea)
{
    const QStringList p = linea.split(QLatin1Char(' '), Qt::SkipEmptyParts);
    const QString cmd = p.value(0).toLower();
    long direccion = 0;
    auto leerDireccion = [&]() -> bool {
        return numero(p.value(1), 0, 255, &direccion) && e.sim.sirve(quint8(direccion));
    };

    if (cmd == QLatin1String("quit") && p.size() == 1) {
        e.salir = true;
        return "OK";
    }
    if (cmd == QLatin1String("unplug") && p.size() == 1)
        return desenchufar(e);
    if (cmd == QLatin1String("plug") && p.size() == 1)
        return enchufar(e);
    if (cmd == QLatin1String("drop") && p.size() == 1) {
        if (e.tcp < 0)
            return "ERR not serving over TCP";
        if (e.ruta.isEmpty())
            return "ERR not plugged";
        e.sim.cortarConexion();
        return "OK";
    }
    if (cmd == QLatin1String("log") && p.size() == 2) {
        const QString a = p[1].toLower();
        if (a != QLatin1String("on") && a != QLatin1String("off"))
            return "ERR uso: log on|off";
        e.registro.store(a == QLatin1String("on"));
        return "OK";
    }
    if (cmd == QLatin1String("dynamics") && p.size() == 2) {
        const QString a = p[1].toLower();
        if (a != QLatin1String("on") && a != QLatin1String("off"))
            return "ERR uso: dynamics on|off";
        e.sim.setDinamica(a == QLatin1String("on"));
        return "OK";
    }
    if (cmd == QLatin1String("get") && p.size() == 3) {
        long r = 0;
        if (!leerDireccion())
            return "ERR no hay instrumento en esa dirección";
        if (!numero(p[2], 0, 65535, &r))
            return "ERR registro incorrecto";
        return "VALUE " + QByteArray::number(e.sim.registro(quint8(direccion), quint16(r)));
    }
    if (cmd == QLatin1String("set") && p.size() == 4) {
        long r = 0, v = 0;
        if (!leerDireccion())
            return "ERR no hay instrumento en esa dirección";
        if (!numero(p[2], 0, 65535, &r))
            return "ERR registro incorrecto";
        // A 16-bit word, written signed or unsigned.
        if (!numero(p[3], -32768, 65535, &v))
            return "ERR valor incorrecto";
        e.sim.setRegistro(quint8(direccion), quint16(r), qint16(quint16(v & 0xFFFF)));
        return "OK";
    }
    if (cmd == QLatin1String("fault") && (p.size() == 3 || p.size() == 4)) {
        if (!leerDireccion())
            return "ERR no hay instrumento en esa dirección";
        const QString f = p[2].toLower();
        if (f == QLatin1String("late")) {
            long ms = 0;
            if (p.size() != 4 || !numero(p[3], 0, 600000, &ms))
                return "ERR uso: fault DIR late MS";
            e.sim.setFalla(quint8(direccion), Falla::Tarde, int(ms));
            return "OK";
        }
        if (p.size() != 3)
            return "ERR falla desconocida";
        Falla falla;
        if (f == QLatin1String("none"))
            falla = Falla::Ninguna;
        else if (f == QLatin1String("silent"))
            falla = Falla::Silencio;
        else if (f == QLatin1String("crc"))
            falla = Falla::CrcMala;
        else if (f == QLatin1String("address"))
            falla = Falla::DireccionMala;
        else if (f == QLatin1String("short"))
            falla = Falla::Corta;
        else if (f == QLatin1String("garbage"))
            falla = Falla::Basura;
        else
            return "ERR falla desconocida";
        e.sim.setFalla(quint8(direccion), falla);
        return "OK";
    }
    return "ERR orden desconocida";
}

} // namespace

int main(int argc, char** argv)
{
    QByteArray enlace, dispositivo;
    int baudios = 9600;
    bool ritmo = true, estatico = false, demonio = false;
    int retardo = 2;
    int tcp = -1;
    QList<QPair<quint8, bool>> instrumentos;

    for (int i = 1; i < argc; ++i) {
        const QByteArray a = argv[i];
        const bool hayValor = i + 1 < argc;
        long v = 0;
        if (a == "--link" && hayValor) {
            enlace = argv[++i];
        } else if (a == "--device" && hayValor) {
            dispositivo = argv[++i];
        } else if (a == "--baud" && hayValor && numero(QString::fromLocal8Bit(argv[i + 1]), 1, 10000000, &v)) {
            baudios = int(v);
            ++i;
        } else if (a == "--tcp" && hayValor && numero(QString::fromLocal8Bit(argv[i + 1]), 0, 65535, &v)) {
            tcp = int(v);
            ++i;
        } else if (a == "--reply-delay" && hayValor && numero(QString::fromLocal8Bit(argv[i + 1]), 0, 600000, &v)) {
            retardo = int(v);
            ++i;
        } else if (a == "--no-pace") {
            ritmo = false;
        } else if (a == "--static") {
            estatico = true;
        } else if (a == "--daemon") {
            demonio = true;
        } else if (a == "--inst" && hayValor) {
            const QString s = QString::fromLocal8Bit(argv[++i]);
            const QStringList partes = s.split(QLatin1Char(':'));
            const QString tipo = partes.value(1).toLower();
            if (partes.size() != 2 || !numero(partes[0], 0, 255, &v)
                || (tipo != QLatin1String("c") && tipo != QLatin1String("p"))) {
                std::fprintf(stderr, "ombrix-sim: instrumento incorrecto \"%s\" (se espera DIR:c o DIR:p)\n", argv[i]);
                return 2;
            }
            instrumentos.append({quint8(v), tipo == QLatin1String("p")});
        } else if (a == "--help" || a == "-h") {
            usage(stdout);
            return 0;
        } else if (a == "--version") {
            std::printf("ombrix-sim %s\n", OMBRIX_VERSION);
            return 0;
        } else {
            std::fprintf(stderr, "ombrix-sim: argumento incorrecto \"%s\"\n", argv[i]);
            std::fputs("Pruebe «ombrix-sim --help».\n", stderr);
            return 2;
        }
    }
    if (instrumentos.isEmpty())
        instrumentos = {{1, false}, {2, false}, {3, true}, {4, true}};
    if (tcp >= 0 && (!dispositivo.isEmpty() || !enlace.isEmpty())) {
        std::fprintf(stderr, "ombrix-sim: --tcp serves a network port: no --device or --link with it\n");
        return 2;
    }

    Simulador sim;
    for (const auto& [direccion, programador] : instrumentos)
        sim.agregarInstrumento(direccion, programador);
    sim.setBaudios(baudios);
    sim.setRitmo(ritmo);
    sim.setRetardoRespuesta(retardo);
    sim.setDinamica(!estatico);

    QString ruta, error;
    quint16 puertoTcp = 0;
    const bool abierto = tcp >= 0                ? sim.abrirTcp(quint16(tcp), &puertoTcp, &error)
                       : dispositivo.isEmpty() ? sim.abrirPty(&ruta, &error)
                                               : sim.abrirDispositivo(QString::fromLocal8Bit(dispositivo), &error);
    if (!abierto) {
        std::fprintf(stderr, "ombrix-sim: %s\n", error.toLocal8Bit().constData());
        return 1;
    }
    if (!dispositivo.isEmpty())
        ruta = QString::fromLocal8Bit(dispositivo);
    if (tcp >= 0) {
        tcp = puertoTcp;   // port 0 asked for any: plugging back takes the same one
        ruta = QString::fromLatin1(direccionTcp(tcp));
    }
    const QByteArray rutaLocal = ruta.toLocal8Bit();
    QByteArray fallo;
    if (!enlace.isEmpty() && !enlazar(enlace, rutaLocal, &fallo)) {
        std::fprintf(stderr, "ombrix-sim: %s\n", fallo.constData());
        return 1;
    }

    if (pipe2(senalPipe, O_NONBLOCK | O_CLOEXEC) != 0) {
        std::fprintf(stderr, "ombrix-sim: no se pudo crear la tubería de señales: %s\n", std::strerror(errno));
        return 1;
    }
    struct sigaction sa = {};
    sa.sa_handler = alRecibirSenal;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGINT, &sa, nullptr);
    sigaction(SIGTERM, &sa, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::atomic<bool> registro{false};
    sim.setAlRecibir([&registro](const QByteArray& trama) {
        if (registro.load())
            decir("RX " + trama.toHex(' ').toUpper());
    });
    sim.iniciar();
    decir((tcp >= 0 ? "TCP " : "PTY ") + rutaLocal);

    Estado estado{sim, registro, enlace, rutaLocal, dispositivo.isEmpty() && tcp < 0, tcp};
    QByteArray pendiente;
    while (!estado.salir) {
        pollfd pf[2] = {{senalPipe[0], POLLIN, 0}, {demonio ? -1 : STDIN_FILENO, POLLIN, 0}};
        if (poll(pf, 2, -1) < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (pf[0].revents & POLLIN)
            break;  // SIGINT or SIGTERM
        if (pf[1].revents & (POLLIN | POLLHUP | POLLERR)) {
            char buf[4096];
            const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
            if (n < 0 && (errno == EINTR || errno == EAGAIN))
                continue;
            if (n <= 0)
                break;  // end of input
            pendiente.append(buf, int(n));
            qsizetype fin;
            while (!estado.salir && (fin = pendiente.indexOf('\n')) >= 0) {
                const QString linea = QString::fromLocal8Bit(pendiente.left(fin)).trimmed();
                pendiente.remove(0, fin + 1);
                if (!linea.isEmpty())
                    decir(orden(estado, linea));
            }
        }
    }

    sim.detener();
    // Unplugged, the link is already gone.
    if (!enlace.isEmpty() && !estado.ruta.isEmpty())
        desenlazar(enlace, estado.ruta);
    return 0;
}
