#pragma once
// The master's end of the line in the tests: opens the simulator's
// pseudo-terminal like the serial component does (raw, 8N1) and exchanges
// bytes with deadlines.

#include "link/crc16.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

namespace ombrix::test {

// An 8-byte request (or reply) with its CRC, low byte first.
inline QByteArray trama(quint8 direccion, quint8 funcion, quint16 registro, quint16 valor)
{
    QByteArray t;
    t.append(char(direccion));
    t.append(char(funcion));
    t.append(char(registro >> 8));
    t.append(char(registro & 0xFF));
    t.append(char(valor >> 8));
    t.append(char(valor & 0xFF));
    const uint16_t crc = ombrix::Crc16(reinterpret_cast<const uint8_t*>(t.constData()), 6);
    t.append(char(crc & 0xFF));
    t.append(char(crc >> 8));
    return t;
}

inline bool crcValida(const QByteArray& t)
{
    if (t.size() < 3)
        return false;
    const uint16_t crc = ombrix::Crc16(reinterpret_cast<const uint8_t*>(t.constData()), std::size_t(t.size() - 2));
    return quint8(t[t.size() - 2]) == (crc & 0xFF) && quint8(t[t.size() - 1]) == (crc >> 8);
}

class ClienteLinea {
public:
    ClienteLinea() = default;
    explicit ClienteLinea(const QString& ruta) { abrir(ruta); }
    ~ClienteLinea() { cerrar(); }
    ClienteLinea(const ClienteLinea&) = delete;
    ClienteLinea& operator=(const ClienteLinea&) = delete;

    bool abrir(const QString& ruta)
    {
        cerrar();
        fd_ = ::open(ruta.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        if (fd_ < 0)
            return false;
        termios t;
        tcgetattr(fd_, &t);
        cfmakeraw(&t);
        cfsetspeed(&t, B9600);
        tcsetattr(fd_, TCSANOW, &t);
        tcflush(fd_, TCIOFLUSH);
        return true;
    }
    void cerrar()
    {
        if (fd_ >= 0)
            ::close(fd_);
        fd_ = -1;
    }
    bool abierto() const { return fd_ >= 0; }

    bool escribir(const QByteArray& datos)
    {
        return ::write(fd_, datos.constData(), std::size_t(datos.size())) == datos.size();
    }

    // Reads until `cuantos` bytes arrived or `plazoMs` passed.
    QByteArray leer(int cuantos, int plazoMs)
    {
        QByteArray r;
        QElapsedTimer reloj;
        reloj.start();
        while (r.size() < cuantos) {
            const qint64 queda = plazoMs - reloj.elapsed();
            if (queda <= 0)
                break;
            pollfd pf{fd_, POLLIN, 0};
            if (::poll(&pf, 1, int(queda)) <= 0)
                continue;
            char buf[256];
            const ssize_t n = ::read(fd_, buf, std::min<std::size_t>(sizeof buf, std::size_t(cuantos - r.size())));
            if (n > 0)
                r.append(buf, int(n));
        }
        return r;
    }

    // One exchange: the request out, up to 8 bytes back.
    QByteArray transaccion(const QByteArray& peticion, int plazoMs = 1000)
    {
        escribir(peticion);
        return leer(8, plazoMs);
    }

private:
    int fd_ = -1;
};

} // namespace ombrix::test
