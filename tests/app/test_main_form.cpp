// The main window: start-up with the database choice, the exclusive open
// against another process, closing with and without acquisition, the clock.
#include "app/eleccion_base.h"
#include "app/inicial.h"
#include "app/aplicacion.h"
#include "app/ayuda.h"
#include "app/main_form.h"
#include "instruments/inst_form.h"
#include "ombrix_version.h"
#include "config/rutas.h"
#include "dialogos_guion.h"
#include "raiz_temporal.h"

#include <QDialog>
#include <QFile>
#include <QFontMetrics>
#include <QLayout>
#include <QListWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPointer>
#include <QTextBrowser>
#include <QTextDocument>
#include <QDir>
#include <QProcess>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <QToolButton>

using namespace ombrix;
using namespace ombrix::test;

namespace {
// Answers the start-up dialogs: the splash is dismissed, the choice dialog
// takes `elegir` (a path, or "" to cancel).
void responderArranque(TMainForm& w, const QString& elegir, int* splashes = nullptr)
{
    w.ejecutarModal = [elegir, splashes](QDialog& d) {
        if (auto* e = qobject_cast<TFormaEleccionBase*>(&d)) {
            e->FormActivate();
            if (elegir.isEmpty()) {
                e->BotonCancelarClick();
                return int(QDialog::Rejected);
            }
            e->examinar = [elegir](bool) { return elegir; };
            e->BotonAceptarClick();
            return int(QDialog::Accepted);
        }
        if (qobject_cast<TFormaInicio*>(&d)) {
            if (splashes)
                ++*splashes;
            return int(QDialog::Accepted);
        }
        return int(QDialog::Rejected);
    };
}

QString copiaDelModelo(const RaizTemporal& raiz, const QString& nombre)
{
    const QString ruta = raiz.datos() + QLatin1Char('/') + nombre;
    QFile::copy(rutaModelo(), ruta);
    return ruta;
}
} // namespace

class TestMainForm : public QObject {
    Q_OBJECT
private slots:
    void ventanaPrincipal()
    {
        RaizTemporal raiz;
        TMainForm w;
        QCOMPARE(w.windowTitle(), QStringLiteral("Sistema de adquisición de datos para instrumentos OMBRIX"));
        QCOMPARE(w.botonAdquirir->toolTip(), QStringLiteral("Adquirir datos"));
        QCOMPARE(w.botonTerminar->toolTip(), QStringLiteral("Terminar adquisición"));
        QCOMPARE(w.botonTablaCombinada->toolTip(), QStringLiteral("Tabla combinada"));
        QCOMPARE(w.botonConfigurar->toolTip(), QStringLiteral("Config"));
        QCOMPARE(w.botonNuevoInstrumento->toolTip(), QStringLiteral("Nuevo Instrumento"));
        QCOMPARE(w.botonEliminarInstrumento->toolTip(), QStringLiteral("Eliminar último instrumento"));
        QVERIFY(!w.Terminar->isEnabled());
        // A fresh installation: one instrument, COM1 at 9600 bit/s.
        QCOMPARE(int(w.modelo.CantidadAparatos), 2);
        QCOMPARE(w.modelo.Config.Puerto, QStringLiteral("COM1"));
        QCOMPARE(w.modelo.RutaIni, raiz.datos() + QStringLiteral("/Ombrix.ini"));

        int p0 = 0, p1 = 0;
        TMainForm::anchosPaneles(1024, p0, p1);
        QCOMPARE(p0, 204);
        QCOMPARE(p1, 542);
        QCOMPARE(TMainForm::textoReloj(QDateTime(QDate(2026, 3, 7), QTime(9, 5, 1))),
                 QStringLiteral("Día:07/03/2026    Hora:09:05:01"));
    }

    void arranqueAbreLaBaseElegida()
    {
        RaizTemporal raiz;
        const QString base = copiaDelModelo(raiz, QStringLiteral("Planta.mdb"));
        TMainForm w;
        int splashes = 0;
        responderArranque(w, base, &splashes);
        QVERIFY(w.arrancar());
        QCOMPARE(splashes, 1);
        QVERIFY(w.conexionBase.abierta());
        QCOMPARE(w.modelo.RutaBase, base);
        QCOMPARE(w.textoEstado(1), base);
        QVERIFY(w.textoEstado(2).startsWith(QStringLiteral("Día:")));
        // Level 0: the engineer's commands are hidden.
        QVERIFY(!w.Configurar->isVisible());
    }

    void arranqueCanceladoTerminaSinMensaje()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        TMainForm w;
        responderArranque(w, QString());
        QVERIFY(!w.arrancar());
        QVERIFY(guion.mostrados.isEmpty());
    }

    void baseQueNoEsDeEsteSistemaOInexistente_data()
    {
        QTest::addColumn<QByteArray>("contenido");
        QTest::addColumn<bool>("crear");
        QTest::addColumn<QString>("motivo");
        QTest::newRow("texto") << QByteArray("esto no es una base") << true
                               << "El archivo no es una base de datos de este sistema: no es un archivo SQLite.";
        QTest::newRow("vacio_sin_tablas") << QByteArray() << true
                                          << "El archivo no es una base de datos de este sistema: el archivo está vacío.";
        QTest::newRow("inexistente") << QByteArray() << false << "El archivo no existe.";
    }
    void baseQueNoEsDeEsteSistemaOInexistente()
    {
        QFETCH(QByteArray, contenido);
        QFETCH(bool, crear);
        QFETCH(QString, motivo);
        RaizTemporal raiz;
        const QString ruta = raiz.datos() + QStringLiteral("/Mala.mdb");
        if (crear) {
            QFile f(ruta);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(contenido);
        }
        DialogosGuion guion;
        TMainForm w;
        responderArranque(w, ruta);
        QVERIFY(!w.arrancar());
        QCOMPARE(guion.mostrados.size(), 1);
        // The old text exactly, then the reason.
        QCOMPARE(guion.mostrados[0].texto,
                 QStringLiteral("Não se pôde abrir a base de  dados: ") + ruta
                     + QStringLiteral(". Possivelmente já está em  uso por  outra aplicação\nMotivo: ") + motivo);
        QCOMPARE(w.textoEstado(1), QStringLiteral("Não há carregada nenhuma base de  dados"));
        // Nothing was created in place of a missing file.
        QCOMPARE(QFileInfo::exists(ruta), crear);
    }

    void otroProcesoTieneLaBase()
    {
        RaizTemporal raiz;
        const QString base = copiaDelModelo(raiz, QStringLiteral("Compartida.mdb"));
        QProcess otro;
        otro.start(RaizTemporal::programa(QStringLiteral("../tests/tener_base")), {base});
        QVERIFY(otro.waitForStarted());
        QVERIFY(otro.waitForReadyRead(10000));
        QCOMPARE(otro.readLine().trimmed(), QByteArray("LISTO"));

        DialogosGuion guion;
        {
            TMainForm w;
            responderArranque(w, base);
            QVERIFY(!w.arrancar());
            QCOMPARE(guion.mostrados.size(), 1);
            QVERIFY(guion.mostrados[0].texto.startsWith(QStringLiteral("Não se pôde abrir a base de  dados: ") + base));
        }
        otro.closeWriteChannel();
        QVERIFY(otro.waitForFinished(10000));

        // Once the other program has let go, the file opens; and while this one
        // holds it, the other program cannot.
        TMainForm w;
        responderArranque(w, base);
        QVERIFY(w.arrancar());
        QProcess segundo;
        segundo.start(RaizTemporal::programa(QStringLiteral("../tests/tener_base")), {base});
        QVERIFY(segundo.waitForFinished(10000));
        QCOMPARE(segundo.exitCode(), 1);
        QVERIFY(segundo.readAllStandardOutput().startsWith("FALLO"));
    }

    void cerrarSinAdquisicionGuardaLaConfiguracion()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        TMainForm w;
        w.modelo.Config.TiempoScan = 7;
        bool puede = false;
        w.FormCloseQuery(puede);
        QVERIFY(puede);
        QVERIFY(guion.mostrados.isEmpty());
        QVERIFY(QFileInfo::exists(raiz.datos() + QStringLiteral("/Ombrix.ini")));
        TMainForm otra;
        QCOMPARE(otra.modelo.Config.TiempoScan, 7);
    }

    void cerrarDuranteLaAdquisicion()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        TMainForm w;
        int detenciones = 0;
        w.detenerAdquisicion = [&] { ++detenciones; };
        w.modelo.Adquiriendo = true;
        w.modelo.Config.TiempoScan = 9;

        guion.respuestas.enqueue(Respuesta::No);
        bool puede = true;
        w.FormCloseQuery(puede);
        QVERIFY(!puede);
        QCOMPARE(detenciones, 0);
        QVERIFY(w.modelo.Adquiriendo);
        QVERIFY(!QFileInfo::exists(raiz.datos() + QStringLiteral("/Ombrix.ini")));
        QCOMPARE(guion.mostrados.last().titulo, QStringLiteral("ATENCION: PREGUNTA!!!"));
        QCOMPARE(guion.mostrados.last().texto,
                 QStringLiteral("El sistema está en línea y adquiriendo datos en este momento. Desea salir y terminar la adquisición?"));

        guion.respuestas.enqueue(Respuesta::Si);
        w.FormCloseQuery(puede);
        QVERIFY(puede);
        QCOMPARE(detenciones, 1);
        QVERIFY(QFileInfo::exists(raiz.datos() + QStringLiteral("/Ombrix.ini")));
    }

    void guardadoFallidoPreguntaSiSalirSinGuardar()
    {
        RaizTemporal raiz;
        DialogosGuion guion;
        TMainForm w;
        // The settings folder is gone: the save fails with its message, then
        // the user decides: No stays, Yes leaves without saving.
        QDir(raiz.datos()).removeRecursively();
        guion.respuestas << Respuesta::Ok << Respuesta::No << Respuesta::Ok << Respuesta::Si;
        bool puede = true;
        w.FormCloseQuery(puede);
        QVERIFY(!puede);
        QCOMPARE(guion.textos(), (QStringList{QStringLiteral("Unable to write to ") + w.modelo.RutaIni,
                                              QStringLiteral("No se pudo guardar la configuración. ¿Desea salir sin guardar?")}));
        QCOMPARE(guion.mostrados[1].titulo, QStringLiteral("ATENCION: PREGUNTA!!!"));
        w.FormCloseQuery(puede);
        QVERIFY(puede);
    }

    void veinteInstrumentosDesactivanNuevo()
    {
        RaizTemporal raiz;
        QFile ini(raiz.datos() + QStringLiteral("/Ombrix.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[General]\r\ncantidad de aparatos=21\r\nMantener_Nivel=1\r\nNivel=3\r\n");
        ini.close();
        const QString base = copiaDelModelo(raiz, QStringLiteral("P.mdb"));
        TMainForm w;
        responderArranque(w, base);
        QVERIFY(w.arrancar());
        QVERIFY(!w.botonNuevoInstrumento->isEnabled());
        QVERIFY(w.Configurar->isVisible());
    }

    // Settings not used as written are told at start, all in one message.
    void ajustesFueraDeRangoUnMensaje()
    {
        RaizTemporal raiz;
        QFile ini(raiz.datos() + QStringLiteral("/Ombrix.ini"));
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Puertos]\r\nPuerto=COM1\r\nCOM1=\r\n[General]\r\nTiempoScan=-5\r\ncantidad de aparatos=2\r\n"
                  "[Instrumento1]\r\nID=0\r\n");
        ini.close();
        const QString base = copiaDelModelo(raiz, QStringLiteral("P.mdb"));
        DialogosGuion guion;
        TMainForm w;
        responderArranque(w, base);
        QVERIFY(w.arrancar());
        QCOMPARE(guion.mostrados.size(), 1);
        const QString t = guion.mostrados.first().texto;
        QVERIFY2(t.contains(QStringLiteral("[General] TiempoScan=-5: fuera de 0..86400; se usa 1"))
                     && t.contains(QStringLiteral("[Puertos] COM1=: vacío; se usa /dev/ttyS0"))
                     && t.contains(QStringLiteral("[Instrumento1] ID=0: la dirección 0 está fuera de 1..247; "
                                                  "el instrumento 1 no se consulta")),
                 qPrintable(t));
        QCOMPARE(w.modelo.Config.TiempoScan, 1);
    }

    void cargarOtraBase()
    {
        RaizTemporal raiz;
        const QString a = copiaDelModelo(raiz, QStringLiteral("A.mdb"));
        const QString b = copiaDelModelo(raiz, QStringLiteral("B.mdb"));
        DialogosGuion guion;
        TMainForm w;
        responderArranque(w, a);
        QVERIFY(w.arrancar());
        int reconstrucciones = 0;
        w.construirInstrumentos = [&] { ++reconstrucciones; };
        responderArranque(w, b);
        w.CargarBaseExecute();
        QCOMPARE(w.modelo.RutaBase, b);
        QCOMPARE(w.textoEstado(1), b);
        QCOMPARE(reconstrucciones, 1);
        QVERIFY(guion.mostrados.isEmpty());
        // The first file is free again.
        BaseDatos otra;
        QVERIFY(otra.abrir(a));

        // A file that cannot be opened: Spanish message, the program runs on.
        responderArranque(w, raiz.datos() + QStringLiteral("/NoEsta.mdb"));
        w.CargarBaseExecute();
        QCOMPARE(guion.mostrados.size(), 1);
        QCOMPARE(guion.mostrados[0].texto,
                 QStringLiteral("No se pudo abrir la base de datos: ") + raiz.datos()
                     + QStringLiteral("/NoEsta.mdb. Posiblemente ya está en uso por otra aplicacion\nMotivo: El archivo no existe."));
        QCOMPARE(w.textoEstado(1), QStringLiteral("No hay cargada niguna base de datos"));
        QVERIFY(!w.terminacionPedida());
    }

    void cancelarAlCargarBaseSigueConLaAbierta()
    {
        RaizTemporal raiz;
        const QString a = copiaDelModelo(raiz, QStringLiteral("A.mdb"));
        DialogosGuion guion;
        TMainForm w;
        responderArranque(w, a);
        QVERIFY(w.arrancar());
        int detenciones = 0, reconstrucciones = 0;
        w.detenerAdquisicion = [&] { ++detenciones; };
        w.construirInstrumentos = [&] { ++reconstrucciones; };
        responderArranque(w, QString());
        w.CargarBaseExecute();
        QVERIFY(!w.terminacionPedida());
        QCOMPARE(detenciones + reconstrucciones, 0);
        QVERIFY(w.conexionBase.abierta());
        QCOMPARE(w.modelo.RutaBase, a);
        QCOMPARE(w.textoEstado(1), a);
    }

    // The close box of the instruments window minimises it: it stays listed,
    // its panels keep receiving readings; a new database replaces it and
    // nothing keeps the old one.
    void ventanaDeInstrumentosNoSeCierra()
    {
        RaizTemporal raiz;
        const QString a = copiaDelModelo(raiz, QStringLiteral("A.mdb"));
        const QString b = copiaDelModelo(raiz, QStringLiteral("B.mdb"));
        DialogosGuion guion;
        TMainForm w;
        responderArranque(w, a);
        QVERIFY(w.arrancar());
        w.show();
        QPointer<TInstForm> inst = w.InstForm.data();
        QVERIFY(inst);
        auto* sub = qobject_cast<QMdiSubWindow*>(inst->parentWidget());
        QVERIFY(sub);
        QVERIFY(!sub->close());
        QCoreApplication::processEvents();
        QVERIFY(inst && w.InstForm == inst);
        QVERIFY(sub->isMinimized());
        QVERIFY(w.mdi->subWindowList().contains(sub));
        QVERIFY(w.InstForm->panel(1));
        ResultadoLectura r;
        r.valorActual = QStringLiteral("123.4");
        r.habilitadas = 1;
        w.InstForm->panel(1)->mostrarLectura(r);
        QCOMPARE(w.InstForm->panel(1)->valorActual->text(), QStringLiteral("123.4"));

        responderArranque(w, b);
        w.CargarBaseExecute();
        QCoreApplication::processEvents();
        QVERIFY(!inst);
        QVERIFY(w.InstForm && w.InstForm->panel(1));
    }

    // Loading another database while acquiring asks first; No changes nothing.
    void cargarBaseDuranteLaAdquisicionPregunta()
    {
        RaizTemporal raiz;
        const QString a = copiaDelModelo(raiz, QStringLiteral("A.mdb"));
        const QString b = copiaDelModelo(raiz, QStringLiteral("B.mdb"));
        DialogosGuion guion;
        TMainForm w;
        responderArranque(w, a);
        QVERIFY(w.arrancar());
        int detenciones = 0;
        w.detenerAdquisicion = [&] { ++detenciones; };
        w.modelo.Adquiriendo = true;
        responderArranque(w, b);
        guion.respuestas.enqueue(Respuesta::No);
        w.CargarBaseExecute();
        QCOMPARE(guion.mostrados.size(), 1);
        QVERIFY(guion.mostrados[0].texto.startsWith(QStringLiteral("La adquisición se detendrá")));
        QCOMPARE(guion.mostrados[0].botones, Botones::SiNo);
        QCOMPARE(w.modelo.RutaBase, a);
        QCOMPARE(detenciones, 0);
        guion.respuestas.enqueue(Respuesta::Si);
        w.CargarBaseExecute();
        QCOMPARE(w.modelo.RutaBase, b);
        QCOMPARE(detenciones, 1);
        w.modelo.Adquiriendo = false;
    }

    // The toolkit's own dialogs speak Spanish; windows carry the program's
    // icon; the about box gives the version.
    void dialogosDelToolkitEnEspanolIconoYVersion()
    {
        QVERIFY(cargarTraduccionesQt(*QCoreApplication::instance()));
        QCOMPARE(QCoreApplication::translate("QColorDialog", "Select Color"), QStringLiteral("Selecciona color"));
        QVERIFY(QCoreApplication::translate("QFileDialog", "Look in:") != QStringLiteral("Look in:"));
        QVERIFY(QCoreApplication::translate("QPlatformTheme", "Cancel") != QStringLiteral("Cancel"));
        RaizTemporal raiz;
        TMainForm w;
        QVERIFY(!QApplication::windowIcon().isNull());
        TFormaInicio s;
        bool version = false;
        for (const auto& r : s.renglones())
            version = version || r.texto.contains(QStringLiteral(OMBRIX_VERSION));
        QVERIFY(version);
    }

    // "Ayuda" opens the manual in the program, at the page of the window in use.
    void ayudaAbreElManual()
    {
        QVERIFY(!carpetaManual().isEmpty());
        RaizTemporal raiz;
        const QString a = copiaDelModelo(raiz, QStringLiteral("A.mdb"));
        DialogosGuion guion;
        TMainForm w;
        responderArranque(w, a);
        QVERIFY(w.arrancar());
        w.show();
        w.mdi->setActiveSubWindow(qobject_cast<QMdiSubWindow*>(w.InstForm->parentWidget()));
        w.Ayuda2Click();
        QVERIFY(guion.mostrados.isEmpty());
        TFormaAyuda* ayuda = w.ventanaAyuda();
        QVERIFY(ayuda && ayuda->isVisible());
        QCOMPARE(ayuda->paginaActual(), QStringLiteral("instrumentos.html"));
        QVERIFY(ayuda->navegador->toPlainText().contains(QStringLiteral("La ventana de instrumentos")));
        // Its pictures are found (an image that fails shows as a broken box).
        const QVariant img = ayuda->navegador->document()->resource(QTextDocument::ImageResource,
                                                                     ayuda->navegador->source().resolved(QUrl(QStringLiteral("../paneles.png"))));
        QVERIFY(img.isValid());
        ayuda->mostrarPagina(QString());
        QCOMPARE(ayuda->paginaActual(), QStringLiteral("index.html"));
        // Every link of the contents page leads to a page that exists.
        QCOMPARE(paginaAyudaPara(nullptr), QString());
        const QDir carpeta(carpetaManual());
        for (const QString& p : {QStringLiteral("instrumentos.html"), QStringLiteral("tabla.html"), QStringLiteral("grafico.html"),
                                 QStringLiteral("combinada.html"), QStringLiteral("impresion.html"),
                                 QStringLiteral("configuracion.html"), QStringLiteral("teclado.html"), QStringLiteral("bases.html"),
                                 QStringLiteral("propiedades.html")})
            QVERIFY2(carpeta.exists(p), qPrintable(p));
    }

    void textosDelSplashCaben()
    {
        TFormaInicio s;
        s.layout()->activate();
        QRect anterior;
        for (const auto& r : s.renglones()) {
            const QRect ocupado = QFontMetrics(r.fuente, &s).boundingRect(r.caja, Qt::AlignCenter, r.texto);
            QVERIFY2(s.rect().contains(r.caja) && r.caja.contains(ocupado), qPrintable(r.texto));
            QVERIFY2(!ocupado.intersects(anterior) && !ocupado.intersects(s.BotonOk->geometry()), qPrintable(r.texto));
            anterior = ocupado;
        }
    }

    void splashSeCierraSoloConSuTemporizador()
    {
        TFormaInicio s;
        s.relojCierre->setInterval(50);
        s.relojCierre->start();
        QTimer::singleShot(5000, &s, [&] { s.reject(); });
        QCOMPARE(s.exec(), int(QDialog::Accepted));
        QVERIFY(!s.relojCierre->isActive());
    }
};

QTEST_MAIN(TestMainForm)
#include "test_main_form.moc"
