// Figures of the printed reports on an instrument table of 1,000,000 readings
// and one of 10,000: time to the preview's first page, to its last page and
// to the page after that, time and size of the PDF of the 10,000 rows, and
// 500 pages printed from the middle of the large table (memory must not grow
// with the pages printed).
//
//   bench-informe [rows]                 (default 1000000)
//   bench-informe --muestras DIR         writes the sample PDFs of docs/:
//                                        instrument report, combined report, chart print

#include "acquisition/base_datos.h"
#include "config/dialogos.h"
#include "config/modelo.h"
#include "touch/teclado.h"
#include "views/consultas.h"
#include "views/impresion.h"
#include "views/informe.h"
#include "views/puntos.h"
#include "views/vista_previa.h"

#include "../comun.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QPdfWriter>
#include <QTemporaryDir>

#include <sqlite3.h>

#include <cmath>
#include <cstdio>

using namespace ombrix;
using namespace bench;

namespace {

double ms(const QElapsedTimer& t) { return t.nsecsElapsed() / 1e6; }

bool escribirPdf(Informe& informe, const QString& ruta, qint64 desde, qint64 hasta)
{
    QPdfWriter w(ruta);
    w.setResolution(600);
    prepararPagina(w, informe.diseno());
    ImpresionInforme i(informe, w, desde, hasta);
    return i.todo();
}

// A chart like the instrument chart's, paged by time, for the sample print.
class GraficoMuestra : public GraficoImprimible {
public:
    GraficoMuestra()
    {
        plot.resize(900, 500);
        titulo = new QCPTextElement(&plot, QStringLiteral("Datos adquiridos de: Horno 1"), QFont(QStringLiteral("Arial"), 11, QFont::Bold));
        plot.plotLayout()->insertRow(0);
        plot.plotLayout()->addElement(0, 0, titulo);
        plot.legend->setVisible(true);
        auto fechas = QSharedPointer<QCPAxisTickerDateTime>::create();
        fechas->setDateTimeFormat(QStringLiteral("dd/MM/yyyy\nhh:mm:ss"));
        fechas->setDateTimeSpec(Qt::UTC);
        plot.xAxis->setTicker(fechas);
        plot.yAxis->setLabel(QStringLiteral("°C"));
        plot.yAxis->setRange(150, 300);
        plot.yAxis2->setVisible(true);
        plot.yAxis2->setRange(0, 100);
        const double x0 = QDateTime(QDate(2026, 3, 5), QTime(8, 0), QTimeZone::utc()).toSecsSinceEpoch();
        QCPGraph* va = plot.addGraph();
        va->setName(QStringLiteral("Temperatura"));
        va->setPen(QPen(Qt::darkGreen, 2));
        QCPGraph* sp = plot.addGraph();
        sp->setName(QStringLiteral("Set point"));
        sp->setPen(QPen(Qt::red, 2));
        QCPGraph* pot = plot.addGraph(plot.xAxis, plot.yAxis2);
        pot->setName(QStringLiteral("Potencia"));
        pot->setPen(QPen(Qt::cyan));
        for (int i = 0; i < 4 * 360; ++i) {
            const double x = x0 + i * 10.0;
            va->addData(x, 250 - 60 * std::exp(-i / 200.0) + 3 * std::sin(i / 30.0));
            sp->addData(x, 250);
            pot->addData(x, 20 + 60 * std::exp(-i / 250.0));
        }
        pag.inicio = inicioDatos(x0);
        pag.largo = 3600;
        pag.xMin = x0;
        pag.xMax = x0 + 4 * 3600 - 10;
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
    }
    QString tituloGrafico() override { return titulo->text(); }
    void ponerTituloGrafico(const QString& t) override { titulo->setText(t); }
    QString captionVentana() override { return QStringLiteral("GRAFICO: Datos adquiridos de: Horno 1"); }

    QCustomPlot plot;
    QCPTextElement* titulo = nullptr;
    Paginas pag;
};

class DialogosFijos : public DialogosConsola {
public:
    QString pdf;
    bool entrada(const QString&, const QString&, QString& texto) override
    {
        texto = pdf;
        return true;
    }
};

int muestras(const QString& dir, BaseDatos& base)
{
    generarLecturas(manejadorSqlite(base.db()), 1, 300, "L-2291");
    // Combined rows for two instruments.
    sqlite3* h = manejadorSqlite(base.db());
    sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
    for (int i = 0; i < 40; ++i) {
        const QDateTime t = QDateTime(QDate(2026, 3, 5), QTime(8, 0), QTimeZone::utc()).addSecs(i * 60);
        const QByteArray sql = QStringLiteral("INSERT INTO \"Combinada\" (\"Fecha\",\"Hora\",\"V_medido(Ins1)\",\"V_medido(Ins2)\","
                                              "\"SP(Ins1)\",\"SP(Ins2)\") VALUES ('%1','%2','%3','%4','250','180')")
                                   .arg(t.toString(QStringLiteral("dd/MM/yyyy")), t.toString(QStringLiteral("hh:mm:ss")))
                                   .arg(200 + 0.5 * i, 0, 'f', 1)
                                   .arg(150 + 0.7 * i, 0, 'f', 1)
                                   .toUtf8();
        sqlite3_exec(h, sql.constData(), nullptr, nullptr, nullptr);
    }
    sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);
    auto ins = informeInstrumento(base.db(), 1, QStringLiteral("Datos adquiridos de: Horno 1"));
    QVector<ColumnaComb> cols;
    for (TipoValor t : {TipoValor::Medido, TipoValor::SetPoint})
        for (int n = 1; n <= 2; ++n)
            cols.append({n, t, campoCombinada(t, n),
                         (t == TipoValor::Medido ? QStringLiteral("Temperatura(Horno %1)") : QStringLiteral("Set point(Horno %1)")).arg(n)});
    auto comb = informeCombinado(base.db(), QStringLiteral("Tabla combinada"), cols);
    bool bien = escribirPdf(*ins, dir + QStringLiteral("/informe_instrumento.pdf"), 1, 1)
                && escribirPdf(*comb, dir + QStringLiteral("/informe_combinado.pdf"), 1, 1);

    DialogosFijos d;
    d.pdf = dir + QStringLiteral("/impresion_grafico.pdf");
    instalarDialogos(&d);
    DestinoImpresion::impresorasInstaladas = [] { return QStringList(); };
    GraficoMuestra g;
    TFormaImpresion f;
    f.ponerGrafico(&g);
    f.FormActivate();
    f.RadioParcial->click();
    f.EditDesde->setText(QStringLiteral("2"));
    f.EditHasta->setText(QStringLiteral("3"));
    bien = f.BotonAceptarClick() && bien;
    instalarDialogos(nullptr);
    std::printf("muestras en %s: %s\n", qPrintable(dir), bien ? "bien" : "FALLO");
    return bien ? 0 : 1;
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    QTemporaryDir dir;
    qputenv("OMBRIX_HOME", dir.path().toUtf8());
    const QString ruta = dir.filePath(QStringLiteral("bench.mdb"));
    if (!QFile::copy(QCoreApplication::applicationDirPath() + QStringLiteral("/Modelo.mod"), ruta)) {
        std::fprintf(stderr, "bench-informe: no está Modelo.mod junto al programa\n");
        return 1;
    }
    QFile(ruta).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    BaseDatos base;
    QString error;
    if (!base.abrir(ruta, &error)) {
        std::fprintf(stderr, "bench-informe: %s\n", qPrintable(error));
        return 1;
    }
    if (args.size() > 2 && args[1] == QLatin1String("--muestras"))
        return muestras(args[2], base);

    const qint64 grandes = args.size() > 1 ? args[1].toLongLong() : 1000000;
    QElapsedTimer t;
    t.start();
    generarLecturas(manejadorSqlite(base.db()), 1, grandes, "L-2291");
    generarLecturas(manejadorSqlite(base.db()), 2, 10000, "L-2291");
    std::printf("tables: %lld and 10000 rows written in %.0f ms\n", static_cast<long long>(grandes), ms(t));

    for (int n : {2, 1}) {
        t.restart();
        auto* v = new TVistaPrevia(informeInstrumento(base.db(), n, QStringLiteral("Datos adquiridos de: Horno")),
                                   QStringLiteral("Horno"));
        const double primera = ms(t);
        t.restart();
        v->BotonUltimaClick();
        const double ultima = ms(t);
        t.restart();
        v->BotonAnteriorClick();
        const double anterior = ms(t);
        std::printf("preview, %lld rows (%lld pages): first page %.1f ms, last page %.1f ms, the one before %.1f ms, "
                    "pages drawn %lld\n",
                    static_cast<long long>(v->informe().filas()), static_cast<long long>(v->paginas()), primera, ultima,
                    anterior, static_cast<long long>(v->paginasDibujadas()));
        delete v;
    }

    const QString pdf = dir.filePath(QStringLiteral("diez_mil.pdf"));
    auto diezMil = informeInstrumento(base.db(), 2, QStringLiteral("Datos adquiridos de: Horno 2"));
    t.restart();
    const bool bien = escribirPdf(*diezMil, pdf, 1, diezMil->paginas());
    std::printf("PDF of 10000 rows: %lld pages in %.0f ms (%.2f ms a page), %lld KiB%s\n",
                static_cast<long long>(diezMil->paginas()), ms(t), ms(t) / double(diezMil->paginas()),
                static_cast<long long>(QFileInfo(pdf).size() / 1024), bien ? "" : " FAILED");

    auto grande = informeInstrumento(base.db(), 1, QStringLiteral("Datos adquiridos de: Horno 1"));
    const qint64 medio = grande->paginas() / 2;
    const long rssAntes = memoriaKb("VmRSS:");
    t.restart();
    escribirPdf(*grande, dir.filePath(QStringLiteral("medio.pdf")), medio, medio + 499);
    std::printf("PDF of pages %lld..%lld of %lld: %.0f ms; resident memory %ld -> %ld KiB (peak %ld KiB)\n",
                static_cast<long long>(medio), static_cast<long long>(medio + 499),
                static_cast<long long>(grande->paginas()), ms(t), rssAntes, memoriaKb("VmRSS:"), memoriaKb("VmHWM:"));
    return bien ? 0 : 1;
}
