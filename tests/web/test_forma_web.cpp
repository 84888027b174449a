// The window's page of the web view: shown at the engineering level only;
// OK starts the view where the boxes say and writes [Web] with the password
// hashed; a port in use or a user without a password is told and nothing is
// written.
#include "app/forma_web.h"
#include "app/main_form.h"
#include "cliente_http.h"
#include "config/perfil.h"
#include "dialogos_guion.h"
#include "integration/integraciones.h"
#include "raiz_temporal.h"
#include "web/clave_web.h"
#include "web/vista_web.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTcpServer>
#include <QTest>

using namespace ombrix;
using namespace ombrix::test;

class TestFormaWeb : public QObject {
    Q_OBJECT
private slots:
    void soloEnIngenieria()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        TMainForm w;
        w.show();
        for (int nivel : {0, 1, 3}) {
            w.modelo.Config.Nivel = quint8(nivel);
            w.NivelNuevo();
            QCOMPARE(w.accionWeb->isVisible(), nivel == 3);
        }
        // A fresh installation serves nothing and writes no section.
        QVERIFY(!w.integraciones->buscar<VistaWeb>());
        QVERIFY(!Perfil(w.modelo.RutaIni).existeClave(seccionWeb(), QStringLiteral("Activo")));
    }

    void aceptarSirveYGuardaElResumen()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        Modelo modelo;
        modelo.RutaIni = raiz.datos() + QStringLiteral("/Ombrix.ini");
        Integraciones integ(modelo, Origen::Ventana);
        TFormaWeb forma(modelo, integ);
        forma.show();
        QVERIFY(!forma.casillaServir->isChecked());

        // A port another program holds: told, nothing written, nothing served.
        QTcpServer ocupado;
        QVERIFY(ocupado.listen(QHostAddress::LocalHost, 0));
        forma.casillaServir->setChecked(true);
        forma.editorPuerto->setValue(ocupado.serverPort());
        forma.botonAceptar->click();
        QCOMPARE(guion.mostrados.size(), 1);
        QVERIFY2(guion.mostrados.first().texto.contains(QString::number(ocupado.serverPort())),
                 qPrintable(guion.mostrados.first().texto));
        QVERIFY(forma.isVisible());
        QVERIFY(!integ.buscar<VistaWeb>());
        QVERIFY(!Perfil(modelo.RutaIni).existeClave(seccionWeb(), QStringLiteral("Activo")));

        // A user without a password.
        const quint16 libre = ocupado.serverPort();
        ocupado.close();
        forma.editorPuerto->setValue(libre);
        forma.editorUsuario->setText(QStringLiteral("ana"));
        forma.botonAceptar->click();
        QCOMPARE(guion.mostrados.size(), 2);
        QVERIFY(!integ.buscar<VistaWeb>());

        forma.editorClave->setText(QStringLiteral("s3creta"));
        forma.botonAceptar->click();
        QVERIFY(!forma.isVisible());
        const AjustesWeb guardados = leerAjustesWeb(Perfil(modelo.RutaIni));
        QVERIFY(guardados.activo);
        QCOMPARE(guardados.puerto, int(libre));
        QCOMPARE(guardados.usuario, QStringLiteral("ana"));
        QVERIFY(!guardados.clave.contains(QStringLiteral("s3creta")));
        QVERIFY(web::claveCorrecta(QStringLiteral("s3creta"), guardados.clave));
        QVERIFY(integ.buscar<VistaWeb>());
        QCOMPARE(pedir(libre, "/api/instrumentos").codigo, 401);
        QCOMPARE(pedir(libre, "/api/instrumentos", "Authorization: Basic " + QByteArray("ana:s3creta").toBase64() + "\r\n").codigo, 200);

        // Opened again and accepted without typing the password: the saved one stays.
        forma.show();
        QCOMPARE(forma.editorClave->placeholderText(), QStringLiteral("sin cambios"));
        forma.botonAceptar->click();
        QCOMPARE(leerAjustesWeb(Perfil(modelo.RutaIni)).clave, guardados.clave);

        // Switched off: the port is free again.
        forma.show();
        forma.casillaServir->setChecked(false);
        forma.botonAceptar->click();
        QVERIFY(!integ.buscar<VistaWeb>());
        QVERIFY(!leerAjustesWeb(Perfil(modelo.RutaIni)).activo);
        QTcpServer despues;
        QVERIFY(despues.listen(QHostAddress::LocalHost, libre));
    }
};

QTEST_MAIN(TestFormaWeb)
#include "test_forma_web.moc"
