#!/usr/bin/env bash
# Installs the Debian 12 packages for the real-desktop backend and its tests: X11 and XTest
# headers to build, and for the desktop tests a session of their own (Xvfb, openbox, the
# accessibility bus), the GTK and Qt bindings of the test applications, and mousepad.
# Run as root. Does nothing when everything is already there.
set -euo pipefail

packages=(
  libx11-dev libxtst-dev
  xvfb openbox x11-utils at-spi2-core libatk-adaptor
  python3 python3-gi gir1.2-gtk-3.0 python3-pyqt5
  mousepad
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if ((${#missing[@]})); then
  echo "Installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
