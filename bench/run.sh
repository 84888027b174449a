#!/usr/bin/env bash
# Runs the built benchmark programs and prints their figures. Builds nothing:
# build first (scripts/setup.sh or cmake --build build). BIN_DIR overrides
# where the programs are (default build/bin).
set -uo pipefail
cd "$(dirname "$0")/.."
BIN_DIR=${BIN_DIR:-build/bin}
estado=0

ejecutar() {
  local programa="$BIN_DIR/$1"
  shift
  echo "== $(basename "$programa")"
  if [ ! -x "$programa" ]; then
    echo "   not built: $programa"
    estado=1
    return
  fi
  "$programa" "$@" || estado=1
  echo
}

ejecutar bench-transaccion
ejecutar bench-transaccion --tcp
ejecutar bench-registro
ejecutar bench-pasada
ejecutar bench-pasada --tcp
ejecutar bench-bloqueo
ejecutar bench-memoria
ejecutar bench-vistas
ejecutar bench-comb
ejecutar bench-informe
ejecutar bench-apertura
ejecutar bench-eventos
ejecutar bench-mqtt
ejecutar bench-central atraso
ejecutar bench-central vivo 30
ejecutar bench-central pasada 3
ejecutar bench-lectores --minutos 2
ejecutar bench-web

exit $estado
