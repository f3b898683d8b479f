#!/usr/bin/env bash
# The demo itself, run inside a private session bus by demo.sh.
set -euo pipefail
build=$1
ctl="$build/kivoractl"

home=$(mktemp -d)
log=$(mktemp)
trap 'kill "$helper" 2>/dev/null || true; rm -rf "$home" "$log"' EXIT
cp -r resources/demo/home/. "$home/" 2>/dev/null || true

step() { printf '\n\033[1m== %s\033[0m\n' "$*"; }

HOME=$home "$build/KivoraData" --desktop "$build/KivoraData.bundle/Resources/demo-desktop.json" \
  >"$log" 2>&1 &
helper=$!
owned() {
  gdbus call --session --dest org.freedesktop.DBus --object-path /org/freedesktop/DBus \
    --method org.freedesktop.DBus.NameHasOwner org.morvane.Kivora.KivoraData 2>/dev/null | grep -q true
}
for _ in $(seq 100); do
  owned && break
  kill -0 "$helper" 2>/dev/null || { cat "$log"; exit 1; }
  sleep 0.05
done

step "Permission check: withdrawn, asked for, then granted (answered on the next 5-second poll)"
"$ctl" desktop trust false
"$ctl" permission --timeout 12 &
asker=$!
sleep 1
"$ctl" desktop trust true
wait "$asker"
"$ctl" desktop prompts

step "Shortcuts of the application in front (the demo editor)"
"$ctl" current

step "Press a menu item, and what the desktop saw"
"$ctl" press "Save"
"$ctl" desktop pressed

step "Switch to the second application and read its sheet"
"$ctl" desktop activate com.example.Terminal
"$ctl" current

step "System shortcuts"
"$ctl" system

step "Post the keystroke of a system shortcut (Spotlight, ⌘Space), and what the desktop saw"
"$ctl" key 49 1048576
"$ctl" desktop keys

step "Quit the helper"
"$ctl" quit
wait "$helper"
status=$?

step "The helper's own log lines"
cat "$log"
exit "$status"
