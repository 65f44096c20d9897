#!/bin/bash
# Tries the skinned frame as a new user would, under a real Wayland compositor: weston on its
# X11 backend inside Xvfb, which hands the X pointer and keys that xdotool drives to its
# clients. Drags the title bar (the window follows from the first motion and stops at the
# release) and each edge, maximises and restores by double clicks and by the title-bar
# button, minimises, opens the system menu and the File menu, closes by the title-bar button.
# Then, under Qt's forced scale factors, the whole window takes the mouse: title-bar buttons,
# the resize cursor and a corner resize.
# A Wayland client does not know where its window is: the window is found on screenshots by
# the colours of its border and of its title bar's top edge (its top corners are cut off,
# which is checked too). Needs: weston qt6-wayland xvfb xdotool imagemagick; skipped without
# weston.
# Usage: tools/check-frame-wayland.sh [path/to/parvelle-framedemo]   (exit 0 = every check passed)
set -u
demo=${1:-build/bin/parvelle-framedemo}
[ -x "$demo" ] || { echo "missing $demo (cmake --build build --target parvelle-framedemo)"; exit 2; }
command -v weston >/dev/null || { echo "SKIP weston is not installed (apt-get install -y weston qt6-wayland)"; exit 0; }
trial_tools="import convert" trial_packages="weston qt6-wayland xvfb xdotool imagemagick"
source "$(dirname "$0")/xvfb-trial.sh"

# weston's window sits at the top left of the X screen; its panel takes the top 32 pixels.
output_width=1200 output_height=760 panel=32
export XDG_RUNTIME_DIR=$work/runtime WAYLAND_DISPLAY=parvelle-trial
mkdir -m 700 "$XDG_RUNTIME_DIR"
weston --backend=x11-backend.so --width=$output_width --height=$output_height --idle-time=0 \
    --socket=$WAYLAND_DISPLAY >"$work/weston.log" 2>&1 &
pids+=($!)
for _ in $(seq 100); do [ -S "$XDG_RUNTIME_DIR/$WAYLAND_DISPLAY" ] && break; sleep 0.1; done
sleep 1   # its shell and panel start
# weston may miss a pointer that was over its window when it opened, and then click its panel
# wherever the pointer goes: the pointer enters its window anew.
xdotool mousemove $((output_width + 40)) 0

trap '' PIPE   # the demo's input closes if it dies
border="rgb(0,44,200)" title_top="rgb(140,194,255)"   # WinXP's, the demo's default style
locate() {   # sets X Y W H: the window's place on weston's output (W 0 when it shows nowhere)
    kill -0 $demo_pid 2>/dev/null || { echo "FAIL the demo ended unasked:"; cat "$work/demo.log"; echo "$((failures + 1)) failed"; exit 1; }
    read -r W H X Y < <(import -window root png:- | convert - -crop ${output_width}x${output_height}+0+0 +repage \
        -fuzz 1% -fill "$border" -opaque "$title_top" -fill black +opaque "$border" -bordercolor black -border 1 -trim -format "%w %h %X %Y\n" info: 2>/dev/null)
    X=$((X - 1)) Y=$((Y - 1))
    [ "${W:-1}" -gt 1 ] || W=0
}
scale=1
scaled() { awk -v n="$1" -v s="$scale" 'BEGIN { printf "%d\n", n * s + 0.5 }'; }   # logical to screen pixels
start_demo() {   # start_demo [SCALE]: shows the demo, at Qt's forced scale factor SCALE if given
    scale=${1:-1}
    exec 3>&-
    rm -f "$work/in"
    mkfifo "$work/in"
    env QT_QPA_PLATFORM=wayland ${1:+QT_SCALE_FACTOR=$1} "$demo" <"$work/in" >"$work/out" 2>"$work/demo.log" &
    demo_pid=$!
    pids+=($demo_pid)
    exec 3>"$work/in"
    for _ in $(seq 50); do locate; [ "$W" -gt 0 ] && break; sleep 0.2; done
    if [ "$W" = 0 ]; then
        echo "the demo shows no window under weston (is qt6-wayland installed?):"; cat "$work/demo.log"; exit 2
    fi
    xdotool mousemove $((X + W / 2)) $((Y + H / 2)) click 1   # weston gives it the keyboard
    sleep 0.3
}
start_demo

failure_detail() { echo "window $X $Y $W $H; demo: $(tail -n 1 "$work/out")"; }
query() {   # sets QX QY QW QH (the geometry the demo reports) MAX CURSOR (Qt's shape number)
    local before
    before=$(grep -c geometry "$work/out")
    echo geometry >&3
    for _ in $(seq 50); do [ "$(grep -c geometry "$work/out")" -gt "$before" ] && break; sleep 0.05; done
    read -r _ QX QY QW QH _ MAX _ _ _ _ _ _ CURSOR < <(grep geometry "$work/out" | tail -n 1)
}
reported() { grep -c "^$1" "$work/out"; }   # how often the demo printed a line starting with $1
size_hor_cursor=6

query; locate   # weston may place it partly off its output, cut on screenshots
drag $((X + W / 2)) $((Y + 15)) $((300 - X)) $((200 - Y))
locate
check "title bar drag moves the window" eval 'near $X 300 && near $Y 200 && [ "$W $H" = "$QW $QH" ]'
shows_through() {   # X Y: the pixel there is the desktop's grey, not the frame's blue
    local r b
    read -r r b < <(import -window root png:- | convert - -format "%[fx:int(255*p{$1,$2}.r)] %[fx:int(255*p{$1,$2}.b)]" info:)
    [ $((b - r)) -lt 40 ]
}
check "the top corners are cut off" eval 'shows_through $X $Y && shows_through $((X + W - 1)) $Y && ! shows_through $((X + 1)) $((Y + 5))'

x0=$X y0=$Y
xdotool mousemove $((X + W / 2)) $((Y + 15)) mousedown 1
sleep 0.2
xdotool mousemove_relative -- 30 20
sleep 0.4
locate
check "the window follows the title bar's first motion" eval 'near $X $((x0 + 30)) && near $Y $((y0 + 20))'
xdotool mouseup 1 mousemove_relative -- 60 60
sleep 0.4
locate
check "it stops at the release" eval 'near $X $((x0 + 30)) && near $Y $((y0 + 20))'
xdotool mousemove $((X + W - 3)) $((Y + H / 2)) mousemove_relative -- 1 0
sleep 0.3
query
check "after a move the right edge shows the resize cursor" eval '[ "$CURSOR" = $size_hor_cursor ]'

# A flick let go before the compositor starts the move: the window must not stick to the pointer.
x0=$X y0=$Y
xdotool mousemove $((X + W / 2)) $((Y + 15)) mousedown 1 mousemove_relative -- 8 4 mouseup 1
sleep 0.4
xdotool mousemove_relative -- 150 150
sleep 0.4
locate
check "a flicked title bar does not stick to the pointer" eval '[ $((X - x0)) -le 8 ] && [ $((Y - y0)) -le 4 ]'

locate; x0=$X y0=$Y w0=$W h0=$H
drag $((X + W - 1)) $((Y + H / 2)) 60 0
locate
check "right edge widens" eval 'near $W $((w0 + 60)) && [ "$X $Y $H" = "$x0 $y0 $h0" ]'
maximise_button() {   # a hash of the maximise button's top left corner, clear of the pointer
    import -window root png:- | convert - -crop 10x10+$((X + W - 48))+$((Y + 6)) +repage -format "%#" info:
}
unlit=$(maximise_button)
xdotool mousemove $((X + W - 29)) $((Y + 24)) mousemove_relative -- 1 0
sleep 0.3
check "after a resize the title-bar buttons light up under the pointer" eval '[ "$(maximise_button)" != "$unlit" ]'

locate; x0=$X y0=$Y w0=$W h0=$H
drag $((X + W / 2)) $((Y + H - 1)) 0 50
locate
check "bottom edge heightens" eval 'near $H $((h0 + 50)) && [ "$X $Y $W" = "$x0 $y0 $w0" ]'

locate; x0=$X y0=$Y w0=$W h0=$H
drag $X $((Y + H / 2)) -40 0
locate
check "left edge widens to the left" eval 'near $W $((w0 + 40)) && near $X $((x0 - 40)) && [ "$Y $H" = "$y0 $h0" ]'

locate; x0=$X y0=$Y w0=$W h0=$H
drag $((X + W / 2)) $((Y + 1)) 0 -30
locate
check "top edge heightens upwards" eval 'near $H $((h0 + 30)) && near $Y $((y0 - 30)) && [ "$X $W" = "$x0 $w0" ]'

maximised() { [ "$MAX" = 1 ] && [ "$X $Y $W $H" = "0 $panel $output_width $((output_height - panel))" ]; }
restored() { [ "$MAX" = 0 ] && [ "$X $Y $W $H" = "$x0 $y0 $w0 $h0" ] && [ "$QW $QH" = "$w0 $h0" ]; }
locate; x0=$X y0=$Y w0=$W h0=$H
double_click $((X + W / 2)) $((Y + 15))
locate; query
check "double click maximises below the panel" maximised
double_click $((X + W / 2)) $((Y + 15))
locate; query
check "double click restores the bounds" restored

# The title-bar buttons: minimise, maximise and close sit 60, 38 and 16 pixels from the right.
title_button() { xdotool mousemove $((X + W - $(scaled $1))) $((Y + $(scaled 15))) click 1; sleep 1; }
title_button 38
locate; query
check "the maximise button maximises below the panel" maximised
title_button 38
locate; query
check "the restore button restores the bounds" restored

title_button 60
locate
check "the minimise button hides the window" eval '[ "$W" = 0 ] && kill -0 $demo_pid'
xdotool keydown super key Tab keyup super   # weston's window switcher brings it back
sleep 1
locate
check "the minimised window comes back where it was" eval '[ "$X $Y $W $H" = "$x0 $y0 $w0 $h0" ]'

xdotool mousemove $((X + W / 2)) $((Y + H / 2)) click 1
sleep 0.3
query
xdotool key --clearmodifiers alt+space
sleep 0.5
menu=$(grep "system menu" "$work/out" | tail -n 1)
check "Alt+Space opens the system menu below the title bar" eval '[ "$menu" = "system menu $QX $((QY + 29))" ]'
xdotool key Escape
sleep 0.3

opened=$(reported "File menu")
xdotool mousemove $((X + 20)) $((Y + 39)) click 1
sleep 0.5
check "a click on File opens its menu below the menu bar" eval '[ $(reported "File menu") = $((opened + 1)) ] && [ "$(tail -n 1 "$work/out")" = "File menu $((QX + 3)) $((QY + 51))" ]'
xdotool key Escape
sleep 0.3
xdotool key --clearmodifiers alt+f
sleep 0.5
check "Alt+F opens it from the keyboard" eval '[ $(reported "File menu") = $((opened + 2)) ]'
xdotool key Escape
sleep 0.3

closes() { title_button 16; for _ in $(seq 20); do kill -0 $demo_pid 2>/dev/null || break; sleep 0.1; done; ! kill -0 $demo_pid 2>/dev/null; }
check "the close button closes the window" closes
check "no Wayland protocol error" eval '! grep -q "Protocol error" "$work/demo.log"'

# The window is larger than its geometry by the scale factor; the parts beyond the geometry's
# size, right and below, take the mouse too.
for factor in 2 1.5; do
    start_demo $factor
    drag $((X + W / 4)) $((Y + $(scaled 15))) $((20 - X)) $((60 - Y))   # room to grow
    locate; x0=$X y0=$Y w0=$W h0=$H
    title_button 38
    locate; query
    check "at scale $scale the maximise button maximises" eval '[ "$MAX" = 1 ] && [ "$X $Y $W" = "0 $panel $output_width" ]'
    title_button 38
    locate; query
    check "at scale $scale the restore button restores the bounds" eval '[ "$MAX" = 0 ] && [ "$X $Y $W $H" = "$x0 $y0 $w0 $h0" ]'
    xdotool mousemove $((X + W - 2)) $((Y + H * 3 / 4)) mousemove_relative -- 1 0
    sleep 0.3
    query
    check "at scale $scale the right edge shows the resize cursor low down" eval '[ "$CURSOR" = $size_hor_cursor ]'
    drag $((X + W - 1)) $((Y + H - 1)) 60 40
    locate
    check "at scale $scale the bottom-right corner resizes" eval 'near $W $((w0 + 60)) && near $H $((h0 + 40)) && [ "$X $Y" = "$x0 $y0" ]'
    check "at scale $scale the close button closes the window" closes
done

[ "$failures" -eq 0 ] || { echo "--- what the demo reported:"; cat "$work/out"; }
echo "$failures failed"
[ "$failures" -eq 0 ]
