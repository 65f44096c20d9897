# Shared by the real-X checks (source it from bash): starts Xvfb and openbox (with a
# 40-pixel panel margin at the bottom of the screen) on a free display, and gives them the
# helpers they share. Needs: xvfb openbox xdotool.
for tool in Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install -y xvfb openbox xdotool)"; exit 2; }
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

display=:$((90 + RANDOM % 100))
Xvfb "$display" -screen 0 1280x800x24 -nolisten tcp >"$work/xvfb.log" 2>&1 &
pids+=($!)
export DISPLAY=$display
for _ in $(seq 50); do xdotool getmouselocation >/dev/null 2>&1 && break; sleep 0.1; done

cat >"$work/rc.xml" <<'XML'
<?xml version="1.0" encoding="UTF-8"?>
<openbox_config xmlns="http://openbox.org/3.4/rc">
  <focus><focusNew>yes</focusNew></focus>
  <placement><policy>Smart</policy></placement>
  <margins><top>0</top><bottom>40</bottom><left>0</left><right>0</right></margins>
  <keyboard></keyboard>
  <mouse></mouse>
</openbox_config>
XML
openbox --config-file "$work/rc.xml" >"$work/openbox.log" 2>&1 &
pids+=($!)
sleep 1

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
