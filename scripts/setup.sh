#!/usr/bin/env bash
# Installs what building and testing need (Debian packages, plus any named as arguments), only when
# something is missing: as root directly, as a user through sudo; with neither it says what to
# install and stops.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6test6 qt6-qpa-plugins libfontconfig-dev
    libqt6sql6-sqlite libqt6sql6-psql postgresql libpq-dev
    libgtest-dev libgmock-dev
    libunicorn-dev binutils-arm-none-eabi
    fonts-wqy-microhei
    xvfb
    dpkg-dev file
    "$@"
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo_cmd=()
if [ "$(id -u)" -ne 0 ]; then
    if ! command -v sudo >/dev/null; then
        echo "setup: these Debian packages are missing: ${missing[*]}" >&2
        echo "setup: there is no sudo here; as root, run:" >&2
        echo "    apt-get install --no-install-recommends ${missing[*]}" >&2
        exit 1
    fi
    sudo_cmd=(sudo)
fi
echo "setup: installing ${missing[*]}"
"${sudo_cmd[@]}" apt-get update -q
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
