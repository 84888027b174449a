// The window's MQTT page: shown at the engineering level only; OK checks the
// boxes, writes the [MQTT] section and restarts the publisher, which then
// reaches a broker the test starts.
#include "app/forma_mqtt.h"
#include "app/main_form.h"
#include "broker_prueba.h"
#include "config/perfil.h"
#include "dialogos_guion.h"
#include "integration/integraciones.h"
#include "mqtt/publicador_mqtt.h"
#include "raiz_temporal.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

using namespace ombrix;
using namespace ombrix::test;

class TestFormaMqtt : public QObject {
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
            QCOMPARE(w.accionMqtt->isVisible(), nivel == 3);
        }
        // A fresh installation publishes nothing and writes no section.
        QVERIFY(!w.integraciones->buscar<PublicadorMqtt>());
        QVERIFY(!Perfil(w.modelo.RutaIni).existeClave(seccionMqtt(), QStringLiteral("Activo")));
    }

    void aceptarEscribeYPublica()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        BrokerPrueba broker;
        QVERIFY(broker.iniciar());
        Suscriptor sub(broker.puerto, "ventana/#", {}, true);
        QVERIFY(sub.esperarConexion());
        Modelo modelo;
        modelo.RutaIni = raiz.datos() + QStringLiteral("/Ombrix.ini");
        modelo.Config.Puerto = QStringLiteral("COM3");
        Integraciones integ(modelo, Origen::Ventana);
        TFormaMqtt forma(modelo, integ);
        forma.show();
        QVERIFY(forma.editorPrefijo->placeholderText().endsWith(QStringLiteral("/COM3")));

        // A wildcard in the prefix: told, nothing written, nothing started.
        forma.casillaPublicar->setChecked(true);
        forma.editorServidor->setText(QStringLiteral("127.0.0.1"));
        forma.editorPuerto->setValue(broker.puerto);
        forma.editorPrefijo->setText(QStringLiteral("ventana/#"));
        forma.botonAceptar->click();
        QCOMPARE(guion.mostrados.size(), 1);
        QVERIFY(guion.mostrados.first().texto.contains(QStringLiteral("comodín")));
        QVERIFY(forma.isVisible());
        QVERIFY(!Perfil(modelo.RutaIni).existeClave(seccionMqtt(), QStringLiteral("Activo")));
        QVERIFY(!integ.buscar<PublicadorMqtt>());

        forma.editorPrefijo->setText(QStringLiteral("ventana"));
        forma.editorClave->setText(QStringLiteral("s3creta"));
        forma.listaProtocolo->setCurrentIndex(1);
        forma.botonAceptar->click();
        QVERIFY(!forma.isVisible());
        const AjustesMqtt guardados = leerAjustesMqtt(Perfil(modelo.RutaIni));
        QVERIFY(guardados.activo);
        QCOMPARE(guardados.puerto, int(broker.puerto));
        QCOMPARE(guardados.prefijo, QStringLiteral("ventana"));
        QCOMPARE(guardados.clave, QStringLiteral("s3creta"));
        QCOMPARE(guardados.protocolo, 311);
        QVERIFY(integ.buscar<PublicadorMqtt>());
        QTRY_COMPARE_WITH_TIMEOUT(sub.ultimo("ventana/estado"), QByteArray("online"), 5000);

        // Switched off: the publisher goes, and says offline as it leaves.
        forma.show();
        QVERIFY(forma.casillaPublicar->isChecked());
        forma.casillaPublicar->setChecked(false);
        forma.botonAceptar->click();
        QVERIFY(!integ.buscar<PublicadorMqtt>());
        QTRY_COMPARE_WITH_TIMEOUT(sub.ultimo("ventana/estado"), QByteArray("offline"), 5000);
        QVERIFY(!leerAjustesMqtt(Perfil(modelo.RutaIni)).activo);
    }
};

QTEST_MAIN(TestFormaMqtt)
#include "test_forma_mqtt.moc"
