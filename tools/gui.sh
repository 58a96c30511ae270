#!/usr/bin/env bash
# The window program connected to a simulated decoder: starts velksim on a
# state folder (kept between runs, so what was uploaded stays), then screenup
# with the simulator's line first in its port list. Closing the window stops
# the simulator.
#
# Usage: tools/gui.sh [BUILD_FOLDER] [velksim options...]   (default: build)
# The state folder is $VELK_STATE, or ~/.velksim when unset.
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}
shift || true

cmake --build "$BUILD" --target screenup velksim -j "${JOBS:-$(nproc)}" >/dev/null
SCREENUP=$PWD/$BUILD/screenup/screenup
VELKSIM=$PWD/$BUILD/tools/velksim/velksim
if [ ! -x "$SCREENUP" ]; then
    echo "gui: $SCREENUP was not built (is qt6-base-dev installed?)" >&2
    exit 1
fi
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ] && [ -z "${QT_QPA_PLATFORM:-}" ]; then
    echo "gui: no display; run it on a desktop, under xvfb-run, or with QT_QPA_PLATFORM=vnc" >&2
    exit 1
fi

STATE=${VELK_STATE:-$HOME/.velksim}
WORK=$(mktemp -d "${TMPDIR:-/tmp}/velk-gui.XXXXXX")
LINE=$WORK/line
SIM_PID=""
stop_simulator() {
    if [ -n "$SIM_PID" ] && kill -0 "$SIM_PID" 2>/dev/null; then
        kill -TERM "$SIM_PID"
        wait "$SIM_PID" || true
    fi
    SIM_PID=""
}
trap 'stop_simulator; rm -rf "$WORK"' EXIT

"$VELKSIM" --state "$STATE" --link "$LINE" "$@" >"$WORK/velksim.out" 2>&1 &
SIM_PID=$!
for _ in $(seq 100); do
    grep -q ready "$WORK/velksim.out" 2>/dev/null && break
    kill -0 "$SIM_PID" 2>/dev/null || break
    sleep 0.1
done
if ! grep -q ready "$WORK/velksim.out" 2>/dev/null; then
    cat "$WORK/velksim.out" >&2
    echo "gui: the simulator did not start" >&2
    exit 1
fi
cat "$WORK/velksim.out"
echo "gui: decoder state in $STATE; the sample screen set is in $PWD/samples"
"$SCREENUP" --port "$LINE"
