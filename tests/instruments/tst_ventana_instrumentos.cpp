// The instruments window: building every panel at start-up, adding and
// removing the last one, and where each panel goes (the two wrap rules and
// stepping back after a removal). With OMBRIX_CAPTURA set, a view of a window
// with four instruments is saved there as PNG.

#include "banco_paneles.h"
#include "dialogos_guion.h"
#include "instruments/colores.h"
#include "instruments/inst_form.h"

#include <QApplication>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QScrollBar>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::test;

class TstVentanaInstrumentos : public QObject {
    Q_OBJECT

    std::unique_ptr<Modelo> modelo;
    RegistroVentanas ventanas;
    EnlaceModbus enlace;
    TEstadoPuerto puerto;
    std::unique_ptr<ContextoInstrumentos> ctx;
    std::unique_ptr<TInstForm> ventana;
    DialogosGuion guion;
    int arranquesTimer = 0;
    QList<bool> quitar;

    void construir(const QList<int>& tipos, QWidget* principal = nullptr)
    {
        modelo = std::make_unique<Modelo>();
        ventanas = RegistroVentanas{};
        prepararModelo(*modelo, tipos);
        ctx = std::make_unique<ContextoInstrumentos>(*modelo, ventanas, enlace, puerto);
        ctx->iniciarTimer1 = [this] { ++arranquesTimer; };
        ctx->habilitarQuitar = [this](bool h) { quitar << h; };
        ctx->ventanaPrincipal = principal;
        ventana = std::make_unique<TInstForm>(*ctx);
    }

    QPoint lugar(int n) { return ventana->panel(n)->pos(); }
    QPoint posicion() { return QPoint(ventanas.PosX, ventanas.PosY); }

private slots:
    void init()
    {
        arranquesTimer = 0;
        quitar.clear();
    }
    void cleanup()
    {
        ventana.reset();
        ctx.reset();
        modelo.reset();
    }

    void sinInstrumentos()
    {
        construir({});
        QCOMPARE(ventana->windowTitle(), QStringLiteral("Instrumentos"));
        QCOMPARE(ventana->width(), 580);
        QCOMPARE(ventana->lienzo()->findChildren<TFormaInstP*>().size(), 0);
        QCOMPARE(arranquesTimer, 1);
        QVERIFY(quitar.isEmpty());
        QVERIFY(!modelo->Cargando);
        QCOMPARE(ventana->QuitarUltimo(), 0);
        QCOMPARE(modelo->CantidadAparatos, quint8(1));
    }

    void arranqueCierraLaFilaDespuesDeCruzarElBorde()
    {
        construir({0, 0, 1, 1, 0});
        QCOMPARE(lugar(1), QPoint(0, 0));
        QCOMPARE(lugar(2), QPoint(191, 0));
        QCOMPARE(lugar(3), QPoint(382, 0));
        QCOMPARE(lugar(4), QPoint(573, 0));   // sticks out beyond the 580 pixels
        QCOMPARE(lugar(5), QPoint(0, 207));
        QCOMPARE(ventanas.PosXFila, 764);
        QCOMPARE(posicion(), QPoint(191, 207));
        QCOMPARE(arranquesTimer, 1);
        QCOMPARE(quitar, QList<bool>{true});
        QVERIFY(!modelo->Cargando);
        for (int n = 1; n <= 5; ++n) {
            QCOMPARE(ventana->panel(n)->Tag(), n);
            QCOMPARE(ventanas.Paneles[n], static_cast<QObject*>(ventana->panel(n)));
        }
    }

    void agregarCierraLaFilaCuandoElSiguienteNoCabe()
    {
        construir({0});
        QCOMPARE(posicion(), QPoint(191, 0));
        TFormaInstP* p2 = ventana->AparatoCreate(1);
        QCOMPARE(p2->pos(), QPoint(191, 0));
        TFormaInstP* p3 = ventana->AparatoCreate(0);
        QCOMPARE(p3->pos(), QPoint(382, 0));
        // 573 + 191 > 580: the row is closed after the third.
        QCOMPARE(posicion(), QPoint(0, 207));
        QCOMPARE(ventanas.PosXFila, 573);
        TFormaInstP* p4 = ventana->AparatoCreate(1);
        QCOMPARE(p4->pos(), QPoint(0, 207));
        QCOMPARE(modelo->CantidadAparatos, quint8(5));
        QCOMPARE(ventana->panel(4), p4);
    }

    void agregarMideLaVentanaConSuMarco()
    {
        // Inside the main window's area the wrap test uses the window's outer
        // width: 573 + 191 fits in 765 even though the client area is narrower.
        QMdiArea area;
        area.resize(1200, 800);
        construir({0, 0, 0});
        QMdiSubWindow* sub = area.addSubWindow(ventana.get());
        sub->resize(765, 400);
        QVERIFY(ventana->width() < 764);
        QCOMPARE(posicion(), QPoint(573, 0));
        TFormaInstP* p4 = ventana->AparatoCreate(0);
        QCOMPARE(p4->pos(), QPoint(573, 0));
        QCOMPARE(posicion(), QPoint(0, 207));
        // The window goes before the area that holds it.
        ventana.reset();
    }

    void margenBajoElUltimoPanel()
    {
        construir({0, 0});
        ventana->resize(580, 215);
        ventana->show();
        QVERIFY(QTest::qWaitForWindowExposed(ventana.get()));
        // 207 pixels of panels fit in 215, but 12 more must stay free below them.
        QCOMPARE(ventana->lienzo()->height(), 207 + 12);
        QVERIFY(ventana->verticalScrollBar()->maximum() > 0);
    }

    void quitarVuelveAlLugarDelPanelQuitado()
    {
        construir({0, 0});
        ventana->AparatoCreate(0);   // 382, closes the row
        ventana->AparatoCreate(0);   // 0, 207
        QCOMPARE(posicion(), QPoint(191, 207));

        QCOMPARE(ventana->QuitarUltimo(), 4);
        QCOMPARE(posicion(), QPoint(0, 207));
        QVERIFY(ventana->panel(4) == nullptr);
        QVERIFY(!modelo->Estados[4].Vivo);

        // Panel 3 closed its row: the placement goes back into that row.
        QCOMPARE(ventana->QuitarUltimo(), 3);
        QCOMPARE(posicion(), QPoint(382, 0));
        TFormaInstP* otra = ventana->AparatoCreate(1);
        QCOMPARE(otra->pos(), QPoint(382, 0));

        QCOMPARE(ventana->QuitarUltimo(), 3);
        QCOMPARE(ventana->QuitarUltimo(), 2);
        QCOMPARE(ventana->QuitarUltimo(), 1);
        QCOMPARE(posicion(), QPoint(0, 0));
        QCOMPARE(modelo->CantidadAparatos, quint8(1));
        QCOMPARE(quitar.last(), false);
        QCOMPARE(ventana->lienzo()->findChildren<TFormaInstP*>().size(), 0);
    }

    void quitarTrasUnArranqueQueSobresale()
    {
        construir({0, 0, 0, 0});
        QCOMPARE(posicion(), QPoint(0, 207));
        QCOMPARE(ventana->QuitarUltimo(), 4);
        QCOMPARE(posicion(), QPoint(573, 0));
    }

    void instrumentoAgregadoConValoresPorDefecto()
    {
        construir({0});
        modelo->ArrayConfig[1].Titulo = QStringLiteral("Horno");
        TFormaInstP* prog = ventana->AparatoCreate(1);
        QCOMPARE(prog->Titulo(), QStringLiteral("Instrumento2"));
        QCOMPARE(prog->Unidad->text(), QStringLiteral("ºC"));
        QCOMPARE(modelo->Estados[prog->Tag()].Direccion, quint8(2));
        QVERIFY(!prog->Habilitado());
        QVERIFY(!prog->Adquirir->isEnabled());
        QCOMPARE(modelo->ArrayConfig[2].Tipo, quint8(1));
        QVERIFY(prog->NProg->isVisibleTo(prog));
        QVERIFY(prog->Temp->isVisibleTo(prog));
        QVERIFY(modelo->Avanzadas1[2].PCheckTemp);

        TFormaInstP* ctrl = ventana->AparatoCreate(0);
        QVERIFY(!ctrl->NProg->isVisibleTo(ctrl));
        QVERIFY(!modelo->Avanzadas1[3].PCheckNProg);
        QCOMPARE(ctrl->Potencia->y(), 110);
        QCOMPARE(modelo->ArrayConfig[1].Titulo, QStringLiteral("Horno"));

        // A removed instrument's slot starts from the defaults when added again.
        ctrl->setTitulo(QStringLiteral("viejo"));
        ventana->QuitarUltimo();
        TFormaInstP* nuevo = ventana->AparatoCreate(0);
        QCOMPARE(nuevo->Titulo(), QStringLiteral("Instrumento3"));
        QCOMPARE(modelo->ArrayConfig[3].Titulo, QStringLiteral("Instrumento3"));
    }

    void noMasDeVeinte()
    {
        construir({});
        for (int i = 0; i < 20; ++i)
            QVERIFY(ventana->AparatoCreate(0));
        QCOMPARE(modelo->CantidadAparatos, quint8(21));
        QVERIFY(ventana->AparatoCreate(0) == nullptr);
        QCOMPARE(modelo->CantidadAparatos, quint8(21));
    }

    void arranqueConPartidaNoRegistraNada()
    {
        modelo = std::make_unique<Modelo>();
        ventanas = RegistroVentanas{};
        prepararModelo(*modelo, {0, 1});
        modelo->ArrayConfig[1].SalvarTabla = true;
        modelo->ArrayConfig[2].SalvarTabla = true;
        modelo->Config.Pedir_Partida = true;
        modelo->ContadorBarrido = QVector<qint32>(3, 17);
        ctx = std::make_unique<ContextoInstrumentos>(*modelo, ventanas, enlace, puerto);
        ventana = std::make_unique<TInstForm>(*ctx);
        QVERIFY(!modelo->ArrayConfig[1].SalvarTabla);
        QVERIFY(!modelo->ArrayConfig[2].SalvarTabla);
        QCOMPARE(ventana->panel(1)->Adquirir->text(), QStringLiteral("Adquirir"));
        QCOMPARE(modelo->ContadorBarrido[1], 0);
        QCOMPARE(modelo->ContadorBarrido[2], 0);
    }

    void arranqueMuestraLaConfiguracion()
    {
        modelo = std::make_unique<Modelo>();
        ventanas = RegistroVentanas{};
        prepararModelo(*modelo, {0, 1});
        modelo->ArrayConfig[1].SalvarTabla = true;
        modelo->ArrayConfig[1].Titulo = QStringLiteral("Horno 1");
        modelo->ArrayConfig[1].Unidad = QStringLiteral("ºF");
        modelo->ArrayConfig[2].Habilitado = false;
        modelo->ArrayConfig[2].ID = 17;
        modelo->Avanzadas1[2].PCheckAl2 = false;
        ctx = std::make_unique<ContextoInstrumentos>(*modelo, ventanas, enlace, puerto);
        ventana = std::make_unique<TInstForm>(*ctx);
        TFormaInstP* p1 = ventana->panel(1);
        TFormaInstP* p2 = ventana->panel(2);
        QCOMPARE(p1->Titulo(), QStringLiteral("Horno 1"));
        QCOMPARE(p1->Unidad->text(), QStringLiteral("ºF"));
        QCOMPARE(p1->Adquirir->text(), QStringLiteral("No Adquirir"));
        QVERIFY(p1->Habilitado());
        QVERIFY(!p2->Habilitado());
        QCOMPARE(p2->marcoTitulo->colorTitulo(), color::kGris);
        QCOMPARE(modelo->Estados[2].Direccion, quint8(17));
        QVERIFY(!p2->Alarma2->isVisibleTo(p2));
    }

    void tamanoFinalSegunLaVentanaPrincipal()
    {
        QWidget principal;
        principal.resize(1000, 700);
        construir({0, 0, 0, 0}, &principal);
        // The panels were placed with the design width; the window is sized afterwards.
        QCOMPARE(lugar(4), QPoint(573, 0));
        QCOMPARE(ventana->size(), QSize(960, 660));
    }

    void destruirLaVentanaLiberaLosPaneles()
    {
        construir({0, 1});
        ventana.reset();
        QVERIFY(ventanas.Paneles[1] == nullptr);
        QVERIFY(ventanas.Paneles[2] == nullptr);
        QVERIFY(!modelo->Estados[1].Vivo);
    }

    void captura()
    {
        const QString ruta = qEnvironmentVariable("OMBRIX_CAPTURA");
        if (ruta.isEmpty())
            QSKIP("OMBRIX_CAPTURA not set");
        QWidget principal;
        principal.resize(824, 300 + 40);
        construir({0, 1, 0, 1}, &principal);
        const char* titulos[] = {"Horno de temple", "Estufa secado", "Camara fria", "Horno revenido"};
        for (int n = 1; n <= 4; ++n)
            ventana->panel(n)->setTitulo(QString::fromUtf8(titulos[n - 1]));
        modelo->ArrayConfig[1].SalvarTabla = true;
        ventana->panel(1)->Adquirir->setText(QStringLiteral("No Adquirir"));

        ResultadoLectura a;
        a.valorActual = QStringLiteral("845.3");
        a.SetPoint = QStringLiteral("850.0");
        a.Potencia = BarraLeida{620, 1000, QStringLiteral("Pot:62%")};
        a.Alarma1 = BarraLeida{150, 1000, QStringLiteral("AL1:15%")};
        a.ColoresAlarma = {qint32(255), qint32(128), qint32(128)};
        ventana->panel(1)->mostrarLectura(a);

        ResultadoLectura b;
        b.valorActual = QStringLiteral("118.7");
        b.SetPoint = QStringLiteral("120.0");
        b.NProg = QStringLiteral("07");
        b.NSeg = QStringLiteral("03");
        b.Temp = QStringLiteral("0045");
        b.Potencia = BarraLeida{350, 1000, QStringLiteral("Pot:35%")};
        b.Alarma1 = BarraLeida{0, 1000, QStringLiteral("AL1:0%")};
        ventana->panel(2)->mostrarLectura(b);

        ResultadoLectura c;
        c.valorActual = QStringLiteral("-18.4");
        c.SetPoint = QStringLiteral("-20.0");
        c.Potencia = BarraLeida{1000, 1000, QStringLiteral("Pot:100%")};
        c.Alarma1 = BarraLeida{800, 1000, QStringLiteral("AL1:80%")};
        ventana->panel(3)->mostrarLectura(c);

        ResultadoLectura d;
        d.valorActual = QStringLiteral(" oF ");
        d.fallas = 5;
        d.alarmaComEnganchada = true;
        ventana->panel(4)->mostrarLectura(d);
        ventana->panel(4)->ComLed->TimerOnTimer();

        ventana->show();
        QVERIFY(QTest::qWaitForWindowExposed(ventana.get()));
        QVERIFY(ventana->grab().save(ruta));
    }
};

QTEST_MAIN(TstVentanaInstrumentos)
#include "tst_ventana_instrumentos.moc"
