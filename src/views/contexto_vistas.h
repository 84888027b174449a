#pragma once
// What the table and chart windows get from the main window.

#include "acquisition/base_datos.h"
#include "config/modelo.h"
#include "instruments/registro_ventanas.h"

class QMdiArea;
class QWidget;

namespace ombrix {

class Registrador;

struct ContextoVistas {
    ContextoVistas(Modelo& m, RegistroVentanas& v, BaseDatos& b) : modelo(m), ventanas(v), base(b) {}
    Modelo& modelo;
    RegistroVentanas& ventanas;
    BaseDatos& base;
    Registrador* registrador = nullptr;   // new rows reach the open grids and charts through it
    QMdiArea* mdi = nullptr;              // child windows go here; none: top-level windows
};

// Shows `w` as a child window of the context's area (deleted when closed).
void mostrarVentana(ContextoVistas& c, QWidget* w);
// Closes `w` (and its child-window frame).
void cerrarVentana(QWidget* w);
// Closes `w` and deletes it, or its child-window frame, now rather than at
// the next turn of the event loop.
void borrarVentana(QWidget* w);

} // namespace ombrix
