#!/usr/bin/env bash
# Installs what building and testing need (Debian packages), only when something is missing.
set -euo pipefail

packages=(
    build-essential cmake ninja-build pkg-config
    qt6-base-dev qt6-base-dev-tools qt6-serialport-dev libqt6test6 qt6-qpa-plugins libfontconfig-dev
    libqt6sql6-sqlite libqt6sql6-psql postgresql libpq-dev
    libgtest-dev libgmock-dev
    libunicorn-dev binutils-arm-none-eabi
    fonts-wqy-microhei
    xvfb
)
missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    echo "setup: installing ${missing[*]}"
    sudo_cmd=()
    [ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
    "${sudo_cmd[@]}" apt-get update -q
    DEBIAN_FRONTEND=noninteractive "${sudo_cmd[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
fi
