// Access levels, the options, and adding and removing instruments: on the
// real windows offscreen, and a removal while the simulator is being polled.
#include "acquisition/adquisicion.h"
#include "app/elegir_equipo.h"
#include "app/eleccion_base.h"
#include "app/inicial.h"
#include "app/main_form.h"
#include "app/nivel_acceso.h"
#include "app/opciones.h"
#include "config/rutas.h"
#include "dialogos_guion.h"
#include "instruments/forma_inst_p.h"
#include "instruments/inst_form.h"
#include "instruments/prop_inst.h"
#include "link/forma_com.h"
#include "raiz_temporal.h"
#include "sim/simulador.h"

#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlQuery>
#include <QTest>
#include <QToolButton>

using namespace ombrix;
using namespace ombrix::test;

namespace {

void escribirAjustes(const RaizTemporal& raiz, const QByteArray& texto)
{
    QFile f(raiz.datos() + QStringLiteral("/Ombrix.ini"));
    QVERIFY(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
    f.write(texto);
}

// Start-up answered: splash dismissed, the given database chosen; the type
// dialog of "Nuevo Instrumento" answers `tipo` (−1 cancels).
void responder(TMainForm& w, const QString& base, int* tipo)
{
    w.ejecutarModal = [base, tipo](QDialog& d) {
        if (auto* e = qobject_cast<TFormaEleccionBase*>(&d)) {
            e->FormActivate();
            e->examinar = [base](bool) { return base; };
            e->BotonAceptarClick();
            return int(QDialog::Accepted);
        }
        if (auto* t = qobject_cast<TFormaElegir*>(&d)) {
            if (*tipo < 0)
                return int(QDialog::Rejected);
            if (*tipo == 1)
                t->Programador->click();
            return int(QDialog::Accepted);
        }
        return int(QDialog::Accepted);
    };
}

QString copiaDelModelo(const RaizTemporal& raiz)
{
    const QString ruta = raiz.datos() + QStringLiteral("/Niveles.mdb");
    QFile::copy(rutaModelo(), ruta);
    return ruta;
}

int filas(TMainForm& w, int n)
{
    QSqlQuery q(w.conexionBase.db());
    q.exec(QStringLiteral("SELECT count(*) FROM \"Instrumento%1\"").arg(n));
    return q.next() ? q.value(0).toInt() : -1;
}

} // namespace

class TestNiveles : public QObject {
    Q_OBJECT
private slots:
    void reglasDeCadaNivel_data()
    {
        QTest::addColumn<int>("nivel");
        QTest::addColumn<bool>("config");       // tool button "Config"
        QTest::addColumn<bool>("instrumentos"); // "Nuevo Instrumento", "Eliminar último instrumento"
        QTest::addColumn<bool>("menus");        // "Configurar adquisición", "Opciones"
        QTest::addColumn<bool>("puertoPC");     // page "Puerto PC" enabled
        QTest::newRow("operador") << 0 << false << false << false << true;
        QTest::newRow("avanzado") << 1 << true << false << true << false;
        QTest::newRow("ingenieria") << 3 << true << true << true << true;
    }
    void reglasDeCadaNivel()
    {
        QFETCH(int, nivel);
        QFETCH(bool, config);
        QFETCH(bool, instrumentos);
        QFETCH(bool, menus);
        QFETCH(bool, puertoPC);
        RaizTemporal raiz;
        DialogosGuion guion;
        TMainForm w;
        w.show();
        w.modelo.Config.Nivel = quint8(nivel);
        w.NivelNuevo();
        QCoreApplication::processEvents();
        QCOMPARE(w.botonConfigurar->isVisible(), config);
        QCOMPARE(w.botonNuevoInstrumento->isVisible(), instrumentos);
        QCOMPARE(w.botonEliminarInstrumento->isVisible(), instrumentos);
        QCOMPARE(w.Configurar->isVisible(), menus);
        QCOMPARE(w.Opciones->isVisible(), menus);
        // The communication dialog reads the level when it opens.
        w.FormaCom->FormActivate();
        QCOMPARE(w.FormaCom->PuertoPC->isEnabled(), puertoPC);
        // So does the properties window: "Avanzadas" above the operator,
        // "Actualizar al equipo" for engineering only.
        TFormPropInst propiedades;
        propiedades.aplicarNivel(nivel);
        QCOMPARE(!propiedades.botonAvanzadas->isHidden(), nivel != 0);
        QCOMPARE(!propiedades.botonActualizar->isHidden(), nivel != 1);
    }

    void nivelGuardadoDesconocidoEsOperador()
    {
        RaizTemporal raiz;
        escribirAjustes(raiz, "[General]\r\nMantener_Nivel=1\r\nNivel=2\r\n");
        TMainForm w;
        QCOMPARE(int(w.modelo.Config.Nivel), 0);
        escribirAjustes(raiz, "[General]\r\nMantener_Nivel=1\r\nNivel=3\r\n");
        TMainForm otra;
        QCOMPARE(int(otra.modelo.Config.Nivel), 3);
    }

    void contrasenas()
    {
        DialogosGuion guion;
        Tconfig c;
        c.Password_Avanzado = QStringLiteral("Av1");
        c.Password_Ingenieria = QStringLiteral("Ing");
        TNiveldeacceso1 d(c);
        QVERIFY(d.editorContrasena->isHidden());

        // A wrong password: said so, level unchanged, box emptied.
        d.listaNiveles->setCurrentIndex(1);
        QVERIFY(!d.editorContrasena->isHidden());
        d.editorContrasena->setText(QStringLiteral("av1"));   // letter case counts
        d.botonAceptarClick();
        QCOMPARE(int(c.Nivel), 0);
        QCOMPARE(guion.textos().last(), QStringLiteral("Contraseña incorrecta"));
        QVERIFY(d.editorContrasena->text().isEmpty());
        d.editorContrasena->setText(QStringLiteral("Av1"));
        d.botonAceptarClick();
        QCOMPARE(int(c.Nivel), 1);
        // A text typed into the list that names no level opens nothing.
        d.listaNiveles->setEditText(QStringLiteral("Ingenieria!"));
        d.editorContrasena->setText(QStringLiteral("Ing"));
        d.botonAceptarClick();
        QCOMPARE(int(c.Nivel), 1);
        d.listaNiveles->setCurrentIndex(2);
        d.editorContrasena->setText(QStringLiteral("Ing"));
        d.botonAceptarClick();
        QCOMPARE(int(c.Nivel), 3);
        d.listaNiveles->setCurrentIndex(0);
        d.botonAceptarClick();
        QCOMPARE(int(c.Nivel), 0);

        // Changing a password needs the current one; a cancelled box keeps it.
        d.listaNiveles->setCurrentIndex(2);
        d.editorContrasena->setText(QStringLiteral("otra"));
        d.botonCambiarContrasenaClick();
        QCOMPARE(guion.textos().last(),
                 QStringLiteral("Debe ingresar la contraseña actual en el cuadro para poder luego cambiarla"));
        d.editorContrasena->setText(QStringLiteral("Ing"));
        guion.entradas.enqueue(std::nullopt);
        d.botonCambiarContrasenaClick();
        QCOMPARE(guion.mostrados.last().titulo, QStringLiteral("Ingrese nueva contraseña para Ingenieria"));
        QCOMPARE(c.Password_Ingenieria, QStringLiteral("Ing"));
        guion.entradas.enqueue(QStringLiteral("Nueva"));
        d.botonCambiarContrasenaClick();
        QCOMPARE(c.Password_Ingenieria, QStringLiteral("Nueva"));
        QCOMPARE(c.Password_Avanzado, QStringLiteral("Av1"));
    }

    void opcionesMuestranLoVigenteYDetienenLaGrabacion()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        escribirAjustes(raiz, "[General]\r\ncantidad de aparatos=3\r\nPedir_Partida=0\r\n"
                              "[Instrumento1]\r\nHabilitado=1\r\nSalvarTabla=1\r\n"
                              "[Instrumento2]\r\nHabilitado=1\r\nSalvarTabla=1\r\n");
        const QString base = copiaDelModelo(raiz);
        int tipo = 0;
        TMainForm w;
        responder(w, base, &tipo);
        QVERIFY(w.arrancar());
        QCOMPARE(w.InstForm->panel(1)->Adquirir->text(), QStringLiteral("No Adquirir"));
        w.modelo.Estados[2].RegistroPendiente = true;

        // The settings changed behind the dialog (another database loaded):
        // it shows them as they are now.
        w.modelo.Config.Pedir_Partida = true;
        w.modelo.Config.Mantener_Nivel = true;
        w.ejecutarModal = [](QDialog& d) {
            auto* o = qobject_cast<TConf_Opciones*>(&d);
            o->FormShow();
            if (!o->casillaPedirPartida->isChecked() || !o->casillaMantenerNivel->isChecked())
                return int(QDialog::Rejected);
            o->casillaMantenerNivel->setChecked(false);
            o->botonAceptarClick();
            return int(QDialog::Accepted);
        };
        w.OpcionesExecute();
        QVERIFY(w.modelo.Config.Pedir_Partida);
        QVERIFY(!w.modelo.Config.Mantener_Nivel);
        for (int n : {1, 2}) {
            QVERIFY(!w.modelo.ArrayConfig[n].SalvarTabla);
            QVERIFY(!w.modelo.Estados[n].RegistroPendiente);
            QCOMPARE(w.InstForm->panel(n)->Adquirir->text(), QStringLiteral("Adquirir"));
        }
    }

    void agregarHastaVeinteYQuitarHastaNinguno()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        escribirAjustes(raiz, "[General]\r\ncantidad de aparatos=1\r\nMantener_Nivel=1\r\nNivel=3\r\n");
        const QString base = copiaDelModelo(raiz);
        int tipo = -1;
        TMainForm w;
        responder(w, base, &tipo);
        QVERIFY(w.arrancar());
        QVERIFY(!w.botonEliminarInstrumento->isEnabled());
        w.botonNuevoInstrumentoClick();   // cancelled: nothing added
        QCOMPARE(int(w.modelo.CantidadAparatos), 1);

        for (int n = 1; n <= 20; ++n) {
            tipo = n % 2;
            w.botonNuevoInstrumentoClick();
            QCOMPARE(int(w.modelo.CantidadAparatos), n + 1);
            QCOMPARE(int(w.modelo.ArrayConfig[n].Tipo), n % 2);
            QVERIFY(w.InstForm->panel(n));
        }
        QVERIFY(!w.botonNuevoInstrumento->isEnabled());
        QVERIFY(w.botonEliminarInstrumento->isEnabled());
        w.botonNuevoInstrumentoClick();   // a 21st never comes
        QCOMPARE(int(w.modelo.CantidadAparatos), 21);

        for (int n = 20; n >= 1; --n) {
            guion.respuestas.enqueue(Respuesta::No);
            w.botonEliminarInstrumentoClick();
            QCOMPARE(int(w.modelo.CantidadAparatos), n);
            QVERIFY(!w.InstForm->panel(n));
            QVERIFY(w.botonNuevoInstrumento->isEnabled());
        }
        QVERIFY(!w.botonEliminarInstrumento->isEnabled());
        w.botonEliminarInstrumentoClick();   // none left: nothing happens, nothing asked
        QCOMPARE(int(w.modelo.CantidadAparatos), 1);
        QCOMPARE(w.ventanas.PosX, 0);
        QCOMPARE(w.ventanas.PosY, 0);
    }

    void quitarDuranteLaAdquisicionNoEscribeMas()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        sim::Simulador simulador;
        simulador.agregarInstrumento(1, false);
        simulador.agregarInstrumento(2, true);
        simulador.setRitmo(false);
        QString pty;
        QVERIFY(simulador.abrirPty(&pty));
        simulador.iniciar();
        escribirAjustes(raiz, "[Puertos]\r\nPuerto=" + pty.toUtf8() + "\r\nBaudRate=19200\r\n"
                              "[General]\r\ncantidad de aparatos=3\r\nTiempoScan=0\r\nPedir_Partida=0\r\n"
                              "Mantener_Nivel=1\r\nNivel=3\r\n"
                              "[Instrumento1]\r\nHabilitado=1\r\nSalvarTabla=1\r\nBarrido=1\r\nID=1\r\n"
                              "[Instrumento2]\r\nTipo de instrumento=1\r\nHabilitado=1\r\nSalvarTabla=1\r\nBarrido=1\r\nID=2\r\n");
        const QString base = copiaDelModelo(raiz);
        int tipo = 0;
        TMainForm w;
        responder(w, base, &tipo);
        QVERIFY(w.arrancar());
        w.ComenzarExecute();
        QTRY_VERIFY_WITH_TIMEOUT(filas(w, 2) >= 2, 10000);

        guion.respuestas.enqueue(Respuesta::Si);
        w.botonEliminarInstrumentoClick();
        QCOMPARE(int(w.modelo.CantidadAparatos), 2);
        QCOMPARE(filas(w, 2), 0);
        const int antes = filas(w, 1);
        // Several passes and recordings later the removed table is still empty
        // and nothing is asked of its instrument any more.
        QTRY_VERIFY_WITH_TIMEOUT(filas(w, 1) >= antes + 2, 10000);
        simulador.limpiarPeticiones();
        QTRY_VERIFY_WITH_TIMEOUT(filas(w, 1) >= antes + 3, 10000);
        QCOMPARE(filas(w, 2), 0);
        for (const QByteArray& p : simulador.peticiones())
            QCOMPARE(int(quint8(p[0])), 1);
        w.TerminarExecute();
        QVERIFY(w.adquisicion->esperarHilo(5000));
    }
};

QTEST_MAIN(TestNiveles)
#include "test_niveles.moc"
