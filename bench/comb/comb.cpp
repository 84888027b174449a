// Figures of the combined views on a "Combinada" table of 1,000,000 rows of
// 20 instruments and one of 1,000: combined table window time to first paint,
// filter and order on a clicked cell (first paint, total time, longest
// event-loop stall), combined chart refresh of 20 series with its longest
// stall and peak memory, and the cost of one live combined row.
//
//   bench-comb [rows]      (default 1000000)

#include "acquisition/base_datos.h"
#include "acquisition/registro.h"
#include "config/modelo.h"
#include "views/consultas_comb.h"
#include "views/forma_base.h"
#include "views/graf_comb.h"
#include "views/modelo_tabla.h"
#include "views/tabla_comb.h"

#include "../comun.h"

#include <qcustomplot.h>

#include <QApplication>
#include <QDateTime>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QFile>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolButton>

#include <sqlite3.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>
#include <numeric>

using namespace ombrix;
using namespace bench;

namespace {

constexpr int kInstrumentos = 20;

QByteArray sqlFila()
{
    QStringList cols{QStringLiteral("\"Fecha\""), QStringLiteral("\"Hora\"")}, marcas{QStringLiteral("?"), QStringLiteral("?")};
    for (int n = 1; n <= kInstrumentos; ++n)
        for (int k = 0; k < kTiposValor; ++k) {
            cols << identificadorSql(campoCombinada(TipoValor(k), n));
            marcas << QStringLiteral("?");
        }
    return (QStringLiteral("INSERT INTO \"Combinada\" (") + cols.join(QLatin1Char(',')) + QStringLiteral(") VALUES (")
            + marcas.join(QLatin1Char(',')) + QLatin1Char(')'))
        .toUtf8();
}

// Date and time of row i (counted from 0): every 10 s from 01/01/2025.
void fechaHora(qint64 i, char* fecha, char* hora)
{
    static const QDate inicio(2025, 1, 1);
    const qint64 s = i * 10;
    const QDate d = inicio.addDays(s / 86400);
    std::snprintf(fecha, 16, "%02d/%02d/%04d", d.day(), d.month(), d.year());
    const int t = int(s % 86400);
    std::snprintf(hora, 16, "%02d:%02d:%02d", t / 3600, t / 60 % 60, t % 60);
}

// Simulator-like combined rows of 20 instruments, straight into the file with
// SQLite itself, in one transaction, before the program opens it.
bool generar(const QString& ruta, qint64 filas)
{
    sqlite3* h = nullptr;
    if (sqlite3_open(QFile::encodeName(ruta).constData(), &h) != SQLITE_OK)
        return false;
    sqlite3_exec(h, "PRAGMA journal_mode=OFF; PRAGMA synchronous=OFF; PRAGMA cache_size=-65536", nullptr, nullptr, nullptr);
    sqlite3_exec(h, "BEGIN", nullptr, nullptr, nullptr);
    sqlite3_stmt* st = nullptr;
    const QByteArray sql = sqlFila();
    if (sqlite3_prepare_v2(h, sql.constData(), -1, &st, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(h));
        sqlite3_close(h);
        return false;
    }
    // One period of a slow wave as texts, shifted per instrument.
    constexpr int kPeriodo = 3142;
    QVector<QByteArray> medidos(kPeriodo), potencias(kPeriodo);
    for (int k = 0; k < kPeriodo; ++k) {
        medidos[k] = QByteArray::number(200.0 + 50.0 * std::sin(double(k) / 500.0), 'f', 1);
        potencias[k] = QByteArray::number(int(50 + 40 * std::cos(double(k) / 500.0)));
    }
    char fecha[16] = {}, hora[16] = {};
    for (qint64 i = 0; i < filas; ++i) {
        fechaHora(i, fecha, hora);
        sqlite3_bind_text(st, 1, fecha, -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 2, hora, -1, SQLITE_STATIC);
        for (int n = 0; n < kInstrumentos; ++n) {
            const int fase = int((i + n * 157) % kPeriodo);
            const int c = 3 + n * kTiposValor;
            sqlite3_bind_text(st, c, medidos[fase].constData(), int(medidos[fase].size()), SQLITE_STATIC);
            sqlite3_bind_text(st, c + 1, "250", 3, SQLITE_STATIC);
            sqlite3_bind_text(st, c + 2, potencias[fase].constData(), int(potencias[fase].size()), SQLITE_STATIC);
            sqlite3_bind_text(st, c + 3, (i / 100 + n) % 7 == 0 ? "100" : "0", -1, SQLITE_STATIC);
            sqlite3_bind_text(st, c + 4, "0", 1, SQLITE_STATIC);
            sqlite3_bind_text(st, c + 5, "N.I.", 4, SQLITE_STATIC);
            sqlite3_bind_text(st, c + 6, "N.I.", 4, SQLITE_STATIC);
        }
        sqlite3_step(st);
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    const bool bien = sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(h);
    return bien;
}

// Waits until `w` is painted; ms since `t` started.
double esperarPintura(QWidget* w, const QElapsedTimer& t)
{
    Pintura p;
    w->installEventFilter(&p);
    w->update();
    while (!p.pintado)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    w->removeEventFilter(&p);
    return t.nsecsElapsed() / 1e6;
}

// One database with its settings, views and recorder.
struct Banco {
    Modelo modelo;
    RegistroVentanas ventanas;
    BaseDatos base;
    std::unique_ptr<ContextoVistas> c;
    std::unique_ptr<Registrador> reg;
    qint64 filas = 0;

    bool abrir(const QString& ruta, qint64 n)
    {
        filas = n;
        modelo.CantidadAparatos = kInstrumentos + 1;
        modelo.ActualizarMemoria();
        for (int k = 1; k <= kInstrumentos; ++k) {
            modelo.granini(k, QString());
            modelo.Estados[k].Titulo = QStringLiteral("Horno %1").arg(k);
            modelo.ArrayConfig[k].Titulo = modelo.Estados[k].Titulo;
            modelo.InstGrafico[k].ValorMedidoT = modelo.InstGrafico[k].ValorMedidoG = true;
            modelo.InstGrafico[k].Ejeizq = k % 2 == 1;
        }
        modelo.Config.Tiempo = QStringLiteral("01:00:00");
        modelo.Config.dias = QStringLiteral("0");
        modelo.Config.maximoizq = modelo.Config.maximoder = 300;
        modelo.Config.minimoizq = modelo.Config.minimoder = 0;
        modelo.Config.espesor = 1;
        modelo.Config.Puntos = false;
        QString error;
        if (!base.abrir(ruta, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return false;
        }
        c = std::make_unique<ContextoVistas>(modelo, ventanas, base);
        reg = std::make_unique<Registrador>(base, modelo);
        c->registrador = reg.get();
        return true;
    }

    // One more combined row, stored as the recorder stores it; then the
    // views are told. Returns the ms the views took.
    double agregarUna()
    {
        sqlite3* h = manejadorSqlite(base.db());
        static const QByteArray sql = sqlFila();
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(h, sql.constData(), -1, &st, nullptr);
        char fecha[16], hora[16];
        fechaHora(filas++, fecha, hora);
        sqlite3_bind_text(st, 1, fecha, -1, SQLITE_STATIC);
        sqlite3_bind_text(st, 2, hora, -1, SQLITE_STATIC);
        for (int n = 0; n < kInstrumentos; ++n) {
            const int c = 3 + n * kTiposValor;
            const char* v[kTiposValor] = {"201.5", "250", "40", "0", "0", "N.I.", "N.I."};
            for (int k = 0; k < kTiposValor; ++k)
                sqlite3_bind_text(st, c + k, v[k], -1, SQLITE_STATIC);
        }
        sqlite3_step(st);
        sqlite3_finalize(st);
        QElapsedTimer t;
        t.start();
        emit reg->filaCombinadaGuardada();
        return t.nsecsElapsed() / 1e6;
    }

    void cerrar()
    {
        cerrarVistas(*c);
        reg.reset();
        base.cerrar();
    }
};

double primeraPintura(Banco& b)
{
    QElapsedTimer t;
    t.start();
    TFormaTablaComb* f = abrirTablaCombinada(*b.c);
    f->resize(1200, 600);
    return esperarPintura(f->rejilla()->viewport(), t);
}

// A filter or order command at the grid: first paint after it, time until
// its rows are all read, longest stall meanwhile.
void medirComando(TFormaTablaComb* f, const std::function<void()>& comando, const char* que)
{
    Vigia v;
    v.empezar();
    QElapsedTimer t;
    t.start();
    comando();
    const double pintura = esperarPintura(f->rejilla()->viewport(), t);
    while (f->leyendo())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double total = t.nsecsElapsed() / 1e6;
    const double peor = v.terminar();
    std::printf("%s: first paint %.1f ms, all %d rows in %.0f ms, longest event-loop stall %.1f ms (target < 50 ms)\n", que,
                pintura, f->modelo()->rowCount(), total, peor);
}

} // namespace

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const qint64 grandes = argc > 1 ? QByteArray(argv[1]).toLongLong() : 1000000;
    QTemporaryDir dir;
    qputenv("OMBRIX_HOME", dir.path().toUtf8());
    QDir(dir.path()).mkpath(QStringLiteral("RIvariv"));
    const QString rutaG = dir.filePath(QStringLiteral("grande.mdb")), rutaC = dir.filePath(QStringLiteral("chica.mdb"));
    for (const QString& r : {rutaG, rutaC})
        if (!copiarPlantilla(r))
            return 1;
    QElapsedTimer t;
    t.start();
    if (!generar(rutaG, grandes) || !generar(rutaC, 1000))
        return 1;
    std::printf("Combinada of %lld rows (%d instruments, %lld MB) generated in %.1f s\n", grandes, kInstrumentos,
                QFileInfo(rutaG).size() >> 20, t.nsecsElapsed() / 1e9);

    Banco g, ch;
    if (!g.abrir(rutaG, grandes) || !ch.abrir(rutaC, 1000))
        return 1;
    {
        QElapsedTimer c0;
        c0.start();
        sqlite3_stmt* st = nullptr;
        sqlite3_prepare_v2(manejadorSqlite(g.base.db()), "SELECT count(*) FROM \"Combinada\"", -1, &st, nullptr);
        sqlite3_step(st);
        sqlite3_finalize(st);
        std::printf("for reference, count(*) on Combinada at %lld rows: %.1f ms\n", grandes, c0.nsecsElapsed() / 1e6);
    }

    const double pintura1k = primeraPintura(ch);
    const double pinturaG = primeraPintura(g);
    TFormaTablaComb* fg = formaTablaComb(*g.c);
    TFormaTablaComb* fc = formaTablaComb(*ch.c);
    while (fg->leyendo())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    std::printf("combined table window (%d value columns), time to first paint: %.1f ms at %lld rows, %.1f ms at 1000 rows "
                "(target < 100 ms); %d rows shown\n",
                int(fg->consulta().campos.size()), pinturaG, grandes, pintura1k, fg->modelo()->rowCount());

    // What reading the 20 charted columns costs by itself, for the refresh below.
    {
        ConsultaComb leer;
        for (int n = 1; n <= kInstrumentos; ++n)
            leer.campos << campoCombinada(TipoValor::Medido, n);
        QElapsedTimer l0;
        l0.start();
        LectorCombinada lector(g.base.db(), leer, false);
        qint64 bytes = 0;
        while (!lector.terminado())
            lector.leer(4096, [&](const char* const*, const int* l) { bytes += l[3]; });
        std::printf("  reading Id, Fecha, Hora and 20 value columns alone: %.2f s\n", l0.nsecsElapsed() / 1e9);
    }

    // Chart refresh over the whole table.
    const long rssAntes = memoriaKb("VmRSS:");
    Vigia v;
    v.empezar();
    t.restart();
    fg->BotonGraficoClick();
    TFormaGrafTabCom* gr = formaGrafTabCom(*g.c);
    while (gr->actualizando())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double refresco = t.nsecsElapsed() / 1e9;
    const double peor = v.terminar();
    gr->grafico()->replot();
    qint64 puntos = 0;
    for (int k = 0; k < gr->cantidadSeries(); ++k)
        puntos += gr->grafico()->graph(k)->dataCount();
    std::printf("combined chart refresh, %d series over %lld rows (%lld points): %.2f s (target < 1.5 s), longest event-loop "
                "stall %.1f ms (target < 20 ms)\n",
                gr->cantidadSeries(), grandes, puntos, refresco, peor);
    std::printf("combined chart memory: VmRSS %ld MB before, VmHWM %ld MB after refresh (+%ld MB)\n", rssAntes / 1024,
                memoriaKb("VmHWM:") / 1024, (memoriaKb("VmHWM:") - rssAntes) / 1024);

    fc->BotonGraficoClick();
    while (formaGrafTabCom(*ch.c)->actualizando())
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    // Appends to the two tables in turn, so that whatever else the machine
    // does weighs on both alike; the median is the typical append.
    Muestras agregarG, agregar1k, redibujarG, redibujar1k;
    for (int i = 0; i < 210; ++i) {
        const double a = g.agregarUna();
        QElapsedTimer r;
        r.start();
        gr->grafico()->replot();
        fg->rejilla()->viewport()->repaint();
        const double rg = r.nsecsElapsed() / 1e6;
        const double b = ch.agregarUna();
        r.restart();
        formaGrafTabCom(*ch.c)->grafico()->replot();
        fc->rejilla()->viewport()->repaint();
        const double rc = r.nsecsElapsed() / 1e6;
        // What the views left for the event loop (as after a real recording).
        QCoreApplication::processEvents();
        if (i >= 10) {
            agregarG.v << a;
            agregar1k.v << b;
            redibujarG.v << rg;
            redibujar1k.v << rc;
        }
    }
    std::printf("live combined row to grid and chart: median %.3f ms at %lld rows, %.3f ms at 1000 rows, ratio %.2f "
                "(target < 1.2)\n",
                agregarG.mediana(), grandes, agregar1k.mediana(), agregarG.mediana() / agregar1k.mediana());
    std::printf("  redraw of chart and grid after it: %.1f ms at %lld rows, %.1f ms at 1000 rows\n", redibujarG.mediana(),
                grandes, redibujar1k.mediana());

    // Filter and order at the large grid: a day's date, then a value column.
    fg->DBGrid1CellClick(fg->modelo()->index(0, 1));
    medirComando(fg, [fg] { fg->BotonFiltroClick(); }, "filter on Fecha (one day)");
    medirComando(fg, [fg] { fg->BotonFiltroClick(); }, "filter removed");
    fg->DBGrid1CellClick(fg->modelo()->index(0, 3));
    medirComando(fg, [fg] { fg->BotonOrdenClick(); }, "order on a measured value");

    g.cerrar();
    ch.cerrar();
    return 0;
}
