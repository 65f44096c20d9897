#!/bin/bash
# check-package.sh CPACK BUILD_DIR VERSION
# Builds the Debian package of BUILD_DIR, extracts it into a scratch root and checks it: the
# programs run from there (installed-checks.sh), the libraries come from dpkg-shlibdeps,
# the manual pages name every command, option and option value the programs' --help
# texts print, AppStream accepts the metadata, and the bash completion offers what
# parvelle-cli's help names.
set -eu
. "$(dirname "$0")/installed-checks.sh"
cpack=$1
build=$2
version=$3
scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT

"$cpack" -G DEB --config "$build/CPackConfig.cmake" -B "$scratch/out" >/dev/null || fail "cpack failed"
deb=$(ls "$scratch"/out/parvelle_"$version"_*.deb) || fail "no parvelle_${version}_*.deb written"
root=$scratch/root
dpkg-deb -x "$deb" "$root"
check_installed "$root/usr" "$version" "$scratch"

depends=$(dpkg-deb -f "$deb" Depends)
for library in libqt6widgets6 libqt6core6 libc6; do
  [[ $depends == *"$library "* ]] || fail "Depends lacks $library: $depends"
done
changelog=$(zcat "$root/usr/share/doc/parvelle/changelog.gz" | head -n 1)
[[ $changelog == "parvelle ($version) "* ]] || fail "the changelog's last entry is not $version: $changelog"
[ -f "$root/usr/share/doc/parvelle/copyright" ] || fail "no copyright file"
metainfo=("$root"/usr/share/metainfo/*.metainfo.xml)
appstreamcli validate --no-net "${metainfo[@]}" >/dev/null || fail "appstreamcli rejects ${metainfo[*]}"
grep -q '<launchable type="desktop-id">parvelle.desktop</launchable>' "${metainfo[@]}" \
  || fail "the AppStream metadata does not launch parvelle.desktop"

# The text of a manual page without its font changes and escapes.
manual_text() {
  zcat "$root/usr/share/man/man1/$1.1.gz" | sed -e 's/\\f[BIRP]//g' -e 's/\\-/-/g' -e 's/\\e/\\/g'
}

# Options (-v, --format) in a help text, and the lower-case words of its command synopses
# ("list [--format table|csv|json]": list, table, csv, json).
help_words() {
  local help
  help=$(cat)
  grep -oE -- '(^|[^[:alnum:]-])--?[[:alpha:]][[:alnum:]-]*' <<<"$help" | sed 's/^[^-]*//'
  grep -E '^  [a-z]' <<<"$help" | tr ' []|.' '\n' | grep -E '^[a-z][a-z0-9-]*$' || true
}

# require_documented PROGRAM: every word of its help texts is in its manual page.
require_documented() {
  local program=$1 help text word
  help=$("$root/usr/bin/$program" --help)
  if [ "$program" = parvelle-cli ]; then
    for command in $(sed -n 's/^  \([a-z][a-z-]*\)\( .*\)\{0,1\}$/\1/p' <<<"$help"); do
      help+=$'\n'$("$root/usr/bin/$program" "$command" --help | grep -v '^Usage:')
    done
  fi
  text=$(manual_text "$program")
  for word in $(help_words <<<"$help" | sort -u); do
    grep -qwF -- "$word" <<<"$text" || fail "$program(1) does not mention $word, which its --help names"
  done
}
require_documented parvelle
require_documented parvelle-cli

# The completion, driven as bash drives it, on the commands, options and values of the help.
completions() {
  PATH=$root/usr/bin:$PATH bash -c '
    source "$1"; shift
    compopt() { :; }
    COMP_WORDS=("$@"); COMP_CWORD=$(($# - 1)); _parvelle_cli; echo "${COMPREPLY[*]}"' \
    complete "$root/usr/share/bash-completion/completions/parvelle-cli" parvelle-cli "$@"
}
# require_completion "EXPECTED WORDS" WORD...: completing after WORDS offers each expected word.
require_completion() {
  local expected=$1 offered word
  shift
  offered=" $(completions "$@") "
  for word in $expected; do
    [[ $offered == *" $word "* ]] || fail "completing 'parvelle-cli $*' offers '$offered', not $word"
  done
}
require_completion "list remove restore undo --help" ''
require_completion --format list --for
require_completion "table csv json jsonl" list --format ''
require_completion "$root/usr" list --collection "$root/us"
require_completion "list show" undo ''
require_completion "$root/usr" list --undo-dir "$root/us"
echo "packaged, extracted and checked: $(basename "$deb")"
