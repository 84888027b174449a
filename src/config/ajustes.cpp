// Loading and saving of the settings file.

#include "configuracion.h"
#include "perfil.h"
#include "rutas.h"

namespace ombrix {

namespace {

const QString kPuertos = QStringLiteral("Puertos");
const QString kGeneral = QStringLiteral("General");
const QString kCombinado = QStringLiteral("Grafico Combinado");
const QString kGraficos = QStringLiteral("Graficos");

QString K(const char* clave) { return QString::fromLatin1(clave); }

// The longest period a setting in seconds may ask for.
constexpr qint32 kDiaEnSegundos = 86400;

// Reads each key into its field; a missing or invalid value takes the default.
// uint8 and uint16 fields keep the low 8 or 16 bits of the integer read. The
// keys with a range the program needs are checked: a value outside it takes
// the default too, and is told in `avisos` (when given).
struct Lector {
    static constexpr bool guardando = false;
    const Perfil& p;
    QVector<AvisoAjuste>* avisos = nullptr;

    void texto(const QString& s, const char* k, QString& f, const QString& d) { f = p.leerTexto(s, K(k), d); }
    void entero(const QString& s, const char* k, qint32& f, qint32 d) { f = p.leerEntero(s, K(k), d); }
    void u8(const QString& s, const char* k, quint8& f, qint32 d) { f = static_cast<quint8>(p.leerEntero(s, K(k), d)); }
    void u16(const QString& s, const char* k, quint16& f, qint32 d) { f = static_cast<quint16>(p.leerEntero(s, K(k), d)); }
    void logico(const QString& s, const char* k, bool& f, bool d) { f = p.leerBool(s, K(k), d); }
    void doble(const QString& s, const char* k, double& f, double d) { f = p.leerDoble(s, K(k), d); }

    void avisar(const QString& s, const char* k, const QString& leido, const QString& motivo, const QString& usado)
    {
        if (avisos)
            avisos->append({s, K(k), leido, motivo, usado});
    }
    // The key's text when it is in the file; `v` its integer, when it is one.
    enum class Leido { Falta, NoEntero, Entero };
    Leido leer(const QString& s, const char* k, QString& t, qint32& v) const
    {
        if (!p.existeClave(s, K(k)))
            return Leido::Falta;
        t = p.leerTexto(s, K(k), QString()).trimmed();
        return Perfil::aEntero(t, v) ? Leido::Entero : Leido::NoEntero;
    }
    // An integer the program only uses within min..max.
    void rango(const QString& s, const char* k, qint32& f, qint32 d, qint32 min, qint32 max)
    {
        f = d;
        QString t;
        qint32 v = 0;
        const Leido l = leer(s, k, t, v);
        if (l == Leido::Entero && v >= min && v <= max)
            f = v;
        else if (l != Leido::Falta)
            avisar(s, k, t, l == Leido::Entero ? QStringLiteral("fuera de %1..%2").arg(min).arg(max)
                                               : QStringLiteral("no es un número entero"),
                   QStringLiteral("se usa %1").arg(d));
    }
    // The line speeds the port is opened with.
    void baudios(const QString& s, const char* k, qint32& f, qint32 d)
    {
        f = d;
        QString t;
        qint32 v = 0;
        const Leido l = leer(s, k, t, v);
        if (l == Leido::Entero && (v == 4800 || v == 9600 || v == 19200))
            f = v;
        else if (l != Leido::Falta)
            avisar(s, k, t, QStringLiteral("no es 4800, 9600 ni 19200"), QStringLiteral("se usa %1").arg(d));
    }
    // Seconds between two recordings: 1..65535. A negative value takes the
    // default; a larger one keeps its low 16 bits, as stored files expect.
    void periodo(const QString& s, const char* k, quint16& f, qint32 d)
    {
        f = quint16(d);
        QString t;
        qint32 v = 0;
        const Leido l = leer(s, k, t, v);
        if (l == Leido::Falta)
            return;
        if (l == Leido::Entero && v >= 1 && v <= 65535) {
            f = quint16(v);
            return;
        }
        if (l == Leido::Entero && v > 65535 && quint16(v) != 0)
            f = quint16(v);
        avisar(s, k, t, l == Leido::Entero ? QStringLiteral("fuera de 1..65535") : QStringLiteral("no es un número entero"),
               QStringLiteral("se usa %1").arg(f));
    }
    // The stored count is N + 1, taken modulo 256; a value the model cannot
    // hold (0 would make every instrument loop run through the whole 8-bit
    // range) falls back to one instrument.
    void cantidad(const QString& s, const char* k, quint8& f)
    {
        f = Configuracion::kCantidadPorDefecto;
        QString t;
        qint32 v = 0;
        const Leido l = leer(s, k, t, v);
        if (l == Leido::Falta)
            return;
        const auto c = static_cast<quint8>(v);
        if (l == Leido::Entero && c >= Configuracion::kCantidadMinima && c <= Configuracion::kCantidadMaxima)
            f = c;
        if (l != Leido::Entero || v != f)
            avisar(s, k, t,
                   l == Leido::Entero ? QStringLiteral("fuera de %1..%2").arg(Configuracion::kCantidadMinima).arg(Configuracion::kCantidadMaxima)
                                      : QStringLiteral("no es un número entero"),
                   QStringLiteral("se usa %1").arg(f));
    }
};

// Writes each field under its key.
struct Escritor {
    static constexpr bool guardando = true;
    Perfil& p;

    void texto(const QString& s, const char* k, QString& f, const QString&) { p.escribirTexto(s, K(k), f); }
    void entero(const QString& s, const char* k, qint32& f, qint32) { p.escribirEntero(s, K(k), f); }
    void u8(const QString& s, const char* k, quint8& f, qint32) { p.escribirEntero(s, K(k), f); }
    void u16(const QString& s, const char* k, quint16& f, qint32) { p.escribirEntero(s, K(k), f); }
    void logico(const QString& s, const char* k, bool& f, bool) { p.escribirBool(s, K(k), f); }
    void doble(const QString& s, const char* k, double& f, double) { p.escribirDoble(s, K(k), f); }
    void cantidad(const QString& s, const char* k, quint8& f) { p.escribirEntero(s, K(k), f); }
    void rango(const QString& s, const char* k, qint32& f, qint32, qint32, qint32) { p.escribirEntero(s, K(k), f); }
    void baudios(const QString& s, const char* k, qint32& f, qint32) { p.escribirEntero(s, K(k), f); }
    void periodo(const QString& s, const char* k, quint16& f, qint32) { p.escribirEntero(s, K(k), f); }
};

// Twenty colours (0x00BBGGRR) that tell instruments apart on a white chart;
// instrument 1 keeps the green it always had.
qint32 colorDeInstrumento(int n)
{
    static const qint32 paleta[20] = {0x00FF00, 0xFF0000, 0x0000FF, 0x0080FF, 0xFF00FF, 0x808000, 0x004080,
                                      0x800080, 0x800000, 0x008080, 0x008000, 0x000080, 0xFFA000, 0xB469FF,
                                      0x00A0C8, 0x606060, 0xD30094, 0x00B464, 0xB48246, 0x000000};
    return paleta[(qMax(1, n) - 1) % 20];
}

// Every key of instrument n's two sections, with its field and default, in
// load order. The same list drives loading and saving.
template <class V>
void recorrerInstrumento(V& v, int n, TarrayConfig& a, TAvanzadas1& b, Tavanzadas2& c,
                         TGindividual& g, TInstGrafico& ig)
{
    const QString S = QStringLiteral("Instrumento") + QString::number(n);
    const QString SG = S + QStringLiteral("Grafico");

    v.u8(S, "Tipo de instrumento", a.Tipo, 0);
    v.logico(S, "Habilitado", a.Habilitado, false);
    v.texto(S, "Titulo", a.Titulo, S);
    v.texto(S, "Unidad", a.Unidad, QStringLiteral("ºC"));
    v.u8(S, "ID", a.ID, n);
    v.logico(S, "SalvarTabla", a.SalvarTabla, false);
    v.periodo(S, "Barrido", a.Barrido, 60);

    v.logico(S, "PCheckVA", b.PCheckVA, true);
    v.logico(S, "PCheckSPRd", b.PCheckSPRd, true);
    v.logico(S, "PCheckNProg", b.PCheckNProg, true);
    v.logico(S, "PCheckNSeg", b.PCheckNSeg, true);
    v.logico(S, "PCheckTemp", b.PCheckTemp, true);
    v.logico(S, "PCheckPOT", b.PCheckPOT, true);
    v.logico(S, "PCheckAl1", b.PCheckAl1, true);
    v.logico(S, "PCheckAl2", b.PCheckAl2, true);
    v.logico(S, "PCheckAl3", b.PCheckAl3, true);
    v.logico(S, "PCheckAl4", b.PCheckAl4, true);

    v.entero(S, "Sensor", b.Sensor, 0x4038);
    v.entero(S, "Sensor2", b.Sensor2, 0x4038);
    // Loaded as "VActual", saved as "Vactual": the same entry either way.
    v.entero(S, V::guardando ? "Vactual" : "VActual", b.VActual, 0x1000);
    v.entero(S, "SetPointL", b.SetPointL, 0x1008);
    v.entero(S, "Potencia", b.Potencia, 0x1010);
    v.entero(S, "Alarma1", b.Alarma1, 0x1018);
    v.entero(S, "Alarma2", b.Alarma2, 0x101A);
    v.entero(S, "Alarma3", b.Alarma3, 0x101C);
    v.entero(S, "Alarma4", b.Alarma4, 0x101E);
    v.entero(S, "FueraRango", b.FueraRango, 0x1020);
    v.entero(S, "FueraRango2", b.FueraRango2, 0);
    v.logico(S, "CRC", b.CRC, true);
    v.entero(S, "NProg", b.NProg, 0xFC);
    v.entero(S, "NSeg", b.NSeg, 0x10C);
    v.entero(S, "Temp", b.Temp, 0x12C);

    v.entero(S, "Val100Pot", b.Val100Pot, 1000);
    v.entero(S, "Val100A1", b.Val100A1, 1000);
    v.entero(S, "ValumbA2", b.ValumbA2, 1000);
    v.entero(S, "ValumbA3", b.ValumbA3, 1000);
    v.entero(S, "ValumbA4", b.ValumbA4, 1000);

    v.texto(S, "NombreVA", b.NombreVA, QStringLiteral("Valor Actual"));
    v.texto(S, "NombreSP", b.NombreSP, QStringLiteral("Set Point"));
    v.texto(S, "NombreProg", b.NombreProg, QStringLiteral("P"));
    v.texto(S, "NombreSeg", b.NombreSeg, QStringLiteral("Seg"));
    v.texto(S, "NombreTemp", b.NombreTemp, QStringLiteral("Tie. Seg."));
    v.texto(S, "NombrePot", b.NombrePot, QStringLiteral("Pot"));
    v.texto(S, "NombreAl1", b.NombreAl1, QStringLiteral("AL1"));
    v.texto(S, "NombreAl2", b.NombreAl2, QStringLiteral("AL2"));
    v.texto(S, "NombreAl3", b.NombreAl3, QStringLiteral("AL3"));
    v.texto(S, "NombreAl4", b.NombreAl4, QStringLiteral("AL4"));

    v.entero(S, "VaColor", b.VaColor, 65280);
    v.entero(S, "SPcolor", b.SPcolor, 255);
    v.entero(S, "Progcolor", b.Progcolor, 255);
    v.entero(S, "Segcolor", b.Segcolor, 255);
    v.entero(S, "Tempcolor", b.Tempcolor, 65280);
    v.entero(S, "Potcolor", b.Potcolor, 65535);
    v.entero(S, "A1color", b.A1color, 255);
    v.entero(S, "A2colorOn", b.A2colorOn, 255);
    v.entero(S, "A3colorOn", b.A3colorOn, 255);
    v.entero(S, "A4colorOn", b.A4colorOn, 255);
    v.entero(S, "A2colorOff", b.A2colorOff, 128);
    v.entero(S, "A3colorOff", b.A3colorOff, 128);
    v.entero(S, "A4colorOff", b.A4colorOff, 128);

    // Additional parameters: registers, decimal-point flags, enable flags, names.
    v.entero(S, "SP1", c.SP1, 4);
    v.entero(S, "SP2", c.SP2, 6);
    v.entero(S, "AL1", c.AL1, 12);
    v.entero(S, "AL2", c.AL2, 14);
    v.entero(S, "RS1", c.RS1, 164);
    v.entero(S, "RS2", c.RS2, 166);
    v.entero(S, "IN1", c.IN1, 180);
    v.entero(S, "IN2", c.IN2, 182);
    v.entero(S, "DR1", c.DR1, 188);
    v.entero(S, "DR2", c.DR2, 190);
    v.entero(S, "AB1", c.AB1, 28);
    v.entero(S, "AB2", c.AB2, 30);
    v.entero(S, "ABA1", c.ABA1, 36);
    v.entero(S, "ABA2", c.ABA2, 38);
    v.entero(S, "ST1", c.ST1, 244);
    v.entero(S, "ST2", c.ST2, 246);

    v.logico(S, "SSP1", c.SSP1, true);
    v.logico(S, "SSP2", c.SSP2, true);
    v.logico(S, "SAL1", c.SAL1, true);
    v.logico(S, "SAL2", c.SAL2, true);
    v.logico(S, "SRS1", c.SRS1, true);
    v.logico(S, "SRS2", c.SRS2, true);
    v.logico(S, "SIN1", c.SIN1, false);
    v.logico(S, "SIN2", c.SIN2, false);
    v.logico(S, "SDR1", c.SDR1, false);
    v.logico(S, "SDR2", c.SDR2, false);
    v.logico(S, "SAB1", c.SAB1, true);
    v.logico(S, "SAB2", c.SAB2, true);
    v.logico(S, "SABA1", c.SABA1, true);
    v.logico(S, "SABA2", c.SABA2, true);

    v.logico(S, "CheckSP1", c.CheckSP1, true);
    v.logico(S, "CheckSP2", c.CheckSP2, true);
    v.logico(S, "CheckAL1b", c.CheckAL1b, true);
    v.logico(S, "CheckAL2b", c.CheckAL2b, true);
    v.logico(S, "CheckRS1", c.CheckRS1, true);
    v.logico(S, "CheckRS2", c.CheckRS2, true);
    v.logico(S, "CheckIN1", c.CheckIN1, true);
    v.logico(S, "CheckIN2", c.CheckIN2, true);
    v.logico(S, "CheckDR1", c.CheckDR1, true);
    v.logico(S, "CheckDR2", c.CheckDR2, true);
    v.logico(S, "CheckAB1", c.CheckAB1, true);
    v.logico(S, "CheckAB2", c.CheckAB2, true);
    v.logico(S, "CheckABA1", c.CheckABA1, true);
    v.logico(S, "CheckABA2", c.CheckABA2, true);
    v.logico(S, "CheckST1", c.CheckST1, true);
    v.logico(S, "CheckST2", c.CheckST2, true);

    v.texto(S, "SP1NAME", c.SP1NAME, QStringLiteral("SP1"));
    v.texto(S, "SP2NAME", c.SP2NAME, QStringLiteral("SP2"));
    v.texto(S, "AL1NAME", c.AL1NAME, QStringLiteral("AL1"));
    v.texto(S, "AL2NAME", c.AL2NAME, QStringLiteral("AL2"));
    v.texto(S, "RS1NAME", c.RS1NAME, QStringLiteral("RS1"));
    v.texto(S, "RS2NAME", c.RS2NAME, QStringLiteral("RS2"));
    v.texto(S, "IN1NAME", c.IN1NAME, QStringLiteral("IN1"));
    v.texto(S, "IN2NAME", c.IN2NAME, QStringLiteral("IN2"));
    v.texto(S, "DR1NAME", c.DR1NAME, QStringLiteral("DR1"));
    v.texto(S, "DR2NAME", c.DR2NAME, QStringLiteral("DR2"));
    v.texto(S, "AB1NAME", c.AB1NAME, QStringLiteral("AB1"));
    v.texto(S, "AB2NAME", c.AB2NAME, QStringLiteral("AB2"));
    v.texto(S, "ABA1NAME", c.ABA1NAME, QStringLiteral("ABA1"));
    v.texto(S, "ABA2NAME", c.ABA2NAME, QStringLiteral("ABA2"));
    v.texto(S, "ST1NAME", c.ST1NAME, QStringLiteral("ST1"));
    v.texto(S, "ST2NAME", c.ST2NAME, QStringLiteral("ST2"));

    // What the instrument contributes to the combined views.
    v.logico(SG, "ValorMedidoT", ig.ValorMedidoT, true);
    v.logico(SG, "SetPointT", ig.SetPointT, false);
    v.logico(SG, "PotenciaT", ig.PotenciaT, false);
    v.logico(SG, "Alarma1T", ig.Alarma1T, false);
    v.logico(SG, "Alarma2T", ig.Alarma2T, false);
    v.logico(SG, "Alarma3T", ig.Alarma3T, false);
    v.logico(SG, "Alarma4T", ig.Alarma4T, false);
    v.logico(SG, "ValorMedidoG", ig.ValorMedidoG, true);
    v.logico(SG, "SetPointG", ig.SetPointG, false);
    v.logico(SG, "PotenciaG", ig.PotenciaG, false);
    v.logico(SG, "Alarma1G", ig.Alarma1G, false);
    v.logico(SG, "Alarma2G", ig.Alarma2G, false);
    v.logico(SG, "Alarma3G", ig.Alarma3G, false);
    v.logico(SG, "Alarma4G", ig.Alarma4G, false);
    // Each instrument's measured value in a colour of its own in the combined
    // chart; a colour already stored is kept.
    v.entero(SG, "CLVM", ig.CLVM, colorDeInstrumento(n));
    v.entero(SG, "CLSP", ig.CLSP, 255);
    v.entero(SG, "CLPOT", ig.CLPOT, 16711680);
    v.entero(SG, "CLAL1", ig.CLAL1, 16776960);
    v.entero(SG, "CLAL2", ig.CLAL2, 16711935);
    v.entero(SG, "CLAL3", ig.CLAL3, 32768);
    v.entero(SG, "CLAL4", ig.CLAL4, 8388736);
    v.logico(SG, "Ejeizq", ig.Ejeizq, true);

    // The instrument's own chart window.
    v.entero(S, "ColorVActual", g.ColorVActual, 32768);
    v.entero(S, "ColorSetPoint", g.ColorSetPoint, 255);
    v.entero(S, "ColorPot", g.ColorPot, 16776960);
    v.entero(S, "ColorAl1", g.ColorAl1, 255);
    v.entero(S, "ColorAl2", g.ColorAl2, 65535);
    v.entero(S, "ColorAl3", g.ColorAl3, 0);
    v.entero(S, "ColorAl4", g.ColorAl4, 16711680);
    v.entero(S, "EspesorLinea", g.EspesorLinea, 1);
    v.texto(S, "Tiempo", g.Tiempo, QStringLiteral("00:10:00"));
    v.texto(S, "dias", g.dias, QStringLiteral("01"));
    v.doble(S, "MaximoTemp", g.MaximoTemp, 500);
    v.doble(S, "MinimoTemp", g.MinimoTemp, 0);
    v.u8(S, "NivelAl1", g.NivelAl1, 10);
    v.u8(S, "NivelAl2", g.NivelAl2, 12);
    v.u8(S, "NivelAl3", g.NivelAl3, 14);
    v.u8(S, "NivelAl4", g.NivelAl4, 16);
    v.u8(S, "NivelAlCom", g.NivelAlCom, 18);
    v.doble(S, "MaximoAl", g.MaximoAl, 100);
    v.doble(S, "MinimoAl", g.MinimoAl, 0);
    v.logico(S, "ValorM", g.ValorM, true);
    v.logico(S, "SetP", g.SetP, true);
    v.logico(S, "Pot", g.Pot, true);
    v.logico(S, "Al11", g.Al11, true);
    v.logico(S, "Al22", g.Al22, true);
    v.logico(S, "Al33", g.Al33, true);
    v.logico(S, "Al44", g.Al44, true);
    v.logico(S, "Puntos", g.Puntos, true);
    v.logico(S, "Actualizacion_Automatica", g.Actualizacion_Automatica, true);
}

// Every key of the fixed sections with its field and default, in the order
// they are saved. The same list drives loading and saving; "Nivel" is only
// loaded when the level is to be kept ("Mantener_Nivel", which comes first).
template <class V>
void recorrerGeneral(V& v, Tconfig& c, quint8& cantidadAparatos)
{
    v.texto(kPuertos, "Puerto", c.Puerto, QStringLiteral("COM1"));
    v.baudios(kPuertos, "BaudRate", c.BaudRate, 9600);

    v.rango(kGeneral, "TiempoScan", c.TiempoScan, 1, 0, kDiaEnSegundos);
    v.cantidad(kGeneral, "cantidad de aparatos", cantidadAparatos);
    v.logico(kGeneral, "Sincronismo", c.Sincronismo, false);
    v.logico(kGeneral, "Pedir_Partida", c.Pedir_Partida, true);
    v.logico(kGeneral, "Mantener_Nivel", c.Mantener_Nivel, false);
    if (V::guardando || c.Mantener_Nivel)
        v.u8(kGeneral, "Nivel", c.Nivel, 0);
    v.texto(kGeneral, "Password_Ingenieria", c.Password_Ingenieria, QString());
    v.texto(kGeneral, "Password_Avanzado", c.Password_Avanzado, QString());
    v.entero(kGeneral, "TiempoSinc", c.TiempoSinc, 1);
    v.entero(kGeneral, "DTR", c.DTR, 0);
    v.entero(kGeneral, "RTS", c.RTS, 0);
    v.entero(kGeneral, "ADir", c.ADir, 1950);
    v.logico(kGeneral, "TecladoVirtual", c.TecladoVirtual, false);

    v.texto(kCombinado, "Tiempo", c.Tiempo, QStringLiteral("00:10:00"));
    v.texto(kCombinado, "dias", c.dias, QStringLiteral("00"));
    v.u8(kCombinado, "espesor", c.espesor, 1);
    v.logico(kCombinado, "Puntos", c.Puntos, true);
    v.entero(kCombinado, "maximoizq", c.maximoizq, 500);
    v.entero(kCombinado, "minimoizq", c.minimoizq, 0);
    v.entero(kCombinado, "maximoder", c.maximoder, 500);
    v.entero(kCombinado, "minimoder", c.minimoder, 0);

    v.logico(kGraficos, "ordenar", c.ordenar, false);
    v.logico(kGeneral, "TableReadOnly", c.TableReadOnly, true);
    // Our own key, after the ones every installation has.
    v.rango(kGeneral, "ReintentoAlarma", c.ReintentoAlarma, 0, 0, kDiaEnSegundos);
}

void cargarInstrumento(Configuracion& m, const Perfil& p, int n, QVector<AvisoAjuste>* avisos = nullptr)
{
    Lector lector{p, avisos};
    recorrerInstrumento(lector, n, m.ArrayConfig[n], m.Avanzadas1[n], m.Avanzadas2[n],
                        m.Gindividual[n], m.InstGrafico[n]);
    // An address no instrument answers at is kept as written, and not polled.
    const int id = m.ArrayConfig[n].ID;
    if (avisos && !direccionDeBus(id))
        avisos->append({QStringLiteral("Instrumento%1").arg(n), QStringLiteral("ID"),
                        p.leerTexto(QStringLiteral("Instrumento%1").arg(n), QStringLiteral("ID"), QString()).trimmed(),
                        QStringLiteral("la dirección %1 está fuera de 1..247").arg(id),
                        QStringLiteral("el instrumento %1 no se consulta").arg(n)});
}

// A port "COMn" whose device key in "Puertos" is there but empty: the
// default device stands in, and the user is told which.
void avisoPuertoVacio(const Perfil& p, const QString& puerto, QVector<AvisoAjuste>& avisos)
{
    const int com = numeroCom(puerto);
    const QString clave = QStringLiteral("COM%1").arg(com);
    if (com > 0 && p.existeClave(kPuertos, clave) && p.leerTexto(kPuertos, clave, QString()).trimmed().isEmpty())
        avisos.append({kPuertos, clave, QString(), QStringLiteral("vacío"),
                       QStringLiteral("se usa %1").arg(dispositivoDeCom(com))});
}

} // namespace

void Configuracion::granini(int n, const QString& fileName)
{
    if (n < 0)
        return;
    asegurarLargo(n + 1);
    const Perfil p(fileName);
    cargarInstrumento(*this, p, n);
}

void Configuracion::CargarIni() { cargarDe(Perfil(rutaIni())); }

void Configuracion::cargarDe(const Perfil& p)
{
    Avisos.clear();
    Lector lector{p, &Avisos};
    recorrerGeneral(lector, Config, CantidadAparatos);
    avisoPuertoVacio(p, Config.Puerto, Avisos);
    // Only the three levels exist; anything else stored opens nothing.
    if (Config.Nivel != 0 && Config.Nivel != 1 && Config.Nivel != 3)
        Config.Nivel = 0;
    ActualizarMemoria();
    // The file is read once; this is granini(n, RutaIni) for every instrument.
    for (int n = 1; n < CantidadAparatos; ++n)
        cargarInstrumento(*this, p, n, &Avisos);
}

QString AvisoAjuste::texto() const
{
    return QStringLiteral("[%1] %2=%3: %4; %5").arg(seccion, clave, leido, motivo, usado);
}

QString Configuracion::textoAvisos() const
{
    QStringList lineas;
    for (const AvisoAjuste& a : Avisos)
        lineas << a.texto();
    return lineas.join(QLatin1Char('\n'));
}

void Configuracion::SalvarIni(const std::function<void(int n, TarrayConfig&)>& enVivo)
{
    Perfil p(rutaIni());   // keeps every line the program does not write
    Escritor escritor{p};
    recorrerGeneral(escritor, Config, CantidadAparatos);

    asegurarLargo(CantidadAparatos);
    for (int n = 1; n < CantidadAparatos; ++n) {
        TarrayConfig a = ArrayConfig[n];
        if (enVivo)
            enVivo(n, a);
        TAvanzadas1 b = Avanzadas1[n];
        Tavanzadas2 c = Avanzadas2[n];
        TGindividual g = Gindividual[n];
        TInstGrafico ig = InstGrafico[n];
        recorrerInstrumento(escritor, n, a, b, c, g, ig);
    }

    p.guardar();
}

TarrayConfig Configuracion::arrayConfigPorDefecto(int n)
{
    Configuracion m;
    n = qMax(n, 0);
    m.granini(n, QString());
    return m.ArrayConfig[n];
}

TAvanzadas1 Configuracion::avanzadas1PorDefecto()
{
    Configuracion m;
    m.granini(1, QString());
    return m.Avanzadas1[1];
}

Tavanzadas2 Configuracion::avanzadas2PorDefecto()
{
    Configuracion m;
    m.granini(1, QString());
    return m.Avanzadas2[1];
}

TGindividual Configuracion::gindividualPorDefecto()
{
    Configuracion m;
    m.granini(1, QString());
    return m.Gindividual[1];
}

TInstGrafico Configuracion::instGraficoPorDefecto()
{
    Configuracion m;
    m.granini(1, QString());
    return m.InstGrafico[1];
}

} // namespace ombrix
