#!/bin/sh
# check-atspi.sh BINDIR, run inside a D-Bus session (dbus-run-session): starts Xvfb and
# parvelle on a fresh demo registry with its accessibility bridge on, then reads the window
# through AT-SPI with read-window.py. The session bus starts the accessibility bus when Qt
# asks for it. Needs: xvfb at-spi2-core python3-pyatspi.
set -eu
bin=$1
here=$(dirname "$0")
work=$(mktemp -d)
xvfb= parvelle=
cleanup() {
    [ -z "$parvelle" ] || kill "$parvelle" 2>/dev/null || true
    [ -z "$xvfb" ] || kill "$xvfb" 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*" >&2; cat "$work/out" >&2 2>/dev/null || true; exit 1; }

Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
xvfb=$!
for _ in $(seq 50); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start"
export DISPLAY=":$(cat "$work/display")"

XDG_DATA_HOME=$work/data QT_QPA_PLATFORM=xcb QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1 \
    "$bin/parvelle" --undo-dir "$work/undo" >"$work/out" 2>&1 &
parvelle=$!

# The Debian python, which python3-pyatspi installs into.
/usr/bin/python3 "$here/read-window.py" || fail "the window as a screen reader reads it"

# The Close button's action closes the window, which ends the program.
for _ in $(seq 150); do kill -0 "$parvelle" 2>/dev/null || break; sleep 0.1; done
kill -0 "$parvelle" 2>/dev/null && fail "parvelle still runs after its Close button was pressed"
wait "$parvelle" || fail "parvelle ended with status $?"
parvelle=
echo "a screen reader finds, names and presses the skinned controls"
