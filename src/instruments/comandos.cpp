#include "instruments/comandos.h"

#include "acquisition/lectura.h"

#include <QThread>

#include <cmath>
#include <limits>

namespace ombrix::comandos {

namespace {

quint8 esclavo(const Modelo& m, int n) { return m.Estados[n].Direccion; }
bool crc(const Modelo& m, int n) { return m.Avanzadas1[n].CRC; }

} // namespace

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

ResultadoSetPoint enviarSetPoint(Modelo& m, EnlaceModbus& enlace, int handle, int n, double valor)
{
    const TAvanzadas1& a = m.Avanzadas1[n];
    TModbusResult r;
    enlace.ReadCoils(handle, esclavo(m, n), a.Sensor, 0, crc(m, n), r);
    if (!r.Ok)
        return ResultadoSetPoint::ErrorLectura;

    qint32 divisor = 1;
    quint8 decs = 0;
    decimales(r.Value, divisor, decs, a.Sensor);

    qint32 palabra = 0;
    if (!escalarSetPoint(valor, divisor, palabra))
        return ResultadoSetPoint::FueraDeRango;

    TModbusResult w;
    enlace.WriteSingleRegister(handle, esclavo(m, n), m.Avanzadas2[n].SP1, palabra, crc(m, n), w);
    return ResultadoSetPoint::Enviado;
}

void enviarAutomatico(Modelo& m, EnlaceModbus& enlace, int handle, int n)
{
    TModbusResult r;
    enlace.WriteSingleCoil(handle, esclavo(m, n), kRegistroModo, kModoAutomatico, crc(m, n), r);
}

void enviarPotenciaManual(Modelo& m, EnlaceModbus& enlace, int handle, int n, int porcentaje, int pausaMs)
{
    TModbusResult r;
    enlace.WriteSingleCoil(handle, esclavo(m, n), kRegistroModo, kModoManual, crc(m, n), r);
    if (pausaMs > 0)
        QThread::msleep(pausaMs);
    enlace.WriteSingleCoil(handle, esclavo(m, n), kRegistroPotenciaManual, porcentaje * 10, crc(m, n), r);
}

void enviarPrograma(Modelo& m, EnlaceModbus& enlace, int handle, int n, int programa, int segmento, int tiempo)
{
    const TAvanzadas1& a = m.Avanzadas1[n];
    TModbusResult r;
    enlace.WriteSingleCoil(handle, esclavo(m, n), a.NProg, programa, crc(m, n), r);
    enlace.WriteSingleCoil(handle, esclavo(m, n), a.NSeg, segmento, crc(m, n), r);
    enlace.WriteSingleRegister(handle, esclavo(m, n), a.Temp, tiempo, crc(m, n), r);
}

} // namespace ombrix::comandos
