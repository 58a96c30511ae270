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
. tools/simulator.sh
trap 'stop_simulator; rm -rf "$WORK"' EXIT

start_simulator "$VELKSIM" "$WORK/velksim.out" --state "$STATE" --link "$LINE" "$@"
cat "$WORK/velksim.out"
echo "gui: decoder state in $STATE; the sample screen set is in $PWD/samples"
"$SCREENUP" --port "$LINE"
