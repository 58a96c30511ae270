#!/usr/bin/env bash
# Checks the window program as a user drives it, under a real X server with a
# window manager: an upload goes on and lands whole while one of the program's
# message boxes is held open longer than the library waits for the decoder.
#
# It starts Xvfb, openbox and the decoder simulator paced like a real cable
# (115200 baud) on a fresh demo decoder, has velkctl upload the three stills
# (so the decoder holds "pictures" from an earlier upload), then starts
# screenup on the simulator's line and, with xdotool, fills the six rows with
# the sample screen set, clicks "Upload", checks that the progress window is
# wholly on the screen, a second later clicks "Load theme" and leaves its box
# open for HOLD_SECONDS (default 8), closes it and waits for the upload to
# end. Then it
# reads every item of record "pictures" back with velkctl and compares it with
# what was sent. Exit code 0 when every item is there byte for byte and no error
# box came; 1 otherwise; 2 when the check could not be run.
#
# Usage: tools/gui-check.sh [BUILD_FOLDER] [HOLD_SECONDS]   (default: build 8)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
HOLD=${2:-8}

cmake --build "$BUILD" --target screenup velksim velkctl -j "${JOBS:-$(nproc)}" >/dev/null
SCREENUP=$PWD/$BUILD/screenup/screenup
VELKSIM=$PWD/$BUILD/tools/velksim/velksim
VELKCTL=$PWD/$BUILD/tools/velkctl/velkctl
for program in "$SCREENUP" "$VELKSIM" "$VELKCTL"; do
    if [ ! -x "$program" ]; then
        echo "gui-check: $program was not built" >&2
        exit 2
    fi
done
for tool in Xvfb openbox xdotool; do
    if ! command -v "$tool" >/dev/null; then
        echo "gui-check: $tool is missing (./run gui-check installs it)" >&2
        exit 2
    fi
done

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velk-gui-check.XXXXXX")
. tools/simulator.sh
. tools/display.sh
XVFB_PID=""
WM_PID=""
APP_PID=""
stop_pid() {
    if [ -n "$1" ] && kill -0 "$1" 2>/dev/null; then
        kill -TERM "$1"
        wait "$1" 2>/dev/null || true
    fi
}
stop_all() {
    stop_pid "$APP_PID"
    stop_simulator
    stop_pid "$WM_PID"
    stop_pid "$XVFB_PID"
}
trap 'stop_all; rm -rf "$WORK"' EXIT

fail() {
    echo "gui-check: $*" >&2
    echo "--- screenup said:" >&2
    cat "$WORK/screenup.out" >&2 || true
    exit 1
}

start_display "$WORK/xvfb.out" -screen 0 1280x800x24 || exit 1
export DISPLAY=":$DISPLAY_NUMBER"
openbox --sm-disable >"$WORK/openbox.out" 2>&1 &
WM_PID=$!
# The window manager is up once it answers for the desktops.
for _ in $(seq 100); do
    xdotool get_desktop >/dev/null 2>&1 && break
    sleep 0.1
done
xdotool get_desktop >/dev/null 2>&1 || { echo "gui-check: the window manager did not start" >&2; exit 2; }

start_simulator "$VELKSIM" "$WORK/velksim.out" --state "$WORK/state" --link "$WORK/line" --baud 115200 ||
    exit 2
cp -r samples "$WORK/screens"
# The decoder holds "pictures" from an earlier upload of the three stills, so
# that saving "ini" first reads the record back: 35 KB that the decoder sends
# in link packets, each waiting for the PC's answer, while the box is open.
"$VELKCTL" --port "$WORK/line" --quiet --no-progress upload-screens --boot samples/boot.m2v \
    --radio samples/radio.m2v --setup samples/setup.m2v >"$WORK/velkctl.out" 2>&1 ||
    { cat "$WORK/velkctl.out" >&2; echo "gui-check: the earlier upload failed" >&2; exit 2; }

# A sanitizer build would report the X libraries' allocations kept until exit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$WORK" "$SCREENUP" --port "$WORK/line" >"$WORK/screenup.out" 2>&1 &
APP_PID=$!

# Every window of the program whose title is exactly this; none: empty.
windows_named() { xdotool search --onlyvisible --name "^$1\$" 2>/dev/null || true; }
wait_window() { # title, seconds
    for _ in $(seq $(($2 * 10))); do
        local found
        found=$(windows_named "$1" | head -n 1)
        [ -n "$found" ] && { echo "$found"; return 0; }
        sleep 0.1
    done
    return 1
}

MAIN=$(wait_window "Pictor2 Screen Uploader" 20) || fail "the main window did not appear"
xdotool windowactivate --sync "$MAIN" 2>/dev/null
sleep 0.5
key() { xdotool key --clearmodifiers --delay 60 "$@"; }

# The keyboard starts on "Load theme"; Tab goes on through "Upload", the port
# list and then each row: its box (checked with Space), its path box, "..",
# and "Ed" where the row has one; after the last row comes the debug list.
key Tab Tab Tab
files=(boot.m2v radio.m2v setup.m2v setup.lut bandeau.pan basic.lut)
for row in 0 1 2 3 4 5; do
    key space Tab
    xdotool type --delay 20 "$WORK/screens/${files[$row]}"
    key Tab Tab
    if [ "$row" -ge 3 ]; then
        key Tab
    fi
done
# The keyboard is on the debug list now: on through "save", round to "Upload".
key Tab Tab Tab
sleep 0.3
key space
echo "gui-check: upload started"

sleep 1
PROGRESS=$(windows_named "Progress" | head -n 1)
[ -n "$PROGRESS" ] || fail "no progress window a second after \"Upload\""
# It opens wholly on the screen (1280 x 800).
eval "$(xdotool getwindowgeometry --shell "$PROGRESS")"
echo "gui-check: the progress window is at ${X},${Y} (${WIDTH}x${HEIGHT})"
if [ "$X" -lt 0 ] || [ "$Y" -lt 0 ] || [ $((X + WIDTH)) -gt 1280 ] || [ $((Y + HEIGHT)) -gt 800 ]; then
    fail "the progress window at ${X},${Y} (${WIDTH}x${HEIGHT}) is not wholly on the screen"
fi
# "Upload" is disabled now and the keyboard has moved past it: back to "Load theme".
xdotool windowactivate --sync "$MAIN" 2>/dev/null
key shift+Tab space
BOX=$(wait_window "screenup" 5) || fail "the box of \"Load theme\" did not appear"
echo "gui-check: the box of \"Load theme\" is open; holding it for $HOLD s"
sleep "$HOLD"
[ -n "$(windows_named "Error")" ] && fail "an error box came while the box was open"
xdotool windowactivate --sync "$BOX" 2>/dev/null
key Return
echo "gui-check: box closed"

# The upload ends when its progress window closes.
for _ in $(seq 600); do
    [ -z "$(windows_named "Progress")" ] && break
    [ -n "$(windows_named "Error")" ] && fail "an error box came during the upload"
    sleep 0.1
done
[ -z "$(windows_named "Progress")" ] || fail "the upload did not end within 60 s after the box"
sleep 0.5
[ -z "$(windows_named "Error")" ] || fail "an error box came at the end of the upload"
stop_pid "$APP_PID"
APP_PID=""

# Every item as the decoder holds it now, against what was sent.
missing=0
check_item() { # item, expected file
    if ! "$VELKCTL" --port "$WORK/line" --quiet get pictures "$1" -o "$WORK/got" >"$WORK/velkctl.out" 2>&1; then
        echo "gui-check: item \"$1\" is missing: $(cat "$WORK/velkctl.out")" >&2
        missing=1
    elif ! cmp -s "$WORK/got" "$2"; then
        echo "gui-check: item \"$1\" differs from $(basename "$2")" >&2
        missing=1
    else
        echo "gui-check: item \"$1\" is whole ($(stat -c %s "$2") bytes)"
    fi
}
# The settings item of six checked rows and no size values: six ones, then zeros.
{
    printf '\001\001\001\001\001\001'
    head -c 58 /dev/zero
} >"$WORK/ini"
check_item ini "$WORK/ini"
items=(splash.fnt radio.fnt setup.fnt setup.lut bandeau.pan basic.lut)
for row in 0 1 2 3 4 5; do
    check_item "${items[$row]}" "$WORK/screens/${files[$row]}"
done
if [ "$missing" -ne 0 ]; then
    echo "gui-check: FAILED: the upload under a held box left items missing or wrong" >&2
    exit 1
fi
echo "gui-check: passed: every item landed while a box was held open for $HOLD s"
