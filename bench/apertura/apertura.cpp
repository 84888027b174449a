// Time to open a database for recording, which checks every page of the file
// first (SQLite's quick check), against opening it to read only, which checks
// nothing, for files of growing size.
//
// bench-apertura [--mb 64,256,1024] [--carpeta DIR]
// The template database is taken from $OMBRIX_BIN_DIR or the program's folder.
// The files are made in DIR (default: a temporary folder) and removed after.
// "pausa máx." is the longest the main thread went without handling its
// events while the file was opened for recording (a 5 ms timer beats
// meanwhile): the window's thread opens the file the same way.
// The page cache is warm: the file was just written (a cold read adds the
// disk's time to read the whole file once).

#include "acquisition/base_datos.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdio>

using namespace ombrix;

namespace {

QString modelo()
{
    const QString dir = qEnvironmentVariableIsSet("OMBRIX_BIN_DIR") ? qEnvironmentVariable("OMBRIX_BIN_DIR")
                                                                   : QCoreApplication::applicationDirPath();
    return dir + QStringLiteral("/Modelo.mod");
}

// Grows the file to at least `mb` MiB with readings spread over the twenty
// instrument tables, as a line of instruments records them.
bool llenar(const QString& ruta, qint64 mb)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("llenar"));
        db.setDatabaseName(ruta);
        ok = db.open();
        QSqlQuery q(db);
        ok = ok && q.exec(QStringLiteral("PRAGMA journal_mode=OFF")) && q.exec(QStringLiteral("PRAGMA synchronous=OFF"));
        const qint64 porTanda = 200000;
        for (int n = 1; ok && QFileInfo(ruta).size() < mb * 1024 * 1024; n = n % 20 + 1) {
            ok = q.exec(QStringLiteral("WITH RECURSIVE c(x) AS (SELECT 1 UNION ALL SELECT x + 1 FROM c WHERE x < %1) "
                                       "INSERT INTO \"Instrumento%2\" (Fecha, Hora, Valor_medido, Set_point, Potencia, "
                                       "Alarma_1, Alarma_2, Alarma_3, Alarma_4, Partida) "
                                       "SELECT '01/01/2026', printf('%02d:%02d:%02d', x / 3600 % 24, x / 60 % 60, x % 60), "
                                       "(x % 500) || '.5', '150.0', x % 100, '0', '0', 'N.I.', 'N.I.', '' FROM c")
                            .arg(porTanda)
                            .arg(n));
            if (!ok)
                std::fprintf(stderr, "%s\n", qPrintable(q.lastError().text()));
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("llenar"));
    return ok;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList tamanos{QStringLiteral("64"), QStringLiteral("256"), QStringLiteral("1024")};
    QString carpeta;
    const QStringList a = app.arguments();
    for (int i = 1; i + 1 < a.size(); i += 2) {
        if (a[i] == QLatin1String("--mb"))
            tamanos = a[i + 1].split(QLatin1Char(','));
        else if (a[i] == QLatin1String("--carpeta"))
            carpeta = a[i + 1];
    }
    QTemporaryDir temporal(carpeta.isEmpty() ? QString() : carpeta + QStringLiteral("/bench-apertura-XXXXXX"));
    const QString ruta = temporal.filePath(QStringLiteral("grande.mdb"));
    if (!QFile::copy(modelo(), ruta)) {
        std::fprintf(stderr, "no se pudo copiar %s\n", qPrintable(modelo()));
        return 1;
    }
    QFile(ruta).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    std::printf("%10s %16s %16s %8s %16s\n", "MiB", "escritura (ms)", "lectura (ms)", "razón", "pausa máx. (ms)");
    for (const QString& t : tamanos) {
        if (!llenar(ruta, t.toLongLong()))
            return 1;
        qint64 pausa = 0;
        auto medir = [&](bool lectura) -> qint64 {
            BaseDatos base;
            QString error;
            QElapsedTimer reloj, latido;
            QTimer pulso;
            pulso.setInterval(5);
            QObject::connect(&pulso, &QTimer::timeout, [&] {
                pausa = qMax(pausa, latido.restart());
            });
            pausa = 0;
            latido.start();
            pulso.start();
            reloj.start();
            const bool bien = lectura ? base.abrirLectura(ruta, &error) : base.abrir(ruta, &error);
            const qint64 ms = reloj.elapsed();
            pulso.stop();
            pausa = qMax(pausa, latido.elapsed());
            if (!bien)
                std::fprintf(stderr, "%s\n", qPrintable(error));
            return bien ? ms : -1;
        };
        medir(true);   // the file is in the page cache for both
        const qint64 escritura = medir(false);
        const qint64 pausaEscritura = pausa;
        const qint64 lectura = medir(true);
        std::printf("%10.0f %16lld %16lld %8.0f %16lld\n", double(QFileInfo(ruta).size()) / (1024 * 1024),
                    static_cast<long long>(escritura), static_cast<long long>(lectura),
                    double(escritura) / double(qMax<qint64>(1, lectura)), static_cast<long long>(pausaEscritura));
        if (escritura < 0 || lectura < 0)
            return 1;
    }
    return 0;
}
