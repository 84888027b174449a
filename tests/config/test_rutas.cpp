// The data root rules and the first start in a new root, on real folders.

#include "config/rutas.h"
#include "raiz_temporal.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace ombrix;

namespace {

// Sets or clears an environment variable for the life of the object.
class Variable {
public:
    Variable(const char* nombre, const QString& valor) : nombre_(nombre), viejo_(qgetenv(nombre))
    {
        if (valor.isNull())
            qunsetenv(nombre);
        else
            qputenv(nombre, valor.toUtf8());
    }
    ~Variable()
    {
        if (viejo_.isNull())
            qunsetenv(nombre_);
        else
            qputenv(nombre_, viejo_);
    }

private:
    const char* nombre_;
    QByteArray viejo_;
};

void escribir(const QString& ruta, const QByteArray& bytes)
{
    QFile f(ruta);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(bytes);
}

QByteArray leer(const QString& ruta)
{
    QFile f(ruta);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestRutas : public QObject {
    Q_OBJECT

private slots:
    void laVariableManda()
    {
        QTemporaryDir programa, raiz;
        QVERIFY(QDir(programa.path()).mkpath(QStringLiteral("RIvariv")));
        EntornoRaiz e;
        e.ombrixHome = raiz.path() + QStringLiteral("/");
        e.carpetaPrograma = programa.path();
        e.home = QStringLiteral("/nadie");
        QCOMPARE(elegirRaiz(e), raiz.path());
    }

    void carpetaDelProgramaConRIvariv()
    {
        QTemporaryDir programa;
        QVERIFY(QDir(programa.path()).mkpath(QStringLiteral("RIvariv")));
        EntornoRaiz e;
        e.carpetaPrograma = programa.path();
        e.xdgDataHome = QStringLiteral("/xdg");
        e.home = QStringLiteral("/home/operador");
        QCOMPARE(elegirRaiz(e), programa.path());
    }

    void carpetaDelProgramaSinRIvariv()
    {
        QTemporaryDir programa;
        // A file of that name is not the folder.
        escribir(programa.path() + QStringLiteral("/RIvariv"), "x");
        EntornoRaiz e;
        e.carpetaPrograma = programa.path();
        e.home = QStringLiteral("/home/operador");
        QCOMPARE(elegirRaiz(e), QStringLiteral("/home/operador/.local/share/ombrix"));
        e.xdgDataHome = QStringLiteral("/srv/datos/");
        QCOMPARE(elegirRaiz(e), QStringLiteral("/srv/datos/ombrix"));
        // A relative XDG_DATA_HOME is not valid and is ignored.
        e.xdgDataHome = QStringLiteral("datos");
        QCOMPARE(elegirRaiz(e), QStringLiteral("/home/operador/.local/share/ombrix"));
    }

    void rutasDelProceso()
    {
        // This test's own folder holds no RIvariv: without the variable the
        // session's data folder is used.
        QVERIFY(!QFileInfo(QCoreApplication::applicationDirPath() + QStringLiteral("/RIvariv")).exists());
        QTemporaryDir xdg;
        Variable sinHome("OMBRIX_HOME", QString());
        Variable datos("XDG_DATA_HOME", xdg.path());
        const QString esperada = xdg.path() + QStringLiteral("/ombrix");
        QCOMPARE(raizDatos(), esperada);
        QCOMPARE(rutaIniPorDefecto(), esperada + QStringLiteral("/RIvariv/Ombrix.ini"));
        QCOMPARE(rutaListaBases(), esperada + QStringLiteral("/Bases.lst"));
        {
            QTemporaryDir otra;
            Variable home("OMBRIX_HOME", otra.path());
            QCOMPARE(raizDatos(), otra.path());
            QCOMPARE(carpetaDatos(), otra.path() + QStringLiteral("/RIvariv"));
        }
        QCOMPARE(raizDatos(), esperada);
    }

    void primerArranqueCopiaElModelo()
    {
        QTemporaryDir programa, xdg;
        escribir(programa.path() + QStringLiteral("/Modelo.mod"), "modelo junto al programa");
        const QString raiz = xdg.path() + QStringLiteral("/ombrix");

        const RaizPreparada r = prepararRaizDatos(raiz, programa.path());
        QVERIFY(r.error.isEmpty());
        QVERIFY(r.creada);
        QVERIFY(r.modeloCopiado);
        QVERIFY(QFileInfo(raiz + QStringLiteral("/RIvariv")).isDir());
        QCOMPARE(leer(raiz + QStringLiteral("/Modelo.mod")), QByteArray("modelo junto al programa"));
        const QString aviso = avisoRaizPreparada(r);
        QVERIFY2(aviso.contains(raiz), qPrintable(aviso));

        // The second start finds the root made and says nothing; a template
        // the user changed stays.
        escribir(raiz + QStringLiteral("/Modelo.mod"), "cambiado");
        const RaizPreparada otra = prepararRaizDatos(raiz, programa.path());
        QVERIFY(!otra.creada);
        QVERIFY(!otra.modeloCopiado);
        QVERIFY(avisoRaizPreparada(otra).isEmpty());
        QCOMPARE(leer(raiz + QStringLiteral("/Modelo.mod")), QByteArray("cambiado"));
    }

    void modeloInstaladoBajoShare()
    {
        // <prefix>/bin/programa with <prefix>/share/ombrix/Modelo.mod.
        QTemporaryDir prefijo;
        QVERIFY(QDir(prefijo.path()).mkpath(QStringLiteral("bin")));
        QVERIFY(QDir(prefijo.path()).mkpath(QStringLiteral("share/ombrix")));
        const QString instalado = prefijo.path() + QStringLiteral("/share/ombrix/Modelo.mod");
        escribir(instalado, "modelo instalado");
        QFile(instalado).setPermissions(QFileDevice::ReadOwner | QFileDevice::ReadGroup | QFileDevice::ReadOther);
        QCOMPARE(modeloInstalado(prefijo.path() + QStringLiteral("/bin")), instalado);

        QTemporaryDir datos;
        const QString raiz = datos.path() + QStringLiteral("/a/b");
        const RaizPreparada r = prepararRaizDatos(raiz, prefijo.path() + QStringLiteral("/bin"));
        QVERIFY(r.creada && r.modeloCopiado);
        QCOMPARE(leer(raiz + QStringLiteral("/Modelo.mod")), QByteArray("modelo instalado"));
        // The copy of a read-only template can be replaced by its owner.
        QVERIFY(QFile(raiz + QStringLiteral("/Modelo.mod")).permissions() & QFileDevice::WriteOwner);
    }

    void raizExistenteNoSeToca()
    {
        // The tests' own roots (and a root a person already uses) hold
        // RIvariv and no template: nothing is copied into them.
        test::RaizTemporal raiz(false);
        QTemporaryDir programa;
        escribir(programa.path() + QStringLiteral("/Modelo.mod"), "modelo");
        const RaizPreparada r = prepararRaizDatos(raiz.path(), programa.path());
        QVERIFY(!r.creada);
        QVERIFY(!QFile::exists(raiz.ruta(QStringLiteral("Modelo.mod"))));
    }

    void raizQueNoSePuedeCrear()
    {
        QTemporaryDir dir;
        // A file where a folder would have to be.
        escribir(dir.path() + QStringLiteral("/ocupado"), "x");
        const RaizPreparada r = prepararRaizDatos(dir.path() + QStringLiteral("/ocupado/ombrix"), dir.path());
        QVERIFY(!r.creada);
        QVERIFY(!r.error.isEmpty());
        QVERIFY(avisoRaizPreparada(r).contains(QStringLiteral("No se pudo")));
    }

    void rutaModeloSinModeloEnLaRaiz()
    {
        // A root without a template falls back to the one beside the
        // executable (the build folder's), as the tests rely on.
        test::RaizTemporal raiz(false);
        const QString esperado = modeloInstalado(QCoreApplication::applicationDirPath());
        if (esperado.isEmpty())
            QCOMPARE(rutaModelo(), raiz.ruta(QStringLiteral("Modelo.mod")));
        else
            QCOMPARE(rutaModelo(), esperado);
        QVERIFY(QFile::copy(test::RaizTemporal::modeloConstruido(), raiz.ruta(QStringLiteral("Modelo.mod"))));
        QCOMPARE(rutaModelo(), raiz.ruta(QStringLiteral("Modelo.mod")));
    }
};

QTEST_GUILESS_MAIN(TestRutas)
#include "test_rutas.moc"
