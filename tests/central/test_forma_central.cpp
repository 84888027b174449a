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
#include <QSqlQuery>
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

    // A line read back from the server for consultation: its rows in the
    // window, nothing writable; a line the server does not have is told and
    // leaves the database in use as it was.
    void consultarLinea()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        ServidorPostgres pg;
        QString error;
        QVERIFY2(pg.iniciar(&error), qPrintable(error));
        QVERIFY(pg.crearBase(QStringLiteral("planta"), &error));
        const QString ruta = raiz.datos() + QStringLiteral("/Linea.mdb");
        QVERIFY(QFile::copy(RaizTemporal::modeloConstruido(), ruta));
        QFile::setPermissions(ruta, QFile::ReadOwner | QFile::WriteOwner);
        {
            BaseDatos base;
            QVERIFY(base.abrir(ruta, &error));
            QSqlQuery q(base.db());
            for (int i = 0; i < 3; ++i)
                QVERIFY(q.exec(QStringLiteral("INSERT INTO \"Instrumento2\" (Fecha,Hora,Valor_medido,Set_point,Potencia,"
                                              "Alarma_1,Alarma_2,Alarma_3,Alarma_4,Partida) VALUES ('10/12/2026','08:00:0%1',"
                                              "'4%1.5','50',' oF ','0','0','N.I.','N.I.','L-7')")
                                   .arg(i)));
        }
        {
            Reenviador::Destino d;
            d.url = pg.url(QStringLiteral("planta"));
            d.clave = QLatin1String(ServidorPostgres::kClave);
            d.linea = QStringLiteral("Horno-1");
            Reenviador r(d, ruta, [](const QString&) {});
            QTRY_VERIFY_WITH_TIMEOUT(r.cifras().conectado && r.cifras().enEspera == 0 && r.cifras().enviadas >= 3, 20000);
        }

        TMainForm w;
        w.show();
        Perfil ini(w.modelo.RutaIni);
        AjustesCentral a;
        a.url = pg.url(QStringLiteral("planta"));
        a.linea = QStringLiteral("Horno-1");
        a.clave = QLatin1String(ServidorPostgres::kClave);
        escribirAjustesCentral(ini, a);
        ini.guardar();
        const QString enUso = w.modelo.RutaBase;

        guion.entradas.enqueue(QStringLiteral("Otra-Linea"));
        w.ConsultarCentralExecute();
        QCOMPARE(w.modelo.RutaBase, enUso);
        QVERIFY(guion.textos().last().contains(QStringLiteral("Otra-Linea")));

        guion.entradas.enqueue(QStringLiteral("Horno-1"));
        w.ConsultarCentralExecute();
        QVERIFY2(w.conexionBase.soloLectura(), qPrintable(guion.textos().join(QLatin1Char('\n'))));
        QVERIFY(w.windowTitle().contains(QStringLiteral("solo consulta")));
        QVERIFY(!w.Comenzar->isEnabled());
        QSqlQuery q(w.conexionBase.db());
        QVERIFY(q.exec(QStringLiteral("SELECT Hora, Valor_medido, Potencia, Partida FROM \"Instrumento2\" ORDER BY Id")));
        QStringList filas;
        while (q.next())
            filas << QStringLiteral("%1|%2|%3|%4").arg(q.value(0).toString(), q.value(1).toString(), q.value(2).toString(),
                                                      q.value(3).toString());
        QCOMPARE(filas, (QStringList{QStringLiteral("08:00:00|40.5| oF |L-7"), QStringLiteral("08:00:01|41.5| oF |L-7"),
                                     QStringLiteral("08:00:02|42.5| oF |L-7")}));
    }
};

QTEST_MAIN(TestFormaCentral)
#include "test_forma_central.moc"
