#include "config/ajustes_central.h"

#include "config/perfil.h"

#include <QRegularExpression>

namespace ombrix {

QString seccionCentral() { return QStringLiteral("Central"); }

AjustesCentral leerAjustesCentral(const Perfil& p)
{
    const QString s = seccionCentral();
    AjustesCentral a;
    a.activo = p.leerBool(s, QStringLiteral("Activo"), false);
    a.url = p.leerTexto(s, QStringLiteral("Url"), QString()).trimmed();
    a.linea = p.leerTexto(s, QStringLiteral("Linea"), QString()).trimmed();
    a.clave = p.leerTexto(s, QStringLiteral("Clave"), QString());
    return a;
}

QString claveCentral(const AjustesCentral& ajustes)
{
    return qEnvironmentVariableIsSet("OMBRIX_CENTRAL_CLAVE") ? qEnvironmentVariable("OMBRIX_CENTRAL_CLAVE") : ajustes.clave;
}

void escribirAjustesCentral(Perfil& p, const AjustesCentral& a)
{
    const QString s = seccionCentral();
    p.escribirBool(s, QStringLiteral("Activo"), a.activo);
    p.escribirTexto(s, QStringLiteral("Url"), a.url);
    p.escribirTexto(s, QStringLiteral("Linea"), a.linea);
    p.escribirTexto(s, QStringLiteral("Clave"), a.clave);
}

QString problemaDeLinea(const QString& linea)
{
    static const QRegularExpression valida(QStringLiteral("^[A-Za-z0-9][A-Za-z0-9_.-]{0,39}$"));
    if (linea.isEmpty())
        return QStringLiteral("falta el nombre de la línea");
    if (!valida.match(linea).hasMatch())
        return QStringLiteral("el nombre de línea «%1» no vale: de 1 a 40 letras, cifras, «_», «-» o «.», "
                              "empezando por letra o cifra").arg(linea);
    return {};
}

QString lineaPorDefecto(const QString& equipo, const QString& puerto)
{
    QString t = equipo + QLatin1Char('-') + puerto.section(QLatin1Char('/'), -1);
    for (QChar& c : t)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != QLatin1Char('_') && c != QLatin1Char('.'))
            c = QLatin1Char('-');
    while (t.startsWith(QLatin1Char('-')) || t.startsWith(QLatin1Char('.')) || t.startsWith(QLatin1Char('_')))
        t.remove(0, 1);
    return t.left(40).isEmpty() ? QStringLiteral("linea") : t.left(40);
}

} // namespace ombrix
