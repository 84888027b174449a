// Events made by real actions in offscreen windows: the panel's commands
// against the simulator on a pseudo-terminal (accepted and unanswered), the
// batch code, the operator's reset, a property changed, a row edited and a
// table emptied in the table window; the events window filters, follows new
// events and exports them; the batch list and report from the table window.
#include "../instruments/banco_paneles.h"
#include "banco_vistas.h"
#include "dialogos_guion.h"
#include "events/almacen_eventos.h"
#include "events/registro_eventos.h"
#include "events/sellos.h"
#include "instruments/inst_form.h"
#include "views/contexto_vistas.h"
#include "views/forma_base.h"
#include "views/forma_eventos.h"
#include "views/forma_partidas.h"
#include "views/modelo_tabla.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateEdit>
#include <QFile>
#include <QTableWidget>
#include <QtTest>

using namespace ombrix;
using namespace ombrix::test;

class TstEventosVentanas : public QObject {
    Q_OBJECT

    std::unique_ptr<RaizTemporal> raiz;
    std::unique_ptr<DialogosGuion> guion;
    std::unique_ptr<Linea> linea;
    std::unique_ptr<Modelo> modelo;
    RegistroVentanas ventanas;
    std::unique_ptr<BaseDatos> base;
    std::unique_ptr<RegistroEventos> registro;

    QVector<Evento> todos() { return almacenEventos::leer(base->db(), {}); }
    Evento ultimo()
    {
        const QVector<Evento> v = todos();
        return v.isEmpty() ? Evento{} : v.last();
    }

private slots:
    void init()
    {
        raiz = std::make_unique<RaizTemporal>();
        guion = std::make_unique<DialogosGuion>();
        linea = std::make_unique<Linea>();
        QVERIFY(linea->abrir({0, 1}));
        linea->sim.setRegistro(1, sim::reg::Decimales, 1);
        modelo = std::make_unique<Modelo>();
        prepararModelo(*modelo, {0, 1});
        const QString ruta = raiz->datos() + QStringLiteral("/Eventos.mdb");
        QVERIFY(QFile::copy(RaizTemporal::modeloConstruido(), ruta));
        QFile::setPermissions(ruta, QFile::ReadOwner | QFile::WriteOwner);
        base = std::make_unique<BaseDatos>();
        QVERIFY(base->abrir(ruta));
        registro = std::make_unique<RegistroEventos>(*modelo, Origen::Ventana);
        registro->usarBase(base.get());
        QVERIFY(registro->baseAbierta());
    }

    void cleanup()
    {
        registro.reset();
        base.reset();
        modelo.reset();
        linea.reset();
        guion.reset();
        raiz.reset();
    }

    void comandosDelPanel()
    {
        ContextoInstrumentos ctx(*modelo, ventanas, linea->enlace, linea->puerto);
        TInstForm ventana(ctx);
        ventana.show();
        TFormaInstP* p = ventana.panel(1);
        TFormaInstP* prog = ventana.panel(2);

        p->SetPointDblClick();
        const QString antes = p->SetPoint->text().trimmed();
        p->editorValor->setText(QStringLiteral("42.5"));
        p->BotonAceptarClick();
        QTRY_COMPARE(ultimo().tipo, tipoEvento::Comando);
        Evento e = ultimo();
        QCOMPARE(e.instrumento, 1);
        QVERIFY2(e.texto.startsWith(QStringLiteral("Set point")) && e.texto.endsWith(QStringLiteral("aceptado")), qPrintable(e.texto));
        QCOMPARE(e.anterior, antes);
        QCOMPARE(e.nuevo, QStringLiteral("42.5"));

        p->Button_autoClick();
        QTRY_VERIFY(ultimo().texto.startsWith(QStringLiteral("Modo automático")));
        p->Button_manClick();
        p->editorValor->setText(QStringLiteral("35"));
        p->BotonAceptarClick();
        QTRY_COMPARE(ultimo().nuevo, QStringLiteral("manual, 35 %"));

        prog->visoresProgramaDblClick();
        prog->editorPrograma->setText(QStringLiteral("7"));
        prog->editorSegmento->setText(QStringLiteral("3"));
        prog->editorTiempo->setText(QStringLiteral("45"));
        prog->botonEnviarProgramaClick();
        QTRY_COMPARE(ultimo().nuevo, QStringLiteral("07/03/0045"));
        QCOMPARE(ultimo().instrumento, 2);

        // An instrument that does not answer: the command is logged as not accepted.
        linea->sim.setFalla(1, sim::Falla::Silencio);
        p->Button_autoClick();
        QTRY_VERIFY(ultimo().texto.contains(QStringLiteral("sin respuesta válida")));

        // The batch code typed when recording starts.
        modelo->Config.Pedir_Partida = true;
        guion->entradas.enqueue(QStringLiteral("L-'33'"));
        p->AdquirirClick();
        e = ultimo();
        QCOMPARE(e.tipo, tipoEvento::Partida);
        QCOMPARE(e.nuevo, QStringLiteral("L-'33'"));

        // The operator resets a latched communication alarm.
        modelo->Estados[1].AlarmaCom = true;
        p->BotonResetClick();
        QTRY_VERIFY(todos().size() > 0 && contains(QStringLiteral("restablecida por el operador")));

        // A property changed through the settings is logged with its field.
        {
            const VigiaInstrumento vigia(*modelo, 1, tipoEvento::Propiedad);
            modelo->ArrayConfig[1].Barrido = 15;
        }
        e = ultimo();
        QCOMPARE(e.tipo, tipoEvento::Propiedad);
        QVERIFY(e.texto.endsWith(QStringLiteral("Barrido")));
        QCOMPARE(e.anterior, QStringLiteral("60"));
        QCOMPARE(e.nuevo, QStringLiteral("15"));
        QVERIFY(sellos::verificar(base->db()).bien());
    }

    void tablaEditadaYVaciadaSinParecerManipulacion()
    {
        insertarFilas(*base, 1, ombrix::test::serie(QDateTime::currentDateTime().addSecs(-600), 150, 2));
        registro->sellarPendientes();
        ContextoVistas ctx(*modelo, ventanas, *base);
        modelo->Config.TableReadOnly = false;
        TFormaBase tabla(ctx, 1);
        tabla.modelo()->setSoloLectura(false);
        tabla.show();
        const QModelIndex celda = tabla.modelo()->index(4, 3);   // row 5, measured value
        const QString antes = tabla.modelo()->data(celda).toString();
        QVERIFY(tabla.modelo()->setData(celda, QStringLiteral("1.5"), Qt::EditRole));
        Evento e = ultimo();
        QCOMPARE(e.tipo, tipoEvento::Edicion);
        QVERIFY2(e.texto.contains(QStringLiteral("Id 5")), qPrintable(e.texto));
        QCOMPARE(e.anterior, antes);
        QCOMPARE(e.nuevo, QStringLiteral("1.5"));
        QVERIFY(sellos::verificar(base->db()).bien());

        tabla.BotonBorrarClick();   // the script answers "Sí"
        e = ultimo();
        QCOMPARE(e.tipo, tipoEvento::Borrado);
        QCOMPARE(e.anterior, QStringLiteral("150"));
        const sellos::Verificacion v = sellos::verificar(base->db());
        QVERIFY2(v.bien(), qPrintable(v.hallazgos.isEmpty() ? v.error : v.hallazgos.first().texto));
    }

    void ventanaDeEventosFiltraSigueYExporta()
    {
        registro->anotar(tipoEvento::Comando, 3, QStringLiteral("uno, con \"comillas\""));
        registro->anotar(tipoEvento::Puerto, 0, QStringLiteral("dos"));
        TFormaEventos f(*registro);
        f.show();
        QCOMPARE(f.eventos().size(), 3);   // with the opening
        f.listaInstrumento->setCurrentIndex(f.listaInstrumento->findData(3));
        QCOMPARE(f.eventos().size(), 1);
        registro->anotar(tipoEvento::Comando, 3, QStringLiteral("tres"));
        registro->anotar(tipoEvento::Comando, 4, QStringLiteral("de otro"));
        QCOMPARE(f.eventos().size(), 2);
        QCOMPARE(f.eventos().last().texto, QStringLiteral("tres"));
        f.listaInstrumento->setCurrentIndex(0);
        f.listaTipo->setCurrentIndex(f.listaTipo->findData(tipoEvento::Puerto));
        QCOMPARE(f.eventos().size(), 1);
        // Dates: nothing logged tomorrow.
        f.listaTipo->setCurrentIndex(0);
        f.fechaDesde->setDate(QDate::currentDate().addDays(1));
        f.fechaHasta->setDate(QDate::currentDate().addDays(1));
        f.casillaFechas->setChecked(true);
        QCOMPARE(f.eventos().size(), 0);
        f.casillaFechas->setChecked(false);
        QCOMPARE(f.eventos().size(), 5);

        const QString csv = raiz->ruta(QStringLiteral("eventos.csv"));
        QVERIFY(f.exportarCsv(csv));
        QFile archivo(csv);
        QVERIFY(archivo.open(QIODevice::ReadOnly));
        const QString texto = QString::fromUtf8(archivo.readAll());
        QVERIFY(texto.startsWith(QStringLiteral("Id,Fecha,Hora,Instrumento,Tipo,Descripción")));
        QVERIFY(texto.contains(QStringLiteral("\"uno, con \"\"comillas\"\"\"")));
        QCOMPARE(texto.count(QStringLiteral("\r\n")), 6);

        QWidget* previa = f.BotonImprimirClick();
        QVERIFY(previa);
        previa->close();
    }

    void partidasDesdeLaTabla()
    {
        auto filas = ombrix::test::serie(QDateTime::currentDateTime().addSecs(-600), 30, 10);
        for (int i = 0; i < filas.size(); ++i)
            filas[i].partida = i < 20 ? QStringLiteral("Lote \"7\"") : QStringLiteral("Lote 8");
        insertarFilas(*base, 1, filas);
        ContextoVistas ctx(*modelo, ventanas, *base);
        TFormaPartidas f(ctx, 1);
        QCOMPARE(f.rejillaPartidas->rowCount(), 2);
        QCOMPARE(f.rejillaPartidas->item(0, 0)->text(), QStringLiteral("Lote \"7\""));
        QCOMPARE(f.rejillaPartidas->item(0, 3)->text(), QStringLiteral("20"));
        const QString pdf = raiz->ruta(QStringLiteral("lote.pdf"));
        QVERIFY(f.generarInforme(QStringLiteral("Lote \"7\""), pdf));
        QFile archivo(pdf);
        QVERIFY(archivo.open(QIODevice::ReadOnly));
        QVERIFY(archivo.read(5) == "%PDF-");
        // A code that is not in the table: a message, no file.
        QVERIFY(!f.generarInforme(QStringLiteral("NO"), pdf + QStringLiteral("2")));
        QVERIFY(!QFile::exists(pdf + QStringLiteral("2")));
        QVERIFY(guion->mostrados.last().texto.contains(QStringLiteral("no tiene filas")));
    }

private:
    bool contains(const QString& texto)
    {
        for (const Evento& e : todos())
            if (e.texto.contains(texto))
                return true;
        return false;
    }
};

QTEST_MAIN(TstEventosVentanas)
#include "tst_eventos_ventanas.moc"
