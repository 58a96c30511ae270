#!/usr/bin/env bash
# Takes the README's pictures of screenup.exe (docs/screenshots/windows-*.png)
# under Wine: a virtual X display (Xvfb) without a window manager, the windows
# placed and framed by Wine itself (a prefix of its own with Managed=N), the decoder simulator paced like a real
# cable behind COM5, and screenup-driver walking through the program with
# VELK_SHOTS set: at each "shot NAME X Y W H" it prints, scrot takes that area.
#
# Usage: tools/screenshots-windows.sh [WINDOWS_BUILD [LINUX_BUILD]]
#        (default: build-win64 build)
set -euo pipefail
cd "$(dirname "$0")/.."
WIN=${1:-build-win64}
HOST=${2:-build}
OUT=$PWD/docs/screenshots
VELKSIM=$PWD/$HOST/tools/velksim/velksim
for file in "$WIN/screenup.exe" "$WIN/screenup-driver.exe" "$VELKSIM"; do
    [ -e "$file" ] || { echo "screenshots-windows: $file was not built (./run windows builds them)" >&2; exit 2; }
done
export WINEPREFIX=$PWD/$WIN/wineprefix-shots WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velk-winshots.XXXXXX")
. tools/simulator.sh
. tools/display.sh
XVFB_PID=""
stop_all() {
    wineserver -k 2>/dev/null || true
    stop_simulator
    [ -n "$XVFB_PID" ] && kill "$XVFB_PID" 2>/dev/null && wait "$XVFB_PID" 2>/dev/null || true
    rm -f "$WINEPREFIX/dosdevices/com5"
    rm -rf "$WORK"
}
trap stop_all EXIT

start_display "$WORK/xvfb.out" -screen 0 1280x800x24 || exit 1
export DISPLAY=:$DISPLAY_NUMBER
wineserver -k 2>/dev/null || true
if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine wineboot -u </dev/null >/dev/null 2>&1
    # Windows that Wine places and frames itself, as the system would.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /d N /f >/dev/null 2>&1
    wineserver -w
fi

start_simulator "$VELKSIM" "$WORK/velksim.out" --state "$WORK/state" --link "$WORK/line" --baud 115200
ln -sfn "$WORK/line" "$WINEPREFIX/dosdevices/com5"
mkdir "$WORK/program"
cp "$WIN/screenup.exe" "$WIN/velklink.dll" "$WORK/program/"
# The sample screen set under a short, stable name, as a user's folder would be.
mkdir -p "$WINEPREFIX/drive_c/screens"
cp samples/* "$WINEPREFIX/drive_c/screens/"
cp samples/setup.lut "$WINEPREFIX/drive_c/screens/palette.lut"
win() { echo "Z:${1//\//\\}"; }

mkdir -p "$OUT"
VELK_SHOTS=1 wine "$(win "$PWD/$WIN/screenup-driver.exe")" \
    "$(win "$WORK/program/screenup.exe")" 'C:\screens' 'C:\screens\palette.lut' 0 </dev/null 2>/dev/null |
    while read -r word name x y width height; do
        height=${height%$'\r'}
        [ "$word" = shot ] || continue
        scrot -o -a "$x,$y,$width,$height" "$OUT/windows-$name.png"
        echo "wrote $OUT/windows-$name.png (${width}x$height)"
    done
