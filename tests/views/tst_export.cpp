// ombrix-export and the CSV writer it shares with the table window.

#include "base_danada.h"
#include "banco_vistas.h"

#include <QCryptographicHash>
#include <QDir>
#include <QProcess>
#include <QSettings>

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>

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

    // Runs ombrix-export (or another tool); returns its exit code, with stdout
    // and stderr. `limite`: the largest file the tool may write, in bytes, as
    // a full disk would stop it (0: no limit).
    static int exportar(const QStringList& args, QByteArray* salida = nullptr, QByteArray* errores = nullptr,
                        const QString& programa = QStringLiteral("ombrix-export"), rlim_t limite = 0)
    {
        QProcess p;
        if (limite)
            p.setChildProcessModifier([limite] {
                std::signal(SIGXFSZ, SIG_IGN);
                const rlimit r{limite, limite};
                ::setrlimit(RLIMIT_FSIZE, &r);
            });
        p.start(RaizTemporal::programa(programa), args);
        if (!p.waitForFinished(60000))
            return -1;
        if (salida)
            *salida = p.readAllStandardOutput();
        if (errores)
            *errores = p.readAllStandardError();
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }

    static QByteArray leer(const QString& ruta)
    {
        QFile f(ruta);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("<no se lee>");
    }

    // The names in a folder, hidden ones included.
    static QStringList nombres(const QString& carpeta)
    {
        return QDir(carpeta).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
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

    // Texts a spreadsheet would run go out as text; numbers stay numbers.
    void sinFormulas()
    {
        QCOMPARE(csv({QStringLiteral("=cmd|' /C calc'!A0")}), QByteArray("\"'=cmd|' /C calc'!A0\"\r\n"));
        QCOMPARE(csv({QStringLiteral("@SUM(A1)"), QStringLiteral("+A1"), QStringLiteral("-"), QStringLiteral("\tx"),
                      QStringLiteral("\rx")}),
                 QByteArray("\"'@SUM(A1)\",\"'+A1\",\"'-\",\"'\tx\",\"'\rx\"\r\n"));
        QCOMPARE(csv({QStringLiteral("-20.0"), QStringLiteral("+5"), QStringLiteral("-1.5e3"), QStringLiteral(".5"),
                      QStringLiteral(" oF "), QStringLiteral("N.I."), QStringLiteral("a=b")}),
                 QByteArray("-20.0,+5,-1.5e3,.5, oF ,N.I.,a=b\r\n"));
        QCOMPARE(csv({QStringLiteral("=\"x\";1")}, ';'), QByteArray("\"'=\"\"x\"\";1\"\r\n"));
        // Always valid UTF-8, without NUL bytes.
        QByteArray b;
        agregarCampoCsv(b, "a\0b", 3, ',');
        QCOMPARE(b, QByteArray("ab"));
        b.clear();
        agregarCampoCsv(b, "x\xff\xc3(y", 6, ',');
        QVERIFY(QByteArrayView(b).isValidUtf8());
        QVERIFY(b.startsWith('x') && b.endsWith("(y") && b.contains("\xef\xbf\xbd"));
        b.clear();
        agregarCampoCsv(b, "\0=1+1", 5, ',');
        QCOMPARE(b, QByteArray("\"'=1+1\""));
    }

    void fechasOrdenables()
    {
        QCOMPARE(fechaOrdenable(QStringLiteral("31/12/2025")), 20251231);
        QCOMPARE(fechaOrdenable(QStringLiteral("01/01/2026")), 20260101);
        QCOMPARE(fechaOrdenable(QStringLiteral("32/01/2026")), 0);
        QCOMPARE(fechaOrdenable(QStringLiteral("2026-01-01")), 0);
        QCOMPARE(fechaOrdenable(QStringLiteral("01/03/-2026")), 0);
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

    // What the database holds reaches the file as safe text: no formula, valid
    // UTF-8; and the database itself is not changed by the export.
    void programaExportaSinRiesgo()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, {{QStringLiteral("01/01/2026"), QStringLiteral("00:00:00"),
                                   {QStringLiteral("-20.0"), QStringLiteral("=1+1"), QStringLiteral("3"), QStringLiteral("0"),
                                    QStringLiteral("0"), QStringLiteral("0"), QStringLiteral("0")},
                                   QStringLiteral("=HYPERLINK(\"http://x\")")}});
        QVERIFY(QSqlQuery(b.base.db()).exec(QStringLiteral("UPDATE Instrumento1 SET Alarma_4 = CAST(X'41FF0042' AS TEXT)")));
        const QString ruta = b.ruta;
        b.base.cerrar();
        // In rollback-journal mode, as a copied or older file may be.
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("modo"));
            db.setDatabaseName(ruta);
            QVERIFY(db.open() && QSqlQuery(db).exec(QStringLiteral("PRAGMA journal_mode=DELETE")));
            db.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("modo"));
        const QByteArray antes = QCryptographicHash::hash(leer(ruta), QCryptographicHash::Sha256);
        const QStringList carpeta = nombres(b.raiz.datos());

        QByteArray salida, errores;
        QCOMPARE(exportar({QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1"),
                           QStringLiteral("--out"), QStringLiteral("-")},
                          &salida, &errores),
                 0);
        const QList<QByteArray> l = salida.split('\n');
        QCOMPARE(l.value(1), QByteArray("1;01/01/2026;00:00:00;-20.0;\"'=1+1\";3;0;0;0;A\xef\xbf\xbd" "B;"
                                        "\"'=HYPERLINK(\"\"http://x\"\")\"\r")
                                 .replace(';', ','));
        QCOMPARE(QCryptographicHash::hash(leer(ruta), QCryptographicHash::Sha256), antes);
        QCOMPARE(nombres(b.raiz.datos()), carpeta);
    }

    // A file is written whole or not at all: a full disk, a damaged page met
    // halfway, or a target that is not a regular file leave the old file as
    // it was, and nothing beside it.
    void enteroONada()
    {
        BancoVistas b;
        insertarFilas(b.base, 1, serie(QDateTime(QDate(2026, 1, 1), QTime(0, 0)), 2000, 10));
        const QString ruta = b.ruta;
        b.base.cerrar();
        QTemporaryDir salidas;
        const QString viejo = salidas.filePath(QStringLiteral("viejo.csv"));
        {
            QFile f(viejo);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("anterior\r\n");
        }
        const QStringList args{QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1"),
                               QStringLiteral("--out"), viejo};

        // The disk fills after 8 kB.
        QByteArray errores;
        QCOMPARE(exportar(args, nullptr, &errores, QStringLiteral("ombrix-export"), 8192), 1);
        QVERIFY2(errores.contains("No se pudo escribir"), errores.constData());
        QCOMPARE(leer(viejo), QByteArray("anterior\r\n"));
        QCOMPARE(nombres(salidas.path()), QStringList{QStringLiteral("viejo.csv")});

        // With room, it is replaced whole, through a link too (the link stays).
        const QString enlace = salidas.filePath(QStringLiteral("enlace.csv"));
        QVERIFY(QFile::link(viejo, enlace));
        QCOMPARE(exportar({QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1"),
                           QStringLiteral("--out"), enlace}),
                 0);
        QCOMPARE(leer(viejo).count('\n'), 2001);
        QVERIFY(QFileInfo(enlace).isSymLink());
        QVERIFY(QFile::remove(enlace));

        // A FIFO (as a device would be) is refused, by the report too, and stays.
        const QString fifo = salidas.filePath(QStringLiteral("tuberia"));
        QVERIFY(::mkfifo(QFile::encodeName(fifo).constData(), 0600) == 0);
        errores.clear();
        QCOMPARE(exportar({QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1"),
                           QStringLiteral("--out"), fifo},
                          nullptr, &errores),
                 1);
        QVERIFY2(errores.contains("es una tubería (FIFO), no un archivo común"), errores.constData());
        errores.clear();
        QCOMPARE(exportar({QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1"),
                           QStringLiteral("--pdf"), fifo},
                          nullptr, &errores, QStringLiteral("ombrix-report")),
                 1);
        QVERIFY2(errores.contains("no un archivo común"), errores.constData());
        struct stat st;
        QVERIFY(::stat(QFile::encodeName(fifo).constData(), &st) == 0 && S_ISFIFO(st.st_mode));
        // The windows' export goes the same way.
        {
            BaseDatos base;
            QVERIFY(base.abrir(ruta));
            QString error;
            QCOMPARE(escribirCsv(base.db(), 1, {QStringLiteral("Id")}, fifo, ',', 0, 0, &error), -1);
            QVERIFY2(error.contains(QStringLiteral("FIFO")), qPrintable(error));
        }
        QVERIFY(QFile::remove(fifo));

        // A damaged page met halfway through the rows.
        const QByteArray completo = leer(viejo);
        QVERIFY(test::llenarYDanar(ruta, 20000));
        errores.clear();
        QCOMPARE(exportar(args, nullptr, &errores), 1);
        QVERIFY2(errores.contains("malformed"), errores.constData());
        QCOMPARE(leer(viejo), completo);
        QCOMPARE(nombres(salidas.path()), QStringList{QStringLiteral("viejo.csv")});
    }

    // A value that is not one is refused with exit 2, by both tools alike.
    void argumentosMalos()
    {
        BancoVistas b;
        const QString ruta = b.ruta;
        b.base.cerrar();
        const QStringList base{QStringLiteral("--db"), ruta, QStringLiteral("--instrument"), QStringLiteral("1")};
        const QString pdf = b.raiz.ruta(QStringLiteral("x.pdf"));
        const QList<QStringList> malos{
            {QStringLiteral("--from"), QString()},
            {QStringLiteral("--to"), QString()},
            {QStringLiteral("--from"), QStringLiteral("01/03/-2026")},
            {QStringLiteral("--from"), QStringLiteral("02/01/2026"), QStringLiteral("--to"), QStringLiteral("01/01/2026")},
        };
        for (const QStringList& m : malos) {
            QByteArray e1, e2;
            QCOMPARE(exportar(base + m, nullptr, &e1), 2);
            QCOMPARE(exportar(base + m + QStringList{QStringLiteral("--pdf"), pdf}, nullptr, &e2,
                              QStringLiteral("ombrix-report")),
                     2);
            // The same reason from both (Qt may say something of its own first).
            const QByteArray motivo = e1.split('\n').first().mid(int(strlen("ombrix-export")));
            QVERIFY2(motivo.startsWith(": --") && e2.contains("ombrix-report" + motivo + "\n"), e2.constData());
        }
        QByteArray errores;
        QCOMPARE(exportar(base + QStringList{QStringLiteral("--out"), QString()}, nullptr, &errores), 2);
        QVERIFY2(errores.contains("--out no puede estar vacío"), errores.constData());
        QCOMPARE(exportar(base + QStringList{QStringLiteral("--pdf"), QString()}, nullptr, nullptr,
                          QStringLiteral("ombrix-report")),
                 2);
        QVERIFY(!QFileInfo::exists(pdf));
        // The output is never the database itself.
        errores.clear();
        QCOMPARE(exportar(base + QStringList{QStringLiteral("--out"), ruta}, nullptr, &errores), 2);
        QVERIFY2(errores.contains("es la base de datos misma"), errores.constData());
        QCOMPARE(exportar(base + QStringList{QStringLiteral("--pdf"), ruta}, nullptr, nullptr,
                          QStringLiteral("ombrix-report")),
                 2);
        BaseDatos sigue;
        QVERIFY(sigue.abrirLectura(ruta));
        sigue.cerrar();
        // A folder as --db is named as one.
        errores.clear();
        QCOMPARE(exportar({QStringLiteral("--db"), b.raiz.datos(), QStringLiteral("--instrument"), QStringLiteral("1")},
                          nullptr, &errores),
                 1);
        QVERIFY2(errores.contains("Es una carpeta"), errores.constData());
    }

    void rechazaBaseTomada()
    {
        BancoVistas b;   // holds the database, as the program does
        QByteArray salida, errores;
        const int r = exportar({QStringLiteral("--db"), b.ruta, QStringLiteral("--instrument"), QStringLiteral("1")},
                               &salida, &errores);
        QVERIFY(r != 0);
        QVERIFY(salida.isEmpty());
        QVERIFY2(errores.contains("no se pudo abrir la base de datos"), errores.constData());
    }
};

QTEST_GUILESS_MAIN(TstExport)
#include "tst_export.moc"
