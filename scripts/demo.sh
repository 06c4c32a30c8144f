#!/usr/bin/env bash
# The main job with no board attached: installs what is missing, builds, starts the virtual board on
# a pseudo-terminal and burns it through the real serial path. With a display the window opens
# against the board (press OK, the board is already powered); without one the command-line tool
# burns one board and the result is shown.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
# Only the three programs: the tests are scripts/test.sh's business.
cmake --preset default >/dev/null
cmake --build --preset default -j "$(nproc)" --target telvanor telvanor-cli telvanor-board

demo=build/demo
rm -rf "$demo"
mkdir -p "$demo/board"
cat > "$demo/BurnConfig.ini" <<'INI'
[BurnConfig]
BoardType=0
AppLanguage=2
ExtraInfo=0x800
CfgName=hwver:A1|sn
INI

board_out=$(mktemp)
build/tools/board/telvanor-board --flash nand \
    --bootargs "console=ttyAMA0,115200 mtdparts=nand0:1M(boot),4M(kernel),1M(deviceinfo),-(rootfs)" \
    --out "$demo/board" >"$board_out" &
board_pid=$!
trap 'kill $board_pid 2>/dev/null || true; wait $board_pid 2>/dev/null || true; rm -f "$board_out"' EXIT
for _ in $(seq 100); do
    [ -s "$board_out" ] && break
    sleep 0.05
done
port=$(head -n 1 "$board_out")
echo "virtual board on $port"

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ] && [ -x build/ui/telvanor ] && [ "${TELVANOR_DEMO_CLI:-0}" != "1" ]; then
    build/ui/telvanor --dir "$demo" --port "$port"
else
    build/tools/cli/telvanor-cli burn --port "$port" --dir "$demo" \
        --mac 00:1a:2b:3c:4d:5e --id-string SN0001 --extra-string 1=CAL-42 --key-string sn=BX7 --records
fi

kill $board_pid; wait $board_pid 2>/dev/null || true
echo
echo "== deviceinfo partition on the virtual board (first 128 bytes at 0x500000):"
od -A x -t x1z -j $((0x500000)) -N 128 "$demo/board/flash.bin"
echo "== offset item 1 (ExtraInfo=0x800) on the virtual board (first 32 bytes at 0x500800):"
od -A x -t x1z -j $((0x500800)) -N 32 "$demo/board/flash.bin"
echo "== record file $demo/BurntMacandIDList.txt:"
cat "$demo/BurntMacandIDList.txt" 2>/dev/null || true
echo
