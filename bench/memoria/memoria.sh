#!/usr/bin/env bash
# Peak resident memory of the headless recorder after a short run and after a
# long one, against the simulator without line pacing. 20 instruments, each
# reading its measured value and set point (4 requests, so that a pass stays
# under one second), polled without a wait (TiempoScan=0) and recorded every
# second (Barrido=1): about 20 rows a second. The long run's peak should stay
# close to the short run's: nothing the recorder keeps grows with the rows.
#
# Usage: bench-memoria. MEMORIA_CORTA (default 5) and MEMORIA_LARGA (default
# 60) are the two durations in seconds. The programs and Modelo.mod are taken
# from BIN_DIR (default: the folder of this script).
set -uo pipefail
BIN_DIR=${BIN_DIR:-$(cd "$(dirname "$0")" && pwd)}
corta=${MEMORIA_CORTA:-5}
larga=${MEMORIA_LARGA:-60}
instrumentos=20

for programa in ombrix-logger ombrix-sim Modelo.mod; do
  if [ ! -e "$BIN_DIR/$programa" ]; then
    echo "bench-memoria: not built: $BIN_DIR/$programa" >&2
    exit 1
  fi
done

raiz=$(mktemp -d)
sim_pid=
limpiar() {
  if [ -n "$sim_pid" ]; then
    kill -TERM "$sim_pid" 2>/dev/null
    wait "$sim_pid" 2>/dev/null
  fi
  rm -rf "$raiz"
}
trap limpiar EXIT

# The data root of the recorder: settings with COM1 on the simulator's link.
export OMBRIX_HOME=$raiz
mkdir -p "$raiz/RIvariv"
enlace=$raiz/ttyOMBRIX
{
  printf '[Puertos]\r\nPuerto=COM1\r\nCOM1=%s\r\nBaudRate=19200\r\n' "$enlace"
  printf '[General]\r\ncantidad de aparatos=%d\r\nTiempoScan=0\r\nSincronismo=0\r\n' $((instrumentos + 1))
  for n in $(seq 1 $instrumentos); do
    printf '[Instrumento%d]\r\nTipo de instrumento=%d\r\nHabilitado=1\r\nSalvarTabla=1\r\nBarrido=1\r\nID=%d\r\n' \
      "$n" $((n % 2 == 0)) "$n"
    printf 'PCheckVA=1\r\nPCheckSPRd=1\r\nPCheckNProg=0\r\nPCheckNSeg=0\r\nPCheckTemp=0\r\nPCheckPOT=0\r\n'
    printf 'PCheckAl1=0\r\nPCheckAl2=0\r\nPCheckAl3=0\r\nPCheckAl4=0\r\n'
  done
} > "$raiz/RIvariv/Ombrix.ini"

instancias=()
for n in $(seq 1 $instrumentos); do
  if [ $((n % 2)) -eq 0 ]; then instancias+=(--inst "$n:p"); else instancias+=(--inst "$n:c"); fi
done
"$BIN_DIR/ombrix-sim" --link "$enlace" --no-pace --daemon "${instancias[@]}" > "$raiz/sim.log" 2>&1 &
sim_pid=$!
for _ in $(seq 1 50); do
  [ -e "$enlace" ] && break
  sleep 0.1
done
if [ ! -e "$enlace" ]; then
  echo "bench-memoria: the simulator did not start:" >&2
  cat "$raiz/sim.log" >&2
  exit 1
fi

# medir NAME SECONDS: prints "rows peak_kB" of one run of the recorder.
medir() {
  local base=$raiz/RIvariv/$1.mdb
  cp "$BIN_DIR/Modelo.mod" "$base" || return 1
  if ! "$BIN_DIR/ombrix-logger" --db "$base" --duration "$2" > "$raiz/$1.out" 2> "$raiz/$1.err"; then
    echo "bench-memoria: ombrix-logger failed:" >&2
    cat "$raiz/$1.err" >&2
    return 1
  fi
  sed -n 's/^detenido: \([0-9]*\) filas registradas, memoria máxima \([0-9]*\) kB$/\1 \2/p' "$raiz/$1.out"
}

read -r filas_c pico_c < <(medir corta "$corta") || true
read -r filas_l pico_l < <(medir larga "$larga") || true
if [ -z "${pico_c:-}" ] || [ -z "${pico_l:-}" ]; then
  echo "bench-memoria: no figures from ombrix-logger" >&2
  exit 1
fi

echo "bench-memoria: ombrix-logger contra ombrix-sim --no-pace, $instrumentos instrumentos (valor medido y set point),"
echo "  TiempoScan=0, Barrido=1; pico de memoria residente (getrusage ru_maxrss) de cada corrida"
printf '%-8s %10s %8s %9s\n' corrida duracion_s filas pico_kB
printf '%-8s %10s %8s %9s\n' corta "$corta" "$filas_c" "$pico_c"
printf '%-8s %10s %8s %9s\n' larga "$larga" "$filas_l" "$pico_l"
awk -v fc="$filas_c" -v pc="$pico_c" -v fl="$filas_l" -v pl="$pico_l" 'BEGIN {
  printf "razon larga/corta = %.3f", pl / pc
  if (fl > fc) printf "; crecimiento = %.1f bytes por fila", (pl - pc) * 1024 / (fl - fc)
  printf "\n(objetivo: razon cercana a 1)\n"
}'
