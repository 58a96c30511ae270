#!/usr/bin/env bash
# The main job's demo: a simulated decoder on a pseudo-terminal, the sample
# screen set uploaded into it with velkctl, its records listed and its settings
# dumped. Usage: tools/demo.sh [BUILD_FOLDER]   (default: build)
set -euo pipefail
cd "$(dirname "$0")/.."
BUILD=${1:-build}

cmake --build "$BUILD" --target velkctl velksim -j "${JOBS:-$(nproc)}" >/dev/null
VELKCTL=$PWD/$BUILD/tools/velkctl/velkctl
VELKSIM=$PWD/$BUILD/tools/velksim/velksim

WORK=$(mktemp -d "${TMPDIR:-/tmp}/velk-demo.XXXXXX")
. tools/simulator.sh
trap 'stop_simulator; rm -rf "$WORK"' EXIT

say() { printf '\n== %s\n' "$*"; }
run() { # shows a command, then runs it
    printf '$ %s\n' "$*" | sed "s|$VELKCTL|velkctl|; s|$WORK|\$DEMO|g"
    "$@"
}

say "Starting the decoder simulator on a fresh state folder (at the speed of a 115200-baud cable)"
start_simulator "$VELKSIM" "$WORK/velksim.out" --state "$WORK/state" --link "$WORK/line" --baud 115200 ||
    { echo "demo: the simulator did not start" >&2; exit 1; }
sed "s|$WORK|\$DEMO|g" "$WORK/velksim.out"
echo "(\$DEMO is $WORK; velkctl finds the line through VELK_PORT)"
export VELK_PORT=$WORK/line

say "The decoder answers"
run "$VELKCTL" sync

say "Its record directory before the upload: the settings record \"SET\" of a new decoder"
run "$VELKCTL" records

say "Uploading the sample screen set (samples/, $(cat samples/*.m2v samples/*.lut samples/*.pan | wc -c) bytes) into record \"pictures\""
run "$VELKCTL" upload-screens \
    --boot samples/boot.m2v --radio samples/radio.m2v --setup samples/setup.m2v \
    --setup-lut samples/setup.lut --bandeau samples/bandeau.pan --basic-lut samples/basic.lut \
    --size 0,0,720,576

say "The record directory now"
run "$VELKCTL" records

say "The 64-byte settings item \"ini\" the upload wrote (check boxes, then 0xFF and the size values)"
run "$VELKCTL" get pictures ini

say "Dumping the decoder's settings (item \"SET\" of record \"SET\") into a file"
run "$VELKCTL" dump-settings -o "$WORK/set.bin"
od -An -tx1 -v "$WORK/set.bin"

say "Stopping the simulator"
stop_simulator
echo "Done. Every command above also runs against a real decoder: velkctl --port /dev/ttyUSB0 ..."
