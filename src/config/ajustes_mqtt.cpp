#include "config/ajustes_mqtt.h"

#include "config/perfil.h"

namespace ombrix {

namespace {

// Every key of the section with its field and default; the same list reads and writes.
template <class V>
void recorrer(V& v, AjustesMqtt& a)
{
    v.logico("Activo", a.activo, false);
    v.texto("Servidor", a.servidor);
    v.entero("Puerto", a.puerto, 0);
    v.texto("IdCliente", a.idCliente);
    v.texto("Usuario", a.usuario);
    v.texto("Clave", a.clave);
    v.texto("ArchivoCA", a.archivoCA);
    v.texto("Prefijo", a.prefijo);
    v.entero("QoS", a.qos, 1);
    v.entero("Protocolo", a.protocolo, 5);
    v.entero("Cola", a.cola, AjustesMqtt::kColaPorDefecto);
    v.logico("HomeAssistant", a.homeAssistant, false);
}

struct Lector {
    const Perfil& p;
    void logico(const char* k, bool& f, bool d) { f = p.leerBool(seccionMqtt(), QString::fromLatin1(k), d); }
    void texto(const char* k, QString& f) { f = p.leerTexto(seccionMqtt(), QString::fromLatin1(k), QString()); }
    void entero(const char* k, int& f, int d) { f = p.leerEntero(seccionMqtt(), QString::fromLatin1(k), d); }
};

struct Escritor {
    Perfil& p;
    void logico(const char* k, bool& f, bool) { p.escribirBool(seccionMqtt(), QString::fromLatin1(k), f); }
    void texto(const char* k, QString& f) { p.escribirTexto(seccionMqtt(), QString::fromLatin1(k), f); }
    void entero(const char* k, int& f, int) { p.escribirEntero(seccionMqtt(), QString::fromLatin1(k), f); }
};

} // namespace

QString seccionMqtt() { return QStringLiteral("MQTT"); }

AjustesMqtt leerAjustesMqtt(const Perfil& p)
{
    AjustesMqtt a;
    Lector l {p};
    recorrer(l, a);
    if (a.puerto < 0 || a.puerto > 65535)
        a.puerto = 0;
    if (a.qos < 0 || a.qos > 2)
        a.qos = 1;
    if (a.protocolo != 5 && a.protocolo != 311)
        a.protocolo = 5;
    if (a.cola < AjustesMqtt::kColaMinima || a.cola > AjustesMqtt::kColaMaxima)
        a.cola = AjustesMqtt::kColaPorDefecto;
    return a;
}

void escribirAjustesMqtt(Perfil& p, const AjustesMqtt& ajustes)
{
    AjustesMqtt a = ajustes;
    Escritor e {p};
    recorrer(e, a);
}

} // namespace ombrix
