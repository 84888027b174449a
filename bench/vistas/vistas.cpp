// Figures of the data views on a table of 1,000,000 readings and one of 1,000:
// table window time to first paint, chart refresh time and longest event-loop
// stall, live append cost, ombrix-export against `sqlite3 -csv`, and the peak
// memory of the chart window.
//
//   bench-vistas [rows]      (default 1000000)

#include "acquisition/base_datos.h"
#include "acquisition/registro.h"
#include "config/modelo.h"
#include "views/consultas.h"
#include "views/forma_base.h"
#include "views/graf_form.h"
#include "views/modelo_tabla.h"

#include "../comun.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>
#include <numeric>

using namespace ombrix;
using namespace bench;

namespace {

double primeraPintura(ContextoVistas& c, int n)
{
    QElapsedTimer t;
    t.start();
    TFormaBase* f = abrirTablaInstrumento(c, n);
    Pintura p;
    f->rejilla()->viewport()->installEventFilter(&p);
    while (!p.pintado)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    const double ms = t.nsecsElapsed() / 1e6;
    f->rejilla()->viewport()->removeEventFilter(&p);
    return ms;
}

// One live append (store + grid + chart data + pages) to instrument n's open
// windows, and the replot after it; both in ms.
void agregarUna(ContextoVistas& c, BaseDatos& base, int n, double& msAgregar, double& msRedibujar)
{
    auto* f = qobject_cast<TFormaBase*>(c.ventanas.VentanasTabla[n].Ventana);
    TGrafForm* g = f->FormaGraf();
    sqlite3* h = manejadorSqlite(base.db());
    ConsultasInstrumento q(base.db(), n);
    // The next reading after the last one stored.
    const qint64 id = q.ultimoId();
    const QDateTime t = QDateTime(QDate(2025, 1, 1), QTime(0, 0), QTimeZone::utc()).addSecs(id * 10);
    const QString fecha = t.toString(QStringLiteral("dd/MM/yyyy")), hora = t.toString(QStringLiteral("hh:mm:ss"));
    const QByteArray sql = QStringLiteral("INSERT INTO \"Instrumento%1\" (Fecha,Hora,Valor_medido,Set_point,Potencia,"
                                          "Alarma_1,Alarma_2,Alarma_3,Alarma_4) VALUES ('%2','%3','201.5','250','40','0','0','0','0')")
                               .arg(n)
                               .arg(fecha, hora)
                               .toUtf8();
    sqlite3_exec(h, sql.constData(), nullptr, nullptr, nullptr);
    QElapsedTimer r;
    r.start();
    f->filaGuardada(n, fecha, hora,
                    {QStringLiteral("201.5"), QStringLiteral("250"), QStringLiteral("40"), QStringLiteral("0"),
                     QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")});
    msAgregar = r.nsecsElapsed() / 1e6;
    r.restart();
    g->grafico()->replot();
    f->rejilla()->viewport()->repaint();
    msRedibujar = r.nsecsElapsed() / 1e6;
}

// Times every event delivered, to name the longest one.
class Aplicacion : public QApplication {
public:
    using QApplication::QApplication;
    bool medir = false;
    qint64 peorNs = 0;
    QByteArray peorQue;
    int profundidad = 0;
    bool notify(QObject* o, QEvent* e) override
    {
        if (!medir || profundidad > 0)
            return QApplication::notify(o, e);
        ++profundidad;
        QElapsedTimer t;
        t.start();
        const bool r = QApplication::notify(o, e);
        const qint64 ns = t.nsecsElapsed();
        --profundidad;
        if (ns > peorNs) {
            peorNs = ns;
            peorQue = QByteArray(o->metaObject()->className()) + "/" + o->objectName().toUtf8() + " event "
                      + QByteArray::number(int(e->type()));
        }
        return r;
    }
};

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    Aplicacion app(argc, argv);
    const qint64 grandes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    QTemporaryDir dir;
    qputenv("OMBRIX_HOME", dir.path().toUtf8());
    QDir(dir.path()).mkpath(QStringLiteral("RIvariv"));
    const QString ruta = dir.filePath(QStringLiteral("bench.mdb"));
    const QString binarios = QCoreApplication::applicationDirPath();
    if (!copiarPlantilla(ruta))
        return 1;

    Modelo modelo;
    modelo.CantidadAparatos = 3;
    modelo.ActualizarMemoria();
    for (int n = 1; n <= 2; ++n) {
        modelo.granini(n, QString());
        modelo.Estados[n].Titulo = QStringLiteral("Horno %1").arg(n);
        modelo.Estados[n].Unidad = QStringLiteral("°C");
    }
    RegistroVentanas ventanas;
    BaseDatos base;
    QString error;
    if (!base.abrir(ruta, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    QElapsedTimer t;
    t.start();
    generarLecturas(manejadorSqlite(base.db()), 1, grandes, "");
    generarLecturas(manejadorSqlite(base.db()), 2, 1000, "");
    std::printf("table of %lld rows generated in %.2f s\n", grandes, t.nsecsElapsed() / 1e9);

    ContextoVistas c(modelo, ventanas, base);
    {
        QElapsedTimer c0;
        c0.start();
        ConsultasInstrumento q(base.db(), 1);
        q.contar();
        std::printf("count(*) at %lld rows: %.1f ms\n", grandes, c0.nsecsElapsed() / 1e6);
    }
    const double pintura1k = primeraPintura(c, 2);
    const double pinturaG = primeraPintura(c, 1);
    std::printf("table window, time to first paint: %.1f ms at %lld rows, %.1f ms at 1000 rows (target < 100 ms)\n",
                pinturaG, grandes, pintura1k);

    // Chart refresh over the whole table, with the longest stall of the event loop.
    const long rssAntes = memoriaKb("VmRSS:");
    auto* tabla = qobject_cast<TFormaBase*>(ventanas.VentanasTabla[1].Ventana);
    Vigia vigia;
    vigia.empezar();
    app.medir = true;
    t.restart();
    tabla->BotonGraficoClick();
    const double apertura = t.nsecsElapsed() / 1e6;
    TGrafForm* g = tabla->FormaGraf();
    while (g->actualizando())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double refresco = t.nsecsElapsed() / 1e9;
    const double peor = vigia.detener();
    app.medir = false;
    g->grafico()->replot();
    qint64 puntos = 0;
    for (int k = 0; k < kSeries; ++k)
        puntos += g->serie(k)->dataCount();
    std::printf("chart refresh, 7 series over %lld rows (%lld points): %.2f s (target < 0.6 s), longest event-loop stall "
                "%.1f ms (target < 20 ms)\n",
                grandes, puntos, refresco, peor);
    std::printf("  longest single event: %.1f ms (%s)\n", app.peorNs / 1e6, app.peorQue.constData());
    std::printf("  of which opening the chart window (one event): %.1f ms\n", apertura);
    std::printf("chart window memory: VmRSS %ld MB before, VmHWM %ld MB after refresh (+%ld MB)\n", rssAntes / 1024,
                memoriaKb("VmHWM:") / 1024, (memoriaKb("VmHWM:") - rssAntes) / 1024);

    auto* tabla2 = qobject_cast<TFormaBase*>(ventanas.VentanasTabla[2].Ventana);
    tabla2->BotonGraficoClick();
    while (tabla2->FormaGraf()->actualizando())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    // Appends to the two tables in turn, so that whatever else the machine
    // does weighs on both alike; the median is the typical append.
    Muestras agregarG, redibujarG, agregar1k, redibujar1k;
    for (int i = 0; i < 210; ++i) {
        double a, r;
        agregarUna(c, base, 1, a, r);
        if (i >= 10)
            agregarG.v << a, redibujarG.v << r;
        agregarUna(c, base, 2, a, r);
        if (i >= 10)
            agregar1k.v << a, redibujar1k.v << r;
    }
    std::printf("live append to grid and chart: median %.3f ms at %lld rows, %.3f ms at 1000 rows, ratio %.2f (target < 1.2); "
                "mean %.3f / %.3f ms, ratio %.2f\n",
                agregarG.mediana(), grandes, agregar1k.mediana(), agregarG.mediana() / agregar1k.mediana(), agregarG.media(),
                agregar1k.media(), agregarG.media() / agregar1k.media());
    std::printf("  redraw after it (the last page shown: about 8,700 points a series at %lld rows, 1,000 at 1000 rows): "
                "%.1f ms, %.1f ms\n",
                grandes, redibujarG.mediana(), redibujar1k.mediana());
    cerrarVistas(c);
    base.cerrar();

    // ombrix-export against sqlite3 -csv on the same table.
    const QString csv1 = dir.filePath(QStringLiteral("a.csv")), csv2 = dir.filePath(QStringLiteral("b.csv"));
    QProcess p;
    t.restart();
    p.start(binarios + QStringLiteral("/ombrix-export"),
            {QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1"), QStringLiteral("--out"), csv1});
    p.waitForFinished(-1);
    const double exportar = t.nsecsElapsed() / 1e9;
    const bool bienExport = p.exitCode() == 0;
    p.setStandardOutputFile(csv2);
    t.restart();
    p.start(QStringLiteral("sqlite3"), {QStringLiteral("-csv"), ruta, QStringLiteral("SELECT * FROM Instrumento1")});
    p.waitForFinished(-1);
    const double sqlite = t.nsecsElapsed() / 1e9;
    std::printf("ombrix-export %.2f s%s, sqlite3 -csv %.2f s, ratio %.2f (target < 3)\n", exportar,
                bienExport ? "" : " (FAILED)", sqlite, exportar / sqlite);
    return 0;
}
