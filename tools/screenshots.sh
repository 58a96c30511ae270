#!/usr/bin/env bash
# Takes the README's pictures of screenup (docs/screenshots/*.png): starts a
# virtual X display (Xvfb) and the decoder simulator, paced like a real cable so
# the upload can be caught half way, and runs screenup-shots on them.
#
# Usage: tools/screenshots.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
OUT=$PWD/docs/screenshots

cmake --build "$BUILD" --target screenup-shots velksim -j "${JOBS:-$(nproc)}" >/dev/null
SHOTS=$PWD/$BUILD/screenup/screenup-shots
VELKSIM=$PWD/$BUILD/tools/velksim/velksim

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velk-shots.XXXXXX")
. tools/simulator.sh
. tools/display.sh
XVFB_PID=""
stop_all() {
    stop_simulator
    if [ -n "$XVFB_PID" ] && kill -0 "$XVFB_PID" 2>/dev/null; then
        kill -TERM "$XVFB_PID"
        wait "$XVFB_PID" || true
    fi
}
trap 'stop_all; rm -rf "$WORK"' EXIT

start_display "$WORK/xvfb.out" -screen 0 1280x800x24 -wr || exit 1

start_simulator "$VELKSIM" "$WORK/velksim.out" --state "$WORK/state" --link "$WORK/line" --baud 115200

# A sanitizer build would report the X libraries' allocations kept until exit.
export ASAN_OPTIONS=${ASAN_OPTIONS:-detect_leaks=0}
# The sample screen set under a short, stable name, as a user's folder would be.
SAMPLES=/tmp/screens
if [ -e "$SAMPLES" ]; then
    SAMPLES=$WORK/screens
else
    trap 'stop_all; rm -rf "$WORK" "$SAMPLES"' EXIT
fi
cp -r samples "$SAMPLES"

mkdir -p "$OUT"
DISPLAY=":$DISPLAY_NUMBER" QT_QPA_PLATFORM=xcb XDG_RUNTIME_DIR="$WORK" \
    "$SHOTS" "$WORK/line" "$SAMPLES" "$OUT"
