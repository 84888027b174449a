#pragma once
// Simulator of the maker's instruments on a serial line: one or more
// controllers and programmers answering Modbus RTU requests through a
// pseudo-terminal (or a real serial device), with live process dynamics and
// per-instrument faults for testing the acquisition side.

#include <QByteArray>
#include <QList>
#include <QString>
#include <QtGlobal>

#include <functional>
#include <memory>

namespace ombrix::sim {

enum class Falla { Ninguna, Silencio, CrcMala, DireccionMala, Corta, Tarde, Basura };

// Register addresses the instruments use (the factory defaults of the
// acquisition side).
namespace reg {
constexpr quint16 SP1 = 4, SP2 = 6, AL1 = 12, AL2 = 14, AB1 = 28, AB2 = 30, ABA1 = 36, ABA2 = 38;
constexpr quint16 RS1 = 164, RS2 = 166, IN1 = 180, IN2 = 182, DR1 = 188, DR2 = 190, ST1 = 244, ST2 = 246;
constexpr quint16 Modo = 228;            // 0 automatic, 2 manual
constexpr quint16 PotenciaManual = 236;  // tenths of a percent
constexpr quint16 NProg = 252, NSeg = 268, Temp = 300;
constexpr quint16 VActual = 4096, SetPoint = 4104, Potencia = 4112;
constexpr quint16 Alarma1 = 4120, Alarma2 = 4122, Alarma3 = 4124, Alarma4 = 4126;
constexpr quint16 FueraRango = 4128;
constexpr quint16 Decimales = 16440;
} // namespace reg

class Simulador {
public:
    Simulador();
    ~Simulador();  // stops and closes
    Simulador(const Simulador&) = delete;
    Simulador& operator=(const Simulador&) = delete;

    void agregarInstrumento(quint8 direccion, bool programador);
    // New pseudo-terminal; returns the path a client opens (/dev/pts/N).
    bool abrirPty(QString* rutaEsclavo, QString* error = nullptr);
    bool abrirDispositivo(const QString& ruta, QString* error = nullptr);
    // Serves the line as a serial device server does: listens on 127.0.0.1
    // at `puerto` (0: any free port, told in puertoReal) and passes the bytes
    // of one client connection at a time (a new client replaces the old).
    // The pacing still follows the line's speed, so a reply comes one byte
    // at a time, as the box forwards it from its serial port.
    bool abrirTcp(quint16 puerto, quint16* puertoReal = nullptr, QString* error = nullptr);
    // As a device server: resets the client's connection (it sees
    // ECONNRESET) and goes on listening. Thread-safe.
    void cortarConexion();
    void setBaudios(int baudios);      // for pacing (default 9600)
    void setRitmo(bool activo);        // pace the line at 10 bits per byte; default true
    void setRetardoRespuesta(int ms);  // instrument turnaround before replying; default 2 ms
    void iniciar();                    // serves on its own thread
    void detener();
    // Closes the line as a pulled USB adapter would: stops serving and closes
    // the descriptors (both ends of a pseudo-terminal), so that a client
    // holding the slave sees a hang-up; as a device server, the connection
    // and the listening socket (connections are then refused). The instruments keep their registers
    // and faults, and their processes go on meanwhile: abrirPty() or
    // abrirDispositivo() and then iniciar() serve them again, brought up to date.
    void cerrarLinea();

    // Control, thread-safe, any time:
    void setFalla(quint8 direccion, Falla f, int retardoMs = 0);  // Tarde: reply after retardoMs
    void setRegistro(quint8 direccion, quint16 registro, qint16 valor);
    qint16 registro(quint8 direccion, quint16 registro) const;
    bool sirve(quint8 direccion) const;
    // Every well-formed request (8 bytes, CRC ok) addressed to a served
    // instrument, in arrival order (the newest 10000 are kept).
    QList<QByteArray> peticiones() const;
    void limpiarPeticiones();
    void setDinamica(bool activa);  // default true
    // Called on the simulator thread for every request logged in peticiones().
    void setAlRecibir(std::function<void(const QByteArray&)> aviso);

private:
    struct Impl;
    std::unique_ptr<Impl> d;
};

} // namespace ombrix::sim
