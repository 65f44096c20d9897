#!/bin/sh
# Draws every picture of docs/ into OUT with the programs of BIN: the main window's pages and
# skins (window-screenshots.sh), the skinned frame's demo forms, the gallery of skinned
# controls and the artwork's contact sheet. The docs-pictures target draws them into docs/;
# a test draws them into a scratch folder and compares.
# Usage: docs-pictures.sh BIN OUT
set -eu
bin=$1
out=$2
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
export QT_QPA_PLATFORM=offscreen
sh "$(dirname "$0")/window-screenshots.sh" "$bin/parvelle" "$out" >/dev/null
"$bin/parvelle-framedemo" --screenshots "$out" >/dev/null
"$bin/parvelle-gallery" "$out/skin-controls.png" >/dev/null
"$bin/parvelle-artgen" "$scratch" --contact-sheet "$out/skin-contact-sheet.png" >/dev/null
