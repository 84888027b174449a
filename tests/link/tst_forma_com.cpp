// The communication parameters dialog: what it shows from the settings and
// what OK stores, including the crossed DTR/RTS groups.
#include "config/modelo.h"
#include "link/configurar2.h"

#include <QCheckBox>
#include <QComboBox>
#include <QRadioButton>
#include <QSpinBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace ombrix;

class TestFormaCom : public QObject {
    Q_OBJECT
private slots:
    void muestraLosAjustes()
    {
        Modelo m;
        m.Config.Puerto = QStringLiteral("COM3");
        m.Config.BaudRate = 19200;
        m.Config.Sincronismo = false;
        m.Config.TiempoSinc = 15;
        m.Config.TiempoScan = 4;
        m.Config.DTR = 1;
        m.Config.RTS = 0;
        TFormaCom d(m);
        QCOMPARE(d.windowTitle(), QStringLiteral("Parámetros de Comunicaciones"));
        QVERIFY(d.COM[1]->isChecked());   // COM2 until the settings are shown
        d.FormActivate();
        QVERIFY(d.COM[2]->isChecked());
        QCOMPARE(d.BaudRate->currentText(), QStringLiteral("19200 baudios"));
        QVERIFY(!d.Sincronismo->isChecked());
        QVERIFY(!d.TiempoSinc1->isEnabled());
        QCOMPARE(d.TiempoSinc1->value(), 15);
        QCOMPARE(d.Barrido->value(), 4);
        // The group captioned "RTS" holds Config.DTR and the one captioned "DTR" Config.RTS.
        QCOMPARE(d.RadioGroup2->title(), QStringLiteral("RTS"));
        QCOMPARE(d.RadioGroup2->ItemIndex(), 1);
        QCOMPARE(d.RadioGroup1->title(), QStringLiteral("DTR"));
        QCOMPARE(d.RadioGroup1->ItemIndex(), 0);
    }

    void velocidadNoOfrecidaConservaLaSeleccion()
    {
        Modelo m;
        m.Config.BaudRate = 9600;
        TFormaCom d(m);
        d.FormActivate();
        QCOMPARE(d.BaudRate->currentIndex(), 1);
        m.Config.BaudRate = 38400;
        d.FormActivate();
        QCOMPARE(d.BaudRate->currentIndex(), 1);
        d.BitBtn1Click();
        QCOMPARE(m.Config.BaudRate, 9600);
    }

    void aceptarGuardaYReiniciaElContadorSoloSiCambiaElPeriodo()
    {
        Modelo m;
        m.Config.Puerto = QStringLiteral("COM1");
        m.Config.BaudRate = 9600;
        m.Config.Sincronismo = true;
        m.Config.TiempoSinc = 10;
        m.Config.TiempoScan = 1;
        m.ContadorSinc = 7;
        TFormaCom d(m);
        d.FormActivate();
        d.Barrido->setValue(5);
        d.BitBtn1Click();
        QCOMPARE(m.Config.TiempoScan, 5);
        QCOMPARE(m.ContadorSinc, 7);

        d.TiempoSinc1->setValue(20);
        d.COM[5]->setChecked(true);
        d.BaudRate->setCurrentIndex(0);
        d.RadioGroup2->setItemIndex(1);   // "Enviar" in the group captioned "RTS"
        d.BitBtn1Click();
        QCOMPARE(m.Config.TiempoSinc, 20);
        QCOMPARE(m.ContadorSinc, 0);
        QCOMPARE(m.Config.Puerto, QStringLiteral("COM6"));
        QCOMPARE(m.Config.BaudRate, 4800);
        QCOMPARE(m.Config.DTR, 1);
        QCOMPARE(m.Config.RTS, 0);
    }

    void sincronismoHabilitaElPeriodoAlInstante()
    {
        Modelo m;
        m.Config.Sincronismo = true;
        TFormaCom d(m);
        d.FormActivate();
        QVERIFY(d.TiempoSinc1->isEnabled());
        d.Sincronismo->setChecked(false);
        QVERIFY(!d.TiempoSinc1->isEnabled());
        d.BitBtn1Click();
        QVERIFY(!m.Config.Sincronismo);
    }

    void barridoLargoSeAcepta()
    {
        Modelo m;
        m.Config.TiempoScan = 1;
        TFormaCom d(m);
        d.FormActivate();
        d.Barrido->setValue(65536);
        d.BitBtn1Click();
        QCOMPARE(m.Config.TiempoScan, 65536);
        d.Barrido->setValue(0);   // below its limits: kept at 1
        d.BitBtn1Click();
        QCOMPARE(m.Config.TiempoScan, 1);
    }

    void cancelarNoGuardaYMostrarRefresca()
    {
        Modelo m;
        m.Config.Puerto = QStringLiteral("COM4");
        m.Config.BaudRate = 4800;
        m.Config.TiempoSinc = 10;
        m.Config.TiempoScan = 2;
        m.ContadorSinc = 3;
        QWidget principal;
        principal.setGeometry(0, 0, 200, 150);
        TFormaCom d(m, &principal);
        // Centred on the screen, not on its owner.
        const QScreen* pantalla = QGuiApplication::primaryScreen();
        QVERIFY(pantalla);
        QVERIFY(qAbs(d.geometry().center().x() - pantalla->availableGeometry().center().x()) <= 1);
        QVERIFY(qAbs(d.geometry().center().y() - pantalla->availableGeometry().center().y()) <= 1);
        QVERIFY(d.width() >= 328 && d.height() >= 211);
        QCOMPARE(d.minimumSize(), d.maximumSize());
        QCOMPARE(d.Paginas->currentWidget(), d.PuertoPC);
        QCOMPARE(d.RadioGroup2->toolTip(), QStringLiteral("Señal RTS (Request-To-Send)"));
        QCOMPARE(d.RadioGroup1->toolTip(), QStringLiteral("Señal DTR (Data-Terminal-ready)"));
        QCOMPARE(d.BitBtn1->text(), QStringLiteral("&Aceptar"));
        QCOMPARE(d.BitBtn2->text(), QStringLiteral("&Cancelar"));

        // Showing the dialog shows the settings; Cancel stores nothing.
        QTimer::singleShot(0, &d, [&] {
            QVERIFY(d.COM[3]->isChecked());
            QCOMPARE(d.BaudRate->currentIndex(), 0);
            d.COM[0]->setChecked(true);
            d.TiempoSinc1->setValue(99);
            d.Barrido->setValue(9);
            d.BitBtn2->click();
        });
        QCOMPARE(d.exec(), int(QDialog::Rejected));
        QCOMPARE(m.Config.Puerto, QStringLiteral("COM4"));
        QCOMPARE(m.Config.TiempoSinc, 10);
        QCOMPARE(m.Config.TiempoScan, 2);
        QCOMPARE(m.ContadorSinc, 3);

        // Shown again, it forgets the cancelled edits; OK stores.
        m.Config.TiempoScan = 7;
        QTimer::singleShot(0, &d, [&] {
            QVERIFY(d.COM[3]->isChecked());
            QCOMPARE(d.TiempoSinc1->value(), 10);
            QCOMPARE(d.Barrido->value(), 7);
            d.Barrido->setValue(8);
            d.BitBtn1->click();
        });
        QCOMPARE(d.exec(), int(QDialog::Accepted));
        QCOMPARE(m.Config.TiempoScan, 8);
        QCOMPARE(m.ContadorSinc, 3);
    }
};

QTEST_MAIN(TestFormaCom)
#include "tst_forma_com.moc"
