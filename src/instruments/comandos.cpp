#include "instruments/comandos.h"

#include "acquisition/lectura.h"

#include <QThread>

#include <cmath>
#include <limits>

namespace ombrix::comandos {

Destino destinoDe(const Modelo& m, int n)
{
    Destino d;
    if (n < 1 || n >= m.Estados.size() || n >= m.Avanzadas1.size() || n >= m.Avanzadas2.size())
        return d;
    const TAvanzadas1& a = m.Avanzadas1[n];
    d.esclavo = m.Estados[n].Direccion;
    d.crc = a.CRC;
    d.Sensor = a.Sensor;
    d.NProg = a.NProg;
    d.NSeg = a.NSeg;
    d.Temp = a.Temp;
    d.SP1 = m.Avanzadas2[n].SP1;
    return d;
}

std::optional<double> leerDecimal(const QString& texto)
{
    bool ok = false;
    const double v = texto.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return std::nullopt;
    return v;
}

std::optional<qint32> leerEntero(const QString& texto)
{
    bool ok = false;
    const qint32 v = texto.trimmed().toInt(&ok, 10);
    if (!ok)
        return std::nullopt;
    return v;
}

bool escalarSetPoint(double valor, qint32 divisor, qint32& palabra)
{
    if (!std::isfinite(valor))
        return false;
    const double escalado = std::trunc(valor * double(divisor));
    if (!std::isfinite(escalado) || escalado < double(std::numeric_limits<qint16>::min())
        || escalado > double(std::numeric_limits<qint16>::max()))
        return false;
    palabra = qint32(escalado);
    return true;
}

ResultadoSetPoint enviarSetPoint(const Destino& d, EnlaceModbus& enlace, int handle, double valor, bool* aceptado)
{
    TModbusResult r;
    enlace.ReadCoils(handle, d.esclavo, d.Sensor, 0, d.crc, r);
    if (!r.Ok)
        return ResultadoSetPoint::ErrorLectura;

    qint32 divisor = 1;
    quint8 decs = 0;
    decimales(r.Value, divisor, decs, d.Sensor);

    qint32 palabra = 0;
    if (!escalarSetPoint(valor, divisor, palabra))
        return ResultadoSetPoint::FueraDeRango;

    TModbusResult w;
    enlace.WriteSingleRegister(handle, d.esclavo, d.SP1, palabra, d.crc, w);
    if (aceptado)
        *aceptado = w.Ok;
    return ResultadoSetPoint::Enviado;
}

bool enviarAutomatico(const Destino& d, EnlaceModbus& enlace, int handle)
{
    TModbusResult r;
    enlace.WriteSingleCoil(handle, d.esclavo, kRegistroModo, kModoAutomatico, d.crc, r);
    return r.Ok;
}

bool enviarPotenciaManual(const Destino& d, EnlaceModbus& enlace, int handle, int porcentaje, int pausaMs)
{
    TModbusResult r;
    enlace.WriteSingleCoil(handle, d.esclavo, kRegistroModo, kModoManual, d.crc, r);
    const bool modo = r.Ok;
    if (pausaMs > 0)
        QThread::msleep(pausaMs);
    enlace.WriteSingleCoil(handle, d.esclavo, kRegistroPotenciaManual, porcentaje * 10, d.crc, r);
    return modo && r.Ok;
}

bool enviarPrograma(const Destino& d, EnlaceModbus& enlace, int handle, int programa, int segmento, int tiempo)
{
    TModbusResult r;
    bool todo = true;
    enlace.WriteSingleCoil(handle, d.esclavo, d.NProg, programa, d.crc, r);
    todo = todo && r.Ok;
    enlace.WriteSingleCoil(handle, d.esclavo, d.NSeg, segmento, d.crc, r);
    todo = todo && r.Ok;
    enlace.WriteSingleRegister(handle, d.esclavo, d.Temp, tiempo, d.crc, r);
    return todo && r.Ok;
}

} // namespace ombrix::comandos
