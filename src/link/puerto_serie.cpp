#include "puerto_serie.h"

#include "config/rutas.h"

#include <QFile>
#include <QRegularExpression>

#include <algorithm>

#include <cerrno>
#include <chrono>
#include <cstring>
#include <mutex>
#include <unordered_map>

#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace ombrix {

namespace serie::detalle {
bool fijarBaudiosLibres(int fd, int baudios);
int baudiosDe(int fd);
} // namespace serie::detalle

QString resolverPuerto(const QString& nombre, const std::function<QString(QString)>& dispositivoConfigurado)
{
    const int n = numeroCom(nombre);
    if (n == 0)
        return nombre;
    const QString clave = QStringLiteral("COM%1").arg(n);
    if (dispositivoConfigurado) {
        const QString dispositivo = dispositivoConfigurado(clave).trimmed();
        if (!dispositivo.isEmpty())
            return dispositivo;
    }
    return dispositivoDeCom(n);
}

namespace serie {

namespace {

using Reloj = std::chrono::steady_clock;  // CLOCK_MONOTONIC

std::mutex mutexTiempos;
std::unordered_map<int, TiemposEspera> tiemposPorFd;

TiemposEspera tiemposVigentes(int fd)
{
    std::lock_guard<std::mutex> l(mutexTiempos);
    const auto it = tiemposPorFd.find(fd);
    // A descriptor nobody configured gets the line's default base, so that no
    // read can ever wait without bound.
    return it != tiemposPorFd.end() ? it->second : tiemposPara(500);
}

Reloj::time_point masMs(Reloj::time_point t, long long ms) { return t + std::chrono::milliseconds(ms); }

// Waits for `eventos` on fd until `hasta`. Returns the revents (0 on time-out,
// POLLNVAL on a poll failure other than an interruption).
short esperar(int fd, short eventos, Reloj::time_point hasta)
{
    for (;;) {
        const auto resto = hasta - Reloj::now();
        if (resto <= Reloj::duration::zero())
            return 0;
        const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(resto).count();
        timespec ts{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
        pollfd p{fd, eventos, 0};
        const int r = ::ppoll(&p, 1, &ts, nullptr);
        if (r > 0)
            return p.revents;
        if (r == 0)
            return 0;
        if (errno != EINTR)
            return POLLNVAL;
    }
}

void dormirHasta(Reloj::time_point hasta)
{
    const auto ns = std::chrono::duration_cast<std::chrono::nanoseconds>(hasta.time_since_epoch()).count();
    timespec ts{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
    while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
    }
}

bool lineaModem(int fd, int bit, bool activo)
{
    int b = bit;
    if (::ioctl(fd, activo ? TIOCMBIS : TIOCMBIC, &b) == 0)
        return true;
    // A pseudo-terminal is a terminal without modem lines: nothing to set.
    return errno == ENOTTY && ::isatty(fd);
}

void fijarError(QString* error, const QString& texto)
{
    if (error)
        *error = texto;
}

QString textoErrno(int e) { return QString::fromLocal8Bit(std::strerror(e)); }

} // namespace

speed_t constanteVelocidad(int baudios)
{
    switch (baudios) {
    case 1200: return B1200;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    default: return B0;
    }
}

TiemposEspera tiemposPara(int T)
{
    TiemposEspera t;
    t.intervaloLectura = T / 10;
    t.lecturaPorByte = T / 10;
    t.lecturaConstante = T;
    t.escrituraPorByte = T / 10;
    t.escrituraConstante = T;
    return t;
}

int abrir(const QString& ruta, QString* error, int* codigo)
{
    if (codigo)
        *codigo = 0;
    const QByteArray r = QFile::encodeName(ruta);
    if (r.isEmpty()) {
        fijarError(error, QStringLiteral("nombre de dispositivo vacío"));
        return -1;
    }
    const int fd = ::open(r.constData(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int e = errno;
        if (codigo)
            *codigo = e;
        fijarError(error, textoErrno(e));
        return -1;
    }
    // The lock first: only once the device is ours may the terminal be marked
    // exclusive, or a failed attempt would lock out the program that holds it.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int e = errno;
        ::close(fd);
        if (codigo)
            *codigo = e;
        fijarError(error, e == EWOULDBLOCK ? QStringLiteral("dispositivo en uso") : textoErrno(e));
        return -1;
    }
    if (::isatty(fd))
        ::ioctl(fd, TIOCEXCL);
    {
        std::lock_guard<std::mutex> l(mutexTiempos);
        tiemposPorFd.erase(fd);
    }
    return fd;
}

bool prepararTermios(termios& t, const ParametrosLinea& linea)
{
    if (linea.bitsDatos != 7 && linea.bitsDatos != 8)
        return false;
    if (linea.bitsParada != 1 && linea.bitsParada != 2)
        return false;
    if (linea.baudios <= 0)
        return false;
    ::cfmakeraw(&t);
    t.c_iflag &= ~static_cast<tcflag_t>(IXON | IXOFF | IXANY | INPCK | ISTRIP | IGNPAR | PARMRK);
    t.c_cflag &= ~static_cast<tcflag_t>(CSIZE | PARENB | PARODD | CSTOPB | CRTSCTS);
    t.c_cflag |= CLOCAL | CREAD | (linea.bitsDatos == 7 ? CS7 : CS8);
    if (linea.paridad != Paridad::Ninguna)
        t.c_cflag |= PARENB | (linea.paridad == Paridad::Impar ? PARODD : 0);
    if (linea.bitsParada == 2)
        t.c_cflag |= CSTOPB;
    t.c_cc[VMIN] = 1;
    t.c_cc[VTIME] = 0;
    const speed_t v = constanteVelocidad(linea.baudios);
    if (v != B0) {
        ::cfsetispeed(&t, v);
        ::cfsetospeed(&t, v);
    }
    return true;
}

bool configurarLinea(int fd, const ParametrosLinea& linea, QString* error)
{
    termios t{};
    if (::tcgetattr(fd, &t) != 0) {
        fijarError(error, textoErrno(errno));
        return false;
    }
    if (!prepararTermios(t, linea)) {
        fijarError(error, QStringLiteral("parámetros de línea no admitidos"));
        return false;
    }
    const speed_t v = constanteVelocidad(linea.baudios);
    if (::tcsetattr(fd, TCSANOW, &t) != 0) {
        fijarError(error, textoErrno(errno));
        return false;
    }
    if (v == B0 && !detalle::fijarBaudiosLibres(fd, linea.baudios)) {
        fijarError(error, QStringLiteral("velocidad %1 no admitida por el dispositivo").arg(linea.baudios));
        return false;
    }
    // DTR and RTS start off; the start command sets each as configured.
    lineaModem(fd, TIOCM_DTR, false);
    lineaModem(fd, TIOCM_RTS, false);
    return true;
}

bool configurarTiempos(int fd, const TiemposEspera& t)
{
    if (fd < 0 || t.intervaloLectura < 0 || t.lecturaPorByte < 0 || t.lecturaConstante < 0
        || t.escrituraPorByte < 0 || t.escrituraConstante < 0)
        return false;
    // Without any total time a read would wait for ever on a silent line.
    if ((t.lecturaPorByte == 0 && t.lecturaConstante == 0) || (t.escrituraPorByte == 0 && t.escrituraConstante == 0))
        return false;
    std::lock_guard<std::mutex> l(mutexTiempos);
    tiemposPorFd[fd] = t;
    return true;
}

bool tiemposDe(int fd, TiemposEspera* tiempos)
{
    std::lock_guard<std::mutex> l(mutexTiempos);
    const auto it = tiemposPorFd.find(fd);
    if (it == tiemposPorFd.end())
        return false;
    if (tiempos)
        *tiempos = it->second;
    return true;
}

int baudiosActuales(int fd) { return detalle::baudiosDe(fd); }

bool cerrar(int fd)
{
    if (fd < 0)
        return false;
    {
        std::lock_guard<std::mutex> l(mutexTiempos);
        tiemposPorFd.erase(fd);
    }
    // Give up the exclusive mark, which belongs to the terminal and would
    // otherwise outlive this descriptor while another one stays open.
    if (::isatty(fd))
        ::ioctl(fd, TIOCNXCL);
    return ::close(fd) == 0;
}

long escribir(int fd, const uint8_t* datos, std::size_t n)
{
    if (fd < 0)
        return -1;
    const TiemposEspera t = tiemposVigentes(fd);
    const auto limite = masMs(Reloj::now(), static_cast<long long>(t.escrituraPorByte) * static_cast<long long>(n)
                                               + t.escrituraConstante);
    std::size_t enviados = 0;
    while (enviados < n) {
        const ssize_t k = ::write(fd, datos + enviados, n - enviados);
        if (k > 0) {
            enviados += static_cast<std::size_t>(k);
            continue;
        }
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0 && errno != EAGAIN)
            return enviados > 0 ? static_cast<long>(enviados) : -1;
        const short ev = esperar(fd, POLLOUT, limite);
        if (ev == 0)
            return static_cast<long>(enviados);  // write time-out
        if (ev & (POLLNVAL | POLLERR | POLLHUP))
            return enviados > 0 ? static_cast<long>(enviados) : -1;
    }
    // The bytes count as written once they left the driver's queue, within the
    // same bound. A pseudo-terminal has no queue and reports 0 at once.
    for (;;) {
        int cola = 0;
        if (::ioctl(fd, TIOCOUTQ, &cola) != 0 || cola <= 0)
            break;
        const auto ahora = Reloj::now();
        if (ahora >= limite)
            break;
        dormirHasta(std::min(limite, ahora + std::chrono::milliseconds(1)));
    }
    return static_cast<long>(enviados);
}

long leer(int fd, uint8_t* datos, std::size_t n)
{
    if (fd < 0)
        return -1;
    if (n == 0)
        return 0;
    const TiemposEspera t = tiemposVigentes(fd);
    const auto limite = masMs(Reloj::now(), static_cast<long long>(t.lecturaPorByte) * static_cast<long long>(n)
                                               + t.lecturaConstante);
    std::size_t recibidos = 0;
    Reloj::time_point ultimo;
    const auto fallo = [&]() -> long { return recibidos > 0 ? static_cast<long>(recibidos) : -1; };
    for (;;) {
        auto hasta = limite;
        if (recibidos > 0 && t.intervaloLectura > 0)
            hasta = std::min(hasta, masMs(ultimo, t.intervaloLectura));
        if (Reloj::now() >= hasta)
            break;
        const short ev = esperar(fd, POLLIN, hasta);
        if (ev == 0)
            continue;  // a time-out: the check above ends the read
        if (ev & POLLNVAL)
            return fallo();
        if (ev & POLLIN) {
            const ssize_t k = ::read(fd, datos + recibidos, n - recibidos);
            if (k > 0) {
                recibidos += static_cast<std::size_t>(k);
                ultimo = Reloj::now();
                if (recibidos == n)
                    break;
                continue;
            }
            if (k < 0 && (errno == EAGAIN || errno == EINTR))
                continue;
            return fallo();  // end of file or an I/O error: the device is gone
        }
        // Hang-up or error with nothing left to read: fail at once rather than
        // spin on a descriptor that will never become readable again.
        return fallo();
    }
    return static_cast<long>(recibidos);
}

bool descartarEntrada(int fd) { return fd >= 0 && ::tcflush(fd, TCIFLUSH) == 0; }

bool setDtr(int fd, bool activo) { return fd >= 0 && lineaModem(fd, TIOCM_DTR, activo); }

bool setRts(int fd, bool activo) { return fd >= 0 && lineaModem(fd, TIOCM_RTS, activo); }

} // namespace serie
} // namespace ombrix
