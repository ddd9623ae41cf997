#!/usr/bin/env bash
# Installs every Debian package the project needs to build, run and test.
# Safe to run again: apt-get skips what is already there.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config git
    qt6-base-dev qt6-base-dev-tools qt6-qpa-plugins libqt6opengl6-dev libgl-dev
    qt6-charts-dev qt6-l10n-tools qt6-tools-dev qt6-tools-dev-tools qt6-translations-l10n
    appstream desktop-file-utils lintian dpkg-dev fakeroot file
    ccache
    libsqlite3-dev sqlite3
    libcurl4-openssl-dev
    clang-14 libclang-rt-14-dev clang-format-14
    libbenchmark-dev
    xvfb xauth x11-utils imagemagick xdotool
    dbus dbus-x11 python3 python3-dbusmock python3-gi
    modemmanager
    iproute2 iputils-ping
)

SUDO=""
if [ "$(id -u)" -ne 0 ]; then SUDO="sudo"; fi

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -eq 0 ]; then
    echo "install-deps: all packages present"
    exit 0
fi
echo "install-deps: installing ${missing[*]}"
export DEBIAN_FRONTEND=noninteractive
$SUDO apt-get update -qq
$SUDO apt-get install -y -qq --no-install-recommends "${missing[@]}"
