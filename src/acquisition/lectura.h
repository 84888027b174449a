#pragma once
// Reading one instrument: every enabled quantity is asked for in its order,
// the replies are decoded (decimal point, range marks, percentages, alarm
// states) and handed back as a plain result that the panel shows and the
// recording stores. Nothing here needs a window.

#include "config/modelo.h"
#include "link/modbus.h"

#include <QString>
#include <array>
#include <functional>
#include <optional>

namespace ombrix {

// Indices of the seven reading texts, in the order of the table columns.
enum IndiceLectura { kValorMedido = 0, kSetPoint, kPotencia, kAlarma1, kAlarma2, kAlarma3, kAlarma4 };

// The divisor and decimals of the measured value and the set point, kept from
// one reading to the next and changed only when a decimals code is read.
struct EstadoDecimales {
    qint32 DivisorVA = 1;
    quint8 DecimalesVA = 0;
    qint32 DivisorSP = 1;
    quint8 DecimalesSP = 0;
};

// Turns a decimals code read from register `registro` into divisor and decimals.
void decimales(qint32 codigo, qint32& divisor, quint8& decimalesOut, qint32 registro);

// Fixed-point text of valor / divisor with `decimales` digits after the point
// (divisor is 10 to the power decimales): -200, 10, 1 gives "-20.0".
QString textoPuntoFijo(qint32 valor, qint32 divisor, quint8 decimales);

struct BarraLeida {            // power bar or alarm-1 bar, when its value was read
    qint32 progreso = 0;       // the raw value
    qint32 maximo = 0;         // Val100Pot / Val100A1
    // Caption: name + ":" + percentage + "%". With a scale of 0 the percentage
    // cannot be computed: the caption is name + ":Err", the recorded text
    // "Err" and the gauge empty (progreso 0, maximo 0).
    QString texto;
};

struct ResultadoLectura {
    // Valor_medido, Set_point, Potencia, Alarma_1 .. Alarma_4 as recorded.
    std::array<QString, 7> Lecturas;
    // Display texts; empty when the quantity was not read (the display keeps its text).
    std::optional<QString> valorActual, SetPoint, NProg, NSeg, Temp;
    std::optional<BarraLeida> Potencia, Alarma1;
    // Alarms 2..4: the colour (0x00BBGGRR) the indicator takes, when read.
    std::array<std::optional<qint32>, 3> ColoresAlarma;
    int fallas = 0;                 // failed quantities in this reading
    int habilitadas = 0;            // quantities asked for (each counts once)
    bool alarmaComEnganchada = false; // this reading latched the communication alarm (engancharAlarma)
    int peticiones = 0;             // requests sent
    // The reading did not run to its end: it was cut short by a stop, or the
    // port failed or vanished under it (puertoPerdido). Nothing of it is to be
    // shown, counted or recorded, and the decimals state is left as it was.
    bool cortada = false;
    bool puertoPerdido = false;

    // Every quantity asked for failed, or five or more did.
    bool fallaComunicacion() const { return !cortada && (fallas > 4 || (fallas > 0 && fallas == habilitadas)); }
};

// Reads one instrument (its registers and flags `a`, slave address `esclavo`)
// over `enlace` on the open port `handle`; touches no shared state but `dec`,
// the instrument's own decimals state, so it may run on the thread that owns
// the port. `pausaMs` is the pause before every read (3 ms on the line; tests
// may pass 0). `cortar`, when given, is asked before every read: true ends
// the reading there, as cut short.
ResultadoLectura LeerInstrumento(const TAvanzadas1& a, quint8 esclavo, EnlaceModbus& enlace, int handle,
                                 EstadoDecimales& dec, int pausaMs = 3, const std::function<bool()>& cortar = {});

// Latches the communication alarm of an instrument after its reading `r`
// when the reading failed as a whole and the alarm was not latched yet
// (r.alarmaComEnganchada tells whether it happened now).
void engancharAlarma(EstadoInstrumento& estado, ResultadoLectura& r);

} // namespace ombrix
