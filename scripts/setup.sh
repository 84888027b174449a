#!/usr/bin/env bash
# Installs the Debian packages the build needs (only those missing), then
# configures and builds everything into build/.
set -euo pipefail
cd "$(dirname "$0")/.."

PAQUETES=(
  g++ cmake ninja-build make pkg-config sqlite3
  qt6-base-dev qt6-base-dev-tools libqt6sql6-sqlite libgl-dev
  libqcustomplot-dev libqcustomplot2.1-qt6 libsqlite3-dev
  fonts-dseg fonts-dejavu-core
  poppler-utils
  dpkg-dev desktop-file-utils file lintian systemd libsystemd-dev
  qt6-translations-l10n
  mosquitto mosquitto-clients libmosquitto-dev
  socat openssl
  qt6-websockets-dev chromium
  libpq-dev postgresql-15
)
faltan=()
for p in "${PAQUETES[@]}"; do
  if ! dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed'; then
    faltan+=("$p")
  fi
done
if [ ${#faltan[@]} -gt 0 ]; then
  echo "Installing: ${faltan[*]}"
  SUDO=""
  [ "$(id -u)" -ne 0 ] && SUDO="sudo"
  export DEBIAN_FRONTEND=noninteractive
  if ! $SUDO apt-get install -y --no-install-recommends "${faltan[@]}"; then
    $SUDO apt-get update
    $SUDO apt-get install -y --no-install-recommends "${faltan[@]}"
  fi
fi

JOBS=${JOBS:-$(nproc)}
cmake -S . -B build -G Ninja -DCMAKE_BUILD_TYPE=${BUILD_TYPE:-RelWithDebInfo} >/dev/null
cmake --build build -j "$JOBS"
