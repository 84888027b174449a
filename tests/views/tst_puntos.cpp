// Row to points and page arithmetic of the instrument chart.

#include "views/puntos.h"

#include <QDateTime>
#include <QtTest>

using namespace ombrix;

class TstPuntos : public QObject {
    Q_OBJECT

    TGindividual g = Configuracion::gindividualPorDefecto();
    static std::array<std::string_view, kSeries> valores(std::string_view va, std::string_view sp, std::string_view pot,
                                                          std::string_view a1 = "0", std::string_view a2 = "0",
                                                          std::string_view a3 = "0", std::string_view a4 = "0")
    {
        return {va, sp, pot, a1, a2, a3, a4};
    }
    static double segundos(const QString& f, const QString& h)
    {
        QDateTime t = QDateTime::fromString(f + QLatin1Char(' ') + h, QStringLiteral("dd/MM/yyyy hh:mm:ss"));
        t.setTimeZone(QTimeZone::utc());
        return double(t.toSecsSinceEpoch());
    }

private slots:
    void fechasComoSegundos()
    {
        double x = 0;
        QVERIFY(leerFechaHora("31/01/2026", "23:59:59", x));
        QCOMPARE(x, segundos(QStringLiteral("31/01/2026"), QStringLiteral("23:59:59")));
        QVERIFY(leerFechaHora("01/02/2026", "00:00:00", x));
        QCOMPARE(x, segundos(QStringLiteral("01/02/2026"), QStringLiteral("00:00:00")));
        QVERIFY(leerFechaHora("29/02/2024", "12:00:00", x));
        QVERIFY(!leerFechaHora("29/02/2026", "12:00:00", x));
        QVERIFY(!leerFechaHora("31/04/2026", "12:00:00", x));
        QVERIFY(!leerFechaHora("01/01/2026", "24:00:00", x));
        QVERIFY(!leerFechaHora("1/1/2026", "10:00:00", x));
        QVERIFY(leerFechaHora("30/12/1899", "00:00:00", x));
        QCOMPARE(x, kOrigenFechas);
    }

    void marcadoresNoSeDibujan()
    {
        auto p = filaAPuntos(g, "01/03/2026", "10:00:00", valores(" oF ", "150", "Err", "N.I.", "Err", "100", "0"));
        QVERIFY(!p.error);
        QCOMPARE(int(p.presentes), 0b1100010);   // set point, alarm 3, alarm 4
        p = filaAPuntos(g, "01/03/2026", "10:00:00", valores(" uF ", "N.I.", "50.5"));
        QVERIFY(!p.error);
        QCOMPARE(int(p.presentes & 0b111), 0b100);
        QCOMPARE(p.y[2], 50.5);
    }

    void oFEnSetPointEsError()
    {
        auto p = filaAPuntos(g, "01/03/2026", "10:00:00", valores("12.5", " oF ", "3"));
        QVERIFY(p.error);
        QCOMPARE(int(p.presentes), 0b1);   // the measured value before the error stays
        QCOMPARE(p.y[0], 12.5);
        p = filaAPuntos(g, "01/03/2026", "10:00:00", valores("12.5", "150", " uF "));
        QVERIFY(p.error);
        p = filaAPuntos(g, "xx/03/2026", "10:00:00", valores("12.5", "150", "1"));
        QVERIFY(p.error);
        QCOMPARE(int(p.presentes), 0);
    }

    void nivelesDeAlarma()
    {
        g.NivelAl1 = 10;
        g.NivelAl2 = 44;
        auto p = filaAPuntos(g, "01/03/2026", "10:00:00", valores("1", "2", "3", "100", "100", "0", "x"));
        QVERIFY(!p.error);
        QCOMPARE(p.y[3], 10.0);
        QCOMPARE(p.y[4], 44.0);
        QCOMPARE(p.y[5], 0.0);   // "0"
        QCOMPARE(p.y[6], 0.0);   // not a number: 0
        QCOMPARE(int(p.presentes), 0x7F);
        g.Al22 = false;
        p = filaAPuntos(g, "01/03/2026", "10:00:00", valores("1", "2", "3", "100", "100"));
        QVERIFY(!(p.presentes & (1 << 4)));
        g.Al22 = true;
    }

    void numerosConPunto()
    {
        double y;
        QVERIFY(leerNumero("-12.25", y));
        QCOMPARE(y, -12.25);
        QVERIFY(leerNumero(" 7 ", y));
        QVERIFY(!leerNumero("12,5", y));
        QVERIFY(!leerNumero("", y));
        QVERIFY(!leerNumero("1e400", y));
    }

    void inicioRedondeadoA10s()
    {
        const double x = segundos(QStringLiteral("05/03/2026"), QStringLiteral("08:15:37"));
        QCOMPARE(inicioDatos(x), segundos(QStringLiteral("05/03/2026"), QStringLiteral("08:15:30")));
        QCOMPARE(inicioDatos(x - 7), x - 7);   // 08:15:30 stays
    }

    void longitudDePagina()
    {
        QCOMPARE(longitudPagina(QStringLiteral("01:00:00"), QStringLiteral("00")), 3600.0);
        QCOMPARE(longitudPagina(QStringLiteral("00:30:00"), QStringLiteral("02")), 1800.0 + 2 * 86400);
        // Zero or unreadable: the default (10 minutes and 1 day).
        QCOMPARE(longitudPagina(QStringLiteral("00:00:00"), QStringLiteral("00")), 600.0 + 86400);
        QCOMPARE(longitudPagina(QStringLiteral("ab:00:00"), QStringLiteral("01")), 600.0 + 86400);
        QCOMPARE(longitudPagina(QStringLiteral("01:00:00"), QStringLiteral("x")), 600.0 + 86400);
        QCOMPARE(segundosTiempo(QStringLiteral("00:00:00")), 0.0);
        QCOMPARE(segundosTiempo(QStringLiteral("99:00:00")), -1.0);
    }

    void dosPaginasYMedia()
    {
        Paginas p;
        p.largo = 3600;
        p.inicio = p.xMin = 1000000;
        p.xMax = p.inicio + 2.5 * 3600;
        p.ultima();
        QCOMPARE(p.total, 3);
        QCOMPARE(p.pagina, 3);
        QVERIFY(!p.proxima);
        QVERIFY(p.anterior);
        QCOMPARE(p.hasta, p.inicio + 3 * 3600);
        p.primera();
        QCOMPARE(p.pagina, 1);
        QVERIFY(!p.anterior);
        QVERIFY(p.proxima);
        p.siguiente();
        QCOMPARE(p.pagina, 2);
        QVERIFY(p.proxima);
        p.siguiente();
        QCOMPARE(p.pagina, 3);
        QVERIFY(!p.proxima);
        QVERIFY(p.anterior);
        p.previa();
        p.previa();
        QCOMPARE(p.pagina, 1);
        QVERIFY(!p.anterior);
        QCOMPARE(p.desde, p.inicio);
        // A jump lands where stepping does; out of range stays on the pages.
        p.irA(2);
        QCOMPARE(p.desde, p.inicio + 3600);
        QVERIFY(p.anterior && p.proxima);
        p.irA(9);
        QCOMPARE(p.pagina, 3);
        QCOMPARE(p.hasta, p.inicio + 3 * 3600);
        QVERIFY(!p.proxima);
    }

    void tablaVacia()
    {
        Paginas p;
        p.largo = 600 + 86400;
        p.inicio = p.xMin = p.xMax = kOrigenFechas;
        p.ultima();
        QCOMPARE(p.total, 1);
        QCOMPARE(p.pagina, 1);
        QCOMPARE(p.desde, kOrigenFechas);
        QVERIFY(!p.anterior);
        QVERIFY(!p.proxima);
    }

    void cuentasExtremas()
    {
        QCOMPARE(paginasCompletas(0, 100, 10), 0);        // negative counts as zero
        QCOMPARE(paginasCompletas(100, 100, 0), 0);       // no length
        QVERIFY(paginasCompletas(1e300, 0, 1) > qint64(1) << 40);   // 64 bits, no overflow
        QCOMPARE(paginasCompletas(5e9, 0, 1), qint64(5000000000));
    }
};

QTEST_GUILESS_MAIN(TstPuntos)
#include "tst_puntos.moc"
