#include "enlace_tcp.h"

#include <QByteArray>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ombrix::tcp {

namespace {

const QString kEsquema = QStringLiteral("tcp://");

// Keep-alive: the first probe after 5 s of quiet, then every 2 s, 3 lost
// probes end the connection; data unacknowledged for 10 s ends it as well.
constexpr int kInactividadS = 5;
constexpr int kIntervaloS = 2;
constexpr int kSondas = 3;
constexpr unsigned kSinAcuseMs = 10000;

// The most a single flush takes from a flooding server before the request goes.
constexpr std::size_t kMaxDescarte = 64 * 1024;

void poner(QString* destino, const QString& texto)
{
    if (destino)
        *destino = texto;
}

bool caracterDeServidor(QChar c)
{
    return (c >= QLatin1Char('a') && c <= QLatin1Char('z')) || (c >= QLatin1Char('A') && c <= QLatin1Char('Z'))
        || (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || c == QLatin1Char('-') || c == QLatin1Char('.')
        || c == QLatin1Char('_');
}

bool caracterDeIpv6(QChar c)
{
    return (c >= QLatin1Char('0') && c <= QLatin1Char('9')) || (c >= QLatin1Char('a') && c <= QLatin1Char('f'))
        || (c >= QLatin1Char('A') && c <= QLatin1Char('F')) || c == QLatin1Char(':') || c == QLatin1Char('.');
}

QString motivoConexion(int e)
{
    switch (e) {
    case ECONNREFUSED: return QStringLiteral("conexión rehusada (nada escucha en ese puerto)");
    case ETIMEDOUT: return QStringLiteral("el servidor no responde");
    case EHOSTUNREACH:
    case ENETUNREACH: return QStringLiteral("servidor inalcanzable");
    case ECONNRESET: return QStringLiteral("conexión cortada por el servidor");
    default: return QString::fromLocal8Bit(std::strerror(e));
    }
}

void fijarOpcion(int fd, int nivel, int opcion, int valor)
{
    ::setsockopt(fd, nivel, opcion, &valor, sizeof valor);
}

// Connects fd to the address within esperaMs; 0 or the errno of the failure.
int conectarA(int fd, const sockaddr* a, socklen_t largo, int esperaMs)
{
    if (::connect(fd, a, largo) == 0)
        return 0;
    if (errno != EINPROGRESS && errno != EINTR)
        return errno;
    const auto limite = std::chrono::steady_clock::now() + std::chrono::milliseconds(esperaMs);
    for (;;) {
        const auto resto = std::chrono::duration_cast<std::chrono::milliseconds>(limite - std::chrono::steady_clock::now());
        if (resto.count() <= 0)
            return ETIMEDOUT;
        pollfd p{fd, POLLOUT, 0};
        const int r = ::poll(&p, 1, int(resto.count()));
        if (r < 0 && errno == EINTR)
            continue;
        if (r < 0)
            return errno;
        if (r == 0)
            return ETIMEDOUT;
        int e = 0;
        socklen_t l = sizeof e;
        if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &l) != 0)
            return errno;
        return e;
    }
}

} // namespace

bool esDireccion(const QString& nombre) { return nombre.trimmed().startsWith(kEsquema, Qt::CaseInsensitive); }

bool analizar(const QString& texto, Direccion* d, QString* error)
{
    const QString t = texto.trimmed();
    if (!esDireccion(t)) {
        poner(error, QStringLiteral("no empieza con tcp://"));
        return false;
    }
    const QString resto = t.mid(kEsquema.size());
    QString servidor, puerto;
    if (resto.startsWith(QLatin1Char('['))) {
        const int cierre = resto.indexOf(QLatin1Char(']'));
        if (cierre < 0 || resto.mid(cierre + 1, 1) != QLatin1String(":")) {
            poner(error, QStringLiteral("falta el puerto tras la dirección IPv6 («tcp://[::1]:4001»)"));
            return false;
        }
        servidor = resto.mid(1, cierre - 1);
        puerto = resto.mid(cierre + 2);
        // A link-local address may carry its interface: "fe80::1%eth0".
        const int zona = servidor.indexOf(QLatin1Char('%'));
        const QString direccion = zona < 0 ? servidor : servidor.left(zona);
        const QString interfaz = zona < 0 ? QString() : servidor.mid(zona + 1);
        if (direccion.isEmpty() || !std::all_of(direccion.begin(), direccion.end(), caracterDeIpv6)
            || !direccion.contains(QLatin1Char(':')) || (zona >= 0 && interfaz.isEmpty())
            || !std::all_of(interfaz.begin(), interfaz.end(), caracterDeServidor)) {
            poner(error, QStringLiteral("dirección IPv6 no válida: ") + servidor);
            return false;
        }
    } else {
        const int dosPuntos = resto.lastIndexOf(QLatin1Char(':'));
        if (dosPuntos < 0) {
            poner(error, QStringLiteral("falta el puerto («tcp://servidor:puerto»)"));
            return false;
        }
        servidor = resto.left(dosPuntos);
        puerto = resto.mid(dosPuntos + 1);
        if (servidor.contains(QLatin1Char(':'))) {
            poner(error, QStringLiteral("escriba la dirección IPv6 entre corchetes («tcp://[::1]:4001»)"));
            return false;
        }
        if (servidor.isEmpty()) {
            poner(error, QStringLiteral("falta el nombre o la dirección del servidor"));
            return false;
        }
        if (!std::all_of(servidor.begin(), servidor.end(), caracterDeServidor)) {
            poner(error, QStringLiteral("nombre de servidor no válido: ") + servidor);
            return false;
        }
    }
    bool ok = false;
    const uint n = puerto.toUInt(&ok, 10);
    if (!ok || n < 1 || n > 65535 || !std::all_of(puerto.begin(), puerto.end(), [](QChar c) { return c.isDigit(); })) {
        poner(error, QStringLiteral("puerto no válido (1 a 65535): ") + puerto);
        return false;
    }
    if (d) {
        d->servidor = servidor;
        d->puerto = quint16(n);
    }
    return true;
}

QString nombre(const Direccion& d)
{
    const QString servidor = d.servidor.contains(QLatin1Char(':')) ? QLatin1Char('[') + d.servidor + QLatin1Char(']')
                                                                   : d.servidor;
    return kEsquema + servidor + QLatin1Char(':') + QString::number(d.puerto);
}

int conectar(const Direccion& d, int esperaMs, QString* error)
{
    addrinfo pista{};
    pista.ai_family = AF_UNSPEC;
    pista.ai_socktype = SOCK_STREAM;
    pista.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    addrinfo* lista = nullptr;
    const QByteArray servidor = d.servidor.toUtf8();
    const QByteArray puerto = QByteArray::number(d.puerto);
    int r = ::getaddrinfo(servidor.constData(), puerto.constData(), &pista, &lista);
    if (r == EAI_ADDRFAMILY || r == EAI_NONAME) {
        // Without any configured address of a family (a loopback-only host
        // has none), AI_ADDRCONFIG hides even "::1": ask once more without it.
        pista.ai_flags = AI_NUMERICSERV;
        r = ::getaddrinfo(servidor.constData(), puerto.constData(), &pista, &lista);
    }
    if (r != 0) {
        poner(error, r == EAI_AGAIN ? QStringLiteral("no se pudo resolver el nombre «%1» (sin respuesta del DNS)").arg(d.servidor)
                     : r == EAI_SYSTEM ? QString::fromLocal8Bit(std::strerror(errno))
                                       : QStringLiteral("no se encuentra el servidor «%1»").arg(d.servidor));
        return -1;
    }
    int ultimo = ECONNREFUSED;
    int fd = -1;
    for (addrinfo* a = lista; a; a = a->ai_next) {
        fd = ::socket(a->ai_family, a->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC, a->ai_protocol);
        if (fd < 0) {
            ultimo = errno;
            continue;
        }
        ultimo = conectarA(fd, a->ai_addr, a->ai_addrlen, esperaMs);
        if (ultimo == 0)
            break;
        ::close(fd);
        fd = -1;
    }
    ::freeaddrinfo(lista);
    if (fd < 0) {
        poner(error, motivoConexion(ultimo));
        return -1;
    }
    fijarOpcion(fd, IPPROTO_TCP, TCP_NODELAY, 1);
    fijarOpcion(fd, SOL_SOCKET, SO_KEEPALIVE, 1);
    fijarOpcion(fd, IPPROTO_TCP, TCP_KEEPIDLE, kInactividadS);
    fijarOpcion(fd, IPPROTO_TCP, TCP_KEEPINTVL, kIntervaloS);
    fijarOpcion(fd, IPPROTO_TCP, TCP_KEEPCNT, kSondas);
    fijarOpcion(fd, IPPROTO_TCP, TCP_USER_TIMEOUT, int(kSinAcuseMs));
    return fd;
}

bool esSocket(int fd)
{
    struct stat st {};
    return fd >= 0 && ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

bool descartarEntrada(int fd)
{
    char basura[4096];
    std::size_t tirados = 0;
    while (tirados < kMaxDescarte) {
        const ssize_t k = ::recv(fd, basura, sizeof basura, MSG_DONTWAIT);
        if (k > 0) {
            tirados += std::size_t(k);
            continue;
        }
        if (k < 0 && errno == EINTR)
            continue;
        if (k < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return true;
        return false;   // closed (0) or failed
    }
    return true;
}

bool conexionPerdida(int fd)
{
    int e = 0;
    socklen_t l = sizeof e;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &e, &l) != 0 || e != 0)
        return true;
    tcp_info info{};
    socklen_t largo = sizeof info;
    if (::getsockopt(fd, IPPROTO_TCP, TCP_INFO, &info, &largo) != 0)
        return true;
    if (info.tcpi_state != TCP_ESTABLISHED)
        return true;
    // The request went unacknowledged for the whole reply time-out and the
    // system already resent it: nobody is there to take it.
    return info.tcpi_unacked > 0 && (info.tcpi_retransmits > 0 || info.tcpi_backoff > 0);
}

} // namespace ombrix::tcp
