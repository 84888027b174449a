// The web view's part of the one place that builds the listeners.
#include "integration/integraciones.h"

#include "config/modelo.h"
#include "views/consultas.h"
#include "web/clave_web.h"
#include "web/vista_web.h"

namespace ombrix {

QString Integraciones::configurarWeb(const AjustesWeb& ajustes)
{
    if (auto* vieja = buscar<VistaWeb>())
        quitar(vieja);
    if (!ajustes.activo)
        return {};
    auto falla = [this](const QString& m) {
        const QString t = QStringLiteral("Web: no se sirve la vista: ") + m;
        avisar(t);
        return t;
    };
    if (!ajustes.usuario.isEmpty() && !web::esResumenClave(ajustes.clave))
        return falla(QStringLiteral("la clave de [Web] no es un resumen de clave (guárdela desde la ventana u "
                                    "obténgala con ombrix-logger --web-clave)"));
    std::vector<web::InstrumentoWeb> instrumentos;
    for (int n = 1; n < modelo_.CantidadAparatos && n < modelo_.ArrayConfig.size() && n < modelo_.Estados.size(); ++n) {
        const auto& cfg = modelo_.ArrayConfig[n];
        if (!cfg.Habilitado)
            continue;
        web::InstrumentoWeb i;
        i.n = n;
        i.titulo = modelo_.Estados[n].Titulo.isEmpty() ? cfg.Titulo : modelo_.Estados[n].Titulo;
        i.unidad = modelo_.Estados[n].Unidad.isEmpty() ? cfg.Unidad : modelo_.Estados[n].Unidad;
        i.programador = cfg.Tipo == 1;
        i.registrando = cfg.SalvarTabla;
        i.titulosCsv = titulosColumnas(modelo_, n);
        instrumentos.push_back(std::move(i));
    }
    auto vista = std::make_unique<VistaWeb>(ajustes, std::move(instrumentos), rutaBase_,
                                            [this](const QString& t) { avisar(t); });
    if (const QString error = vista->iniciar(); !error.isEmpty())
        return falla(error);
    const QString direccion = ajustes.direccionEfectiva().contains(QLatin1Char(':'))
                                  ? QStringLiteral("[%1]").arg(ajustes.direccionEfectiva())
                                  : ajustes.direccionEfectiva();
    avisar(QStringLiteral("Web: vista de la línea en http://%1:%2/%3")
               .arg(direccion)
               .arg(vista->puerto())
               .arg(ajustes.usuario.isEmpty() ? QString() : QStringLiteral(" (con usuario y clave)")));
    agregar(std::move(vista));
    return {};
}

} // namespace ombrix
