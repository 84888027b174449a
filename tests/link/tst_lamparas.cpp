// The lamps component: what it paints and when it repaints, for a line of its
// own and for one owned elsewhere.

#include "dialogos_guion.h"
#include "link/ombrix_comm.h"

#include <QApplication>
#include <QImage>
#include <QSignalSpy>
#include <QTest>

#include <thread>

using namespace ombrix;

namespace {

class ContadorPintadas : public QObject {
public:
    int n = 0;
    bool eventFilter(QObject*, QEvent* e) override
    {
        if (e->type() == QEvent::Paint)
            ++n;
        return false;
    }
};

QImage pintar(TOmbrixComm& w)
{
    QImage img(96, 36, QImage::Format_RGB32);
    img.fill(Qt::white);
    w.render(&img);
    return img;
}

QColor en(const QImage& img, int x, int y) { return QColor(img.pixel(x, y)); }

// Points inside each lamp, below its label.
constexpr int kTxX = 18, kRxX = 48, kAlX = 78, kLampY = 26;

bool hayAmarillo(const QImage& img, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y) {
            const QColor c = en(img, x, y);
            n += c.red() > 200 && c.green() > 200 && c.blue() < 90;
        }
    return n >= 4;
}

// Dark pixels inside a lamp (its label in black).
bool hayNegro(const QImage& img, int x0, int y0, int x1, int y1)
{
    int n = 0;
    for (int x = x0; x < x1; ++x)
        for (int y = y0; y < y1; ++y) {
            const QColor c = en(img, x, y);
            n += c.red() < 60 && c.green() < 60 && c.blue() < 60;
        }
    return n >= 4;
}

} // namespace

class TstLamparas : public QObject {
    Q_OBJECT
private slots:
    void tamanoYValores()
    {
        TOmbrixComm w;
        QCOMPARE(w.size(), QSize(96, 36));
        QCOMPARE(w.minimumSize(), QSize(96, 36));
        QCOMPARE(w.maximumSize(), QSize(96, 36));
        QCOMPARE(w.enlace().Baud(), br9600);
        QCOMPARE(w.enlace().TimeOuts(), 500);
        QCOMPARE(w.enlace().Retries(), 5);
    }

    void dibujoApagado()
    {
        TOmbrixComm w;
        const QImage img = pintar(w);
        QCOMPARE(en(img, kTxX, kLampY), QColor(0, 128, 0));
        QCOMPARE(en(img, kRxX, kLampY), QColor(0, 128, 0));
        QCOMPARE(en(img, kAlX, kLampY), QColor(0, 0, 255));
        QCOMPARE(en(img, 48, 33), QColor(38, 88, 172));  // face below the rings
        QCOMPARE(en(img, 33, 18), QColor(38, 88, 172));  // face between two rings
        QCOMPARE(en(img, 18, 7), QColor(0, 0, 0));       // black inside a ring, outside its lamp
        // The drawing surface starts with a black font and turns it yellow
        // just before "Al": the first paint writes Tx and Rx in black.
        QVERIFY(!hayAmarillo(img, 11, 11, 26, 24));
        QVERIFY(!hayAmarillo(img, 41, 11, 56, 24));
        QVERIFY(hayAmarillo(img, 71, 11, 86, 24));
        QVERIFY(hayNegro(img, 11, 11, 26, 24));
        QVERIFY(hayNegro(img, 41, 11, 56, 24));

        // From the second paint on every label is yellow.
        const QImage otra = pintar(w);
        QVERIFY(hayAmarillo(otra, 11, 11, 26, 24));
        QVERIFY(hayAmarillo(otra, 41, 11, 56, 24));
        QVERIFY(hayAmarillo(otra, 71, 11, 86, 24));
        QVERIFY(!hayNegro(otra, 11, 11, 26, 24));
        QVERIFY(!hayNegro(otra, 41, 11, 56, 24));
    }

    void dibujoEncendido()
    {
        test::DialogosGuion d;
        TOmbrixComm w;
        w.enlace().setRetries(0);
        // A failed read on a port that is not open: Rx lights during the
        // attempt, Al stays lit afterwards.
        QImage durante;
        connect(&w.enlace(), &EnlaceModbus::lamparasCambiaron, this, [&] {
            if (w.enlace().RxLamp())
                durante = pintar(w);
        });
        TModbusResult r;
        w.enlace().ReadHoldingRegister(-1, 1, 4096, 0, true, r);
        QVERIFY(!r.Ok);
        QVERIFY(!durante.isNull());
        QCOMPARE(en(durante, kRxX, kLampY), QColor(0, 255, 0));
        QCOMPARE(en(durante, kTxX, kLampY), QColor(0, 128, 0));
        QCOMPARE(en(durante, kAlX, kLampY), QColor(0, 0, 255));

        const QImage despues = pintar(w);
        QCOMPARE(en(despues, kAlX, kLampY), QColor(255, 0, 0));
        QCOMPARE(en(despues, kRxX, kLampY), QColor(0, 128, 0));

        durante = QImage();
        disconnect(&w.enlace(), nullptr, this, nullptr);
        connect(&w.enlace(), &EnlaceModbus::lamparasCambiaron, this, [&] {
            if (w.enlace().TxLamp())
                durante = pintar(w);
        });
        w.enlace().WriteSingleRegister(-1, 1, 4, 1, true, r);
        QVERIFY(!durante.isNull());
        QCOMPARE(en(durante, kTxX, kLampY), QColor(0, 255, 0));
        QCOMPARE(en(durante, kAlX, kLampY), QColor(0, 0, 255));  // switched off at the start
    }

    void repintado()
    {
        test::DialogosGuion d;
        TOmbrixComm w;
        w.enlace().setRetries(0);
        ContadorPintadas c;
        w.installEventFilter(&c);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCoreApplication::processEvents();
        c.n = 0;

        // Same values: nothing to repaint.
        w.enlace().setBaud(br9600);
        w.enlace().setTimeOuts(500);
        w.enlace().setRetries(0);
        w.enlace().setPar(spNone);
        QCoreApplication::processEvents();
        QCOMPARE(c.n, 0);

        w.enlace().setBaud(br19200);
        QTRY_VERIFY(c.n >= 1);

        // The line runs on its own thread: lamp steps reach the widget
        // queued, and it paints the state they leave.
        c.n = 0;
        TModbusResult r;
        std::thread linea([&] { w.enlace().ReadHoldingRegister(-1, 1, 4096, 0, true, r); });
        linea.join();
        QVERIFY(!r.Ok);
        QTRY_VERIFY(c.n >= 1);
        QCOMPARE(en(pintar(w), kAlX, kLampY), QColor(255, 0, 0));
    }

    void lineaAjena()
    {
        test::DialogosGuion d;
        EnlaceModbus enlace;
        enlace.setRetries(1);
        TOmbrixComm w(&enlace);
        QCOMPARE(&w.enlace(), &enlace);
        QSignalSpy fallas(&enlace, &EnlaceModbus::OnFallaComm);
        QSignalSpy reintentos(&enlace, &EnlaceModbus::OnRetries);
        TModbusResult r;
        enlace.ReadCoils(-1, 1, 1, 0, true, r);
        QCOMPARE(fallas.count(), 1);
        QCOMPARE(reintentos.count(), 1);  // no port: no retry can help, straight to 0
        QVERIFY(r.PuertoPerdido);
        QCOMPARE(enlace.RetryCount(), 0);
        QVERIFY(enlace.AlLamp());
        // The widget shows the lamps of the line it was given.
        QCOMPARE(en(pintar(w), kAlX, kLampY), QColor(255, 0, 0));
    }
};

QTEST_MAIN(TstLamparas)
#include "tst_lamparas.moc"
