// The forwarder to the central database against a real PostgreSQL server
// (initdb and postgres children of this program, on a free port of 127.0.0.1):
//
//   atraso [filas]    a backlog of `filas` rows (default 1,000,000, 20
//                     instruments) forwarded from a file: rows per second,
//                     with the schema's indexes and without the two
//                     secondary ones; the server's bytes per row of the
//                     table and of each index.
//   vivo [s]          20 instruments at one row a second each for s seconds
//                     (default 30), the rows of a second spread over it as a
//                     pass spreads them: the time from the local commit to
//                     the server's, median and p99.
//   pasada [n]        a recording pass over 20 programmers at 19200 baud
//                     (simulator, paced), in blocks of n passes (default 2)
//                     forwarding off, on, off, on: the ratio of the median
//                     passes with and without.
//
// Without arguments: atraso, vivo 30, pasada.

#include "acquisition/adquisicion.h"
#include "acquisition/base_datos.h"
#include "acquisition/registro.h"
#include "central/reenviador.h"
#include "central/servidor_central.h"
#include "comun.h"
#include "servidor_postgres.h"
#include "sim/simulador.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace ombrix;
using namespace ombrix::test;

namespace {

bool arrancar(ServidorPostgres& pg)
{
    QString error;
    if (pg.iniciar(&error))
        return true;
    std::fprintf(stderr, "bench-central: no server: %s\n", qPrintable(error));
    return false;
}

// The server with database `base`, and a copy of the template in `dir`; false after saying why.
bool preparar(ServidorPostgres& pg, const QString& base, const QTemporaryDir& dir, QString& ruta)
{
    if (!arrancar(pg))
        return false;
    pg.crearBase(base, nullptr);
    ruta = dir.filePath(base + QStringLiteral(".mdb"));
    return bench::copiarPlantilla(ruta);
}

Reenviador::Destino destino(ServidorPostgres& pg, const QString& base, const QString& linea)
{
    Reenviador::Destino d;
    d.url = pg.url(base);
    d.clave = QLatin1String(ServidorPostgres::kClave);
    d.linea = linea;
    return d;
}

double percentil(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p * double(v.size())))];
}

// Seconds to forward the whole file; -1 when it did not finish in ten minutes.
double forward(ServidorPostgres& pg, const QString& base, const QString& ruta, qint64 filas)
{
    QElapsedTimer reloj;
    reloj.start();
    Reenviador r(destino(pg, base, QStringLiteral("L1")), ruta, nullptr);
    while (r.cifras().enviadas < filas && reloj.elapsed() < 600000)
        QThread::msleep(20);
    const double s = reloj.nsecsElapsed() / 1e9;
    return r.cifras().enviadas >= filas ? s : -1;
}

int atraso(qint64 filas)
{
    ServidorPostgres pg;
    if (!arrancar(pg))
        return 1;
    QTemporaryDir dir;
    const QString ruta = dir.filePath(QStringLiteral("atraso.mdb"));
    if (!bench::copiarPlantilla(ruta))
        return 1;
    {
        sqlite3* h = nullptr;
        sqlite3_open(ruta.toUtf8().constData(), &h);
        for (int n = 1; n <= 20; ++n)
            bench::generarLecturas(h, n, filas / 20, n % 2 ? "P-1" : nullptr);
        sqlite3_close(h);
    }
    const qint64 total = filas / 20 * 20;
    pg.crearBase(QStringLiteral("con"), nullptr);
    const double con = forward(pg, QStringLiteral("con"), ruta, total);
    // The same into a server without the two secondary indexes.
    pg.crearBase(QStringLiteral("sin"), nullptr);
    {
        QString e;
        central::Conexion c = central::conectar(pg.url(QStringLiteral("sin")), QLatin1String(ServidorPostgres::kClave), 5, &e);
        central::prepararEsquema(c.get(), &e);
    }
    pg.ejecutar(QStringLiteral("sin"), QStringLiteral("DROP INDEX ombrix.lecturas_instante; DROP INDEX ombrix.lecturas_partida"));
    const double sin = forward(pg, QStringLiteral("sin"), ruta, total);
    std::printf("atraso de %lld filas (20 instrumentos): con indices %.1f s = %.0f filas/s; sin los indices secundarios "
                "%.1f s = %.0f filas/s\n",
                (long long)total, con, con > 0 ? total / con : 0.0, sin, sin > 0 ? total / sin : 0.0);
    const auto bytes = [&](const char* rel) {
        return double(pg.numero(QStringLiteral("con"), QStringLiteral("SELECT pg_relation_size('%1')").arg(QLatin1String(rel))))
            / double(total);
    };
    std::printf("bytes por fila en el servidor: tabla %.0f, clave primaria %.0f, indice (linea, instrumento, instante) "
                "%.0f, indice de partida %.0f (la mitad de las filas con partida)\n",
                bytes("ombrix.lecturas"), bytes("ombrix.lecturas_pkey"), bytes("ombrix.lecturas_instante"),
                bytes("ombrix.lecturas_partida"));
    // The two questions the indexes are for, on the line's table of a million rows.
    const auto tiempo = [&](const QString& sql) {
        for (const QStringList& f : pg.filas(QStringLiteral("con"), QStringLiteral("EXPLAIN (ANALYZE, TIMING OFF) ") + sql))
            if (f.value(0).contains(QStringLiteral("Execution Time")))
                return f.value(0).section(QLatin1Char(':'), 1).trimmed();
        return QString();
    };
    std::printf("un dia de un instrumento (%lld filas): %s; una partida de un instrumento: %s\n",
                (long long)pg.numero(QStringLiteral("con"), QStringLiteral("SELECT count(*) FROM ombrix.lecturas WHERE linea = 'L1' AND "
                                                             "instrumento = 7 AND instante >= '2025-01-02' AND instante < '2025-01-03'")),
                qPrintable(tiempo(QStringLiteral("SELECT * FROM ombrix.lecturas WHERE linea = 'L1' AND instrumento = 7 AND "
                                                 "instante >= '2025-01-02' AND instante < '2025-01-03'"))),
                qPrintable(tiempo(QStringLiteral("SELECT count(*) FROM ombrix.lecturas WHERE linea = 'L1' AND partida = 'P-1' "
                                                 "AND instrumento = 7"))));
    return con > 0 && sin > 0 ? 0 : 1;
}

int vivo(int segundos)
{
    ServidorPostgres pg;
    QTemporaryDir dir;
    QString ruta;
    if (!preparar(pg, QStringLiteral("vivo"), dir, ruta))
        return 1;
    BaseDatos base;
    QString error;
    if (!base.abrir(ruta, &error)) {
        std::fprintf(stderr, "bench-central: %s\n", qPrintable(error));
        return 1;
    }
    Reenviador r(destino(pg, QStringLiteral("vivo"), QStringLiteral("L1")), ruta, nullptr);
    while (!r.cifras().conectado)
        QThread::msleep(10);
    std::vector<QSqlQuery> ins;
    for (int n = 1; n <= 20; ++n) {
        ins.emplace_back(base.db());
        ins.back().prepare(QStringLiteral("INSERT INTO \"Instrumento%1\" (Fecha,Hora,Valor_medido,Set_point,Potencia,Alarma_1,"
                                          "Alarma_2,Alarma_3,Alarma_4) VALUES ('01/01/2026','00:00:00','200.5','250','40','0','0','N.I.','N.I.')")
                               .arg(n));
    }
    const qint64 inicial = r.cifras().enviadas;
    QElapsedTimer reloj;
    reloj.start();
    std::vector<qint64> escrita;   // ns
    std::vector<double> demora;    // ms
    const int total = segundos * 20;
    qint64 siguiente = 0;
    while (int(demora.size()) < total && reloj.elapsed() < qint64(segundos + 30) * 1000) {
        const qint64 ahora = reloj.nsecsElapsed();
        if (int(escrita.size()) < total && ahora >= siguiente) {
            const int n = int(escrita.size() % 20);
            ins[n].exec();
            escrita.push_back(reloj.nsecsElapsed());
            r.filaNueva(n + 1);
            siguiente += 50000000;   // 20 rows a second
        }
        const qint64 llegadas = r.cifras().enviadas - inicial;
        while (qint64(demora.size()) < llegadas && demora.size() < escrita.size())
            demora.push_back((reloj.nsecsElapsed() - escrita[demora.size()]) / 1e6);
        QThread::usleep(200);
    }
    std::printf("vivo: 20 instrumentos, una fila por segundo cada uno, %d s: %d filas, del commit local al del servidor "
                "mediana %.1f ms, p99 %.1f ms, maximo %.1f ms (%lld transacciones)\n",
                segundos, int(demora.size()), percentil(demora, 0.5), percentil(demora, 0.99), percentil(demora, 1.0),
                (long long)r.cifras().lotes);
    return int(demora.size()) == total ? 0 : 1;
}

int pasada(int porBloque)
{
    ServidorPostgres pg;
    QTemporaryDir dir;
    QString ruta;
    if (!preparar(pg, QStringLiteral("pasada"), dir, ruta))
        return 1;
    sim::Simulador simulador;
    for (int n = 1; n <= 20; ++n)
        simulador.agregarInstrumento(quint8(n), true);
    simulador.setDinamica(false);
    simulador.setBaudios(19200);
    simulador.setRitmo(true);
    simulador.setRetardoRespuesta(2);
    QString pty, error;
    if (!simulador.abrirPty(&pty, &error)) {
        std::fprintf(stderr, "bench-central: no line: %s\n", qPrintable(error));
        return 1;
    }
    simulador.iniciar();
    Modelo modelo;
    modelo.CantidadAparatos = 21;
    modelo.ActualizarMemoria();
    for (int n = 1; n <= 20; ++n) {
        modelo.granini(n, QString());
        modelo.ArrayConfig[n].Tipo = 1;
        modelo.ArrayConfig[n].Habilitado = true;
        modelo.ArrayConfig[n].SalvarTabla = true;
        modelo.ArrayConfig[n].Barrido = 1;
        EstadoInstrumento& st = modelo.Estados[n];
        st.Vivo = true;
        st.Habilitado = true;
        st.Direccion = quint8(n);
    }
    modelo.Config.Puerto = pty;
    modelo.Config.BaudRate = 19200;
    modelo.Config.TiempoScan = 0;
    BaseDatos base;
    if (!base.abrir(ruta, &error)) {
        std::fprintf(stderr, "bench-central: %s\n", qPrintable(error));
        return 1;
    }
    Registrador registrador(base, modelo);
    EnlaceModbus enlace;
    enlace.setRetries(0);
    Adquisicion adq(modelo, enlace);
    adq.pausaLecturaMs = 3;
    adq.registrar = [&](int n, const std::array<QString, 7>& l, const QString& f, const QString& h, QString* e) {
        return registrador.ActualizarTabla(n, l, QString(), f, h, e);
    };
    Integraciones integraciones(modelo, Origen::Registrador);
    integraciones.conectar(adq);
    integraciones.usarBase(base);
    std::vector<double> con, sin;
    QElapsedTimer reloj;
    const int bloques = 4;
    int medidas = 0;
    bool activo = false;
    qint64 enviadas = 0;
    // Every pass is due: each records all 20 instruments. The first pass of
    // a block, begun as the forwarder started or stopped, is not measured.
    QObject::connect(&adq, &Adquisicion::pasadaTerminada, qApp, [&](int numero) {
        if (numero > 1 && (numero - 1) % (porBloque + 1) != 0)
            (activo ? con : sin).push_back(reloj.nsecsElapsed() / 1e6);
        if (numero % (porBloque + 1) == 0) {
            if (++medidas >= bloques) {
                adq.TerminarExecute();
                qApp->quit();
                return;
            }
            activo = medidas % 2 == 1;
            if (auto* r = integraciones.buscar<Reenviador>()) {
                enviadas += r->cifras().enviadas;
                integraciones.quitar(r);
            }
            if (activo)
                integraciones.agregar(std::make_unique<Reenviador>(destino(pg, QStringLiteral("pasada"), QStringLiteral("L1")),
                                                                  ruta, nullptr));
        }
        adq.Timer1Timer();
        reloj.start();
    });
    adq.Timer1Timer();
    registrador.iniciarAdquisicion();
    adq.ComenzarExecute();
    qApp->exec();
    adq.esperarHilo(30000);
    if (auto* r = integraciones.buscar<Reenviador>())
        enviadas += r->cifras().enviadas;
    const double mCon = percentil(con, 0.5), mSin = percentil(sin, 0.5);
    std::printf("pasada registrando 20 programadores a 19200 baudios, bloques de %d pasadas sin y con reenvio: "
                "mediana con %.1f ms (%d), sin %.1f ms (%d), razon %.3f (%lld filas reenviadas)\n",
                porBloque, mCon, int(con.size()), mSin, int(sin.size()), mSin > 0 ? mCon / mSin : 0.0, (long long)enviadas);
    return con.empty() || sin.empty() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList a = app.arguments();
    const QString modo = a.value(1);
    const auto arg = [&](int i, qint64 d) { return a.size() > i ? a[i].toLongLong() : d; };
    if (modo == QLatin1String("atraso"))
        return atraso(arg(2, 1000000));
    if (modo == QLatin1String("vivo"))
        return vivo(int(arg(2, 30)));
    if (modo == QLatin1String("pasada"))
        return pasada(int(arg(2, 2)));
    if (!modo.isEmpty()) {
        std::fprintf(stderr, "bench-central [atraso [filas] | vivo [s] | pasada [n]]\n");
        return 2;
    }
    int r = atraso(1000000);
    r |= vivo(30);
    r |= pasada(2);
    return r;
}
