// What the event log costs:
//  - one event written (its own commit, as the program writes it): median and p99;
//  - the recorder's work for a pass of 20 instruments (20 rows stored, 20
//    readings and stored rows handed to the listeners) with the event log on
//    and off, in alternating blocks; the ratio of the medians;
//  - the batch report of a 10 000-row load in a 1 000 000-row table, to the PDF;
//  - the verification of a 1 000 000-row table against its seals.
//
// bench-eventos [--filas 1000000]
// The template database is taken from the program's folder.

#include "acquisition/adquisicion.h"
#include "acquisition/registro.h"
#include "comun.h"
#include "events/informe_partida.h"
#include "events/registro_eventos.h"
#include "events/sellos.h"
#include "integration/integraciones.h"
#include "views/consultas.h"

#include <QGuiApplication>
#include <QTemporaryDir>

#include <ctime>

using namespace ombrix;

namespace {
// Seconds of processor this process used (the machine may be shared).
double cpu()
{
    timespec t{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + t.tv_nsec / 1e9;
}

double percentil(QVector<double> v, double p)
{
    std::sort(v.begin(), v.end());
    return v.isEmpty() ? 0 : v[std::min<qsizetype>(v.size() - 1, qsizetype(p * v.size()))];
}
} // namespace

int main(int argc, char** argv)
{
    // The PDF is drawn off screen: no display is needed.
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    qint64 filasGrandes = 1000000;
    for (int i = 1; i + 1 < argc; ++i)
        if (qstrcmp(argv[i], "--filas") == 0)
            filasGrandes = std::max<qint64>(20000, QByteArray(argv[i + 1]).toLongLong());
    QTemporaryDir dir;

    // One event written.
    {
        const QString ruta = dir.filePath(QStringLiteral("eventos.mdb"));
        if (!bench::copiarPlantilla(ruta))
            return 1;
        Modelo modelo;
        BaseDatos base;
        QString error;
        if (!base.abrir(ruta, &error)) {
            std::fprintf(stderr, "bench-eventos: %s\n", qPrintable(error));
            return 1;
        }
        RegistroEventos r(modelo, Origen::Registrador);
        r.usarBase(&base);
        r.baseAbierta();
        QVector<double> ms;
        QElapsedTimer t;
        for (int i = 0; i < 2000; ++i) {
            t.start();
            r.anotarCambio(tipoEvento::Comando, 1 + i % 20, QStringLiteral("Set point enviado al instrumento: aceptado"),
                           QString::number(i), QString::number(i + 1));
            ms << t.nsecsElapsed() / 1e6;
        }
        std::printf("one event written (own commit, 2000 events): median %.3f ms, p99 %.3f ms\n", percentil(ms, 0.5),
                    percentil(ms, 0.99));
    }

    // The recorder's pass with events on and off.
    {
        const QString ruta = dir.filePath(QStringLiteral("pasada.mdb"));
        if (!bench::copiarPlantilla(ruta))
            return 1;
        Modelo modelo;
        modelo.CantidadAparatos = 21;
        modelo.ActualizarMemoria();
        for (int n = 1; n <= 20; ++n)
            modelo.granini(n, QString());
        BaseDatos base;
        base.abrir(ruta);
        Registrador registrador(base, modelo);
        EnlaceModbus enlace;
        Adquisicion adq(modelo, enlace);
        Integraciones integ(modelo, Origen::Registrador);
        integ.usarBase(base);
        integ.conectar(adq);
        integ.eventos().baseAbierta();
        ResultadoLectura r;
        r.Lecturas = {QStringLiteral("25.3"), QStringLiteral("50.0"), QStringLiteral("45"), QStringLiteral("0"),
                      QStringLiteral("0"),    QStringLiteral("N.I."), QStringLiteral("N.I.")};
        auto pasada = [&](int numero) {
            // An alarm comes or goes every 50 passes on one instrument: events happen.
            r.Lecturas[3] = (numero / 50) % 2 ? QStringLiteral("100") : QStringLiteral("0");
            const QDateTime ahora = QDateTime::currentDateTime();
            const QString fecha = Adquisicion::fechaTexto(ahora), hora = Adquisicion::horaTexto(ahora);
            for (int n = 1; n <= 20; ++n) {
                registrador.ActualizarTabla(n, r.Lecturas, QStringLiteral("P"), fecha, hora);
                emit adq.lecturaHecha(n, r, fecha, hora);
                emit adq.filaGuardada(n);
            }
        };
        QVector<double> con, sin;
        QElapsedTimer t;
        int numero = 0;
        // Short alternating blocks: a machine's load that changes meanwhile weighs on both alike.
        for (int bloque = 0; bloque < 100; ++bloque) {
            const bool activo = bloque % 2 == 0;
            integ.eventos().activo = activo;
            for (int i = 0; i < 5; ++i) {
                t.start();
                pasada(numero++);
                (activo ? con : sin) << t.nsecsElapsed() / 1e6;
            }
        }
        const double mCon = percentil(con, 0.5), mSin = percentil(sin, 0.5);
        std::printf("recorder pass of 20 rows (%lld passes each): events on median %.2f ms, off %.2f ms, ratio %.3f\n",
                    static_cast<long long>(con.size()), mCon, mSin, mCon / mSin);
    }

    // The batch report and the verification over a large table.
    {
        const QString ruta = dir.filePath(QStringLiteral("grande.mdb"));
        if (!bench::copiarPlantilla(ruta))
            return 1;
        const qint64 antes = (filasGrandes - 10000) / 2;
        {
            sqlite3* h = nullptr;
            sqlite3_open(ruta.toUtf8().constData(), &h);
            bench::generarLecturas(h, 1, antes, "A-0001");
            bench::generarLecturas(h, 1, 10000, "L-10K");
            bench::generarLecturas(h, 1, filasGrandes - 10000 - antes, "A-0002");
            sqlite3_close(h);
        }
        Modelo modelo;
        BaseDatos base;
        base.abrir(ruta);
        RegistroEventos r(modelo, Origen::Registrador);
        r.usarBase(&base);
        r.baseAbierta();
        QElapsedTimer t;
        t.start();
        double c0 = cpu();
        DatosPartida d;
        QString error;
        const QString pdf = dir.filePath(QStringLiteral("partida.pdf"));
        const bool bien = leerPartida(base.db(), 1, QStringLiteral("L-10K"), d, &error)
                          && guardarInformePartida(d, EncabezadoPartida{QStringLiteral("Horno"), QStringLiteral("ºC"), QString()}, pdf, &error);
        std::printf("batch report of a %lld-row load in a %lld-row table, to the PDF: %.2f s (%.2f s of CPU)%s\n",
                    static_cast<long long>(d.filas), static_cast<long long>(filasGrandes), t.nsecsElapsed() / 1e9, cpu() - c0,
                    bien ? "" : qPrintable(QStringLiteral(" (failed: ") + error + QLatin1Char(')')));

        t.start();
        c0 = cpu();
        while (sellos::sellarPendientes(base.db(), QStringLiteral("Instrumento1"), sellos::kMaxFilasSello) > 0) {
        }
        std::printf("sealing %lld rows already stored: %.2f s (%.2f s of CPU)\n", static_cast<long long>(filasGrandes),
                    t.nsecsElapsed() / 1e9, cpu() - c0);
        t.start();
        c0 = cpu();
        const sellos::Verificacion v = sellos::verificar(base.db());
        std::printf("verification of %lld rows: %.2f s (%.2f s of CPU) (%s)\n", static_cast<long long>(v.filasRevisadas),
                    t.nsecsElapsed() / 1e9, cpu() - c0,
                    v.bien() ? "all in order" : "FINDINGS");
    }
    return 0;
}
