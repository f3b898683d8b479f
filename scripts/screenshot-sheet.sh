#!/usr/bin/env bash
# Regenerates the README's screenshots of kivora-sheet on a virtual display of their own:
#   docs/sheet-demo.png  the sheet over the demo editor (the helper on its demo desktop)
#   docs/sheet-gtk.png   the sheet over a real GTK application (the desktop tests' one)
# Needs a build in build/ (or $BUILD) and scripts/install-desktop-deps.sh. Everything it starts
# runs on a private session bus and is ended by process id.
set -euo pipefail

root=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD:-$root/build}
py=/usr/bin/python3

if [[ -z "${KIVORA_SCREENSHOT_BUS:-}" ]]; then
  exec env KIVORA_SCREENSHOT_BUS=1 dbus-run-session -- "$0" "$@"
fi

pids=()
work=
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  [[ -n "$work" ]] && rm -rf "$work"
}
trap cleanup EXIT

# Polls `$@` for up to ten seconds.
wait_for() {
  for _ in $(seq 100); do "$@" >/dev/null 2>&1 && return 0; sleep 0.1; done
  echo "screenshot-sheet: timed out waiting for: $*" >&2
  return 1
}

work=$(mktemp -d)
Xvfb -displayfd 5 -nolisten tcp -screen 0 1366x768x24 5>"$work/display" 2>/dev/null & pids+=($!)
wait_for test -s "$work/display"
export DISPLAY=":$(cat "$work/display")" GSK_RENDERER=cairo NO_AT_BRIDGE=0 LANG=C.UTF-8
openbox --sm-disable >/dev/null 2>&1 & pids+=($!)
/usr/libexec/at-spi-bus-launcher --launch-immediately >/dev/null 2>&1 & pids+=($!)
wait_for gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.a11y.Bus.GetAddress

owned() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner org.morvane.Kivora.KivoraData | grep -q true
}

# Starts the sheet, waits until it has painted its reply, and saves the whole screen to $1.
shoot() {
  local log="$work/sheet.log"
  KIVORA_SHEET_TIMING=1 "$build/tools/sheet/kivora-sheet" 2>"$log" & local sheet=$!
  wait_for grep -q "kivora-sheet timing" "$log"
  sleep 0.5
  "$py" - "$1" <<'EOF'
import sys
import gi
gi.require_version("Gdk", "3.0")
from gi.repository import Gdk
root = Gdk.get_default_root_window()
Gdk.pixbuf_get_from_window(root, 0, 0, root.get_width(), root.get_height()).savev(sys.argv[1], "png", [], [])
EOF
  kill "$sheet"; wait "$sheet" 2>/dev/null || true
  echo "wrote $1"
}

# Over the demo editor.
HOME="$root/resources/demo/home" "$build/KivoraData" \
  --desktop "$build/KivoraData.bundle/Resources/demo-desktop.json" >/dev/null & helper=$!
wait_for owned
shoot "$root/docs/sheet-demo.png"
kill "$helper"; wait "$helper" 2>/dev/null || true
wait_for eval '! owned'

# Over a real application: the helper first, so that it sees the application come to the front,
# and toolkit accessibility on, as the helper's permission prompt would leave it.
gdbus call --session --dest org.a11y.Bus --object-path /org/a11y/bus \
  --method org.freedesktop.DBus.Properties.Set org.a11y.Status IsEnabled '<true>' >/dev/null
"$build/KivoraData" >/dev/null 2>&1 & pids+=($!)
wait_for owned
"$py" "$root/tests/desktop/apps/gtk_menu_app.py" --title "Text Editor" >"$work/app.log" & pids+=($!)
wait_for grep -q ready "$work/app.log"
sleep 1
shoot "$root/docs/sheet-gtk.png"
