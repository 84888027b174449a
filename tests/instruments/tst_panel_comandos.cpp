// The panel's commands against the instrument simulator over a real
// pseudo-terminal: the exact requests that reach the line, and that bad input
// sends nothing. Most run on the window thread's own line; the last ones hand
// the work to a thread that owns the line, as the program does while it
// acquires, and the panel waits for the answer without blocking.

#include "banco_paneles.h"
#include "dialogos_guion.h"
#include "hilo_de_linea.h"
#include "instruments/comandos.h"
#include "instruments/inst_form.h"

#include <QApplication>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::test;

namespace {

constexpr quint8 F1 = modbus::kLeerCoils;
constexpr quint8 F5 = modbus::kEscribirCoil;
constexpr quint8 F6 = modbus::kEscribirRegistro;

} // namespace

class TstPanelComandos : public QObject {
    Q_OBJECT

    std::unique_ptr<Linea> linea;
    std::unique_ptr<Modelo> modelo;
    RegistroVentanas ventanas;
    std::unique_ptr<ContextoInstrumentos> ctx;
    std::unique_ptr<TInstForm> ventana;
    std::unique_ptr<DialogosGuion> guion;
    std::unique_ptr<HiloDeLinea> hilo;

    TFormaInstP* controlador() { return ventana->panel(1); }
    TFormaInstP* programador() { return ventana->panel(2); }
    QList<QByteArray> enviado() { return linea->sim.peticiones(); }

    void aceptar(TFormaInstP* p, const QString& texto)
    {
        p->editorValor->setText(texto);
        p->BotonAceptarClick();
    }

    // From here on the commands go to the line's own thread.
    HiloDeLinea& ponerHilo()
    {
        hilo = std::make_unique<HiloDeLinea>(*linea);
        ctx->encolar = [h = hilo.get()](QObject* receptor, TrabajoLinea trabajo) {
            return h->encolar(receptor, std::move(trabajo));
        };
        return *hilo;
    }

    // Opens the set point overlay and accepts `texto` in it.
    void pedirSetPoint(TFormaInstP* p, const QString& texto)
    {
        p->SetPointDblClick();
        QVERIFY(p->marcoEdicion->isVisible());
        aceptar(p, texto);
    }

private slots:
    void init()
    {
        guion = std::make_unique<DialogosGuion>();
        linea = std::make_unique<Linea>();
        QVERIFY(linea->abrir({0, 1}));
        modelo = std::make_unique<Modelo>();
        ventanas = RegistroVentanas{};
        prepararModelo(*modelo, {0, 1});
        ctx = std::make_unique<ContextoInstrumentos>(*modelo, ventanas, linea->enlace, linea->puerto);
        ventana = std::make_unique<TInstForm>(*ctx);
        ventana->show();
        QVERIFY(QTest::qWaitForWindowExposed(ventana.get()));
        linea->sim.setRegistro(1, sim::reg::Decimales, 1);
        linea->sim.setRegistro(2, sim::reg::Decimales, 1);
        linea->sim.limpiarPeticiones();
    }

    void cleanup()
    {
        hilo.reset();
        ventana.reset();
        ctx.reset();
        modelo.reset();
        linea.reset();
        guion.reset();
    }

    void setPointConDecimales_data()
    {
        QTest::addColumn<qint16>("codigo");
        QTest::addColumn<QString>("texto");
        QTest::addColumn<quint16>("palabra");
        QTest::newRow("25.5 one decimal") << qint16(1) << "25.5" << quint16(255);
        QTest::newRow("truncated, not rounded") << qint16(1) << "25.4999999" << quint16(254);
        QTest::newRow("two decimals") << qint16(2) << "12.34" << quint16(1234);
        QTest::newRow("no decimals") << qint16(0) << "350.9" << quint16(350);
        QTest::newRow("code out of range counts as 0") << qint16(7) << "99" << quint16(99);
        QTest::newRow("negative, two's complement") << qint16(1) << "-12.5" << quint16(0xFF83);
        QTest::newRow("largest that fits") << qint16(1) << "3276.7" << quint16(32767);
        QTest::newRow("blanks around") << qint16(1) << " 40 " << quint16(400);
    }
    void setPointConDecimales()
    {
        QFETCH(qint16, codigo);
        QFETCH(QString, texto);
        QFETCH(quint16, palabra);
        linea->sim.setRegistro(1, sim::reg::Decimales, codigo);

        TFormaInstP* p = controlador();
        p->SetPointDblClick();
        QVERIFY(p->marcoEdicion->isVisible());
        QCOMPARE(p->marcoEdicion->title(), QStringLiteral(" Cambiar Set Point"));
        QCOMPARE(p->editorValor->text(), QStringLiteral("00.00"));
        aceptar(p, texto);

        const QList<QByteArray> esperado{trama(1, F1, 16440, 0), trama(1, F6, 4, palabra)};
        QCOMPARE(enviado(), esperado);
        QVERIFY(!p->marcoEdicion->isVisible());
        QCOMPARE(p->SetPoint->text(), texto);
        QCOMPARE(quint16(linea->sim.registro(1, sim::reg::SP1)), palabra);
    }

    void setPointEscritoEnElRegistroConfigurado()
    {
        modelo->Avanzadas2[1].SP1 = 6;
        modelo->Avanzadas1[1].Sensor = 47000;   // an input-type code: 10 means two decimals
        linea->sim.setRegistro(1, 47000, 10);
        TFormaInstP* p = controlador();
        p->SetPointDblClick();
        aceptar(p, "1.5");
        const QList<QByteArray> esperado{trama(1, F1, 47000, 0), trama(1, F6, 6, 150)};
        QCOMPARE(enviado(), esperado);
    }

    void setPointMalEscritoNoEnviaNada_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::newRow("letters") << "abc";
        QTest::newRow("empty") << "";
        QTest::newRow("comma as decimal separator") << "25,5";
        QTest::newRow("two points") << "2.5.1";
        QTest::newRow("infinite") << "inf";
        QTest::newRow("not a number") << "nan";
        QTest::newRow("huge") << "1e30";
        QTest::newRow("beyond any scale") << "40000";
        QTest::newRow("below any scale") << "-40000";
    }
    void setPointMalEscritoNoEnviaNada()
    {
        QFETCH(QString, texto);
        TFormaInstP* p = controlador();
        p->SetPointDblClick();
        aceptar(p, texto);
        QVERIFY(enviado().isEmpty());
        QVERIFY(p->marcoEdicion->isVisible());
        QCOMPARE(p->editorValor->selectedText(), texto);
        QVERIFY(p->editorValor->hasFocus() || texto.isEmpty());
        QCOMPARE(p->SetPoint->text(), QStringLiteral("00.00"));
        QVERIFY(guion->mostrados.isEmpty());
    }

    void setPointQueNoCabeEnElRegistroSeRechaza()
    {
        // 5000 with one decimal would be 50000: not sent wrapped as another temperature.
        const qint16 antes = linea->sim.registro(1, sim::reg::SP1);
        TFormaInstP* p = controlador();
        p->SetPointDblClick();
        aceptar(p, "5000");
        QCOMPARE(enviado(), (QList<QByteArray>{trama(1, F1, 16440, 0)}));
        QVERIFY(p->marcoEdicion->isVisible());
        QCOMPARE(p->editorValor->selectedText(), QStringLiteral("5000"));
        QCOMPARE(p->SetPoint->text(), QStringLiteral("00.00"));
        QCOMPARE(linea->sim.registro(1, sim::reg::SP1), antes);

        linea->sim.setRegistro(1, sim::reg::Decimales, 2);
        linea->sim.limpiarPeticiones();
        aceptar(p, "-327.69");
        QCOMPARE(enviado(), (QList<QByteArray>{trama(1, F1, 16440, 0)}));
        QVERIFY(p->marcoEdicion->isVisible());
    }

    void setPointConLecturaFallidaNoEscribe()
    {
        linea->sim.setFalla(1, sim::Falla::Silencio);
        TFormaInstP* p = controlador();
        p->SetPointDblClick();
        aceptar(p, "30");
        QCOMPARE(guion->textos(), QStringList{QStringLiteral("Error al leer")});
        QVERIFY(!p->marcoEdicion->isVisible());
        for (const QByteArray& t : enviado())
            QCOMPARE(quint8(t[1]), F1);
        // The display keeps the typed value until the next poll.
        QCOMPARE(p->SetPoint->text(), QStringLiteral("30"));
    }

    void setPointNoSeAbreSinCondiciones()
    {
        TFormaInstP* p = controlador();
        p->NProg->setText(QStringLiteral("03"));   // a program runs
        p->SetPointDblClick();
        QVERIFY(!p->marcoEdicion->isVisible());
        p->NProg->setText(QStringLiteral("00"));

        modelo->Avanzadas1[1].FueraRango2 = 4130;   // display 2 shows a second measurement
        p->SetPointDblClick();
        QVERIFY(!p->marcoEdicion->isVisible());
        modelo->Avanzadas1[1].FueraRango2 = 0;

        linea->puerto.Abierto = false;
        p->SetPointDblClick();
        p->Button_manClick();
        programador()->visoresProgramaDblClick();
        QVERIFY(!p->marcoEdicion->isVisible());
        QVERIFY(!programador()->marcoPrograma->isVisible());
        linea->puerto.Abierto = true;

        p->SetPointDblClick();
        QVERIFY(p->marcoEdicion->isVisible());
        p->BotonCancelarClick();
        QVERIFY(!p->marcoEdicion->isVisible());
        QVERIFY(enviado().isEmpty());
    }

    void potenciaManual()
    {
        TFormaInstP* p = controlador();
        p->Button_manClick();
        QCOMPARE(p->marcoEdicion->title(), QStringLiteral(" Ingrese Potencia %"));
        aceptar(p, "100");
        const QList<QByteArray> esperado{trama(1, F5, 228, 2), trama(1, F5, 236, 1000)};
        QCOMPARE(enviado(), esperado);
        QVERIFY(!p->marcoEdicion->isVisible());
        QCOMPARE(linea->sim.registro(1, sim::reg::Modo), qint16(2));

        linea->sim.limpiarPeticiones();
        p->Button_manClick();
        aceptar(p, "0");
        QCOMPARE(enviado(), (QList<QByteArray>{trama(1, F5, 228, 2), trama(1, F5, 236, 0)}));
    }

    void potenciaManualFueraDeRango_data()
    {
        QTest::addColumn<QString>("texto");
        QTest::newRow("101") << "101";
        QTest::newRow("-1") << "-1";
        QTest::newRow("decimal") << "50.5";
        QTest::newRow("letters") << "x";
        QTest::newRow("empty") << "";
        QTest::newRow("huge") << "99999999999";
    }
    void potenciaManualFueraDeRango()
    {
        QFETCH(QString, texto);
        TFormaInstP* p = controlador();
        p->Button_manClick();
        aceptar(p, texto);
        QVERIFY(enviado().isEmpty());
        QVERIFY(p->marcoEdicion->isVisible());
        QCOMPARE(p->editorValor->selectedText(), texto);
        // Refused with the range said, as the set point says its own.
        QCOMPARE(guion->mostrados.size(), 1);
        QVERIFY(guion->mostrados[0].texto.contains(QStringLiteral("entre 0 y 100")));
    }

    void automatico()
    {
        linea->sim.setRegistro(1, sim::reg::Modo, 2);
        controlador()->Button_autoClick();
        QCOMPARE(enviado(), (QList<QByteArray>{trama(1, F5, 228, 0)}));
        QCOMPARE(linea->sim.registro(1, sim::reg::Modo), qint16(0));
    }

    void usaLaDireccionDelPanel()
    {
        // The panel talks to its own slave address, not its instrument number.
        modelo->Estados[1].Direccion = 2;
        controlador()->Button_autoClick();
        QCOMPARE(enviado(), (QList<QByteArray>{trama(2, F5, 228, 0)}));
    }

    void parametrosDePrograma()
    {
        TFormaInstP* p = programador();
        p->visoresProgramaDblClick();
        QVERIFY(p->marcoPrograma->isVisible());
        QCOMPARE(p->marcoPrograma->title(), QStringLiteral("Parámetros de Programa"));
        QCOMPARE(p->editorPrograma->text(), QStringLiteral("00"));
        QCOMPARE(p->editorTiempo->text(), QStringLiteral("0000"));
        p->editorPrograma->setText("7");
        p->editorSegmento->setText("3");
        p->editorTiempo->setText("45");
        p->botonEnviarProgramaClick();

        QCOMPARE(p->NProg->text(), QStringLiteral("07"));
        QCOMPARE(p->NSeg->text(), QStringLiteral("03"));
        QCOMPARE(p->Temp->text(), QStringLiteral("0045"));
        const QList<QByteArray> esperado{trama(2, F5, 252, 7), trama(2, F5, 268, 3), trama(2, F6, 300, 45)};
        QCOMPARE(enviado(), esperado);
        QVERIFY(!p->marcoPrograma->isVisible());

        // Longer texts stay as they are.
        linea->sim.limpiarPeticiones();
        p->visoresProgramaDblClick();
        p->editorPrograma->setText("50");
        p->editorSegmento->setText("12");
        p->editorTiempo->setText("12345");
        p->botonEnviarProgramaClick();
        QCOMPARE(p->Temp->text(), QStringLiteral("12345"));
        QCOMPARE(enviado(),
                 (QList<QByteArray>{trama(2, F5, 252, 50), trama(2, F5, 268, 12), trama(2, F6, 300, 12345)}));
    }

    void parametrosDeProgramaEnRegistrosConfigurados()
    {
        modelo->Avanzadas1[2].NProg = 1000;
        modelo->Avanzadas1[2].NSeg = 1001;
        modelo->Avanzadas1[2].Temp = 1002;
        TFormaInstP* p = programador();
        p->visoresProgramaDblClick();
        p->editorPrograma->setText("1");
        p->editorSegmento->setText("2");
        p->editorTiempo->setText("3");
        p->botonEnviarProgramaClick();
        QCOMPARE(enviado(),
                 (QList<QByteArray>{trama(2, F5, 1000, 1), trama(2, F5, 1001, 2), trama(2, F6, 1002, 3)}));
    }

    void parametrosDeProgramaInvalidos_data()
    {
        QTest::addColumn<QString>("programa");
        QTest::addColumn<QString>("segmento");
        QTest::addColumn<QString>("tiempo");
        QTest::addColumn<bool>("mensaje");
        QTest::newRow("program 51") << "51" << "1" << "1" << false;
        QTest::newRow("program -1") << "-1" << "1" << "1" << false;
        QTest::newRow("program letters") << "x7" << "1" << "1" << true;
        QTest::newRow("program empty") << "" << "1" << "1" << true;
        QTest::newRow("segment letters") << "1" << "a" << "1" << true;
        QTest::newRow("time empty") << "1" << "1" << "" << true;
        QTest::newRow("time huge") << "1" << "1" << "70000" << false;
        QTest::newRow("time negative") << "1" << "1" << "-5" << false;
        QTest::newRow("segment huge") << "1" << "99999999999" << "1" << true;
    }
    void parametrosDeProgramaInvalidos()
    {
        QFETCH(QString, programa);
        QFETCH(QString, segmento);
        QFETCH(QString, tiempo);
        QFETCH(bool, mensaje);
        TFormaInstP* p = programador();
        p->visoresProgramaDblClick();
        p->editorPrograma->setText(programa);
        p->editorSegmento->setText(segmento);
        p->editorTiempo->setText(tiempo);
        p->botonEnviarProgramaClick();
        QVERIFY(enviado().isEmpty());
        QVERIFY(p->marcoPrograma->isVisible());
        QCOMPARE(p->NProg->text(), QStringLiteral("00"));
        QCOMPARE(p->Temp->text(), QStringLiteral("0000"));
        QCOMPARE(guion->mostrados.size(), mensaje ? 1 : 0);
        p->botonCancelarProgramaClick();
        QVERIFY(!p->marcoPrograma->isVisible());
        QVERIFY(enviado().isEmpty());
    }

    void tecleoNoEnteroQuedaSeleccionado()
    {
        TFormaInstP* p = programador();
        p->visoresProgramaDblClick();
        p->editorSegmento->setFocus();
        p->editorSegmento->end(false);
        QTest::keyClicks(p->editorSegmento, "x");
        QCOMPARE(p->editorSegmento->text(), QStringLiteral("00x"));
        QCOMPARE(p->editorSegmento->selectedText(), QStringLiteral("00x"));
        // An integer typed over it is left alone.
        QTest::keyClicks(p->editorSegmento, "4");
        QCOMPARE(p->editorSegmento->text(), QStringLiteral("4"));
        QVERIFY(!p->editorSegmento->hasSelectedText());
        // Any change is checked, not only keystrokes.
        p->editorTiempo->setText(QStringLiteral("1,5"));
        QCOMPARE(p->editorTiempo->selectedText(), QStringLiteral("1,5"));
        p->editorPrograma->setText(QString());
        QVERIFY(p->editorPrograma->hasFocus());
        QVERIFY(enviado().isEmpty());
    }

    void setPointPorElHiloDeLaLinea()
    {
        HiloDeLinea& h = ponerHilo();
        h.retenerRespuestas(true);
        TFormaInstP* p = controlador();
        pedirSetPoint(p, "25.5");

        // Written on the other thread, but until the answer is back the
        // overlay stays open and takes no second value, not even by Enter.
        QTRY_COMPARE(linea->sim.registro(1, sim::reg::SP1), qint16(255));
        QCoreApplication::processEvents();
        QVERIFY(p->marcoEdicion->isVisible());
        QVERIFY(!p->BotonAceptar->isEnabled());
        QCOMPARE(p->SetPoint->text(), QStringLiteral("25.5"));
        p->editorValor->setText(QStringLiteral("40"));
        QTest::keyClick(p->editorValor, Qt::Key_Return);
        QTest::mouseClick(p->BotonAceptar, Qt::LeftButton);

        h.retenerRespuestas(false);
        QTRY_VERIFY(!p->marcoEdicion->isVisible());
        QVERIFY(p->BotonAceptar->isEnabled());
        QCOMPARE(p->SetPoint->text(), QStringLiteral("25.5"));
        QTest::qWait(100);
        QCOMPARE(h.hechos(), 1);
        QCOMPARE(enviado(), (QList<QByteArray>{trama(1, F1, 16440, 0), trama(1, F6, 4, 255)}));
        QCOMPARE(linea->sim.registro(1, sim::reg::SP1), qint16(255));
        QVERIFY(guion->mostrados.isEmpty());

        // A value the instrument's decimals cannot hold comes back refused:
        // the display shows what it showed before and the overlay takes another.
        linea->sim.setRegistro(1, sim::reg::Decimales, 2);
        linea->sim.limpiarPeticiones();
        pedirSetPoint(p, "400");
        QTRY_VERIFY(p->BotonAceptar->isEnabled());
        QVERIFY(p->marcoEdicion->isVisible());
        QCOMPARE(p->SetPoint->text(), QStringLiteral("25.5"));
        QCOMPARE(p->editorValor->selectedText(), QStringLiteral("400"));
        QCOMPARE(enviado(), (QList<QByteArray>{trama(1, F1, 16440, 0)}));
        aceptar(p, "40");
        QTRY_VERIFY(!p->marcoEdicion->isVisible());
        QCOMPARE(linea->sim.registro(1, sim::reg::SP1), qint16(4000));
    }

    void setPointPorElHiloConLecturaFallida()
    {
        ponerHilo();
        linea->sim.setFalla(1, sim::Falla::Silencio);
        TFormaInstP* p = controlador();
        pedirSetPoint(p, "30");
        QVERIFY(p->marcoEdicion->isVisible());
        QTRY_VERIFY(!p->marcoEdicion->isVisible());
        QCOMPARE(guion->textos(), QStringList{QStringLiteral("Error al leer")});
        QVERIFY(p->BotonAceptar->isEnabled());
        for (const QByteArray& t : enviado())
            QCOMPARE(quint8(t[1]), F1);

        // The overlay works again afterwards.
        linea->sim.setFalla(1, sim::Falla::Ninguna);
        pedirSetPoint(p, "31");
        QTRY_VERIFY(!p->marcoEdicion->isVisible());
        QCOMPARE(linea->sim.registro(1, sim::reg::SP1), qint16(310));
    }

    void panelCerradoAntesDeLaRespuesta_data()
    {
        QTest::addColumn<bool>("antesDeLaLinea");
        QTest::newRow("closed while the answer is on its way") << false;
        QTest::newRow("closed before the work reached the line") << true;
    }
    void panelCerradoAntesDeLaRespuesta()
    {
        QFETCH(bool, antesDeLaLinea);
        HiloDeLinea& h = ponerHilo();
        h.retenerTrabajo(antesDeLaLinea);
        h.retenerRespuestas(!antesDeLaLinea);
        pedirSetPoint(controlador(), "12.5");
        if (!antesDeLaLinea)
            QTRY_COMPARE(h.hechos(), 1);
        ventana.reset();

        h.retenerTrabajo(false);
        h.retenerRespuestas(false);
        QTRY_COMPARE(h.hechos(), 1);
        QTest::qWait(100);
        // The command still reached the instrument; nobody was told.
        QCOMPARE(linea->sim.registro(1, sim::reg::SP1), qint16(125));
        QVERIFY(guion->mostrados.isEmpty());
    }

    void setPointSinAdquisicionNoSeEnvia()
    {
        int pedidos = 0;
        ctx->encolar = [&pedidos](QObject*, TrabajoLinea) {
            ++pedidos;
            return false;
        };
        TFormaInstP* p = controlador();
        ResultadoLectura r;
        r.SetPoint = QStringLiteral("12.5");
        p->mostrarLectura(r);

        pedirSetPoint(p, "30");
        QCOMPARE(pedidos, 1);
        QVERIFY(!p->marcoEdicion->isVisible());
        QCOMPARE(p->SetPoint->text(), QStringLiteral("12.5"));
        QVERIFY(p->BotonAceptar->isEnabled());
        QTest::qWait(50);
        QVERIFY(enviado().isEmpty());
        QVERIFY(guion->mostrados.isEmpty());

        p->SetPointDblClick();
        QCOMPARE(p->editorValor->text(), QStringLiteral("12.5"));
    }

    void otrosComandosPorElHilo()
    {
        // Fire and forget: the overlays close at once and the commands reach
        // the line in the order they were given.
        HiloDeLinea& h = ponerHilo();
        h.retenerTrabajo(true);
        TFormaInstP* c = controlador();
        c->Button_manClick();
        aceptar(c, "40");
        QVERIFY(!c->marcoEdicion->isVisible());
        c->Button_autoClick();
        TFormaInstP* p = programador();
        p->visoresProgramaDblClick();
        p->editorPrograma->setText("7");
        p->editorSegmento->setText("3");
        p->editorTiempo->setText("45");
        p->botonEnviarProgramaClick();
        QVERIFY(!p->marcoPrograma->isVisible());
        QVERIFY(enviado().isEmpty());

        h.retenerTrabajo(false);
        QTRY_COMPARE(h.hechos(), 3);
        const QList<QByteArray> esperado{trama(1, F5, 228, 2), trama(1, F5, 236, 400), trama(1, F5, 228, 0),
                                         trama(2, F5, 252, 7),  trama(2, F5, 268, 3),   trama(2, F6, 300, 45)};
        QCOMPARE(enviado(), esperado);
        QCOMPARE(linea->sim.registro(1, sim::reg::Modo), qint16(0));
    }
};

QTEST_MAIN(TstPanelComandos)
#include "tst_panel_comandos.moc"
