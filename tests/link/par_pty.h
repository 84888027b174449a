#pragma once
// The far end of a real pseudo-terminal for the link tests: the program under
// test opens the slave side like a serial port, and this peer answers on the
// master side from its own thread, as an instrument on the line would.

#include "link/crc16.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <thread>

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>

namespace ombrix::test {

// What the peer does with one 8-byte request.
struct Accion {
    QByteArray bytes;        // written back (empty: silence)
    int retardoMs = 1;       // before the first byte
    int ritmoUs = 0;         // pause between bytes (0: all at once)
    bool colgar = false;     // close the master instead: the device vanishes
};

// What every peer shares: the serving thread, the requests it received, and
// the way it writes a reply (at once, or byte by byte).
class ParConHilo {
public:
    virtual ~ParConHilo() = default;

    // Serves every 8 bytes received with `f` on the peer's thread.
    void responder(std::function<Accion(const QByteArray&)> f)
    {
        detener();
        funcion_ = std::move(f);
        parar_ = false;
        hilo_ = std::thread([this] { bucle(); });
    }

    void detener()
    {
        parar_ = true;
        if (hilo_.joinable())
            hilo_.join();
    }

    QList<QByteArray> peticiones() const
    {
        std::lock_guard<std::mutex> l(mutex_);
        return peticiones_;
    }

protected:
    virtual void bucle() = 0;

    // Notes one request and asks what to do with it.
    Accion atender(const QByteArray& peticion)
    {
        {
            std::lock_guard<std::mutex> l(mutex_);
            peticiones_.append(peticion);
        }
        return funcion_(peticion);
    }

    // The reply's bytes after its delay, through escribir(data, n).
    template <typename F>
    static void escribirRespuesta(const Accion& a, F escribir)
    {
        std::this_thread::sleep_for(std::chrono::milliseconds(a.retardoMs));
        if (a.ritmoUs <= 0) {
            escribir(a.bytes.constData(), static_cast<size_t>(a.bytes.size()));
            return;
        }
        for (char c : a.bytes) {
            escribir(&c, 1);
            std::this_thread::sleep_for(std::chrono::microseconds(a.ritmoUs));
        }
    }

    std::atomic<bool> parar_{true};
    std::thread hilo_;

private:
    std::function<Accion(const QByteArray&)> funcion_;
    mutable std::mutex mutex_;
    QList<QByteArray> peticiones_;
};

class ParPty : public ParConHilo {
public:
    ParPty()
    {
        maestro_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        if (maestro_ < 0 || ::grantpt(maestro_) != 0 || ::unlockpt(maestro_) != 0)
            return;
        esclavo_ = QString::fromLocal8Bit(::ptsname(maestro_));
        // Held open so that the master never sees a hang-up while the client
        // has not opened (or has closed) its side.
        sostenido_ = ::open(esclavo_.toLocal8Bit().constData(), O_RDWR | O_NOCTTY | O_NONBLOCK);
        termios t{};
        if (::tcgetattr(sostenido_, &t) == 0) {
            ::cfmakeraw(&t);
            ::tcsetattr(sostenido_, TCSANOW, &t);
        }
    }
    ~ParPty() override
    {
        detener();
        colgar();
        if (sostenido_ >= 0)
            ::close(sostenido_);
    }
    ParPty(const ParPty&) = delete;
    ParPty& operator=(const ParPty&) = delete;

    bool valido() const { return maestro_ >= 0 && !esclavo_.isEmpty() && sostenido_ >= 0; }
    QString esclavo() const { return esclavo_; }
    int maestro() const { return maestro_; }

    // Writes bytes to the client now, from the test's thread.
    void enviar(const QByteArray& b) { (void)!::write(maestro_, b.constData(), static_cast<size_t>(b.size())); }

    // Closes the master: the client's side hangs up.
    void colgar()
    {
        const int fd = maestro_.exchange(-1);
        if (fd >= 0)
            ::close(fd);
    }

private:
    static void dormirMs(int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }

    void bucle() override
    {
        QByteArray pendiente;
        while (!parar_ && maestro_ >= 0) {
            pollfd p{maestro_, POLLIN, 0};
            const int r = ::poll(&p, 1, 10);
            if (r <= 0)
                continue;
            if (!(p.revents & POLLIN)) {
                dormirMs(5);
                continue;
            }
            char buf[256];
            const ssize_t k = ::read(maestro_, buf, sizeof buf);
            if (k <= 0) {
                dormirMs(5);
                continue;
            }
            pendiente.append(buf, static_cast<int>(k));
            while (pendiente.size() >= 8 && !parar_) {
                const Accion a = atender(pendiente.left(8));
                pendiente.remove(0, 8);
                if (a.colgar) {
                    colgar();
                    return;
                }
                if (a.bytes.isEmpty())
                    continue;
                escribirRespuesta(a, [this](const char* b, size_t n) { (void)!::write(maestro_, b, n); });
            }
        }
    }

    std::atomic<int> maestro_{-1};
    int sostenido_ = -1;
    QString esclavo_;
};

// A well-formed 8-byte reply: address, function, two bytes, value, CRC.
inline QByteArray respuestaCon(quint8 esclavo, quint8 funcion, quint16 valor, quint8 b3 = 0, quint8 b4 = 0)
{
    uint8_t r[8] = {esclavo, funcion, b3, b4, static_cast<uint8_t>(valor >> 8), static_cast<uint8_t>(valor & 0xFF), 0, 0};
    const uint16_t crc = ombrix::Crc16(r, 6);
    r[6] = static_cast<uint8_t>(crc & 0xFF);
    r[7] = static_cast<uint8_t>(crc >> 8);
    return QByteArray(reinterpret_cast<const char*>(r), 8);
}

// The usual instrument: echoes address, function and register, answers `valor`.
inline Accion eco(const QByteArray& p, quint16 valor)
{
    return {respuestaCon(quint8(p[0]), quint8(p[1]), valor, quint8(p[2]), quint8(p[3]))};
}

} // namespace ombrix::test
