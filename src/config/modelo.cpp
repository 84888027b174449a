#include "modelo.h"

#include "rutas.h"

namespace ombrix {

void Configuracion::ActualizarMemoria()
{
    const int largo = CantidadAparatos + 1;
    ArrayConfig.resize(largo);
    Avanzadas1.resize(largo);
    Avanzadas2.resize(largo);
    Gindividual.resize(largo);
    InstGrafico.resize(largo);
}

void Configuracion::asegurarLargo(int largo)
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
}

QString Configuracion::rutaIni()
{
    if (RutaIni.isEmpty())
        RutaIni = rutaIniPorDefecto();
    return RutaIni;
}

void EstadoEjecucion::ajustarEstado(int largo, bool soloCrecer)
{
    auto ajustar = [=](auto& v) {
        if (!soloCrecer || v.size() < largo)
            v.resize(largo);
    };
    ajustar(Estados);
    ajustar(ContadorBarrido);
    ajustar(UltimosValores);
}

void Modelo::ActualizarMemoria()
{
    Configuracion::ActualizarMemoria();
    ajustarEstado(CantidadAparatos + 1, false);
}

void Modelo::asegurarLargo(int largo)
{
    Configuracion::asegurarLargo(largo);
    ajustarEstado(largo, true);
}

void Modelo::SalvarIni()
{
    Configuracion::SalvarIni([this](int n, TarrayConfig& a) {
        if (n < Estados.size() && Estados[n].Vivo) {
            a.Habilitado = Estados[n].Habilitado;
            a.Titulo = Estados[n].Titulo;
            a.Unidad = Estados[n].Unidad;
        }
    });
}

void Modelo::prepararInstrumento(int n)
{
    if (n < 1)
        return;
    asegurarLargo(n + 1);
    const TarrayConfig& c = ArrayConfig[n];
    EstadoInstrumento& st = Estados[n];
    st = EstadoInstrumento{};
    st.Vivo = true;
    st.Direccion = c.ID;
    st.Habilitado = c.Habilitado;
    st.Titulo = c.Titulo;
    st.Unidad = c.Unidad;
    ContadorBarrido[n] = 0;
    if (c.Tipo == 0) {
        TAvanzadas1& a = Avanzadas1[n];
        a.PCheckNProg = false;
        a.PCheckNSeg = false;
        a.PCheckTemp = false;
    }
}

} // namespace ombrix
