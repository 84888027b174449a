// Readers beside the recorder.
//
// 1. Rows per second the recorder stores into a database whose Instrumento1
//    holds 1 000 000 rows, alone and with ombrix-export of that table running
//    in a loop beside it (target: ratio at most 1.1).
// 2. The size of the -wal file while 20 instruments are recorded every second
//    and a report and an export run every 30 s (target: under 16 MB).
//
// bench-lectores [--filas 1000000] [--segundos 10] [--minutos 10]
// The template database and the tools are taken from $OMBRIX_BIN_DIR or the
// program's folder.

#include "acquisition/registro.h"

#include <QCoreApplication>
#include <QDate>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QThread>

#include <sqlite3.h>

#include <algorithm>
#include <cstdio>

using namespace ombrix;

namespace {

const TextosLectura kTextos = {QStringLiteral("25.3"), QStringLiteral("50.0"), QStringLiteral("45"),
                               QStringLiteral("33"),   QStringLiteral("100"),  QStringLiteral("391"),
                               QStringLiteral("0")};

// Fills Instrumento1 with `filas` rows through SQLite itself, outside any
// recorder, and leaves the file in WAL mode with an empty log.
bool llenar(const QString& ruta, qint64 filas)
{
    sqlite3* h = nullptr;
    if (sqlite3_open(QFile::encodeName(ruta).constData(), &h) != SQLITE_OK)
        return false;
    bool bien = sqlite3_exec(h, "PRAGMA journal_mode=WAL; BEGIN", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_stmt* st = nullptr;
    bien = bien
           && sqlite3_prepare_v2(h,
                                 "INSERT INTO Instrumento1 (Fecha,Hora,Valor_medido,Set_point,Potencia,Alarma_1,"
                                 "Alarma_2,Alarma_3,Alarma_4) VALUES (?,?,'25.3','50.0','45','0','100','0','0')",
                                 -1, &st, nullptr)
                  == SQLITE_OK;
    const QDate inicio(2024, 1, 1);
    for (qint64 i = 0; bien && i < filas; ++i) {
        const QByteArray f = inicio.addDays(i / 86400).toString(QStringLiteral("dd/MM/yyyy")).toLatin1();
        char hora[16];
        std::snprintf(hora, sizeof hora, "%02lld:%02lld:%02lld", (i / 3600) % 24, (i / 60) % 60, i % 60);
        sqlite3_bind_text(st, 1, f.constData(), -1, SQLITE_TRANSIENT);
        sqlite3_bind_text(st, 2, hora, -1, SQLITE_TRANSIENT);
        bien = sqlite3_step(st) == SQLITE_DONE;
        sqlite3_reset(st);
    }
    sqlite3_finalize(st);
    bien = bien && sqlite3_exec(h, "COMMIT; PRAGMA wal_checkpoint(TRUNCATE)", nullptr, nullptr, nullptr) == SQLITE_OK;
    sqlite3_close(h);
    return bien;
}

// Runs `programa` again each time it ends, until stopped.
struct Bucle {
    QProcess p;
    QString programa;
    QStringList args;
    int vueltas = 0, fallos = 0;
    bool activo = false;
    void empezar()
    {
        activo = true;
        p.setStandardOutputFile(QProcess::nullDevice());
        QObject::connect(&p, &QProcess::finished, [this](int codigo, QProcess::ExitStatus estado) {
            ++vueltas;
            if (codigo != 0 || estado != QProcess::NormalExit) {
                ++fallos;
                std::fprintf(stderr, "%s: %s\n", qPrintable(programa), p.readAllStandardError().constData());
            }
            if (activo)
                p.start(programa, args);
        });
        p.start(programa, args);
    }
    void detener()
    {
        activo = false;
        p.waitForFinished(120000);
    }
};

// Rows stored in `segundos` by the recorder, as fast as it goes.
double filasPorSegundo(Registrador& r, double segundos)
{
    QElapsedTimer reloj;
    reloj.start();
    qint64 filas = 0;
    QString error;
    while (reloj.elapsed() < qint64(segundos * 1000)) {
        if (!r.ActualizarTabla(2, kTextos, QString(), QStringLiteral("02/01/2024"), QStringLiteral("00:00:01"), &error)) {
            std::fprintf(stderr, "row not stored: %s\n", qPrintable(error));
            return 0;
        }
        ++filas;
        if (filas % 16 == 0)
            QCoreApplication::processEvents();
    }
    return filas / (reloj.nsecsElapsed() / 1e9);
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    qint64 filas = 1000000;
    double segundos = 10, minutos = 10;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--filas"))
            filas = args[++i].toLongLong();
        else if (args[i] == QLatin1String("--segundos"))
            segundos = args[++i].toDouble();
        else if (args[i] == QLatin1String("--minutos"))
            minutos = args[++i].toDouble();
    }
    QString dirBin = qEnvironmentVariable("OMBRIX_BIN_DIR");
    if (dirBin.isEmpty())
        dirBin = QCoreApplication::applicationDirPath();
    QTemporaryDir dir;
    const QString ruta = dir.filePath(QStringLiteral("lectores.mdb"));
    if (!QFile::copy(dirBin + QStringLiteral("/Modelo.mod"), ruta)) {
        std::fprintf(stderr, "cannot copy the template from %s\n", qPrintable(dirBin));
        return 1;
    }
    QFile::setPermissions(ruta, QFile::ReadOwner | QFile::WriteOwner);
    qputenv("OMBRIX_HOME", dir.path().toUtf8());
    QElapsedTimer t;
    t.start();
    if (!llenar(ruta, filas)) {
        std::fprintf(stderr, "cannot fill %s\n", qPrintable(ruta));
        return 1;
    }
    std::printf("Instrumento1 of %lld rows generated in %.1f s\n", filas, t.nsecsElapsed() / 1e9);

    BaseDatos base;
    QString error;
    if (!base.abrir(ruta, &error)) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(ruta), qPrintable(error));
        return 1;
    }
    Modelo modelo;
    modelo.CantidadAparatos = 21;
    modelo.ActualizarMemoria();
    Registrador registrador(base, modelo);

    // 1. Row rate alone and beside an export loop.
    // Alone before and after, so that a drift of the machine is shared out.
    filasPorSegundo(registrador, 1);   // warm
    const double soloAntes = filasPorSegundo(registrador, segundos / 2);
    Bucle exportar;
    exportar.programa = dirBin + QStringLiteral("/ombrix-export");
    // The CSV goes to standard output, which is thrown away.
    exportar.args = {QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1")};
    exportar.empezar();
    QThread::msleep(300);
    const double junto = filasPorSegundo(registrador, segundos);
    exportar.detener();
    QCoreApplication::processEvents();
    const double solo = (soloAntes + filasPorSegundo(registrador, segundos / 2)) / 2;
    const double razon = junto > 0 ? solo / junto : 0;
    std::printf("recorder rows/s over %.0f s: %.0f alone, %.0f beside an export loop of %lld rows (%d exports, %d failed); "
                "ratio %.2f (target at most 1.1) %s\n",
                segundos, solo, junto, filas, exportar.vueltas, exportar.fallos, razon, razon <= 1.1 ? "ok" : "ABOVE TARGET");

    // 2. -wal size: 20 instruments every second, a report and an export every
    // 30 s, from an emptied log.
    const QString wal = ruta + QStringLiteral("-wal");
    std::printf("-wal after the row-rate runs: %.2f MB\n", QFileInfo(wal).size() / 1048576.0);
    QSqlQuery(base.db()).exec(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
    qint64 mayor = 0;
    int informes = 0, exportaciones = 0, fallidos = 0;
    QElapsedTimer reloj;
    reloj.start();
    qint64 siguiente = 0, siguienteLectura = 0;
    QList<QProcess*> lectores;
    const QString hoy = QDate::currentDate().toString(QStringLiteral("dd/MM/yyyy"));
    while (reloj.elapsed() < qint64(minutos * 60000)) {
        if (reloj.elapsed() >= siguienteLectura) {
            siguienteLectura += 30000;
            auto* inf = new QProcess;
            inf->start(dirBin + QStringLiteral("/ombrix-report"),
                       {QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("3"),
                        QStringLiteral("--pdf"), dir.filePath(QStringLiteral("informe.pdf"))});
            auto* exp = new QProcess;
            exp->setStandardOutputFile(QProcess::nullDevice());
            exp->start(dirBin + QStringLiteral("/ombrix-export"),
                       {QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1")});
            lectores << inf << exp;
        }
        for (int n = 1; n <= 20; ++n)
            registrador.ActualizarTabla(n, kTextos, QString(), hoy, QTime::currentTime().toString(QStringLiteral("hh:mm:ss")));
        mayor = std::max(mayor, QFileInfo(wal).size());
        siguiente += 1000;
        while (reloj.elapsed() < siguiente) {
            QCoreApplication::processEvents();
            QThread::msleep(20);
            mayor = std::max(mayor, QFileInfo(wal).size());
        }
        for (int i = int(lectores.size()) - 1; i >= 0; --i) {
            QProcess* p = lectores[i];
            if (p->state() != QProcess::NotRunning)
                continue;
            if (p->exitCode() != 0 || p->exitStatus() != QProcess::NormalExit)
                ++fallidos;
            else if (p->program().endsWith(QLatin1String("report")))
                ++informes;
            else
                ++exportaciones;
            delete lectores.takeAt(i);
        }
    }
    for (QProcess* p : lectores) {
        p->waitForFinished(120000);
        delete p;
    }
    std::printf("-wal over %.1f min of 20 instruments a second with a report and an export every 30 s "
                "(%d reports, %d exports, %d failed): largest %.2f MB, at the end %.2f MB (target under 16 MB) %s\n",
                minutos, informes, exportaciones, fallidos, mayor / 1048576.0, QFileInfo(wal).size() / 1048576.0,
                mayor < 16 * 1048576 ? "ok" : "ABOVE TARGET");
    registrador.olvidarSentencias();
    return 0;
}
