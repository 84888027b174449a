#pragma once
// The configuration the settings file holds: the global settings record, the
// per-instrument records in arrays indexed by instrument number (slot 0
// unused) and the instrument count. CargarIni / SalvarIni / granini load and
// save it; nothing here changes while the program polls.

#include <QString>
#include <QVector>

#include <functional>

namespace ombrix {

class Perfil;

// Global settings.
struct Tconfig {
    QString Puerto;
    bool Pedir_Partida = false;
    bool Mantener_Nivel = false;
    QString Password_Ingenieria;
    QString Password_Avanzado;
    qint32 BaudRate = 0;
    qint32 TiempoScan = 0;
    qint32 TiempoSinc = 0;
    qint32 ADir = 0;
    qint32 DTR = 0;
    qint32 RTS = 0;
    // Seconds between probes of an instrument whose communication alarm is
    // latched; 0 leaves the reset to the operator.
    qint32 ReintentoAlarma = 0;
    bool Sincronismo = false;
    bool TecladoVirtual = false;
    bool TableReadOnly = false;
    qint32 maximoizq = 0;
    qint32 minimoizq = 0;
    qint32 maximoder = 0;
    qint32 minimoder = 0;
    bool ordenar = false;
    quint8 Nivel = 0;
    quint8 espesor = 0;
    QString Tiempo;
    QString dias;
    bool Puntos = false;

    bool operator==(const Tconfig&) const = default;
};

// Identity and recording switches of one instrument.
struct TarrayConfig {
    quint8 Tipo = 0;          // 0 controller, 1 programmer
    QString Titulo;
    QString Unidad;
    bool Habilitado = false;
    bool SalvarTabla = false;
    quint8 ID = 0;            // Modbus slave address
    quint16 Barrido = 0;      // seconds between two recordings

    bool operator==(const TarrayConfig&) const = default;
};

// What is polled and from which registers, display names and colours.
struct TAvanzadas1 {
    bool PCheckNProg = false;
    bool PCheckNSeg = false;
    bool PCheckTemp = false;
    bool PCheckVA = false;
    bool PCheckSPRd = false;
    bool PCheckPOT = false;
    bool PCheckAl1 = false;
    bool PCheckAl2 = false;
    bool PCheckAl3 = false;
    bool PCheckAl4 = false;
    qint32 Sensor = 0;
    qint32 Sensor2 = 0;
    qint32 VActual = 0;
    qint32 SetPointL = 0;
    qint32 NProg = 0;
    qint32 NSeg = 0;
    qint32 Temp = 0;
    qint32 Potencia = 0;
    qint32 Val100Pot = 0;
    qint32 Alarma1 = 0;
    qint32 Val100A1 = 0;
    qint32 Alarma2 = 0;
    qint32 ValumbA2 = 0;
    qint32 Alarma3 = 0;
    qint32 ValumbA3 = 0;
    qint32 Alarma4 = 0;
    qint32 ValumbA4 = 0;
    qint32 FueraRango = 0;
    qint32 FueraRango2 = 0;
    QString NombreVA;
    QString NombreSP;
    QString NombreProg;
    QString NombreSeg;
    QString NombreTemp;
    QString NombrePot;
    QString NombreAl1;
    QString NombreAl2;
    QString NombreAl3;
    QString NombreAl4;
    qint32 VaColor = 0;
    qint32 SPcolor = 0;
    qint32 Progcolor = 0;
    qint32 Segcolor = 0;
    qint32 Tempcolor = 0;
    qint32 Potcolor = 0;
    qint32 A1color = 0;
    qint32 A2colorOn = 0;
    qint32 A3colorOn = 0;
    qint32 A4colorOn = 0;
    qint32 A2colorOff = 0;
    qint32 A3colorOff = 0;
    qint32 A4colorOff = 0;
    bool CRC = false;

    bool operator==(const TAvanzadas1&) const = default;
};

// The sixteen additional instrument parameters.
struct Tavanzadas2 {
    qint32 SP1 = 0, SP2 = 0, AL1 = 0, AL2 = 0, RS1 = 0, RS2 = 0, IN1 = 0, IN2 = 0;
    qint32 DR1 = 0, DR2 = 0, AB1 = 0, AB2 = 0, ABA1 = 0, ABA2 = 0, ST1 = 0, ST2 = 0;
    QString SP1NAME, SP2NAME, AL1NAME, AL2NAME, RS1NAME, RS2NAME, IN1NAME, IN2NAME;
    QString DR1NAME, DR2NAME, AB1NAME, AB2NAME, ABA1NAME, ABA2NAME, ST1NAME, ST2NAME;
    bool SSP1 = false, SSP2 = false, SAL1 = false, SAL2 = false, SRS1 = false, SRS2 = false, SIN1 = false;
    bool SIN2 = false, SDR1 = false, SDR2 = false, SAB1 = false, SAB2 = false, SABA1 = false, SABA2 = false;
    bool CheckSP1 = false, CheckSP2 = false, CheckAL1b = false, CheckAL2b = false;
    bool CheckRS1 = false, CheckRS2 = false, CheckIN1 = false, CheckIN2 = false;
    bool CheckDR1 = false, CheckDR2 = false, CheckAB1 = false, CheckAB2 = false;
    bool CheckABA1 = false, CheckABA2 = false, CheckST1 = false, CheckST2 = false;

    bool operator==(const Tavanzadas2&) const = default;
};

// Settings of the instrument's own chart window.
struct TGindividual {
    qint32 ColorVActual = 0;
    qint32 ColorSetPoint = 0;
    qint32 ColorPot = 0;
    qint32 ColorAl1 = 0;
    qint32 ColorAl2 = 0;
    qint32 ColorAl3 = 0;
    qint32 ColorAl4 = 0;
    bool ValorM = false;
    bool SetP = false;
    bool Pot = false;
    bool Al11 = false;
    bool Al22 = false;
    bool Al33 = false;
    bool Al44 = false;
    quint8 NivelAl1 = 0;
    quint8 NivelAl2 = 0;
    quint8 NivelAl3 = 0;
    quint8 NivelAl4 = 0;
    quint8 NivelAlCom = 0;
    double MaximoAl = 0;
    double MinimoAl = 0;
    double MaximoTemp = 0;
    double MinimoTemp = 0;
    qint32 EspesorLinea = 0;
    QString Tiempo;
    QString dias;
    bool Actualizacion_Automatica = false;
    bool Puntos = false;

    bool operator==(const TGindividual&) const = default;
};

// What the instrument contributes to the combined table and chart.
struct TInstGrafico {
    bool ValorMedidoT = false;
    bool SetPointT = false;
    bool PotenciaT = false;
    bool Alarma1T = false;
    bool Alarma2T = false;
    bool Alarma3T = false;
    bool Alarma4T = false;
    bool ValorMedidoG = false;
    bool SetPointG = false;
    bool PotenciaG = false;
    bool Alarma1G = false;
    bool Alarma2G = false;
    bool Alarma3G = false;
    bool Alarma4G = false;
    qint32 CLVM = 0;
    qint32 CLSP = 0;
    qint32 CLPOT = 0;
    qint32 CLAL1 = 0;
    qint32 CLAL2 = 0;
    qint32 CLAL3 = 0;
    qint32 CLAL4 = 0;
    bool Ejeizq = false;

    bool operator==(const TInstGrafico&) const = default;
};

// A settings value the program does not use as it is written: where it is,
// the text read, why, and what is used instead. Told once at start (a line
// each from the recorder, one message in the window).
struct AvisoAjuste {
    QString seccion, clave, leido;
    QString motivo;   // "fuera de 0..86400"
    QString usado;    // "se usa 1", "no se consulta"

    // "[General] TiempoScan=-5: fuera de 0..86400; se usa 1"
    QString texto() const;
    bool operator==(const AvisoAjuste&) const = default;
};

// Slave addresses an instrument can answer at; 0 is every instrument at once.
constexpr bool direccionDeBus(int d) { return d >= 1 && d <= 247; }

class Configuracion {
public:
    Configuracion() = default;
    virtual ~Configuracion() = default;
    Configuracion(const Configuracion&) = delete;
    Configuracion& operator=(const Configuracion&) = delete;

    // Global settings and the instrument count (number of instruments + 1).
    Tconfig Config;
    quint8 CantidadAparatos = 0;

    // Per-instrument arrays, indexed by instrument number.
    QVector<TarrayConfig> ArrayConfig;
    QVector<TAvanzadas1> Avanzadas1;
    QVector<Tavanzadas2> Avanzadas2;
    QVector<TGindividual> Gindividual;
    QVector<TInstGrafico> InstGrafico;

    QString RutaIni;      // settings file; empty means rutaIniPorDefecto()

    // What the last load did not take as written (see AvisoAjuste). Values
    // out of range take their default, as they always have.
    QVector<AvisoAjuste> Avisos;
    // Every warning, a line each (empty when there is none).
    QString textoAvisos() const;

    // Every per-instrument array gets length CantidadAparatos + 1; existing
    // elements keep their values, new ones start zero-filled.
    virtual void ActualizarMemoria();
    int cantidadInstrumentos() const { return CantidadAparatos > 0 ? CantidadAparatos - 1 : 0; }

    // Loads the whole settings file from RutaIni.
    void CargarIni();
    // The same from a profile already read.
    void cargarDe(const Perfil& p);
    // Writes the whole configuration into RutaIni. `enVivo`, when given, may
    // replace what a window holds live (enabled state, title, unit) in the
    // record written for instrument n. Throws ombrix::Error ("Unable to write
    // to <path>") when the file cannot be written.
    void SalvarIni(const std::function<void(int n, TarrayConfig&)>& enVivo = {});
    // Loads instrument n's two sections from `fileName` into slot n (arrays
    // too short for n are grown). An empty file name gives every default.
    void granini(int n, const QString& fileName);

    // The default configuration of instrument n (what granini loads with no file).
    static TarrayConfig arrayConfigPorDefecto(int n);
    static TAvanzadas1 avanzadas1PorDefecto();
    static Tavanzadas2 avanzadas2PorDefecto();
    static TGindividual gindividualPorDefecto();
    static TInstGrafico instGraficoPorDefecto();

    // Instrument counts the model supports (0 to 20 instruments).
    static constexpr int kCantidadMinima = 1;
    static constexpr int kCantidadMaxima = 21;
    static constexpr int kCantidadPorDefecto = 2;

protected:
    // Grows (never shrinks) every per-instrument array to at least `largo`.
    virtual void asegurarLargo(int largo);

private:
    QString rutaIni();
};

} // namespace ombrix
