// ombrix-export and the CSV writer it shares with the table window.

#include "banco_vistas.h"

#include <QProcess>
#include <QTimeZone>
#include <QSettings>

using namespace ombrix;
using namespace ombrix::test;

class TstExport : public QObject {
    Q_OBJECT

    static QByteArray csv(const QStringList& campos, char sep = ',')
    {
        QByteArray b;
        agregarLineaCsv(b, campos, sep);
        return b;
    }

    // Runs ombrix-export; returns its exit code, with stdout and stderr.
    static int exportar(const QStringList& args, QByteArray* salida = nullptr, QByteArray* errores = nullptr)
    {
        QProcess p;
        p.start(RaizTemporal::programa(QStringLiteral("ombrix-export")), args);
        if (!p.waitForFinished(60000))
            return -1;
        if (salida)
            *salida = p.readAllStandardOutput();
        if (errores)
            *errores = p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

private slots:
    void comillasRfc4180()
    {
        QCOMPARE(csv({QStringLiteral("a"), QStringLiteral("b c")}), QByteArray("a,b c\r\n"));
        QCOMPARE(csv({QStringLiteral("1,5"), QStringLiteral("x")}), QByteArray("\"1,5\",x\r\n"));
        QCOMPARE(csv({QStringLiteral("di \"hola\"")}), QByteArray("\"di \"\"hola\"\"\"\r\n"));
        QCOMPARE(csv({QStringLiteral("dos\nlíneas"), QString()}), QByteArray("\"dos\nlíneas\",\r\n"));
        QCOMPARE(csv({QStringLiteral("1,5"), QStringLiteral("a;b")}, ';'), QByteArray("1,5;\"a;b\"\r\n"));
        QCOMPARE(csv({QStringLiteral(" oF ")}), QByteArray(" oF \r\n"));
    }

    void fechasOrdenables()
    {
        QCOMPARE(fechaOrdenable(QStringLiteral("31/12/2025")), 20251231);
        QCOMPARE(fechaOrdenable(QStringLiteral("01/01/2026")), 20260101);
        QCOMPARE(fechaOrdenable(QStringLiteral("32/01/2026")), 0);
        QCOMPARE(fechaOrdenable(QStringLiteral("2026-01-01")), 0);
    }

    void rangosAcrossMesYAnio()
    {
        BancoVistas b;
        // One reading at noon each day from 28/12/2025 to 03/02/2026.
        QVector<FilaPrueba> filas;
        for (QDate d(2025, 12, 28); d <= QDate(2026, 2, 3); d = d.addDays(1))
            filas.append({d.toString(QStringLiteral("dd/MM/yyyy")), QStringLiteral("12:00:00"),
                          {QStringLiteral("1.5"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("0"),
                           QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")},
                          QStringLiteral("lote \"A\", 7")});
        insertarFilas(b.base, 1, filas);
        const QStringList titulos = titulosColumnas(b.modelo, 1);
        QTemporaryDir d;
        auto fechas = [&](const QString& desde, const QString& hasta) {
            const QString ruta = d.filePath(QStringLiteral("x.csv"));
            QString error;
            const qint64 r = escribirCsv(b.base.db(), 1, titulos, ruta, ',', fechaOrdenable(desde), fechaOrdenable(hasta), &error);
            QFile f(ruta);
            f.open(QIODevice::ReadOnly);
            QStringList v;
            const QList<QByteArray> lineas = f.readAll().split('\n');
            for (int i = 1; i < lineas.size(); ++i)
                if (!lineas[i].isEmpty())
                    v << QString::fromUtf8(lineas[i].split(',').value(1));
            if (r != v.size())
                v << QStringLiteral("cuenta %1").arg(r);
            return v;
        };
        // Across the year end: text comparison would take every month's 30 and 31.
        QCOMPARE(fechas(QStringLiteral("30/12/2025"), QStringLiteral("02/01/2026")),
                 QStringList({QStringLiteral("30/12/2025"), QStringLiteral("31/12/2025"), QStringLiteral("01/01/2026"),
                              QStringLiteral("02/01/2026")}));
        // Across a month.
        QCOMPARE(fechas(QStringLiteral("31/01/2026"), QStringLiteral("01/02/2026")),
                 QStringList({QStringLiteral("31/01/2026"), QStringLiteral("01/02/2026")}));
        QCOMPARE(fechas(QStringLiteral("03/02/2026"), QString()).size(), 1);
        QCOMPARE(fechas(QString(), QStringLiteral("28/12/2025")).size(), 1);
        QCOMPARE(fechas(QString(), QString()).size(), filas.size());
    }

    void programaExporta()
    {
        BancoVistas b;
        QVector<FilaPrueba> filas;
        filas.append({QStringLiteral("31/12/2025"), QStringLiteral("23:59:50"),
                      {QStringLiteral("1.25"), QStringLiteral(" oF "), QStringLiteral("3"), QStringLiteral("100"),
                       QStringLiteral("0"), QStringLiteral("N.I."), QStringLiteral("Err")},
                      QStringLiteral("lote \"A\"; 7")});
        filas.append({QStringLiteral("01/01/2026"), QStringLiteral("00:00:00"),
                      {QStringLiteral("1.5"), QStringLiteral("2"), QStringLiteral("3"), QStringLiteral("0"),
                       QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")},
                      QString()});
        insertarFilas(b.base, 2, filas);
        // Names from the settings under OMBRIX_HOME.
        b.modelo.RutaIni = b.raiz.datos() + QStringLiteral("/Ombrix.ini");
        b.modelo.Avanzadas1[2].NombreVA = QStringLiteral("Temperatura, horno");
        b.modelo.SalvarIni();
        const QString ruta = b.ruta;
        b.base.cerrar();

        QByteArray salida, errores;
        QCOMPARE(exportar({QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("2"),
                           QStringLiteral("--sep"), QStringLiteral(";")},
                          &salida, &errores),
                 0);
        const QList<QByteArray> l = salida.split('\n');
        QCOMPARE(l.size(), 4);
        QCOMPARE(l[0], QByteArray("Id;Fecha;Hora;Temperatura, horno;") + b.modelo.Avanzadas1[2].NombreSP.toUtf8() + ";"
                           + b.modelo.Avanzadas1[2].NombrePot.toUtf8() + ";" + b.modelo.Avanzadas1[2].NombreAl1.toUtf8()
                           + ";" + b.modelo.Avanzadas1[2].NombreAl2.toUtf8() + ";"
                           + b.modelo.Avanzadas1[2].NombreAl3.toUtf8() + ";" + b.modelo.Avanzadas1[2].NombreAl4.toUtf8()
                           + ";Partida\r");
        QCOMPARE(l[1], QByteArray("1;31/12/2025;23:59:50;1.25; oF ;3;100;0;N.I.;Err;\"lote \"\"A\"\"; 7\"\r"));
        QCOMPARE(l[2], QByteArray("2;01/01/2026;00:00:00;1.5;2;3;0;0;0;0;\r"));

        const QString archivo = b.raiz.ruta(QStringLiteral("sal.csv"));
        QCOMPARE(exportar({QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("2"),
                           QStringLiteral("--from"), QStringLiteral("01/01/2026"), QStringLiteral("--out"), archivo}),
                 0);
        QFile f(archivo);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll().count('\n'), 2);

        // Bad arguments.
        QVERIFY(exportar({QStringLiteral("--db"), ruta}) != 0);
        QVERIFY(exportar({QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("2"),
                          QStringLiteral("--from"), QStringLiteral("2026-01-01")})
                != 0);
    }

    // The program holds the database and writes into it: the export reads
    // beside it, every row committed before it started, and never writes.
    void leeJuntoAlQueEscribe()
    {
        BancoVistas b;   // holds the database, as the program does
        insertarFilas(b.base, 1, serie(QDateTime(QDate(2026, 3, 5), QTime(8, 0), QTimeZone::utc()), 3, 10));
        QByteArray salida, errores;
        const int r = exportar({QStringLiteral("--db"), b.ruta, QStringLiteral("--instrument"), QStringLiteral("1")},
                               &salida, &errores);
        QVERIFY2(r == 0, errores.constData());
        QCOMPARE(salida.count("\r\n"), 4);   // the header and three rows
        QVERIFY(salida.contains("08:00:20"));
        // The writer goes on undisturbed.
        insertarFilas(b.base, 1, serie(QDateTime(QDate(2026, 3, 5), QTime(9, 0), QTimeZone::utc()), 1, 10));

        // A file that is not a database of this system is refused all the same.
        const QString ajeno = b.raiz.ruta(QStringLiteral("ajeno.mdb"));
        QFile f(ajeno);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("no es una base");
        f.close();
        QVERIFY(exportar({QStringLiteral("--db"), ajeno, QStringLiteral("--instrument"), QStringLiteral("1")}, &salida,
                         &errores)
                != 0);
        QVERIFY2(errores.contains("no se pudo abrir la base de datos"), errores.constData());
        QVERIFY(!QFile::exists(ajeno + QStringLiteral("-wal")) && !QFile::exists(ajeno + QStringLiteral("-shm")));
    }
};

QTEST_GUILESS_MAIN(TstExport)
#include "tst_export.moc"
