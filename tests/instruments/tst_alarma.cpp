// The alarm lamp: its properties, the flashing phases (stepped through the
// timer handlers, and once on the real timers) and its drawing.

#include "instruments/alarma.h"
#include "instruments/colores.h"

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QtTest>

using namespace ombrix;

namespace {

QColor pixel(TAlarma& a, int x, int y)
{
    return a.grab().toImage().pixelColor(x, y);
}

bool parecido(const QColor& a, const QColor& b, int tolerancia = 40)
{
    return qAbs(a.red() - b.red()) <= tolerancia && qAbs(a.green() - b.green()) <= tolerancia
        && qAbs(a.blue() - b.blue()) <= tolerancia;
}

} // namespace

class TstAlarma : public QObject {
    Q_OBJECT

private slots:
    void valoresIniciales()
    {
        TAlarma a;
        QCOMPARE(a.size(), QSize(65, 65));
        QCOMPARE(a.AlarmaType(), TAlarma::taLed);
        QCOMPARE(a.Flash(), false);
        QCOMPARE(a.FlashOn(), 500);
        QCOMPARE(a.FlashOff(), 500);
        QCOMPARE(a.ForeColor(), 0x00FFFF);
        QCOMPARE(a.BackColor(), 0xFFFFFF);
        QCOMPARE(a.FlashColor(), 0x0000FF);
        QCOMPARE(a.FlashOffColor(), 0x808080);
        QCOMPARE(a.colorBrillo(), 0xFFFFFF);
        QVERIFY(!a.faseEncendidaActiva());
        QVERIFY(!a.faseApagadaActiva());
    }

    void fasesDelDestello()
    {
        TAlarma a;
        a.setForeColor(color::kGranate);
        a.setFlashColor(color::kRojo);
        a.setFlashOffColor(color::kGris);
        a.setFlash(true);
        // Resting phase first: the colour stays until the on-phase timer fires.
        QCOMPARE(a.ForeColor(), color::kGranate);
        QVERIFY(a.faseEncendidaActiva());
        QVERIFY(!a.faseApagadaActiva());

        a.TimerOnTimer();
        QCOMPARE(a.ForeColor(), color::kRojo);
        QCOMPARE(a.colorBrillo(), color::kBlanco);
        QCOMPARE(a.colorReposo(), color::kGranate);
        QVERIFY(!a.faseEncendidaActiva());
        QVERIFY(a.faseApagadaActiva());

        a.TimerOffTimer();
        QCOMPARE(a.ForeColor(), color::kGris);
        QCOMPARE(a.colorBrillo(), color::kGris);
        QVERIFY(a.faseEncendidaActiva());
        QVERIFY(!a.faseApagadaActiva());

        a.TimerOnTimer();
        QCOMPARE(a.ForeColor(), color::kRojo);

        a.setFlash(false);
        QCOMPARE(a.ForeColor(), color::kGranate);
        QVERIFY(!a.faseEncendidaActiva());
        QVERIFY(!a.faseApagadaActiva());
        // The glint stays as the last phase left it.
        QCOMPARE(a.colorBrillo(), color::kBlanco);
    }

    void colorCambiadoDuranteElDestelloEsElQueVuelve()
    {
        TAlarma a;
        a.setForeColor(color::kGranate);
        a.setFlash(true);
        a.TimerOnTimer();
        a.setForeColor(color::kVerde);
        QCOMPARE(a.ForeColor(), color::kVerde);
        a.TimerOffTimer();
        QCOMPARE(a.ForeColor(), a.FlashOffColor());
        a.setFlash(false);
        QCOMPARE(a.ForeColor(), color::kVerde);
    }

    void apagarDosVecesNoRestauraDeNuevo()
    {
        TAlarma a;
        a.setForeColor(color::kGranate);
        a.setFlash(true);
        a.setFlash(false);
        QCOMPARE(a.ForeColor(), color::kGranate);
        a.setFlash(true);
        a.TimerOnTimer();
        a.setFlash(false);
        a.setForeColor(color::kLima);
        a.setFlash(false);
        QCOMPARE(a.ForeColor(), color::kLima);
        QCOMPARE(a.colorReposo(), color::kLima);
    }

    void mismoColorNoCambiaElReposo()
    {
        TAlarma a;
        a.setForeColor(color::kGranate);
        a.setFlash(true);
        a.TimerOnTimer();   // shows FlashColor, resting colour still maroon
        a.setForeColor(a.FlashColor());
        QCOMPARE(a.colorReposo(), color::kGranate);
    }

    void intervalos()
    {
        TAlarma a;
        a.setFlashOn(40);
        a.setFlashOff(60);
        QCOMPARE(a.FlashOn(), 40);
        QCOMPARE(a.FlashOff(), 60);
    }

    void destelloConTemporizadoresReales()
    {
        TAlarma a;
        // Each phase outlasts the polling step of QTRY, so none is missed.
        a.setFlashOn(150);
        a.setFlashOff(150);
        a.setForeColor(color::kGranate);
        a.setFlashColor(color::kRojo);
        a.setFlashOffColor(color::kGris);
        a.show();
        a.setFlash(true);
        QTRY_COMPARE_WITH_TIMEOUT(a.ForeColor(), color::kRojo, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(a.ForeColor(), color::kGris, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(a.ForeColor(), color::kRojo, 5000);
        a.setFlash(false);
        QCOMPARE(a.ForeColor(), color::kGranate);
        QTest::qWait(100);
        QCOMPARE(a.ForeColor(), color::kGranate);
    }

    void faseSinDuracionNoCorre()
    {
        // A phase of no length never ends; the lamp does not spin on it.
        TAlarma a;
        a.setForeColor(color::kGranate);
        a.setFlashOn(0);
        a.setFlash(true);
        QVERIFY(!a.faseEncendidaActiva());
        QTest::qWait(50);
        QCOMPARE(a.ForeColor(), color::kGranate);

        TAlarma b;
        b.setForeColor(color::kGranate);
        b.setFlashOff(0);
        b.setFlash(true);
        b.TimerOnTimer();
        QVERIFY(!b.faseApagadaActiva());
        QTest::qWait(50);
        QCOMPARE(b.ForeColor(), b.FlashColor());

        // Shortening a running phase to nothing stops it.
        TAlarma c;
        c.setFlash(true);
        QVERIFY(c.faseEncendidaActiva());
        c.setFlashOn(0);
        QVERIFY(!c.faseEncendidaActiva());
    }

    void lamparasIndependientes()
    {
        TAlarma a, b;
        a.setForeColor(color::kGranate);
        b.setForeColor(color::kVerde);
        a.setFlash(true);
        a.TimerOnTimer();
        QCOMPARE(b.ForeColor(), color::kVerde);
        QVERIFY(!b.faseEncendidaActiva() && !b.faseApagadaActiva());
    }

    void dibujo()
    {
        TAlarma a;
        a.resize(15, 15);
        a.setForeColor(color::kRojo);
        // The lamp's colour fills the middle, the ring colour is left at the corner free.
        QVERIFY(parecido(pixel(a, 5, 9), QColor(255, 0, 0)));
        QCOMPARE(pixel(a, 0, 0).alpha(), 0);
        a.setForeColor(color::kLima);
        QVERIFY(parecido(pixel(a, 5, 9), QColor(0, 255, 0)));

        TAlarma grande;
        grande.setBackColor(0xFF0000);   // blue ring
        const QImage img = grande.grab().toImage();
        QVERIFY(parecido(img.pixelColor(32, 3), QColor(0, 0, 255)));   // ring
        QVERIFY(parecido(img.pixelColor(20, 40), QColor(255, 255, 0)));  // yellow lamp
    }

    void numeroNegroSobreElColorDeDestello()
    {
        TAlarma a;
        a.setTag(7);
        a.setForeColor(a.FlashColor());
        const QImage img = a.grab().toImage();
        int oscuros = 0;
        for (int y = 15; y < 40; ++y)
            for (int x = 18; x < 45; ++x)
                if (qGray(img.pixel(x, y)) < 40)
                    ++oscuros;
        QVERIFY(oscuros > 5);

        a.setForeColor(color::kAmarillo);
        const QImage img2 = a.grab().toImage();
        int blancos = 0;
        for (int y = 15; y < 40; ++y)
            for (int x = 18; x < 45; ++x) {
                const QColor c = img2.pixelColor(x, y);
                if (c.red() > 230 && c.green() > 230 && c.blue() > 230)
                    ++blancos;
            }
        QVERIFY(blancos > 5);
    }

    void onChangeAlPrimerDibujoYAlCambiarEnabled()
    {
        QWidget padre;
        auto* a = new TAlarma(&padre);
        QSignalSpy spy(a, &TAlarma::OnChange);
        a->grab();
        QCOMPARE(spy.count(), 1);
        a->grab();
        QCOMPARE(spy.count(), 1);
        a->setEnabled(false);
        a->grab();
        QCOMPARE(spy.count(), 2);
    }
};

QTEST_MAIN(TstAlarma)
#include "tst_alarma.moc"
