#pragma once
// The model a polling program works on: the configuration of the settings
// file and the runtime state of the instruments. The windows keep their own
// registry of what is open (RegistroVentanas); the headless recorder needs
// none of it.

#include "config/configuracion.h"
#include "config/estado.h"

namespace ombrix {

class Modelo : public Configuracion, public EstadoEjecucion {
public:
    Modelo() = default;

    // Configuration and state arrays, all of length CantidadAparatos + 1.
    void ActualizarMemoria() override;

    // Writes the settings file; an instrument that is live (a panel or the
    // recorder stands for it) is saved with its live enabled state, title
    // and unit.
    void SalvarIni();

    // Sets up instrument n for polling as its settings say: its live state
    // starts from its configuration (address, enabled, title, unit; nothing
    // due, no alarm, no batch code), its recording counter from zero, and a
    // controller has no program readings.
    void prepararInstrumento(int n);

protected:
    void asegurarLargo(int largo) override;
};

} // namespace ombrix
