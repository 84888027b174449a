#pragma once
// ombrix-report's batch options: --partida CODE (the batch report of one
// load) and --partidas (the list of the instrument's batches).

#include "argumentos.h"

#include <optional>

namespace ombrix {

struct OpcionesPartida {
    std::optional<QString> codigo;
    bool lista = false;
};

// True when `op` is one of the batch options (with the reason in `motivo` when its value is missing).
bool leerOpcionPartida(const QString& op, const LeerValor& valor, const char*& motivo, OpcionesPartida& o);
// Runs the batch report or the batch list; returns the exit code.
int informePartida(const Herramienta& h, const ArgumentosConsulta& a, const OpcionesPartida& o, const QString& pdf);

} // namespace ombrix
