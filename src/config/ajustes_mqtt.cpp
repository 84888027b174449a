#include "config/ajustes_mqtt.h"

#include "config/perfil.h"

namespace ombrix {

QString seccionMqtt() { return QStringLiteral("MQTT"); }

AjustesMqtt leerAjustesMqtt(const Perfil& p)
{
    const QString s = seccionMqtt();
    AjustesMqtt a;
    a.activo = p.leerBool(s, QStringLiteral("Activo"), false);
    a.servidor = p.leerTexto(s, QStringLiteral("Servidor"), QString());
    a.puerto = p.leerEntero(s, QStringLiteral("Puerto"), 0);
    if (a.puerto < 0 || a.puerto > 65535)
        a.puerto = 0;
    a.idCliente = p.leerTexto(s, QStringLiteral("IdCliente"), QString());
    a.usuario = p.leerTexto(s, QStringLiteral("Usuario"), QString());
    a.clave = p.leerTexto(s, QStringLiteral("Clave"), QString());
    a.archivoCA = p.leerTexto(s, QStringLiteral("ArchivoCA"), QString());
    a.prefijo = p.leerTexto(s, QStringLiteral("Prefijo"), QString());
    a.qos = p.leerEntero(s, QStringLiteral("QoS"), 1);
    if (a.qos < 0 || a.qos > 2)
        a.qos = 1;
    a.protocolo = p.leerEntero(s, QStringLiteral("Protocolo"), 5);
    if (a.protocolo != 5 && a.protocolo != 311)
        a.protocolo = 5;
    a.cola = p.leerEntero(s, QStringLiteral("Cola"), AjustesMqtt::kColaPorDefecto);
    if (a.cola < AjustesMqtt::kColaMinima || a.cola > AjustesMqtt::kColaMaxima)
        a.cola = AjustesMqtt::kColaPorDefecto;
    a.homeAssistant = p.leerBool(s, QStringLiteral("HomeAssistant"), false);
    return a;
}

void escribirAjustesMqtt(Perfil& p, const AjustesMqtt& a)
{
    const QString s = seccionMqtt();
    p.escribirBool(s, QStringLiteral("Activo"), a.activo);
    p.escribirTexto(s, QStringLiteral("Servidor"), a.servidor);
    p.escribirEntero(s, QStringLiteral("Puerto"), a.puerto);
    p.escribirTexto(s, QStringLiteral("IdCliente"), a.idCliente);
    p.escribirTexto(s, QStringLiteral("Usuario"), a.usuario);
    p.escribirTexto(s, QStringLiteral("Clave"), a.clave);
    p.escribirTexto(s, QStringLiteral("ArchivoCA"), a.archivoCA);
    p.escribirTexto(s, QStringLiteral("Prefijo"), a.prefijo);
    p.escribirEntero(s, QStringLiteral("QoS"), a.qos);
    p.escribirEntero(s, QStringLiteral("Protocolo"), a.protocolo);
    p.escribirEntero(s, QStringLiteral("Cola"), a.cola);
    p.escribirBool(s, QStringLiteral("HomeAssistant"), a.homeAssistant);
}

} // namespace ombrix
