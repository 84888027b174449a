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

#include <sqlite3.h>

#include <chrono>
#include <thread>

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

        // A reader refuses it for the same reason, and leaves it alone too.
        QVERIFY(!base.abrirLectura(ruta, &error));
        QVERIFY2(error.contains(QStringLiteral("no es una base de datos de este sistema")) && error.contains(motivo),
                 qPrintable(error));
        QCOMPARE(huella(ruta), antes);
    }

    // Readers share the file with the one writer: they see its commits, never
    // write, and a second writer is still refused.
    void lectoresJuntoAlEscritor()
    {
        const QString ruta = dir.filePath(QStringLiteral("compartida.mdb"));
        QVERIFY(QFile::copy(test::RaizTemporal::modeloConstruido(), ruta));
        BaseDatos escritor, lector, otro;
        QString error;
        QVERIFY2(escritor.abrir(ruta, &error), qPrintable(error));
        QVERIFY2(lector.abrirLectura(ruta, &error), qPrintable(error));
        QVERIFY(lector.soloLectura() && !escritor.soloLectura());
        auto contar = [&] {
            QSqlQuery q(lector.db());
            return q.exec(QStringLiteral("SELECT count(*) FROM Instrumento1")) && q.next() ? q.value(0).toInt() : -1;
        };
        QCOMPARE(contar(), 0);
        QVERIFY(QSqlQuery(escritor.db()).exec(QStringLiteral("INSERT INTO Instrumento1 (Fecha) VALUES ('02/03/2024')")));
        QCOMPARE(contar(), 1);
        QVERIFY(!QSqlQuery(lector.db()).exec(QStringLiteral("INSERT INTO Instrumento1 (Fecha) VALUES ('03/03/2024')")));
        QVERIFY(!lector.vaciarTabla(QStringLiteral("Instrumento1"), &error));
        QVERIFY(!otro.abrir(ruta, &error));
        QVERIFY2(error.contains(QStringLiteral("en uso")), qPrintable(error));
        // The writer goes while a reader stays: nothing committed is lost,
        // and the next writer takes the file.
        escritor.cerrar();
        QCOMPARE(contar(), 1);
        QVERIFY2(otro.abrir(ruta, &error), qPrintable(error));
        QVERIFY(QSqlQuery(otro.db()).exec(QStringLiteral("INSERT INTO Instrumento1 (Fecha) VALUES ('04/03/2024')")));
        QCOMPARE(contar(), 2);
    }

    // A file of the old rollback-journal kind, locked whole while another
    // program writes a row: the reader waits for it, and leaves it as it was.
    void lectorEsperaAlDiarioAntiguo()
    {
        const QString ruta = dir.filePath(QStringLiteral("antigua.mdb"));
        QVERIFY(QFile::copy(test::RaizTemporal::modeloConstruido(), ruta));
        QFile::setPermissions(ruta, QFile::ReadOwner | QFile::WriteOwner);
        sqlite3* h = nullptr;
        QCOMPARE(sqlite3_open(QFile::encodeName(ruta).constData(), &h), SQLITE_OK);
        QCOMPARE(sqlite3_exec(h, "PRAGMA journal_mode=DELETE; BEGIN EXCLUSIVE;"
                                 "INSERT INTO Instrumento1 (Fecha) VALUES ('05/03/2024')", nullptr, nullptr, nullptr),
                 SQLITE_OK);
        std::thread escritor([h] {
            std::this_thread::sleep_for(std::chrono::milliseconds(400));
            sqlite3_exec(h, "COMMIT", nullptr, nullptr, nullptr);
        });
        BaseDatos lector;
        QString error;
        const bool abierta = lector.abrirLectura(ruta, &error);
        escritor.join();
        sqlite3_close(h);
        QVERIFY2(abierta, qPrintable(error));
        QSqlQuery q(lector.db());
        QVERIFY(q.exec(QStringLiteral("SELECT Fecha FROM Instrumento1")) && q.next());
        QCOMPARE(q.value(0).toString(), QStringLiteral("05/03/2024"));
        q.finish();
        lector.cerrar();
        QFile f(ruta);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.read(20).mid(18), QByteArray("\x01\x01"));   // still a rollback journal
        QVERIFY(!QFile::exists(ruta + QStringLiteral("-wal")));
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

    // Reading changes nothing in the file: not its journal mode, not a byte.
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
            base.cerrar();
            // Not a byte of the file; beside a WAL file SQLite may leave the
            // log and index it shares with a writer, empty.
            QCOMPARE(huella(ruta).left(32), antes.left(32));
            QVERIFY(QFileInfo(ruta + QStringLiteral("-wal")).size() == 0);
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
