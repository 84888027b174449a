// The central database's part of the one place that builds the listeners.
#include "integration/integraciones.h"

#include "central/reenviador.h"
#include "central/servidor_central.h"
#include "config/ajustes_central.h"
#include "config/modelo.h"

#include <QSysInfo>

namespace ombrix {

QString Integraciones::configurarCentral(const AjustesCentral& ajustes)
{
    if (auto* viejo = buscar<Reenviador>())
        quitar(viejo);
    if (!ajustes.activo)
        return {};
    Reenviador::Destino d;
    d.url = ajustes.url.trimmed();
    d.linea = ajustes.linea.trimmed();
    if (d.linea.isEmpty())
        d.linea = lineaPorDefecto(QSysInfo::machineHostName(), modelo_.Config.Puerto);
    d.clave = claveCentral(ajustes);
    QString problema = central::problemaDeUrl(d.url);
    if (problema.isEmpty())
        problema = problemaDeLinea(d.linea);
    if (!problema.isEmpty()) {
        problema = QStringLiteral("Base central: no se envía: ") + problema;
        avisar(problema);
        return problema;
    }
    agregar(std::make_unique<Reenviador>(d, rutaBase_, [this](const QString& t) { avisar(t); }));
    return {};
}

} // namespace ombrix
