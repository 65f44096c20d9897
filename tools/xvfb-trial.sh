# Shared by the real-display checks (source it from bash): starts Xvfb on a free display and
# gives the checks their helpers. Needs: xvfb xdotool, and the tools listed in trial_tools.
for tool in Xvfb xdotool ${trial_tools:-}; do
    command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install -y ${trial_packages:-xvfb xdotool})"; exit 2; }
done

work=$(mktemp -d)
pids=()
cleanup() {
    exec 3>&- 2>/dev/null
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null; done
    wait 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# On a display Xvfb finds free: checks run side by side must not drive each other's pointer.
Xvfb -displayfd 4 -screen 0 1280x800x24 -nolisten tcp 4>"$work/display" >"$work/xvfb.log" 2>&1 &
pids+=($!)
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || { echo "Xvfb did not start:"; cat "$work/xvfb.log"; exit 2; }
export DISPLAY=:$(cat "$work/display")
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

failures=0
check() {   # check NAME CONDITION...
    local name=$1; shift
    if "$@"; then echo "PASS $name"; else echo "FAIL $name ($(failure_detail))"; failures=$((failures + 1)); fi
}
drag() {   # drag FROMX FROMY DX DY: a first motion of 12 pixels, then ten steps to the end
    xdotool mousemove "$1" "$2" mousedown 1
    sleep 0.2
    xdotool mousemove_relative -- 12 0   # a move starts with the first motion, as a hand's does
    sleep 0.1
    local steps=10 i
    for i in $(seq $steps); do
        xdotool mousemove "$(($1 + $3 * i / steps))" "$(($2 + $4 * i / steps))"
        sleep 0.03
    done
    sleep 0.2
    xdotool mouseup 1
    sleep 0.4
}
double_click() { xdotool mousemove "$1" "$2" click --repeat 2 --delay 80 1; sleep 1; }   # X Y
near() { [ $(($1 - $2)) -le 2 ] && [ $(($2 - $1)) -le 2 ]; }
