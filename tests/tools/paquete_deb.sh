#!/usr/bin/env bash
# Builds the Debian package from the build tree into a temporary folder and
# checks what it holds: the programs, the template, the desktop entry (valid),
# the icon, the recorder's unit and the maintainer scripts.
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
         ./usr/lib/systemd/system/ombrix-logger@.service; do
  grep -qxF "$f" <<<"$lista" || falla "$f missing from the package"
done
# Whatever other program the tree builds goes in too.
for p in ombrix-export ombrix-report; do
  if [ -x "$build/bin/$p" ]; then
    grep -qxF "./usr/bin/$p" <<<"$lista" || falla "$p is built but not packaged"
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

unidad="$tmp/raiz/usr/lib/systemd/system/ombrix-logger@.service"
grep -qx 'ExecStart=/usr/bin/ombrix-logger' "$unidad" || falla "ExecStart does not name /usr/bin/ombrix-logger"
grep -qx 'Environment=OMBRIX_HOME=/var/lib/ombrix/%i' "$unidad" || falla "no OMBRIX_HOME for the instance"
grep -qx 'Restart=on-failure' "$unidad" || falla "no Restart=on-failure"
grep -qx 'KillSignal=SIGTERM' "$unidad" || falla "no KillSignal=SIGTERM"
# The user the unit runs as is the one postinst creates.
usuario=$(sed -n 's/^User=//p' "$unidad")
grep -q "adduser --system --group" "$tmp/control/postinst" || falla "postinst creates no system user"
grep -qE "^ +--gecos .* $usuario >" "$tmp/control/postinst" || falla "postinst does not create $usuario"
grep -q "adduser $usuario dialout" "$tmp/control/postinst" || falla "postinst does not put $usuario in dialout"

# The packaged programs answer --version.
for p in ombrix ombrix-logger ombrix-sim; do
  salida=$("$tmp/raiz/usr/bin/$p" --version) || falla "$p --version failed"
  [ "$salida" = "$p $version" ] || falla "$p --version printed \"$salida\""
done
echo "OK $deb"
