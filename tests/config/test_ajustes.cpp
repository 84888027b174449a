// Loading and saving the whole configuration through the settings file.

#include "config/dialogos.h"
#include "config/modelo.h"
#include "config/perfil.h"
#include "config/rutas.h"
#include "raiz_temporal.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRegularExpression>
#include <QSet>
#include <QTest>

using namespace ombrix;

namespace {

void escribirArchivo(const QString& ruta, const QByteArray& bytes)
{
    QFile f(ruta);
    if (!f.open(QIODevice::WriteOnly))
        qFatal("cannot write %s", qPrintable(ruta));
    f.write(bytes);
}

QByteArray leerArchivo(const QString& ruta)
{
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

// section (lower case) -> key (lower case) -> value, in file order.
using Claves = QList<std::pair<QString, QString>>;
QMap<QString, Claves> seccionesDe(const QByteArray& bytes)
{
    QMap<QString, Claves> r;
    QString actual;
    for (QString l : Perfil::decodificar(bytes).split(QLatin1Char('\n'))) {
        l = l.trimmed();
        if (l.startsWith(QLatin1Char('[')) && l.endsWith(QLatin1Char(']'))) {
            actual = l.mid(1, l.size() - 2).toLower();
            r[actual];
        } else if (l.indexOf(QLatin1Char('=')) > 0) {
            const int i = l.indexOf(QLatin1Char('='));
            r[actual].append({l.left(i).toLower(), l.mid(i + 1)});
        }
    }
    return r;
}

QString valorEn(const QMap<QString, Claves>& s, const QString& seccion, const QString& clave)
{
    for (const auto& [k, v] : s.value(seccion.toLower()))
        if (k == clave.toLower())
            return v;
    return QStringLiteral("<none>");
}

} // namespace

class TestAjustes : public QObject {
    Q_OBJECT

private:
    // A model reading from its own file in a fresh data root.
    struct Caso {
        test::RaizTemporal raiz{false};
        Modelo m;
        QString ini() const { return raiz.datos() + QStringLiteral("/Ombrix.ini"); }
        void archivo(const QByteArray& bytes) { escribirArchivo(ini(), bytes); }
        void cargar() { m.RutaIni = ini(); m.CantidadAparatos = 1; m.CargarIni(); }
        QMap<QString, Claves> guardado() const { return seccionesDe(leerArchivo(ini())); }
    };

private slots:
    void instalacionNueva()
    {
        Caso c;
        c.m.RutaIni.clear();   // the default path under the data root
        c.m.CargarIni();
        QCOMPARE(c.m.RutaIni, rutaIniPorDefecto());
        QCOMPARE(c.m.RutaIni, c.ini());

        const Tconfig& k = c.m.Config;
        QCOMPARE(k.Puerto, QStringLiteral("COM1"));
        QCOMPARE(k.BaudRate, 9600);
        QCOMPARE(k.TiempoScan, 1);
        QCOMPARE(c.m.CantidadAparatos, quint8(2));
        QCOMPARE(c.m.cantidadInstrumentos(), 1);
        QCOMPARE(k.Sincronismo, false);
        QCOMPARE(k.TiempoSinc, 1);
        QCOMPARE(k.ADir, 1950);
        QCOMPARE(k.Pedir_Partida, true);
        QCOMPARE(k.Mantener_Nivel, false);
        QCOMPARE(k.Nivel, quint8(0));
        QVERIFY(k.Password_Ingenieria.isEmpty() && k.Password_Avanzado.isEmpty());
        QCOMPARE(k.TableReadOnly, true);
        QCOMPARE(k.espesor, quint8(1));
        QCOMPARE(k.Tiempo, QStringLiteral("00:10:00"));
        QCOMPARE(k.dias, QStringLiteral("00"));
        QCOMPARE(k.Puntos, true);
        QCOMPARE(k.maximoizq, 500);
        QCOMPARE(k.maximoder, 500);
        QCOMPARE(k.ordenar, false);

        QCOMPARE(c.m.ArrayConfig.size(), 3);
        const TarrayConfig& a = c.m.ArrayConfig[1];
        QCOMPARE(a.Titulo, QStringLiteral("Instrumento1"));
        QCOMPARE(a.Unidad, QStringLiteral("ºC"));
        QCOMPARE(a.ID, quint8(1));
        QCOMPARE(a.Barrido, quint16(60));
        QCOMPARE(a.Habilitado, false);
        const TAvanzadas1& b = c.m.Avanzadas1[1];
        QCOMPARE(b.Sensor, 0x4038);
        QCOMPARE(b.VActual, 0x1000);
        QCOMPARE(b.Alarma4, 0x101E);
        QCOMPARE(b.FueraRango, 0x1020);
        QCOMPARE(b.Temp, 0x12C);
        QCOMPARE(b.NombreTemp, QStringLiteral("Tie. Seg."));
        QCOMPARE(b.NombreVA, QStringLiteral("Valor Actual"));
        QCOMPARE(b.Potcolor, 65535);
        QCOMPARE(b.A4colorOff, 128);
        QVERIFY(b.CRC && b.PCheckAl4);
        const Tavanzadas2& p = c.m.Avanzadas2[1];
        QCOMPARE(p.RS1, 164);
        QCOMPARE(p.ST2, 246);
        QCOMPARE(p.ABA2NAME, QStringLiteral("ABA2"));
        QVERIFY(p.SSP1 && !p.SIN1 && !p.SDR2 && p.SABA2 && p.CheckAL2b && p.CheckST2);
        const TGindividual& g = c.m.Gindividual[1];
        QCOMPARE(g.ColorPot, 16776960);
        QCOMPARE(g.ColorAl3, 0);
        QCOMPARE(g.dias, QStringLiteral("01"));
        QCOMPARE(g.MaximoTemp, 500.0);
        QCOMPARE(g.MaximoAl, 100.0);
        QCOMPARE(g.NivelAlCom, quint8(18));
        QVERIFY(g.Pot && g.Actualizacion_Automatica);
        const TInstGrafico& ig = c.m.InstGrafico[1];
        QVERIFY(ig.ValorMedidoT && !ig.SetPointT && ig.ValorMedidoG && !ig.Alarma4G && ig.Ejeizq);
        QCOMPARE(ig.CLAL4, 8388736);

        // The spare slot and slot 0 stay zero.
        QCOMPARE(c.m.ArrayConfig[2], TarrayConfig{});
        QCOMPARE(c.m.ArrayConfig[0], TarrayConfig{});

        // granini with no file gives the same defaults for any slot.
        Modelo otro;
        otro.granini(7, QString());
        QCOMPARE(otro.ArrayConfig[7].Titulo, QStringLiteral("Instrumento7"));
        QCOMPARE(otro.ArrayConfig[7].ID, quint8(7));
        QCOMPARE(otro.Avanzadas1[7], c.m.Avanzadas1[1]);
        QCOMPARE(otro.Avanzadas2[7], c.m.Avanzadas2[1]);
        QCOMPARE(otro.Gindividual[7], c.m.Gindividual[1]);
        // ...but the measured value's colour in the combined chart, each
        // instrument's own.
        TInstGrafico g7 = otro.InstGrafico[7];
        QVERIFY(g7.CLVM != c.m.InstGrafico[1].CLVM);
        g7.CLVM = c.m.InstGrafico[1].CLVM;
        QCOMPARE(g7, c.m.InstGrafico[1]);
        QCOMPARE(Modelo::arrayConfigPorDefecto(1), a);
        QCOMPARE(Modelo::avanzadas1PorDefecto(), b);
    }

    // The defaults a new instrument is saved with, key by key.
    void valoresPorDefectoEnElArchivo()
    {
    const QStringList esperadoInstrumento = {
        QStringLiteral("Tipo de instrumento=0"), QStringLiteral("Habilitado=0"),
        QStringLiteral("Titulo=Instrumento3"), QStringLiteral("Unidad=ºC"), QStringLiteral("ID=3"),
        QStringLiteral("SalvarTabla=0"), QStringLiteral("Barrido=60"), QStringLiteral("PCheckVA=1"),
        QStringLiteral("PCheckSPRd=1"), QStringLiteral("PCheckNProg=1"), QStringLiteral("PCheckNSeg=1"),
        QStringLiteral("PCheckTemp=1"), QStringLiteral("PCheckPOT=1"), QStringLiteral("PCheckAl1=1"),
        QStringLiteral("PCheckAl2=1"), QStringLiteral("PCheckAl3=1"), QStringLiteral("PCheckAl4=1"),
        QStringLiteral("Sensor=16440"), QStringLiteral("Sensor2=16440"), QStringLiteral("Vactual=4096"),
        QStringLiteral("SetPointL=4104"), QStringLiteral("Potencia=4112"), QStringLiteral("Alarma1=4120"),
        QStringLiteral("Alarma2=4122"), QStringLiteral("Alarma3=4124"), QStringLiteral("Alarma4=4126"),
        QStringLiteral("FueraRango=4128"), QStringLiteral("FueraRango2=0"), QStringLiteral("CRC=1"),
        QStringLiteral("NProg=252"), QStringLiteral("NSeg=268"), QStringLiteral("Temp=300"),
        QStringLiteral("Val100Pot=1000"), QStringLiteral("Val100A1=1000"), QStringLiteral("ValumbA2=1000"),
        QStringLiteral("ValumbA3=1000"), QStringLiteral("ValumbA4=1000"),
        QStringLiteral("NombreVA=Valor Actual"), QStringLiteral("NombreSP=Set Point"),
        QStringLiteral("NombreProg=P"), QStringLiteral("NombreSeg=Seg"),
        QStringLiteral("NombreTemp=Tie. Seg."), QStringLiteral("NombrePot=Pot"),
        QStringLiteral("NombreAl1=AL1"), QStringLiteral("NombreAl2=AL2"), QStringLiteral("NombreAl3=AL3"),
        QStringLiteral("NombreAl4=AL4"), QStringLiteral("VaColor=65280"), QStringLiteral("SPcolor=255"),
        QStringLiteral("Progcolor=255"), QStringLiteral("Segcolor=255"), QStringLiteral("Tempcolor=65280"),
        QStringLiteral("Potcolor=65535"), QStringLiteral("A1color=255"), QStringLiteral("A2colorOn=255"),
        QStringLiteral("A3colorOn=255"), QStringLiteral("A4colorOn=255"), QStringLiteral("A2colorOff=128"),
        QStringLiteral("A3colorOff=128"), QStringLiteral("A4colorOff=128"), QStringLiteral("SP1=4"),
        QStringLiteral("SP2=6"), QStringLiteral("AL1=12"), QStringLiteral("AL2=14"),
        QStringLiteral("RS1=164"), QStringLiteral("RS2=166"), QStringLiteral("IN1=180"),
        QStringLiteral("IN2=182"), QStringLiteral("DR1=188"), QStringLiteral("DR2=190"),
        QStringLiteral("AB1=28"), QStringLiteral("AB2=30"), QStringLiteral("ABA1=36"),
        QStringLiteral("ABA2=38"), QStringLiteral("ST1=244"), QStringLiteral("ST2=246"),
        QStringLiteral("SSP1=1"), QStringLiteral("SSP2=1"), QStringLiteral("SAL1=1"),
        QStringLiteral("SAL2=1"), QStringLiteral("SRS1=1"), QStringLiteral("SRS2=1"),
        QStringLiteral("SIN1=0"), QStringLiteral("SIN2=0"), QStringLiteral("SDR1=0"),
        QStringLiteral("SDR2=0"), QStringLiteral("SAB1=1"), QStringLiteral("SAB2=1"),
        QStringLiteral("SABA1=1"), QStringLiteral("SABA2=1"), QStringLiteral("CheckSP1=1"),
        QStringLiteral("CheckSP2=1"), QStringLiteral("CheckAL1b=1"), QStringLiteral("CheckAL2b=1"),
        QStringLiteral("CheckRS1=1"), QStringLiteral("CheckRS2=1"), QStringLiteral("CheckIN1=1"),
        QStringLiteral("CheckIN2=1"), QStringLiteral("CheckDR1=1"), QStringLiteral("CheckDR2=1"),
        QStringLiteral("CheckAB1=1"), QStringLiteral("CheckAB2=1"), QStringLiteral("CheckABA1=1"),
        QStringLiteral("CheckABA2=1"), QStringLiteral("CheckST1=1"), QStringLiteral("CheckST2=1"),
        QStringLiteral("SP1NAME=SP1"), QStringLiteral("SP2NAME=SP2"), QStringLiteral("AL1NAME=AL1"),
        QStringLiteral("AL2NAME=AL2"), QStringLiteral("RS1NAME=RS1"), QStringLiteral("RS2NAME=RS2"),
        QStringLiteral("IN1NAME=IN1"), QStringLiteral("IN2NAME=IN2"), QStringLiteral("DR1NAME=DR1"),
        QStringLiteral("DR2NAME=DR2"), QStringLiteral("AB1NAME=AB1"), QStringLiteral("AB2NAME=AB2"),
        QStringLiteral("ABA1NAME=ABA1"), QStringLiteral("ABA2NAME=ABA2"), QStringLiteral("ST1NAME=ST1"),
        QStringLiteral("ST2NAME=ST2"), QStringLiteral("ColorVActual=32768"),
        QStringLiteral("ColorSetPoint=255"), QStringLiteral("ColorPot=16776960"),
        QStringLiteral("ColorAl1=255"), QStringLiteral("ColorAl2=65535"), QStringLiteral("ColorAl3=0"),
        QStringLiteral("ColorAl4=16711680"), QStringLiteral("EspesorLinea=1"),
        QStringLiteral("Tiempo=00:10:00"), QStringLiteral("dias=01"), QStringLiteral("MaximoTemp=500"),
        QStringLiteral("MinimoTemp=0"), QStringLiteral("NivelAl1=10"), QStringLiteral("NivelAl2=12"),
        QStringLiteral("NivelAl3=14"), QStringLiteral("NivelAl4=16"), QStringLiteral("NivelAlCom=18"),
        QStringLiteral("MaximoAl=100"), QStringLiteral("MinimoAl=0"), QStringLiteral("ValorM=1"),
        QStringLiteral("SetP=1"), QStringLiteral("Pot=1"), QStringLiteral("Al11=1"), QStringLiteral("Al22=1"),
        QStringLiteral("Al33=1"), QStringLiteral("Al44=1"), QStringLiteral("Puntos=1"),
        QStringLiteral("Actualizacion_Automatica=1"),
    };
    const QStringList esperadoGrafico = {
        QStringLiteral("ValorMedidoT=1"), QStringLiteral("SetPointT=0"), QStringLiteral("PotenciaT=0"),
        QStringLiteral("Alarma1T=0"), QStringLiteral("Alarma2T=0"), QStringLiteral("Alarma3T=0"),
        QStringLiteral("Alarma4T=0"), QStringLiteral("ValorMedidoG=1"), QStringLiteral("SetPointG=0"),
        QStringLiteral("PotenciaG=0"), QStringLiteral("Alarma1G=0"), QStringLiteral("Alarma2G=0"),
        QStringLiteral("Alarma3G=0"), QStringLiteral("Alarma4G=0"), QStringLiteral("CLVM=255")   /* instrument 3: red */,
        QStringLiteral("CLSP=255"), QStringLiteral("CLPOT=16711680"), QStringLiteral("CLAL1=16776960"),
        QStringLiteral("CLAL2=16711935"), QStringLiteral("CLAL3=32768"), QStringLiteral("CLAL4=8388736"),
        QStringLiteral("Ejeizq=1"),
    };
        Caso c;
        c.cargar();
        c.m.CantidadAparatos = 4;
        c.m.ActualizarMemoria();
        c.m.granini(3, QString());
        c.m.SalvarIni();
        const auto s = c.guardado();
        auto comoTexto = [](const Claves& claves) {
            QStringList r;
            for (const auto& [k, v] : claves)
                r << k + QLatin1Char('=') + v;
            r.sort();
            return r;
        };
        auto enMinusculas = [](QStringList l) {
            for (QString& x : l)
                x = x.left(x.indexOf(QLatin1Char('='))).toLower() + x.mid(x.indexOf(QLatin1Char('=')));
            l.sort();
            return l;
        };
        QCOMPARE(comoTexto(s[QStringLiteral("instrumento3")]), enMinusculas(esperadoInstrumento));
        QCOMPARE(comoTexto(s[QStringLiteral("instrumento3grafico")]), enMinusculas(esperadoGrafico));
    }

    void primerGuardado()
    {
        Caso c;
        c.cargar();
        QVERIFY(!QFile::exists(c.ini()));
        c.m.SalvarIni();   // creates the file
        const auto s = c.guardado();
        QCOMPARE(s.keys(), (QStringList{QStringLiteral("general"), QStringLiteral("grafico combinado"),
                                        QStringLiteral("graficos"), QStringLiteral("instrumento1"),
                                        QStringLiteral("instrumento1grafico"), QStringLiteral("puertos")}));
        QCOMPARE(s[QStringLiteral("puertos")].size(), 2);
        QCOMPARE(s[QStringLiteral("general")].size(), 15);
        QCOMPARE(s[QStringLiteral("grafico combinado")].size(), 8);
        QCOMPARE(s[QStringLiteral("graficos")].size(), 1);
        QCOMPARE(s[QStringLiteral("instrumento1")].size(), 150);
        QCOMPARE(s[QStringLiteral("instrumento1grafico")].size(), 22);
        // Fixed keys in their documented order.
        QStringList general;
        for (const auto& [k, v] : s[QStringLiteral("general")])
            general << k;
        QCOMPARE(general.join(QLatin1Char(',')),
                 QStringLiteral("tiemposcan,cantidad de aparatos,sincronismo,pedir_partida,mantener_nivel,nivel,"
                                "password_ingenieria,password_avanzado,tiemposinc,dtr,rts,adir,tecladovirtual,"
                                "tablereadonly,reintentoalarma"));
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento1"), QStringLiteral("MaximoTemp")), QStringLiteral("500"));
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento1"), QStringLiteral("Unidad")), QStringLiteral("ºC"));
        QVERIFY(leerArchivo(c.ini()).contains("\r\nVactual=4096\r\n"));
        QVERIFY(leerArchivo(c.ini()).contains("\r\nSensor=16440\r\n"));
        QVERIFY(leerArchivo(c.ini()).contains("[Instrumento1Grafico]\r\nValorMedidoT=1\r\n"));
    }

    // Every key of the file, changed to a value that is not its default,
    // is loaded into its field and written back from it.
    void idaYVueltaDeCadaClave()
    {
        Caso base;
        base.cargar();
        base.m.SalvarIni();
        QByteArray texto = leerArchivo(base.ini());

        // Change each value: "0" <-> "1", other integers + 7, texts + "x".
        QStringList lineas = QString::fromUtf8(texto).split(QStringLiteral("\r\n"));
        int cambiadas = 0;
        for (QString& l : lineas) {
            const int i = l.indexOf(QLatin1Char('='));
            if (i <= 0 || l.startsWith(QLatin1String("cantidad de aparatos")))
                continue;
            const QString v = l.mid(i + 1);
            qint32 n = 0;
            QString nuevo;
            if (l.startsWith(QLatin1String("BaudRate=")))
                nuevo = QStringLiteral("19200");   // one of the speeds the port is opened with
            else if (v == QLatin1String("0"))
                nuevo = QStringLiteral("1");
            else if (v == QLatin1String("1"))
                nuevo = QStringLiteral("0");
            else if (Perfil::aEntero(v, n))
                nuevo = QString::number(n + 7);
            else
                nuevo = v + QStringLiteral("x");
            l = l.left(i + 1) + nuevo;
            ++cambiadas;
        }
        QCOMPARE(cambiadas, 2 + 14 + 8 + 1 + 150 + 22);
        const QByteArray cambiado = lineas.join(QStringLiteral("\r\n")).toUtf8();

        Caso c;
        c.archivo(cambiado);
        c.m.Config.Nivel = 3;
        c.cargar();
        QCOMPARE(c.m.Config.Mantener_Nivel, true);
        QCOMPARE(c.m.Config.Nivel, quint8(1));   // read because Mantener_Nivel is now set
        QVERIFY(c.m.Avanzadas1[1] != base.m.Avanzadas1[1]);
        c.m.SalvarIni();
        QCOMPARE(c.guardado(), seccionesDe(cambiado));   // every key came back as it was loaded

        // A fresh model reads exactly what was saved.
        Modelo fresco;
        fresco.RutaIni = c.ini();
        fresco.CargarIni();
        QCOMPARE(fresco.Config, c.m.Config);
        QCOMPARE(fresco.ArrayConfig, c.m.ArrayConfig);
        QCOMPARE(fresco.Avanzadas1, c.m.Avanzadas1);
        QCOMPARE(fresco.Avanzadas2, c.m.Avanzadas2);
        QCOMPARE(fresco.Gindividual, c.m.Gindividual);
        QCOMPARE(fresco.InstGrafico, c.m.InstGrafico);
        QCOMPARE(fresco.ArrayConfig[1].Titulo, QStringLiteral("Instrumento1x"));
        QCOMPARE(fresco.Avanzadas1[1].VActual, 4096 + 7);
        QCOMPARE(fresco.Gindividual[1].MaximoTemp, 507.0);
        QCOMPARE(fresco.Gindividual[1].dias, QStringLiteral("8"));
    }

    void idaYVueltaDeValoresDelModelo()
    {
        Caso c;
        c.cargar();
        Modelo& m = c.m;
        m.CantidadAparatos = 3;
        m.ActualizarMemoria();
        m.granini(2, QString());
        m.Config.Puerto = QStringLiteral("COM4");
        m.Config.Password_Ingenieria = QStringLiteral("Señor = 1; ok");
        m.Config.Nivel = 3;
        m.Config.Mantener_Nivel = true;
        m.Config.minimoder = -40;
        m.Config.Tiempo = QStringLiteral("01:00:00");
        m.ArrayConfig[2].Tipo = 1;
        m.ArrayConfig[2].Titulo = QStringLiteral("  Horno [2]  ");
        m.ArrayConfig[2].Barrido = 65535;
        m.ArrayConfig[2].ID = 247;
        m.Avanzadas1[2].VActual = -1;
        m.Avanzadas1[2].NombreAl4 = QStringLiteral("Alarma ñ");
        m.Avanzadas2[2].ST1NAME = QString();
        m.Gindividual[2].MinimoTemp = -12.125;
        m.Gindividual[2].MaximoAl = 0.1;
        m.Gindividual[2].NivelAl4 = 255;
        m.InstGrafico[2].CLAL4 = 0x00FFFFFF;
        m.InstGrafico[2].Ejeizq = false;
        m.SalvarIni();

        Modelo fresco;
        fresco.RutaIni = c.ini();
        fresco.CargarIni();
        QCOMPARE(fresco.CantidadAparatos, quint8(3));
        QCOMPARE(fresco.Config, m.Config);
        QCOMPARE(fresco.Avanzadas1[2], m.Avanzadas1[2]);
        QCOMPARE(fresco.Avanzadas2[2], m.Avanzadas2[2]);
        QCOMPARE(fresco.Gindividual[2], m.Gindividual[2]);
        QCOMPARE(fresco.InstGrafico[2], m.InstGrafico[2]);
        // Surrounding spaces do not survive the file, as with the Windows functions.
        TarrayConfig esperado = m.ArrayConfig[2];
        esperado.Titulo = QStringLiteral("Horno [2]");
        QCOMPARE(fresco.ArrayConfig[2], esperado);
    }

    void conversiones()
    {
        Caso c;
        c.archivo("[General]\r\ncantidad de aparatos=3\r\nMantener_Nivel=0\r\nNivel=3\r\n"
                  "[Instrumento1]\r\nID=300\r\nBarrido=70000\r\nHabilitado=5\r\nMaximoTemp=12,5\r\n"
                  "Vactual=1234\r\nSensor=0x4039\r\nTipo de instrumento=257\r\nNivelAl1=-1\r\n"
                  "Titulo=\r\nMinimoAl=-3.5\r\n"
                  "[Instrumento2]\r\nVACTUAL=0x10\r\nID=-1\r\nCRC=x\r\nPCheckVA=0\r\n");
        c.cargar();
        QCOMPARE(c.m.CantidadAparatos, quint8(3));
        QCOMPARE(c.m.Config.Nivel, quint8(0));   // Mantener_Nivel false: Nivel ignored
        const TarrayConfig& a = c.m.ArrayConfig[1];
        QCOMPARE(a.ID, quint8(44));
        QCOMPARE(a.Barrido, quint16(4464));
        QCOMPARE(a.Habilitado, true);
        QCOMPARE(a.Tipo, quint8(1));
        QCOMPARE(a.Titulo, QString());   // present but empty: taken as it is
        QCOMPARE(c.m.Gindividual[1].MaximoTemp, 500.0);
        QCOMPARE(c.m.Gindividual[1].MinimoAl, -3.5);
        QCOMPARE(c.m.Gindividual[1].NivelAl1, quint8(255));
        QCOMPARE(c.m.Avanzadas1[1].VActual, 1234);
        QCOMPARE(c.m.Avanzadas1[1].Sensor, 0x4039);
        QCOMPARE(c.m.Avanzadas1[2].VActual, 16);
        QCOMPARE(c.m.ArrayConfig[2].ID, quint8(255));
        QCOMPARE(c.m.Avanzadas1[2].CRC, true);
        QCOMPARE(c.m.Avanzadas1[2].PCheckVA, false);

        c.m.SalvarIni();
        const QByteArray guardado = leerArchivo(c.ini());
        const auto s = seccionesDe(guardado);
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento1"), QStringLiteral("Habilitado")), QStringLiteral("1"));
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento1"), QStringLiteral("ID")), QStringLiteral("44"));
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento1"), QStringLiteral("MaximoTemp")), QStringLiteral("500"));
        QCOMPARE(valorEn(s, QStringLiteral("General"), QStringLiteral("Nivel")), QStringLiteral("0"));
        // One entry for the measured value's register, spelled "Vactual".
        QVERIFY(guardado.contains("\r\nVactual=1234\r\n"));
        QVERIFY(guardado.contains("\r\nVactual=16\r\n"));
        QVERIFY(!guardado.contains("\nVActual="));
        QVERIFY(!guardado.contains("\nVACTUAL="));
    }

    // Values the program cannot use as written take their default, as they
    // always have, and each is told once: section, key, text read, value used.
    void valoresFueraDeRangoSeDicen()
    {
        Caso c;
        c.archivo("[Puertos]\r\nPuerto=com2\r\nCOM2=\r\nBaudRate=-9600\r\n"
                  "[General]\r\nTiempoScan=1e12\r\ncantidad de aparatos=4\r\nReintentoAlarma=-5\r\n"
                  "[Instrumento1]\r\nBarrido=-5\r\nID=0\r\n"
                  "[Instrumento2]\r\nBarrido=70000\r\nID=248\r\n"
                  "[Instrumento3]\r\nBarrido=30\r\nID=247\r\n"
                  "[Instrumento9]\r\nID=0\r\n");   // not loaded: no word about it
        c.cargar();
        QCOMPARE(c.m.Config.BaudRate, 9600);
        QCOMPARE(c.m.Config.TiempoScan, 1);
        QCOMPARE(c.m.Config.ReintentoAlarma, 0);
        QCOMPARE(c.m.ArrayConfig[1].Barrido, quint16(60));
        QCOMPARE(c.m.ArrayConfig[2].Barrido, quint16(4464));   // low 16 bits, as stored files expect
        QCOMPARE(c.m.ArrayConfig[3].Barrido, quint16(30));
        QCOMPARE(c.m.ArrayConfig[1].ID, quint8(0));            // kept as written, not polled
        const QStringList esperados{
            QStringLiteral("[Puertos] BaudRate=-9600: no es 4800, 9600 ni 19200; se usa 9600"),
            QStringLiteral("[General] TiempoScan=1e12: no es un número entero; se usa 1"),
            QStringLiteral("[General] ReintentoAlarma=-5: fuera de 0..86400; se usa 0"),
            QStringLiteral("[Puertos] COM2=: vacío; se usa /dev/ttyS1"),
            QStringLiteral("[Instrumento1] Barrido=-5: fuera de 1..65535; se usa 60"),
            QStringLiteral("[Instrumento1] ID=0: la dirección 0 está fuera de 1..247; el instrumento 1 no se consulta"),
            QStringLiteral("[Instrumento2] Barrido=70000: fuera de 1..65535; se usa 4464"),
            QStringLiteral("[Instrumento2] ID=248: la dirección 248 está fuera de 1..247; el instrumento 2 no se consulta"),
        };
        QCOMPARE(c.m.textoAvisos(), esperados.join(QLatin1Char('\n')));

        // The count: -3 and a million are out of range.
        c.archivo("[General]\r\ncantidad de aparatos=-3\r\nTiempoScan=-5\r\n");
        c.cargar();
        QCOMPARE(int(c.m.CantidadAparatos), Modelo::kCantidadPorDefecto);
        QCOMPARE(c.m.textoAvisos(),
                 QStringLiteral("[General] TiempoScan=-5: fuera de 0..86400; se usa 1\n"
                                "[General] cantidad de aparatos=-3: fuera de 1..21; se usa 2"));
        c.archivo("[General]\r\ncantidad de aparatos=1000000\r\n");
        c.cargar();
        QCOMPARE(c.m.Avisos.size(), 1);

        // A sound file, and one that names the device of its port, say nothing;
        // a reload forgets the old warnings.
        c.archivo("[Puertos]\r\nPuerto=COM1\r\nCOM1=/dev/ttyUSB0\r\nBaudRate=19200\r\n"
                  "[General]\r\nTiempoScan=0\r\ncantidad de aparatos=2\r\nReintentoAlarma=3600\r\n"
                  "[Instrumento1]\r\nBarrido=1\r\nID=1\r\n");
        c.cargar();
        QVERIFY2(c.m.Avisos.isEmpty(), qPrintable(c.m.textoAvisos()));
        // Saving writes the values in use.
        c.archivo("[General]\r\nTiempoScan=-5\r\n");
        c.cargar();
        c.m.SalvarIni();
        QCOMPARE(valorEn(c.guardado(), QStringLiteral("General"), QStringLiteral("TiempoScan")), QStringLiteral("1"));
    }

    void nivelMantenido()
    {
        Caso c;
        c.archivo("[General]\r\nMantener_Nivel=1\r\nNivel=3\r\n");
        c.cargar();
        QCOMPARE(c.m.Config.Nivel, quint8(3));

        // On a reload without Mantener_Nivel the level in memory stays.
        c.archivo("[General]\r\nMantener_Nivel=0\r\nNivel=0\r\n");
        c.m.CargarIni();
        QCOMPARE(c.m.Config.Nivel, quint8(3));
    }

    void cantidadDeAparatos_data()
    {
        QTest::addColumn<QByteArray>("valor");
        QTest::addColumn<int>("esperada");
        QTest::newRow("cero") << QByteArray("0") << 2;
        QTest::newRow("300") << QByteArray("300") << 2;      // 44 after modulo 256: too many
        QTest::newRow("uno") << QByteArray("1") << 1;
        QTest::newRow("257") << QByteArray("257") << 1;      // modulo 256
        QTest::newRow("21") << QByteArray("21") << 21;
        QTest::newRow("22") << QByteArray("22") << 2;
        QTest::newRow("negativo") << QByteArray("-1") << 2;
        QTest::newRow("texto") << QByteArray("dos") << 2;
    }
    void cantidadDeAparatos()
    {
        QFETCH(QByteArray, valor);
        QFETCH(int, esperada);
        Caso c;
        c.archivo("[General]\r\ncantidad de aparatos=" + valor + "\r\n[Instrumento1]\r\nTitulo=Uno\r\n");
        c.cargar();
        QCOMPARE(int(c.m.CantidadAparatos), esperada);
        QCOMPARE(c.m.ArrayConfig.size(), esperada + 1);
        QCOMPARE(c.m.Estados.size(), esperada + 1);
        QCOMPARE(c.m.UltimosValores.size(), esperada + 1);
        if (esperada == 1) {
            QCOMPARE(c.m.cantidadInstrumentos(), 0);
            QCOMPARE(c.m.ArrayConfig[1].Titulo, QString());   // no instrument section loaded
        } else {
            QCOMPARE(c.m.ArrayConfig[1].Titulo, QStringLiteral("Uno"));
        }
    }

    void instrumentoQuitadoSobrevive()
    {
        Caso c;
        c.cargar();
        c.m.CantidadAparatos = 4;
        c.m.ActualizarMemoria();
        for (int n = 1; n <= 3; ++n)
            c.m.granini(n, QString());
        c.m.ArrayConfig[3].Titulo = QStringLiteral("Tercero");
        c.m.Avanzadas1[3].Sensor = 99;
        c.m.SalvarIni();

        // Instrument 3 removed: the count drops, the arrays stay.
        c.m.CantidadAparatos = 3;
        c.m.ArrayConfig[3].Titulo = QStringLiteral("Cambiado");
        c.m.SalvarIni();
        const auto s = c.guardado();
        QCOMPARE(valorEn(s, QStringLiteral("General"), QStringLiteral("cantidad de aparatos")), QStringLiteral("3"));
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento3"), QStringLiteral("Titulo")), QStringLiteral("Tercero"));
        QCOMPARE(s[QStringLiteral("instrumento3")].size(), 150);
        QCOMPARE(s[QStringLiteral("instrumento3grafico")].size(), 22);

        Modelo fresco;
        fresco.RutaIni = c.ini();
        fresco.CargarIni();
        QCOMPARE(fresco.CantidadAparatos, quint8(3));
        QCOMPARE(fresco.ArrayConfig.size(), 4);
        QCOMPARE(fresco.ArrayConfig[3], TarrayConfig{});   // not loaded again
        // An instrument added again starts from the defaults, and the next save overwrites it.
        fresco.granini(3, QString());
        QCOMPARE(fresco.ArrayConfig[3].Titulo, QStringLiteral("Instrumento3"));
        QCOMPARE(fresco.Avanzadas1[3].Sensor, 0x4038);
        fresco.CantidadAparatos = 4;
        fresco.SalvarIni();
        QCOMPARE(valorEn(c.guardado(), QStringLiteral("Instrumento3"), QStringLiteral("Sensor")), QStringLiteral("16440"));
    }

    void panelVivoMandaEnTresClaves()
    {
        Caso c;
        c.archivo("[General]\r\ncantidad de aparatos=3\r\n");
        c.cargar();
        c.m.ArrayConfig[1].Titulo = QStringLiteral("De la lista");
        c.m.ArrayConfig[1].SalvarTabla = true;
        c.m.Estados[1] = EstadoInstrumento{true, 5, false, true, false, QStringLiteral("L1"),
                                           QStringLiteral("Del panel"), QStringLiteral("bar")};
        c.m.ArrayConfig[2].Titulo = QStringLiteral("Sin panel");
        c.m.Estados[2].Titulo = QStringLiteral("ignorado");
        c.m.SalvarIni();
        const auto s = c.guardado();
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento1"), QStringLiteral("Titulo")), QStringLiteral("Del panel"));
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento1"), QStringLiteral("Unidad")), QStringLiteral("bar"));
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento1"), QStringLiteral("Habilitado")), QStringLiteral("1"));
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento1"), QStringLiteral("SalvarTabla")), QStringLiteral("1"));
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento2"), QStringLiteral("Titulo")), QStringLiteral("Sin panel"));
        QCOMPARE(c.m.ArrayConfig[1].Titulo, QStringLiteral("De la lista"));   // the model is not changed by a save
    }

    // Each instrument's measured value takes a colour of its own in the
    // combined chart; a colour already in the file is kept.
    void coloresDistintosPorInstrumento()
    {
        Caso c;
        c.archivo("[General]\r\ncantidad de aparatos=21\r\n[Instrumento3Grafico]\r\nCLVM=65280\r\n");
        c.cargar();
        QSet<qint32> colores;
        for (int n = 1; n <= 20; ++n)
            if (n != 3)
                colores.insert(c.m.InstGrafico[n].CLVM);
        QCOMPARE(colores.size(), 19);
        QCOMPARE(c.m.InstGrafico[1].CLVM, 65280);   // the first keeps its green
        QCOMPARE(c.m.InstGrafico[3].CLVM, 65280);   // stored: kept
        QVERIFY(!colores.contains(0xFFFFFF));
    }

    void archivoEscritoAMano()
    {
        Caso c;
        const QByteArray original =
            "; Ombrix settings, edited by the technician\r\n"
            "[general]\r\n"
            "TIEMPOSCAN=5\r\n"
            "cantidad de aparatos=2\r\n"
            "; keep the operator level\r\n"
            "Clave Propia=abc\r\n"
            "\r\n"
            "[Red]\r\n"
            "Servidor=10.0.0.1\r\n"
            "\r\n"
            "[INSTRUMENTO1]\r\n"
            "titulo=Horno \xF1" "o\r\n"
            "Unidad=\xBA" "C\r\n"
            "basura sin igual\r\n"
            "Barrido = 30\r\n";
        c.archivo(original);
        c.cargar();
        QCOMPARE(c.m.Config.TiempoScan, 5);
        QCOMPARE(c.m.ArrayConfig[1].Titulo, QStringLiteral("Horno ño"));
        QCOMPARE(c.m.ArrayConfig[1].Unidad, QStringLiteral("ºC"));
        QCOMPARE(c.m.ArrayConfig[1].Barrido, quint16(30));

        c.m.Config.TiempoScan = 8;
        c.m.SalvarIni();
        const QByteArray guardado = leerArchivo(c.ini());
        const QString texto = QString::fromUtf8(guardado);
        QVERIFY(!texto.contains(QChar::ReplacementCharacter));
        // Unknown lines stay, in order; known keys are updated in place.
        QVERIFY(guardado.startsWith("; Ombrix settings, edited by the technician\r\n[general]\r\nTiempoScan=8\r\n"
                                    "cantidad de aparatos=2\r\n; keep the operator level\r\nClave Propia=abc\r\n"));
        QVERIFY(guardado.contains("\r\n\r\n[Red]\r\nServidor=10.0.0.1\r\n\r\n[INSTRUMENTO1]\r\n"
                                  "Titulo=Horno ño\r\nUnidad=ºC\r\nbasura sin igual\r\nBarrido=30\r\n"));
        QCOMPARE(guardado.count("[general]"), 1);
        QCOMPARE(guardado.count("[INSTRUMENTO1]"), 1);
        QVERIFY(!guardado.contains("[General]"));
        QVERIFY(!guardado.contains("[Instrumento1]"));
        QCOMPARE(guardado.count("\n"), guardado.count("\r\n"));

        // And it loads again the same.
        Modelo fresco;
        fresco.RutaIni = c.ini();
        fresco.CargarIni();
        QCOMPARE(fresco.ArrayConfig[1], c.m.ArrayConfig[1]);
        QCOMPARE(fresco.Config.TiempoScan, 8);
    }

    void basuraNoRompe()
    {
        Caso c;
        QByteArray basura;
        for (int i = 0; i < 4096; ++i)
            basura.append(char((i * 7919 + 13) % 256));
        basura += "\n[\n[]\n]\n=\n==\n[General\ncantidad de aparatos\n[General]]\n"
                  "[Instrumento1]\r\nID\r\n=5\r\nSensor==3\r\n";
        c.archivo(basura);
        c.cargar();
        QCOMPARE(c.m.CantidadAparatos, quint8(2));
        QCOMPARE(c.m.Avanzadas1[1].Sensor, 0x4038);   // "=3" is no integer
        QCOMPARE(c.m.ArrayConfig[1].ID, quint8(1));
        c.m.SalvarIni();
        Modelo fresco;
        fresco.RutaIni = c.ini();
        fresco.CargarIni();
        QCOMPARE(fresco.Avanzadas1[1], c.m.Avanzadas1[1]);

        // Only the sections of some instruments: the rest take defaults.
        Caso d;
        d.archivo("[General]\r\ncantidad de aparatos=4\r\n[Instrumento2Grafico]\r\nEjeizq=0\r\n");
        d.cargar();
        QCOMPARE(d.m.InstGrafico[2].Ejeizq, false);
        QCOMPARE(d.m.InstGrafico[3].Ejeizq, true);
        QCOMPARE(d.m.ArrayConfig[3].ID, quint8(3));
        QCOMPARE(d.m.Config.Puerto, QStringLiteral("COM1"));
    }

    void escrituraFallida()
    {
        Caso c;
        c.cargar();
        const QString ausente = c.raiz.ruta(QStringLiteral("no-existe/Ombrix.ini"));
        c.m.RutaIni = ausente;
        try {
            c.m.SalvarIni();
            QFAIL("the save reported success");
        } catch (const Error& e) {
            QCOMPARE(e.mensaje(), QStringLiteral("Unable to write to ") + ausente);
        }

        QVERIFY(QDir().mkpath(c.ini()));   // the settings path is a directory
        c.m.RutaIni = c.ini();
        try {
            c.m.SalvarIni();
            QFAIL("the save reported success");
        } catch (const Error& e) {
            QCOMPARE(e.mensaje(), QStringLiteral("Unable to write to ") + c.ini());
        }
        // Loading from it gives defaults.
        c.m.CargarIni();
        QCOMPARE(c.m.Config.BaudRate, 9600);
    }

    void prepararInstrumentoDesdeSuConfiguracion()
    {
        // What the instruments window and the recorder both start from.
        Caso c;
        c.archivo("[General]\r\ncantidad de aparatos=3\r\n"
                  "[Instrumento1]\r\nTipo de instrumento=0\r\nID=7\r\nHabilitado=1\r\nTitulo=Horno\r\nUnidad=ºF\r\n"
                  "[Instrumento2]\r\nTipo de instrumento=1\r\nID=9\r\n");
        c.cargar();
        c.m.Estados[1].AlarmaCom = true;   // left over from an earlier run
        c.m.Estados[1].RegistroPendiente = true;
        c.m.ContadorBarrido[1] = 40;
        c.m.prepararInstrumento(1);
        c.m.prepararInstrumento(2);
        const EstadoInstrumento& e1 = c.m.Estados[1];
        QVERIFY(e1.Vivo && e1.Habilitado && !e1.AlarmaCom && !e1.RegistroPendiente);
        QCOMPARE(int(e1.Direccion), 7);
        QCOMPARE(e1.Titulo, QStringLiteral("Horno"));
        QCOMPARE(e1.Unidad, QStringLiteral("ºF"));
        QCOMPARE(c.m.ContadorBarrido[1], 0);
        // A controller runs no program: its program readings are off.
        QVERIFY(!c.m.Avanzadas1[1].PCheckNProg && !c.m.Avanzadas1[1].PCheckNSeg && !c.m.Avanzadas1[1].PCheckTemp);
        QVERIFY(c.m.Avanzadas1[2].PCheckNProg && c.m.Avanzadas1[2].PCheckTemp);
        QCOMPARE(int(c.m.Estados[2].Direccion), 9);
        // What is live is what is saved.
        c.m.Estados[1].Titulo = QStringLiteral("Horno 1");
        c.m.SalvarIni();
        QCOMPARE(valorEn(c.guardado(), QStringLiteral("Instrumento1"), QStringLiteral("Titulo")), QStringLiteral("Horno 1"));
    }

    void actualizarMemoria()
    {
        Modelo m;
        QCOMPARE(m.cantidadInstrumentos(), 0);
        m.CantidadAparatos = 1;
        m.ActualizarMemoria();
        QCOMPARE(m.ArrayConfig.size(), 2);
        QCOMPARE(m.Estados.size(), 2);

        m.CantidadAparatos = 3;
        m.ActualizarMemoria();
        m.ArrayConfig[2].Titulo = QStringLiteral("queda");
        m.ContadorBarrido[2] = 17;
        m.UltimosValores[2][6] = QStringLiteral("Err");

        m.CantidadAparatos = 6;
        m.ActualizarMemoria();
        for (const auto largo : {m.ArrayConfig.size(), m.Avanzadas1.size(), m.Avanzadas2.size(),
                                 m.Gindividual.size(), m.InstGrafico.size(), m.ContadorBarrido.size(),
                                 m.UltimosValores.size(), m.Estados.size()})
            QCOMPARE(largo, qsizetype(7));
        QCOMPARE(m.ArrayConfig[2].Titulo, QStringLiteral("queda"));
        QCOMPARE(m.ContadorBarrido[2], 17);
        QCOMPARE(m.UltimosValores[2][6], QStringLiteral("Err"));
        QCOMPARE(m.ContadorBarrido[6], 0);
        QCOMPARE(m.Estados[6], EstadoInstrumento{});
        QCOMPARE(m.Avanzadas1[6], TAvanzadas1{});

        m.CantidadAparatos = 2;
        m.ActualizarMemoria();
        QCOMPARE(m.Estados.size(), 3);
        QCOMPARE(m.ArrayConfig[2].Titulo, QStringLiteral("queda"));

        // A save with arrays that were never sized does not go out of bounds.
        test::RaizTemporal raiz(false);
        Modelo sinMemoria;
        sinMemoria.RutaIni = raiz.datos() + QStringLiteral("/Ombrix.ini");
        sinMemoria.CantidadAparatos = 3;
        sinMemoria.SalvarIni();
        QVERIFY(QFile::exists(sinMemoria.RutaIni));
    }

    void veinteInstrumentos()
    {
        Caso c;
        c.archivo("[General]\r\ncantidad de aparatos=21\r\n");
        c.cargar();
        QCOMPARE(c.m.cantidadInstrumentos(), 20);
        for (int n = 1; n <= 20; ++n)
            c.m.Avanzadas1[n].NombreVA = QStringLiteral("VA%1").arg(n);
        QElapsedTimer reloj;
        reloj.start();
        c.m.SalvarIni();
        const qint64 primera = reloj.restart();
        c.m.SalvarIni();   // a second save updates every line in place
        const qint64 segunda = reloj.elapsed();
        qInfo("saving 20 instruments: %lld ms (new file), %lld ms (update)", primera, segunda);

        const auto s = c.guardado();
        QCOMPARE(s.size(), 4 + 40);
        QCOMPARE(s[QStringLiteral("instrumento20")].size(), 150);
        QCOMPARE(valorEn(s, QStringLiteral("Instrumento20"), QStringLiteral("NombreVA")), QStringLiteral("VA20"));
        Modelo fresco;
        fresco.RutaIni = c.ini();
        fresco.CargarIni();
        QCOMPARE(fresco.Avanzadas1, c.m.Avanzadas1);
    }
};

QTEST_GUILESS_MAIN(TestAjustes)
#include "test_ajustes.moc"
