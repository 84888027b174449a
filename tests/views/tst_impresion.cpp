// Printing: the reports and the chart pages as real PDFs, read back with
// poppler's pdftotext and pdfinfo; ombrix-report; the page range check.

#include "banco_vistas.h"
#include "dialogos_guion.h"

#include "views/forma_base.h"
#include "views/graf_form.h"
#include "views/modelo_tabla.h"
#include "views/tabla_comb.h"
#include "touch/teclado.h"
#include "views/impresion.h"
#include "views/informe.h"
#include "views/puntos.h"
#include "views/vista_previa.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QDir>
#include <QProcess>
#include <QStandardPaths>

#include <sys/stat.h>

using namespace ombrix;
using namespace ombrix::test;

namespace {

QString correr(const QString& programa, const QStringList& args, int* codigo = nullptr, QByteArray* errores = nullptr)
{
    QProcess p;
    p.start(programa, args);
    if (!p.waitForFinished(120000)) {
        if (codigo)
            *codigo = -1;
        return QString();
    }
    if (codigo)
        *codigo = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    if (errores)
        *errores = p.readAllStandardError();
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString textoPdf(const QString& pdf)
{
    return correr(QStringLiteral("pdftotext"), {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
}

int paginasPdf(const QString& pdf)
{
    const QString info = correr(QStringLiteral("pdfinfo"), {pdf});
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("Pages:\\s+(\\d+)")).match(info);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

// A chart window as the print dialog sees it: a real plot over readings
// spanning three and a half time pages, paged by the chart's own page bar.
class GraficoPrueba : public GraficoImprimible {
public:
    GraficoPrueba()
    {
        plot.resize(800, 450);
        auto* t = new QCPTextElement(&plot, QStringLiteral("Datos adquiridos de: Horno 1"), QFont(QStringLiteral("Arial"), 11));
        plot.plotLayout()->insertRow(0);
        plot.plotLayout()->addElement(0, 0, t);
        titulo = t;
        auto* g = plot.addGraph();
        const double x0 = 1772698537.0;   // 05/03/2026 08:15:37
        for (int i = 0; i <= 126; ++i)
            g->addData(x0 + i * 100.0, 100 + (i % 20));
        pag.inicio = inicioDatos(x0);
        pag.largo = 3600;
        pag.xMin = x0;
        pag.xMax = x0 + 12600;
        pag.ultima();
        plot.xAxis->setRange(pag.desde, pag.hasta);
    }
    QCustomPlot* grafico() override { return &plot; }
    qint64 totalPaginas() override { return pag.total; }
    qint64 paginaActual() override { return pag.pagina; }
    void irAPagina(qint64 p) override
    {
        pag.primera();
        while (pag.pagina < p && pag.pagina < pag.total)
            pag.siguiente();
        plot.xAxis->setRange(pag.desde, pag.hasta);
        visitadas << pag.pagina;
    }
    QString tituloGrafico() override { return titulo->text(); }
    void ponerTituloGrafico(const QString& t) override { titulo->setText(t); }
    QString captionVentana() override { return QStringLiteral("GRAFICO: Datos adquiridos de: Horno 1"); }

    QCustomPlot plot;
    QCPTextElement* titulo = nullptr;
    Paginas pag;
    QList<qint64> visitadas;
};

FilaPrueba fila(const QString& fecha, const QString& hora, const QString& va, const QString& partida)
{
    return {fecha, hora, {va, QStringLiteral("150"), QStringLiteral("40"), QStringLiteral("100"), QStringLiteral("0"),
                          QStringLiteral("N.I."), QStringLiteral("Err")},
            partida};
}

} // namespace

class TstImpresion : public QObject {
    Q_OBJECT

    RegistroVentanas ventanas_;
    QString report_;

    int reporte(const QStringList& args, QByteArray* errores = nullptr)
    {
        int codigo = -1;
        correr(report_, args, &codigo, errores);
        return codigo;
    }

private slots:
    void initTestCase()
    {
        QVERIFY2(!QStandardPaths::findExecutable(QStringLiteral("pdftotext")).isEmpty(), "hace falta poppler-utils");
        report_ = RaizTemporal::programa(QStringLiteral("ombrix-report"));
        // Every print goes to a PDF file asked through the dialog interface.
        DestinoImpresion::impresorasInstaladas = [] { return QStringList(); };
    }

    // The table window's print command: the preview draws only the page it
    // shows, and prints every row to a PDF with headers, titles and footers.
    void informeInstrumentoDesdeLaTabla()
    {
        BancoVistas b;
        QVector<FilaPrueba> filas;
        for (int i = 0; i < 50; ++i)
            filas.append(fila(QStringLiteral("05/03/2026"), QTime(8, 0).addSecs(i * 60).toString(QStringLiteral("hh:mm:ss")),
                              QStringLiteral("%1.5").arg(200 + i), QStringLiteral("L%1").arg(1000 + i)));
        insertarFilas(b.base, 1, filas);
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        QVERIFY(f->BotonImpre->isEnabled());
        f->BotonImpre->click();
        auto* v = qobject_cast<TVistaPrevia*>(f->vistaPrevia());
        QVERIFY(v);
        // 21 rows on the first page, 23 on the others.
        QCOMPARE(v->paginas(), 3);
        QCOMPARE(v->zoom(), 80);
        QCOMPARE(v->paginasDibujadas(), 1);
        v->BotonUltimaClick();
        QCOMPARE(v->paginasDibujadas(), 2);
        // Rows stored while the preview is open are not in it.
        insertarFilas(b.base, 1, {fila(QStringLiteral("06/03/2026"), QStringLiteral("09:00:00"), QStringLiteral("1"),
                                       QStringLiteral("TARDE"))});

        DialogosGuion d;
        const QString pdf = b.raiz.ruta(QStringLiteral("instrumento.pdf"));
        d.entradas.enqueue(pdf);
        QSignalSpy fin(v, &TVistaPrevia::impresionTerminada);
        QVERIFY(v->BotonImprimirClick());
        QVERIFY(fin.wait(60000));
        QCOMPARE(fin.first().first().toBool(), true);
        QVERIFY(d.mostrados.first().texto.contains(QStringLiteral("No hay ninguna impresora")));

        QCOMPARE(paginasPdf(pdf), 3);
        const QString t = textoPdf(pdf);
        for (const FilaPrueba& r : filas) {
            QVERIFY2(t.contains(r.hora), qPrintable(r.hora));
            QVERIFY2(t.contains(r.partida), qPrintable(r.partida));
            QVERIFY2(t.contains(r.valores[0]), qPrintable(r.valores[0]));
        }
        QVERIFY(!t.contains(QStringLiteral("TARDE")));
        QCOMPARE(t.count(QStringLiteral("Datos adquiridos de: Horno 1")), 4);   // page headers and the title
        QCOMPARE(t.count(QStringLiteral("Valor medido")), 3);
        QCOMPARE(t.count(QStringLiteral("Impressao o dia:") + QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"))), 3);
        // (pdftotext gives the two blanks after "Página:" as one.)
        QVERIFY(t.contains(QRegularExpression(QStringLiteral("Página:\\s+3"))));
        QVERIFY(!t.contains(QRegularExpression(QStringLiteral("Página:\\s+4"))));

        // Closing the table window takes the preview with it, before the connection goes.
        QPointer<QWidget> previa = v;
        cerrarVistas(c);
        QVERIFY(previa.isNull());
    }

    // ombrix-report: the instrument report for a date range compared as
    // dates, an empty table with its headers, a held database refused.
    void reportInstrumento()
    {
        BancoVistas b;
        QVector<FilaPrueba> filas;
        for (QDate dia(2025, 12, 29); dia <= QDate(2026, 1, 3); dia = dia.addDays(1))
            filas.append(fila(dia.toString(QStringLiteral("dd/MM/yyyy")), QStringLiteral("12:00:00"), QStringLiteral("1.5"),
                              QStringLiteral("P") + dia.toString(QStringLiteral("yyyyMMdd"))));
        insertarFilas(b.base, 2, filas);
        b.modelo.RutaIni = b.raiz.datos() + QStringLiteral("/Ombrix.ini");
        b.modelo.ArrayConfig[2].Titulo = QStringLiteral("Horno Norte");
        b.modelo.SalvarIni();
        const QString ruta = b.ruta;

        // Held by the program: refused, nothing written.
        const QString pdf = b.raiz.ruta(QStringLiteral("noche.pdf"));
        QByteArray errores;
        QVERIFY(reporte({QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("2"),
                         QStringLiteral("--pdf"), pdf},
                        &errores)
                != 0);
        QVERIFY2(errores.contains("no se pudo abrir la base de datos"), errores.constData());
        QVERIFY(!QFile::exists(pdf));
        b.base.cerrar();

        QCOMPARE(reporte({QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("2"),
                          QStringLiteral("--from"), QStringLiteral("31/12/2025"), QStringLiteral("--to"),
                          QStringLiteral("02/01/2026"), QStringLiteral("--pdf"), pdf}),
                 0);
        QString t = textoPdf(pdf);
        QVERIFY(t.contains(QStringLiteral("Datos adquiridos de: Horno Norte")));
        QCOMPARE(t.count(QRegularExpression(QStringLiteral("P2025123[01]|P2026010[123]|P20251229"))), 3);
        QVERIFY(t.contains(QStringLiteral("P20251231")) && t.contains(QStringLiteral("P20260102")));
        QCOMPARE(paginasPdf(pdf), 1);

        // An empty table: one page with the titles and column headers.
        const QString vacio = b.raiz.ruta(QStringLiteral("vacio.pdf"));
        QCOMPARE(reporte({QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1"),
                          QStringLiteral("--pdf"), vacio}),
                 0);
        QCOMPARE(paginasPdf(vacio), 1);
        t = textoPdf(vacio);
        for (const char* s : {"Día", "Hora", "Partida", "Valor medido", "Set point", "Alarma 4", "Página: 1"})
            QVERIFY2(t.contains(QString::fromUtf8(s)), s);

        // Bad arguments.
        QVERIFY(reporte({QStringLiteral("--db"), ruta, QStringLiteral("--pdf"), vacio}) != 0);
        QVERIFY(reporte({QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1"),
                         QStringLiteral("--combinada"), QStringLiteral("--pdf"), vacio})
                != 0);
    }

    // The combined report: value columns after "Hora" from 48.0 mm, each
    // value centred under its title, laid out once however often prepared;
    // and ombrix-report --combinada prints them with their rows.
    void informeCombinado()
    {
        const QStringList titulos{QStringLiteral("Temperatura(Horno 1)"), QStringLiteral("Temperatura(Horno 2)"),
                                  QStringLiteral("Set point(Horno 1)")};
        DisenoInforme d = disenoCombinado(QStringLiteral("Tabla combinada"), titulos);
        ponerColumnasComb(d, titulos);
        QCOMPARE(d.columnas.etiquetas.size(), 6);
        QCOMPARE(d.detalle.campos.size(), 6);
        QCOMPARE(d.columnas.etiquetas[3].izq, 48.0);
        for (int k = 3; k < 6; ++k) {
            const EtiquetaInforme& e = d.columnas.etiquetas[k];
            const CampoInforme& c = d.detalle.campos[k];
            QVERIFY(e.ancho > 10);
            QCOMPARE(c.izq, e.izq + e.ancho / 2);   // each value starts under the middle of its title
            QCOMPARE(c.columna, k);
            if (k > 3)
                QVERIFY(qAbs(e.izq - (d.columnas.etiquetas[k - 1].izq + d.columnas.etiquetas[k - 1].ancho + 3.3)) < 1e-9);
        }

        BancoVistas b;
        b.modelo.InstGrafico[2].SetPointT = true;
        b.modelo.Avanzadas1[2].NombreSP = QStringLiteral("Consigna");
        b.modelo.RutaIni = b.raiz.datos() + QStringLiteral("/Ombrix.ini");
        b.modelo.ArrayConfig[1].Titulo = QStringLiteral("Horno 1");
        b.modelo.ArrayConfig[2].Titulo = QStringLiteral("Horno 2");
        b.modelo.SalvarIni();
        sqlite3* h = manejadorSqlite(b.base.db());
        QCOMPARE(sqlite3_exec(h,
                              "INSERT INTO \"Combinada\" (\"Fecha\",\"Hora\",\"V_medido(Ins1)\",\"V_medido(Ins2)\",\"SP(Ins2)\") "
                              "VALUES ('05/03/2026','08:00:00','101.5','202.5','333'),"
                              "('05/03/2026','08:00:10','111.5','212.5','344')",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        const QString ruta = b.ruta;
        b.base.cerrar();
        const QString pdf = b.raiz.ruta(QStringLiteral("comb.pdf"));
        QCOMPARE(reporte({QStringLiteral("--db"), ruta, QStringLiteral("--combinada"), QStringLiteral("--pdf"), pdf}), 0);
        const QString t = textoPdf(pdf);
        QCOMPARE(paginasPdf(pdf), 1);
        for (const char* s : {"Tabla combinada", "Dia", "Consigna(Horno 2)", "101.5", "202.5", "344", "08:00:10",
                              "Impreso el día:"})
            QVERIFY2(t.contains(QString::fromUtf8(s)), s);
        QVERIFY(t.indexOf(QStringLiteral("(Horno 1)")) < t.indexOf(QStringLiteral("Consigna(Horno 2)")));
    }

    // The chart print dialog prints the chart's time pages: a range gives that
    // many sheets, each title gains its page line, and the chart gets its
    // title and page back.
    void graficoPorPaginas()
    {
        GraficoPrueba g;
        QCOMPARE(g.totalPaginas(), 4);
        QTemporaryDir dir;
        DialogosGuion d;
        TFormaImpresion f;
        f.ponerGrafico(&g);
        QCOMPARE(f.windowTitle(), QStringLiteral("Impresión: GRAFICO: Datos adquiridos de: Horno 1"));
        f.FormActivate();
        QCOMPARE(f.etiquetaTotalPaginas->text(), QStringLiteral("(4)"));
        QCOMPARE(f.EditHasta->text(), QStringLiteral("4"));
        QVERIFY(f.EditDesde->ShowKbr && f.EditDesde->Numeric && !f.EditDesde->isEnabled());
        // One sheet unless asked for more.
        QVERIFY(f.RadioActual->isChecked());

        f.RadioParcial->click();
        QVERIFY(f.EditDesde->isEnabled());
        f.EditDesde->setText(QStringLiteral("2"));
        f.EditHasta->setText(QStringLiteral("3"));
        const QString parcial = dir.filePath(QStringLiteral("parcial.pdf"));
        d.entradas.enqueue(parcial);
        QVERIFY(f.BotonAceptarClick());
        QCOMPARE(paginasPdf(parcial), 2);
        const QString t = textoPdf(parcial);
        QVERIFY(t.contains(QStringLiteral("2)")) && t.contains(QStringLiteral("3)")));
        // The whole page line under the title.
        QVERIFY2(t.contains(QStringLiteral("(Página 2)")) && t.contains(QStringLiteral("(Página 3)")), qPrintable(t));
        QVERIFY(!t.contains(QStringLiteral("4)")));
        QCOMPARE(g.titulo->text(), QStringLiteral("Datos adquiridos de: Horno 1"));
        QCOMPARE(g.paginaActual(), 4);
        QCOMPARE(f.barraProgreso->value(), f.barraProgreso->maximum());

        f.FormActivate();
        f.RadioTodas->click();
        const QString todas = dir.filePath(QStringLiteral("todas.pdf"));
        d.entradas.enqueue(todas);
        QVERIFY(f.BotonAceptarClick());
        QCOMPARE(paginasPdf(todas), 4);

        f.FormActivate();
        g.irAPagina(2);
        f.FormActivate();
        f.RadioActual->click();
        const QString actual = dir.filePath(QStringLiteral("actual.pdf"));
        d.entradas.enqueue(actual);
        QVERIFY(f.BotonAceptarClick());
        QCOMPARE(paginasPdf(actual), 1);
        QVERIFY(textoPdf(actual).contains(QStringLiteral("2)")));
        QCOMPARE(g.paginaActual(), 2);

        // A PDF is written whole or not at all: a target that is not a
        // regular file is refused and stays as it was, nothing is left beside it.
        const QString fifo = dir.filePath(QStringLiteral("tuberia.pdf"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        f.FormActivate();
        d.entradas.enqueue(fifo);
        d.mostrados.clear();
        QVERIFY(!f.BotonAceptarClick());
        QVERIFY(!d.mostrados.isEmpty());
        QVERIFY2(d.mostrados.last().texto.contains(QStringLiteral("no un archivo común")),
                 qPrintable(d.mostrados.last().texto));
        QVERIFY(QFileInfo(fifo).exists() && !QFileInfo(fifo).isFile());
        QCOMPARE(QDir(dir.path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot).size(), 4);
        // And the printer writes where it was told again.
        f.FormActivate();
        d.entradas.enqueue(actual);
        QVERIFY(f.BotonAceptarClick());
        QCOMPARE(paginasPdf(actual), 1);
    }

    // The real windows: the instrument chart prints every time page through
    // its Imprimir button and keeps its title and page; a filtered combined
    // table prints only the rows it shows.
    void imprimirDesdeLasVentanas()
    {
        BancoVistas b;
        b.modelo.Gindividual[1].Tiempo = QStringLiteral("01:00:00");
        b.modelo.Gindividual[1].dias = QStringLiteral("00");
        QVector<FilaPrueba> filas;
        for (int i = 0; i < 200; ++i)
            filas.append(fila(QStringLiteral("05/03/2026"), QTime(8, 0).addSecs(i * 60).toString(QStringLiteral("hh:mm:ss")),
                              QStringLiteral("%1.5").arg(200 + i % 7), QStringLiteral("L1")));
        insertarFilas(b.base, 1, filas);
        ContextoVistas c(b.modelo, ventanas_, b.base);
        TFormaBase* f = abrirTablaInstrumento(c, 1);
        f->BotonGraficoClick();
        TGrafForm* g = f->FormaGraf();
        QVERIFY(g && QTest::qWaitFor([g] { return !g->actualizando(); }, 20000));
        QCOMPARE(g->totalPaginas(), 4);   // 08:00 to 11:19, an hour a page
        const QString titulo = g->tituloGrafico();
        TFormaImpresion* dlg = g->BotonImprimirClick();
        QVERIFY(dlg && dlg->isVisible());
        QCOMPARE(dlg->etiquetaTotalPaginas->text(), QStringLiteral("(4)"));
        dlg->RadioTodas->click();
        DialogosGuion d;
        const QString pdf = b.raiz.ruta(QStringLiteral("grafico.pdf"));
        d.entradas.enqueue(pdf);
        QVERIFY(dlg->BotonAceptarClick());
        QCOMPARE(paginasPdf(pdf), 4);
        QCOMPARE(g->tituloGrafico(), titulo);
        QCOMPARE(g->paginaActual(), 4);
        QCOMPARE(g->paginas().desde, g->grafico()->xAxis->range().lower);

        QCOMPARE(sqlite3_exec(manejadorSqlite(b.base.db()),
                              "INSERT INTO \"Combinada\" (\"Fecha\",\"Hora\",\"V_medido(Ins1)\") VALUES "
                              "('05/03/2026','08:00:00','101.5'),('06/03/2026','08:00:10','111.5'),"
                              "('05/03/2026','08:00:20','121.5')",
                              nullptr, nullptr, nullptr),
                 SQLITE_OK);
        TFormaTablaComb* t = abrirTablaCombinada(c);
        QVERIFY(QTest::qWaitFor([t] { return !t->leyendo(); }, 20000));
        t->DBGrid1CellClick(t->modelo()->index(0, 1));   // Fecha 05/03/2026
        t->BotonFiltroClick();
        QVERIFY(QTest::qWaitFor([t] { return !t->leyendo() && t->modelo()->rowCount() == 2; }, 20000));
        TVistaPrevia* v = t->BotonImpreClick();
        QVERIFY(v);
        const QString comb = b.raiz.ruta(QStringLiteral("filtrada.pdf"));
        d.entradas.enqueue(comb);
        QSignalSpy fin(v, &TVistaPrevia::impresionTerminada);
        QVERIFY(v->BotonImprimirClick());
        QVERIFY(fin.wait(60000));
        const QString texto = textoPdf(comb);
        QVERIFY(texto.contains(QStringLiteral("101.5")) && texto.contains(QStringLiteral("121.5")));
        QVERIFY(!texto.contains(QStringLiteral("111.5")));
        cerrarVistas(c);
    }

    // More than ten sheets are printed only when the operator agrees, told how many.
    void muchasHojasPreguntanAntes()
    {
        GraficoPrueba g;
        g.pag.largo = 600;   // ten-minute pages: 22 of them
        g.pag.ultima();
        QCOMPARE(g.totalPaginas(), 22);
        QTemporaryDir dir;
        DialogosGuion d;
        TFormaImpresion f;
        f.ponerGrafico(&g);
        f.FormActivate();
        f.RadioTodas->click();
        d.respuestas.enqueue(Respuesta::No);
        QVERIFY(!f.BotonAceptarClick());
        QCOMPARE(d.mostrados.size(), 1);
        QCOMPARE(d.mostrados[0].botones, Botones::SiNo);
        QVERIFY(d.mostrados[0].texto.contains(QStringLiteral("22 hojas")));
        QVERIFY(g.visitadas.isEmpty());

        // Ten sheets go without a question; agreeing prints all 22.
        f.RadioParcial->click();
        f.EditDesde->setText(QStringLiteral("3"));
        f.EditHasta->setText(QStringLiteral("12"));
        const QString diez = dir.filePath(QStringLiteral("diez.pdf"));
        d.entradas.enqueue(diez);
        d.mostrados.clear();
        QVERIFY(f.BotonAceptarClick());
        QCOMPARE(paginasPdf(diez), 10);
        QVERIFY(d.textos().filter(QStringLiteral("hojas")).isEmpty());
        f.FormActivate();
        f.RadioTodas->click();
        const QString todas = dir.filePath(QStringLiteral("todas.pdf"));
        d.respuestas.enqueue(Respuesta::Si);
        d.entradas.enqueue(todas);
        QVERIFY(f.BotonAceptarClick());
        QCOMPARE(paginasPdf(todas), 22);
    }

    // Value columns never run off the paper: the texts shrink to a floor and
    // what still does not fit goes on a further set of pages.
    void informeCombinadoNoSeCorta()
    {
        DisenoInforme pocas = disenoCombinado(QStringLiteral("Tabla combinada"), {QStringLiteral("Valor Actual(Horno 1)")});
        QCOMPARE(pocas.juegos, 1);
        QCOMPARE(pocas.columnas.etiquetas.last().fuente.pointSizeF(), 9.0);
        QCOMPARE(pocas.columnas.etiquetas.last().izq, 48.0);

        QStringList titulos;
        for (int n = 1; n <= 20; ++n)
            titulos << QStringLiteral("Valor Actual(Horno de recocido %1)").arg(n);
        DisenoInforme d = disenoCombinado(QStringLiteral("Tabla combinada"), titulos);
        QVERIFY(d.juegos > 1);
        QCOMPARE(d.columnas.etiquetas.size(), 3 + 20);
        QSet<int> juegos;
        for (int k = 3; k < d.columnas.etiquetas.size(); ++k) {
            const EtiquetaInforme& e = d.columnas.etiquetas[k];
            QVERIFY2(e.izq + e.ancho <= d.anchoUtil() + 1e-6, qPrintable(e.texto));
            QVERIFY(e.fuente.pointSizeF() >= kPuntosMinimosComb);
            const CampoInforme& c = d.detalle.campos[k];
            QCOMPARE(c.juego, e.juego);
            QVERIFY(c.izq + c.ancho <= d.anchoUtil() + 3.3 + 1e-6);
            juegos.insert(e.juego);
        }
        QCOMPARE(juegos.size(), d.juegos);
        // Every row on each set of pages.
        QCOMPARE(d.paginas(10), qint64(d.juegos));
        QCOMPARE(d.paginas(d.filasPrimera() + 1), qint64(2 * d.juegos));
    }

    // A wrong range is refused with a message and prints nothing; cancelling
    // leaves the title as it was and brings back the page.
    void rangoYCancelar()
    {
        GraficoPrueba g;
        DialogosGuion d;
        TFormaImpresion f;
        f.ponerGrafico(&g);
        f.FormActivate();
        f.RadioParcial->click();
        const QList<QPair<QString, QString>> malos{{QStringLiteral("3"), QStringLiteral("2")},
                                                   {QStringLiteral("0"), QStringLiteral("1")},
                                                   {QStringLiteral("1"), QStringLiteral("5")},
                                                   {QStringLiteral("a"), QStringLiteral("2")},
                                                   {QStringLiteral("1.5"), QStringLiteral("2")}};
        for (const auto& r : malos) {
            f.EditDesde->setText(r.first);
            f.EditHasta->setText(r.second);
            d.mostrados.clear();
            QVERIFY(!f.BotonAceptarClick());
            QCOMPARE(d.mostrados.size(), 1);
            QCOMPARE(d.mostrados.first().titulo, kTituloError);
            QVERIFY(d.mostrados.first().texto.contains(QStringLiteral("1 ≤ Desde ≤ Hasta ≤ 4")));
            QVERIFY(g.visitadas.isEmpty());
        }
        // No printer and no PDF file chosen: nothing printed, nothing changed.
        f.EditDesde->setText(QStringLiteral("1"));
        f.EditHasta->setText(QStringLiteral("1"));
        QVERIFY(!f.BotonAceptarClick());
        QVERIFY(g.visitadas.isEmpty());

        g.irAPagina(3);
        f.FormActivate();
        g.irAPagina(1);
        f.BotonCancelarClick();
        QCOMPARE(g.paginaActual(), 3);
        QCOMPARE(g.titulo->text(), QStringLiteral("Datos adquiridos de: Horno 1"));
    }
};

QTEST_MAIN(TstImpresion)
#include "tst_impresion.moc"
