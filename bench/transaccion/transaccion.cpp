// Time per ReadHoldingRegister transaction against an instrument on a
// pseudo-terminal whose line is paced at 10 bits per byte, beside the least
// time the line itself allows.
//
// On this line the request needs 8 byte times to reach the instrument, which
// then turns around and sends 8 bytes back; meanwhile the master pauses its
// fixed 8 ms before reading. A transaction therefore cannot end before
// max(8 ms, 16 byte times + turnaround): that is the line's minimum, and what
// is measured beyond it is the overhead of the link code.
//
// With --tcp the instrument sits behind a device server on the loopback (the
// simulator serving over TCP, still paced at the line's speed): the line's
// minimum is the same, and what is measured beyond it is the link code plus
// the connection.
//
// Usage: bench-transaccion [--tcp] [transactions per speed, default 200]

#include "link/modbus.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <cstring>
#include <numeric>
#include <thread>
#include <vector>

#ifdef OMBRIX_BENCH_CON_SIMULADOR
#include "sim/simulador.h"
#else
#include "link/crc16.h"
#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <time.h>
#include <unistd.h>
#endif

using namespace ombrix;

namespace {

constexpr int kRetardoRespuestaMs = 2;
constexpr quint8 kEsclavo = 1;
constexpr int kRegistro = 4096;
bool porTcp = false;

#ifdef OMBRIX_BENCH_CON_SIMULADOR

class Instrumento {
public:
    explicit Instrumento(int baudios)
    {
        sim_.agregarInstrumento(kEsclavo, false);
        sim_.setDinamica(false);
        sim_.setBaudios(baudios);
        sim_.setRitmo(true);
        sim_.setRetardoRespuesta(kRetardoRespuestaMs);
        sim_.setRegistro(kEsclavo, kRegistro, -200);
        quint16 puerto = 0;
        if (!porTcp)
            sim_.abrirPty(&ruta_);
        else if (sim_.abrirTcp(0, &puerto))
            ruta_ = QStringLiteral("tcp://127.0.0.1:%1").arg(puerto);
        sim_.iniciar();
    }
    ~Instrumento() { sim_.detener(); }
    QString ruta() const { return ruta_; }
    static const char* nombre() { return porTcp ? "simulador tras un servidor serie TCP en 127.0.0.1" : "simulador de instrumentos"; }

private:
    sim::Simulador sim_;
    QString ruta_;
};

#else

// A minimal paced instrument: answers every 8 bytes with a fixed reply, 8 byte
// times after the first byte arrived plus the turnaround, one byte per byte time.
class Instrumento {
public:
    explicit Instrumento(int baudios) : byteNs_(10LL * 1000000000LL / baudios)
    {
        maestro_ = ::posix_openpt(O_RDWR | O_NOCTTY);
        ::grantpt(maestro_);
        ::unlockpt(maestro_);
        ruta_ = QString::fromLocal8Bit(::ptsname(maestro_));
        sostenido_ = ::open(::ptsname(maestro_), O_RDWR | O_NOCTTY | O_NONBLOCK);
        hilo_ = std::thread([this] { servir(); });
    }
    ~Instrumento()
    {
        parar_ = true;
        hilo_.join();
        ::close(sostenido_);
        ::close(maestro_);
    }
    QString ruta() const { return ruta_; }
    static const char* nombre() { return "par propio con ritmo"; }

private:
    static long long ahora()
    {
        timespec ts;
        ::clock_gettime(CLOCK_MONOTONIC, &ts);
        return ts.tv_sec * 1000000000LL + ts.tv_nsec;
    }
    static void dormirHasta(long long ns)
    {
        timespec ts{static_cast<time_t>(ns / 1000000000LL), static_cast<long>(ns % 1000000000LL)};
        while (::clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &ts, nullptr) == EINTR) {
        }
    }
    void servir()
    {
        uint8_t r[8] = {kEsclavo, 3, 0x10, 0x00, 0xFF, 0x38, 0, 0};
        const uint16_t crc = Crc16(r, 6);
        r[6] = crc & 0xFF;
        r[7] = crc >> 8;
        int llevados = 0;
        long long primero = 0;
        while (!parar_) {
            pollfd p{maestro_, POLLIN, 0};
            if (::poll(&p, 1, 20) <= 0 || !(p.revents & POLLIN))
                continue;
            uint8_t b[64];
            const ssize_t k = ::read(maestro_, b, sizeof b);
            if (k <= 0)
                continue;
            if (llevados == 0)
                primero = ahora();
            llevados += int(k);
            if (llevados < 8)
                continue;
            llevados = 0;
            const long long inicio = primero + 8 * byteNs_ + kRetardoRespuestaMs * 1000000LL;
            for (int i = 0; i < 8; ++i) {
                dormirHasta(inicio + (i + 1) * byteNs_);
                (void)!::write(maestro_, r + i, 1);
            }
        }
    }

    long long byteNs_;
    int maestro_ = -1;
    int sostenido_ = -1;
    QString ruta_;
    std::atomic<bool> parar_{false};
    std::thread hilo_;
};

#endif

struct Cifras {
    double media = 0, mediana = 0, p95 = 0, minimo = 0;
    int fallos = 0;
};

Cifras medir(int baudios, TBaud baud, int n)
{
    Instrumento instrumento(baudios);
    EnlaceModbus enlace;
    enlace.setBaud(baud);
    enlace.setRetries(0);
    TEstadoPuerto puerto;
    enlace.OpenPort(instrumento.ruta(), puerto);
    Cifras c;
    if (!puerto.Abierto) {
        c.fallos = n;
        return c;
    }
    TModbusResult r;
    for (int i = 0; i < 5; ++i)  // warm-up
        enlace.ReadHoldingRegister(puerto.Handle, kEsclavo, kRegistro, 0, true, r);
    std::vector<double> ms;
    ms.reserve(std::size_t(n));
    QElapsedTimer reloj;
    for (int i = 0; i < n; ++i) {
        reloj.start();
        enlace.ReadHoldingRegister(puerto.Handle, kEsclavo, kRegistro, 0, true, r);
        const double t = double(reloj.nsecsElapsed()) / 1e6;
        if (!r.Ok || r.Value != -200)
            ++c.fallos;
        else
            ms.push_back(t);
    }
    enlace.ClosePort(puerto.Handle, puerto);
    if (ms.empty())
        return c;
    std::sort(ms.begin(), ms.end());
    c.media = std::accumulate(ms.begin(), ms.end(), 0.0) / double(ms.size());
    c.mediana = ms[ms.size() / 2];
    c.p95 = ms[std::min(ms.size() - 1, ms.size() * 95 / 100)];
    c.minimo = ms.front();
    return c;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    int n = 200;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--tcp") == 0)
            porTcp = true;
        else
            n = std::max(1, atoi(argv[i]));
    }
#ifndef OMBRIX_BENCH_CON_SIMULADOR
    if (porTcp) {
        std::fprintf(stderr, "bench-transaccion: --tcp needs the instrument simulator\n");
        return 2;
    }
#endif

    std::printf("bench-transaccion: ReadHoldingRegister, %d transacciones por velocidad, %s,\n"
                "  10 bits por byte, respuesta del instrumento a %d ms; minimo de la linea = max(8 ms, 16 bytes + %d ms)\n",
                n, Instrumento::nombre(), kRetardoRespuestaMs, kRetardoRespuestaMs);
    std::printf("%-8s %9s %11s %8s %8s %15s %15s %7s\n", "baudios", "media_ms", "mediana_ms", "p95_ms", "min_ms",
                "minimo_linea_ms", "sobrecoste_ms", "fallos");
    bool bien = true;
    const struct {
        int baudios;
        TBaud baud;
    } velocidades[] = {{9600, br9600}, {19200, br19200}};
    for (const auto& v : velocidades) {
        const Cifras c = medir(v.baudios, v.baud, n);
        const double byteMs = 10.0 * 1000.0 / v.baudios;
        const double minimo = std::max(8.0, 16.0 * byteMs + kRetardoRespuestaMs);
        std::printf("%-8d %9.3f %11.3f %8.3f %8.3f %15.3f %15.3f %7d\n", v.baudios, c.media, c.mediana, c.p95, c.minimo,
                    minimo, c.mediana - minimo, c.fallos);
        bien = bien && c.fallos == 0;
    }
    std::printf("(sobrecoste = mediana - minimo de la linea; objetivo < 1 ms)\n");
    return bien ? 0 : 1;
}
