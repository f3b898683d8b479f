#!/usr/bin/env bash
# Installs the Debian 12 packages that building, testing and running KivoraData need.
# Run as root. Does nothing when everything is already there.
set -euo pipefail

packages=(
  build-essential cmake ninja-build pkg-config clang clang-format
  libsystemd-dev libplist-dev libutf8proc-dev nlohmann-json3-dev libx11-dev libxtst-dev
  libglib2.0-dev gsettings-desktop-schemas
  libgtkmm-4.0-dev
  libgtest-dev libgmock-dev libbenchmark-dev
  dbus-daemon dbus-bin libglib2.0-bin valgrind
  help2man dpkg-dev fakeroot file lintian systemd
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
