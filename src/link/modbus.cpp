#include "modbus.h"

#include "link/crc16.h"

#include <QtGlobal>

#include <cerrno>
#include <chrono>
#include <thread>

#include <pwd.h>
#include <unistd.h>

namespace ombrix {

const QString EnlaceModbus::kTituloAtencion = QStringLiteral("Atención");

namespace {
const QString kPuertoInvalido =
    QStringLiteral("El puerto solicitado es inválido o está siendo usado por otro dispositivo");
const QString kParametrosIncorrectos = QStringLiteral("Los parámetros de configuración del puerto son incorrectos");

constexpr auto kPausaAntesDeLeer = std::chrono::milliseconds(8);
constexpr auto kPausaTrasFallo = std::chrono::milliseconds(3);
} // namespace

int baudiosDe(TBaud b)
{
    switch (b) {
    case br4800: return 4800;
    case br9600: return 9600;
    case br19200: return 19200;
    case br38400: return 38400;
    case br76800: return 76800;
    case br115200: return 115200;
    }
    return 9600;
}

namespace modbus {

Trama construirPeticion(quint8 esclavo, quint8 funcion, quint16 registro, quint16 valor)
{
    Trama t{esclavo,
            funcion,
            static_cast<uint8_t>(registro >> 8),
            static_cast<uint8_t>(registro & 0xFF),
            static_cast<uint8_t>(valor >> 8),
            static_cast<uint8_t>(valor & 0xFF),
            0,
            0};
    const uint16_t crc = Crc16(t.data(), 6);
    t[6] = static_cast<uint8_t>(crc & 0xFF);
    t[7] = static_cast<uint8_t>(crc >> 8);
    return t;
}

bool respuestaValida(const uint8_t* r, std::size_t recibidos, quint8 esclavo, quint8 funcion, bool checkCrc)
{
    if (r == nullptr || recibidos < kLargoTrama)
        return false;
    if (r[0] != esclavo || r[1] != funcion)
        return false;
    if (!checkCrc)
        return true;
    const uint16_t crc = Crc16(r, 6);
    return r[6] == static_cast<uint8_t>(crc & 0xFF) && r[7] == static_cast<uint8_t>(crc >> 8);
}

qint32 valorDe(const uint8_t* r)
{
    qint32 v = r[4] * 256 + r[5];
    if (r[4] > 127)
        v -= 65536;
    return v;
}

} // namespace modbus

EnlaceModbus::EnlaceModbus(QObject* parent) : QObject(parent) {}

template <typename T>
void EnlaceModbus::cambiar(T& campo, T valor)
{
    if (campo == valor)
        return;
    campo = valor;
    emit propiedadesCambiaron();
}

void EnlaceModbus::setBaud(TBaud v) { cambiar(baud_, v); }
void EnlaceModbus::setTimeOuts(int v) { cambiar(timeOuts_, v); }
void EnlaceModbus::setRetries(int v)
{
    if (retries_.exchange(v) != v)
        emit propiedadesCambiaron();
}
void EnlaceModbus::setWordSize(TWord v) { cambiar(wordSize_, v); }
void EnlaceModbus::setPar(TPar v) { cambiar(par_, v); }
void EnlaceModbus::setStopBits(TStop v) { cambiar(stopBits_, v); }

void EnlaceModbus::setDispositivoConfigurado(std::function<QString(QString)> buscar)
{
    dispositivoConfigurado_ = std::move(buscar);
}

QString EnlaceModbus::rutaDe(const QString& PortName) const
{
    return resolverPuerto(PortName, dispositivoConfigurado_);
}

ParametrosPuerto EnlaceModbus::parametros() const
{
    return ParametrosPuerto{baud_, timeOuts_, wordSize_, par_, stopBits_};
}

FalloApertura falloPorErrno(int codigo)
{
    switch (codigo) {
    case 0: return FalloApertura::Ninguno;
    // EPERM as well: some drivers answer it for a node the user may not open.
    case EACCES:
    case EPERM: return FalloApertura::SinPermiso;
    case ENOENT: return FalloApertura::NoExiste;
    default: return FalloApertura::PuertoInvalido;
    }
}

QString EnlaceModbus::usuarioActual()
{
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_name && *pw->pw_name)
        return QString::fromLocal8Bit(pw->pw_name);
    const QString usuario = qEnvironmentVariable("USER");
    return usuario.isEmpty() ? QStringLiteral("$USER") : usuario;
}

QString EnlaceModbus::mensajeDe(FalloApertura f, const QString& ruta)
{
    switch (f) {
    case FalloApertura::Ninguno: return {};
    case FalloApertura::PuertoInvalido: return kPuertoInvalido;
    case FalloApertura::NoExiste:
        return ruta.isEmpty() ? QStringLiteral("El puerto solicitado no existe")
                              : QStringLiteral("El puerto %1 no existe").arg(ruta);
    case FalloApertura::Parametros: return kParametrosIncorrectos;
    case FalloApertura::SinPermiso: {
        const QString usuario = usuarioActual();
        return QStringLiteral("No tiene permiso para abrir el puerto %1. Agregue el usuario %2 al grupo dialout "
                              "(sudo adduser %2 dialout) y vuelva a iniciar la sesión.")
            .arg(ruta.isEmpty() ? QStringLiteral("serie") : ruta, usuario);
    }
    }
    return {};
}

FalloApertura EnlaceModbus::OpenPort(const QString& PortName, TEstadoPuerto& Port)
{
    return abrirCon(PortName, parametros(), Port);
}

FalloApertura EnlaceModbus::abrirCon(const QString& PortName, const ParametrosPuerto& p, TEstadoPuerto& Port)
{
    ultimoError_.clear();
    ultimoFallo_ = FalloApertura::Ninguno;
    const QString ruta = rutaDe(PortName);
    ultimaRuta_ = ruta;
    QString error;
    int codigo = 0;
    const int fd = serie::abrir(ruta, &error, &codigo);
    Port.Handle = fd;
    if (fd < 0) {
        ultimoError_ = ruta + QStringLiteral(": ") + error;
        Port.Abierto = false;
        portOpen_ = false;
        // An empty name has no errno and is still an invalid port.
        ultimoFallo_ = codigo == 0 ? FalloApertura::PuertoInvalido : falloPorErrno(codigo);
        return ultimoFallo_;
    }

    serie::ParametrosLinea linea;
    linea.baudios = baudiosDe(p.baud);
    linea.bitsDatos = p.wordSize == ws7 ? 7 : 8;
    linea.paridad = p.par == spOdd ? serie::Paridad::Impar
                  : p.par == spEven ? serie::Paridad::Par
                                    : serie::Paridad::Ninguna;
    linea.bitsParada = p.stopBits == sb2 ? 2 : 1;
    bool ok = serie::configurarLinea(fd, linea, &error);
    if (ok && !serie::configurarTiempos(fd, serie::tiemposPara(p.timeOuts))) {
        ok = false;
        error = QStringLiteral("tiempos de espera no admitidos (TimeOuts %1)").arg(p.timeOuts);
    }
    if (!ok) {
        // The handle stays in Port.Handle: the caller closes it.
        ultimoError_ = ruta + QStringLiteral(": ") + error;
        Port.Abierto = false;
        portOpen_ = false;
        ultimoFallo_ = FalloApertura::Parametros;
        return FalloApertura::Parametros;
    }
    Port.Abierto = true;
    portOpen_ = true;
    return FalloApertura::Ninguno;
}

void EnlaceModbus::ClosePort(int Handle, TEstadoPuerto& Port)
{
    Port.Abierto = !serie::cerrar(Handle);
    Port.Handle = -1;
    portOpen_ = false;
}

bool EnlaceModbus::setLineas(int Handle, bool dtr, bool rts)
{
    const bool d = serie::setDtr(Handle, dtr);
    const bool r = serie::setRts(Handle, rts);
    return d && r;
}

void EnlaceModbus::lamparas(bool tx, bool rx, bool al)
{
    txLamp_ = tx;
    rxLamp_ = rx;
    alLamp_ = al;
    emit lamparasCambiaron();
}

void EnlaceModbus::Transact(int Handle, quint8 Slave, int Address, int Value, quint8 FunctionCode, bool CheckCrc,
                            TModbusResult& Result)
{
    const modbus::Trama peticion =
        modbus::construirPeticion(Slave, FunctionCode, static_cast<quint16>(Address), static_cast<quint16>(Value));
    const bool lectura = FunctionCode == modbus::kLeerCoils || FunctionCode == modbus::kLeerRegistro;

    int intentos = 0;
    Result.PuertoPerdido = false;
    lamparas(txLamp_, rxLamp_, false);
    for (;;) {
        // Whatever is still in the receive buffer (a late reply to an earlier
        // attempt, line noise) must never be taken for this request's answer.
        serie::descartarEntrada(Handle);
        lamparas(!lectura, lectura, false);

        uint8_t respuesta[modbus::kLargoTrama] = {};
        long recibidos = serie::escribir(Handle, peticion.data(), peticion.size());
        if (recibidos >= 0) {
            std::this_thread::sleep_for(kPausaAntesDeLeer);
            recibidos = serie::leer(Handle, respuesta, sizeof respuesta);
        }

        lamparas(false, false, false);

        // A port that failed or vanished: no retry can help and the
        // instrument is not to blame.
        if (recibidos < 0) {
            Result.Ok = false;
            Result.PuertoPerdido = true;
            lamparas(false, false, true);
            DoRetries(0);
            DoFallaComm();
            return;
        }

        if (recibidos > 0 && modbus::respuestaValida(respuesta, static_cast<std::size_t>(recibidos), Slave, FunctionCode, CheckCrc)) {
            Result.Value = modbus::valorDe(respuesta);
            Result.Ok = true;
            DoRetries(0);
            return;
        }

        ++intentos;
        DoRetries(intentos);
        std::this_thread::sleep_for(kPausaTrasFallo);
        if (intentos > retries_)
            break;
    }

    Result.Ok = false;
    lamparas(false, false, true);
    DoRetries(0);
    DoFallaComm();
}

void EnlaceModbus::ReadHoldingRegister(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc,
                                       TModbusResult& Result)
{
    Transact(Handle, Slave, Address, Value, modbus::kLeerRegistro, CheckCrc, Result);
}

void EnlaceModbus::ReadCoils(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc, TModbusResult& Result)
{
    Transact(Handle, Slave, Address, Value, modbus::kLeerCoils, CheckCrc, Result);
}

void EnlaceModbus::WriteSingleRegister(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc,
                                       TModbusResult& Result)
{
    Transact(Handle, Slave, Address, Value, modbus::kEscribirRegistro, CheckCrc, Result);
}

void EnlaceModbus::WriteSingleCoil(int Handle, quint8 Slave, int Address, int Value, bool CheckCrc,
                                   TModbusResult& Result)
{
    Transact(Handle, Slave, Address, Value, modbus::kEscribirCoil, CheckCrc, Result);
}

void EnlaceModbus::DoRetries(int N)
{
    retryCount_ = N;
    emit OnRetries();
}

void EnlaceModbus::DoFallaComm() { emit OnFallaComm(); }

} // namespace ombrix
