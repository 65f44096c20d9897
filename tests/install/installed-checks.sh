# Sourced by check-install.sh and check-package.sh: what a user must find under an
# installation prefix, and the helpers both share.
fail() { echo "FAIL: $*" >&2; exit 1; }

# "WIDTH HEIGHT" of a PNG file, read from its header; empty when it is not a PNG.
png_size() {
  [ "$(head -c 8 "$1" | od -An -tx1 | tr -d ' \n')" = 89504e470d0a1a0a ] || return 0
  od -An -tu1 -j16 -N8 "$1" | awk '{ print $1*16777216 + $2*65536 + $3*256 + $4, $5*16777216 + $6*65536 + $7*256 + $8 }'
}

# check_installed PREFIX VERSION SCRATCH: the desktop entry is valid and starts an installed
# program, every icon is a PNG of its folder's size, and the installed programs run from
# there: the command line tells its version and lists the demo registry, the window opens it
# and renders itself. SCRATCH is a writable folder for the user's data.
check_installed() {
  prefix=$1
  version=$2
  scratch=$3
  entry=$prefix/share/applications/parvelle.desktop
  [ -f "$entry" ] || fail "no share/applications/parvelle.desktop"
  desktop-file-validate "$entry" || fail "desktop-file-validate rejects $entry"
  program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
  [ -x "$prefix/bin/$program" ] || fail "Exec names '$program', which is not installed in bin"
  icon=$(sed -n 's/^Icon=//p' "$entry")

  for size in 16 32 48; do
    [ -f "$prefix/share/icons/hicolor/${size}x$size/apps/$icon.png" ] || fail "no ${size}x$size icon '$icon'"
  done
  for png in "$prefix"/share/icons/hicolor/*/apps/*.png; do
    folder=$(basename "$(dirname "$(dirname "$png")")")
    [ "$(png_size "$png")" = "$(echo "$folder" | tr x ' ')" ] || fail "$png is not a $folder PNG"
  done

  [ -x "$prefix/bin/parvelle-cli" ] || fail "parvelle-cli not installed in bin"
  answer=$("$prefix/bin/parvelle-cli" --version) || fail "installed parvelle-cli --version failed"
  [ "$answer" = "parvelle-cli $version" ] || fail "parvelle-cli --version says '$answer'"
  XDG_DATA_HOME=$scratch/user-data "$prefix/bin/parvelle-cli" list --format csv | grep -q '^KeyName,' \
    || fail "the installed parvelle-cli did not list the demo registry"

  shot=$scratch/window.png
  XDG_DATA_HOME=$scratch/user-data "$prefix/bin/$program" --screenshot "$shot" --page 1 \
    || fail "the installed window did not render"
  [ -n "$(png_size "$shot")" ] || fail "the installed window wrote no PNG"
}
