#!/bin/sh
# Installs the Debian packages that building, running and testing need (only those missing).
set -e
PACKAGES="cmake ninja-build g++ ccache pkg-config xz-utils qt6-base-dev qt6-base-dev-tools \
libgl-dev libhivex-dev libhivex-bin libwin-hivex-perl reglookup libgtest-dev libgmock-dev libbenchmark-dev \
fonts-wine fonts-liberation fonts-wqy-microhei poppler-utils jq time wine desktop-file-utils xdg-utils libxcb1-dev \
appstream dpkg-dev file parallel strace \
xvfb dbus-daemon at-spi2-core python3-pyatspi"
missing=""
for p in $PACKAGES; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing="$missing $p"
done
[ -z "$missing" ] && exit 0
if [ "$(id -u)" -ne 0 ]; then
  echo "missing packages:$missing (run as root to install them)" >&2
  exit 1
fi
apt-get update -qq
DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends $missing
