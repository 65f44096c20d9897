#!/bin/sh
# check-install.sh CMAKE BUILD_DIR VERSION
# Installs BUILD_DIR with the CMake that configured it into a temporary prefix and checks
# what a user gets there (installed-checks.sh).
set -eu
. "$(dirname "$0")/installed-checks.sh"
cmake=$1
build=$2
version=$3
prefix=$(mktemp -d)
trap 'rm -rf "$prefix"' EXIT

"$cmake" --install "$build" --prefix "$prefix" >/dev/null
check_installed "$prefix" "$version" "$prefix"
echo "installed and checked in a temporary prefix"
