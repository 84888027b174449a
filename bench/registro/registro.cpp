// Time to append one row to an instrument table holding 0, 100 000 and
// 1 000 000 rows. Every row goes through the recorder as in acquisition (one
// prepared INSERT, committed on its own), so the figures include the commit.
//
// bench-registro [--filas 0,100000,1000000] [--muestras 300]
// The template database is taken from $OMBRIX_BIN_DIR or the program's folder.

#include "acquisition/registro.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

using namespace ombrix;

namespace {

const TextosLectura kTextos = {QStringLiteral("25.3"), QStringLiteral("50.0"), QStringLiteral("45"),
                               QStringLiteral("33"),   QStringLiteral("100"),  QStringLiteral("391"),
                               QStringLiteral("0")};

bool ejecutar(QSqlDatabase db, const QString& sql)
{
    QSqlQuery q(db);
    if (q.exec(sql))
        return true;
    std::fprintf(stderr, "%s: %s\n", qPrintable(sql), qPrintable(q.lastError().text()));
    return false;
}

// Grows Instrumento1 to `filas` rows in one transaction.
bool llenarHasta(BaseDatos& base, qint64 actuales, qint64 filas)
{
    if (filas <= actuales)
        return true;
    QSqlDatabase db = base.db();
    if (!ejecutar(db, QStringLiteral("BEGIN")))
        return false;
    {
        QSqlQuery q(db);
        q.prepare(QStringLiteral("INSERT INTO Instrumento1 (Fecha, Hora, Valor_medido, Set_point, Potencia, "
                                 "Alarma_1, Alarma_2, Alarma_3, Alarma_4) VALUES (?,?,?,?,?,?,?,?,?)"));
        for (qint64 i = actuales; i < filas; ++i) {
            q.bindValue(0, QStringLiteral("01/01/2024"));
            q.bindValue(1, QStringLiteral("%1:%2:%3")
                               .arg((i / 3600) % 24, 2, 10, QLatin1Char('0'))
                               .arg((i / 60) % 60, 2, 10, QLatin1Char('0'))
                               .arg(i % 60, 2, 10, QLatin1Char('0')));
            for (int k = 0; k < 7; ++k)
                q.bindValue(2 + k, kTextos[k]);
            if (!q.exec()) {
                std::fprintf(stderr, "prefill: %s\n", qPrintable(q.lastError().text()));
                return false;
            }
        }
    }
    return ejecutar(db, QStringLiteral("COMMIT")) && ejecutar(db, QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"));
}

qint64 contar(BaseDatos& base)
{
    QSqlQuery q(base.db());
    if (!q.exec(QStringLiteral("SELECT count(*) FROM Instrumento1")) || !q.next())
        return -1;
    return q.value(0).toLongLong();
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    std::vector<qint64> tamanos = {0, 100000, 1000000};
    int muestras = 300;
    const QStringList args = app.arguments();
    for (int i = 1; i + 1 < args.size(); ++i) {
        if (args[i] == QLatin1String("--filas")) {
            tamanos.clear();
            for (const QString& t : args[++i].split(QLatin1Char(',')))
                tamanos.push_back(t.toLongLong());
        } else if (args[i] == QLatin1String("--muestras")) {
            muestras = std::max(10, args[++i].toInt());
        }
    }

    QString dirBin = qEnvironmentVariable("OMBRIX_BIN_DIR");
    if (dirBin.isEmpty())
        dirBin = QCoreApplication::applicationDirPath();
    const QString modeloMod = dirBin + QStringLiteral("/Modelo.mod");
    QTemporaryDir dir;
    const QString ruta = dir.filePath(QStringLiteral("bench.mdb"));
    if (!QFile::copy(modeloMod, ruta)) {
        std::fprintf(stderr, "cannot copy the template %s\n", qPrintable(modeloMod));
        return 1;
    }
    QFile::setPermissions(ruta, QFile::ReadOwner | QFile::WriteOwner);

    BaseDatos base;
    QString error;
    if (!base.abrir(ruta, &error)) {
        std::fprintf(stderr, "cannot open %s: %s\n", qPrintable(ruta), qPrintable(error));
        return 1;
    }
    Modelo modelo;
    modelo.CantidadAparatos = 2;
    modelo.ActualizarMemoria();
    Registrador registrador(base, modelo);

    std::printf("bench-registro: one row appended to Instrumento1 through the recorder, "
                "each committed; median of %d rows per size\n", muestras);
    std::vector<double> medianas;
    qint64 actuales = 0;
    for (qint64 tamano : tamanos) {
        if (!llenarHasta(base, actuales, tamano))
            return 1;
        actuales = std::max(actuales, tamano);
        // A few rows first so that the statement is prepared and the pages are warm.
        for (int i = 0; i < 5; ++i)
            registrador.ActualizarTabla(1, kTextos, QString(), QStringLiteral("02/01/2024"), QStringLiteral("00:00:00"));
        std::vector<double> tiempos;
        tiempos.reserve(size_t(muestras));
        QElapsedTimer reloj;
        for (int i = 0; i < muestras; ++i) {
            reloj.start();
            const bool ok = registrador.ActualizarTabla(1, kTextos, QString(), QStringLiteral("02/01/2024"),
                                                        QStringLiteral("00:00:01"), &error);
            tiempos.push_back(double(reloj.nsecsElapsed()) / 1000.0);
            if (!ok) {
                std::fprintf(stderr, "row not stored: %s\n", qPrintable(error));
                return 1;
            }
        }
        actuales = contar(base);
        std::sort(tiempos.begin(), tiempos.end());
        const double mediana = tiempos[tiempos.size() / 2];
        const double p90 = tiempos[tiempos.size() * 9 / 10];
        medianas.push_back(mediana);
        std::printf("  %9lld rows before: median %8.1f us, p90 %8.1f us per row\n", static_cast<long long>(tamano),
                    mediana, p90);
    }
    if (medianas.size() >= 2 && medianas.front() > 0) {
        const double razon = medianas.back() / medianas.front();
        std::printf("  ratio last/first: %.2f (target under 1.2) %s\n", razon, razon < 1.2 ? "ok" : "ABOVE TARGET");
    }
    registrador.olvidarSentencias();
    return 0;
}
