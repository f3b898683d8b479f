#!/usr/bin/env bash
# Installs what is missing, builds KivoraData with warnings as errors, and runs every test.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh
bash scripts/install-desktop-deps.sh  # the desktop tests' own session and applications

build=${KIVORA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DKIVORA_WERROR=ON
cmake --build "$build"
ctest --test-dir "$build" --output-on-failure --timeout 300 "$@"
