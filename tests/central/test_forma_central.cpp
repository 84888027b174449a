// The window's page of the central database: shown at the engineering level
// only; OK checks the boxes, writes the [Central] section and restarts the
// forwarder, which then sends the file the window records into.
#include "app/forma_central.h"
#include "app/main_form.h"
#include "central/reenviador.h"
#include "config/perfil.h"
#include "dialogos_guion.h"
#include "events/registro_eventos.h"
#include "integration/integraciones.h"
#include "raiz_temporal.h"
#include "servidor_postgres.h"

#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>

using namespace ombrix;
using namespace ombrix::test;

class TestFormaCentral : public QObject {
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
            QCOMPARE(w.accionCentral->isVisible(), nivel == 3);
        }
        // A fresh installation forwards nothing and writes no section.
        QVERIFY(!w.integraciones->buscar<Reenviador>());
        QVERIFY(!Perfil(w.modelo.RutaIni).existeClave(seccionCentral(), QStringLiteral("Activo")));
    }

    void aceptarEscribeYEnvia()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        ServidorPostgres pg;
        QString error;
        QVERIFY2(pg.iniciar(&error), qPrintable(error));
        QVERIFY(pg.crearBase(QStringLiteral("planta"), &error));
        Modelo modelo;
        modelo.RutaIni = raiz.datos() + QStringLiteral("/Ombrix.ini");
        modelo.Config.Puerto = QStringLiteral("/dev/ttyUSB0");
        Integraciones integ(modelo, Origen::Ventana);
        const QString ruta = raiz.datos() + QStringLiteral("/Prueba.mdb");
        QVERIFY(QFile::copy(RaizTemporal::modeloConstruido(), ruta));
        QFile::setPermissions(ruta, QFile::ReadOwner | QFile::WriteOwner);
        BaseDatos base;
        QVERIFY(base.abrir(ruta, &error));
        integ.usarBase(base);
        integ.eventos().baseAbierta();   // one event in the file
        TFormaCentral forma(modelo, integ);
        forma.show();
        QVERIFY(forma.editorLinea->placeholderText().endsWith(QStringLiteral("-ttyUSB0")));

        // A password in the address: told, nothing written, nothing started.
        forma.casillaEnviar->setChecked(true);
        forma.editorUrl->setText(QStringLiteral("postgresql://ombrix:%1@127.0.0.1:%2/planta")
                                     .arg(QLatin1String(ServidorPostgres::kClave))
                                     .arg(pg.puerto));
        forma.botonAceptar->click();
        QCOMPARE(guion.mostrados.size(), 1);
        QVERIFY(guion.mostrados.first().texto.contains(QStringLiteral("clave")));
        QVERIFY(forma.isVisible());
        QVERIFY(!Perfil(modelo.RutaIni).existeClave(seccionCentral(), QStringLiteral("Activo")));
        QVERIFY(!integ.buscar<Reenviador>());

        forma.editorUrl->setText(pg.url(QStringLiteral("planta")));
        forma.editorLinea->setText(QStringLiteral("Horno-1"));
        forma.editorClave->setText(QLatin1String(ServidorPostgres::kClave));
        forma.botonAceptar->click();
        QVERIFY(!forma.isVisible());
        const AjustesCentral guardados = leerAjustesCentral(Perfil(modelo.RutaIni));
        QVERIFY(guardados.activo);
        QCOMPARE(guardados.linea, QStringLiteral("Horno-1"));
        QCOMPARE(guardados.clave, QLatin1String(ServidorPostgres::kClave));
        Reenviador* r = integ.buscar<Reenviador>();
        QVERIFY(r);
        QTRY_VERIFY_WITH_TIMEOUT(r->cifras().enviadas >= 1, 10000);
        QVERIFY(pg.numero(QStringLiteral("planta"), QStringLiteral("SELECT count(*) FROM \"ombrix_Horno-1\".\"Eventos\"")) >= 1);

        // Off again: the forwarder goes.
        forma.show();
        QVERIFY(forma.casillaEnviar->isChecked());
        forma.casillaEnviar->setChecked(false);
        forma.botonAceptar->click();
        QVERIFY(!integ.buscar<Reenviador>());
    }
};

QTEST_MAIN(TestFormaCentral)
#include "test_forma_central.moc"
