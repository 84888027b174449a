// The table window, the chart window and the chart properties on real
// database files, offscreen.

#include "banco_vistas.h"
#include "dialogos_guion.h"

#include "acquisition/seguidor.h"
#include "views/forma_base.h"
#include "views/graf_form.h"
#include "views/modelo_tabla.h"
#include "views/prop_graf.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QImage>
#include <QPlainTextEdit>
#include <QLabel>
#include <QLineEdit>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QScrollBar>
#include <QSqlQuery>
#include <QTableView>
#include <QToolBar>
#include <QToolButton>
#include <QRegularExpression>
#include <QTemporaryDir>
#include "views/impresion.h"

using namespace ombrix;
using namespace ombrix::test;

namespace {

const QDateTime kInicio(QDate(2026, 3, 5), QTime(8, 15, 37), QTimeZone::utc());

bool esperarGrafico(TGrafForm* g, int ms = 20000)
{
    return QTest::qWaitFor([g] { return !g->actualizando(); }, ms);
}

int filasEnBase(BaseDatos& b, int n)
{
    return int(ConsultasInstrumento(b.db(), n).contar());
}

// Pixels of column x (and its neighbours) between y0 and y1 that are the
// cross-hair's blue; the most of the three columns.
int azulesEnColumna(const QImage& img, int x, int y0, int y1)
{
    int mas = 0;
    for (int c = x - 1; c <= x + 1; ++c) {
        int n = 0;
        for (int y = y0; y <= y1; ++y) {
            const QColor p = img.pixelColor(c, y);
            if (p.blue() > 200 && p.red() < 90 && p.green() < 90)
                ++n;
        }
        mas = qMax(mas, n);
    }
    return mas;
}

} // namespace

class TstVistas : public QObject {
    Q_OBJECT

private slots:
    void tablaCuentaYTitulos()
    {
        BancoVistas b;
        b.modelo.Avanzadas1[1].NombreVA = QStringLiteral("Temp. horno");
        insertarFilas(b.base, 1, serie(kInicio, 1000, 10));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        QVERIFY(f);
        QCOMPARE(f->windowTitle(), QStringLiteral("Datos adquiridos de: Horno 1"));
        QCOMPARE(f->modelo()->rowCount(), 1000);
        QCOMPARE(f->modelo()->headerData(3, Qt::Horizontal).toString(), QStringLiteral("Temp. horno"));
        QCOMPARE(f->modelo()->headerData(1, Qt::Horizontal).toString(), QStringLiteral("Fecha"));
        QVERIFY(ventanas_.VentanasTabla[1].Abierta);
        // Only the pages shown are read.
        QVERIFY(QTest::qWaitForWindowExposed(f));
        QVERIFY(f->modelo()->paginasLeidas() <= 2);
        QCOMPARE(f->modelo()->data(f->modelo()->index(999, 0)).toLongLong(), 1000);
        QCOMPARE(f->modelo()->data(f->modelo()->index(999, 3)).toString(), QStringLiteral("149.5"));
        // A second opening brings the same window.
        QCOMPARE(abrirTablaInstrumento(c, 1), f);
        cerrarVistas(c);
        QVERIFY(!ventanas_.VentanasTabla[1].Abierta);
    }

    void agregarSinMoverLaVista()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 2000, 10));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        QVERIFY(QTest::qWaitForWindowExposed(f));
        QTableView* r = f->rejilla();
        r->scrollTo(f->modelo()->index(500, 0), QAbstractItemView::PositionAtTop);
        r->selectionModel()->setCurrentIndex(f->modelo()->index(505, 2), QItemSelectionModel::ClearAndSelect);
        const int barra = r->verticalScrollBar()->value();
        const qint64 leidas = f->modelo()->paginasLeidas();
        insertarFilas(b.base, 1, serie(kInicio.addSecs(20000), 1, 10));
        f->filaGuardada(1, QStringLiteral("05/03/2026"), QStringLiteral("13:49:00"), {});
        QCOMPARE(f->modelo()->rowCount(), 2001);
        QCOMPARE(r->verticalScrollBar()->value(), barra);
        QCOMPARE(r->currentIndex().row(), 505);
        QCOMPARE(f->modelo()->paginasLeidas(), leidas);   // nothing re-read
        QCOMPARE(f->modelo()->data(f->modelo()->index(2000, 0)).toLongLong(), 2001);
        // Other instruments' rows are not ours.
        f->filaGuardada(2, QStringLiteral("05/03/2026"), QStringLiteral("13:49:00"), {});
        QCOMPARE(f->modelo()->rowCount(), 2001);
        cerrarVistas(c);
    }

    void edicionEsUnUpdate()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 10, 10));
        b.modelo.Config.TableReadOnly = true;
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        QVERIFY(!f->BotonBorrar->isEnabled());
        QVERIFY(!(f->modelo()->flags(f->modelo()->index(3, 3)) & Qt::ItemIsEditable));
        QVERIFY(!f->modelo()->setData(f->modelo()->index(3, 3), QStringLiteral("1")));
        cerrarVistas(c);

        b.modelo.Config.TableReadOnly = false;
        f = abrirTablaInstrumento(c, 1);
        QVERIFY(f->BotonBorrar->isEnabled());
        QVERIFY(!(f->modelo()->flags(f->modelo()->index(3, 0)) & Qt::ItemIsEditable));   // Id
        QVERIFY(f->modelo()->setData(f->modelo()->index(3, 3), QStringLiteral("77.7")));
        QSqlQuery q(b.base.db());
        QVERIFY(q.exec(QStringLiteral("SELECT Valor_medido FROM Instrumento1 WHERE Id = 4")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("77.7"));
        QCOMPARE(f->modelo()->data(f->modelo()->index(3, 3)).toString(), QStringLiteral("77.7"));
        cerrarVistas(c);
    }

    void borrarConGraficoAbierto()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 500, 10));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        DialogosGuion guion;
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(g);
        QVERIFY(ventanas_.GraficoAbierto[1]);
        QVERIFY(!f->BotonGrafico->isEnabled());
        QVERIFY(esperarGrafico(g));
        QCOMPARE(g->serie(0)->dataCount(), 500);

        // No: nothing deleted, but the chart is read again.
        guion.respuestas.enqueue(Respuesta::No);
        f->BotonBorrarClick();
        QVERIFY(g->actualizando() || g->serie(0)->dataCount() == 500);
        QVERIFY(esperarGrafico(g));
        QCOMPARE(filasEnBase(b.base, 1), 500);
        QCOMPARE(g->serie(0)->dataCount(), 500);

        // Yes while a refresh runs: the refresh stops first, then the table is emptied.
        g->BotonActualizarClick();
        QVERIFY(g->actualizando());
        guion.respuestas.enqueue(Respuesta::Si);
        f->BotonBorrarClick();
        QVERIFY(esperarGrafico(g));
        QCOMPARE(filasEnBase(b.base, 1), 0);
        QCOMPARE(f->modelo()->rowCount(), 0);
        for (int k = 0; k < kSeries; ++k)
            QCOMPARE(g->serie(k)->dataCount(), 0);
        QCOMPARE(g->etiquetaTotalPaginas->text(), QStringLiteral("1"));
        QCOMPARE(g->InicioDatos(), kOrigenFechas);
        QCOMPARE(guion.mostrados.first().titulo, kTituloPregunta);

        // Closing the table while the chart refreshes closes the chart too.
        insertarFilas(b.base, 1, serie(kInicio, 300, 10));
        g->BotonActualizarClick();
        QPointer<TGrafForm> vigilado = g;
        cerrarVentana(f);
        QCoreApplication::processEvents();
        QVERIFY(!vigilado);
        QVERIFY(!ventanas_.GraficoAbierto[1]);
        QVERIFY(!ventanas_.VentanasTabla[1].Abierta);
        cerrarVistas(c);
    }

    // A table long enough to be read in pieces at once: every row once, the
    // pieces joined into one sorted series even when the second piece's
    // times fall between the first's.
    void graficoLargoEnPiezas()
    {
        QCOMPARE(tramosDeIds(1, 10, 3), (QVector<std::pair<qint64, qint64>>{{1, 3}, {4, 6}, {7, 10}}));
        QCOMPARE(tramosDeIds(5, 6, 4), (QVector<std::pair<qint64, qint64>>{{5, 5}, {6, 6}}));
        BancoVistas b;
        const int mitad = 70000;
        auto filas = serie(kInicio, mitad, 10);
        filas += serie(kInicio.addSecs(5), mitad, 10);
        insertarFilas(b.base, 1, filas);
        ContextoVistas c(b.modelo, ventanas_, b.base);
        DialogosGuion guion;
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(esperarGrafico(g, 60000));
        QCOMPARE(g->etiquetaRegistros->text(), QString::number(2 * mitad));
        for (int k : {0, 1, 2}) {
            const auto d = g->serie(k)->data();
            QCOMPARE(d->size(), 2 * mitad);
            for (int i = 1; i < d->size(); ++i)
                if (!qFuzzyCompare(d->at(i)->key - d->at(i - 1)->key, 5.0))
                    QFAIL(qPrintable(QStringLiteral("serie %1: paso %2 en el punto %3").arg(k).arg(d->at(i)->key - d->at(i - 1)->key).arg(i)));
        }
        QVERIFY(guion.mostrados.isEmpty());
        cerrarVistas(c);
    }

    void cerrarGraficoHabilitaGraficar()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 20, 10));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        QVERIFY(esperarGrafico(f->FormaGraf()));
        cerrarVentana(f->FormaGraf());
        QVERIFY(QTest::qWaitFor([f] { return f->FormaGraf() == nullptr; }));
        QVERIFY(f->BotonGrafico->isEnabled());
        QVERIFY(!ventanas_.GraficoAbierto[1]);
        cerrarVistas(c);
    }

    void paginasYLecturaEnVivo()
    {
        BancoVistas b;
        b.modelo.Gindividual[1].Tiempo = QStringLiteral("01:00:00");
        b.modelo.Gindividual[1].dias = QStringLiteral("00");
        // 2.5 hours of readings from 08:15:37.
        insertarFilas(b.base, 1, serie(kInicio, 901, 10));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        DialogosGuion guion;
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(esperarGrafico(g));
        QCOMPARE(g->etiquetaRegistros->text(), QStringLiteral("901"));
        QCOMPARE(g->etiquetaTotalPaginas->text(), QStringLiteral("3"));
        QCOMPARE(g->etiquetaPagina->text(), QStringLiteral("3"));
        QCOMPARE(g->InicioDatos(), double(kInicio.toSecsSinceEpoch() - 7));
        QVERIFY(!g->BotonProxima->isEnabled());
        g->BotonPrimeraClick();
        QCOMPARE(g->etiquetaPagina->text(), QStringLiteral("1"));
        QVERIFY(!g->BotonAnterior->isEnabled());
        g->BotonProximaClick();
        g->BotonProximaClick();
        QCOMPARE(g->etiquetaPagina->text(), QStringLiteral("3"));
        QVERIFY(!g->BotonProxima->isEnabled());
        g->BotonPrimeraClick();

        // A reading past the page end moves the chart to the (new) last page.
        const QDateTime tarde = kInicio.addSecs(4 * 3600);
        f->filaGuardada(1, tarde.toString(QStringLiteral("dd/MM/yyyy")), tarde.toString(QStringLiteral("hh:mm:ss")),
                        {QStringLiteral("120"), QStringLiteral("150"), QStringLiteral("30"), QStringLiteral("100"),
                         QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")});
        QCOMPARE(g->serie(0)->dataCount(), 902);
        QCOMPARE(g->etiquetaTotalPaginas->text(), QStringLiteral("5"));
        QCOMPARE(g->etiquetaPagina->text(), QStringLiteral("5"));
        QVERIFY(g->grafico()->xAxis->range().contains(double(tarde.toSecsSinceEpoch())));
        QCOMPARE(g->serie(3)->data()->at(g->serie(3)->dataCount() - 1)->value, double(b.modelo.Gindividual[1].NivelAl1));

        // Unreadable texts in the live append: one message.
        f->filaGuardada(1, tarde.toString(QStringLiteral("dd/MM/yyyy")), QStringLiteral("12:00:01"),
                        {QStringLiteral("1"), QStringLiteral(" oF "), QStringLiteral("1")});
        QCOMPARE(guion.mostrados.size(), 1);
        QVERIFY(guion.mostrados.last().texto.startsWith(QStringLiteral("No se pudieron graficar todos los valores")));

        // Automatic following off: the chart is left alone.
        b.modelo.Gindividual[1].Actualizacion_Automatica = false;
        f->filaGuardada(1, tarde.toString(QStringLiteral("dd/MM/yyyy")), QStringLiteral("12:30:00"),
                        {QStringLiteral("1"), QStringLiteral("2"), QStringLiteral("3")});
        QCOMPARE(g->serie(0)->dataCount(), 903);
        cerrarVistas(c);
    }

    // Opened for consultation beside the writer: nothing deletes or edits,
    // the chart reads on its worker, and a row the writer stores after the
    // windows opened is shown within about a second.
    void consultaSigueLaBase()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 300, 10));
        BaseDatos lectura;
        QString error;
        QVERIFY2(lectura.abrirLectura(b.ruta, &error), qPrintable(error));
        Registrador avisos(lectura, b.modelo);
        SeguidorBase seguidor(lectura);
        connect(&seguidor, &SeguidorBase::filaGuardada, &avisos, &Registrador::filaGuardada);
        ContextoVistas c(b.modelo, ventanas_, lectura);
        c.registrador = &avisos;
        seguidor.empezar(200);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        QCOMPARE(f->modelo()->rowCount(), 300);
        QVERIFY(!f->BotonBorrar->isEnabled());
        QVERIFY(!(f->modelo()->flags(f->modelo()->index(0, 3)) & Qt::ItemIsEditable));
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(esperarGrafico(g));
        QCOMPARE(g->serie(0)->dataCount(), 300);

        insertarFilas(b.base, 1, serie(kInicio.addSecs(3000), 1, 10));
        QTRY_COMPARE_WITH_TIMEOUT(f->modelo()->rowCount(), 301, 1500);
        QCOMPARE(g->serie(0)->dataCount(), 301);
        QCOMPARE(f->modelo()->data(f->modelo()->index(300, 2)).toString(),
                 kInicio.addSecs(3000).toString(QStringLiteral("hh:mm:ss")));
        // Emptied by the writer: the rows stored after it are still followed.
        QVERIFY(b.base.vaciarTabla(QStringLiteral("Instrumento1")));
        insertarFilas(b.base, 1, serie(kInicio.addSecs(6000), 2, 10));
        QTRY_COMPARE_WITH_TIMEOUT(g->serie(0)->dataCount(), 303, 1500);
        cerrarVistas(c);
    }

    void errorDeFilasUnaVezPorActualizacion()
    {
        BancoVistas b;
        auto filas = serie(kInicio, 200, 10);
        for (int i = 0; i < 200; i += 20)
            filas[i].valores[1] = QStringLiteral(" oF ");
        insertarFilas(b.base, 1, filas);
        ContextoVistas c(b.modelo, ventanas_, b.base);
        DialogosGuion guion;
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        QVERIFY(esperarGrafico(f->FormaGraf()));
        QCOMPARE(guion.textos().filter(QStringLiteral("No se pudieron graficar")).size(), 1);
        // The refresh's message in its own words.
        const Mostrado& m = guion.mostrados[guion.textos().indexOf(QRegularExpression(QStringLiteral("^No se pudieron graficar.*")))];
        QCOMPARE(m.titulo, QStringLiteral("ATENCION:ERROR!!"));
        QCOMPARE(m.texto, QStringLiteral("No se pudieron graficar todos los valores. Posiblemente haya valors fuera de escla en la tabla"));
        QCOMPARE(f->FormaGraf()->serie(0)->dataCount(), 200);   // values before the error stay
        QCOMPARE(f->FormaGraf()->serie(1)->dataCount(), 190);
        cerrarVistas(c);
    }

    void cancelarConservaPaginas()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 200000, 1));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        DialogosGuion guion;
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(esperarGrafico(g));
        const QString paginas = g->etiquetaTotalPaginas->text();
        const double inicio = g->InicioDatos();
        g->BotonActualizarClick();
        QVERIFY(g->actualizando());
        QVERIFY(!g->BotonActualizar->isEnabled());
        g->BotonCancelarClick();
        guion.respuestas.enqueue(Respuesta::Si);
        QVERIFY(esperarGrafico(g));
        QCOMPARE(guion.mostrados.last().texto, QStringLiteral("Desea cancelar la actualización del gráfico?"));
        QVERIFY(g->BotonActualizar->isEnabled());
        QCOMPARE(g->etiquetaTotalPaginas->text(), paginas);
        QCOMPARE(g->InicioDatos(), inicio);
        QVERIFY(g->serie(0)->dataCount() < 200000);
        cerrarVistas(c);
    }

    void lecturaCruzEImagen()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 300, 10));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(esperarGrafico(g));
        g->grafico()->replot();
        const QRect r = g->grafico()->axisRect()->rect();
        const int y = int(g->grafico()->yAxis->coordToPixel(250));
        g->mostrarLectura(0, r.center().x(), y);
        QVERIFY(g->lecturaVisible());
        // The recorded point nearest the click, in the unit, with the series' name.
        QVERIFY(g->textoLectura().section(QLatin1Char('\n'), 0, 0).endsWith(QStringLiteral(" °C (") + g->serie(0)->name() + QLatin1Char(')')));
        g->ocultarLectura();
        QVERIFY(!g->lecturaVisible());
        g->CheckCruz->setChecked(true);
        g->moverCruz(r.center().x(), r.center().y());
        QVERIFY(g->cruzVisible());
        g->moverCruz(r.left() - 5, r.center().y());
        QVERIFY(!g->cruzVisible());
        QTemporaryDir d;
        QVERIFY(g->guardarImagen(d.filePath(QStringLiteral("g.png"))));
        QVERIFY(g->guardarImagen(d.filePath(QStringLiteral("g.pdf"))));
        QVERIFY(QFileInfo(d.filePath(QStringLiteral("g.png"))).size() > 1000);
        QFile pdf(d.filePath(QStringLiteral("g.pdf")));
        QVERIFY(pdf.open(QIODevice::ReadOnly));
        QVERIFY(pdf.read(4) == "%PDF");
        pdf.close();
        // Written whole or not at all: an image that cannot be put in place
        // leaves the old file and nothing beside it.
        {
            DialogosGuion dg;
            QVERIFY(!g->guardarImagen(d.filePath(QStringLiteral("no-hay/g.png"))));
            QVERIFY(!g->guardarImagen(d.path()));
            QCOMPARE(dg.mostrados.size(), 2);
            QVERIFY2(dg.mostrados.last().texto.contains(QStringLiteral("es una carpeta")), qPrintable(dg.mostrados.last().texto));
            QCOMPARE(QDir(d.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot).size(), 2);
        }
        cerrarVistas(c);
    }

    // A click reads the recorded point nearest to it, never a value between
    // points: its stored value, the series' name and unit, its date and time.
    void lecturaDelPuntoRegistrado()
    {
        BancoVistas b;
        auto filas = serie(kInicio, 30, 10);
        for (FilaPrueba& f : filas)
            f.valores[1] = QStringLiteral("50.0");
        insertarFilas(b.base, 1, filas);
        // Five-minute pages: the readings lie pixels apart.
        b.modelo.Gindividual[1].Tiempo = QStringLiteral("00:05:00");
        b.modelo.Gindividual[1].dias = QStringLiteral("00");
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(esperarGrafico(g));
        g->grafico()->replot();
        QCPGraph* sp = g->serie(1);
        const double x = sp->data()->at(10)->key * 0.4 + sp->data()->at(11)->key * 0.6;
        const int px = int(g->grafico()->xAxis->coordToPixel(x));
        g->mostrarLectura(1, px, int(g->grafico()->yAxis->coordToPixel(50.0)) - 4);
        QStringList lineas = g->textoLectura().split(QLatin1Char('\n'));
        QCOMPARE(lineas.size(), 2);
        QCOMPARE(lineas[0], QStringLiteral("50 °C (") + sp->name() + QLatin1Char(')'));
        QCOMPARE(lineas[1], kInicio.addSecs(110).toString(QStringLiteral("dd/MM/yyyy hh:mm:ss")));
        // Power: percent, the value of that row (11).
        g->mostrarLectura(2, px, 10);
        lineas = g->textoLectura().split(QLatin1Char('\n'));
        QCOMPARE(lineas[0], QStringLiteral("11 % (") + g->serie(2)->name() + QLatin1Char(')'));
        cerrarVistas(c);
    }

    // The cross-hair and the read-out are the screen's: never printed nor
    // saved; the cross-hair goes when the mouse leaves the plot.
    void cruzYLecturaNoSeImprimen()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 60, 10));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(esperarGrafico(g));
        g->grafico()->replot();
        const QRect r = g->grafico()->axisRect()->rect();
        const int cx = r.left() + r.width() / 3 + 1;
        g->CheckCruz->setChecked(true);
        g->moverCruz(cx, r.center().y());
        QVERIFY(g->cruzVisible());
        g->mostrarLectura(0, r.center().x(), r.center().y());
        QVERIFY(g->lecturaVisible());

        // On screen it is there (the check finds it)...
        const QImage pantalla = g->grafico()->toPixmap().toImage();
        QVERIFY(azulesEnColumna(pantalla, cx, r.top() + 2, r.bottom() - 2) > r.height() / 2);
        // ...on paper and in a saved image it is not.
        QImage papel(g->grafico()->size(), QImage::Format_RGB32);
        papel.fill(Qt::white);
        {
            QCPPainter p(&papel);
            dibujarGrafico(g->grafico(), p, QRectF(QPointF(0, 0), QSizeF(papel.size())), 1.0);
        }
        QCOMPARE(azulesEnColumna(papel, cx, r.top() + 2, r.bottom() - 2), 0);
        QTemporaryDir d;
        QVERIFY(g->guardarImagen(d.filePath(QStringLiteral("g.png"))));
        const QImage guardada(d.filePath(QStringLiteral("g.png")));
        QCOMPARE(azulesEnColumna(guardada.scaled(pantalla.size()), cx, r.top() + 2, r.bottom() - 2), 0);
        // Still there on screen afterwards; gone when the mouse leaves.
        QVERIFY(g->cruzVisible() && g->lecturaVisible());
        QEvent salida(QEvent::Leave);
        QApplication::sendEvent(g->grafico(), &salida);
        QVERIFY(!g->cruzVisible());
        cerrarVistas(c);
    }

    // At its opening size the chart window shows every control whole: no
    // overflow button on the tool bar, nothing of the page bar squeezed.
    void barrasDelGraficoCaben()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 20, 10));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(esperarGrafico(g));
        QCOMPARE(g->size(), QSize(800, 468));
        g->show();
        g->layout()->activate();
        QCoreApplication::processEvents();
        auto* barra = g->findChild<QToolBar*>(QStringLiteral("barraComandos"));
        QVERIFY(barra);
        for (QToolButton* e : barra->findChildren<QToolButton*>(QStringLiteral("qt_toolbar_ext_button")))
            QVERIFY(!e->isVisible());
        for (QWidget* w : barra->findChildren<QWidget*>())
            if (w->isVisible() && !qobject_cast<QLineEdit*>(w))
                QVERIFY2(g->rect().contains(QRect(w->mapTo(g, QPoint(0, 0)), w->size())), qPrintable(w->objectName()));
        for (QWidget* w : g->grupoPaginas->findChildren<QWidget*>()) {
            if (!w->isVisible() || qobject_cast<QLineEdit*>(w))
                continue;
            QVERIFY2(w->width() >= w->minimumSizeHint().width(), qPrintable(w->objectName() + QLatin1Char(' ') + w->metaObject()->className()));
            QVERIFY2(g->rect().contains(QRect(w->mapTo(g, QPoint(0, 0)), w->size())), qPrintable(w->objectName()));
        }
        for (QWidget* w : {static_cast<QWidget*>(g->VPuntos), static_cast<QWidget*>(g->CheckCruz)})
            QVERIFY(w->isVisible() && w->width() >= w->minimumSizeHint().width());
        cerrarVistas(c);
    }

    // The table window opens at its design size on the newest rows; a
    // read-only table says why it cannot be deleted.
    void tablaAbreEnLasUltimasFilas()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 3000, 10));
        b.modelo.Config.TableReadOnly = true;
        QMdiArea area;
        area.resize(1200, 900);
        area.show();
        ContextoVistas c(b.modelo, ventanas_, b.base);
        c.mdi = &area;
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        QCoreApplication::processEvents();
        QVERIFY(f->width() >= 629 && f->height() >= 363);
        QScrollBar* barra = f->rejilla()->verticalScrollBar();
        QVERIFY(barra->maximum() > 0);
        QCOMPARE(barra->value(), barra->maximum());
        QVERIFY(!f->BotonBorrar->isEnabled());
        QVERIFY(f->BotonBorrar->toolTip().contains(QStringLiteral("sólo para lectura")));
        cerrarVistas(c);
    }

    void propiedadesRevisadasEnteras()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 30, 10));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        DialogosGuion guion;
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(esperarGrafico(g));
        const TGindividual antes = b.modelo.Gindividual[1];
        {
            TFormaPropGraf p(c, 1, g);
            p.checkValor[1]->setChecked(false);
            p.EspesorLinea->setText(QStringLiteral("0"));
            QVERIFY(!p.BotonAceptarClick());
            QVERIFY(b.modelo.Gindividual[1] == antes);   // nothing applied
            p.EspesorLinea->setText(QStringLiteral("3"));
            p.MaximoTemp->setText(QStringLiteral("inf"));
            QVERIFY(!p.BotonAceptarClick());
            p.MaximoTemp->setText(QStringLiteral("-5"));
            QVERIFY(!p.BotonAceptarClick());   // maximum below minimum
            QVERIFY(b.modelo.Gindividual[1] == antes);
            QCOMPARE(guion.mostrados.size(), 3);
            p.MaximoTemp->setText(QStringLiteral("400"));
            p.PosAl[0]->setValue(300);   // the spinner stops at 255
            QVERIFY(p.BotonAceptarClick());
        }
        QVERIFY(esperarGrafico(g));
        QCOMPARE(b.modelo.Gindividual[1].EspesorLinea, 3);
        QCOMPARE(b.modelo.Gindividual[1].MaximoTemp, 400.0);
        QCOMPARE(b.modelo.Gindividual[1].NivelAl1, quint8(255));
        QVERIFY(!b.modelo.Gindividual[1].SetP);
        QCOMPARE(g->serie(1)->dataCount(), 0);
        QCOMPARE(g->serie(0)->pen().width(), 3);
        // Opened again: the same values.
        TFormaPropGraf p2(c, 1, g);
        QCOMPARE(p2.EspesorLinea->text(), QStringLiteral("3"));
        QCOMPARE(p2.MaximoTemp->text(), QStringLiteral("400"));
        QVERIFY(!p2.checkValor[1]->isChecked());
        cerrarVistas(c);
    }

    void propiedadesFondoYFuenteDelTitulo()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 30, 10));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        DialogosGuion guion;
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(esperarGrafico(g));
        const TGindividual antes = b.modelo.Gindividual[1];
        QColor siguiente;
        int pedidos = 0;
        const auto colorFijo = [&](const QColor&, QWidget*) {
            ++pedidos;
            return siguiente;
        };
        {
            TFormaPropGraf p(c, 1, g);
            p.elegirColor = colorFijo;
            QCOMPARE(p.checkGradiente->text(), QStringLiteral("Habilitar gradiente"));
            QCOMPARE(p.checkColorFondo->text(), QStringLiteral("Activar color de fondo"));
            QCOMPARE(p.botonColorSup->text(), QStringLiteral("Color superior"));
            QCOMPARE(p.botonColorInf->text(), QStringLiteral("Color inferior"));
            QCOMPARE(p.botonColorFondo->text(), QStringLiteral("Color de Fondo"));
            QCOMPARE(p.botonFuente->text(), QStringLiteral("Fuente"));
            QVERIFY(!p.checkColorFondo->isChecked());   // unchecked the first time
            siguiente = QColor(10, 20, 30);
            p.botonColorSup->click();
            siguiente = QColor(200, 210, 220);
            p.botonColorInf->click();
            siguiente = QColor(255, 255, 200);
            p.botonColorFondo->click();
            siguiente = QColor();   // cancelled: the swatch keeps its colour
            p.botonColorFondo->click();
            QCOMPARE(pedidos, 4);
            QCOMPARE(p.colorDeFondo(), QColor(255, 255, 200));
            QVERIFY(p.muestraColorSup->styleSheet().contains(QColor(10, 20, 30).name()));
            p.elegirFuente = [](FuenteConColor& fc, QWidget*) {
                fc.fuente = QFont(QStringLiteral("Courier"), 17, QFont::Bold);
                fc.color = Qt::red;
                return true;
            };
            p.botonFuente->click();
            QCOMPARE(p.textoTitulo->font().pointSize(), 17);   // the edit previews the font
            // Nothing reaches the chart before "Aceptar".
            QVERIFY(!g->gradienteActivo());
            QVERIFY(!g->colorFondo().isValid());
            p.checkGradiente->setChecked(true);
            p.checkColorFondo->click();
            QVERIFY(p.BotonAceptarClick());
        }
        QVERIFY(esperarGrafico(g));
        QVERIFY(b.modelo.Gindividual[1] == antes);   // none of these is a setting
        QVERIFY(g->gradienteActivo());
        QCOMPARE(g->colorGradienteSup(), QColor(10, 20, 30));
        QCOMPARE(g->colorGradienteInf(), QColor(200, 210, 220));
        QCOMPARE(g->colorFondo(), QColor(255, 255, 200));
        QCOMPARE(g->grafico()->axisRect()->backgroundBrush().color(), QColor(255, 255, 200));
        auto* tit = qobject_cast<QCPTextElement*>(g->grafico()->plotLayout()->element(0, 0));
        QVERIFY(tit);
        QCOMPARE(tit->font().pointSize(), 17);
        QVERIFY(tit->font().bold());
        QCOMPARE(tit->textColor(), QColor(Qt::red));
        // The gradient is drawn: top and bottom of the chart differ.
        const QImage img = g->grafico()->toPixmap(400, 300).toImage();
        QVERIFY(img.pixelColor(2, 2) != img.pixelColor(2, 297));
        {
            // Opened again: the same values, and the background switch kept.
            TFormaPropGraf p(c, 1, g);
            p.elegirColor = colorFijo;
            QVERIFY(p.checkGradiente->isChecked());
            QVERIFY(p.checkColorFondo->isChecked());
            QCOMPARE(p.colorSuperior(), QColor(10, 20, 30));
            QCOMPARE(p.colorInferior(), QColor(200, 210, 220));
            QCOMPARE(p.colorDeFondo(), QColor(255, 255, 200));
            QCOMPARE(p.textoTitulo->font().pointSize(), 17);
            QCOMPARE(p.colorTitulo(), QColor(Qt::red));
            // Unchecking takes the colour off at once, before "Aceptar".
            p.checkColorFondo->click();
            QVERIFY(!g->colorFondo().isValid());
            QCOMPARE(g->grafico()->axisRect()->backgroundBrush().style(), Qt::NoBrush);
            // A new colour with the switch off: the chart stays without one.
            siguiente = QColor(0, 0, 255);
            p.botonColorFondo->click();
            p.checkGradiente->setChecked(false);
            QVERIFY(p.BotonAceptarClick());
        }
        QVERIFY(esperarGrafico(g));
        QVERIFY(!g->colorFondo().isValid());
        QVERIFY(!g->gradienteActivo());
        QCOMPARE(g->grafico()->toPixmap(400, 300).toImage().pixelColor(2, 2), QColor(Qt::white));
        {
            // A refused acceptance applies none of them.
            TFormaPropGraf p(c, 1, g);
            p.elegirColor = colorFijo;
            QVERIFY(!p.checkColorFondo->isChecked());
            p.checkGradiente->setChecked(true);
            p.checkColorFondo->click();
            p.EspesorLinea->setText(QStringLiteral("x"));
            QVERIFY(!p.BotonAceptarClick());
            QVERIFY(!g->gradienteActivo());
            QVERIFY(!g->colorFondo().isValid());
            p.checkColorFondo->click();   // back to unchecked for the next tests
        }
        QCOMPARE(guion.mostrados.size(), 1);
        cerrarVistas(c);
    }

    void longitudDePaginaEditada()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 100, 60));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        DialogosGuion guion;
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(esperarGrafico(g));
        g->dias->setText(QStringLiteral("00"));
        g->Tiempo->setText(QStringLiteral("00:00:00"));
        g->TiempoChange();
        QVERIFY(guion.mostrados.isEmpty());   // refused silently
        QCOMPARE(b.modelo.Gindividual[1].Tiempo, QStringLiteral("00:10:00"));
        g->Tiempo->setText(QStringLiteral("00:20:00"));
        g->TiempoChange();
        QCOMPARE(b.modelo.Gindividual[1].Tiempo, QStringLiteral("00:20:00"));
        QCOMPARE(g->etiquetaTotalPaginas->text(), QStringLiteral("5"));   // 99 minutes in 20-minute pages
        g->Tiempo->setText(QStringLiteral("77:00:00"));
        g->TiempoChange();
        QCOMPARE(guion.mostrados.last().texto, QStringLiteral("No es un valor valido de tiempo"));
        cerrarVistas(c);
    }

    void ventanasHijasDelArea()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 50, 10));
        QMdiArea area;
        area.resize(1000, 700);
        area.show();
        ContextoVistas c(b.modelo, ventanas_, b.base);
        c.mdi = &area;
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        QVERIFY(esperarGrafico(f->FormaGraf()));
        QCOMPARE(area.subWindowList().size(), 2);
        // Closed through the registry, as removing the instrument does: frames go too.
        QPointer<TFormaBase> vigilado = f;
        f->close();
        QVERIFY(QTest::qWaitFor([&] { return area.subWindowList().isEmpty(); }));
        QVERIFY(!vigilado);
        QVERIFY(!ventanas_.GraficoAbierto[1]);
        // Again, and all closed at once before the connection goes.
        abrirTablaInstrumento(c, 1)->BotonGraficoClick();
        QCOMPARE(area.subWindowList().size(), 2);
        cerrarVistas(c);
        QCoreApplication::processEvents();
        QVERIFY(area.subWindowList().isEmpty());
    }

    void csvDeLaTabla()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(kInicio, 5, 10));
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        QTemporaryDir d;
        QVERIFY(f->exportarCsv(d.filePath(QStringLiteral("t.csv"))));
        QFile csv(d.filePath(QStringLiteral("t.csv")));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QList<QByteArray> lineas = csv.readAll().split('\n');
        QCOMPARE(lineas.size(), 7);   // header, 5 rows, empty after the last CRLF
        QVERIFY(lineas[0].startsWith("Id,Fecha,Hora,"));
        QCOMPARE(lineas[1], QByteArray("1,05/03/2026,08:15:37,100.5,150,0,100,0,N.I.,Err,\r"));
        cerrarVistas(c);
    }

private:
    RegistroVentanas ventanas_;
};

QTEST_MAIN(TstVistas)
#include "tst_vistas.moc"
