// Opening the database file: anything that is not one of ours is refused and left
// exactly as it was; one of ours is held against every other opener.

#include "acquisition/base_datos.h"
#include "base_danada.h"
#include "raiz_temporal.h"

#include <QCryptographicHash>
#include <QSqlError>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QTest>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

using namespace ombrix;

namespace {

// The file's bytes, and whatever SQLite keeps beside it.
QByteArray huella(const QString& ruta)
{
    QFile f(ruta);
    QByteArray h = f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256) : "";
    for (const char* s : {"-wal", "-shm", "-journal"})
        if (QFile::exists(ruta + QLatin1String(s)))
            h += s;
    return h;
}

bool alterar(const QString& ruta, const QString& sql)
{
    bool ok = true;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("prueba"));
        db.setDatabaseName(ruta);
        ok = db.open();
        for (const QString& s : sql.split(QLatin1Char(';')))
            ok = ok && QSqlQuery(db).exec(s);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("prueba"));
    return ok;
}

// Whether another process finds a lock on the file (SQLite's are POSIX locks).
bool bloqueadoParaOtros(const QString& ruta)
{
    const QByteArray nombre = QFile::encodeName(ruta);
    const pid_t hijo = fork();
    if (hijo == 0) {
        struct flock fl{};
        fl.l_type = F_WRLCK;
        const int fd = ::open(nombre.constData(), O_RDWR);
        _exit(fd >= 0 && ::fcntl(fd, F_GETLK, &fl) == 0 && fl.l_type != F_UNLCK ? 1 : 0);
    }
    int estado = 0;
    waitpid(hijo, &estado, 0);
    return WIFEXITED(estado) && WEXITSTATUS(estado) == 1;
}

} // namespace

class TestBaseDatos : public QObject {
    Q_OBJECT
    QTemporaryDir dir;

private slots:
    void noEsDelSistema_data()
    {
        QTest::addColumn<bool>("modelo");   // starts as a copy of the template
        QTest::addColumn<QString>("sql");
        QTest::addColumn<QString>("motivo");
        QTest::newRow("vacío") << false << QString() << "vacío";
        QTest::newRow("sqlite ajeno") << false << "CREATE TABLE Clientes(Id);INSERT INTO Clientes VALUES(1)"
                                      << "falta la tabla Instrumento1";
        QTest::newRow("sin columna") << true << R"s(ALTER TABLE Combinada DROP COLUMN "AL4(Ins20)")s"
                                     << "le falta la columna AL4(Ins20)";
    }

    void noEsDelSistema()
    {
        QFETCH(bool, modelo);
        QFETCH(QString, sql);
        QFETCH(QString, motivo);
        const QString ruta = dir.filePath(QString::fromUtf8(QTest::currentDataTag()) + QStringLiteral(".mdb"));
        QVERIFY(modelo ? QFile::copy(test::RaizTemporal::modeloConstruido(), ruta) : QFile(ruta).open(QIODevice::WriteOnly));
        QVERIFY(sql.isEmpty() || alterar(ruta, sql));
        const QByteArray antes = huella(ruta);

        BaseDatos base;
        QString error;
        QVERIFY(!base.abrir(ruta, &error));
        QVERIFY2(error.contains(QStringLiteral("no es una base de datos de este sistema")) && error.contains(motivo),
                 qPrintable(error));
        QCOMPARE(huella(ruta), antes);   // not even switched to WAL, and nothing beside it
    }

    void delSistemaYRetenida()
    {
        BaseDatos a, b;
        QString error;
        QVERIFY(!a.abrir(dir.filePath(QStringLiteral("no.mdb")), &error));
        QVERIFY2(error.contains(QStringLiteral("no existe")), qPrintable(error));

        // Column names in any case; a path that must be escaped in an SQLite URI.
        const QString ruta = dir.filePath(QStringLiteral("Planta año #1.mdb"));
        QVERIFY(QFile::copy(test::RaizTemporal::modeloConstruido(), ruta));
        QVERIFY(alterar(ruta, R"s(ALTER TABLE Combinada RENAME COLUMN "AL4(Ins20)" TO "al4(INS20)")s"));
        QVERIFY2(a.abrir(ruta, &error), qPrintable(error));
        QFile f(ruta);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.read(20).mid(18), QByteArray("\x02\x02"));   // WAL

        // The second opener is refused, and refusing it does not loosen the first one's hold.
        QVERIFY(!b.abrir(ruta, &error));
        QVERIFY2(error.contains(QStringLiteral("en uso")), qPrintable(error));
        QVERIFY(bloqueadoParaOtros(ruta));
        QVERIFY(QSqlQuery(a.db()).exec(QStringLiteral("INSERT INTO Instrumento1 (Fecha) VALUES ('02/03/2024')")));

        // Closed, nothing is left beside it; it opens again in WAL mode, also with
        // a log left by a crash and no index.
        a.cerrar();
        QCOMPARE(huella(ruta).size(), 32);
        QFile(ruta + QStringLiteral("-wal")).open(QIODevice::WriteOnly);
        QVERIFY2(b.abrir(ruta, &error), qPrintable(error));
        QSqlQuery q(b.db());
        QVERIFY(q.exec(QStringLiteral("SELECT Fecha FROM Instrumento1")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("02/03/2024"));
        q.finish();
        b.cerrar();
        QCOMPARE(huella(ruta).size(), 32);
    }

    // A writer refuses a damaged file, saying why and what to do; a reader
    // opens it and meets the damage where it reads.
    void danadaNoSeEscribe()
    {
        const QString ruta = dir.filePath(QStringLiteral("dañada.mdb"));
        QVERIFY(QFile::copy(test::RaizTemporal::modeloConstruido(), ruta));
        QFile(ruta).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(test::llenarYDanar(ruta, 3000));
        const QByteArray antes = huella(ruta);

        BaseDatos base;
        QString error;
        QVERIFY(!base.abrir(ruta, &error));
        QVERIFY2(error.contains(QStringLiteral("dañada")) && error.contains(QStringLiteral(".recover"))
                     && error.contains(QStringLiteral("copia")),
                 qPrintable(error));
        QCOMPARE(huella(ruta), antes);   // not switched to WAL either

        QVERIFY2(base.abrirLectura(ruta, &error), qPrintable(error));
        QSqlQuery q(base.db());
        QVERIFY(!q.exec(QStringLiteral("SELECT count(*), max(Partida) FROM Instrumento1")));
        QVERIFY2(q.lastError().text().contains(QStringLiteral("malformed")), qPrintable(q.lastError().text()));
        q.finish();
        base.cerrar();
        QCOMPARE(huella(ruta), antes);
    }

    // Reading changes nothing in the file: not its journal mode, not a byte,
    // and nothing is left beside it.
    void lecturaNoCambiaNada()
    {
        const QString ruta = dir.filePath(QStringLiteral("lectura.mdb"));
        QVERIFY(QFile::copy(test::RaizTemporal::modeloConstruido(), ruta));
        QFile(ruta).setPermissions(QFile::ReadOwner | QFile::WriteOwner);
        QVERIFY(alterar(ruta, QStringLiteral("PRAGMA journal_mode=DELETE;INSERT INTO Instrumento1 (Fecha) VALUES ('02/03/2024')")));
        for (bool wal : {false, true}) {
            if (wal) {   // as the writer leaves it
                BaseDatos escritor;
                QVERIFY(escritor.abrir(ruta));
            }
            const QByteArray antes = huella(ruta);
            BaseDatos base;
            QString error;
            QVERIFY2(base.abrirLectura(ruta, &error), qPrintable(error));
            QSqlQuery q(base.db());
            QVERIFY(q.exec(QStringLiteral("SELECT Fecha FROM Instrumento1")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("02/03/2024"));
            QVERIFY(!QSqlQuery(base.db()).exec(QStringLiteral("DELETE FROM Instrumento1")));
            q.finish();
            // Held as the writer holds it.
            BaseDatos otra;
            QVERIFY(!otra.abrir(ruta, &error));
            base.cerrar();
            QCOMPARE(huella(ruta), antes);
        }
        // A folder is named as one.
        BaseDatos base;
        QString error;
        QVERIFY(!base.abrirLectura(dir.path(), &error));
        QVERIFY2(error.contains(QStringLiteral("carpeta")), qPrintable(error));
    }
};

QTEST_GUILESS_MAIN(TestBaseDatos)
#include "test_base_datos.moc"
