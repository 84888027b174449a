// Fuzz target: the whole configuration loaded from a settings file, as the
// program and the recorder load it at start. The input is the file; whatever
// it holds, the load ends with an instrument count the program supports and
// every per-instrument array sized for it.

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
    if (!bien)
        std::abort();
    return 0;
}
