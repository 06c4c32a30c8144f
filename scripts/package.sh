#!/usr/bin/env bash
# Builds the Debian package of the three programs (build/telvanor_VERSION_ARCH.deb) and, with
# --check, installs it on this machine, burns one virtual board with the installed telvanor-cli
# against the installed telvanor-board (no --dir: the installed program keeps its files in the
# user's data folder), checks where the files went, and removes the package again.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target telvanor telvanor-cli telvanor-board
(cd build && cpack -G DEB >/dev/null)
deb=$(ls build/telvanor_*.deb | head -n 1)
echo "package: $deb"
dpkg-deb -f "$deb" Package Version Depends Recommends
[ "${1:-}" = "--check" ] || exit 0

sudo_cmd=()
[ "$(id -u)" -ne 0 ] && sudo_cmd=(sudo)
work=$(mktemp -d)
board_pid=
cleanup() {
    [ -n "$board_pid" ] && { kill "$board_pid" 2>/dev/null || true; wait "$board_pid" 2>/dev/null || true; }
    "${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q telvanor >/dev/null 2>&1 || true
    cd /
    rm -rf "$work"
}
trap cleanup EXIT
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q "$PWD/$deb" >/dev/null
for f in /usr/bin/telvanor /usr/bin/telvanor-cli /usr/bin/telvanor-board /usr/share/applications/telvanor.desktop \
    /usr/share/icons/hicolor/scalable/apps/telvanor.svg /usr/share/doc/telvanor/README.md; do
    [ -e "$f" ] || { echo "package: $f is not installed" >&2; exit 1; }
done

# A fresh user's folders: nothing configured yet, the data folder still to be made.
export HOME="$work/home" XDG_DATA_HOME="$work/home/.local/share"
mkdir -p "$HOME"
data="$XDG_DATA_HOME/telvanor"
cd "$work"
mkdir -p "$work/board"
telvanor-board --flash nand \
    --bootargs "console=ttyAMA0,115200 mtdparts=nand0:1M(boot),4M(kernel),1M(deviceinfo),-(rootfs)" \
    --out "$work/board" >"$work/board.out" 2>&1 &
board_pid=$!
for _ in $(seq 100); do
    [ -s "$work/board.out" ] && break
    sleep 0.05
done
port=$(head -n 1 "$work/board.out")
telvanor-cli burn --port "$port" --mac 00:1a:2b:3c:4d:5e --id-string SN0001 --records | tee "$work/cli.out"
head -n 1 "$work/cli.out" | grep -qF "$data" || { echo "package: the data folder was not named" >&2; exit 1; }
grep -q "00:1a:2b:3c:4d:5e   SN0001" "$data/BurntMacandIDList.txt"
[ -s "$data/Log.txt" ]
for f in Log.txt BurntMacandIDList.txt; do
    [ ! -e "/usr/bin/$f" ] || { echo "package: /usr/bin/$f was written" >&2; exit 1; }
done
# The installed window starts too (offscreen: a picture of it, then it ends).
QT_QPA_PLATFORM=offscreen telvanor --port "$port" --screenshot "$work/window.png" 2>&1 |
    grep -v "does not support propagateSizeHints" || true
[ -s "$work/window.png" ]

kill "$board_pid"; wait "$board_pid" 2>/dev/null || true
board_pid=
"${sudo_cmd[@]}" env DEBIAN_FRONTEND=noninteractive apt-get remove -y -q telvanor >/dev/null
! command -v telvanor-cli >/dev/null || { echo "package: telvanor-cli is still installed" >&2; exit 1; }
echo "package: installed, burnt one board (files in $data), removed"
