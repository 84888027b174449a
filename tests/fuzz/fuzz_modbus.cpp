// Fuzz target: the checks and decoding a Modbus reply goes through on its
// way from the line to the recorded text. The first bytes choose the slave,
// the function, the CRC check and the register the value belongs to; the
// rest is the reply as it came off the line, of any length.

#include "acquisition/lectura.h"
#include "link/crc16.h"
#include "link/modbus.h"

#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <vector>

using namespace ombrix;

namespace {

void exigir(bool condicion)
{
    if (!condicion)
        std::abort();
}

// Reads the text back as valor / divisor (the text the table gets must mean
// the value read).
void comprobarTexto(const QString& t, qint32 valor, qint32 divisor, quint8 dec)
{
    exigir(!t.isEmpty());
    if (divisor <= 1 || dec == 0) {
        exigir(t == QString::number(valor / (divisor == 0 ? 1 : divisor)));
        return;
    }
    const qsizetype punto = t.indexOf(QLatin1Char('.'));
    exigir(punto > 0 && t.size() - punto - 1 == dec);
    const qint64 absoluto = valor < 0 ? -qint64(valor) : qint64(valor);
    bool ok = false;
    const qint64 entero = t.mid(valor < 0 ? 1 : 0, punto - (valor < 0 ? 1 : 0)).toLongLong(&ok);
    exigir(ok && entero == absoluto / divisor);
    const qint64 fraccion = t.mid(punto + 1).toLongLong(&ok);
    exigir(ok && fraccion == absoluto % divisor);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t largo)
{
    if (largo < 5)
        return 0;
    const quint8 esclavo = datos[0];
    const quint8 funcion = datos[1];
    const bool conCrc = datos[2] & 1;
    const qint32 registro = 40000 + ((datos[3] << 8 | datos[4]) % 10000);
    // The reply in a buffer of exactly its length, so that reading past it shows.
    std::vector<uint8_t> respuesta(datos + 5, datos + largo);
    const uint8_t* r = respuesta.empty() ? nullptr : respuesta.data();

    const uint16_t crc = Crc16(r, respuesta.size());
    (void)crc;
    const bool valida = modbus::respuestaValida(r, respuesta.size(), esclavo, funcion, conCrc);
    if (respuesta.size() < modbus::kLargoTrama) {
        exigir(!valida);
        return 0;
    }
    if (valida && conCrc) {
        const uint16_t c = Crc16(r, 6);
        exigir(r[6] == (c & 0xFF) && r[7] == (c >> 8));
    }

    // The same bytes rebuilt as a frame always pass, with and without CRC.
    const modbus::Trama eco = modbus::construirPeticion(r[0], r[1], quint16(r[2] << 8 | r[3]), quint16(r[4] << 8 | r[5]));
    exigir(modbus::respuestaValida(eco.data(), eco.size(), r[0], r[1], true));
    exigir(std::memcmp(eco.data(), r, 6) == 0);

    const qint32 valor = modbus::valorDe(r);
    exigir(valor >= -32768 && valor <= 32767);
    exigir(qint32(int16_t(uint16_t(r[4] << 8 | r[5]))) == valor);

    // The value as a decimals code of the register, then a second value shown
    // with those decimals, as a reading does with the measured value.
    qint32 divisor = 1;
    quint8 dec = 0;
    decimales(valor, divisor, dec, registro);
    exigir(dec <= 3);
    exigir(divisor == (dec == 0 ? 1 : dec == 1 ? 10 : dec == 2 ? 100 : 1000));
    const qint32 otro = respuesta.size() >= 10 ? qint32(int16_t(uint16_t(r[8] << 8 | r[9]))) : valor;
    comprobarTexto(textoPuntoFijo(otro, divisor, dec), otro, divisor, dec);
    // Values wider than a register (sums, scaled set points) as well.
    if (respuesta.size() >= 14) {
        qint32 ancho;
        std::memcpy(&ancho, r + 10, sizeof ancho);
        comprobarTexto(textoPuntoFijo(ancho, divisor, dec), ancho, divisor, dec);
    }
    return 0;
}
