#include "rutas.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

namespace ombrix {

int numeroCom(const QString& nombre)
{
    static const QRegularExpression com(QStringLiteral("^COM([1-9][0-9]{0,2})$"),
                                        QRegularExpression::CaseInsensitiveOption);
    const auto m = com.match(nombre.trimmed());
    return m.hasMatch() ? m.captured(1).toInt() : 0;
}

QString dispositivoDeCom(int n) { return QStringLiteral("/dev/ttyS%1").arg(n - 1); }

namespace {

QString sinSeparadorFinal(QString ruta)
{
    ruta = QDir::cleanPath(ruta);
    while (ruta.size() > 1 && ruta.endsWith(QLatin1Char('/')))
        ruta.chop(1);
    return ruta;
}

QString carpetaPrograma()
{
    // Without an application object (a library test) the current folder stands in.
    return QCoreApplication::instance() ? QCoreApplication::applicationDirPath() : QDir::currentPath();
}

} // namespace

EntornoRaiz entornoActual()
{
    EntornoRaiz e;
    e.ombrixHome = qEnvironmentVariable("OMBRIX_HOME");
    e.carpetaPrograma = carpetaPrograma();
    e.xdgDataHome = qEnvironmentVariable("XDG_DATA_HOME");
    e.home = qEnvironmentVariable("HOME");
    if (e.home.isEmpty())
        e.home = QDir::homePath();
    return e;
}

QString elegirRaiz(const EntornoRaiz& e)
{
    if (!e.ombrixHome.isEmpty())
        return sinSeparadorFinal(e.ombrixHome);
    if (!e.carpetaPrograma.isEmpty() && QFileInfo(e.carpetaPrograma + QStringLiteral("/RIvariv")).isDir())
        return sinSeparadorFinal(e.carpetaPrograma);
    // XDG: a relative XDG_DATA_HOME is invalid and is ignored.
    if (!e.xdgDataHome.isEmpty() && QDir::isAbsolutePath(e.xdgDataHome))
        return sinSeparadorFinal(e.xdgDataHome + QStringLiteral("/ombrix"));
    return sinSeparadorFinal(e.home + QStringLiteral("/.local/share/ombrix"));
}

QString raizDatos() { return elegirRaiz(entornoActual()); }

QString carpetaDatos() { return raizDatos() + QStringLiteral("/RIvariv"); }
QString rutaIniPorDefecto() { return carpetaDatos() + QStringLiteral("/Ombrix.ini"); }
QString rutaListaBases() { return raizDatos() + QStringLiteral("/Bases.lst"); }

QString modeloInstalado(const QString& carpeta)
{
    const QString candidatos[] = {
        carpeta + QStringLiteral("/Modelo.mod"),
        QDir::cleanPath(carpeta + QStringLiteral("/../share/ombrix/Modelo.mod")),
        QStringLiteral("/usr/share/ombrix/Modelo.mod"),
    };
    for (const QString& c : candidatos)
        if (QFileInfo(c).isFile())
            return c;
    return {};
}

QString rutaModelo()
{
    const QString enRaiz = raizDatos() + QStringLiteral("/Modelo.mod");
    if (QFileInfo::exists(enRaiz))
        return enRaiz;
    const QString instalado = modeloInstalado(carpetaPrograma());
    return instalado.isEmpty() ? enRaiz : instalado;
}

RaizPreparada prepararRaizDatos(const QString& raiz, const QString& carpeta)
{
    RaizPreparada r;
    r.raiz = raiz;
    const QString datos = raiz + QStringLiteral("/RIvariv");
    if (QFileInfo(datos).isDir())
        return r;
    if (!QDir().mkpath(datos)) {
        r.error = QStringLiteral("no se pudo crear la carpeta %1").arg(QDir::toNativeSeparators(datos));
        return r;
    }
    r.creada = true;
    const QString destino = raiz + QStringLiteral("/Modelo.mod");
    const QString origen = modeloInstalado(carpeta);
    if (!QFileInfo::exists(destino) && !origen.isEmpty() && QFileInfo(origen) != QFileInfo(destino)) {
        if (QFile::copy(origen, destino)) {
            // A template installed read-only stays replaceable in the user's own root.
            QFile(destino).setPermissions(QFile(destino).permissions() | QFileDevice::WriteOwner);
            r.modeloCopiado = true;
        }
    }
    return r;
}

RaizPreparada prepararRaizDatos() { return prepararRaizDatos(raizDatos(), carpetaPrograma()); }

QString avisoRaizPreparada(const RaizPreparada& r)
{
    if (!r.error.isEmpty())
        return QStringLiteral("No se pudo preparar la carpeta de datos %1: %2")
            .arg(QDir::toNativeSeparators(r.raiz), r.error);
    if (!r.creada)
        return {};
    QString texto = QStringLiteral("Se creó la carpeta de datos %1").arg(QDir::toNativeSeparators(r.raiz));
    texto += r.modeloCopiado ? QStringLiteral(" con la base de datos modelo (Modelo.mod).")
                             : QStringLiteral(" (no se encontró la base de datos modelo Modelo.mod).");
    return texto;
}

} // namespace ombrix
