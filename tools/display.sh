# Sourced by the scripts that need a virtual X display (Xvfb).
#
#   start_display OUTPUT_FILE [Xvfb options...]
#       starts Xvfb on a display number it picks itself (-displayfd: free at
#       that moment, whatever else runs), waits until it accepts connections
#       (at most 10 s) and sets XVFB_PID and DISPLAY_NUMBER; on failure prints
#       what Xvfb said and returns 1

XVFB_PID=""
DISPLAY_NUMBER=""

start_display() {
    local output=$1 number
    shift
    number=$(mktemp)
    Xvfb -displayfd 3 -nolisten tcp "$@" 3>"$number" >"$output" 2>&1 &
    XVFB_PID=$!
    for _ in $(seq 100); do
        [ -s "$number" ] && break
        kill -0 "$XVFB_PID" 2>/dev/null || break
        sleep 0.1
    done
    DISPLAY_NUMBER=$(tr -dc 0-9 <"$number")
    rm -f "$number"
    if [ -z "$DISPLAY_NUMBER" ]; then
        echo "no virtual display started: $(cat "$output")" >&2
        return 1
    fi
}
