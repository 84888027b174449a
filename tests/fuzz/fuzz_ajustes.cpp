// Fuzz target: the whole configuration loaded from a settings file, as the
// program and the recorder load it at start. The input is the file; whatever
// it holds, the load ends with an instrument count the program supports and
// every per-instrument array sized for it, and with the values the program
// needs within their ranges (what was out of range is told in Avisos).

#include "config/configuracion.h"
#include "config/perfil.h"

#include <QByteArray>

#include <cstdint>
#include <cstdlib>

using namespace ombrix;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* datos, size_t largo)
{
    const QByteArray bytes(reinterpret_cast<const char*>(datos), qsizetype(largo));
    Configuracion c;
    c.cargarDe(Perfil::deBytes(bytes));
    const bool bien = c.CantidadAparatos >= Configuracion::kCantidadMinima
                      && c.CantidadAparatos <= Configuracion::kCantidadMaxima
                      && c.ArrayConfig.size() == c.CantidadAparatos + 1 && c.Avanzadas1.size() == c.CantidadAparatos + 1
                      && c.Avanzadas2.size() == c.CantidadAparatos + 1 && c.Gindividual.size() == c.CantidadAparatos + 1
                      && c.InstGrafico.size() == c.CantidadAparatos + 1 && c.Config.ReintentoAlarma >= 0;
    bool enRango = c.Config.TiempoScan >= 0 && c.Config.TiempoScan <= 86400
                   && (c.Config.BaudRate == 4800 || c.Config.BaudRate == 9600 || c.Config.BaudRate == 19200);
    for (int n = 1; n < c.CantidadAparatos; ++n)
        enRango = enRango && c.ArrayConfig[n].Barrido >= 1;
    for (const AvisoAjuste& a : c.Avisos)
        enRango = enRango && !a.seccion.isEmpty() && !a.clave.isEmpty() && !a.usado.isEmpty();
    if (!bien || !enRango)
        std::abort();
    return 0;
}
