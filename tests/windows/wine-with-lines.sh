#!/usr/bin/env bash
# Runs a Windows program of the tests under Wine, in the build tree's own Wine
# prefix, with the far ends of the serial lines its tests talk to:
#   COM5  the decoder simulator (velksim for Linux, a fresh demo decoder)
#   COM6  an echo line: every byte written comes back
#   COM7  a line nobody reads
#   COM8  an echo line that goes away after 2 s without traffic
#   COM9  the decoder simulator, hanging up once 3000 bytes have crossed
# The ports are the prefix's (HKLM\Software\Wine\Ports, so they are in the
# system's port list too), each a link in $VELK_WINEPREFIX/lines that this run
# points at its own far end; runs on one prefix therefore take turns.
#
# Environment: VELK_WINEPREFIX (created here when missing), VELK_HOST_VELKSIM.
# A listing of the tests (--gtest_list_tests) runs without far ends.
set -euo pipefail
: "${VELK_WINEPREFIX:?}" "${VELK_HOST_VELKSIM:?}"
export WINEPREFIX=$VELK_WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
lines=$WINEPREFIX/lines
ports=(COM5 COM6 COM7 COM8 COM9)

mkdir -p "$WINEPREFIX"
exec 9>"$WINEPREFIX.lock"
flock 9

if [ ! -f "$WINEPREFIX/system.reg" ]; then
    wine wineboot -u
    mkdir -p "$lines"
    for port in "${ports[@]}"; do
        wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "$lines/${port,,}" /f >/dev/null
    done
    # The port list (HARDWARE\DEVICEMAP\SERIALCOMM) is made when the server starts.
    wineserver -k || true
    wineserver -w
fi
# A server that stays 60 s after the last program, started before any program:
# two programs starting a cold server at once can stall for minutes.
wineserver -p60
wine cmd /c exit

for arg in "$@"; do
    if [ "$arg" = --gtest_list_tests ]; then
        exec wine "$@"
    fi
done

far=$(mktemp -d)
pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$far"
}
trap cleanup EXIT
"$VELK_HOST_VELKSIM" --link "$far/com5" --state "$far/state5" >/dev/null &
pids+=($!)
socat PTY,link="$far/com6",rawer EXEC:cat &
pids+=($!)
socat -u EXEC:"sleep 600" PTY,link="$far/com7",rawer &
pids+=($!)
socat -T 2 PTY,link="$far/com8",rawer,wait-slave EXEC:cat &
pids+=($!)
"$VELK_HOST_VELKSIM" --link "$far/com9" --state "$far/state9" --hang-up-after 3000 >/dev/null &
pids+=($!)
for port in "${ports[@]}"; do
    link=$far/${port,,}
    for _ in $(seq 100); do
        [ -e "$link" ] && break
        sleep 0.05
    done
    [ -e "$link" ] || { echo "wine-with-lines: no far end at $link" >&2; exit 1; }
    ln -sfn "$(readlink -f "$link")" "$lines/${port,,}"
done
wine "$@"
