#pragma once
// Modbus RTU as the instruments speak it: 8-byte requests for functions 3, 1,
// 6 and 5, and 8-byte replies that carry one 16-bit value in bytes 5 and 6
// (not the variable-length replies of the public protocol).
//
// EnlaceModbus holds the line settings, opens and closes the port, runs the
// transactions and keeps the three lamps; the lamps widget (TOmbrixComm)
// only paints them.

#include "link/puerto_serie.h"

#include <QObject>
#include <QString>

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <functional>

namespace ombrix {

// Filled by every Modbus operation. Value is written only when Ok is true.
// PuertoPerdido: the request could not even be sent or read because the
// device failed or vanished (an adapter pulled out); the instrument is not to
// blame for it.
struct TModbusResult {
    bool Ok = false;
    qint32 Value = 0;
    bool PuertoPerdido = false;
};

enum TBaud { br4800, br9600, br19200, br38400, br76800, br115200 };
enum TWord { ws7, ws8 };
enum TPar { spNone, spOdd, spEven };
enum TStop { sb1, sb2 };

// 4800, 9600, 19200, 38400, 76800 or 115200.
int baudiosDe(TBaud b);

namespace modbus {

constexpr std::size_t kLargoTrama = 8;
using Trama = std::array<uint8_t, kLargoTrama>;

constexpr quint8 kLeerCoils = 1;
constexpr quint8 kLeerRegistro = 3;
constexpr quint8 kEscribirCoil = 5;
constexpr quint8 kEscribirRegistro = 6;

// Address, function, register (high, low), value (high, low), CRC (low, high).
Trama construirPeticion(quint8 esclavo, quint8 funcion, quint16 registro, quint16 valor);

// A reply passes when all 8 bytes arrived, byte 1 is the slave, byte 2 the
// function and, with checkCrc, bytes 7 and 8 hold the CRC of bytes 1..6.
bool respuestaValida(const uint8_t* respuesta, std::size_t recibidos, quint8 esclavo, quint8 funcion,
                     bool checkCrc);

// Bytes 5 and 6 as a signed 16-bit number, high byte first.
qint32 valorDe(const uint8_t* respuesta);

} // namespace modbus

// Work for the line, run on the thread that owns the port with the open
// handle (−1 when the port is not open: every transaction then fails at
// once). It returns what is to run on the caller's thread afterwards (may be
// empty).
using TrabajoLinea = std::function<std::function<void()>(class EnlaceModbus& enlace, int handle)>;

// Why a port could not be opened.
enum class FalloApertura {
    Ninguno,
    PuertoInvalido,   // not accessible or held by another program
    NoExiste,         // no device of that name
    Parametros,       // opened, but the line settings or time-outs were refused
    SinPermiso,       // the device exists but this user may not open it (not in dialout)
};

// The failure an open of the device ended with, from its errno (0: none).
FalloApertura falloPorErrno(int codigo);

// The line settings a port is opened with, taken at once so that a later
// reopening (after the device came back) uses the same ones.
struct ParametrosPuerto {
    TBaud baud = br9600;
    int timeOuts = 500;
    TWord wordSize = ws8;
    TPar par = spNone;
    TStop stopBits = sb1;
};

// Thread use: the settings and OpenPort belong to the thread that created the
// object; once a port is open, its transactions may run on another thread (the
// one that owns the port), one at a time. The lamps may be read from any thread.
class EnlaceModbus : public QObject {
    Q_OBJECT
public:
    explicit EnlaceModbus(QObject* parent = nullptr);

    // Line settings; they take effect at the next OpenPort. Setting one to a
    // new value emits propiedadesCambiaron.
    TBaud Baud() const { return baud_; }
    void setBaud(TBaud v);
    int TimeOuts() const { return timeOuts_; }
    void setTimeOuts(int v);
    int Retries() const { return retries_; }
    void setRetries(int v);
    TWord WordSize() const { return wordSize_; }
    void setWordSize(TWord v);
    TPar Par() const { return par_; }
    void setPar(TPar v);
    TStop StopBits() const { return stopBits_; }
    void setStopBits(TStop v);

    bool TxLamp() const { return txLamp_; }
    bool RxLamp() const { return rxLamp_; }
    bool AlLamp() const { return alLamp_; }
    int RetryCount() const { return retryCount_; }
    bool PortOpen() const { return portOpen_; }

    // How "COMn" names become devices (see resolverPuerto). Unset: none is
    // configured, so COMn is /dev/ttyS<n-1>.
    void setDispositivoConfigurado(std::function<QString(QString)> buscar);
    QString rutaDe(const QString& PortName) const;

    ParametrosPuerto parametros() const;

    // Opens and configures the port with the current settings. On failure
    // leaves Port.Abierto false and says why; it shows nothing (the caller
    // tells the user, see mensajeDe).
    FalloApertura OpenPort(const QString& PortName, TEstadoPuerto& Port);
    // The same with given settings, on any thread (as long as no other thread
    // changes the settings meanwhile it touches none of them).
    FalloApertura abrirCon(const QString& PortName, const ParametrosPuerto& p, TEstadoPuerto& Port);
    // The message the user is shown for a failed open, under kTituloAtencion.
    // `ruta` is the device, named in the SinPermiso message.
    static QString mensajeDe(FalloApertura f, const QString& ruta = QString());
    // The login name of this process, for the advice of the SinPermiso message.
    static QString usuarioActual();
    static const QString kTituloAtencion;
    // Closes Handle: Port.Abierto false when closed, true when closing failed;
    // Port.Handle −1.
    void ClosePort(int Handle, TEstadoPuerto& Port);
    // Why the last OpenPort failed, with the device's own reason (for logs).
    QString ultimoError() const { return ultimoError_; }
    // How the last OpenPort ended and the device it tried.
    FalloApertura ultimoFallo() const { return ultimoFallo_; }
    QString ultimaRuta() const { return ultimaRuta_; }

    // Sets or clears the DTR and RTS lines. Accepted on a pseudo-terminal,
    // which has none.
    bool setLineas(int Handle, bool dtr, bool rts);

    void Transact(int Handle, quint8 Slave, int Address, int Value, quint8 FunctionCode, bool CheckCrc,
                  TModbusResult& Result);
    void ReadHoldingRegister(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc, TModbusResult& Result);
    void ReadCoils(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc, TModbusResult& Result);
    void WriteSingleRegister(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc, TModbusResult& Result);
    void WriteSingleCoil(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc, TModbusResult& Result);

    virtual void DoRetries(int N);
    virtual void DoFallaComm();

signals:
    void OnFallaComm();
    void OnRetries();
    // Emitted on every lamp step, from the thread that drives the line.
    void lamparasCambiaron();
    void propiedadesCambiaron();

private:
    void lamparas(bool tx, bool rx, bool al);
    template <typename T>
    void cambiar(T& campo, T valor);

    TBaud baud_ = br9600;
    int timeOuts_ = 500;
    std::atomic<int> retries_{5};
    TWord wordSize_ = ws8;
    TPar par_ = spNone;
    TStop stopBits_ = sb1;

    std::atomic<bool> txLamp_{false};
    std::atomic<bool> rxLamp_{false};
    std::atomic<bool> alLamp_{false};
    std::atomic<int> retryCount_{0};
    std::atomic<bool> portOpen_{false};

    std::function<QString(QString)> dispositivoConfigurado_;
    QString ultimoError_;
    FalloApertura ultimoFallo_ = FalloApertura::Ninguno;
    QString ultimaRuta_;
};

} // namespace ombrix
