#!/usr/bin/env bash
# Builds the Debian package from the build tree into a temporary folder and
# checks what it holds: the programs, the template, the desktop entry (valid),
# the icon, the manual pages, copyright and changelog, the recorder's unit
# (its key lines, and systemd's own exposure rating) and the maintainer
# scripts; then lintian, which must report no error.
#   paquete_deb.sh BUILD_DIR VERSION
set -euo pipefail
build=$1
version=$2
tmp=$(mktemp -d)
trap 'rm -rf "$tmp"' EXIT
falla() { echo "FAIL: $*" >&2; exit 1; }

(cd "$build" && cpack -G DEB -B "$tmp" >"$tmp/cpack.log" 2>&1) || { cat "$tmp/cpack.log" >&2; falla "cpack -G DEB failed"; }
deb="$tmp/ombrix_${version}_amd64.deb"
[ -f "$deb" ] || { ls "$tmp" >&2; falla "no $deb"; }

lista=$(dpkg-deb -c "$deb" | awk '{print $NF}')
for f in ./usr/bin/ombrix ./usr/bin/ombrix-logger ./usr/bin/ombrix-sim \
         ./usr/share/ombrix/Modelo.mod \
         ./usr/share/applications/ombrix.desktop \
         ./usr/share/icons/hicolor/scalable/apps/ombrix.svg \
         ./lib/systemd/system/ombrix-logger@.service \
         ./usr/share/doc/ombrix/copyright ./usr/share/doc/ombrix/changelog.gz \
         ./usr/share/man/man1/ombrix.1.gz ./usr/share/man/man1/ombrix-logger.1.gz \
         ./usr/share/man/man1/ombrix-sim.1.gz; do
  grep -qxF "$f" <<<"$lista" || falla "$f missing from the package"
done
# Whatever other program the tree builds goes in too.
for p in ombrix-export ombrix-report ombrix-central; do
  if [ -x "$build/bin/$p" ]; then
    grep -qxF "./usr/bin/$p" <<<"$lista" || falla "$p is built but not packaged"
    grep -qxF "./usr/share/man/man1/$p.1.gz" <<<"$lista" || falla "$p has no manual page in the package"
  fi
done

depende=$(dpkg-deb -f "$deb" Depends)
grep -q 'fonts-dseg' <<<"$depende" || falla "no fonts-dseg in Depends: $depende"
# Computed from the binaries by dpkg-shlibdeps.
grep -q 'libqt6core6' <<<"$depende" || falla "no library dependencies computed: $depende"
[ -n "$(dpkg-deb -f "$deb" Maintainer)" ] || falla "no Maintainer"
[ "$(dpkg-deb -f "$deb" Version)" = "$version" ] || falla "Version is not $version"

dpkg-deb -x "$deb" "$tmp/raiz"
dpkg-deb -e "$deb" "$tmp/control"
[ -x "$tmp/control/postinst" ] || falla "no executable postinst"
sh -n "$tmp/control/postinst" || falla "postinst does not parse"

desktop-file-validate "$tmp/raiz/usr/share/applications/ombrix.desktop" || falla "desktop entry not valid"

# The changelog's latest entry is this version.
[ "$(zcat "$tmp/raiz/usr/share/doc/ombrix/changelog.gz" | head -1 | sed -n 's/^ombrix (\([^)]*\)).*/\1/p')" = "$version" ] \
  || falla "the changelog's latest entry is not $version"

unidad="$tmp/raiz/lib/systemd/system/ombrix-logger@.service"
clave() { grep -qx "$1" "$unidad" || falla "the unit has no line $1"; }
clave 'ExecStart=/usr/bin/ombrix-logger'
clave 'Environment=OMBRIX_HOME=/var/lib/ombrix/%i'
clave 'Type=notify'
clave 'Restart=on-failure'
# Wrong options (2) and settings that cannot run (3) are not retried.
grep -qxE 'RestartPreventExitStatus=.*\b3\b.*' "$unidad" || falla "exit code 3 restarts the unit"
grep -qE '^WatchdogSec=[1-9]' "$unidad" || falla "no watchdog"
clave 'UMask=0027'
clave 'Documentation=man:ombrix-logger(1)'
# The serial ports and pseudo-terminals, and no other device.
clave 'DevicePolicy=closed'
for d in char-ttyS char-ttyUSB char-ttyACM char-pts; do clave "DeviceAllow=$d rw"; done
clave 'RestrictAddressFamilies=AF_UNIX'
clave 'ProtectSystem=strict'
clave 'SystemCallFilter=@system-service'
clave 'CapabilityBoundingSet='
# Lines that restate systemd's defaults say nothing.
for l in 'KillSignal=SIGTERM' 'Type=simple' 'StandardOutput=journal' 'StandardError=journal'; do
  grep -qx "$l" "$unidad" && falla "the unit restates the default $l"
done
cp "$unidad" "$tmp/ombrix-logger@.service"
nota=$(systemd-analyze security --offline=true "$tmp/ombrix-logger@.service" 2>&1 | sed -n 's/.*Overall exposure level for [^:]*: \([0-9.]*\) .*/\1/p')
[ -n "$nota" ] || falla "systemd-analyze security gave no rating"
awk -v n="$nota" 'BEGIN { exit !(n <= 4.0) }' || falla "systemd-analyze security rates the unit $nota (more than 4.0)"
# The user the unit runs as is the one postinst creates.
usuario=$(sed -n 's/^User=//p' "$unidad")
grep -q "adduser --system --group" "$tmp/control/postinst" || falla "postinst creates no system user"
grep -qE "^ +--gecos .* $usuario >" "$tmp/control/postinst" || falla "postinst does not create $usuario"
grep -q "adduser $usuario dialout" "$tmp/control/postinst" || falla "postinst does not put $usuario in dialout"

# Maintainer scripts: systemd through its Debian helpers, and the recorded
# databases are never deleted.
for s in postinst prerm postrm; do
  [ -x "$tmp/control/$s" ] || falla "no executable $s"
  sh -n "$tmp/control/$s" || falla "$s does not parse"
done
grep -q 'deb-systemd-invoke restart' "$tmp/control/postinst" || falla "postinst does not restart running instances"
grep -q 'deb-systemd-invoke stop' "$tmp/control/prerm" || falla "prerm does not stop the instances"
grep -qE 'rm .*/var/lib/ombrix' "$tmp/control/postrm" && falla "postrm deletes the recorded data"
grep -q '/var/lib/ombrix' "$tmp/control/postrm" || falla "postrm does not say where the data stays"

# lintian: no error, and no warning either (a program without its manual
# page, a maintainer script calling systemctl, ... are for us to mend).
lintian --no-tag-display-limit "$deb" >"$tmp/lintian.log" 2>&1
cat "$tmp/lintian.log"
if grep -qE '^(E|W): ' "$tmp/lintian.log"; then
  falla "lintian reports errors or warnings"
fi

# The packaged programs answer --version.
for p in ombrix ombrix-logger ombrix-sim; do
  salida=$("$tmp/raiz/usr/bin/$p" --version) || falla "$p --version failed"
  [ "$salida" = "$p $version" ] || falla "$p --version printed \"$salida\""
done
echo "OK $deb"
