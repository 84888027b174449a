// The settings-file reader/writer against real files.

#include "config/dialogos.h"
#include "config/perfil.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ombrix;

namespace {

void escribirArchivo(const QString& ruta, const QByteArray& bytes)
{
    QFile f(ruta);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray leerArchivo(const QString& ruta)
{
    QFile f(ruta);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    return f.readAll();
}

} // namespace

class TestPerfil : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir_;
    QString ruta(const QString& nombre) const { return dir_.filePath(nombre); }

    // A profile holding one key with the given raw value.
    Perfil conValor(const QByteArray& valor)
    {
        const QString r = ruta(QStringLiteral("valor.ini"));
        escribirArchivo(r, "[S]\r\nk=" + valor + "\r\n");
        return Perfil(r);
    }

private slots:
    void enteros_data()
    {
        QTest::addColumn<QByteArray>("valor");
        QTest::addColumn<int>("esperado");
        QTest::newRow("decimal") << QByteArray("1950") << 1950;
        QTest::newRow("negativo") << QByteArray("-25") << -25;
        QTest::newRow("signo mas") << QByteArray("+7") << 7;
        QTest::newRow("espacios") << QByteArray("  42  ") << 42;
        QTest::newRow("hex") << QByteArray("0x1000") << 4096;
        QTest::newRow("HEX") << QByteArray("0X4038") << 16440;
        QTest::newRow("hex minusculas") << QByteArray("0xff") << 255;
        QTest::newRow("hex 32 bits") << QByteArray("0xFFFFFFFF") << -1;
        QTest::newRow("minimo") << QByteArray("-2147483648") << int(-2147483647 - 1);
        QTest::newRow("maximo") << QByteArray("2147483647") << 2147483647;
        // Invalid: the default (-99) comes back.
        QTest::newRow("0x solo") << QByteArray("0x") << -99;
        QTest::newRow("hex malo") << QByteArray("0xG1") << -99;
        QTest::newRow("hex largo") << QByteArray("0x123456789") << -99;
        QTest::newRow("fuera de rango") << QByteArray("2147483648") << -99;
        QTest::newRow("muy negativo") << QByteArray("-2147483649") << -99;
        QTest::newRow("enorme") << QByteArray("99999999999999999999999") << -99;
        QTest::newRow("letras") << QByteArray("12abc") << -99;
        QTest::newRow("decimal con punto") << QByteArray("1.5") << -99;
        QTest::newRow("vacio") << QByteArray("") << -99;
        QTest::newRow("solo signo") << QByteArray("-") << -99;
        QTest::newRow("miles") << QByteArray("1,000") << -99;
    }
    void enteros()
    {
        QFETCH(QByteArray, valor);
        QFETCH(int, esperado);
        QCOMPARE(conValor(valor).leerEntero(QStringLiteral("S"), QStringLiteral("k"), -99), esperado);
    }

    void logicos()
    {
        QCOMPARE(conValor("5").leerBool(QStringLiteral("S"), QStringLiteral("k"), false), true);
        QCOMPARE(conValor("0").leerBool(QStringLiteral("S"), QStringLiteral("k"), true), false);
        QCOMPARE(conValor("-1").leerBool(QStringLiteral("S"), QStringLiteral("k"), false), true);
        QCOMPARE(conValor("si").leerBool(QStringLiteral("S"), QStringLiteral("k"), true), true);
        QCOMPARE(conValor("si").leerBool(QStringLiteral("S"), QStringLiteral("k"), false), false);
        QCOMPARE(conValor("0x0").leerBool(QStringLiteral("S"), QStringLiteral("k"), true), false);
    }

    void dobles_data()
    {
        QTest::addColumn<QByteArray>("valor");
        QTest::addColumn<double>("esperado");
        QTest::newRow("entero") << QByteArray("500") << 500.0;
        QTest::newRow("punto") << QByteArray("12.5") << 12.5;
        QTest::newRow("negativo") << QByteArray("-0.25") << -0.25;
        QTest::newRow("exponente") << QByteArray("1E3") << 1000.0;
        QTest::newRow("espacios") << QByteArray(" 7.5 ") << 7.5;
        QTest::newRow("coma") << QByteArray("12,5") << -1.0;
        QTest::newRow("miles") << QByteArray("1,000.5") << -1.0;
        QTest::newRow("vacio") << QByteArray("") << -1.0;
        QTest::newRow("texto") << QByteArray("abc") << -1.0;
        QTest::newRow("nan") << QByteArray("nan") << -1.0;
        QTest::newRow("inf") << QByteArray("inf") << -1.0;
        QTest::newRow("desborde") << QByteArray("1e999") << -1.0;
        QTest::newRow("doble signo") << QByteArray("+-3") << -1.0;
    }
    void dobles()
    {
        QFETCH(QByteArray, valor);
        QFETCH(double, esperado);
        QCOMPARE(conValor(valor).leerDoble(QStringLiteral("S"), QStringLiteral("k"), -1.0), esperado);
    }

    void formatoDobles()
    {
        QCOMPARE(Perfil::deDoble(500), QStringLiteral("500"));
        QCOMPARE(Perfil::deDoble(0.5), QStringLiteral("0.5"));
        QCOMPARE(Perfil::deDoble(0), QStringLiteral("0"));
        QCOMPARE(Perfil::deDoble(-12.75), QStringLiteral("-12.75"));
        QCOMPARE(Perfil::deDoble(0.1), QStringLiteral("0.1"));
        QCOMPARE(Perfil::deDoble(1.0 / 3.0), QStringLiteral("0.333333333333333"));
        // What is written reads back (to 15 digits).
        for (double v : {123456.789, -0.001, 1e20, 3.14159265358979}) {
            double leido = 0;
            QVERIFY(Perfil::aDoble(Perfil::deDoble(v), leido));
            QCOMPARE(leido, v);
        }
    }

    void nombresSinMayusculas()
    {
        const QString r = ruta(QStringLiteral("mayusculas.ini"));
        escribirArchivo(r, "[general]\r\n  TIEMPOSCAN =  5 \r\nclave=a=b\r\n[GENERAL]\r\ntiemposcan=9\r\n");
        Perfil p(r);
        QCOMPARE(p.leerEntero(QStringLiteral("General"), QStringLiteral("TiempoScan"), 1), 5);   // first one wins
        QCOMPARE(p.leerTexto(QStringLiteral("General"), QStringLiteral("Clave"), {}), QStringLiteral("a=b"));
        QCOMPARE(p.leerTexto(QStringLiteral("Otra"), QStringLiteral("Clave"), QStringLiteral("d")), QStringLiteral("d"));
        QCOMPARE(p.leerTexto(QStringLiteral("General"), QStringLiteral("Nada"), QStringLiteral("d")), QStringLiteral("d"));

        p.escribirEntero(QStringLiteral("GeNeRaL"), QStringLiteral("TiempoScan"), 7);
        QCOMPARE(p.leerEntero(QStringLiteral("general"), QStringLiteral("tiempoSCAN"), 1), 7);
        // Replaced in place: the header keeps its spelling, the key is written as asked.
        QCOMPARE(p.contenido(), QByteArray("[general]\r\nTiempoScan=7\r\nclave=a=b\r\n[GENERAL]\r\ntiemposcan=9\r\n"));
    }

    void lineasAjenasSobreviven()
    {
        const QString r = ruta(QStringLiteral("ajeno.ini"));
        const QByteArray original =
            "; settings written by hand\r\n"
            "suelta sin igual\r\n"
            "\r\n"
            "[Puertos]\r\n"
            "Puerto=COM3\r\n"
            "; the line speed follows\r\n"
            "BaudRate=19200\r\n"
            "\r\n"
            "; comment of the next section\r\n"
            "[Extra]\r\n"
            "foo = bar \r\n"
            "=sin clave\r\n"
            "[roto\r\n"
            "[Vacia]\r\n";
        escribirArchivo(r, original);
        Perfil p(r);
        QCOMPARE(p.contenido(), original);   // nothing written: the same bytes

        p.escribirTexto(QStringLiteral("Puertos"), QStringLiteral("Puerto"), QStringLiteral("COM1"));
        p.escribirEntero(QStringLiteral("Puertos"), QStringLiteral("Nuevo"), 3);
        p.escribirEntero(QStringLiteral("Vacia"), QStringLiteral("x"), 1);
        p.escribirEntero(QStringLiteral("Final"), QStringLiteral("y"), 2);
        p.escribirEntero(QStringLiteral("Final"), QStringLiteral("z"), 3);
        p.guardar();

        QCOMPARE(leerArchivo(r), QByteArray(
            "; settings written by hand\r\n"
            "suelta sin igual\r\n"
            "\r\n"
            "[Puertos]\r\n"
            "Puerto=COM1\r\n"
            "; the line speed follows\r\n"
            "BaudRate=19200\r\n"
            "Nuevo=3\r\n"
            "\r\n"
            "; comment of the next section\r\n"
            "[Extra]\r\n"
            "foo = bar \r\n"
            "=sin clave\r\n"
            "[roto\r\n"
            "[Vacia]\r\n"
            "x=1\r\n"
            "[Final]\r\n"
            "y=2\r\n"
            "z=3\r\n"));
        Perfil otra(r);
        QCOMPARE(otra.leerTexto(QStringLiteral("Extra"), QStringLiteral("FOO"), {}), QStringLiteral("bar"));
        // "[roto" is no section: its lines stay in [Extra].
        QCOMPARE(otra.leerEntero(QStringLiteral("Puertos"), QStringLiteral("Nuevo"), 0), 3);
    }

    void saltosDeLinea()
    {
        const QString r = ruta(QStringLiteral("lf.ini"));
        escribirArchivo(r, "[A]\nuno=1\n; nota\ndos=2");   // LF and no final line end
        Perfil p(r);
        QCOMPARE(p.leerEntero(QStringLiteral("A"), QStringLiteral("dos"), 0), 2);
        QCOMPARE(p.contenido(), QByteArray("[A]\r\nuno=1\r\n; nota\r\ndos=2\r\n"));

        // A value never breaks its line (no key can be smuggled in).
        p.escribirTexto(QStringLiteral("A"), QStringLiteral("uno"), QStringLiteral("x\r\n[B]\nmal=1"));
        p.guardar();
        Perfil q(r);
        QCOMPARE(q.leerTexto(QStringLiteral("A"), QStringLiteral("uno"), {}), QStringLiteral("x [B] mal=1"));
        QVERIFY(!q.existeClave(QStringLiteral("B"), QStringLiteral("mal")));
    }

    void codificacion()
    {
        // Windows-1252 as older installations wrote it.
        const QString r = ruta(QStringLiteral("cp1252.ini"));
        escribirArchivo(r, "[I]\r\nUnidad=\xBA" "C\r\nTexto=\x80 \x93" "a\x94 \xF1" "\r\n");
        Perfil p(r);
        QCOMPARE(p.leerTexto(QStringLiteral("I"), QStringLiteral("Unidad"), {}), QStringLiteral("ºC"));
        QCOMPARE(p.leerTexto(QStringLiteral("I"), QStringLiteral("Texto"), {}), QStringLiteral("€ “a” ñ"));
        p.guardar();
        QCOMPARE(leerArchivo(r), QByteArray("[I]\r\nUnidad=ºC\r\nTexto=€ “a” ñ\r\n"));   // now UTF-8

        // UTF-8 with and without BOM.
        const QString r2 = ruta(QStringLiteral("utf8.ini"));
        escribirArchivo(r2, "\xEF\xBB\xBF[I]\r\nUnidad=ºF\r\n");
        Perfil q(r2);
        QCOMPARE(q.leerTexto(QStringLiteral("I"), QStringLiteral("Unidad"), {}), QStringLiteral("ºF"));
        q.guardar();
        QCOMPARE(leerArchivo(r2), QByteArray("[I]\r\nUnidad=ºF\r\n"));
        QCOMPARE(Perfil(r2).leerTexto(QStringLiteral("I"), QStringLiteral("Unidad"), {}), QStringLiteral("ºF"));
    }

    void textoLargo()
    {
        const QByteArray largo(5000, 'a');
        Perfil p = conValor(largo);
        QCOMPARE(p.leerTexto(QStringLiteral("S"), QStringLiteral("k"), {}).size(), Perfil::kLargoMaximo);
        QCOMPARE(p.leerTexto(QStringLiteral("S"), QStringLiteral("nada"), QString(3000, u'b')).size(), Perfil::kLargoMaximo);
    }

    void archivoAusente()
    {
        Perfil p(ruta(QStringLiteral("no-existe.ini")));
        QCOMPARE(p.leerEntero(QStringLiteral("S"), QStringLiteral("k"), 12), 12);
        QVERIFY(p.contenido().isEmpty());
        Perfil vacio{QString()};
        QCOMPARE(vacio.leerTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("d")), QStringLiteral("d"));
        // A directory in place of the file reads as empty.
        Perfil carpeta(dir_.path());
        QCOMPARE(carpeta.leerEntero(QStringLiteral("S"), QStringLiteral("k"), 3), 3);
    }

    void escrituraFallida()
    {
        const QString enCarpetaAusente = ruta(QStringLiteral("no/hay/carpeta.ini"));
        Perfil p(enCarpetaAusente);
        p.escribirEntero(QStringLiteral("S"), QStringLiteral("k"), 1);
        try {
            p.guardar();
            QFAIL("a save into a missing folder succeeded");
        } catch (const Error& e) {
            QCOMPARE(e.mensaje(), QStringLiteral("Unable to write to ") + enCarpetaAusente);
        }

        const QString carpeta = ruta(QStringLiteral("soy-carpeta.ini"));
        QVERIFY(QDir().mkpath(carpeta));
        Perfil q(carpeta);
        q.escribirEntero(QStringLiteral("S"), QStringLiteral("k"), 1);
        try {
            q.guardar();
            QFAIL("a save over a directory succeeded");
        } catch (const Error& e) {
            QCOMPARE(e.mensaje(), QStringLiteral("Unable to write to ") + carpeta);
        }
        QVERIFY(QFileInfo(carpeta).isDir());
    }

    void guardadoSinRestos()
    {
        QTemporaryDir limpio;
        const QString r = limpio.filePath(QStringLiteral("a.ini"));
        Perfil p(r);
        p.escribirTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("v"));
        p.guardar();   // first save creates the file
        p.escribirTexto(QStringLiteral("S"), QStringLiteral("k"), QStringLiteral("w"));
        p.guardar();
        QCOMPARE(QDir(limpio.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("a.ini")});
        QCOMPARE(leerArchivo(r), QByteArray("[S]\r\nk=w\r\n"));
    }

    void muchasClaves()
    {
        // Thousands of keys go in and come out through the index.
        const QString r = ruta(QStringLiteral("muchas.ini"));
        Perfil p(r);
        for (int s = 0; s < 40; ++s)
            for (int k = 0; k < 150; ++k)
                p.escribirEntero(QStringLiteral("Sec%1").arg(s), QStringLiteral("Clave%1").arg(k), s * 1000 + k);
        p.guardar();
        Perfil q(r);
        for (int s = 0; s < 40; ++s)
            for (int k = 0; k < 150; ++k)
                QCOMPARE(q.leerEntero(QStringLiteral("sec%1").arg(s), QStringLiteral("CLAVE%1").arg(k), -1), s * 1000 + k);
        QCOMPARE(leerArchivo(r).count("\r\n"), 40 * 151);
    }
};

QTEST_GUILESS_MAIN(TestPerfil)
#include "test_perfil.moc"
