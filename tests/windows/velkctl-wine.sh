#!/usr/bin/env bash
# velkctl.exe end to end under Wine: the decoder simulator for Linux serves a
# pseudo-terminal that the Wine prefix shows as COM<N>, a second one COM<N+2>;
# COM<N+1> has nothing behind it. Checks a sync, a record item put and got back
# byte for byte (through files, standard input and standard output), a usage
# refusal (exit 2), a backup of the record area, a port that cannot be opened
# (exit 1), and a command on several decoders at once (a process each).
#
# Environment: VELKSIM (velksim for Linux), VELKCTL_EXE, WINEPREFIX (an
# existing prefix). Argument: the COM number to use (default 20).
set -uo pipefail
: "${VELKSIM:?}" "${VELKCTL_EXE:?}" "${WINEPREFIX:?}"
export WINEPREFIX WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
com=${1:-20}
port=COM$com
absent=COM$((com + 1))
devices=$WINEPREFIX/dosdevices
[ -f "$WINEPREFIX/system.reg" ] || { echo "velkctl-wine: no Wine prefix at $WINEPREFIX" >&2; exit 1; }
# Runs on one prefix take turns, as the other Windows tests do; the lock is
# held by flock itself (-o), so no program started here inherits it.
if [ -z "${VELK_WINE_LOCKED:-}" ]; then
    VELK_WINE_LOCKED=1 exec flock -o "$WINEPREFIX.lock" "$0" "$@"
fi

tmp=$(mktemp -d)
sim=
sim2=
cleanup() {
    [ -n "$sim" ] && kill "$sim" 2>/dev/null && wait "$sim" 2>/dev/null
    [ -n "$sim2" ] && kill "$sim2" 2>/dev/null && wait "$sim2" 2>/dev/null
    rm -f "$devices/com$com" "$devices/com$((com + 1))" "$devices/com$((com + 2))"
    rm -rf "$tmp"
}
trap cleanup EXIT

"$VELKSIM" --link "$tmp/line" --state "$tmp/state" >/dev/null &
sim=$!
"$VELKSIM" --link "$tmp/line2" >/dev/null &
sim2=$!
for _ in $(seq 100); do
    [ -e "$tmp/line" ] && [ -e "$tmp/line2" ] && break
    sleep 0.05
done
[ -e "$tmp/line" ] && [ -e "$tmp/line2" ] || { echo "velkctl-wine: velksim made no line" >&2; exit 1; }
ln -sfn "$tmp/line" "$devices/com$com"
ln -sfn "$tmp/line2" "$devices/com$((com + 2))"
rm -f "$devices/com$((com + 1))"

# A server that stays between the programs, warmed up by one of them. It and
# the system programs Wine starts with it outlive this test: they get none of
# its output descriptors, or the test's reader would wait for them.
wineserver -p60 </dev/null >/dev/null 2>&1
wine cmd /c exit </dev/null >/dev/null 2>&1

failed=0
# check NAME EXPECTED-EXIT ARGS...: runs velkctl.exe with ARGS (standard input
# from $in when set, standard output into $tmp/out, standard error into
# $tmp/err) and compares its exit code.
check() {
    local name=$1 want=$2
    shift 2
    local start=$SECONDS
    timeout 120 wine "$VELKCTL_EXE" "$@" <"${in:-/dev/null}" >"$tmp/out" 2>"$tmp/err"
    local got=$?
    if [ "$got" != "$want" ]; then
        echo "FAIL $name: exit $got, expected $want; stderr: $(cat "$tmp/err")" >&2
        failed=1
    else
        echo "ok   $name ($((SECONDS - start)) s)"
    fi
}
# The Windows name of a file here.
win() { echo "Z:${1//\//\\}"; }
same() {
    if cmp -s "$2" "$3"; then echo "ok   $1"; else
        echo "FAIL $1: $3 differs from $2" >&2
        failed=1
    fi
}

# Every byte value, line ends and the old end-of-file mark among them.
printf "$(printf '\\%03o' $(seq 0 255))" >"$tmp/item.bin"

check "sync" 0 --port "$port" sync
check "put from a file" 0 --port "$port" put demo item "$(win "$tmp/item.bin")"
check "get into a file" 0 --port "$port" get demo item -o "$(win "$tmp/back.bin")"
same "file round trip" "$tmp/item.bin" "$tmp/back.bin"
in=$tmp/item.bin check "put from standard input" 0 --port "$port" put demo piped -
check "get to standard output" 0 --port "$port" get demo piped -o -
same "standard streams round trip" "$tmp/item.bin" "$tmp/out"
check "backup into a folder" 0 --port "$port" backup "$(win "$tmp/backup")"
same "backup holds the record area" "$tmp/state/flash.bin" "$tmp/backup/flash.bin"
check "write refused before sending" 2 --port "$port" write flash 0x34020001 "$(win "$tmp/item.bin")"
check "port with nothing behind it" 1 --port "$absent" sync
grep -q "no such device" "$tmp/err" || { echo "FAIL open failure names no cause: $(cat "$tmp/err")" >&2; failed=1; }
check "ports" 0 ports --json
second=COM$((com + 2))
check "backup of two decoders at once" 0 --port "$port" --port "$second" -q backup "$(win "$tmp/bench")\\{label}"
same "each decoder's own backup" "$tmp/state/flash.bin" "$tmp/bench/$port/flash.bin"
[ -f "$tmp/bench/$second/backup.json" ] || { echo "FAIL no backup of $second" >&2; failed=1; }
check "one decoder of three missing" 1 --port "$port" --port "$absent" --port "$second" sync
for want in "$port: " "$second: " "$absent  $absent  failed: " "2 of 3 decoders succeeded, 1 failed (exit code 1)"; do
    grep -qF "$want" "$tmp/out" || { echo "FAIL the run's output lacks \"$want\": $(cat "$tmp/out")" >&2; failed=1; }
done
exit $failed
