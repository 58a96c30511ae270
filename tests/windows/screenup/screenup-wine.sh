#!/usr/bin/env bash
# screenup.exe end to end under Wine, on a virtual X display (Xvfb) with a
# window manager (openbox): screenup-driver drives the program's windows
# against the decoder simulator for Linux, paced like a real 115200-baud cable,
# behind COM5 (see ScreenupDriver.cpp for the steps). Afterwards, on the Linux
# side: every item of record "pictures" is read back with velkctl and compared
# byte for byte with what was sent (the settings item "ini" from the six
# checked boxes and the size values 300, 20, 640, 80); the edited palette has
# entry 5's colour and alpha changed and every other byte, those after offset
# 63 among them, as before; "save" wrote set.bin beside the program.
#
# Environment: SCREENUP_EXE (velklink.dll beside it), DRIVER_EXE, VELKSIM and
# VELKCTL (for Linux), WINEPREFIX (this test's own, made when missing),
# HOLD (seconds the box stays open mid-upload, default 8).
set -uo pipefail
: "${SCREENUP_EXE:?}" "${DRIVER_EXE:?}" "${VELKSIM:?}" "${VELKCTL:?}" "${WINEPREFIX:?}"
HOLD=${HOLD:-8}
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
source_dir=$(cd "$(dirname "$0")/../../.." && pwd)
# Runs on one prefix take turns; the lock is held by flock itself (-o), so no
# program started here inherits it.
if [ -z "${VELK_WINE_LOCKED:-}" ]; then
    mkdir -p "$WINEPREFIX"
    VELK_WINE_LOCKED=1 exec flock -o "$WINEPREFIX.lock" "$0" "$@"
fi
for tool in Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || { echo "screenup-wine: $tool is missing" >&2; exit 1; }
done

tmp=$(mktemp -d)
. "$source_dir/tools/simulator.sh"
. "$source_dir/tools/display.sh"
wm=
cleanup() {
    wineserver -k 2>/dev/null
    stop_simulator
    for pid in $wm $XVFB_PID; do kill "$pid" 2>/dev/null && wait "$pid" 2>/dev/null; done
    rm -f "$WINEPREFIX/dosdevices/com5"
    rm -rf "$tmp"
}
trap cleanup EXIT

start_display "$tmp/xvfb.out" -screen 0 1280x800x24 || { echo "FAIL the virtual display" >&2; exit 1; }
export DISPLAY=:$DISPLAY_NUMBER
openbox --sm-disable >"$tmp/openbox.out" 2>&1 &
wm=$!
for _ in $(seq 100); do xdotool get_desktop >/dev/null 2>&1 && break; sleep 0.1; done

# A server of this display's own: one left from an earlier run would draw on
# a display that is gone.
wineserver -k 2>/dev/null
[ -f "$WINEPREFIX/system.reg" ] || wine wineboot -u </dev/null >/dev/null 2>&1
wineserver -p5 </dev/null >/dev/null 2>&1

start_simulator "$VELKSIM" "$tmp/velksim.out" --link "$tmp/line" --state "$tmp/state" --baud 115200 || exit 1
ln -sfn "$tmp/line" "$WINEPREFIX/dosdevices/com5"
rm -f "$WINEPREFIX/dosdevices/com31"

# The program in a folder of its own, where "save" writes set.bin.
mkdir "$tmp/program"
cp "$SCREENUP_EXE" "$(dirname "$SCREENUP_EXE")/velklink.dll" "$tmp/program/"
cp -r "$source_dir/samples" "$tmp/screens"
# The palette with bytes after its 16 entries that belong to someone else.
{ cat "$source_dir/samples/setup.lut"; printf 'TRAILER-BYTES\001\002\377'; } >"$tmp/palette.lut"
cp "$tmp/palette.lut" "$tmp/palette.before"
win() { echo "Z:${1//\//\\}"; }

failed=0
fail() { echo "FAIL $*" >&2; failed=1; }
timeout 420 wine "$DRIVER_EXE" "$(win "$tmp/program/screenup.exe")" "$(win "$tmp/screens")" \
    "$(win "$tmp/palette.lut")" "$HOLD" </dev/null || fail "the driver: exit $?"

# Entry 5 (bytes 20..23): the colour 18, 52, 86 and the alpha one step down.
expected_palette() {
    head -c 20 "$tmp/palette.before"
    printf '\022\064\126'
    printf "\\$(printf '%03o' $(($(od -An -tu1 -j23 -N1 "$tmp/palette.before") - 1)))"
    tail -c +25 "$tmp/palette.before"
}
expected_palette >"$tmp/palette.expected"
cmp -s "$tmp/palette.expected" "$tmp/palette.lut" && echo "ok   the palette: entry 5 changed, every other byte kept" ||
    fail "the palette differs from what was expected: $(cmp "$tmp/palette.expected" "$tmp/palette.lut")"

check_item() { # item, expected file
    if ! "$VELKCTL" --port "$tmp/line" --quiet get pictures "$1" -o "$tmp/got" >"$tmp/velkctl.out" 2>&1; then
        fail "item \"$1\" is missing: $(cat "$tmp/velkctl.out")"
    elif ! cmp -s "$tmp/got" "$2"; then
        fail "item \"$1\" differs from $(basename "$2")"
    else
        echo "ok   item \"$1\" is whole ($(stat -c %s "$2") bytes)"
    fi
}
# Six checked rows; the size values set: 0xFF, then 300, 20, 640, 80 big-endian.
{
    printf '\001\001\001\001\001\001\377\001\054\000\024\002\200\000\120'
    head -c 49 /dev/zero
} >"$tmp/ini"
check_item ini "$tmp/ini"
files=(boot.m2v radio.m2v setup.m2v "" bandeau.pan basic.lut)
items=(splash.fnt radio.fnt setup.fnt setup.lut bandeau.pan basic.lut)
for row in 0 1 2 3 4 5; do
    file=$tmp/screens/${files[$row]}
    [ "$row" = 3 ] && file=$tmp/palette.lut
    check_item "${items[$row]}" "$file"
done
[ -s "$tmp/program/set.bin" ] && echo "ok   \"save\" wrote set.bin beside the program ($(stat -c %s "$tmp/program/set.bin") bytes)" ||
    fail "\"save\" wrote no set.bin beside the program"
exit $failed
