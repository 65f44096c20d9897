#!/bin/sh
# Draws the main window into DOCS over a fresh demo registry: each page in the WinXP skin
# (screenshot-<page>.png) and the cache list in each other skin (window-<skin>.png).
# Usage: window-screenshots.sh PARVELLE DOCS
set -eu
parvelle=$1
docs=$2
data=/tmp/parvelle-docs   # shown in the title bar's registry note
rm -rf "$data"
trap 'rm -rf "$data"' EXIT
shoot() {
    file=$docs/$1
    shift
    # undo files of the program's own folder (a session of make run) are not drawn
    XDG_DATA_HOME=$data QT_QPA_PLATFORM=offscreen "$parvelle" --screenshot "$file" --undo-dir "$data/undo" "$@" 2>/dev/null
    echo "$file"
}
page=0
for name in about-parvelle arpcache-list other-programs help undo; do
    shoot "screenshot-$name.png" --page $page
    page=$((page + 1))
done
for skin in macos deepblue protein blueglass; do
    shoot "window-$skin.png" --skin $skin
done
