// The MQTT part of the one place that builds the listeners.
#include "integration/integraciones.h"

#include "config/modelo.h"
#include "mqtt/publicador_mqtt.h"
#include "mqtt/temas.h"

#include <QSysInfo>

namespace ombrix {

QString Integraciones::configurarMqtt(const AjustesMqtt& ajustes)
{
    if (auto* viejo = buscar<PublicadorMqtt>())
        quitar(viejo);
    if (!ajustes.activo)
        return {};
    AjustesMqtt a = ajustes;
    a.servidor = a.servidor.trimmed();
    QString problema = problemaDeAjustesMqtt(a);
    if (problema.isEmpty() && a.prefijo.isEmpty())
        a.prefijo = prefijoPorDefecto(QSysInfo::machineHostName(), modelo_.Config.Puerto);
    if (!problema.isEmpty()) {
        problema = QStringLiteral("MQTT: no se publica: ") + problema;
        avisar(problema);
        return problema;
    }
    agregar(std::make_unique<PublicadorMqtt>(a, [this](const QString& t) { avisar(t); }));
    return {};
}

} // namespace ombrix
