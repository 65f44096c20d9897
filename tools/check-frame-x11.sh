#!/bin/bash
# Tries the skinned frame as a new user would, under a real X server (Xvfb) and window
# manager (openbox, with a 40-pixel panel margin at the bottom of the screen): drags the
# title bar and each edge, maximises and restores by double clicks, opens the system menu
# with Alt+Space. Needs: xvfb openbox xdotool (apt-get install -y xvfb openbox xdotool).
# Usage: tools/check-frame-x11.sh [path/to/parvelle-framedemo]   (exit 0 = every check passed)
set -u
demo=${1:-build/bin/parvelle-framedemo}
[ -x "$demo" ] || { echo "missing $demo (cmake --build build --target parvelle-framedemo)"; exit 2; }
source "$(dirname "$0")/x11-trial.sh"

mkfifo "$work/in"
QT_QPA_PLATFORM=xcb "$demo" <"$work/in" >"$work/out" 2>"$work/demo.log" &
pids+=($!)
exec 3>"$work/in"
window=$(xdotool search --sync --onlyvisible --name "Parvelle - skinned frame" | head -1)
xdotool windowactivate --sync "$window" >/dev/null 2>&1
sleep 0.5

failure_detail() { tail -n 1 "$work/out"; }
query() {   # sets X Y W H MAX WX WY WW WH
    local before
    before=$(grep -c geometry "$work/out")
    echo geometry >&3
    for _ in $(seq 50); do [ "$(grep -c geometry "$work/out")" -gt "$before" ] && break; sleep 0.05; done
    read -r _ X Y W H _ MAX _ WX WY WW WH _ < <(grep geometry "$work/out" | tail -n 1)
}
query; x0=$X y0=$Y w0=$W h0=$H
drag $((X + W / 2)) $((Y + 15)) 120 80
query
check "title bar drag moves the window" eval 'near $X $((x0 + 120)) && near $Y $((y0 + 80)) && [ $W = $w0 ] && [ $H = $h0 ]'

# A flick let go before the window manager grabs the pointer: the window must not stick to it.
query; x0=$X y0=$Y
xdotool mousemove $((X + W / 2)) $((Y + 15)) mousedown 1 mousemove_relative -- 8 4 mouseup 1
sleep 0.4
xdotool mousemove_relative -- 150 150 click 1   # a click ends a move that did start
sleep 0.4
query
check "a flicked title bar does not stick to the pointer" eval 'near $X $x0 && near $Y $y0'

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
double_click $((X + W / 2)) $((Y + 15))
query
check "double click maximises into the work area" eval '[ $MAX = 1 ] && [ "$X $Y $W $H" = "$WX $WY $WW $WH" ] && [ $WH = 760 ]'
double_click $((X + W / 2)) $((Y + 15))
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
