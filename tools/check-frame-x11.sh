#!/bin/bash
# Tries the skinned frame as a new user would, under a real X server (Xvfb) and window
# manager (openbox, with a 40-pixel panel margin at the bottom of the screen): drags the
# title bar and each edge, maximises and restores by double clicks, opens the system menu
# with Alt+Space. Needs: xvfb openbox xdotool (apt-get install -y xvfb openbox xdotool).
# Usage: tools/check-frame-x11.sh [path/to/parvelle-framedemo]   (exit 0 = every check passed)
set -u
demo=${1:-build/bin/parvelle-framedemo}
for tool in Xvfb openbox xdotool; do
    command -v "$tool" >/dev/null || { echo "missing $tool (apt-get install -y xvfb openbox xdotool)"; exit 2; }
done
[ -x "$demo" ] || { echo "missing $demo (cmake --build build --target parvelle-framedemo)"; exit 2; }

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

mkfifo "$work/in"
QT_QPA_PLATFORM=xcb "$demo" <"$work/in" >"$work/out" 2>"$work/demo.log" &
pids+=($!)
exec 3>"$work/in"
window=$(xdotool search --sync --onlyvisible --name "Parvelle - skinned frame" | head -1)
xdotool windowactivate --sync "$window" >/dev/null 2>&1
sleep 0.5

failures=0
check() {   # check NAME CONDITION...
    local name=$1; shift
    if "$@"; then echo "PASS $name"; else echo "FAIL $name ($(geometry_line))"; failures=$((failures + 1)); fi
}
geometry_line() { tail -n 1 "$work/out"; }
query() {   # sets X Y W H MAX WX WY WW WH
    local before
    before=$(grep -c geometry "$work/out")
    echo geometry >&3
    for _ in $(seq 50); do [ "$(grep -c geometry "$work/out")" -gt "$before" ] && break; sleep 0.05; done
    read -r _ X Y W H _ MAX _ WX WY WW WH < <(grep geometry "$work/out" | tail -n 1)
}
drag() {   # drag FROMX FROMY DX DY: a first small motion, then ten steps to the end
    xdotool mousemove "$1" "$2" mousedown 1
    sleep 0.2
    xdotool mousemove_relative -- 1 0   # a move starts with the first motion, as a hand's does
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
near() { [ $(($1 - $2)) -le 2 ] && [ $(($2 - $1)) -le 2 ]; }

query; x0=$X y0=$Y w0=$W h0=$H
drag $((X + W / 2)) $((Y + 15)) 120 80
query
check "title bar drag moves the window" eval 'near $X $((x0 + 120)) && near $Y $((y0 + 80)) && [ $W = $w0 ] && [ $H = $h0 ]'

query; x0=$X y0=$Y w0=$W h0=$H
drag $((X + W - 1)) $((Y + H / 2)) 60 0
query
check "right edge widens" eval 'near $W $((w0 + 60)) && [ $X = $x0 ] && [ $H = $h0 ]'

query; x0=$X y0=$Y w0=$W h0=$H
drag $((X + W / 2)) $((Y + H - 1)) 0 50
query
check "bottom edge heightens" eval 'near $H $((h0 + 50)) && [ $Y = $y0 ] && [ $W = $w0 ]'

query; x0=$X y0=$Y w0=$W h0=$H
drag $((X)) $((Y + H / 2)) -40 0
query
check "left edge widens to the left" eval 'near $W $((w0 + 40)) && near $X $((x0 - 40)) && [ $H = $h0 ]'

query; x0=$X y0=$Y w0=$W h0=$H
drag $((X + W / 2)) $((Y + 1)) 0 -30
query
check "top edge heightens upwards" eval 'near $H $((h0 + 30)) && near $Y $((y0 - 30)) && [ $W = $w0 ]'

query; x0=$X y0=$Y w0=$W h0=$H
xdotool mousemove $((X + W / 2)) $((Y + 15)) click --repeat 2 --delay 80 1
sleep 1
query
check "double click maximises into the work area" eval '[ $MAX = 1 ] && [ "$X $Y $W $H" = "$WX $WY $WW $WH" ] && [ $WH = 760 ]'
xdotool mousemove $((X + W / 2)) $((Y + 15)) click --repeat 2 --delay 80 1
sleep 1
query
check "double click restores the bounds" eval '[ $MAX = 0 ] && [ "$X $Y $W $H" = "$x0 $y0 $w0 $h0" ]'

xdotool mousemove $((X + W / 2)) $((Y + H / 2)) click 1
xdotool key --clearmodifiers alt+space
sleep 0.5
query
menu=$(grep "system menu" "$work/out" | tail -n 1)
check "Alt+Space opens the system menu below the title bar" eval '[ "$menu" = "system menu $X $((Y + 29))" ]'
xdotool key Escape

[ "$failures" -eq 0 ] || { echo "--- what the demo reported:"; cat "$work/out"; }
echo "$failures failed"
[ "$failures" -eq 0 ]
