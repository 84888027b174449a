// The properties window against the instrument simulator over a real
// pseudo-terminal: reading and writing the additional parameters (the exact
// requests, the words the instrument ends up with), every refusal sending
// nothing, a silent instrument, the access levels, closing, and every field
// through the settings file and back.

#include "banco_paneles.h"
#include "dialogos_guion.h"
#include "hilo_de_linea.h"
#include "instruments/inst_form.h"
#include "instruments/prop_inst.h"

#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QSpinBox>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

#include <chrono>
#include <cmath>
#include <thread>

using namespace ombrix;
using namespace ombrix::test;
using P = parametros::Parametro;
using F = TFormPropInst;

namespace {

constexpr quint8 F1 = modbus::kLeerCoils;
constexpr quint8 F3 = modbus::kLeerRegistro;
constexpr quint8 F5 = modbus::kEscribirCoil;
constexpr quint8 F6 = modbus::kEscribirRegistro;
constexpr quint16 kDecimales2 = 16441;   // loop 2's decimals, apart from loop 1's

// Where the simulated instrument keeps the sixteen parameters, in page order.
constexpr quint16 kRegistros[parametros::kCantidad] = {
    sim::reg::SP1, sim::reg::SP2, sim::reg::AL1, sim::reg::AL2, sim::reg::RS1,  sim::reg::RS2,  sim::reg::IN1, sim::reg::IN2,
    sim::reg::DR1, sim::reg::DR2, sim::reg::AB1, sim::reg::AB2, sim::reg::ABA1, sim::reg::ABA2, sim::reg::ST1, sim::reg::ST2};

bool esEscritura(const QByteArray& t) { return quint8(t[1]) == F5 || quint8(t[1]) == F6; }

// Everything a user can see in the window's fields, in creation order.
QStringList foto(const TFormPropInst& v)
{
    QStringList l;
    for (const QLineEdit* e : v.findChildren<QLineEdit*>())
        l << e->text();
    for (const QCheckBox* c : v.findChildren<QCheckBox*>())
        l << (c->isChecked() ? QStringLiteral("x") : QStringLiteral("-"));
    for (const MuestraColor* m : v.findChildren<MuestraColor*>())
        l << QString::number(m->color(), 16);
    return l;
}

} // namespace

class TstPropiedades : public QObject {
    Q_OBJECT

    std::unique_ptr<DialogosGuion> guion;
    std::unique_ptr<Linea> linea;
    std::unique_ptr<Modelo> modelo;
    RegistroVentanas ventanas;
    std::unique_ptr<ContextoInstrumentos> ctx;
    std::unique_ptr<TInstForm> instrumentos;
    std::unique_ptr<TFormPropInst> ventana;
    std::unique_ptr<HiloDeLinea> hilo;

    QList<QByteArray> enviado() { return linea->sim.peticiones(); }
    QLineEdit* valor(P p) { return ventana->camposValor[p].editor; }

    // Instrument n's window, expanded.
    void abrir(int n)
    {
        ventana->preparar(*ctx, n);
        ventana->show();
        if (!ventana->desplegada())
            ventana->BotonAvanzadasClick();
        linea->sim.limpiarPeticiones();
    }

    HiloDeLinea& ponerHilo()
    {
        hilo = std::make_unique<HiloDeLinea>(*linea);
        ctx->encolar = [h = hilo.get()](QObject* receptor, TrabajoLinea trabajo) {
            return h->encolar(receptor, std::move(trabajo));
        };
        return *hilo;
    }

    void verificarBotones(bool habilitados)
    {
        for (QPushButton* b : {ventana->botonOk, ventana->botonAvanzadas, ventana->botonRefrescar, ventana->botonActualizar})
            QCOMPARE(b->isEnabled(), habilitados);
    }

    // Only the parameters given stay enabled on "Avanzadas2".
    void soloHabilitados(std::initializer_list<P> ps)
    {
        for (auto& f : ventana->filasParametro)
            f.habilitado->setChecked(false);
        for (P p : ps)
            ventana->filasParametro[p].habilitado->setChecked(true);
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
        modelo->Config.Nivel = 3;
        ctx = std::make_unique<ContextoInstrumentos>(*modelo, ventanas, linea->enlace, linea->puerto);
        instrumentos = std::make_unique<TInstForm>(*ctx);
        ventana = std::make_unique<TFormPropInst>();
        linea->sim.limpiarPeticiones();
    }

    void cleanup()
    {
        hilo.reset();
        ventana.reset();
        instrumentos.reset();
        ctx.reset();
        modelo.reset();
        linea.reset();
        guion.reset();
    }

    void parametrosIdaYVuelta_data()
    {
        QTest::addColumn<int>("d1");
        QTest::addColumn<int>("d2");
        for (int d = 0; d <= 3; ++d)
            QTest::addRow("%d and %d decimals", d, 3 - d) << d << 3 - d;
    }
    void parametrosIdaYVuelta()
    {
        QFETCH(int, d1);
        QFETCH(int, d2);
        modelo->Avanzadas1[1].Sensor2 = kDecimales2;
        modelo->Avanzadas2[1].SIN1 = true;   // IN1 in loop 1's units
        linea->sim.setRegistro(1, sim::reg::Decimales, qint16(d1));
        linea->sim.setRegistro(1, kDecimales2, qint16(d2));
        const qint16 crudos[parametros::kCantidad] = {1234, -567, 800, 100, 5, -5, 3000, 30,
                                                      60,   0,    100, 7,   50, 2999, 2, 0};
        for (int i = 0; i < parametros::kCantidad; ++i)
            linea->sim.setRegistro(1, kRegistros[i], crudos[i]);
        abrir(1);

        ventana->BotonRefrescarClick();
        QList<QByteArray> esperado;
        for (int i = 0; i < parametros::kCantidad; ++i)
            esperado << trama(1, i >= P::ST1 ? F1 : F3, kRegistros[i], 0);
        esperado << trama(1, F1, sim::reg::Decimales, 0) << trama(1, F1, kDecimales2, 0);
        QCOMPARE(enviado(), esperado);
        QCOMPARE(ventana->etiquetaEstado->text(), F::kValoresLeidos);

        auto escalado = [](qint16 v, int d) { return QString::number(v / std::pow(10.0, d), 'f', d); };
        for (P p : {P::SP1, P::AL1, P::RS1, P::AB1, P::ABA1})
            QCOMPARE(valor(p)->text(), escalado(crudos[p], d1));
        for (P p : {P::SP2, P::AL2, P::RS2, P::AB2, P::ABA2})
            QCOMPARE(valor(p)->text(), escalado(crudos[p], d2));
        QCOMPARE(valor(P::IN1)->text(), QString::number(3000 / int(std::pow(10, d1))));
        for (P p : {P::IN2, P::DR1, P::DR2})
            QCOMPARE(valor(p)->text(), QString::number(crudos[p]));
        QCOMPARE(ventana->camposValor[P::ST1].lista->currentText(), QStringLiteral("AUT"));
        QCOMPARE(ventana->camposValor[P::ST2].lista->currentText(), QStringLiteral("OFF"));

        // What was shown goes back as the very same words.
        for (quint16 r : kRegistros)
            linea->sim.setRegistro(1, r, 99);
        linea->sim.limpiarPeticiones();
        ventana->BotonActualizarClick();
        esperado = {trama(1, F1, sim::reg::Decimales, 0), trama(1, F1, kDecimales2, 0)};
        for (P p : parametros::kOrdenEscritura)
            esperado << trama(1, p >= P::ST1 ? F5 : F6, kRegistros[p], quint16(crudos[p]));
        QCOMPARE(enviado(), esperado);
        for (int i = 0; i < parametros::kCantidad; ++i)
            QCOMPARE(linea->sim.registro(1, kRegistros[i]), crudos[i]);
        QCOMPARE(ventana->etiquetaEstado->text(), F::kValoresEnviados);
        QVERIFY(guion->mostrados.isEmpty());
    }

    void escalaExacta_data()
    {
        QTest::addColumn<int>("codigo");
        QTest::addColumn<bool>("conDecimales");
        QTest::addColumn<QString>("texto");
        QTest::addColumn<qint16>("palabra");
        QTest::newRow("0.29, two decimals") << 2 << true << "0.29" << qint16(29);
        QTest::newRow("extra decimals dropped") << 2 << true << "1.009" << qint16(100);
        QTest::newRow("negative") << 2 << true << "-0.29" << qint16(-29);
        QTest::newRow("25.5, one decimal") << 1 << true << "25.5" << qint16(255);
        QTest::newRow("1.234, three decimals") << 3 << true << "1.234" << qint16(1234);
        QTest::newRow("largest word") << 2 << true << "327.67" << qint16(32767);
        QTest::newRow("no integer part") << 1 << true << ".5" << qint16(5);
        QTest::newRow("blanks around") << 1 << true << " 40 " << qint16(400);
        QTest::newRow("no decimal box: truncated") << 2 << false << "25.79" << qint16(25);
    }
    void escalaExacta()
    {
        QFETCH(int, codigo);
        QFETCH(bool, conDecimales);
        QFETCH(QString, texto);
        QFETCH(qint16, palabra);
        linea->sim.setRegistro(1, sim::reg::Decimales, qint16(codigo));
        abrir(1);
        soloHabilitados({P::SP1});
        ventana->filasParametro[P::SP1].decimal->setChecked(conDecimales);
        valor(P::SP1)->setText(texto);

        ventana->BotonActualizarClick();
        QList<QByteArray> esperado;
        // Without a decimal box ticked the decimals are not even asked for.
        if (conDecimales)
            esperado << trama(1, F1, sim::reg::Decimales, 0);
        esperado << trama(1, F6, sim::reg::SP1, quint16(palabra));
        QCOMPARE(enviado(), esperado);
        QCOMPARE(linea->sim.registro(1, sim::reg::SP1), palabra);
    }

    void valorQueNoCabeNoEscribeNada_data()
    {
        QTest::addColumn<int>("codigo");
        QTest::addColumn<int>("parametro");
        QTest::addColumn<QString>("texto");
        QTest::addColumn<QString>("limites");
        QTest::newRow("4000.0 with one decimal") << 1 << int(P::ABA1) << "4000.0" << "-3276.8 y 3276.7";
        QTest::newRow("-3276.9 with one decimal") << 1 << int(P::SP1) << "-3276.9" << "-3276.8 y 3276.7";
        QTest::newRow("327.68 with two decimals") << 2 << int(P::AL1) << "327.68" << "-327.68 y 327.67";
        QTest::newRow("IN1 3000 times 1000") << 3 << int(P::IN1) << "3000" << "0 y 32";
    }
    void valorQueNoCabeNoEscribeNada()
    {
        QFETCH(int, codigo);
        QFETCH(int, parametro);
        QFETCH(QString, texto);
        QFETCH(QString, limites);
        linea->sim.setRegistro(1, sim::reg::Decimales, qint16(codigo));
        abrir(1);
        ventana->filasParametro[P::IN1].decimal->setChecked(true);
        QLineEdit* campo = valor(P(parametro));
        campo->setText(texto);

        ventana->BotonActualizarClick();
        // The decimals were asked for; nothing was written, not even what comes before it.
        QVERIFY(!enviado().isEmpty());
        for (const QByteArray& t : enviado())
            QCOMPARE(quint8(t[1]), F1);
        QCOMPARE(linea->sim.registro(1, sim::reg::SP1), qint16(500));
        QCOMPARE(guion->mostrados.size(), 1);
        QCOMPARE(guion->mostrados[0].titulo, kTituloError);
        QVERIFY2(guion->mostrados[0].texto.contains(limites), qPrintable(guion->mostrados[0].texto));
        QCOMPARE(campo->selectedText(), texto);
        QVERIFY(!ventana->ocupada());
        verificarBotones(true);
    }

    void campoMaloNoEnviaNada_data()
    {
        QTest::addColumn<QString>("campo");
        QTest::addColumn<QString>("texto");
        QTest::addColumn<bool>("soloEscritura");
        QTest::newRow("address 0") << "id" << "0" << false;
        QTest::newRow("address 248") << "id" << "248" << false;
        QTest::newRow("address empty") << "id" << "" << false;
        QTest::newRow("last register beyond 65535") << "registroST2" << "65536" << false;
        QTest::newRow("register empty") << "registroSP1" << "" << false;
        QTest::newRow("decimals register negative") << "sensor2" << "-1" << false;
        QTest::newRow("letters") << "SP1" << "abc" << true;
        QTest::newRow("comma") << "SP1" << "25,5" << true;
        QTest::newRow("exponent") << "SP1" << "1e3" << true;
        QTest::newRow("beyond any word") << "SP1" << "40000" << true;
        QTest::newRow("last DR beyond 3000") << "DR2" << "3001" << true;
        QTest::newRow("last DR empty") << "DR2" << "" << true;
        QTest::newRow("last switch unknown") << "ST2" << "" << true;
    }
    void campoMaloNoEnviaNada()
    {
        QFETCH(QString, campo);
        QFETCH(QString, texto);
        QFETCH(bool, soloEscritura);
        abrir(1);
        const QHash<QString, QWidget*> campos{
            {"id", ventana->editorId},
            {"registroST2", ventana->filasParametro[P::ST2].direccion},
            {"registroSP1", ventana->filasParametro[P::SP1].direccion},
            {"sensor2", ventana->filasDisplay[F::kDisplay2].segundo},
            {"SP1", valor(P::SP1)},
            {"DR2", valor(P::DR2)},
            {"ST2", ventana->camposValor[P::ST2].lista},
        };
        QWidget* w = campos.value(campo);
        auto* edit = qobject_cast<QLineEdit*>(w);
        if (edit)
            edit->setText(texto);   // as a box without a validator would take it
        else
            ventana->camposValor[P::ST2].lista->setCurrentIndex(-1);

        auto verificar = [&] {
            QVERIFY(enviado().isEmpty());
            QCOMPARE(guion->mostrados.size(), 1);
            QCOMPARE(guion->mostrados[0].titulo, kTituloError);
            if (edit && !texto.isEmpty())
                QCOMPARE(edit->selectedText(), texto);
            if (ventana->paginas->isAncestorOf(w))
                QVERIFY(ventana->paginas->currentWidget()->isAncestorOf(w));
            QVERIFY(!ventana->ocupada());
            guion->mostrados.clear();
        };
        if (!soloEscritura) {
            ventana->BotonRefrescarClick();
            verificar();
            ventana->paginas->setCurrentWidget(ventana->paginaParametros);
        }
        ventana->BotonActualizarClick();
        verificar();
        QVERIFY(ventana->etiquetaEstado->text() != F::kValoresEnviados);
    }

    void conmutadorFueraDeLaLista()
    {
        linea->sim.setRegistro(1, sim::reg::ST1, 5);
        linea->sim.setRegistro(1, sim::reg::ST2, -1);
        abrir(1);
        ventana->BotonRefrescarClick();
        QCOMPARE(ventana->etiquetaEstado->text(), F::kValoresLeidos);
        for (P p : {P::ST1, P::ST2}) {
            QCOMPARE(ventana->camposValor[p].lista->currentIndex(), -1);
            QCOMPARE(ventana->camposValor[p].lista->currentText(), QString());
        }
        // An unknown state is not written back as some other one.
        linea->sim.limpiarPeticiones();
        ventana->BotonActualizarClick();
        QVERIFY(enviado().isEmpty());
        QCOMPARE(guion->textos(), QStringList{QStringLiteral("Elija OFF, ON o AUT.")});
        QCOMPARE(linea->sim.registro(1, sim::reg::ST1), qint16(5));
    }

    // IN and DR: a number beyond 3000 is refused as it is typed, with the
    // message that gives the range, and nothing can be sent meanwhile.
    void enteroSeLimitaAlTeclear()
    {
        abrir(1);
        QLineEdit* in1 = valor(P::IN1);
        in1->selectAll();
        QTest::keyClicks(in1, "300");
        QVERIFY(guion->mostrados.isEmpty());
        QVERIFY(ventana->botonActualizar->isEnabled());
        QTest::keyClicks(in1, "1x-");
        QCOMPARE(in1->text(), QStringLiteral("3001"));
        QCOMPARE(guion->textos(), QStringList{QStringLiteral("Este valor debe estar comprendido entre 0 y 3000")});
        QCOMPARE(in1->selectedText(), QStringLiteral("3001"));
        QVERIFY(!ventana->botonActualizar->isEnabled());
        QCOMPARE(ventana->etiquetaEstado->text(), F::kValoresModificados);
        QTest::keyClick(in1, Qt::Key_Backspace);
        QTest::keyClicks(in1, "12");
        QVERIFY(ventana->botonActualizar->isEnabled());
        QLineEdit* dr2 = valor(P::DR2);
        dr2->selectAll();
        QTest::keyClicks(dr2, "4000");
        QCOMPARE(guion->mostrados.size(), 2);
        QLineEdit* registro = ventana->filasParametro[P::SP1].direccion;
        registro->selectAll();
        QTest::keyClicks(registro, "70000");
        QCOMPARE(registro->text(), QStringLiteral("7000"));
    }

    // "Refrescar" reads a loop's decimals whenever one of its decimal boxes is
    // ticked, enabled parameter or not.
    void decimalesConLaCasillaMarcada()
    {
        modelo->Avanzadas1[1].Sensor2 = kDecimales2;   // loop 2 elsewhere
        abrir(1);
        soloHabilitados({P::SP2});
        ventana->filasParametro[P::IN1].decimal->setChecked(true);
        ventana->BotonRefrescarClick();
        QVERIFY(QTest::qWaitFor([this] { return !ventana->ocupada(); }, 5000));
        QVERIFY(enviado().contains(trama(1, F1, sim::reg::Decimales, 0)));
        QCOMPARE(ventana->etiquetaEstado->text(), F::kValoresLeidos);
        // Writing still asks only for what enabled parameters need.
        linea->sim.limpiarPeticiones();
        ventana->BotonActualizarClick();
        QVERIFY(QTest::qWaitFor([this] { return !ventana->ocupada(); }, 5000));
        QVERIFY(!enviado().contains(trama(1, F1, sim::reg::Decimales, 0)));
    }

    void instrumentoMudoAlRefrescar()
    {
        HiloDeLinea& h = ponerHilo();
        abrir(1);
        ventana->BotonRefrescarClick();
        QTRY_VERIFY(!ventana->ocupada());
        QCOMPARE(ventana->etiquetaEstado->text(), F::kValoresLeidos);
        const QStringList antes = foto(*ventana);
        QCOMPARE(valor(P::SP1)->text(), QStringLiteral("50.0"));

        linea->sim.setFalla(1, sim::Falla::Silencio);
        linea->sim.limpiarPeticiones();
        h.retenerRespuestas(true);
        ventana->BotonRefrescarClick();
        // Busy: nothing starts another transfer and the window does not close.
        QVERIFY(ventana->ocupada());
        verificarBotones(false);
        QVERIFY(ventana->barraProgreso->isVisible());
        ventana->close();
        QVERIFY(ventana->isVisible());
        QVERIFY(!ventana->BotonOkClick());
        QTRY_COMPARE(h.hechos(), 2);

        h.retenerRespuestas(false);
        QTRY_VERIFY(!ventana->ocupada());
        QCOMPARE(ventana->etiquetaEstado->text(), F::kFalloRecibir);
        QCOMPARE(guion->mostrados.size(), 1);
        QCOMPARE(guion->mostrados[0].titulo, kTituloError);
        QCOMPARE(guion->mostrados[0].texto, F::kErrorComunicaciones);
        QCOMPARE(guion->mostrados[0].icono, Icono::Error);
        QCOMPARE(foto(*ventana), antes);
        QVERIFY(!ventana->barraProgreso->isVisible());
        verificarBotones(true);
        for (const QByteArray& t : enviado())
            QVERIFY(!esEscritura(t));

        // Writing to it: its decimals cannot be read, so nothing is written.
        linea->sim.limpiarPeticiones();
        ventana->BotonActualizarClick();
        QTRY_VERIFY(!ventana->ocupada());
        QCOMPARE(ventana->etiquetaEstado->text(), F::kFalloEnviar);
        QVERIFY(!enviado().isEmpty());
        for (const QByteArray& t : enviado())
            QCOMPARE(quint8(t[1]), F1);
        QVERIFY(ventana->BotonOkClick());
    }

    void ventanaDestruidaDuranteLaTransferencia()
    {
        HiloDeLinea& h = ponerHilo();
        h.retenerRespuestas(true);
        abrir(1);
        ventana->BotonActualizarClick();
        // The work ends on the line while the window thread posts nothing yet.
        for (int i = 0; i < 200 && h.hechos() < 1; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        QCOMPARE(h.hechos(), 1);
        ventana.reset();
        h.retenerRespuestas(false);
        QTest::qWait(100);
        QCOMPARE(linea->sim.registro(1, sim::reg::SP1), qint16(0));
    }

    void soloEnLineaSeVenLosParametros()
    {
        auto visible = [this] { return ventana->paginas->isTabVisible(ventana->paginas->indexOf(ventana->paginaParametros)); };
        abrir(1);
        QVERIFY(visible());
        ventana->BotonAvanzadasClick();
        QVERIFY(!ventana->desplegada());

        linea->puerto.Abierto = false;
        abrir(1);
        QVERIFY(!visible());
        QVERIFY(ventana->paginas->currentWidget() != ventana->paginaParametros);
        linea->puerto.Abierto = true;

        modelo->Estados[1].Habilitado = false;
        abrir(1);
        QVERIFY(!visible());
    }

    void disposicionSinSolapes()
    {
        abrir(1);
        ventana->paginas->setCurrentWidget(ventana->paginaParametros);
        auto comprobar = [this](int columnas) {
            QList<QRect> ocupado;
            QSet<int> xs;
            for (const auto& c : ventana->camposValor) {
                if (!c.caja()->isVisibleTo(ventana.get()))
                    continue;
                QVERIFY(c.etiqueta->isVisibleTo(ventana.get()));
                QVERIFY(c.etiqueta->geometry().right() < c.caja()->x());
                for (const QRect& r : std::as_const(ocupado)) {
                    QVERIFY(!r.intersects(c.caja()->geometry()));
                    QVERIFY(!r.intersects(c.etiqueta->geometry()));
                }
                ocupado << c.caja()->geometry() << c.etiqueta->geometry();
                xs << c.caja()->x();
            }
            QCOMPARE(xs.size(), columnas);
            for (QPushButton* b : {ventana->botonRefrescar, ventana->botonActualizar})
                for (const QRect& r : std::as_const(ocupado))
                    QVERIFY(!r.intersects(b->geometry()));
        };
        comprobar(3);

        soloHabilitados({P::SP2, P::AL1, P::IN1, P::DR2, P::ST2});
        ventana->filasParametro[P::SP2].nombre->setText(QStringLiteral("Consigna"));
        ventana->Actualizar();
        comprobar(1);
        QVERIFY(!valor(P::SP1)->isVisibleTo(ventana.get()));
        QVERIFY(ventana->camposValor[P::SP2].etiqueta->text().startsWith(QLatin1Char('C')));
        QCOMPARE(ventana->camposValor[P::SP2].etiqueta->toolTip(), QStringLiteral("Consigna"));
    }

    void filasDeControladorYProgramador()
    {
        for (int n : {1, 2}) {
            ventana->preparar(*ctx, n);
            QList<int> ys;
            for (int i = 0; i < F::kFilasDisplay; ++i) {
                const F::Fila& f = ventana->filasDisplay[std::size_t(i)];
                const bool programa = i >= F::kDisplay3 && i <= F::kDisplay5;
                for (QWidget* w : f.controles())
                    QCOMPARE(w->isVisibleTo(ventana->paginaAvanzadas1), n == 2 || !programa);
                if (n == 2 || !programa)
                    ys << f.rotulo->y();
            }
            QCOMPARE(ys.size(), n == 2 ? 10 : 7);
            // No gap where the program rows were.
            for (int i = 2; i < ys.size(); ++i)
                QCOMPARE(ys[i] - ys[i - 1], ys[1] - ys[0]);
        }
    }

    void nivelesDeAcceso()
    {
        const auto restringidos = [this] {
            QList<QWidget*> l{ventana->casillaCRC};
            for (const auto& f : ventana->filasParametro)
                l << f.direccion << f.decimal;
            for (const auto& f : ventana->filasDisplay)
                l << f.direccion << f.segundo << f.tercero;
            l.removeAll(nullptr);
            return l;
        };
        modelo->Config.Nivel = 0;
        ventana->preparar(*ctx, 1);
        QVERIFY(ventana->botonAvanzadas->isHidden());

        modelo->Config.Nivel = 1;
        abrir(1);
        QVERIFY(!ventana->botonAvanzadas->isHidden());
        QVERIFY(ventana->botonActualizar->isHidden());
        for (QWidget* w : restringidos())
            QVERIFY(!w->isEnabled());
        for (QWidget* w : {static_cast<QWidget*>(ventana->editorId), static_cast<QWidget*>(ventana->filasParametro[P::SP1].nombre),
                           static_cast<QWidget*>(ventana->filasParametro[P::SP1].habilitado),
                           static_cast<QWidget*>(ventana->filasDisplay[F::kDisplay1].nombre),
                           static_cast<QWidget*>(ventana->filasDisplay[F::kDisplay1].adquirir)})
            QVERIFY(w->isEnabled());
        // The page still reads.
        ventana->BotonRefrescarClick();
        QCOMPARE(ventana->etiquetaEstado->text(), F::kValoresLeidos);

        ventana->aplicarNivel(2);
        QVERIFY(ventana->botonActualizar->isHidden());
        QVERIFY(!ventana->casillaCRC->isEnabled());

        modelo->Config.Nivel = 3;
        ventana->preparar(*ctx, 1);
        QVERIFY(!ventana->botonAvanzadas->isHidden());
        QVERIFY(!ventana->botonActualizar->isHidden());
        for (QWidget* w : restringidos())
            QVERIFY(w->isEnabled());
    }

    void cerrarConCampoMaloNoGuarda()
    {
        const TarrayConfig c = modelo->ArrayConfig[1];
        const TAvanzadas1 a1 = modelo->Avanzadas1[1];
        const Tavanzadas2 a2 = modelo->Avanzadas2[1];
        abrir(1);
        ventana->filasDisplay[F::kDisplay1].nombre->setText(QStringLiteral("Temperatura"));
        ventana->filasDisplay[F::kBarra1].direccion->setText(QStringLiteral("5000"));
        QLineEdit* malo = ventana->filasParametro[P::ABA2].direccion;
        malo->setText(QStringLiteral("70000"));
        ventana->paginas->setCurrentWidget(ventana->paginaAvanzadas1);
        ventana->BotonAvanzadasClick();
        QVERIFY(!ventana->desplegada());

        ventana->close();   // the close box
        QVERIFY(ventana->isVisible());
        QVERIFY(ventana->desplegada());
        QCOMPARE(ventana->paginas->currentWidget(), ventana->paginaAvanzadas2);
        QCOMPARE(malo->selectedText(), QStringLiteral("70000"));
        QCOMPARE(guion->mostrados.size(), 1);
        QCOMPARE(guion->mostrados[0].titulo, kTituloError);
        ventana->aplicar();
        QCOMPARE(modelo->ArrayConfig[1], c);
        QCOMPARE(modelo->Avanzadas1[1], a1);
        QCOMPARE(modelo->Avanzadas2[1], a2);

        malo->setText(QStringLiteral("300"));
        ventana->editorId->setText(QStringLiteral("0"));
        QVERIFY(!ventana->BotonOkClick());
        QCOMPARE(ventana->editorId->selectedText(), QStringLiteral("0"));
        QCOMPARE(modelo->Avanzadas2[1], a2);

        ventana->editorId->setText(QStringLiteral("5"));
        QVERIFY(ventana->BotonOkClick());
        QVERIFY(!ventana->isVisible());
        ventana->aplicar();
        QCOMPARE(modelo->ArrayConfig[1].ID, quint8(5));
        QCOMPARE(modelo->Avanzadas1[1].NombreVA, QStringLiteral("Temperatura"));
        QCOMPARE(modelo->Avanzadas1[1].Potencia, 5000);
        QCOMPARE(modelo->Avanzadas2[1].ABA2, 300);
    }

    void cadaCampoPorElArchivo()
    {
        QTemporaryDir dir;
        modelo->RutaIni = dir.filePath(QStringLiteral("Ombrix.ini"));
        abrir(2);   // a programmer shows every row
        int k = 0;
        ventana->elegirColor = [&k](QColor& c, QWidget*) {
            ++k;
            c = QColor(k * 7, 255 - k * 9, k * 13);
            return true;
        };
        ventana->editorId->setText(QStringLiteral("17"));
        ventana->editorIntervalo->setValue(321);
        for (int i = 0; i < F::kFilasDisplay; ++i) {
            F::Fila& f = ventana->filasDisplay[std::size_t(i)];
            f.nombre->setText(QStringLiteral("Nombre %1").arg(i));
            f.direccion->setText(QString::number(1000 + i));
            if (f.segundo)
                f.segundo->setText(QString::number(-10 - i));
            if (f.tercero)
                f.tercero->setText(QString::number(2000 + i));
            f.adquirir->toggle();
            for (MuestraColor* m : {f.color, f.colorApagado})
                if (m)
                    QTest::mouseClick(m, Qt::LeftButton);
        }
        // Sensor registers take no negative numbers.
        ventana->filasDisplay[F::kDisplay1].segundo->setText(QStringLiteral("40000"));
        ventana->filasDisplay[F::kDisplay2].segundo->setText(QStringLiteral("40001"));
        ventana->casillaCRC->toggle();
        for (int i = 0; i < parametros::kCantidad; ++i) {
            F::FilaParametro& f = ventana->filasParametro[std::size_t(i)];
            f.direccion->setText(QString::number(3000 + i));
            if (f.nombre)
                f.nombre->setText(QStringLiteral("P%1").arg(i));
            if (f.decimal)
                f.decimal->toggle();
            f.habilitado->toggle();
        }
        QCOMPARE(k, 13);
        const QStringList antes = foto(*ventana);

        ventana->close();
        QVERIFY(!ventana->isVisible());
        ventana->aplicar();
        modelo->SalvarIni();

        // Colours are stored with red in the low byte.
        QFile ini(modelo->RutaIni);
        QVERIFY(ini.open(QIODevice::ReadOnly));
        QVERIFY(ini.readAll().contains("VaColor=" + QByteArray::number((13 << 16) | (246 << 8) | 7)));

        Modelo otro;
        otro.RutaIni = modelo->RutaIni;
        otro.CargarIni();
        RegistroVentanas otras;
        ContextoInstrumentos otroCtx(otro, otras, linea->enlace, linea->puerto);
        TFormPropInst segunda;
        segunda.preparar(otroCtx, 2);
        QCOMPARE(foto(segunda), antes);
        QCOMPARE(otro.Avanzadas1[2], modelo->Avanzadas1[2]);
        QCOMPARE(otro.Avanzadas2[2], modelo->Avanzadas2[2]);
        QCOMPARE(otro.ArrayConfig[2].ID, quint8(17));
        QCOMPARE(otro.ArrayConfig[2].Barrido, quint16(321));
    }

    void elPanelSigueALaVentana()
    {
        ctx->abrirPropiedades = [this](int n) { editarPropiedades(*ctx, instrumentos.get(), n); };
        TFormaInstP* p = instrumentos->panel(1);
        ResultadoLectura r;
        r.SetPoint = QStringLiteral("12.3");
        p->mostrarLectura(r);
        modelo->ContadorBarrido[1] = 7;

        // Runs inside the modal window once it is up, then closes it.
        auto enLaVentana = [this](std::function<void(TFormPropInst*)> hacer) {
            QTimer::singleShot(0, this, [this, hacer] {
                auto* w = instrumentos->findChild<TFormPropInst*>();
                QVERIFY(w && w->isVisible());
                hacer(w);
                w->close();
                if (w->isVisible())
                    w->done(0);
            });
        };
        enLaVentana([](TFormPropInst* w) {
            w->filasDisplay[F::kDisplay2].adquirir->setChecked(false);
            w->filasDisplay[F::kBarra1].nombre->setText(QStringLiteral("Salida"));
            w->editorId->setText(QStringLiteral("2"));
        });
        p->BotonConfigClick();
        QVERIFY(!p->SetPoint->isVisibleTo(p));
        QCOMPARE(p->SetPoint->text(), QStringLiteral("00.00"));
        QCOMPARE(p->etiquetaPotencia->text(), QStringLiteral("Salida"));
        QCOMPARE(modelo->ContadorBarrido[1], 7);   // the interval did not change
        // The panel's commands go to the new address.
        linea->sim.limpiarPeticiones();
        p->Button_autoClick();
        QCOMPARE(enviado(), (QList<QByteArray>{trama(2, F5, 228, 0)}));

        enLaVentana([](TFormPropInst* w) {
            w->filasDisplay[F::kDisplay2].adquirir->setChecked(true);
            w->editorIntervalo->setValue(w->editorIntervalo->value() + 1);
        });
        p->BotonConfigClick();
        QVERIFY(p->SetPoint->isVisibleTo(p));
        QCOMPARE(p->SetPoint->text(), QStringLiteral("00.00"));
        QCOMPARE(modelo->ContadorBarrido[1], 0);
        QCOMPARE(instrumentos->findChildren<TFormPropInst*>().size(), 1);
    }
};

QTEST_MAIN(TstPropiedades)
#include "tst_propiedades.moc"
