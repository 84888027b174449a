#pragma once
// Shared set-up of the panel tests: a model with instruments in their default
// configuration, and a line to the instrument simulator over a real
// pseudo-terminal.

#include "config/modelo.h"
#include "instruments/contexto.h"
#include "link/modbus.h"
#include "sim/simulador.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <memory>

namespace ombrix::test {

// The model of `tipos.size()` instruments (0 controller, 1 programmer), each
// with its defaults and, when `habilitados`, enabled.
inline void prepararModelo(Modelo& m, const QList<int>& tipos, bool habilitados = true)
{
    m.CantidadAparatos = quint8(tipos.size() + 1);
    m.ActualizarMemoria();
    for (int n = 1; n <= tipos.size(); ++n) {
        m.granini(n, QString());
        m.ArrayConfig[n].Tipo = quint8(tipos[n - 1]);
        m.ArrayConfig[n].Habilitado = habilitados;
    }
    m.Config.Pedir_Partida = false;
    m.Cargando = true;
}

// One request as the simulator logs it.
inline QByteArray trama(quint8 esclavo, quint8 funcion, quint16 registro, quint16 valor)
{
    const modbus::Trama t = modbus::construirPeticion(esclavo, funcion, registro, valor);
    return QByteArray(reinterpret_cast<const char*>(t.data()), int(t.size()));
}

// The simulator serving instruments 1..N on a pseudo-terminal, and the port
// opened on it the way acquisition opens it.
struct Linea {
    sim::Simulador sim;
    EnlaceModbus enlace;
    TEstadoPuerto puerto;
    QString ruta;

    bool abrir(const QList<int>& tipos)
    {
        for (int n = 1; n <= tipos.size(); ++n)
            sim.agregarInstrumento(quint8(n), tipos[n - 1] == 1);
        sim.setDinamica(false);
        sim.setRitmo(false);
        sim.setRetardoRespuesta(1);
        if (!sim.abrirPty(&ruta))
            return false;
        sim.iniciar();
        enlace.setTimeOuts(100);
        enlace.setRetries(1);
        enlace.OpenPort(ruta, puerto);
        return puerto.Abierto;
    }
    ~Linea()
    {
        if (puerto.Abierto)
            enlace.ClosePort(puerto.Handle, puerto);
        sim.detener();
    }
};

} // namespace ombrix::test
