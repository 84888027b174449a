#!/usr/bin/env bash
# Builds the program, starts the instrument simulator on a pseudo-terminal with
# two controllers and two programmers, prepares a data root whose settings
# point COM1 at it and a database copied from the template, and starts the
# program there. The simulator ends with the program.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh

BIN="$PWD/build/bin"
ROOT="${OMBRIX_HOME:-$PWD/build/demo}"
mkdir -p "$ROOT/RIvariv"
export OMBRIX_HOME="$ROOT"
cp -f "$BIN/Modelo.mod" "$ROOT/Modelo.mod"

LINE="$ROOT/ttyOMBRIX"
if [ ! -f "$ROOT/RIvariv/Ombrix.ini" ]; then
  {
    printf '[Puertos]\r\nPuerto=COM1\r\nBaudRate=19200\r\nCOM1=%s\r\n' "$LINE"
    printf '[General]\r\ncantidad de aparatos=5\r\nTiempoScan=1\r\nSincronismo=0\r\nTiempoSinc=10\r\n'
    printf 'Pedir_Partida=0\r\nMantener_Nivel=1\r\nNivel=3\r\n'
    for n in 1 2 3 4; do
      tipo=0; [ "$n" -ge 3 ] && tipo=1
      titulo="Horno $n"; [ "$tipo" = 1 ] && titulo="Programa $n"
      printf '[Instrumento%s]\r\nTipo de instrumento=%s\r\nTitulo=%s\r\nHabilitado=1\r\nSalvarTabla=1\r\nBarrido=5\r\nID=%s\r\n' \
        "$n" "$tipo" "$titulo" "$n"
      if [ "$tipo" = 0 ]; then
        printf 'PCheckNProg=0\r\nPCheckNSeg=0\r\nPCheckTemp=0\r\n'
      fi
    done
  } > "$ROOT/RIvariv/Ombrix.ini"
fi
DB="$ROOT/RIvariv/Demo.mdb"
[ -f "$DB" ] || cp "$BIN/Modelo.mod" "$DB"
if [ ! -f "$ROOT/Bases.lst" ]; then
  printf '<Mas archivos>\r\n%s\r\n' "$DB" > "$ROOT/Bases.lst"
fi

"$BIN/ombrix-sim" --link "$LINE" --baud 19200 --daemon --inst 1:c --inst 2:c --inst 3:p --inst 4:p >"$ROOT/sim.log" 2>&1 &
SIM=$!
trap 'kill $SIM 2>/dev/null || true' EXIT
for _ in $(seq 50); do [ -e "$LINE" ] && break; sleep 0.1; done
[ -e "$LINE" ] || { echo "the simulator did not start (see $ROOT/sim.log)"; exit 1; }

echo "Data root: $ROOT   simulator line: $LINE"
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
  echo "No display found: run this from a desktop session (or set DISPLAY)."
fi
"$BIN/ombrix"
