#pragma once
// The commands an operator sends to one instrument from its panel, and the
// checks of what was typed. Nothing here needs a window: the panel calls
// these, and so can a headless tool.
//
// Every command uses the instrument's slave address (Estados[n].Direccion)
// and its CRC setting; write replies are not examined. The commands run on
// the thread that owns the port, so they take a copy of what they need of
// the model (Destino), made on the main thread.

#include "config/modelo.h"
#include "link/modbus.h"

#include <QString>
#include <optional>

namespace ombrix::comandos {

// Registers of the output mode and the manual power.
constexpr int kRegistroModo = 228;            // 0 automatic, 2 manual
constexpr int kRegistroPotenciaManual = 236;  // tenths of a percent
constexpr int kModoAutomatico = 0;
constexpr int kModoManual = 2;

// A decimal number as typed ('.' as decimal separator, surrounding blanks
// allowed); nothing for empty, malformed, infinite or NaN text.
std::optional<double> leerDecimal(const QString& texto);
// A decimal integer as typed (surrounding blanks allowed, 32-bit range).
std::optional<qint32> leerEntero(const QString& texto);

// The set point as the instrument stores it: valor × divisor truncated toward
// zero. False when that does not fit the instrument's signed 16-bit register
// (it would be taken for a different temperature).
bool escalarSetPoint(double valor, qint32 divisor, qint32& palabra);

enum class ResultadoSetPoint { Enviado, ErrorLectura, FueraDeRango };

// The instrument a command goes to, as the model describes it.
struct Destino {
    quint8 esclavo = 0;
    bool crc = true;
    qint32 Sensor = 0, NProg = 0, NSeg = 0, Temp = 0, SP1 = 0;
};
Destino destinoDe(const Modelo& m, int n);

// Reads the decimals code from register Sensor, scales the set point with it
// and writes it to register SP1 (of the additional parameters). Nothing is
// written when the read fails or the scaled value does not fit.
// `aceptado` (when given) tells whether the write got a valid answer.
ResultadoSetPoint enviarSetPoint(const Destino& d, EnlaceModbus& enlace, int handle, double valor, bool* aceptado = nullptr);

// The commands below return whether every write got a valid answer.

// Output to automatic: 0 to the mode register.
bool enviarAutomatico(const Destino& d, EnlaceModbus& enlace, int handle);

// Output to manual with the given power (0..100 %): 2 to the mode register,
// a pause, the power in tenths of a percent to register 236.
bool enviarPotenciaManual(const Destino& d, EnlaceModbus& enlace, int handle, int porcentaje, int pausaMs = 3);

// Program number and segment (function 5) and segment time (function 6), to
// the registers NProg, NSeg and Temp of the instrument's configuration.
bool enviarPrograma(const Destino& d, EnlaceModbus& enlace, int handle, int programa, int segmento, int tiempo);

} // namespace ombrix::comandos
