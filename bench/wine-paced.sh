#!/usr/bin/env bash
# velkctl.exe under Wine on a line paced like a 115200-baud cable: N writes
# and N reads of 64 KiB in a row with --retries 0 (a failure is a failure),
# each read compared byte for byte with what was written, for each velkctl.exe
# given. Prints per architecture the count that succeeded, the time of a
# transfer (min/median/max of the whole command, Wine's start included), the
# transfer's own time (the median less that of a plain sync: starting Wine,
# opening the port and the sync every exchange begins with) against the line's
# limit for the bytes that cross it (66,608 bytes = 5.78 s), and the Windows
# process's CPU time over its wall time (read from /proc while it runs; the
# Wine server's share is shown apart).
#
#   bench/wine-paced.sh VELKSIM WINEPREFIX N VELKCTL.EXE...
set -euo pipefail
velksim=$1 prefix=$2 count=$3
shift 3
export WINEPREFIX=$prefix WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
line_limit_ms=5782
tmp=$(mktemp -d)
sim=
trap '[ -n "$sim" ] && kill "$sim" 2>/dev/null; rm -f "$prefix/dosdevices/com30"; rm -rf "$tmp"' EXIT
"$velksim" --link "$tmp/line" --state "$tmp/state" --baud 115200 >/dev/null &
sim=$!
for _ in $(seq 100); do [ -e "$tmp/line" ] && break; sleep 0.05; done
ln -sfn "$tmp/line" "$prefix/dosdevices/com30"
head -c 65536 /dev/urandom >"$tmp/data.bin"
wineserver -p60 </dev/null >/dev/null 2>&1 || true
wine cmd /c exit </dev/null >/dev/null 2>&1

ticks=$(getconf CLK_TCK)
# cpu_of PID: user + system ticks of a process (0 once it is gone).
cpu_of() { awk '{print $14 + $15}' "/proc/$1/stat" 2>/dev/null || echo 0; }
server_cpu() { local p; p=$(pgrep -n wineserver) && cpu_of "$p" || echo 0; }

# run EXE ARGS...: one transfer; prints "ok|failed wall_ms cpu_ticks server_ticks".
run() {
    local exe=$1 name
    shift
    name=$(basename "$exe")
    local server0 start end pid="" cpu=0 status=ok
    server0=$(server_cpu)
    start=$(date +%s%N)
    (cd "$tmp" && wine "$exe" -q --no-progress --port COM30 --retries 0 "$@" >/dev/null 2>"$tmp/err") &
    local runner=$!
    # The Windows process is not this shell's child: find it by name and keep
    # its last CPU reading.
    while kill -0 "$runner" 2>/dev/null; do
        [ -z "$pid" ] && pid=$(pgrep -n -f "$name -q --no-progress --port COM30" || true)
        if [ -n "$pid" ]; then
            local now
            now=$(cpu_of "$pid")
            [ "$now" -gt 0 ] && cpu=$now
        fi
        sleep 0.05
    done
    wait "$runner" || status=failed
    end=$(date +%s%N)
    echo "$status $(((end - start) / 1000000)) $cpu $(($(server_cpu) - server0))"
}

stats() { sort -n | awk '{a[NR]=$1} END {printf "%d / %d / %d", a[1], a[int((NR+1)/2)], a[NR]}'; }

for exe in "$@"; do
    arch=$(file -b "$exe" | grep -q x86-64 && echo x86_64 || echo i686)
    : >"$tmp/times"
    ok=0 failed=0 wall=0 cpu=0 server=0
    for i in 1 2 3 4 5; do
        set -- $(run "$exe" sync)
        echo "sync $2" >>"$tmp/times"
    done
    for i in $(seq "$count"); do
        for op in write read; do
            if [ "$op" = write ]; then
                set -- $(run "$exe" write flash 0x34060000 data.bin)
            else
                rm -f "$tmp/back.bin"
                set -- $(run "$exe" read flash 0x34060000 65536 -o back.bin)
                [ "$1" = ok ] && ! cmp -s "$tmp/back.bin" "$tmp/data.bin" && set -- failed "$2" "$3" "$4"
            fi
            if [ "$1" = ok ]; then ok=$((ok + 1)); else failed=$((failed + 1)); echo "$arch $op $i: $(cat "$tmp/err")" >&2; fi
            echo "$op $2" >>"$tmp/times"
            wall=$((wall + $2)) cpu=$((cpu + $3)) server=$((server + $4))
        done
    done
    median_of() { awk -v op="$1" '$1 == op {print $2}' "$tmp/times" | sort -n | awk '{a[NR]=$1} END {print a[int((NR+1)/2)]}'; }
    sync_ms=$(median_of sync)
    for op in write read; do
        median=$(median_of $op)
        printf '%s 64 KiB %s: %s ms (min/median/max), the transfer itself %d ms: %.1f %% of the line limit\n' "$arch" \
            "$op" "$(awk -v op=$op '$1 == op {print $2}' "$tmp/times" | stats)" $((median - sync_ms)) \
            "$(echo "100 * $line_limit_ms / ($median - $sync_ms)" | bc -l)"
    done
    echo "$arch: a plain sync (Wine's start, the port's open, the sync) takes $sync_ms ms at the median"
    printf '%s: %d of %d transfers succeeded; CPU %.2f %% of wall time (Wine server %.2f %%)\n' "$arch" "$ok" \
        $((ok + failed)) "$(echo "100 * $cpu / $ticks * 1000 / $wall" | bc -l)" \
        "$(echo "100 * $server / $ticks * 1000 / $wall" | bc -l)"
done
