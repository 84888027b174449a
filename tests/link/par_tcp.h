#pragma once
// The far end of a real TCP connection on the loopback for the link tests:
// a device server that answers every 8-byte request as its line would (or
// misbehaves on purpose), from its own thread. One client at a time; a new
// one replaces the old.

#include "par_pty.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace ombrix::test {

class ParTcp : public ParConHilo {
public:
    // Listens on 127.0.0.1 (or ::1 with ipv6) on a free port.
    explicit ParTcp(bool ipv6 = false) : ipv6_(ipv6)
    {
        escucha_ = ::socket(ipv6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        if (escucha_ < 0)
            return;
        sockaddr_storage s{};
        socklen_t largo = 0;
        if (ipv6) {
            auto* a = reinterpret_cast<sockaddr_in6*>(&s);
            a->sin6_family = AF_INET6;
            a->sin6_addr = in6addr_loopback;
            largo = sizeof *a;
        } else {
            auto* a = reinterpret_cast<sockaddr_in*>(&s);
            a->sin_family = AF_INET;
            a->sin_addr.s_addr = htonl(INADDR_LOOPBACK);
            largo = sizeof *a;
        }
        if (::bind(escucha_, reinterpret_cast<sockaddr*>(&s), largo) != 0 || ::listen(escucha_, 4) != 0
            || ::getsockname(escucha_, reinterpret_cast<sockaddr*>(&s), &largo) != 0) {
            ::close(escucha_);
            escucha_ = -1;
            return;
        }
        puerto_ = ntohs(ipv6 ? reinterpret_cast<sockaddr_in6*>(&s)->sin6_port : reinterpret_cast<sockaddr_in*>(&s)->sin_port);
    }
    ~ParTcp() override
    {
        detener();
        cortar(false);
        if (escucha_ >= 0)
            ::close(escucha_);
    }
    ParTcp(const ParTcp&) = delete;
    ParTcp& operator=(const ParTcp&) = delete;

    bool valido() const { return escucha_ >= 0; }
    quint16 puerto() const { return puerto_; }
    QString direccion() const
    {
        return QStringLiteral("tcp://%1:%2").arg(ipv6_ ? QStringLiteral("[::1]") : QStringLiteral("127.0.0.1")).arg(puerto_);
    }

    // An Accion with `colgar` writes its bytes (part of a reply, or none)
    // and then resets the connection.

    // Sends bytes without end as fast as the client takes them (a
    // misconfigured box, a line full of noise), until detener().
    void inundar()
    {
        detener();
        parar_ = false;
        hilo_ = std::thread([this] {
            const QByteArray ruido(4096, char(0x5A));
            while (!parar_) {
                aceptarSiHay(0);
                const int c = cliente_;
                if (c < 0 || ::send(c, ruido.constData(), std::size_t(ruido.size()), MSG_NOSIGNAL | MSG_DONTWAIT) < 0)
                    std::this_thread::sleep_for(std::chrono::microseconds(200));
            }
        });
    }

    int aceptadas() const { return aceptadas_; }

    // Closes the client's connection: with `reiniciar` as a reset.
    void cortar(bool reiniciar)
    {
        const int c = cliente_.exchange(-1);
        if (c < 0)
            return;
        if (reiniciar) {
            const linger l{1, 0};
            ::setsockopt(c, SOL_SOCKET, SO_LINGER, &l, sizeof l);
        }
        ::close(c);
    }

private:
    void aceptarSiHay(int esperaMs)
    {
        pollfd p{escucha_, POLLIN, 0};
        if (::poll(&p, 1, esperaMs) <= 0 || !(p.revents & POLLIN))
            return;
        const int c = ::accept4(escucha_, nullptr, nullptr, SOCK_CLOEXEC);
        if (c < 0)
            return;
        const int uno = 1;
        ::setsockopt(c, IPPROTO_TCP, TCP_NODELAY, &uno, sizeof uno);
        cortar(false);
        cliente_ = c;
        ++aceptadas_;
    }

    void bucle() override
    {
        QByteArray pendiente;
        while (!parar_) {
            aceptarSiHay(0);
            const int c = cliente_;
            if (c < 0) {
                aceptarSiHay(10);
                pendiente.clear();
                continue;
            }
            pollfd p{c, POLLIN, 0};
            if (::poll(&p, 1, 10) <= 0)
                continue;
            char buf[256];
            const ssize_t k = ::recv(c, buf, sizeof buf, MSG_DONTWAIT);
            if (k <= 0) {
                if (k == 0 || (errno != EAGAIN && errno != EINTR))
                    cortar(false);
                continue;
            }
            pendiente.append(buf, static_cast<int>(k));
            while (pendiente.size() >= 8 && !parar_) {
                const Accion a = atender(pendiente.left(8));
                pendiente.remove(0, 8);
                escribirRespuesta(a, [c](const char* b, size_t n) { (void)!::send(c, b, n, MSG_NOSIGNAL); });
                if (a.colgar) {
                    cortar(true);
                    pendiente.clear();
                    break;
                }
            }
        }
    }

    bool ipv6_ = false;
    int escucha_ = -1;
    quint16 puerto_ = 0;
    std::atomic<int> cliente_{-1};
    std::atomic<int> aceptadas_{0};
};

} // namespace ombrix::test
