#include "config/ajustes_web.h"

#include "config/perfil.h"

namespace ombrix {

QString seccionWeb() { return QStringLiteral("Web"); }

AjustesWeb leerAjustesWeb(const Perfil& p)
{
    const QString s = seccionWeb();
    AjustesWeb a;
    a.activo = p.leerBool(s, QStringLiteral("Activo"), false);
    a.direccion = p.leerTexto(s, QStringLiteral("Direccion"), QString()).trimmed();
    a.puerto = p.leerEntero(s, QStringLiteral("Puerto"), AjustesWeb::kPuertoPorDefecto);
    a.usuario = p.leerTexto(s, QStringLiteral("Usuario"), QString());
    a.clave = p.leerTexto(s, QStringLiteral("Clave"), QString());
    a.clientes = p.leerEntero(s, QStringLiteral("Clientes"), AjustesWeb::kClientesPorDefecto);
    a.peticiones = p.leerEntero(s, QStringLiteral("PeticionesPorMinuto"), AjustesWeb::kPeticionesPorDefecto);
    if (a.puerto < 1 || a.puerto > 65535)
        a.puerto = AjustesWeb::kPuertoPorDefecto;
    if (a.clientes < 1 || a.clientes > 1000)
        a.clientes = AjustesWeb::kClientesPorDefecto;
    if (a.peticiones < 10 || a.peticiones > 100000)
        a.peticiones = AjustesWeb::kPeticionesPorDefecto;
    return a;
}

void escribirAjustesWeb(Perfil& p, const AjustesWeb& a)
{
    const QString s = seccionWeb();
    p.escribirBool(s, QStringLiteral("Activo"), a.activo);
    p.escribirTexto(s, QStringLiteral("Direccion"), a.direccion);
    p.escribirEntero(s, QStringLiteral("Puerto"), a.puerto);
    p.escribirTexto(s, QStringLiteral("Usuario"), a.usuario);
    p.escribirTexto(s, QStringLiteral("Clave"), a.clave);
    p.escribirEntero(s, QStringLiteral("Clientes"), a.clientes);
    p.escribirEntero(s, QStringLiteral("PeticionesPorMinuto"), a.peticiones);
}

} // namespace ombrix
