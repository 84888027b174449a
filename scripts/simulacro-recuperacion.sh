#!/usr/bin/env bash
# Recovery drill of the headless recorder against the simulator: two minutes
# of recording four instruments, instrument 2 silent for the first 25 s, the
# adapter pulled out at 50 s and plugged back at 65 s. Nobody touches
# anything: every instrument must be recorded again by itself after the
# adapter is back. Build first (scripts/setup.sh); BIN_DIR overrides where the
# programs are, DURACION the length in seconds (at least 90).
set -euo pipefail
cd "$(dirname "$0")/.."
BIN=$(realpath "${BIN_DIR:-build/bin}")
DURACION=${DURACION:-120}
[ "$DURACION" -ge 90 ] || { echo "DURACION must be at least 90"; exit 2; }

RAIZ=$(mktemp -d)
SIM_PID=""
cleanup() {
  exec 7>&- 2>/dev/null || true
  [ -n "$SIM_PID" ] && kill "$SIM_PID" 2>/dev/null || true
  rm -rf "$RAIZ"
}
trap cleanup EXIT

mkdir -p "$RAIZ/RIvariv"
LINEA="$RAIZ/ttyOMBRIX"
BASE="$RAIZ/RIvariv/Simulacro.mdb"
cp "$BIN/Modelo.mod" "$RAIZ/Modelo.mod"
cp "$BIN/Modelo.mod" "$BASE"
{
  printf '[Puertos]\r\nPuerto=COM1\r\nBaudRate=9600\r\nCOM1=%s\r\n' "$LINEA"
  printf '[General]\r\ncantidad de aparatos=5\r\nTiempoScan=1\r\nSincronismo=0\r\nPedir_Partida=0\r\n'
  for n in 1 2 3 4; do
    tipo=0; [ "$n" -ge 3 ] && tipo=1
    printf '[Instrumento%s]\r\nTipo de instrumento=%s\r\nTitulo=Equipo %s\r\nHabilitado=1\r\nSalvarTabla=1\r\nBarrido=5\r\nID=%s\r\n' \
      "$n" "$tipo" "$n" "$n"
  done
} > "$RAIZ/RIvariv/Ombrix.ini"

mkfifo "$RAIZ/ordenes"
"$BIN/ombrix-sim" --link "$LINEA" --baud 9600 --inst 1:c --inst 2:c --inst 3:p --inst 4:p \
  < "$RAIZ/ordenes" > "$RAIZ/sim.log" 2>&1 &
SIM_PID=$!
exec 7> "$RAIZ/ordenes"
orden() { echo "$1" >&7; }
for _ in $(seq 50); do [ -e "$LINEA" ] && break; sleep 0.1; done
orden "fault 2 silent"

hora() { date +%H:%M:%S; }
echo "$(hora) recorder starts; instrument 2 silent"
OMBRIX_HOME="$RAIZ" "$BIN/ombrix-logger" --db "$BASE" --duration "$DURACION" > "$RAIZ/logger.out" 2>&1 &
LOGGER=$!
sleep 25; orden "fault 2 none"; echo "$(hora) instrument 2 answers again"
sleep 25; orden "unplug";       echo "$(hora) adapter pulled out"
sleep 15; orden "plug";         DE_VUELTA=$(hora); echo "$DE_VUELTA adapter plugged back"
codigo=0
wait "$LOGGER" || codigo=$?
echo "--- recorder output"
cat "$RAIZ/logger.out"
echo "---"
[ "$codigo" -eq 0 ] || { echo "FAILED: the recorder ended with status $codigo"; exit 1; }

fallo=0
for n in 1 2 3 4; do
  despues=$(sqlite3 "$BASE" "SELECT count(*) FROM Instrumento$n WHERE Hora > '$DE_VUELTA' AND Valor_medido <> 'Err'")
  total=$(sqlite3 "$BASE" "SELECT count(*) FROM Instrumento$n")
  echo "Instrumento$n: $total rows, $despues read after the adapter came back"
  [ "$despues" -gt 0 ] || fallo=1
done
if [ "$fallo" -ne 0 ]; then
  echo "FAILED: an instrument was not recorded again"
  exit 1
fi
echo "passed: every instrument recorded again by itself"
