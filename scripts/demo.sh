#!/usr/bin/env bash
# Installs what is missing, builds, and runs the helper on its built-in demo desktop, driven by
# kivoractl on a private session bus that this script starts and stops itself.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/install-deps.sh

build=${KIVORA_BUILD_DIR:-build}
cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --target KivoraData kivoractl

exec dbus-run-session -- bash scripts/demo-session.sh "$build"
