// The communication parameters dialog: what it shows from the settings and
// what OK stores, including that each line group edits the line it names.
#include "config/modelo.h"
#include "dialogos_guion.h"
#include "link/forma_com.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QSpinBox>
#include <QGuiApplication>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTest>
#include <QTimer>

using namespace ombrix;

namespace {

// The radio group with this caption, found as the user finds it: by its title.
GrupoRadio* grupoTitulado(TFormaCom& d, const QString& titulo)
{
    GrupoRadio* hallado = nullptr;
    for (GrupoRadio* g : d.findChildren<GrupoRadio*>())
        if (g->title() == titulo) {
            if (hallado)
                return nullptr;   // two groups with one caption: ambiguous
            hallado = g;
        }
    return hallado;
}

} // namespace

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
        m.Config.ReintentoAlarma = 90;
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
        QCOMPARE(d.casillaReintento->value(), 90);
        QCOMPARE(d.casillaReintento->text(), QStringLiteral("90 s"));
        // Each group shows the line it is captioned with.
        QCOMPARE(d.grupoDtr->title(), QStringLiteral("DTR"));
        QCOMPARE(d.grupoDtr->ItemIndex(), 1);
        QCOMPARE(d.grupoRts->title(), QStringLiteral("RTS"));
        QCOMPARE(d.grupoRts->ItemIndex(), 0);

        // And the other way round, so that a crossed pair cannot pass.
        m.Config.DTR = 0;
        m.Config.RTS = 1;
        d.FormActivate();
        QCOMPARE(grupoTitulado(d, QStringLiteral("DTR"))->ItemIndex(), 0);
        QCOMPARE(grupoTitulado(d, QStringLiteral("RTS"))->ItemIndex(), 1);
    }

    void cadaGrupoCambiaSuPropiaLinea()
    {
        Modelo m;
        m.Config.DTR = 1;
        m.Config.RTS = 0;
        TFormaCom d(m);
        d.FormActivate();
        GrupoRadio* dtr = grupoTitulado(d, QStringLiteral("DTR"));
        GrupoRadio* rts = grupoTitulado(d, QStringLiteral("RTS"));
        QVERIFY(dtr && rts);

        // "Enviar" under RTS raises RTS; DTR stays raised.
        rts->setItemIndex(1);
        d.botonAceptarClick();
        QCOMPARE(m.Config.RTS, 1);
        QCOMPARE(m.Config.DTR, 1);

        // "Borrar" under DTR drops DTR; RTS stays raised.
        dtr->setItemIndex(0);
        d.botonAceptarClick();
        QCOMPARE(m.Config.DTR, 0);
        QCOMPARE(m.Config.RTS, 1);

        // "Borrar" under RTS drops RTS only.
        m.Config.DTR = 1;
        d.FormActivate();
        rts->setItemIndex(0);
        d.botonAceptarClick();
        QCOMPARE(m.Config.RTS, 0);
        QCOMPARE(m.Config.DTR, 1);

        // A group with nothing selected leaves its line alone.
        m.Config.DTR = 1;
        m.Config.RTS = 1;
        d.FormActivate();
        dtr->setItemIndex(-1);
        rts->setItemIndex(0);
        d.botonAceptarClick();
        QCOMPARE(m.Config.DTR, 1);
        QCOMPARE(m.Config.RTS, 0);
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
        d.botonAceptarClick();
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
        d.botonAceptarClick();
        QCOMPARE(m.Config.TiempoScan, 5);
        QCOMPARE(m.ContadorSinc, 7);

        d.TiempoSinc1->setValue(20);
        d.COM[5]->setChecked(true);
        d.BaudRate->setCurrentIndex(0);
        d.grupoRts->setItemIndex(1);   // "Enviar" in the group captioned "RTS"
        d.botonAceptarClick();
        QCOMPARE(m.Config.TiempoSinc, 20);
        QCOMPARE(m.ContadorSinc, 0);
        QCOMPARE(m.Config.Puerto, QStringLiteral("COM6"));
        QCOMPARE(m.Config.BaudRate, 4800);
        QCOMPARE(m.Config.RTS, 1);
        QCOMPARE(m.Config.DTR, 0);
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
        d.botonAceptarClick();
        QVERIFY(!m.Config.Sincronismo);
    }

    void barridoLargoSeAcepta()
    {
        Modelo m;
        m.Config.TiempoScan = 1;
        TFormaCom d(m);
        d.FormActivate();
        d.Barrido->setValue(65536);
        d.botonAceptarClick();
        QCOMPARE(m.Config.TiempoScan, 65536);
        d.Barrido->setValue(0);   // below its limits: kept at 1
        d.botonAceptarClick();
        QCOMPARE(m.Config.TiempoScan, 1);
    }

    void reintentoDeAlarma()
    {
        Modelo m;
        m.Config.ReintentoAlarma = 0;
        TFormaCom d(m);
        QVERIFY(d.Datos->isAncestorOf(d.casillaReintento));
        QCOMPARE(d.casillaReintento->minimum(), 0);
        QCOMPARE(d.casillaReintento->maximum(), 3600);
        QVERIFY(!d.casillaReintento->toolTip().isEmpty());
        d.FormActivate();
        QCOMPARE(d.casillaReintento->text(), QStringLiteral("Nunca"));

        m.Config.ReintentoAlarma = 300;
        d.FormActivate();
        QCOMPARE(d.casillaReintento->value(), 300);
        QCOMPARE(d.casillaReintento->text(), QStringLiteral("300 s"));
        d.casillaReintento->setValue(0);   // back to never
        d.botonAceptarClick();
        QCOMPARE(m.Config.ReintentoAlarma, 0);
        d.casillaReintento->setValue(5000);   // beyond an hour: kept at the limit
        d.botonAceptarClick();
        QCOMPARE(m.Config.ReintentoAlarma, 3600);
    }

    void reintentoCabeEnSuPagina()
    {
        Modelo m;
        TFormaCom d(m);
        d.Paginas->setCurrentWidget(d.Datos);
        d.show();
        QVERIFY(QTest::qWaitForWindowExposed(&d));
        // The dialog has a fixed size: the new row must not come out clipped.
        QVERIFY(d.etiquetaReintento->width() >= d.etiquetaReintento->sizeHint().width());
        QVERIFY(d.casillaReintento->width() >= d.casillaReintento->minimumSizeHint().width());
        const QRect caja(d.grupoReintento->mapTo(d.Datos, QPoint(0, 0)), d.grupoReintento->size());
        QVERIFY(d.Datos->rect().contains(caja));
    }

    void cancelarNoGuardaYMostrarRefresca()
    {
        Modelo m;
        m.Config.Puerto = QStringLiteral("COM4");
        m.Config.BaudRate = 4800;
        m.Config.TiempoSinc = 10;
        m.Config.TiempoScan = 2;
        m.Config.ReintentoAlarma = 60;
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
        QCOMPARE(d.grupoRts->toolTip(), QStringLiteral("Señal RTS (Request-To-Send)"));
        QCOMPARE(d.grupoDtr->toolTip(), QStringLiteral("Señal DTR (Data-Terminal-ready)"));
        QCOMPARE(d.botonAceptar->text(), QStringLiteral("&Aceptar"));
        QCOMPARE(d.botonCancelar->text(), QStringLiteral("&Cancelar"));

        // Showing the dialog shows the settings; Cancel stores nothing.
        QTimer::singleShot(0, &d, [&] {
            QVERIFY(d.COM[3]->isChecked());
            QCOMPARE(d.BaudRate->currentIndex(), 0);
            d.COM[0]->setChecked(true);
            d.TiempoSinc1->setValue(99);
            d.Barrido->setValue(9);
            QCOMPARE(d.casillaReintento->value(), 60);
            d.casillaReintento->setValue(120);
            d.botonCancelar->click();
        });
        QCOMPARE(d.exec(), int(QDialog::Rejected));
        QCOMPARE(m.Config.Puerto, QStringLiteral("COM4"));
        QCOMPARE(m.Config.TiempoSinc, 10);
        QCOMPARE(m.Config.TiempoScan, 2);
        QCOMPARE(m.Config.ReintentoAlarma, 60);
        QCOMPARE(m.ContadorSinc, 3);

        // Shown again, it forgets the cancelled edits; OK stores.
        m.Config.TiempoScan = 7;
        m.Config.ReintentoAlarma = 45;
        QTimer::singleShot(0, &d, [&] {
            QVERIFY(d.COM[3]->isChecked());
            QCOMPARE(d.TiempoSinc1->value(), 10);
            QCOMPARE(d.Barrido->value(), 7);
            QCOMPARE(d.casillaReintento->value(), 45);
            d.Barrido->setValue(8);
            d.casillaReintento->setValue(600);
            d.botonAceptar->click();
        });
        QCOMPARE(d.exec(), int(QDialog::Accepted));
        QCOMPARE(m.Config.TiempoScan, 8);
        QCOMPARE(m.Config.ReintentoAlarma, 600);
        QCOMPARE(m.ContadorSinc, 3);
    }

    // A device server instead of a COM port: shown from the settings, stored
    // as its address, refused with a message when its name cannot be one.
    void servidorSerie()
    {
        test::DialogosGuion dialogos;
        Modelo m;
        m.Config.Puerto = QStringLiteral("tcp://[::1]:4002");
        TFormaCom d(m);
        d.FormActivate();
        QVERIFY(d.botonServidor->isChecked());
        for (QRadioButton* b : d.COM)
            QVERIFY(!b->isChecked());
        QCOMPARE(d.editorServidor->text(), QStringLiteral("::1"));
        QCOMPARE(d.casillaPuertoTcp->value(), 4002);
        QVERIFY(d.editorServidor->isEnabled());

        d.editorServidor->setText(QStringLiteral(" planta-3.local "));
        d.casillaPuertoTcp->setValue(502);
        QVERIFY(d.botonAceptarClick());
        QCOMPARE(m.Config.Puerto, QStringLiteral("tcp://planta-3.local:502"));
        d.editorServidor->setText(QStringLiteral("[fe80::2]"));
        QVERIFY(d.botonAceptarClick());
        QCOMPARE(m.Config.Puerto, QStringLiteral("tcp://[fe80::2]:502"));

        for (const QString& malo : {QStringLiteral("mi servidor"), QString(), QStringLiteral("a/b")}) {
            QTimer::singleShot(0, &d, [&] {
                d.editorServidor->setText(malo);
                d.botonAceptar->click();
                // Still open: the user corrects the name.
                QVERIFY(d.isVisible());
                d.botonCancelar->click();
            });
            QCOMPARE(d.exec(), int(QDialog::Rejected));
            QCOMPARE(m.Config.Puerto, QStringLiteral("tcp://[fe80::2]:502"));
            QVERIFY(dialogos.mostrados.last().texto.startsWith(QStringLiteral("El servidor serie no es válido: ")));
        }
        QCOMPARE(dialogos.mostrados.size(), 3);

        // Back to a COM port: the server's fields are left alone.
        d.COM[2]->setChecked(true);
        QVERIFY(!d.editorServidor->isEnabled());
        d.editorServidor->setText(QStringLiteral("mi servidor"));
        QVERIFY(d.botonAceptarClick());
        QCOMPARE(m.Config.Puerto, QStringLiteral("COM3"));
        QCOMPARE(dialogos.mostrados.size(), 3);
    }
};

QTEST_MAIN(TestFormaCom)
#include "tst_forma_com.moc"
