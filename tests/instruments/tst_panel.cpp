// The panel without a line: what a reading puts on it, the enabled and
// disabled looks, the display groups and the compact layout, the commands of
// the button bar, title and unit, and the communication alarm: its flashing
// lamp and its reset, by the operator or by a probe that was answered.

#include "acquisition/adquisicion.h"
#include "banco_paneles.h"
#include "dialogos_guion.h"
#include "instruments/colores.h"
#include "instruments/inst_form.h"

#include <QApplication>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::test;

class TstPanel : public QObject {
    Q_OBJECT

    std::unique_ptr<Modelo> modelo;
    RegistroVentanas ventanas;
    EnlaceModbus enlace;
    TEstadoPuerto puerto;
    std::unique_ptr<ContextoInstrumentos> ctx;
    std::unique_ptr<TInstForm> ventana;
    std::unique_ptr<DialogosGuion> guion;
    QList<int> tablas, propiedades;

    void construir(const QList<int>& tipos, bool habilitados = true)
    {
        modelo = std::make_unique<Modelo>();
        ventanas = RegistroVentanas{};
        prepararModelo(*modelo, tipos, habilitados);
        ctx = std::make_unique<ContextoInstrumentos>(*modelo, ventanas, enlace, puerto);
        ctx->abrirTabla = [this](int n) { tablas << n; };
        ctx->abrirPropiedades = [this](int n) { propiedades << n; };
        ventana = std::make_unique<TInstForm>(*ctx);
    }

    QWidget* alFrente(TFormaInstP* p)
    {
        return p->barraBotones->childAt(p->BotonConfig->geometry().center());
    }

    // A reading that latches the panel's communication alarm.
    void enganchar(TFormaInstP* p)
    {
        ResultadoLectura r;
        r.fallas = 5;
        r.alarmaComEnganchada = true;
        p->consultando();
        p->mostrarLectura(r);
        QVERIFY(modelo->Estados[p->Tag()].AlarmaCom);
        QVERIFY(p->ComLed->Flash());
        QCOMPARE(alFrente(p), p->BotonReset);
    }

    // Reset done: nothing latched, the lamp still, Config in front again.
    void verificarRestablecido(TFormaInstP* p)
    {
        QVERIFY(!modelo->Estados[p->Tag()].AlarmaCom);
        QVERIFY(!p->ComLed->Flash());
        QVERIFY(!p->resetAlFrente());
        QCOMPARE(alFrente(p), p->BotonConfig);
    }

private slots:
    void init()
    {
        guion = std::make_unique<DialogosGuion>();
        tablas.clear();
        propiedades.clear();
    }
    void cleanup()
    {
        ventana.reset();
        ctx.reset();
        modelo.reset();
        guion.reset();
    }

    void aspectoInicial()
    {
        construir({1});
        TFormaInstP* p = ventana->panel(1);
        QCOMPARE(p->size(), QSize(191, 207));
        QCOMPARE(p->Adquirir->text(), QStringLiteral("Adquirir"));
        QCOMPARE(p->Hab->text(), QStringLiteral("Hab"));
        QCOMPARE(p->BotonConfig->text(), QStringLiteral("Config"));
        QCOMPARE(p->botonCancelarPrograma->text(), QStringLiteral("&Cancelar"));
        QCOMPARE(p->marcoPrograma->title(), QStringLiteral("Parámetros de Programa"));
        QCOMPARE(p->Titulo(), QStringLiteral("Instrumento1"));
        QCOMPARE(p->Unidad->text(), QStringLiteral("ºC"));
        QCOMPARE(p->valorActual->text(), QStringLiteral("00.00"));
        QCOMPARE(p->Temp->text(), QStringLiteral("0000"));
        QCOMPARE(p->valorActual->geometry(), QRect(12, 33, 92, 31));
        QCOMPARE(p->SetPoint->geometry(), QRect(17, 64, 87, 29));
        QCOMPARE(p->Potencia->geometry(), QRect(10, 140, 111, 13));
        QCOMPARE(p->Prog->pos(), QPoint(8, 120));
        QCOMPARE(p->seg->pos(), QPoint(48, 120));
        QCOMPARE(p->etiquetaTiempo->pos(), QPoint(88, 120));
        QCOMPARE(p->BotonReset->geometry(), p->BotonConfig->geometry());
        QCOMPARE(alFrente(p), p->BotonConfig);
        QCOMPARE(p->valorActual->toolTip(), QStringLiteral("Valor Actual"));
        QCOMPARE(p->Prog->toolTip(), QStringLiteral("Indica el número de programa en ejecución"));
        QCOMPARE(p->etiquetaTiempo->toolTip(),
                 QStringLiteral("Indica el número del segmento del programa en ejecución"));
        QCOMPARE(p->Hab->property("Tag").toInt(), 1);
        QCOMPARE(p->SetPoint->property("Tag").toInt(), 1);
        QCOMPARE(modelo->Estados[1].Direccion, quint8(1));
        QCOMPARE(ventanas.Paneles[1], static_cast<QObject*>(p));
        QVERIFY(modelo->Estados[1].Vivo);
        QCOMPARE(modelo->Estados[1].Titulo, QStringLiteral("Instrumento1"));
    }

    void lecturaEnElPanel()
    {
        construir({1});
        TFormaInstP* p = ventana->panel(1);
        ResultadoLectura r;
        r.valorActual = QStringLiteral("25.3");
        r.NProg = QStringLiteral("05");
        r.Temp = QStringLiteral("0042");
        r.Potencia = BarraLeida{450, 1000, QStringLiteral("Pot:45%")};
        r.Alarma1 = BarraLeida{200, 400, QStringLiteral("AL1:50%")};
        r.Lecturas[kPotencia] = QStringLiteral("45");
        r.Lecturas[kAlarma1] = QStringLiteral("50");
        r.ColoresAlarma[0] = 255;
        r.ColoresAlarma[2] = 0x00FF00;
        p->mostrarLectura(r);

        QCOMPARE(p->valorActual->text(), QStringLiteral("25.3"));
        QCOMPARE(p->SetPoint->text(), QStringLiteral("00.00"));   // not read: kept
        QCOMPARE(p->NProg->text(), QStringLiteral("05"));
        QCOMPARE(p->NSeg->text(), QStringLiteral("00"));
        QCOMPARE(p->Temp->text(), QStringLiteral("0042"));
        QCOMPARE(p->Potencia->progreso(), 450);
        QCOMPARE(p->Potencia->maximo(), 1000);
        QCOMPARE(p->Potencia->texto(), QStringLiteral("45"));
        QCOMPARE(p->etiquetaPotencia->text(), QStringLiteral("Pot:45%"));
        QCOMPARE(p->Alarma1->maximo(), 400);
        QCOMPARE(p->etiquetaAlarma1->text(), QStringLiteral("AL1:50%"));
        QCOMPARE(p->Alarma2->ForeColor(), 255);
        QCOMPARE(p->Alarma3->ForeColor(), modelo->Avanzadas1[1].A3colorOff);
        QCOMPARE(p->Alarma4->ForeColor(), 0x00FF00);
        QVERIFY(!p->ComLed->Flash());

        // A later reading that read nothing leaves every display as it was.
        p->mostrarLectura(ResultadoLectura{});
        QCOMPARE(p->valorActual->text(), QStringLiteral("25.3"));
        QCOMPARE(p->etiquetaPotencia->text(), QStringLiteral("Pot:45%"));
        QCOMPARE(p->Alarma2->ForeColor(), 255);
    }

    void alarmaDeComunicacionYReconocimiento()
    {
        construir({0});
        TFormaInstP* p = ventana->panel(1);
        QVERIFY(!modelo->ArrayConfig[1].SalvarTabla);
        ResultadoLectura r;
        r.fallas = 5;
        r.alarmaComEnganchada = true;
        p->consultando();
        p->mostrarLectura(r);

        QVERIFY(modelo->Estados[1].AlarmaCom);
        QVERIFY(p->ComLed->Flash());
        QCOMPARE(p->ComLed->colorReposo(), color::kGranate);
        QVERIFY(p->resetAlFrente());
        QCOMPARE(alFrente(p), p->BotonReset);

        // Disabling stops the lamp; enabling again while latched flashes it again.
        p->HabClick();
        QVERIFY(!p->ComLed->Flash());
        QCOMPARE(alFrente(p), p->BotonReset);
        p->HabClick();
        QVERIFY(p->ComLed->Flash());

        p->BotonResetClick();
        QVERIFY(!modelo->Estados[1].AlarmaCom);
        QVERIFY(!p->ComLed->Flash());
        QCOMPARE(p->ComLed->ForeColor(), color::kGranate);
        QCOMPARE(alFrente(p), p->BotonConfig);
        // Recording resumes with the polling, even when it was off before.
        QVERIFY(modelo->ArrayConfig[1].SalvarTabla);
        QCOMPARE(p->Adquirir->text(), QStringLiteral("No Adquirir"));
    }

    // Values that are not current keep their place, drawn dim, until the
    // next good reading: before the first one and while in communication alarm.
    void valoresNoActualesAtenuados()
    {
        construir({0});
        TFormaInstP* p = ventana->panel(1);
        QVERIFY(!p->vigente());
        QVERIFY(p->valorActual->atenuado() && p->Potencia->atenuado());
        ResultadoLectura r;
        r.valorActual = QStringLiteral("25.3");
        r.habilitadas = 1;
        p->mostrarLectura(r);
        QVERIFY(p->vigente());
        QVERIFY(!p->valorActual->atenuado() && !p->SetPoint->atenuado() && !p->Potencia->atenuado());
        QVERIFY(p->marcoTitulo->toolTip().isEmpty());

        enganchar(p);
        QVERIFY(!p->vigente());
        QVERIFY(p->valorActual->atenuado());
        QCOMPARE(p->valorActual->text(), QStringLiteral("25.3"));   // kept
        QVERIFY(p->marcoTitulo->toolTip().contains(QStringLiteral("comunicación")));
        p->BotonResetClick();
        QVERIFY(!p->vigente());   // nothing read since
        p->mostrarLectura(r);
        QVERIFY(p->vigente() && !p->valorActual->atenuado());

        // Acquisition stopped.
        p->ponerVigente(false, QStringLiteral("Adquisición detenida"));
        QVERIFY(p->valorActual->atenuado() && p->Alarma1->atenuado());
    }

    void aspectoDeshabilitadoYHabilitado()
    {
        construir({1}, false);
        TFormaInstP* p = ventana->panel(1);
        QVERIFY(!p->Habilitado());
        for (QWidget* w : std::initializer_list<QWidget*>{p->Button_auto, p->Button_man, p->valorActual, p->SetPoint,
                                                           p->Potencia, p->marcoTitulo, p->BotonConfig, p->BotonTabla,
                                                           p->Adquirir, p->Unidad})
            QVERIFY2(!w->isEnabled(), qPrintable(w->metaObject()->className()));
        QVERIFY(p->Hab->isEnabled());
        QVERIFY(p->BotonReset->isEnabled());
        QCOMPARE(p->marcoTitulo->colorTitulo(), color::kGris);
        QCOMPARE(p->Potencia->colorBarra(), color::kPlata);
        QCOMPARE(p->Alarma1->colorBarra(), color::kPlata);
        for (TAlarma* a : {p->Alarma2, p->Alarma3, p->Alarma4, p->ComLed})
            QCOMPARE(a->ForeColor(), color::kPlata);

        TAvanzadas1& a = modelo->Avanzadas1[1];
        a.Potcolor = 0x123456;
        a.A1color = 0x654321;
        a.A3colorOff = 0x00AA00;
        a.VaColor = 0x0000FF;
        a.NombrePot = QStringLiteral("Salida");
        a.NombreAl3 = QStringLiteral("Puerta");
        a.NombreSP = QStringLiteral("Consigna");
        p->HabClick();
        QVERIFY(p->Habilitado());
        QVERIFY(modelo->ArrayConfig[1].Habilitado);
        QVERIFY(modelo->Estados[1].Habilitado);
        QVERIFY(p->Adquirir->isEnabled());
        QCOMPARE(p->marcoTitulo->colorTitulo(), color::kActiveCaption);
        QCOMPARE(p->Potencia->colorBarra(), 0x123456);
        QCOMPARE(p->Alarma1->colorBarra(), 0x654321);
        QCOMPARE(p->Alarma3->ForeColor(), 0x00AA00);
        QCOMPARE(p->ComLed->ForeColor(), color::kGranate);
        QCOMPARE(p->valorActual->colorFuente(), 0x0000FF);
        QCOMPARE(p->etiquetaPotencia->text(), QStringLiteral("Salida"));
        QCOMPARE(p->etiquetaAlarma3->text(), QStringLiteral("Puerta"));
        QCOMPARE(p->SetPoint->toolTip(), QStringLiteral("Consigna"));
    }

    void habIgnoradoMientrasCarga()
    {
        construir({1}, false);
        TFormaInstP* p = ventana->panel(1);
        modelo->Cargando = true;
        p->HabClick();
        QVERIFY(!p->Habilitado());
        QVERIFY(!p->Adquirir->isEnabled());
    }

    void deshabilitarConRegistroPendientePregunta()
    {
        construir({1});
        TFormaInstP* p = ventana->panel(1);
        p->setTitulo(QStringLiteral("Horno"));
        modelo->ArrayConfig[1].SalvarTabla = true;
        p->Adquirir->setText(QStringLiteral("No Adquirir"));
        p->setRegistroPendiente(true);

        guion->respuestas.enqueue(Respuesta::No);
        p->HabClick();
        QCOMPARE(guion->mostrados.size(), 1);
        QCOMPARE(guion->mostrados[0].titulo, QStringLiteral("ATENCION: PREGUNTA!!!"));
        QCOMPARE(guion->mostrados[0].texto,
                 QStringLiteral("¿Está seguro de DESHABILITAR y TERMINAR la adquisición del instrumento:Horno?"));
        QCOMPARE(guion->mostrados[0].icono, Icono::Pregunta);
        QCOMPARE(guion->mostrados[0].botones, Botones::SiNo);
        QVERIFY(p->Habilitado());
        QVERIFY(modelo->ArrayConfig[1].SalvarTabla);

        guion->respuestas.enqueue(Respuesta::Si);
        p->HabClick();
        QVERIFY(!p->Habilitado());
        QVERIFY(!modelo->ArrayConfig[1].Habilitado);
        QVERIFY(!modelo->ArrayConfig[1].SalvarTabla);
        QVERIFY(!p->RegistroPendiente());
        QCOMPARE(p->Adquirir->text(), QStringLiteral("Adquirir"));
    }

    void deshabilitarSinRegistroPendienteNoPreguntaYApagaElRegistro()
    {
        construir({1});
        TFormaInstP* p = ventana->panel(1);
        modelo->ArrayConfig[1].SalvarTabla = true;
        p->HabClick();
        QVERIFY(guion->mostrados.isEmpty());
        QVERIFY(!p->Habilitado());
        QVERIFY(!modelo->ArrayConfig[1].SalvarTabla);
    }

    void adquirirSinPartida()
    {
        construir({1});
        TFormaInstP* p = ventana->panel(1);
        p->AdquirirClick();
        QVERIFY(guion->mostrados.isEmpty());
        QVERIFY(modelo->ArrayConfig[1].SalvarTabla);
        QCOMPARE(p->Adquirir->text(), QStringLiteral("No Adquirir"));

        guion->respuestas.enqueue(Respuesta::No);
        p->AdquirirClick();
        QCOMPARE(guion->mostrados.last().texto,
                 QStringLiteral("¿Esta Ud. seguro que desea terminar la adquisición de datos?"));
        QVERIFY(modelo->ArrayConfig[1].SalvarTabla);

        guion->respuestas.enqueue(Respuesta::Si);
        p->AdquirirClick();
        QVERIFY(!modelo->ArrayConfig[1].SalvarTabla);
        QCOMPARE(p->Adquirir->text(), QStringLiteral("Adquirir"));
    }

    void adquirirConPartida()
    {
        construir({1});
        modelo->Config.Pedir_Partida = true;
        TFormaInstP* p = ventana->panel(1);
        const QString aviso = QStringLiteral("No ha ingresado nombre para la Partida. La adquisición no ha iniciado.");

        guion->entradas.enqueue(std::nullopt);   // cancelled
        p->AdquirirClick();
        QCOMPARE(guion->mostrados.size(), 2);
        QVERIFY(guion->mostrados[0].esEntrada);
        QCOMPARE(guion->mostrados[0].titulo, QStringLiteral("Código de la partida"));
        QCOMPARE(guion->mostrados[0].texto, QString());
        QCOMPARE(guion->mostrados[1].texto, aviso);
        QVERIFY(!modelo->ArrayConfig[1].SalvarTabla);

        guion->entradas.enqueue(QStringLiteral("   "));
        p->AdquirirClick();
        QCOMPARE(guion->mostrados.last().texto, aviso);
        QVERIFY(!modelo->ArrayConfig[1].SalvarTabla);
        QCOMPARE(p->Adquirir->text(), QStringLiteral("Adquirir"));

        // The code is kept as typed.
        guion->entradas.enqueue(QStringLiteral(" L-2024-17"));
        p->AdquirirClick();
        QVERIFY(modelo->ArrayConfig[1].SalvarTabla);
        QCOMPARE(modelo->Estados[1].Partida, QStringLiteral(" L-2024-17"));
        QCOMPARE(p->Adquirir->text(), QStringLiteral("No Adquirir"));
    }

    void tituloYUnidad()
    {
        construir({0, 1});
        TFormaInstP* p = ventana->panel(2);
        p->marcoTituloDblClick();
        QVERIFY(p->marcoEdicion->isVisibleTo(p));
        QCOMPARE(p->marcoEdicion->title(), QStringLiteral(" Cambiar Titulo"));
        QCOMPARE(p->editorValor->text(), QStringLiteral("Instrumento2"));
        QCOMPARE(p->editorValor->selectedText(), QStringLiteral("Instrumento2"));
        p->editorValor->setText(QStringLiteral("Horno de temple"));
        p->BotonAceptarClick();
        QVERIFY(!p->marcoEdicion->isVisibleTo(p));
        QCOMPARE(p->Titulo(), QStringLiteral("Horno de temple"));
        QCOMPARE(modelo->ArrayConfig[2].Titulo, QStringLiteral("Horno de temple"));
        QCOMPARE(modelo->Estados[2].Titulo, QStringLiteral("Horno de temple"));

        p->UnidadDblClick();
        QCOMPARE(p->marcoEdicion->title(), QStringLiteral(" Cambiar Unidad"));
        p->editorValor->setText(QStringLiteral("ºF"));
        p->BotonAceptarClick();
        QCOMPARE(p->Unidad->text(), QStringLiteral("ºF"));
        QCOMPARE(modelo->ArrayConfig[2].Unidad, QStringLiteral("ºF"));
        QCOMPARE(modelo->Estados[2].Unidad, QStringLiteral("ºF"));

        // Cancel changes nothing; the other panel is untouched.
        p->marcoTituloDblClick();
        p->editorValor->setText(QStringLiteral("otro"));
        p->BotonCancelarClick();
        QCOMPARE(p->Titulo(), QStringLiteral("Horno de temple"));
        QCOMPARE(modelo->ArrayConfig[1].Titulo, QStringLiteral("Instrumento1"));
    }

    void gruposYDisenoCompacto()
    {
        construir({0, 1});
        TFormaInstP* c = ventana->panel(1);
        TFormaInstP* p = ventana->panel(2);
        for (QWidget* w :
             std::initializer_list<QWidget*>{c->NProg, c->NSeg, c->Temp, c->Prog, c->seg, c->etiquetaTiempo})
            QVERIFY(!w->isVisibleTo(c));
        QVERIFY(!modelo->Avanzadas1[1].PCheckNProg);
        QVERIFY(!modelo->Avanzadas1[1].PCheckNSeg);
        QVERIFY(!modelo->Avanzadas1[1].PCheckTemp);
        QCOMPARE(c->Potencia->y(), 110);
        QCOMPARE(c->Alarma1->y(), 125);
        QCOMPARE(c->etiquetaPotencia->y(), 108);
        QCOMPARE(c->etiquetaAlarma1->y(), 125);

        QVERIFY(p->NProg->isVisibleTo(p));
        QVERIFY(p->etiquetaTiempo->isVisibleTo(p));
        QCOMPARE(p->Potencia->y(), 140);
        QVERIFY(modelo->Avanzadas1[2].PCheckNProg);

        TAvanzadas1& a = modelo->Avanzadas1[2];
        a.PCheckVA = false;
        a.PCheckAl3 = false;
        a.PCheckPOT = false;
        p->aplicarGrupos();
        QVERIFY(!p->valorActual->isVisibleTo(p));
        QVERIFY(!p->Alarma3->isVisibleTo(p));
        QVERIFY(!p->etiquetaAlarma3->isVisibleTo(p));
        QVERIFY(!p->Potencia->isVisibleTo(p));
        QVERIFY(!p->etiquetaPotencia->isVisibleTo(p));
        QVERIFY(p->SetPoint->isVisibleTo(p));
        QVERIFY(p->Alarma4->isVisibleTo(p));
    }

    void tablaYConfig()
    {
        construir({0, 1});
        ventana->panel(2)->BotonTablaClick();
        ventana->panel(1)->BotonConfigClick();
        QCOMPARE(tablas, QList<int>{2});
        QCOMPARE(propiedades, QList<int>{1});

        ventanas.VentanasTabla[2].Abierta = true;
        ventana->panel(2)->Activafalse();
        QVERIFY(!ventanas.VentanasTabla[2].Abierta);

        // With no callbacks the buttons do nothing.
        ctx->abrirTabla = nullptr;
        ctx->abrirPropiedades = nullptr;
        ventana->panel(1)->BotonTablaClick();
        ventana->panel(1)->BotonConfigClick();
        QCOMPARE(tablas.size(), 1);
    }

    void automaticoConPuertoCerradoNoCuelga()
    {
        // The port is closed here: the command fails on the line and the panel carries on.
        construir({0});
        enlace.setRetries(0);
        ventana->panel(1)->Button_autoClick();
        QVERIFY(guion->mostrados.isEmpty());
    }

    void lamparaDeComunicacionParpadeaYDescansa()
    {
        construir({0});
        TFormaInstP* p = ventana->panel(1);
        ventana->show();
        enganchar(p);

        // Both phases of the flashing must be told apart from each other.
        const int ciclo = p->ComLed->FlashOn() + p->ComLed->FlashOff();
        QSet<qint32> vistos;
        QElapsedTimer reloj;
        reloj.start();
        while (reloj.elapsed() < 2 * ciclo + 200 && vistos.size() < 3) {
            vistos.insert(p->ComLed->ForeColor());
            QTest::qWait(20);
        }
        vistos.remove(color::kGranate);   // the first moments, before the first phase
        QCOMPARE(vistos.size(), 2);
        QVERIFY(vistos.contains(p->ComLed->FlashColor()));
        QVERIFY(vistos.contains(p->ComLed->FlashOffColor()));

        // Reset in the bright phase: the lamp goes back to its resting colour and stays.
        QTRY_COMPARE(p->ComLed->ForeColor(), p->ComLed->FlashColor());
        p->BotonResetClick();
        verificarRestablecido(p);
        QCOMPARE(p->ComLed->ForeColor(), color::kGranate);
        QTest::qWait(ciclo + 100);
        QCOMPARE(p->ComLed->ForeColor(), color::kGranate);

        // Latched again later, it flashes again.
        enganchar(p);
        QTRY_COMPARE(p->ComLed->ForeColor(), p->ComLed->FlashColor());
        QTRY_COMPARE(p->ComLed->ForeColor(), p->ComLed->FlashOffColor());
    }

    void restablecerPideLaPartida()
    {
        construir({0});
        TFormaInstP* p = ventana->panel(1);
        const QString aviso = QStringLiteral("No ha ingresado nombre para la Partida. La adquisición no ha iniciado.");
        // Recording began before batch codes were asked for: it has none.
        p->AdquirirClick();
        QCOMPARE(p->Adquirir->text(), QStringLiteral("No Adquirir"));
        modelo->Config.Pedir_Partida = true;

        // Cancelled: the alarm is reset all the same, recording is off.
        enganchar(p);
        guion->entradas.enqueue(std::nullopt);
        p->BotonResetClick();
        QCOMPARE(guion->mostrados.size(), 2);
        QVERIFY(guion->mostrados[0].esEntrada);
        QCOMPARE(guion->mostrados[0].titulo, QStringLiteral("Código de la partida"));
        QCOMPARE(guion->mostrados[1].texto, aviso);
        verificarRestablecido(p);
        QVERIFY(!modelo->ArrayConfig[1].SalvarTabla);
        QCOMPARE(p->Adquirir->text(), QStringLiteral("Adquirir"));

        // Blanks name no batch either.
        enganchar(p);
        guion->mostrados.clear();
        guion->entradas.enqueue(QStringLiteral("  "));
        p->BotonResetClick();
        QCOMPARE(guion->textos().last(), aviso);
        verificarRestablecido(p);
        QVERIFY(!modelo->ArrayConfig[1].SalvarTabla);
        QCOMPARE(p->Adquirir->text(), QStringLiteral("Adquirir"));

        enganchar(p);
        guion->mostrados.clear();
        guion->entradas.enqueue(QStringLiteral("L-88"));
        p->BotonResetClick();
        QCOMPARE(guion->mostrados.size(), 1);
        verificarRestablecido(p);
        QVERIFY(modelo->ArrayConfig[1].SalvarTabla);
        QCOMPARE(modelo->Estados[1].Partida, QStringLiteral("L-88"));
        QCOMPARE(p->Adquirir->text(), QStringLiteral("No Adquirir"));

        // With its batch code the next reset asks nothing.
        enganchar(p);
        guion->mostrados.clear();
        p->BotonResetClick();
        QVERIFY(guion->mostrados.isEmpty());
        verificarRestablecido(p);
        QVERIFY(modelo->ArrayConfig[1].SalvarTabla);
        QCOMPARE(modelo->Estados[1].Partida, QStringLiteral("L-88"));
        QCOMPARE(p->Adquirir->text(), QStringLiteral("No Adquirir"));
    }

    void restablecimientoAutomatico()
    {
        construir({0, 0});
        modelo->Config.Pedir_Partida = true;
        TFormaInstP* a = ventana->panel(1);
        TFormaInstP* b = ventana->panel(2);
        guion->entradas.enqueue(QStringLiteral("B-3"));
        b->AdquirirClick();
        guion->mostrados.clear();
        enganchar(a);
        enganchar(b);

        // A probe answered: the acquisition resets the model, the panel follows.
        // Nobody is there to be asked: instrument 1, with no batch code,
        // stays without recording.
        QVERIFY(!Adquisicion::restablecerAlarmaCom(*modelo, 1));
        a->alarmaRestablecida();
        verificarRestablecido(a);
        QVERIFY(!modelo->ArrayConfig[1].SalvarTabla);
        QCOMPARE(a->Adquirir->text(), QStringLiteral("Adquirir"));

        QVERIFY(Adquisicion::restablecerAlarmaCom(*modelo, 2));
        b->alarmaRestablecida();
        verificarRestablecido(b);
        QVERIFY(modelo->ArrayConfig[2].SalvarTabla);
        QCOMPARE(b->Adquirir->text(), QStringLiteral("No Adquirir"));
        QVERIFY(guion->mostrados.isEmpty());

        // Without batch codes recording resumes on its own.
        modelo->Config.Pedir_Partida = false;
        enganchar(a);
        QVERIFY(Adquisicion::restablecerAlarmaCom(*modelo, 1));
        a->alarmaRestablecida();
        verificarRestablecido(a);
        QCOMPARE(a->Adquirir->text(), QStringLiteral("No Adquirir"));
        QTest::qWait(a->ComLed->FlashOn() + 100);
        QCOMPARE(a->ComLed->ForeColor(), color::kGranate);
    }
};

QTEST_MAIN(TstPanel)
#include "tst_panel.moc"
