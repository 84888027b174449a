#include "sim/simulador.h"

#include "instrumento.h"
#include "link/crc16.h"
#include "link/puerto_serie.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstring>
#include <deque>
#include <map>
#include <mutex>
#include <random>
#include <thread>
#include <vector>

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace ombrix::sim {

namespace {

using Nanos = qint64;
constexpr Nanos kMs = 1000000;
constexpr Nanos kTic = 100 * kMs;            // period of the process dynamics
constexpr Nanos kEsperaColgado = 50 * kMs;   // retry period while nobody holds the line
// Longest time the processes are moved on for after the line was closed:
// by then every process has long settled and every program has ended.
constexpr Nanos kMaxSinLinea = Nanos(600) * 1000 * kMs;
constexpr std::size_t kMaxPeticiones = 10000;

Nanos ahora()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return Nanos(ts.tv_sec) * 1000000000 + ts.tv_nsec;
}

timespec aTimespec(Nanos n)
{
    timespec ts;
    ts.tv_sec = static_cast<time_t>(n / 1000000000);
    ts.tv_nsec = static_cast<long>(n % 1000000000);
    return ts;
}

void dormirHasta(Nanos instante)
{
    const timespec ts = aTimespec(instante);
    while (clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

// Raw 8N1 line: no echo, no line editing, no translation of bytes.
bool ponerCrudo(int fd, int baudios)
{
    termios t;
    if (tcgetattr(fd, &t) != 0)
        return false;
    cfmakeraw(&t);
    t.c_cflag |= CLOCAL | CREAD;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    if (const speed_t v = serie::constanteVelocidad(baudios); v != B0)
        cfsetspeed(&t, v);
    return tcsetattr(fd, TCSANOW, &t) == 0;
}

void poner(QString* destino, const QString& texto)
{
    if (destino)
        *destino = texto;
}

QString errorSistema(const QString& que)
{
    return que + QStringLiteral(": ") + QString::fromLocal8Bit(std::strerror(errno));
}

struct Respuesta {
    Nanos cuando = 0;  // start of the reply on the line
    QByteArray bytes;
};

} // namespace

struct Simulador::Impl {
    mutable std::mutex m;
    std::map<quint8, std::unique_ptr<Instrumento>> instrumentos;
    std::deque<QByteArray> peticiones;
    std::function<void(const QByteArray&)> aviso;
    std::mt19937 azar{std::random_device{}()};

    std::atomic<int> baudios{9600};
    std::atomic<bool> ritmo{true};
    std::atomic<int> retardoMs{2};
    std::atomic<bool> dinamica{true};

    int fd = -1;          // master side of the pseudo-terminal, the device, or the TCP client
    int esclavoFd = -1;   // kept open so that clients may come and go
    int escucha = -1;     // as a device server: the listening socket
    std::atomic<int> cortes{0};  // connections to reset, asked by cortarConexion()
    int despertar[2] = {-1, -1};
    std::thread hilo;
    std::atomic<bool> parar{false};
    Nanos lineaCerrada = 0;  // when cerrarLinea() stopped the serving, 0 otherwise

    // Owned by the serving thread.
    QByteArray entrada;
    std::vector<Nanos> llegadas;  // arrival time of every byte in entrada
    std::deque<Respuesta> pendientes;

    Nanos tiempoByte() const { return Nanos(10) * 1000000000 / std::max(1, baudios.load()); }
    // Inter-frame silence: 3.5 character times, fixed at 1.75 ms above 19200 bit/s.
    Nanos silencio() const { return baudios.load() > 19200 ? 1750000 : tiempoByte() * 7 / 2; }

    void cerrar();
    void vaciarDespertar();
    void aceptar();
    void soltarCliente(bool reiniciar);
    ssize_t escribir(const char* datos, std::size_t n);
    void servir();
    void recibir(const char* datos, int n, Nanos t);
    void atender(const QByteArray& trama, Nanos llegada);
    void enviar(const Respuesta& r);
};

void Simulador::Impl::cerrar()
{
    if (esclavoFd >= 0)
        ::close(esclavoFd);
    if (fd >= 0)
        ::close(fd);
    if (escucha >= 0)
        ::close(escucha);
    esclavoFd = fd = escucha = -1;
}

// A device server takes one client at a time; a new one replaces the old, as
// a master that reconnects after losing its side of the connection expects.
void Simulador::Impl::aceptar()
{
    const int c = ::accept4(escucha, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (c < 0)
        return;
    const int uno = 1;
    ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
    soltarCliente(false);
    fd = c;
}

// Closes the client's connection: with `reiniciar` as a reset (the client
// gets ECONNRESET), otherwise as an orderly close.
void Simulador::Impl::soltarCliente(bool reiniciar)
{
    if (escucha < 0 || fd < 0)
        return;
    if (reiniciar) {
        const linger l{1, 0};
        ::setsockopt(fd, SOL_SOCKET, SO_LINGER, &l, sizeof l);
    }
    ::close(fd);
    fd = -1;
    // Whatever was half received or still to be answered went with it.
    entrada.clear();
    llegadas.clear();
    pendientes.clear();
}

ssize_t Simulador::Impl::escribir(const char* datos, std::size_t n)
{
    if (fd < 0)
        return -1;
    // A client gone must not raise SIGPIPE in whoever runs the simulator.
    return escucha >= 0 ? ::send(fd, datos, n, MSG_NOSIGNAL) : ::write(fd, datos, n);
}

// Drops wake-ups the last serving thread left unread, so that the next one
// does not start with a spurious one.
void Simulador::Impl::vaciarDespertar()
{
    char basura[64];
    while (despertar[0] >= 0 && ::read(despertar[0], basura, sizeof basura) > 0) {
    }
}

void Simulador::Impl::servir()
{
    Nanos ultimoTic = ahora();
    Nanos proximoTic = ultimoTic + kTic;
    bool colgado = false;
    char tmp[512];

    while (!parar.load()) {
        Nanos t = ahora();
        if (t >= proximoTic) {
            const double dt = std::min(1.0, double(t - ultimoTic) / 1e9);
            std::lock_guard lock(m);
            if (dinamica.load()) {
                for (auto& [direccion, inst] : instrumentos)
                    inst->avanzar(dt);
            }
            ultimoTic = t;
            proximoTic += kTic;
            if (proximoTic <= t)
                proximoTic = t + kTic;
        }

        if (!pendientes.empty() && pendientes.front().cuando - t <= 2 * kMs) {
            enviar(pendientes.front());
            pendientes.pop_front();
            continue;
        }

        Nanos limite = proximoTic;
        if (!pendientes.empty())
            limite = std::min(limite, pendientes.front().cuando - kMs);
        if (colgado)
            limite = std::min(limite, t + kEsperaColgado);
        const timespec espera = aTimespec(std::max<Nanos>(0, limite - t));

        if (cortes.load() > 0) {
            cortes.store(0);
            soltarCliente(true);
        }

        pollfd pf[3];
        pf[0] = {despertar[0], POLLIN, 0};
        pf[1] = {colgado ? -1 : fd, POLLIN, 0};
        pf[2] = {escucha, POLLIN, 0};
        const int r = ppoll(pf, 3, &espera, nullptr);
        if (r < 0 && errno != EINTR)
            break;
        if (r <= 0) {
            colgado = false;  // look at the line again
            continue;
        }
        if (pf[0].revents & POLLIN) {
            char basura[64];
            while (::read(despertar[0], basura, sizeof basura) > 0) {
            }
        }
        if (pf[2].revents & POLLIN)
            aceptar();
        if (pf[1].fd < 0 || pf[1].fd != fd)
            continue;   // no client, or the one polled was just replaced
        if (pf[1].revents & POLLIN) {
            const ssize_t n = ::read(fd, tmp, sizeof tmp);
            if (n > 0)
                recibir(tmp, int(n), ahora());
            else if (n == 0 || (errno != EAGAIN && errno != EINTR))
                escucha >= 0 ? soltarCliente(false) : void(colgado = true);
        } else if (pf[1].revents & (POLLHUP | POLLERR | POLLNVAL)) {
            // Nobody holds the other end: wait for the next client without spinning.
            escucha >= 0 ? soltarCliente(false) : void(colgado = true);
        }
    }
}

void Simulador::Impl::recibir(const char* datos, int n, Nanos t)
{
    // A pause of 3.5 characters ends whatever was being received.
    if (!entrada.isEmpty() && t - llegadas.back() >= silencio()) {
        entrada.clear();
        llegadas.clear();
    }
    entrada.append(datos, n);
    llegadas.insert(llegadas.end(), std::size_t(n), t);

    // Look for 8 bytes with a good CRC; anything else is dropped byte by byte.
    while (entrada.size() >= 8) {
        const auto* b = reinterpret_cast<const uint8_t*>(entrada.constData());
        const uint16_t crc = Crc16(b, 6);
        if (b[6] == (crc & 0xFF) && b[7] == (crc >> 8)) {
            const QByteArray trama = entrada.left(8);
            const Nanos llegada = llegadas.front();
            entrada.remove(0, 8);
            llegadas.erase(llegadas.begin(), llegadas.begin() + 8);
            atender(trama, llegada);
        } else {
            entrada.remove(0, 1);
            llegadas.erase(llegadas.begin());
        }
    }
}

void Simulador::Impl::atender(const QByteArray& trama, Nanos llegada)
{
    const auto* b = reinterpret_cast<const uint8_t*>(trama.constData());
    const quint8 direccion = b[0];
    const quint8 funcion = b[1];
    const quint16 registro = quint16((b[2] << 8) | b[3]);
    const qint16 valor = qint16(quint16((b[4] << 8) | b[5]));

    std::function<void(const QByteArray&)> avisar;
    QByteArray resp;
    Falla falla;
    int retardoFalla;
    {
        std::lock_guard lock(m);
        const auto it = instrumentos.find(direccion);
        if (it == instrumentos.end())
            return;  // another device's frame
        peticiones.push_back(trama);
        if (peticiones.size() > kMaxPeticiones)
            peticiones.pop_front();
        avisar = aviso;
        Instrumento& inst = *it->second;
        falla = inst.falla;
        retardoFalla = inst.retardoFallaMs;
        if (falla != Falla::Silencio) {
            // Every function carries one full 16-bit value in bytes 5 and 6.
            qint16 respuesta = 0;
            bool conocida = true;
            switch (funcion) {
            case 1:
            case 3:
                respuesta = inst.leer(registro);
                break;
            case 5:
            case 6:
                inst.escribir(registro, valor);
                respuesta = valor;
                break;
            default:
                conocida = false;
                break;
            }
            if (conocida) {
                resp = trama.left(4);
                resp.append(char(quint16(respuesta) >> 8));
                resp.append(char(quint16(respuesta) & 0xFF));
            } else {
                // Exception reply: illegal function.
                resp.append(char(direccion));
                resp.append(char(funcion | 0x80));
                resp.append(char(0x01));
            }
            if (falla == Falla::DireccionMala)
                resp[0] = char(direccion + 1);
            const uint16_t crc = Crc16(reinterpret_cast<const uint8_t*>(resp.constData()), std::size_t(resp.size()));
            resp.append(char(crc & 0xFF));
            resp.append(char(crc >> 8));
            if (falla == Falla::CrcMala) {
                resp[resp.size() - 2] = char(resp[resp.size() - 2] ^ 0xA5);
                resp[resp.size() - 1] = char(resp[resp.size() - 1] ^ 0x5A);
            } else if (falla == Falla::Corta) {
                resp.truncate(5);
            } else if (falla == Falla::Basura) {
                std::uniform_int_distribution<int> byte(0, 255);
                for (char& c : resp)
                    c = char(byte(azar));
                if (quint8(resp[0]) == direccion)
                    resp[0] = char(direccion ^ 0x80);  // never mistaken for the reply
            }
        }
    }
    if (avisar)
        avisar(trama);
    if (resp.isEmpty())
        return;

    // The request takes 8 characters on the line, then the instrument turns around.
    const Nanos transito = ritmo.load() ? 8 * tiempoByte() : 0;
    const int retardo = falla == Falla::Tarde ? retardoFalla : retardoMs.load();
    Nanos cuando = llegada + transito + Nanos(std::max(0, retardo)) * kMs;
    if (!pendientes.empty())
        cuando = std::max(cuando, pendientes.back().cuando);
    pendientes.push_back({cuando, resp});
}

void Simulador::Impl::enviar(const Respuesta& r)
{
    dormirHasta(r.cuando);
    if (!ritmo.load()) {
        if (escribir(r.bytes.constData(), std::size_t(r.bytes.size())) < 0) {
            // nobody reads the line: the reply is lost, as on a real line
        }
        return;
    }
    // Each character is complete on the line 10 bit times after it started.
    const Nanos byte = tiempoByte();
    for (int i = 0; i < r.bytes.size(); ++i) {
        dormirHasta(r.cuando + (i + 1) * byte);
        if (escribir(r.bytes.constData() + i, 1) < 0)
            return;
    }
}

Simulador::Simulador() : d(std::make_unique<Impl>()) {}

Simulador::~Simulador()
{
    detener();
    d->cerrar();
    for (int& f : d->despertar) {
        if (f >= 0)
            ::close(f);
        f = -1;
    }
}

void Simulador::agregarInstrumento(quint8 direccion, bool programador)
{
    std::lock_guard lock(d->m);
    d->instrumentos[direccion] = std::make_unique<Instrumento>(programador, std::random_device{}());
}

bool Simulador::abrirPty(QString* rutaEsclavo, QString* error)
{
    if (d->hilo.joinable()) {
        poner(error, QStringLiteral("el simulador ya está en marcha"));
        return false;
    }
    d->cerrar();
    const int m = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m < 0) {
        poner(error, errorSistema(QStringLiteral("posix_openpt")));
        return false;
    }
    char nombre[128];
    if (grantpt(m) != 0 || unlockpt(m) != 0 || ptsname_r(m, nombre, sizeof nombre) != 0) {
        poner(error, errorSistema(QStringLiteral("pseudoterminal")));
        ::close(m);
        return false;
    }
    // The master's settings are the line settings the client sees.
    if (!ponerCrudo(m, d->baudios.load())) {
        poner(error, errorSistema(QStringLiteral("tcsetattr")));
        ::close(m);
        return false;
    }
    const int s = ::open(nombre, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (s < 0) {
        poner(error, errorSistema(QString::fromLocal8Bit(nombre)));
        ::close(m);
        return false;
    }
    fcntl(m, F_SETFL, fcntl(m, F_GETFL) | O_NONBLOCK);
    d->fd = m;
    d->esclavoFd = s;
    poner(rutaEsclavo, QString::fromLocal8Bit(nombre));
    return true;
}

bool Simulador::abrirDispositivo(const QString& ruta, QString* error)
{
    if (d->hilo.joinable()) {
        poner(error, QStringLiteral("el simulador ya está en marcha"));
        return false;
    }
    d->cerrar();
    const int f = ::open(ruta.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (f < 0) {
        poner(error, errorSistema(ruta));
        return false;
    }
    if (isatty(f) && !ponerCrudo(f, d->baudios.load())) {
        poner(error, errorSistema(ruta));
        ::close(f);
        return false;
    }
    d->fd = f;
    return true;
}

bool Simulador::abrirTcp(quint16 puerto, quint16* puertoReal, QString* error)
{
    if (d->hilo.joinable()) {
        poner(error, QStringLiteral("the simulator is running"));
        return false;
    }
    d->cerrar();
    const int e = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
    if (e < 0) {
        poner(error, errorSistema(QStringLiteral("socket")));
        return false;
    }
    // The same port again right after an unplug.
    const int uno = 1;
    ::setsockopt(e, SOL_SOCKET, SO_REUSEADDR, &uno, sizeof uno);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(puerto);
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t largo = sizeof a;
    if (::bind(e, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 || ::listen(e, 4) != 0
        || ::getsockname(e, reinterpret_cast<sockaddr*>(&a), &largo) != 0) {
        poner(error, errorSistema(QStringLiteral("127.0.0.1:%1").arg(puerto)));
        ::close(e);
        return false;
    }
    d->escucha = e;
    if (puertoReal)
        *puertoReal = ntohs(a.sin_port);
    return true;
}

void Simulador::cortarConexion()
{
    d->cortes.fetch_add(1);
    const char c = 1;
    if (::write(d->despertar[1], &c, 1) < 0) {
        // the pipe is full: the thread is being woken anyway
    }
}

void Simulador::setBaudios(int baudios)
{
    d->baudios.store(baudios > 0 ? baudios : 9600);
}

void Simulador::setRitmo(bool activo)
{
    d->ritmo.store(activo);
}

void Simulador::setRetardoRespuesta(int ms)
{
    d->retardoMs.store(std::max(0, ms));
}

void Simulador::iniciar()
{
    if (d->hilo.joinable() || (d->fd < 0 && d->escucha < 0))
        return;
    if (d->despertar[0] < 0 && pipe2(d->despertar, O_NONBLOCK | O_CLOEXEC) != 0)
        return;
    if (d->lineaCerrada != 0) {
        // The instruments went on working while the line was away.
        const Nanos fuera = std::min(ahora() - d->lineaCerrada, kMaxSinLinea);
        d->lineaCerrada = 0;
        if (d->dinamica.load() && fuera > 0) {
            std::lock_guard lock(d->m);
            for (auto& [direccion, inst] : d->instrumentos)
                inst->avanzar(double(fuera) / 1e9);
        }
    }
    d->vaciarDespertar();
    d->parar.store(false);
    d->entrada.clear();
    d->llegadas.clear();
    d->pendientes.clear();
    d->hilo = std::thread([this] { d->servir(); });
}

void Simulador::detener()
{
    if (!d->hilo.joinable())
        return;
    d->parar.store(true);
    const char c = 1;
    if (::write(d->despertar[1], &c, 1) < 0) {
        // the pipe is full: the thread is being woken anyway
    }
    d->hilo.join();
    d->vaciarDespertar();
    d->pendientes.clear();
}

void Simulador::cerrarLinea()
{
    if (d->hilo.joinable() && d->lineaCerrada == 0)
        d->lineaCerrada = ahora();
    detener();
    d->cerrar();
    // Whatever was half received or still to be answered went with the line.
    d->entrada.clear();
    d->llegadas.clear();
    d->pendientes.clear();
}

void Simulador::setFalla(quint8 direccion, Falla f, int retardoMs)
{
    std::lock_guard lock(d->m);
    if (const auto it = d->instrumentos.find(direccion); it != d->instrumentos.end()) {
        it->second->falla = f;
        it->second->retardoFallaMs = std::max(0, retardoMs);
    }
}

void Simulador::setRegistro(quint8 direccion, quint16 registro, qint16 valor)
{
    std::lock_guard lock(d->m);
    if (const auto it = d->instrumentos.find(direccion); it != d->instrumentos.end())
        it->second->escribir(registro, valor);
}

qint16 Simulador::registro(quint8 direccion, quint16 registro) const
{
    std::lock_guard lock(d->m);
    const auto it = d->instrumentos.find(direccion);
    return it != d->instrumentos.end() ? it->second->leer(registro) : 0;
}

bool Simulador::sirve(quint8 direccion) const
{
    std::lock_guard lock(d->m);
    return d->instrumentos.count(direccion) != 0;
}

QList<QByteArray> Simulador::peticiones() const
{
    std::lock_guard lock(d->m);
    return QList<QByteArray>(d->peticiones.begin(), d->peticiones.end());
}

void Simulador::limpiarPeticiones()
{
    std::lock_guard lock(d->m);
    d->peticiones.clear();
}

void Simulador::setDinamica(bool activa)
{
    d->dinamica.store(activa);
}

void Simulador::setAlRecibir(std::function<void(const QByteArray&)> aviso)
{
    std::lock_guard lock(d->m);
    d->aviso = std::move(aviso);
}

} // namespace ombrix::sim
