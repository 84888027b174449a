#pragma once
// What the instruments window and its panels get from the main window.

#include "config/modelo.h"
#include "instruments/registro_ventanas.h"
#include "link/modbus.h"
#include "link/puerto_serie.h"

#include <QString>
#include <functional>

class QObject;
class QWidget;

namespace ombrix {

struct ContextoInstrumentos {
    ContextoInstrumentos(Modelo& m, RegistroVentanas& v, EnlaceModbus& e, TEstadoPuerto& p)
        : modelo(m), ventanas(v), enlace(e), puerto(p)
    {
    }

    Modelo& modelo;
    RegistroVentanas& ventanas;
    EnlaceModbus& enlace;
    TEstadoPuerto& puerto;   // commands are offered while puerto.Abierto

    // Hands work for an instrument to the owner of the port; `receptor`
    // gets what is to run afterwards. False when nothing was queued. Without
    // it the work runs at once on `enlace` and puerto.Handle (a line the
    // caller owns on this thread).
    std::function<bool(QObject* receptor, TrabajoLinea trabajo)> encolar;
    bool enviar(QObject* receptor, TrabajoLinea trabajo)
    {
        if (encolar)
            return encolar(receptor, std::move(trabajo));
        if (auto despues = trabajo(enlace, puerto.Abierto ? puerto.Handle : -1))
            despues();
        return true;
    }

    std::function<void(const QString&)> estado;   // text of the status bar's first panel
    std::function<void(int n)> abrirTabla;        // the data table of instrument n (empty: nothing)
    std::function<void(int n)> abrirPropiedades;  // the properties window of instrument n (empty: nothing)
    std::function<void()> iniciarTimer1;          // start the main window's one-second timer
    std::function<void(bool)> habilitarQuitar;    // enable/disable "remove the last instrument"
    QWidget* ventanaPrincipal = nullptr;          // the windows are sized after it
};

} // namespace ombrix
