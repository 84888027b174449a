#include "modelo.h"

#include "rutas.h"

namespace ombrix {

void Modelo::ActualizarMemoria()
{
    const int largo = CantidadAparatos + 1;
    ArrayConfig.resize(largo);
    Avanzadas1.resize(largo);
    Avanzadas2.resize(largo);
    Gindividual.resize(largo);
    InstGrafico.resize(largo);
    Paneles.resize(largo);
    VentanasTabla.resize(largo);
    GraficoAbierto.resize(largo);
    ContadorBarrido.resize(largo);
    UltimosValores.resize(largo);
    Estados.resize(largo);
}

// Grows (never shrinks) every per-instrument array to at least `largo`.
void Modelo::asegurarLargo(int largo)
{
    auto crecer = [largo](auto& v) {
        if (v.size() < largo)
            v.resize(largo);
    };
    crecer(ArrayConfig);
    crecer(Avanzadas1);
    crecer(Avanzadas2);
    crecer(Gindividual);
    crecer(InstGrafico);
    crecer(Paneles);
    crecer(VentanasTabla);
    crecer(GraficoAbierto);
    crecer(ContadorBarrido);
    crecer(UltimosValores);
    crecer(Estados);
}

QString Modelo::rutaIni()
{
    if (RutaIni.isEmpty())
        RutaIni = rutaIniPorDefecto();
    return RutaIni;
}

} // namespace ombrix
