#include "rutas.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace ombrix {

QString raizDatos()
{
    QString raiz = qEnvironmentVariable("OMBRIX_HOME");
    if (raiz.isEmpty())
        raiz = QCoreApplication::applicationDirPath();
    raiz = QDir::cleanPath(raiz);
    while (raiz.size() > 1 && raiz.endsWith(QLatin1Char('/')))
        raiz.chop(1);
    return raiz;
}

QString carpetaDatos() { return raizDatos() + QStringLiteral("/RIvariv"); }
QString rutaIniPorDefecto() { return carpetaDatos() + QStringLiteral("/Ombrix.ini"); }
QString rutaListaBases() { return raizDatos() + QStringLiteral("/Bases.lst"); }
QString rutaModelo()
{
    // The template sits in the data root; a root without one uses the template
    // the build put beside the executable.
    const QString enRaiz = raizDatos() + QStringLiteral("/Modelo.mod");
    if (QFileInfo::exists(enRaiz))
        return enRaiz;
    const QString junto = QCoreApplication::applicationDirPath() + QStringLiteral("/Modelo.mod");
    return QFileInfo::exists(junto) ? junto : enRaiz;
}

} // namespace ombrix
