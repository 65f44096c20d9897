#!/bin/bash
# Tries the main window as a new user would, under a real X server (Xvfb) and window
# manager (openbox) on a fresh demo registry: moves it by its title bar, shrinks it by its
# bottom edge, scrolls the table with the wheel and the keyboard, removes entries with the
# mouse, switches to the Undo page with Ctrl+Shift+Tab and restores, maximises and restores
# it by double clicks and closes it. What the window did to the hive is read back with
# parvelle-cli. Needs: xvfb openbox xdotool.
# Usage: tools/check-window-x11.sh [BINDIR]   (default build/bin; exit 0 = every check passed)
set -u
bin=${1:-build/bin}
for program in parvelle parvelle-cli; do
    [ -x "$bin/$program" ] || { echo "missing $bin/$program (cmake --build build)"; exit 2; }
done
source "$(dirname "$0")/x11-trial.sh"

export XDG_DATA_HOME=$work/data
demo=$work/data/Parvelle/Parvelle/demo
QT_QPA_PLATFORM=xcb "$bin/parvelle" --undo-dir "$work/undo" >"$work/out" 2>&1 &
parvelle=$!
pids+=($parvelle)
window=$(xdotool search --sync --onlyvisible --name " - Parvelle$" | head -1)
xdotool windowactivate --sync "$window" >/dev/null 2>&1
sleep 0.5

failure_detail() { echo "window $X $Y $W $H \"$(xdotool getwindowname "$window")\"; removed: ${removed:-}"; }
query() { eval "$(xdotool getwindowgeometry --shell "$window")"; X=$X Y=$Y W=$WIDTH H=$HEIGHT; }
entries() { "$bin/parvelle-cli" list --format csv --software "$demo/SOFTWARE" --ntuser "$demo/NTUSER.DAT" | tail -n +2 | cut -d, -f1; }
click() { xdotool mousemove "$1" "$2" click 1; sleep 0.4; }
# Window coordinates: the frame's border is 3 pixels, the title bar 29, the tabs 22 and the
# pages sit 3 pixels inside the page control; the cache table's first row is at 73.
click_first_row() { click $((X + 60)) $((Y + 73)); }
click_remove() { click $((X + W - 115)) $((Y + H - 18)); }
removed_since() { comm -23 <(sort <<<"$1") <(sort <<<"$(entries)"); }

query
title=$(xdotool getwindowname "$window")
check "opens at 685 x 422 naming the demo hives in its title" eval '[ "$W $H" = "685 422" ] && [ "$title" = "SOFTWARE, NTUSER.DAT - Parvelle" ]'

x0=$X y0=$Y
drag $((X + W / 2)) $((Y + 12)) 120 80
query
check "title bar drag moves the window" eval 'near $X $((x0 + 120)) && near $Y $((y0 + 80)) && [ "$W $H" = "685 422" ]'

drag $((X + W / 2)) $((Y + H - 1)) 0 -150
query
check "bottom edge drag shrinks the window" eval 'near $H 272'

before=$(entries)
click_first_row
xdotool click --repeat 3 5   # wheel down
sleep 0.3
click_first_row
click_remove
removed=$(removed_since "$before")
check "wheel scrolls the table; Remove takes the row clicked after scrolling" \
    eval '[ -n "$removed" ] && [ "$(wc -l <<<"$removed")" = 1 ] && [ "$removed" != "$(head -n 1 <<<"$before")" ]'
check "an undo file is written" eval '[ "$(ls "$work/undo" | wc -l)" = 1 ]'

before=$(entries)
click_first_row
xdotool key End
click_remove
removed=$(removed_since "$before")
check "End selects the last row, which Remove takes" eval '[ "$removed" = "$(tail -n 1 <<<"$before")" ]'

drag $((X + W / 2)) $((Y + H - 1)) 0 150   # back to the designed height: the Undo page's buttons
query
xdotool key ctrl+shift+Tab ctrl+shift+Tab   # ARPCache List -> About -> Undo
sleep 0.5
click $((X + 6 + 336 + 76)) $((Y + 51 + 297 + 11))   # Restore All: the newest undo file
check "Ctrl+Shift+Tab reaches the Undo page, whose Restore All puts the entry back" \
    eval '[ -z "$(removed_since "$before")" ]'

query; x0=$X y0=$Y w0=$W h0=$H
double_click $((X + W / 2)) $((Y + 12))
query
check "double click maximises into the work area" eval '[ "$X $Y $W $H" = "0 0 1280 760" ]'
double_click $((X + W / 2)) $((Y + 12))
query
check "double click restores the bounds" eval '[ "$X $Y $W $H" = "$x0 $y0 $w0 $h0" ]'

click $((X + W - 16)) $((Y + 14))   # the close button
for _ in $(seq 30); do kill -0 "$parvelle" 2>/dev/null || break; sleep 0.1; done
wait "$parvelle"
status=$?
check "the close button ends the program normally" eval '[ $status = 0 ]'

[ "$failures" -eq 0 ] || { echo "--- what the program wrote:"; cat "$work/out"; }
echo "$failures failed"
[ "$failures" -eq 0 ]
