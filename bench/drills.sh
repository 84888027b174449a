#!/usr/bin/env bash
# Reliability drills: the recorder and the settings reader put through what a
# plant does to them. Not part of CI (it takes minutes, see below);
# it builds nothing but the fuzz targets. Run as root (drill 3 mounts a
# tmpfs), after building (scripts/setup.sh or cmake --build build):
#
#   bash bench/drills.sh
#
# Each drill prints one line: its figures, then "ok" or what failed; a last
# line sums up. Exit status 0 when no drill failed. Drills 1, 2, 3 and 5
# take about ten minutes together. With the sanitizers on, the Modbus target
# runs about 200,000 inputs a second, the CSV one 3,000 to 10,000 and the
# settings reader 1,500 to 4,000 (the whole-configuration load far fewer), so
# drill 4 takes one to two hours on two cores; FUZZ_MAX_S=330 gives a short
# run that reports how many inputs each target got. AddressSanitizer's
# memory grows past libFuzzer's default 2 GB limit over millions of inputs
# (the targets themselves stay flat without it), so the limit is 6 GB.
#
#   1 kill    DRILL_KILLS (100) × kill -9 of ombrix-logger at a random moment
#             while it records 5 instruments every second: the database passes
#             PRAGMA integrity_check, holds every row the recorder reported
#             stored, no Id twice, and the next start opens it at once
#             (time to its "registrando en" line).
#   2 unplug  20 × the adapter pulled out and plugged back (simulator
#             unplug/plug): polling resumes by itself within 10 s ("puerto
#             recuperado", then a "registradas" line) and the recorder uses under 2 %
#             of a core while the device is missing.
#   3 full    The database on a 2 MB tmpfs that is then filled: recording
#             fails once with a message, polling goes on, recording works
#             again once space is freed, and no row stored before is lost.
#             Skipped with a note when the machine refuses the mount.
#   4 fuzz    libFuzzer (clang++, ASan + UBSan) over the targets of
#             tests/fuzz/: Modbus reply checks and decoding, the settings
#             reader, the CSV quoting. FUZZ_RUNS (10000000) inputs each,
#             started from tests/fuzz/corpus/<target>/ (copied: the corpus in
#             the repository is left as it is); FUZZ_MAX_S caps each target's
#             time (then fewer inputs than FUZZ_RUNS fail). Needs clang++ and
#             libclang-rt-14-dev; skipped when they are missing.
#   5 config  Mangled settings files (empty, binary, UTF-16, huge lines, wrong
#             types, missing sections, ...): ombrix-logger runs with the
#             defaults and a warning or refuses with a message, never dies of
#             a signal or hangs; the program (offscreen) stays up 3 s on each.
#
# Environment: BIN_DIR (default build/bin) where the programs are;
# DRILLS (default "1 2 3 4 5") the drills to run; DRILL_KILLS; DRILL_UNPLUGS
# (20); FUZZ_RUNS; FUZZ_RUNS_AJUSTES; FUZZ_MAX_S;
# KEEP=1 keeps the work folder (printed at the start) for a look afterwards.
set -uo pipefail
cd "$(dirname "$0")/.."
FUENTES=$(pwd)
BIN=$(realpath "${BIN_DIR:-build/bin}")
DRILLS=${DRILLS:-"1 2 3 4 5"}
DRILL_KILLS=${DRILL_KILLS:-100}
FUZZ_RUNS=${FUZZ_RUNS:-10000000}
FUZZ_RUNS_AJUSTES=${FUZZ_RUNS_AJUSTES:-1000000}

for p in ombrix-logger ombrix-sim Modelo.mod; do
  [ -e "$BIN/$p" ] || { echo "not built: $BIN/$p"; exit 2; }
done
command -v sqlite3 >/dev/null || { echo "the sqlite3 command is needed (apt-get install sqlite3)"; exit 2; }

TRABAJO=$(mktemp -d /tmp/ombrix-drills.XXXXXX)
echo "drills in $TRABAJO with $BIN"
PROCESOS=()
MONTAJE=""
limpiar() {
  for pid in "${PROCESOS[@]}"; do kill -9 "$pid" 2>/dev/null; done
  [ -n "$MONTAJE" ] && umount "$MONTAJE" 2>/dev/null
  [ "${KEEP:-0}" = 1 ] || rm -rf "$TRABAJO"
}
trap limpiar EXIT

ok=0; fallidos=0; saltados=0
informe() {   # informe NAME ok|skip|fail TEXT
  case "$2" in
    ok) ok=$((ok + 1)); echo "drill $1: $3 ok" ;;
    skip) saltados=$((saltados + 1)); echo "drill $1: skipped: $3" ;;
    *) fallidos=$((fallidos + 1)); echo "drill $1: $3" ;;
  esac
}

ahora_ms() { echo $(( $(date +%s%N) / 1000000 )); }

# espera SECONDS COMMAND...: runs the command every 50 ms until it succeeds; false on time-out.
espera() {
  local limite=$(( $(ahora_ms) + ${1%.*} * 1000 )); shift
  until "$@"; do
    [ "$(ahora_ms)" -ge "$limite" ] && return 1
    sleep 0.05
  done
}

# A data root for the recorder: RIvariv/Ombrix.ini with N instruments that
# record every second, COM1 on the simulator's link, and a database.
raiz() {   # raiz DIR LINK N
  local dir=$1 linea=$2 cuantos=$3
  mkdir -p "$dir/RIvariv"
  cp "$BIN/Modelo.mod" "$dir/Modelo.mod"
  cp "$BIN/Modelo.mod" "$dir/RIvariv/Registro.mdb"
  {
    printf '[Puertos]\r\nPuerto=COM1\r\nBaudRate=38400\r\nCOM1=%s\r\n' "$linea"
    printf '[General]\r\ncantidad de aparatos=%s\r\nTiempoScan=1\r\nSincronismo=0\r\nPedir_Partida=0\r\n' $((cuantos + 1))
    for n in $(seq "$cuantos"); do
      local tipo=0; [ $((n % 2)) -eq 0 ] && tipo=1
      printf '[Instrumento%s]\r\nTipo de instrumento=%s\r\nTitulo=Equipo %s\r\nHabilitado=1\r\nSalvarTabla=1\r\nBarrido=1\r\nID=%s\r\n' \
        "$n" "$tipo" "$n" "$n"
    done
  } > "$dir/RIvariv/Ombrix.ini"
}

# The simulator on LINK serving N instruments; commands go through fd 7 (orden).
simulador() {   # simulador DIR LINK N
  local dir=$1 linea=$2 cuantos=$3 inst=()
  for n in $(seq "$cuantos"); do
    if [ $((n % 2)) -eq 0 ]; then inst+=(--inst "$n:p"); else inst+=(--inst "$n:c"); fi
  done
  rm -f "$dir/ordenes"; mkfifo "$dir/ordenes"
  "$BIN/ombrix-sim" --link "$linea" --baud 38400 "${inst[@]}" < "$dir/ordenes" > "$dir/sim.log" 2>&1 &
  SIM=$!
  PROCESOS+=("$SIM")
  exec 7> "$dir/ordenes"
  espera 5 test -e "$linea"
}
orden() { echo "$1" >&7; }
parar_simulador() {
  orden quit 2>/dev/null
  exec 7>&-
  wait "$SIM" 2>/dev/null
}

# Rows in every Instrumento table of DB; "ERR" when the database cannot be read.
filas_total() {
  sqlite3 -cmd ".timeout 5000" "$1" \
    "SELECT (SELECT count(*) FROM Instrumento1)+(SELECT count(*) FROM Instrumento2)+(SELECT count(*) FROM Instrumento3)+(SELECT count(*) FROM Instrumento4)+(SELECT count(*) FROM Instrumento5)" \
    2>/dev/null || echo ERR
}
ids_repetidos() {
  local suma=0 n r
  for n in 1 2 3 4 5; do
    r=$(sqlite3 -cmd ".timeout 5000" "$1" "SELECT count(*) - count(DISTINCT Id) FROM Instrumento$n" 2>/dev/null) || r=999999
    suma=$((suma + r))
  done
  echo "$suma"
}
# The last "(total N rows)" the recorder printed, 0 before any.
total_informado() {
  local t
  t=$(grep -o '(total [0-9]* filas)' "$1" 2>/dev/null | tail -n 1 | tr -dc 0-9)
  echo "${t:-0}"
}
lineas() { grep -c -- "$2" "$1" 2>/dev/null || true; }
mas_de() { [ "$(lineas "$1" "$2")" -gt "$3" ]; }   # mas_de FILE PATTERN N: more than N lines match

# ---------------------------------------------------------------- 1: kill -9
drill_kill() {
  local dir=$TRABAJO/kill linea=$TRABAJO/kill/tty base=$TRABAJO/kill/RIvariv/Registro.mdb
  raiz "$dir" "$linea" 5
  simulador "$dir" "$linea" 5 || { informe "1 (kill -9)" fail "the simulator did not start"; return; }
  local esperadas=0 i pid t0 apertura suma=0 maxima=0 total filas sobrantes maxsobra=0 fallo="" integridad rep
  local sinfilas=0 mayor=0
  for i in $(seq "$DRILL_KILLS"); do
    local salida=$dir/logger.$i.out
    t0=$(ahora_ms)
    OMBRIX_HOME=$dir "$BIN/ombrix-logger" --db "$base" --duration 3600 > "$salida" 2>&1 &
    pid=$!
    if ! espera 10 grep -q "registrando en" "$salida"; then
      fallo="start $i: no \"registrando en\" within 10 s ($(head -c 300 "$salida" | tr '\n' ' '))"
      kill -9 "$pid" 2>/dev/null; wait "$pid" 2>/dev/null; break
    fi
    apertura=$(( $(ahora_ms) - t0 ))
    suma=$((suma + apertura)); [ "$apertura" -gt "$maxima" ] && maxima=$apertura
    # A random moment within the next 3 s: before, during or after a pass.
    sleep "$((RANDOM % 3)).$((RANDOM % 1000))"
    kill -9 "$pid"; wait "$pid" 2>/dev/null
    total=$(total_informado "$salida")
    [ "$total" -eq 0 ] && sinfilas=$((sinfilas + 1))
    esperadas=$((esperadas + total))
    integridad=$(sqlite3 "$base" "PRAGMA integrity_check" 2>&1 | head -n 3 | tr '\n' ' ')
    if [ "$integridad" != "ok " ]; then fallo="kill $i: integrity_check says: $integridad"; break; fi
    filas=$(filas_total "$base")
    if [ "$filas" = ERR ] || [ "$filas" -lt "$esperadas" ]; then
      fallo="kill $i: $filas rows in the tables, $esperadas reported stored"; break
    fi
    # Rows stored after the last line the recorder got to print count once:
    # from here on they are expected too.
    sobrantes=$((filas - esperadas)); [ "$sobrantes" -gt "$maxsobra" ] && maxsobra=$sobrantes
    esperadas=$filas
    rep=$(ids_repetidos "$base")
    if [ "$rep" -ne 0 ]; then fallo="kill $i: $rep repeated Id"; break; fi
    [ "$total" -gt "$mayor" ] && mayor=$total
  done
  parar_simulador
  local hechos=$i
  [ -z "$fallo" ] || { informe "1 (kill -9)" fail "FAILED after $((hechos - 1)) kills: $fallo"; return; }
  informe "1 (kill -9)" ok "$hechos kills, $(filas_total "$base") rows kept (every reported one; up to $maxsobra more than reported in flight), integrity ok, no repeated Id, reopen to \"registrando en\" mean $((suma / hechos)) ms max $maxima ms ($sinfilas kills before the first row),"
}

# ---------------------------------------------------------------- 2: unplug
drill_desenchufe() {
  local dir=$TRABAJO/unplug linea=$TRABAJO/unplug/tty base=$TRABAJO/unplug/RIvariv/Registro.mdb
  local veces=${DRILL_UNPLUGS:-20} ausente=3 tck
  tck=$(getconf CLK_TCK)
  raiz "$dir" "$linea" 5
  simulador "$dir" "$linea" 5 || { informe "2 (unplug)" fail "the simulator did not start"; return; }
  local salida=$dir/logger.out
  OMBRIX_HOME=$dir "$BIN/ombrix-logger" --db "$base" --duration 3600 > "$salida" 2>&1 &
  local pid=$!
  PROCESOS+=("$pid")
  local fallo="" i peor=0 cpu_max=0 cpu_suma=0 perdidas
  espera 15 grep -q "registradas" "$salida" || fallo="nothing recorded before the first unplug"
  cpu() { awk '{print $14 + $15}' "/proc/$pid/stat"; }
  for i in $(seq "$veces"); do
    [ -z "$fallo" ] || break
    perdidas=$(lineas "$salida" "puerto perdido")
    orden unplug
    if ! espera 10 mas_de "$salida" "puerto perdido" "$perdidas"; then
      fallo="unplug $i: no \"puerto perdido\" line within 10 s"; break
    fi
    local c0 c1 t0 t1
    c0=$(cpu); t0=$(ahora_ms)
    sleep "$ausente"
    c1=$(cpu); t1=$(ahora_ms)
    # Hundredths of a percent of one core.
    local uso=$(( (c1 - c0) * 1000000 / tck / (t1 - t0) ))
    cpu_suma=$((cpu_suma + uso)); [ "$uso" -gt "$cpu_max" ] && cpu_max=$uso
    [ "$uso" -lt 200 ] || { fallo="unplug $i: $((uso / 100)).$(printf %02d $((uso % 100))) % of a core while unplugged"; break; }
    local desde
    desde=$(wc -l < "$salida")
    t0=$(ahora_ms)
    orden plug
    de_vuelta() {
      tail -n +"$((desde + 1))" "$salida" | grep -q "puerto recuperado" &&
        tail -n +"$((desde + 1))" "$salida" | sed -n '/puerto recuperado/,$p' | grep -q "registradas"
    }
    if ! espera 10 de_vuelta; then
      fallo="plug $i: polling did not resume within 10 s"; break
    fi
    t1=$(( $(ahora_ms) - t0 )); [ "$t1" -gt "$peor" ] && peor=$t1
  done
  kill -TERM "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  parar_simulador
  [ -z "$fallo" ] || { informe "2 (unplug)" fail "FAILED: $fallo"; return; }
  local media=$((cpu_suma / veces))
  informe "2 (unplug)" ok "$veces unplug/plug, resumed within max $peor ms, CPU unplugged mean $((media / 100)).$(printf %02d $((media % 100))) % max $((cpu_max / 100)).$(printf %02d $((cpu_max % 100))) % of a core,"
}

# ---------------------------------------------------------------- 3: disk full
drill_lleno() {
  local dir=$TRABAJO/full linea=$TRABAJO/full/tty disco=$TRABAJO/full/disco
  raiz "$dir" "$linea" 5
  mkdir -p "$disco"
  if ! mount -t tmpfs -o size=2m tmpfs "$disco" 2>/dev/null; then
    informe "3 (disk full)" skip "this machine does not allow mounting a tmpfs (not root, or no CAP_SYS_ADMIN)"
    return
  fi
  MONTAJE=$disco
  local base=$disco/Registro.mdb
  cp "$BIN/Modelo.mod" "$base"
  simulador "$dir" "$linea" 5 || { informe "3 (disk full)" fail "the simulator did not start"; return; }
  local fallo="" salida=$dir/logger.out c0 antes pid rx0 rx1 total
  # First a few rows, counted with the recorder stopped (it holds the file exclusively).
  OMBRIX_HOME=$dir "$BIN/ombrix-logger" --db "$base" --duration 3 > "$dir/previo.out" 2>&1
  c0=$(filas_total "$base")
  [ "$c0" != ERR ] && [ "$c0" -gt 0 ] || fallo="no rows recorded before the drill ($c0)"
  if [ -z "$fallo" ]; then
    OMBRIX_HOME=$dir "$BIN/ombrix-logger" --db "$base" --duration 3600 > "$salida" 2>&1 &
    pid=$!
    PROCESOS+=("$pid")
    espera 10 grep -q "registradas" "$salida" || fallo="nothing recorded"
  fi
  if [ -z "$fallo" ]; then
    orden "log on"
    dd if=/dev/zero of="$disco/relleno" bs=4k 2>/dev/null
    if ! espera 30 grep -q "el registro falla" "$salida"; then
      fallo="no \"el registro falla\" line within 30 s of the disk filling"
    else
      antes=$((c0 + $(total_informado "$salida")))
      rx0=$(lineas "$dir/sim.log" "^RX")
      sleep 4
      rx1=$(lineas "$dir/sim.log" "^RX")
      [ "$rx1" -gt "$rx0" ] || fallo="polling stopped while recording failed"
      kill -0 "$pid" 2>/dev/null || fallo="the recorder ended while recording failed"
      [ "$(lineas "$salida" "el registro falla")" -eq 1 ] || fallo="\"el registro falla\" told $(lineas "$salida" "el registro falla") times"
    fi
  fi
  if [ -z "$fallo" ]; then
    rm -f "$disco/relleno"
    if ! espera 20 grep -q "el registro funciona de nuevo" "$salida"; then
      fallo="no \"el registro funciona de nuevo\" within 20 s of freeing space"
    else
      local n
      n=$(grep -n "el registro funciona de nuevo" "$salida" | head -n 1 | cut -d: -f1)
      espera 10 sh -c "tail -n +$((n + 1)) '$salida' | grep -q registradas" || fallo="no row recorded after recovering"
    fi
  fi
  orden "log off"
  kill -TERM "$pid" 2>/dev/null; wait "$pid" 2>/dev/null
  parar_simulador
  if [ -z "$fallo" ]; then
    total=$(total_informado "$salida")
    local despues integridad
    despues=$(filas_total "$base")
    integridad=$(sqlite3 "$base" "PRAGMA integrity_check" 2>&1 | head -n 3 | tr '\n' ' ')
    if [ "$integridad" != "ok " ]; then fallo="integrity_check says: $integridad"
    elif [ "$despues" = ERR ] || [ "$despues" -lt "$antes" ]; then fallo="$despues rows after, $antes before filling"
    elif [ "$despues" -lt $((c0 + total)) ]; then fallo="$despues rows, $((c0 + total)) reported stored"
    fi
  fi
  umount "$disco" 2>/dev/null && MONTAJE=""
  [ -z "$fallo" ] || { informe "3 (disk full)" fail "FAILED: $fallo"; return; }
  informe "3 (disk full)" ok "$antes rows before filling, $despues after (failed once, $((rx1 - rx0)) requests polled in 4 s while failing, works again), integrity ok,"
}

# ---------------------------------------------------------------- 4: fuzzing
drill_fuzz() {
  if ! command -v clang++ >/dev/null || ! command -v pkg-config >/dev/null; then
    informe "4 (fuzz)" skip "clang++ or pkg-config missing (apt-get install clang libclang-rt-14-dev pkg-config)"
    return
  fi
  local dir=$TRABAJO/fuzz moc
  mkdir -p "$dir"
  moc="$(pkg-config --variable=libexecdir Qt6Core 2>/dev/null)/moc"
  [ -x "$moc" ] || moc=/usr/lib/qt6/libexec/moc
  local banderas=(-g -O1 -std=c++20 -fPIC -fsanitize=fuzzer,address,undefined -fno-sanitize-recover=all
                  -I"$FUENTES/src" -I"$dir" $(pkg-config --cflags Qt6Core Qt6Sql))
  local config=(src/config/dialogos.cpp src/config/rutas.cpp src/config/perfil.cpp src/config/modelo.cpp src/config/ajustes.cpp)
  local enlace=(src/link/crc16.cpp src/link/modbus.cpp src/link/puerto_serie.cpp src/link/puerto_serie_baudios.cpp)
  "$moc" -I"$FUENTES/src" "$FUENTES/src/link/modbus.h" -o "$dir/moc_modbus.cpp" 2> "$dir/compilar.log" || {
    informe "4 (fuzz)" fail "FAILED: moc of src/link/modbus.h ($(head -c 300 "$dir/compilar.log"))"; return; }
  # The sources of each target (only the fuzz target's own code is built for fuzzing;
  # the object files are shared).
  declare -A fuentes=(
    [modbus]="tests/fuzz/fuzz_modbus.cpp src/acquisition/lectura.cpp ${enlace[*]} ${config[*]}"
    [perfil]="tests/fuzz/fuzz_perfil.cpp ${config[*]}"
    [ajustes]="tests/fuzz/fuzz_ajustes.cpp ${config[*]}"
    [csv]="tests/fuzz/fuzz_csv.cpp src/views/consultas.cpp src/acquisition/base_datos.cpp ${config[*]}"
  )
  # Longest input of each: a reply with a wide value after it, a settings
  # file of a few dozen lines, a CSV line of a dozen fields.
  declare -A largo=([modbus]=64 [perfil]=1024 [ajustes]=1024 [csv]=512)
  # The whole configuration load (20 instruments of keys per input at worst)
  # gets FUZZ_RUNS_AJUSTES inputs, started from the settings corpus.
  declare -A corridas=([modbus]=$FUZZ_RUNS [perfil]=$FUZZ_RUNS [ajustes]=$FUZZ_RUNS_AJUSTES [csv]=$FUZZ_RUNS)
  declare -A semilla=([modbus]=modbus [perfil]=perfil [ajustes]=perfil [csv]=csv)
  local objetivos=(modbus perfil csv ajustes)
  if ! grep -q "agregarCampoCsv" "$FUENTES/src/views/consultas.h" 2>/dev/null; then
    objetivos=(modbus perfil ajustes)
  fi
  local f o resumen="" fallo="" objs t
  for f in $(echo "${fuentes[@]}" | tr ' ' '\n' | sort -u); do
    o=$dir/$(echo "$f" | tr / _).o
    [ -e "$o" ] && continue
    clang++ "${banderas[@]}" -c "$FUENTES/$f" -o "$o" >> "$dir/compilar.log" 2>&1 || {
      informe "4 (fuzz)" fail "FAILED: compiling $f: $(grep -m1 error "$dir/compilar.log")"; return; }
  done
  clang++ "${banderas[@]}" -c "$dir/moc_modbus.cpp" -o "$dir/moc_modbus.o" >> "$dir/compilar.log" 2>&1 || {
    informe "4 (fuzz)" fail "FAILED: compiling moc_modbus.cpp"; return; }
  for t in "${objetivos[@]}"; do
    objs=()
    for f in ${fuentes[$t]}; do objs+=("$dir/$(echo "$f" | tr / _).o"); done
    [ "$t" = modbus ] && objs+=("$dir/moc_modbus.o")
    clang++ "${banderas[@]}" "${objs[@]}" $(pkg-config --libs Qt6Core Qt6Sql sqlite3) -o "$dir/fuzz_$t" >> "$dir/compilar.log" 2>&1 || {
      informe "4 (fuzz)" fail "FAILED: linking fuzz_$t: $(grep -m1 -i error "$dir/compilar.log")"; return; }
  done
  for t in "${objetivos[@]}"; do
    mkdir -p "$dir/corpus_$t" "$dir/hallazgos_$t"
    cp "$FUENTES/tests/fuzz/corpus/${semilla[$t]}/"* "$dir/corpus_$t/" 2>/dev/null
    local inicio fin ejecuciones codigo
    inicio=$(ahora_ms)
    ( cd "$dir/hallazgos_$t" && "$dir/fuzz_$t" -runs="${corridas[$t]}" -max_len="${largo[$t]}" -rss_limit_mb=6144 -print_final_stats=1 \
        ${FUZZ_MAX_S:+-max_total_time=$FUZZ_MAX_S} \
        "$dir/corpus_$t" > "$dir/fuzz_$t.log" 2>&1 )
    codigo=$?
    fin=$(ahora_ms)
    ejecuciones=$(grep -o 'stat::number_of_executed_units: *[0-9]*' "$dir/fuzz_$t.log" | tr -dc 0-9)
    resumen+="$t ${ejecuciones:-?} execs in $(( (fin - inicio) / 1000 )) s; "
    if [ "$codigo" -ne 0 ] || grep -q -E "ERROR: (AddressSanitizer|LeakSanitizer|libFuzzer)|runtime error|deadly signal" "$dir/fuzz_$t.log"; then
      fallo+="fuzz_$t: $(grep -m1 -E "ERROR|runtime error|deadly" "$dir/fuzz_$t.log") (log kept in $dir/fuzz_$t.log, input in $dir/hallazgos_$t) "
      KEEP=1
    elif [ "${ejecuciones:-0}" -lt "${corridas[$t]}" ]; then
      fallo+="fuzz_$t: only ${ejecuciones:-0} executions within FUZZ_MAX_S=${FUZZ_MAX_S:-} s (fewer than ${corridas[$t]}) "
    fi
  done
  local nota=""
  [ "${#objetivos[@]}" -eq 3 ] && nota="(no CSV writer in src/views/consultas.h: CSV target left out) "
  [ -z "$fallo" ] || { informe "4 (fuzz)" fail "${resumen}FAILED: $fallo"; return; }
  informe "4 (fuzz)" ok "${resumen}${nota}no crash, no sanitizer report,"
}

# ---------------------------------------------------------------- 5: settings
drill_ajustes() {
  local dir=$TRABAJO/config linea=$TRABAJO/config/tty
  raiz "$dir" "$linea" 2
  local buena=$dir/bueno.ini
  mv "$dir/RIvariv/Ombrix.ini" "$buena"
  # The simulator serves the link for the files whose port section survives.
  "$BIN/ombrix-sim" --link "$linea" --baud 38400 --inst 1:c --inst 2:p --daemon > "$dir/sim.log" 2>&1 &
  local sim=$!
  PROCESOS+=("$sim")
  espera 5 test -e "$linea"
  local casos=$dir/casos
  mkdir -p "$casos"
  : > "$casos/vacio"
  printf '\r\n \r\n\t\r\n' > "$casos/blancos"
  head -c 65536 /dev/urandom > "$casos/binario"
  head -c 65536 /dev/zero > "$casos/ceros"
  { printf '\xff\xfe'; iconv -f UTF-8 -t UTF-16LE "$buena"; } > "$casos/utf16le"
  iconv -f UTF-8 -t UTF-16BE "$buena" > "$casos/utf16be_sin_bom"
  { printf '\xef\xbb\xbf\xef\xbb\xbf'; cat "$buena"; } > "$casos/dos_bom"
  tr '\n' '\r' < "$buena" | tr -d '\n' > "$casos/solo_cr"
  sed 's/\r//' "$buena" | tr '\n' '\0' > "$casos/nul_por_salto"
  { cat "$buena"; head -c 20000000 /dev/zero | tr '\0' 'x'; printf '\r\n'; } > "$casos/linea_20mb"
  { printf '[Puertos]\r\nCOM1=%s\r\nPuerto=' "$linea"; head -c 5000000 /dev/zero | tr '\0' 'A'; printf '\r\n'; sed -n '/\[General\]/,$p' "$buena"; } > "$casos/puerto_5mb"
  { printf '['; head -c 3000000 /dev/zero | tr '\0' 'S'; printf ']\r\n'; cat "$buena"; } > "$casos/seccion_3mb"
  for i in $(seq 200000); do printf 'k%s=%s\n' "$i" "$i"; done > "$casos/claves_200000"
  cat "$casos/claves_200000" "$buena" > "$casos/claves_200000_y_ajustes"
  sed -e 's/^cantidad de aparatos=.*/cantidad de aparatos=abc/' -e 's/^TiempoScan=.*/TiempoScan=-7/' \
      -e 's/^Barrido=.*/Barrido=1e99/' -e 's/^ID=.*/ID=99999999999999/' -e 's/^Habilitado=.*/Habilitado=sí/' "$buena" > "$casos/tipos_errados"
  sed -e 's/^cantidad de aparatos=.*/cantidad de aparatos=255/' -e 's/^ID=.*/ID=0x/' -e 's/^BaudRate=.*/BaudRate=0/' "$buena" > "$casos/fuera_de_rango"
  sed -e 's/^cantidad de aparatos=.*/cantidad de aparatos=-1/' -e 's/^Barrido=.*/Barrido=0/' -e 's/^ID=.*/ID=-3/' "$buena" > "$casos/negativos"
  sed '/\[Puertos\]/,/\[General\]/{/\[General\]/!d}' "$buena" > "$casos/sin_puertos"
  sed '/\[General\]/,/\[Instrumento1\]/{/\[Instrumento1\]/!d}' "$buena" > "$casos/sin_general"
  sed -n '/\[Puertos\]/,/\[Instrumento1\]/{/\[Instrumento1\]/!p}' "$buena" > "$casos/sin_instrumentos"
  sed 's/^\[\(.*\)\]/[\1/' "$buena" > "$casos/corchetes_sin_cerrar"
  sed 's/=/ /' "$buena" > "$casos/sin_igual"
  { cat "$buena"; cat "$buena"; } > "$casos/todo_dos_veces"
  printf 'cantidad de aparatos=3\r\nCOM1=%s\r\n' "$linea" > "$casos/sin_secciones"
  printf '[General]\r\ncantidad de aparatos=21\r\n' > "$casos/veinte_sin_datos"
  head -c 2000 "$buena" | head -c 150 > "$casos/cortado"
  mkdir "$casos/carpeta"
  mkfifo "$casos/fifo"
  ln -s /nonexistent "$casos/enlace_roto"
  printf '[Puertos]\r\nCOM1=/dev/zero\r\n' > "$casos/puerto_dev_zero"
  cat "$buena" | sed "s#^COM1=.*#COM1=/dev/zero#" > "$casos/dispositivo_raro"

  local caso nombre codigo resultados="" fallo="" arrancados=0 rechazados=0 avisos=0 gui_ok=0 t0 dt peor=0
  for caso in "$casos"/*; do
    nombre=$(basename "$caso")
    rm -rf "$dir/RIvariv/Ombrix.ini"
    if [ -d "$caso" ]; then mkdir "$dir/RIvariv/Ombrix.ini"
    elif [ -p "$caso" ]; then mkfifo "$dir/RIvariv/Ombrix.ini"
    else cp -P "$caso" "$dir/RIvariv/Ombrix.ini"; fi
    cp "$BIN/Modelo.mod" "$dir/RIvariv/Registro.mdb"
    t0=$(ahora_ms)
    OMBRIX_HOME=$dir timeout -k 5 30 "$BIN/ombrix-logger" --db "$dir/RIvariv/Registro.mdb" --duration 3 \
      > "$dir/$nombre.out" 2> "$dir/$nombre.err" < /dev/null
    codigo=$?
    dt=$(( $(ahora_ms) - t0 )); [ "$dt" -gt "$peor" ] && peor=$dt
    if [ "$codigo" -eq 124 ] || [ "$codigo" -eq 137 ]; then
      fallo+="$nombre: ombrix-logger hung (killed after 30 s); "
    elif [ "$codigo" -gt 128 ]; then
      fallo+="$nombre: ombrix-logger died of signal $((codigo - 128)) ($(tail -n 1 "$dir/$nombre.err")); "
    elif [ "$codigo" -eq 0 ]; then
      arrancados=$((arrancados + 1))
      [ -s "$dir/$nombre.err" ] && avisos=$((avisos + 1))
      grep -q "detenido:" "$dir/$nombre.out" || fallo+="$nombre: ran but never printed its last line; "
    else
      rechazados=$((rechazados + 1))
      [ -s "$dir/$nombre.err" ] || fallo+="$nombre: refused (status $codigo) without a message; "
    fi
    resultados+="$nombre=$codigo "
    echo "   $nombre: logger status $codigo; $(head -n 2 "$dir/$nombre.err" | cut -c1-160 | tr '\n' ' ')" >> "$dir/resumen.txt"

    if [ -x "$BIN/ombrix" ]; then
      # The program shows its splash, then the modal database choice: it must still be up after 3 s.
      [ -p "$caso" ] && { rm -f "$dir/RIvariv/Ombrix.ini"; mkfifo "$dir/RIvariv/Ombrix.ini"; }
      OMBRIX_HOME=$dir QT_QPA_PLATFORM=offscreen timeout -k 5 3 "$BIN/ombrix" > "$dir/$nombre.gui" 2>&1 < /dev/null
      codigo=$?
      if [ "$codigo" -eq 124 ]; then gui_ok=$((gui_ok + 1))
      elif [ "$codigo" -gt 128 ]; then fallo+="$nombre: the program died of signal $((codigo - 128)); "
      else fallo+="$nombre: the program ended by itself within 3 s (status $codigo: $(tail -n 1 "$dir/$nombre.gui")); "
      fi
      echo "   $nombre: program status $codigo" >> "$dir/resumen.txt"
    fi
  done
  kill -TERM "$sim" 2>/dev/null; wait "$sim" 2>/dev/null
  local cuantos
  cuantos=$(ls "$casos" | wc -l)
  [ -z "$fallo" ] || { cat "$dir/resumen.txt"; informe "5 (settings)" fail "FAILED: $fallo"; return; }
  local gui="program not built, not tried"
  [ -x "$BIN/ombrix" ] && gui="program up after 3 s on $gui_ok/$cuantos"
  informe "5 (settings)" ok "$cuantos mangled files: logger ran on $arrancados ($avisos with a warning), refused $rechazados with a message, longest $peor ms, no signal, no hang; $gui,"
  [ "${VERBOSE:-0}" = 1 ] && cat "$dir/resumen.txt"
}

inicio=$(ahora_ms)
for d in $DRILLS; do
  case "$d" in
    1) drill_kill ;;
    2) drill_desenchufe ;;
    3) drill_lleno ;;
    4) drill_fuzz ;;
    5) drill_ajustes ;;
    *) echo "no drill $d"; fallidos=$((fallidos + 1)) ;;
  esac
done
echo "drills: $ok ok, $fallidos failed, $saltados skipped in $(( ($(ahora_ms) - inicio) / 1000 )) s"
[ "$fallidos" -eq 0 ]
