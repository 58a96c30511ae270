# Sourced by the tool scripts that need a simulated decoder in the background.
#
#   start_simulator VELKSIM OUTPUT_FILE [velksim options...]
#       starts it, waits until it says it is ready (at most 10 s) and sets
#       SIM_PID; on failure prints what it said and returns 1
#   stop_simulator
#       stops it (SIGTERM) and waits for it; does nothing when it is not running

SIM_PID=""

start_simulator() {
    local program=$1 output=$2
    shift 2
    "$program" "$@" >"$output" 2>&1 &
    SIM_PID=$!
    for _ in $(seq 100); do
        grep -q ready "$output" 2>/dev/null && return 0
        kill -0 "$SIM_PID" 2>/dev/null || break
        sleep 0.1
    done
    cat "$output" >&2
    echo "the simulator did not start" >&2
    return 1
}

stop_simulator() {
    if [ -n "$SIM_PID" ] && kill -0 "$SIM_PID" 2>/dev/null; then
        kill -TERM "$SIM_PID"
        wait "$SIM_PID" || true
    fi
    SIM_PID=""
}
