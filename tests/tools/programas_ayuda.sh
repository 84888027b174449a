#!/usr/bin/env bash
# Every program answers --version and --help with exit 0, in Spanish, with
# its exit codes; a wrong option ends with 2; each manual page names every
# option and exit code the help gives.
#   programas_ayuda.sh BIN_DIR SOURCE_DIR VERSION
set -uo pipefail
bin=$1
fuente=$2
version=$3
fallos=0
falla() { echo "FAIL: $*" >&2; fallos=$((fallos + 1)); }
export QT_QPA_PLATFORM=offscreen
errores=$(mktemp)
trap 'rm -f "$errores"' EXIT

for p in ombrix ombrix-logger ombrix-sim ombrix-export ombrix-report ombrix-verify ombrix-central; do
  [ -x "$bin/$p" ] || { falla "$p is not built"; continue; }
  salida=$("$bin/$p" --version 2>/dev/null); codigo=$?
  [ $codigo -eq 0 ] || falla "$p --version exits $codigo"
  [ "$salida" = "$p $version" ] || falla "$p --version printed \"$salida\""

  ayuda=$("$bin/$p" --help 2>/dev/null); codigo=$?
  [ $codigo -eq 0 ] || falla "$p --help exits $codigo"
  grep -qi '^uso: ' <<<"$ayuda" || falla "$p --help has no \"Uso:\" line on stdout"
  grep -q '^Opciones:' <<<"$ayuda" || falla "$p --help has no \"Opciones:\""
  grep -q '^Códigos de salida:' <<<"$ayuda" || falla "$p --help gives no exit codes"
  grep -q 'Muestra esta ayuda' <<<"$ayuda" || falla "$p --help does not say what --help does"
  # Words of the English help texts these programs used to print.
  if grep -Ei '\b(usage|options|displays|the|and|of|bad|default)\b' <<<"$ayuda" >/dev/null; then
    falla "$p --help is not all in Spanish: $(grep -Ei '\b(usage|options|displays|the|and|of|bad|default)\b' <<<"$ayuda" | head -2)"
  fi

  # The manual page: every long option and every exit code of the help.
  manual="$fuente/packaging/man/$p.1"
  if [ ! -f "$manual" ]; then
    falla "no manual page $manual"
  else
    texto=$(sed 's/\\-/-/g; s/\\f[BIRP]//g' "$manual")
    for op in $(grep -oE -- '--[a-z][a-z-]*' <<<"$ayuda" | sort -u); do
      grep -qF -- "$op" <<<"$texto" || falla "$p: $op is in --help but not in the manual page"
    done
    for c in $(sed -n '/^Códigos de salida:/,$p' <<<"$ayuda" | grep -oE '^  [0-9]+ ' | tr -d ' '); do
      grep -qx -- ".B $c" "$manual" || falla "$p: exit code $c is in --help but not in the manual page"
    done
  fi

  # A wrong option (the window program takes Qt's own and ignores others).
  if [ "$p" != ombrix ]; then
    "$bin/$p" --no-existe >/dev/null 2>"$errores" </dev/null; codigo=$?
    [ $codigo -eq 2 ] || falla "$p --no-existe exits $codigo, not 2"
    if grep -Eiq '\b(unknown|usage|bad|option)\b' "$errores"; then
      falla "$p answers a wrong option in English: $(head -1 "$errores")"
    fi
  fi
done

[ $fallos -eq 0 ] || exit 1
echo "OK"
