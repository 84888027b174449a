#include "instruments/parametros_adicionales.h"

#include "acquisition/lectura.h"

#include <limits>

namespace ombrix::parametros {

namespace {

using A = Tavanzadas2;

const std::array<Definicion, kCantidad> kTabla{{
    {"SP1", 1, Clase::Numero, &A::SP1, &A::SP1NAME, &A::SSP1, &A::CheckSP1},
    {"SP2", 2, Clase::Numero, &A::SP2, &A::SP2NAME, &A::SSP2, &A::CheckSP2},
    {"AL1", 1, Clase::Numero, &A::AL1, &A::AL1NAME, &A::SAL1, &A::CheckAL1b},
    {"AL2", 2, Clase::Numero, &A::AL2, &A::AL2NAME, &A::SAL2, &A::CheckAL2b},
    {"RS1", 1, Clase::Numero, &A::RS1, &A::RS1NAME, &A::SRS1, &A::CheckRS1},
    {"RS2", 2, Clase::Numero, &A::RS2, &A::RS2NAME, &A::SRS2, &A::CheckRS2},
    {"IN1", 1, Clase::Entero, &A::IN1, &A::IN1NAME, &A::SIN1, &A::CheckIN1},
    {"IN2", 2, Clase::Entero, &A::IN2, &A::IN2NAME, &A::SIN2, &A::CheckIN2},
    {"DR1", 1, Clase::Entero, &A::DR1, &A::DR1NAME, &A::SDR1, &A::CheckDR1},
    {"DR2", 2, Clase::Entero, &A::DR2, &A::DR2NAME, &A::SDR2, &A::CheckDR2},
    {"AB1", 1, Clase::Numero, &A::AB1, &A::AB1NAME, &A::SAB1, &A::CheckAB1},
    {"AB2", 2, Clase::Numero, &A::AB2, &A::AB2NAME, &A::SAB2, &A::CheckAB2},
    {"ABA1", 1, Clase::Numero, &A::ABA1, &A::ABA1NAME, &A::SABA1, &A::CheckABA1},
    {"ABA2", 2, Clase::Numero, &A::ABA2, &A::ABA2NAME, &A::SABA2, &A::CheckABA2},
    {"ST1", 0, Clase::Conmutador, &A::ST1, &A::ST1NAME, nullptr, &A::CheckST1},
    {"ST2", 0, Clase::Conmutador, &A::ST2, &A::ST2NAME, nullptr, &A::CheckST2},
}};

// Page layout.
constexpr int kXInicial = 36;
constexpr int kYInicial = 16;
constexpr int kYSinSP1 = -6;
constexpr int kAnchoColumna = 82;
constexpr int kYMaximo = 122;

constexpr qint64 kPalabraMinima = std::numeric_limits<qint16>::min();
constexpr qint64 kPalabraMaxima = std::numeric_limits<qint16>::max();

bool esCifra(QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); }

bool leerUno(const Definicion& d, const Pedido& pedido, const ParametroEnLinea& p, EnlaceModbus& enlace, int handle,
             TModbusResult& r)
{
    if (d.clase == Clase::Conmutador)
        enlace.ReadCoils(handle, pedido.esclavo, p.registro, 0, pedido.crc, r);
    else
        enlace.ReadHoldingRegister(handle, pedido.esclavo, p.registro, 0, pedido.crc, r);
    return r.Ok;
}

// The decimals of a loop, read from its register.
bool leerDecimales(const Pedido& pedido, int lazo, EnlaceModbus& enlace, int handle, Decimales& dec,
                   TModbusResult& r)
{
    const qint32 registro = pedido.sensor[lazo - 1];
    enlace.ReadCoils(handle, pedido.esclavo, registro, 0, pedido.crc, r);
    if (!r.Ok)
        return false;
    decimales(r.Value, dec.divisor, dec.decimales, registro);
    return true;
}

} // namespace

const Definicion& definicion(int p) { return kTabla[std::size_t(p)]; }

const std::array<Parametro, kCantidad> kOrdenEscritura{SP1, SP2, AL1, AL2, RS1, RS2, AB1, AB2,
                                                       ABA1, ABA2, IN1, IN2, DR1, DR2, ST1, ST2};

QStringList opcionesConmutador()
{
    return {QStringLiteral("OFF"), QStringLiteral("ON"), QStringLiteral("AUT")};
}

std::array<Lugar, kCantidad> disponer(const std::array<bool, kCantidad>& visibles)
{
    std::array<Lugar, kCantidad> lugares{};
    int x = kXInicial;
    int y = kYSinSP1;
    for (int p = 0; p < kCantidad; ++p) {
        if (!visibles[p])
            continue;
        Lugar& l = lugares[p];
        l.visible = true;
        if (p == SP1) {
            y = kYInicial;
        } else {
            y += kAltoCaja;
            if (p >= IN1 && y > kYMaximo) {
                y = kYInicial;
                x += kAnchoColumna;
            }
        }
        l.x = x;
        l.y = y;
    }
    return lugares;
}

Escala escalar(const QString& texto, int decimales, qint32& palabra)
{
    const QString t = texto.trimmed();
    if (decimales < 0 || decimales > 9)
        return Escala::NoEsNumero;
    int i = 0;
    bool negativo = false;
    if (i < t.size() && (t[i] == QLatin1Char('+') || t[i] == QLatin1Char('-'))) {
        negativo = t[i] == QLatin1Char('-');
        ++i;
    }
    // Whole part; beyond any 16-bit word once it passes this.
    constexpr qint64 kTope = 1'000'000'000;
    qint64 entero = 0;
    bool demasiado = false;
    bool cifras = false;
    for (; i < t.size() && esCifra(t[i]); ++i) {
        cifras = true;
        if (!demasiado)
            entero = entero * 10 + (t[i].unicode() - '0');
        demasiado = demasiado || entero > kTope;
    }
    // The decimals the word keeps; further ones are dropped.
    qint64 fraccion = 0;
    int tomadas = 0;
    if (i < t.size() && t[i] == QLatin1Char('.')) {
        for (++i; i < t.size() && esCifra(t[i]); ++i) {
            cifras = true;
            if (tomadas < decimales) {
                fraccion = fraccion * 10 + (t[i].unicode() - '0');
                ++tomadas;
            }
        }
    }
    if (i != t.size() || !cifras)
        return Escala::NoEsNumero;
    if (demasiado)
        return Escala::NoCabe;

    qint64 escala = 1;
    for (int k = 0; k < decimales; ++k)
        escala *= 10;
    for (; tomadas < decimales; ++tomadas)
        fraccion *= 10;
    qint64 v = entero * escala + fraccion;
    if (negativo)
        v = -v;
    if (v < kPalabraMinima || v > kPalabraMaxima)
        return Escala::NoCabe;
    palabra = qint32(v);
    return Escala::Ok;
}

std::optional<qint32> enteroEnRango(const QString& texto, qint32 minimo, qint32 maximo)
{
    bool ok = false;
    const qint32 v = texto.trimmed().toInt(&ok, 10);
    if (!ok || v < minimo || v > maximo)
        return std::nullopt;
    return v;
}

QString textoLeido(Clase clase, qint32 valor, bool conDecimales, qint32 divisor, quint8 decs)
{
    if (!conDecimales || divisor <= 1)
        return QString::number(valor);
    // An integer box shows a whole number when the value is one; otherwise
    // what the instrument holds, which the box will not take back unchanged.
    if (clase == Clase::Entero && valor % divisor == 0)
        return QString::number(valor / divisor);
    return textoPuntoFijo(valor, divisor, decs);
}

bool Pedido::necesitaDecimales(int lazo, bool alLeer) const
{
    for (int i = 0; i < kCantidad; ++i) {
        const Definicion& d = kTabla[std::size_t(i)];
        if (d.lazo == lazo && (alLeer || p[std::size_t(i)].habilitado) && p[std::size_t(i)].decimal)
            return true;
    }
    return false;
}

int Pedido::transacciones(bool lectura) const
{
    int n = (necesitaDecimales(1, lectura) ? 1 : 0) + (necesitaDecimales(2, lectura) ? 1 : 0);
    for (const ParametroEnLinea& x : p)
        n += x.habilitado ? 1 : 0;
    return n;
}

Lectura leer(const Pedido& pedido, EnlaceModbus& enlace, int handle, const Avance& avance)
{
    Lectura res;
    int hechas = 0;
    auto paso = [&] {
        ++hechas;
        if (avance)
            avance(hechas);
    };
    TModbusResult r;
    for (int i = 0; i < kCantidad; ++i) {
        const ParametroEnLinea& p = pedido.p[std::size_t(i)];
        if (!p.habilitado)
            continue;
        const bool ok = leerUno(kTabla[std::size_t(i)], pedido, p, enlace, handle, r);
        paso();
        if (!ok)
            return res;
        res.valores[std::size_t(i)] = r.Value;
    }
    for (int lazo = 1; lazo <= 2; ++lazo) {
        if (!pedido.necesitaDecimales(lazo, true))
            continue;
        const bool ok = leerDecimales(pedido, lazo, enlace, handle, res.lazos[std::size_t(lazo - 1)], r);
        paso();
        if (!ok)
            return res;
    }
    res.ok = true;
    return res;
}

Escritura escribir(const Pedido& pedido, EnlaceModbus& enlace, int handle, const Avance& avance)
{
    Escritura res;
    int hechas = 0;
    auto paso = [&] {
        ++hechas;
        if (avance)
            avance(hechas);
    };
    TModbusResult r;

    std::array<Decimales, 2> lazos{};
    for (int lazo = 1; lazo <= 2; ++lazo) {
        if (!pedido.necesitaDecimales(lazo))
            continue;
        const bool ok = leerDecimales(pedido, lazo, enlace, handle, lazos[std::size_t(lazo - 1)], r);
        paso();
        if (!ok) {
            res.fallo = FalloEscritura::Decimales;
            return res;
        }
    }

    // Every word is worked out before the first one goes out.
    std::array<qint32, kCantidad> palabras{};
    for (int i = 0; i < kCantidad; ++i) {
        const ParametroEnLinea& p = pedido.p[std::size_t(i)];
        const Definicion& d = kTabla[std::size_t(i)];
        if (!p.habilitado)
            continue;
        const Decimales dec = (p.decimal && d.lazo > 0) ? lazos[std::size_t(d.lazo - 1)] : Decimales{};
        Escala e = Escala::Ok;
        switch (d.clase) {
        case Clase::Numero:
            e = escalar(p.texto, dec.decimales, palabras[std::size_t(i)]);
            break;
        case Clase::Entero: {
            const std::optional<qint32> v = enteroEnRango(p.texto, kEnteroMinimo, kEnteroMaximo);
            const qint64 w = qint64(v.value_or(0)) * dec.divisor;
            if (!v)
                e = Escala::NoEsNumero;
            else if (w > kPalabraMaxima)
                e = Escala::NoCabe;
            else
                palabras[std::size_t(i)] = qint32(w);
            break;
        }
        case Clase::Conmutador:
            if (p.opcion < 0 || p.opcion > 2)
                e = Escala::NoEsNumero;
            palabras[std::size_t(i)] = p.opcion;
            break;
        }
        if (e != Escala::Ok) {
            res.fallo = FalloEscritura::NoCabe;
            res.parametro = i;
            res.decimales = dec.decimales;
            return res;
        }
    }

    bool todas = true;
    for (Parametro i : kOrdenEscritura) {
        const ParametroEnLinea& p = pedido.p[std::size_t(i)];
        if (!p.habilitado)
            continue;
        const qint32 w = palabras[std::size_t(i)];
        if (kTabla[std::size_t(i)].clase == Clase::Conmutador)
            enlace.WriteSingleCoil(handle, pedido.esclavo, p.registro, w, pedido.crc, r);
        else
            enlace.WriteSingleRegister(handle, pedido.esclavo, p.registro, w, pedido.crc, r);
        res.palabras[std::size_t(i)] = w;
        paso();
        todas = todas && r.Ok;
        if (r.PuertoPerdido)
            break;
    }
    if (!todas)
        res.fallo = FalloEscritura::Comunicacion;
    return res;
}

} // namespace ombrix::parametros
