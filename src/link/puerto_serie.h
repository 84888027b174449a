#pragma once
// The serial line on POSIX: exclusive open, raw line settings, DTR/RTS, and
// reads and writes bounded by the same time-out rules the instruments were
// always driven with (a total time of perByte × n + constant, and for reads a
// longest gap between two received bytes).
//
// The time-outs belong to the open descriptor, as they belong to the port
// handle on the original platform: `configurarTiempos` stores them and every
// `leer`/`escribir` on that descriptor uses them.
//
// The descriptor may also be a device server's connection (see
// link/enlace_tcp.h): the same functions then read and write the socket under
// the same time-outs; a connection that ended or failed is a vanished device,
// even in the middle of a reply, and the modem lines are the server's.

#include <QString>

#include <cstddef>
#include <cstdint>
#include <functional>

#include <termios.h>

namespace ombrix {

// State of the serial port as the caller keeps it. Handle is the file
// descriptor, −1 when closed.
struct TEstadoPuerto {
    bool Abierto = false;
    int Handle = -1;
};

// "COM1".."COM8" (any COMn, letters in any case) give the device configured
// for that name through `dispositivoConfigurado` (it receives "COMn" and
// returns the device path, or an empty string when none is configured), or
// else /dev/ttyS<n-1>. Any other name (an absolute path such as /dev/ttyUSB0
// or /dev/pts/3) is used as it is.
QString resolverPuerto(const QString& nombre, const std::function<QString(QString)>& dispositivoConfigurado);

namespace serie {

// The termios constant of a standard speed; B0 for any other.
speed_t constanteVelocidad(int baudios);

enum class Paridad { Ninguna, Impar, Par };

struct ParametrosLinea {
    int baudios = 9600;   // any rate the driver accepts; 76800 is set through termios2
    int bitsDatos = 8;    // 7 or 8
    Paridad paridad = Paridad::Ninguna;
    int bitsParada = 1;   // 1 or 2
};

// Time-outs in milliseconds. A zero gap time-out means the gap is not watched.
struct TiemposEspera {
    int intervaloLectura = 0;
    int lecturaPorByte = 0;
    int lecturaConstante = 0;
    int escrituraPorByte = 0;
    int escrituraConstante = 0;
    bool operator==(const TiemposEspera&) const = default;
};

// The time-outs the line uses for a base T (integer division by 10):
// gap T/10, read T/10 per byte + T, write T/10 per byte + T.
TiemposEspera tiemposPara(int T);

// Opens the device for exclusive use, non-blocking, close-on-exec. A second
// opener of the same device fails (TIOCEXCL for ordinary users, flock for
// everybody, root included). Returns the descriptor or −1 (`error` says why,
// `codigo` gets the errno of the failure: EACCES for a device the user may
// not open, EWOULDBLOCK when another program holds it, 0 for an empty name).
int abrir(const QString& ruta, QString* error = nullptr, int* codigo = nullptr);

// Fills `t` for the line: raw mode, data bits, parity, stop bits, speed
// (standard rates only; others are left to configurarLinea), no flow control,
// CLOCAL|CREAD, no parity checking of received bytes. False for values the
// line cannot take (data bits other than 7/8, stop bits other than 1/2).
bool prepararTermios(termios& t, const ParametrosLinea& linea);

// Raw mode, the given line, no flow control, CLOCAL|CREAD, DTR and RTS off.
// False when the descriptor is not a terminal or refuses the settings.
bool configurarLinea(int fd, const ParametrosLinea& linea, QString* error = nullptr);

// Stores the time-outs of the descriptor. Refuses a base that would leave the
// reads unbounded (no total time at all) and negative values.
bool configurarTiempos(int fd, const TiemposEspera& tiempos);

// The time-outs stored for fd (false when none).
bool tiemposDe(int fd, TiemposEspera* tiempos);

// The output speed the driver holds for fd (0 when unknown).
int baudiosActuales(int fd);

// Releases the exclusive use and closes. False when fd was not open.
bool cerrar(int fd);

// Writes n bytes within escrituraPorByte × n + escrituraConstante ms, waiting
// for the bytes to leave the driver's output queue within the same bound.
// Returns the count accepted, or −1 when the device failed or vanished.
long escribir(int fd, const uint8_t* datos, std::size_t n);

// Reads up to n bytes. Ends when n bytes arrived, when
// lecturaPorByte × n + lecturaConstante ms have passed since the call, or
// when intervaloLectura ms passed after a byte without another one.
// Returns the count read (0 on silence), or −1 when the device failed or
// vanished (hang-up, I/O error, invalid descriptor) before any byte arrived.
long leer(int fd, uint8_t* datos, std::size_t n);

// Discards whatever was received and not yet read.
bool descartarEntrada(int fd);

// Sets (true) or clears the modem lines. A pseudo-terminal has no modem lines:
// there the request is accepted and does nothing.
bool setDtr(int fd, bool activo);
bool setRts(int fd, bool activo);

} // namespace serie
} // namespace ombrix
