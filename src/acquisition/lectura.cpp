#include "lectura.h"

#include <chrono>
#include <thread>

namespace ombrix {

namespace {

const QString kNoHabilitado = QStringLiteral("N.I.");
const QString kError = QStringLiteral("Err");
const QString kSobreRango = QStringLiteral(" oF ");
const QString kBajoRango = QStringLiteral(" uF ");

// One quantity as this reading got it.
struct Leido {
    bool ok = false;
    qint32 valor = 0;
};

constexpr Leido kLeidoCero{true, 0};

// Input-type codes (registers 46001..48999) name a sensor, not a count of decimals.
qint32 divisorDeTipoEntrada(qint32 codigo)
{
    switch (codigo) {
    case 0: case 6: case 7: case 9: case 12: case 13: return 10;
    case 10: return 100;
    case 11: return 1000;
    default: return 1;
    }
}

// Measured value or set point: range marks first, otherwise the scaled value.
QString textoValor(qint32 rango, qint32 valor, qint32 divisor, quint8 decimalesValor)
{
    if (rango == 1)
        return kSobreRango;
    if (rango == 2)
        return kBajoRango;
    return textoPuntoFijo(valor, divisor, decimalesValor);
}

// value × 100 ÷ scale, cut toward zero (C++ integer division already is).
qint32 porcentaje(qint32 valor, qint32 escala) { return qint32(qint64(valor) * 100 / escala); }

BarraLeida barra(const QString& nombre, qint32 valor, qint32 escala, QString& texto)
{
    BarraLeida b;
    if (escala == 0) {
        texto = kError;
        b.texto = nombre + QStringLiteral(":") + kError;
        return b;
    }
    const qint32 p = porcentaje(valor, escala);
    b.progreso = valor;
    b.maximo = escala;
    b.texto = nombre + QStringLiteral(":") + QString::number(p) + QStringLiteral("%");
    texto = QString::number(p);
    return b;
}

// Program and segment numbers: below 10 they get a leading "0".
QString textoDosCifras(qint32 v) { return v < 10 ? QStringLiteral("0") + QString::number(v) : QString::number(v); }

// Segment time: "0", one more "0" for each digit short of 3, then the value.
QString textoTiempo(qint32 v)
{
    const QString cifras = QString::number(v);
    QString t = QStringLiteral("0");
    if (cifras.size() < 3)
        t += QString(3 - cifras.size(), QLatin1Char('0'));
    return t + cifras;
}

} // namespace

void decimales(qint32 codigo, qint32& divisor, quint8& decimalesOut, qint32 registro)
{
    if (registro >= 46001 && registro <= 48999) {
        divisor = divisorDeTipoEntrada(codigo);
        decimalesOut = divisor == 1000 ? 3 : divisor == 100 ? 2 : divisor == 10 ? 1 : 0;
        return;
    }
    if (codigo < 0 || codigo > 3)
        codigo = 0;
    decimalesOut = quint8(codigo);
    divisor = 1;
    for (int i = 0; i < codigo; ++i)
        divisor *= 10;
}

QString textoPuntoFijo(qint32 valor, qint32 divisor, quint8 decimalesValor)
{
    if (divisor <= 1 || decimalesValor == 0)
        return QString::number(valor / (divisor == 0 ? 1 : divisor));
    const qint64 absoluto = valor < 0 ? -qint64(valor) : qint64(valor);
    QString t = valor < 0 ? QStringLiteral("-") : QString();
    t += QString::number(absoluto / divisor);
    t += QLatin1Char('.');
    t += QStringLiteral("%1").arg(absoluto % divisor, decimalesValor, 10, QLatin1Char('0'));
    return t;
}

void engancharAlarma(EstadoInstrumento& estado, ResultadoLectura& r)
{
    r.alarmaComEnganchada = false;
    if (r.fallaComunicacion() && !estado.AlarmaCom) {
        estado.AlarmaCom = true;
        r.alarmaComEnganchada = true;
    }
}

ResultadoLectura LeerInstrumento(const TAvanzadas1& a, quint8 esclavo, EnlaceModbus& enlace, int handle,
                                 EstadoDecimales& dec, int pausaMs, const std::function<bool()>& cortar)
{
    ResultadoLectura r;

    // Every read waits its pause first and is sent once; a failed read counts
    // once per quantity, not per register. Once the reading is cut short
    // nothing more is sent.
    auto leer = [&](qint32 registro, bool registroRetenido) {
        if (r.cortada || (cortar && cortar())) {
            r.cortada = true;
            return Leido{};
        }
        if (pausaMs > 0)
            std::this_thread::sleep_for(std::chrono::milliseconds(pausaMs));
        TModbusResult res;
        if (registroRetenido)
            enlace.ReadHoldingRegister(handle, esclavo, registro, 0, a.CRC, res);
        else
            enlace.ReadCoils(handle, esclavo, registro, 0, a.CRC, res);
        ++r.peticiones;
        if (res.PuertoPerdido) {
            r.cortada = true;
            r.puertoPerdido = true;
        }
        return Leido{res.Ok, res.Ok ? res.Value : 0};
    };
    auto registro = [&](qint32 reg) { return leer(reg, true); };
    auto coils = [&](qint32 reg) { return leer(reg, false); };

    int fallas = 0;
    auto& lecturas = r.Lecturas;

    // Measured value with its decimals code and range state.
    Leido va, decVA, rangoVA;
    if (a.PCheckVA) {
        ++r.habilitadas;
        va = registro(a.VActual);
        decVA = coils(a.Sensor);
        rangoVA = coils(a.FueraRango);
        if (!va.ok || !decVA.ok || !rangoVA.ok) {
            ++fallas;
            lecturas[kValorMedido] = kError;
        }
    } else {
        lecturas[kValorMedido] = kNoHabilitado;
        rangoVA = kLeidoCero;
    }

    // Set point; without a range register of its own it borrows the measured
    // value's decimals code, and cannot be shown when that code is missing.
    Leido sp, decSP, rangoSP;
    if (a.PCheckSPRd) {
        ++r.habilitadas;
        sp = registro(a.SetPointL);
        if (a.FueraRango2 != 0) {
            decSP = coils(a.Sensor2);
            rangoSP = coils(a.FueraRango2);
            if (!sp.ok || !decSP.ok || !rangoSP.ok) {
                ++fallas;
                lecturas[kSetPoint] = kError;
            }
        } else {
            decSP = decVA;
            rangoSP = kLeidoCero;
            if (!sp.ok || !decSP.ok) {
                ++fallas;
                lecturas[kSetPoint] = kError;
            }
        }
    } else {
        lecturas[kSetPoint] = kNoHabilitado;
    }

    // Program, segment and segment time: a disabled one shows as 0.
    auto leerEntero = [&](bool habilitado, qint32 reg, bool registroRetenido) {
        if (!habilitado)
            return kLeidoCero;
        ++r.habilitadas;
        const Leido l = leer(reg, registroRetenido);
        if (!l.ok)
            ++fallas;
        return l;
    };
    const Leido nProg = leerEntero(a.PCheckNProg, a.NProg, false);
    const Leido nSeg = leerEntero(a.PCheckNSeg, a.NSeg, false);
    const Leido temp = leerEntero(a.PCheckTemp, a.Temp, true);

    // Output power and the four alarms.
    auto leerTexto = [&](bool habilitado, qint32 reg, int indice) {
        if (!habilitado) {
            lecturas[indice] = kNoHabilitado;
            return Leido{};
        }
        ++r.habilitadas;
        const Leido l = coils(reg);
        if (!l.ok) {
            ++fallas;
            lecturas[indice] = kError;
        }
        return l;
    };
    const Leido pot = leerTexto(a.PCheckPOT, a.Potencia, kPotencia);
    const Leido al1 = leerTexto(a.PCheckAl1, a.Alarma1, kAlarma1);
    const Leido al2 = leerTexto(a.PCheckAl2, a.Alarma2, kAlarma2);
    const Leido al3 = leerTexto(a.PCheckAl3, a.Alarma3, kAlarma3);
    const Leido al4 = leerTexto(a.PCheckAl4, a.Alarma4, kAlarma4);

    r.fallas = fallas;
    if (r.cortada)
        return r;

    // A set point without decimals register of its own borrowed the measured
    // value's code, which is decoded by the register it was read from.
    if (decVA.ok)
        decimales(decVA.valor, dec.DivisorVA, dec.DecimalesVA, a.Sensor);
    if (decSP.ok)
        decimales(decSP.valor, dec.DivisorSP, dec.DecimalesSP, a.FueraRango2 != 0 ? a.Sensor2 : a.Sensor);

    if (rangoVA.ok && va.ok && decVA.ok) {
        r.valorActual = textoValor(rangoVA.valor, va.valor, dec.DivisorVA, dec.DecimalesVA);
        lecturas[kValorMedido] = *r.valorActual;
    }
    if (rangoSP.ok && sp.ok && decSP.ok) {
        r.SetPoint = textoValor(rangoSP.valor, sp.valor, dec.DivisorSP, dec.DecimalesSP);
        lecturas[kSetPoint] = *r.SetPoint;
    }

    if (nProg.ok)
        r.NProg = textoDosCifras(nProg.valor);
    if (nSeg.ok)
        r.NSeg = textoDosCifras(nSeg.valor);
    if (temp.ok)
        r.Temp = textoTiempo(temp.valor);

    if (pot.ok)
        r.Potencia = barra(a.NombrePot, pot.valor, a.Val100Pot, lecturas[kPotencia]);
    if (al1.ok)
        r.Alarma1 = barra(a.NombreAl1, al1.valor, a.Val100A1, lecturas[kAlarma1]);

    const Leido alarmas[3] = {al2, al3, al4};
    const qint32 umbrales[3] = {a.ValumbA2, a.ValumbA3, a.ValumbA4};
    const qint32 coloresOn[3] = {a.A2colorOn, a.A3colorOn, a.A4colorOn};
    const qint32 coloresOff[3] = {a.A2colorOff, a.A3colorOff, a.A4colorOff};
    for (int i = 0; i < 3; ++i) {
        if (!alarmas[i].ok)
            continue;
        if (alarmas[i].valor >= umbrales[i]) {
            r.ColoresAlarma[i] = coloresOn[i];
            lecturas[kAlarma2 + i] = QStringLiteral("100");
        } else {
            r.ColoresAlarma[i] = coloresOff[i];
            lecturas[kAlarma2 + i] = QString::number(porcentaje(alarmas[i].valor, 255));
        }
    }
    return r;
}

} // namespace ombrix
