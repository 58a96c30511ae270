#!/usr/bin/env bash
# Runs a Windows program of the tests under Wine, in the build tree's own Wine
# prefix, with the far ends of the serial lines its tests talk to:
#   COM5  the decoder simulator (velksim for Linux, a fresh demo decoder)
#   COM6  an echo line: every byte written comes back
#   COM7  a line nobody reads
#   COM8  an echo line that goes away after 2 s without traffic
#   COM9  the decoder simulator, hanging up once 3000 bytes have crossed
# and, when ser2net is installed, a decoder simulator served by ser2net on
# 127.0.0.1 through RFC 2217 and raw TCP, its port names in
# VELK_REMOTE_RFC2217 and VELK_REMOTE_SOCKET.
# The ports are the prefix's (HKLM\Software\Wine\Ports, so they are in the
# system's port list too), each a link in $VELK_WINEPREFIX/lines that this run
# points at its own far end; runs on one prefix therefore take turns.
#
# Environment: VELK_WINEPREFIX (created here when missing), VELK_HOST_VELKSIM,
# VELK_WINE_LINES (0: no far ends wanted), VELK_WINE_PACED (1: the simulator
# on COM5 paced like a 115200-baud cable). A listing of the tests
# (--gtest_list_tests) runs without far ends.
set -euo pipefail
: "${VELK_WINEPREFIX:?}" "${VELK_HOST_VELKSIM:?}"
export WINEPREFIX=$VELK_WINEPREFIX WINEDEBUG=${WINEDEBUG:--all} WINEDLLOVERRIDES="mscoree,mshtml="
lines=$WINEPREFIX/lines
ports=(COM5 COM6 COM7 COM8 COM9)

# Runs on one prefix take turns. The lock is held by flock itself (-o): the
# programs started here (the Wine server, the far ends) do not inherit it, so
# it ends with this run.
# With VELK_WINE_LINES=0 a program needs no line: once the prefix is made it
# runs at once, beside others.
lines_wanted=${VELK_WINE_LINES:-1}
if [ -z "${VELK_WINE_LOCKED:-}" ] && { [ "$lines_wanted" = 1 ] || [ ! -f "$WINEPREFIX/velk-ports" ]; }; then
    mkdir -p "$WINEPREFIX"
    VELK_WINE_LOCKED=1 exec flock -o "$WINEPREFIX.lock" "$0" "$@"
fi

if [ ! -f "$WINEPREFIX/velk-ports" ]; then
    if [ ! -f "$WINEPREFIX/system.reg" ]; then
        wine wineboot -u
        # wineboot may return before the prefix is written: wait for its server.
        wineserver -w
    fi
    mkdir -p "$lines"
    for port in "${ports[@]}"; do
        wine reg add 'HKLM\Software\Wine\Ports' /v "$port" /d "$lines/${port,,}" /f >/dev/null
    done
    # The port list (HARDWARE\DEVICEMAP\SERIALCOMM) is made when the server starts.
    wineserver -k || true
    wineserver -w
    touch "$WINEPREFIX/velk-ports"
fi
# A server that stays 60 s after the last program, started before any program:
# two programs starting a cold server at once can stall for minutes. (When a
# server runs already, this one says so and leaves.) The server and the
# system programs Wine starts with it outlive this run: they get none of its
# output descriptors, or whoever reads this run's output would wait for them.
if wineserver -p60 </dev/null >/dev/null 2>&1; then
    wine cmd /c exit </dev/null >/dev/null 2>&1
fi

# Runs the program with its output through files of this run's own. When the
# prefix's server has ended meanwhile (60 s after its last program), the
# program's start brings up a new server and system programs, which keep the
# descriptors they were started with for a minute and more: had they this
# run's output, whoever reads it (ctest) would wait for them long after the
# program ended.
run_program() {
    local out err status=0
    out=$(mktemp) err=$(mktemp)
    wine "$@" </dev/null >"$out" 2>"$err" || status=$?
    cat "$out"
    cat "$err" >&2
    rm -f "$out" "$err"
    return "$status"
}

for arg in "$@"; do
    if [ "$arg" = --gtest_list_tests ]; then
        lines_wanted=0
    fi
done
if [ "$lines_wanted" != 1 ]; then
    run_program "$@"
    exit
fi

far=$(mktemp -d)
pids=()
cleanup() {
    kill "${pids[@]}" 2>/dev/null || true
    wait 2>/dev/null || true
    rm -rf "$far"
}
trap cleanup EXIT
pacing=()
[ "${VELK_WINE_PACED:-0}" = 1 ] && pacing=(--baud 115200)
"$VELK_HOST_VELKSIM" --link "$far/com5" --state "$far/state5" "${pacing[@]}" >/dev/null &
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
ser2net=$(command -v ser2net || echo /usr/sbin/ser2net)
if [ -x "$ser2net" ]; then
    "$VELK_HOST_VELKSIM" --link "$far/remote" --state "$far/state-remote" >/dev/null &
    pids+=($!)
    # Two free TCP ports of 127.0.0.1.
    read -r telnet raw < <(python3 -c 'import socket
s = [socket.socket() for _ in range(2)]
for x in s: x.bind(("127.0.0.1", 0))
print(*[x.getsockname()[1] for x in s])')
    for _ in $(seq 100); do
        [ -e "$far/remote" ] && break
        sleep 0.05
    done
    for accepter in "telnet(rfc2217),tcp,127.0.0.1,$telnet" "tcp,127.0.0.1,$raw"; do
        printf 'connection: &c%s\n  accepter: %s\n  connector: serialdev,%s,115200n81,local\n  options:\n    chardelay: false\n' \
            "${accepter##*,}" "$accepter" "$far/remote"
    done >"$far/ser2net.yaml"
    "$ser2net" -n -u -c "$far/ser2net.yaml" -P "$far/ser2net.pid" >/dev/null 2>&1 &
    pids+=($!)
    for _ in $(seq 100); do
        grep -q "0100007F:$(printf %04X "$raw") 00000000:0000 0A" /proc/net/tcp && break
        sleep 0.05
    done
    export VELK_REMOTE_RFC2217=rfc2217://127.0.0.1:$telnet VELK_REMOTE_SOCKET=socket://127.0.0.1:$raw
fi
run_program "$@"
