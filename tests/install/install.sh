#!/usr/bin/env bash
# The installed tree: `cmake --install` into a temporary prefix lays out the helper with its
# bundle beside it, kivoractl, and service files naming the installed helper; the helper run
# from there serves from its own bundle and the installed client drives it; the manual pages
# and completions offer exactly the long options the parsers know. With KIVORA_PACKAGE_ROOT
# set, the tree unpacked from the Debian package there (installed under /usr) is checked.
# Usage: install.sh CMAKE BUILD_DIR SOURCE_DIR BINDIR LIBEXECDIR DATADIR
set -uo pipefail
cmake=$1 build=$2 src=$3 bindir=$4 libexecdir=$5 datadir=$6
scratch=$(mktemp -d)
pids=()
trap 'kill "${pids[@]}" 2>/dev/null; rm -rf "$scratch"' EXIT
failed=0
fail() { echo "FAIL: $*"; failed=1; }
under() { [[ $1 == /* ]] && echo "$1" || echo "$prefix/$1"; }
entry() { sed -n "s/^$2=//p" "$1" | head -n 1; }

# A prefix the service files cannot carry is refused before anything is installed.
if DESTDIR='' "$cmake" --install "$build" --prefix "$scratch/with space" >"$scratch/out" 2>&1 ||
    ! grep -q 'choose another --prefix' "$scratch/out" || [[ -e "$scratch/with space" ]]; then
    fail "a prefix with a space was not refused before installing"; cat "$scratch/out"
fi

root=${KIVORA_PACKAGE_ROOT:-}
if [[ -n $root ]]; then
    prefix=$root/usr
else
    prefix=$scratch/prefix
    DESTDIR='' "$cmake" --install "$build" --prefix "$prefix" >/dev/null || exit 1
fi
helper=$(under "$libexecdir")/kivora/KivoraData
bundle=$helper.bundle ctl=$(under "$bindir")/kivoractl share=$(under "$datadir")
unit=$prefix/lib/systemd/user/kivoradata.service
service=$share/dbus-1/services/org.morvane.Kivora.KivoraData.service
name=org.morvane.Kivora.KivoraData

while read -r kind path; do
    [[ -f $path && ( $kind != x || -x $path ) ]] || fail "$path: missing (want kind $kind)"
done <<EOF
x $helper
x $ctl
f $bundle/Info.plist
f $bundle/Resources/com.apple.symbolichotkeys.plist
f $bundle/Resources/demo-desktop.json
f $share/man/man1/kivoractl.1.gz
f $share/man/man8/KivoraData.8.gz
f $share/bash-completion/completions/kivoractl
f $share/zsh/vendor-completions/_kivoractl
f $share/dbus-1/interfaces/org.morvane.DistributedNotificationCenter.xml
EOF

# Every program names the version the bundle carries.
version=$(grep -A1 CFBundleShortVersionString "$bundle/Info.plist" | grep -o '<string>[^<]*' | cut -c9-)
[[ -n $version ]] || fail "no version in $bundle/Info.plist"
for program in "$helper" "$ctl"; do
    out=$("$program" --version) && [[ $out == "${program##*/} $version" ]] ||
        fail "$program --version said '$out', not '${program##*/} $version'"
done

# The service files name the installed path, not the build tree's nor the configured prefix's.
while read -r file key want; do
    [[ $(entry "$file" "$key") == "$want" ]] || fail "$file: $key=$(entry "$file" "$key"), not $want"
done <<EOF
$unit ExecStart ${helper#"$root"}
$unit BusName $name
$unit WantedBy graphical-session.target
$service Exec ${helper#"$root"}
$service Name $name
$service SystemdService kivoradata.service
EOF
doc=$(entry "$unit" Documentation)
[[ $doc == *file://* && -f $root${doc#*file://} ]] || fail "$unit: Documentation=$doc is no file"

# The installed helper on a private bus, serving the installed demo desktop. Its home holds
# symbolic hot keys without a single entry, so every system shortcut comes from the bundle.
bus=$(dbus-daemon --config-file=/usr/share/dbus-1/session.conf --fork --print-address=1 \
    --print-pid=3 3>"$scratch/bus.pid")
pids+=("$(cat "$scratch/bus.pid")")
export DBUS_SESSION_BUS_ADDRESS=$bus
mkdir -p "$scratch/home/Library/Preferences"
printf '%s\n' '<?xml version="1.0" encoding="UTF-8"?>' '<plist version="1.0"><dict>' \
    '<key>AppleSymbolicHotKeys</key><dict/></dict></plist>' \
    >"$scratch/home/Library/Preferences/com.apple.symbolichotkeys.plist"
start_helper() {
    HOME=$scratch/home "$helper" --desktop "$bundle/Resources/demo-desktop.json" \
        >/dev/null 2>"$scratch/helper.err" &
    helper_pid=$!
    pids+=("$helper_pid")
    gdbus wait --session --timeout 20 "$name" || fail "the helper did not take its name"
}
# The number of shortcut records in kivoractl's answer to COMMAND.
records() { "$ctl" "$1" --json | grep -o '"Title"' | wc -l; }
stop_helper() {
    "$ctl" quit >/dev/null || fail "kivoractl quit failed"
    timeout 20 tail --pid="$helper_pid" -f /dev/null || fail "the helper did not end"
    wait "$helper_pid" || fail "the helper ended with status $?"
    [[ ! -s $scratch/helper.err ]] || fail "the helper wrote errors: $(cat "$scratch/helper.err")"
}

start_helper
(($(records current) > 0)) || fail "no current shortcuts from the installed helper"
(($(records system) > 0)) || fail "no system shortcuts from the bundle's default file"
# The control object describes itself with the methods of the installed interface file, each
# as "name: direction type ..." so that attribute order and comments do not matter.
methods() {
    sed -n '/<interface name="org.morvane.Kivora.SimulatedDesktop">/,/<\/interface>/p' |
        grep -oE '<(method|arg)\s[^>]*>' | while read -r element; do
        attr() { [[ $element =~ [[:space:]]$1=\"([^\"]*)\" ]] && echo "${BASH_REMATCH[1]}"; }
        [[ $element == "<method"* ]] && printf '\n%s:' "$(attr name)" ||
            printf ' %s %s' "$(attr direction)" "$(attr type)"
    done
}
live=$(gdbus introspect --session --xml --dest "$name" \
    --object-path /org/morvane/Kivora/KivoraData/Desktop)
[[ $live == *org.freedesktop.DBus.Introspectable* ]] || fail "no introspection: $live"
want=$(methods <"$share/dbus-1/interfaces/org.morvane.Kivora.SimulatedDesktop.xml")
[[ -n $want && $(methods <<<"$live") == "$want" ]] ||
    fail "desktop methods:$(methods <<<"$live")
not:$want"
stop_helper

# Without the default file in the installed bundle the system shortcuts are empty, although
# the build tree still has it: the helper reads the bundle beside it.
rm "$bundle/Resources/com.apple.symbolichotkeys.plist"
[[ -f $build/KivoraData.bundle/Resources/com.apple.symbolichotkeys.plist ]] || fail "no build bundle"
start_helper
(($(records system) == 0)) || fail "system shortcuts came from outside the installed bundle"
stop_helper

# The manual pages and completions offer exactly the long options the parsers know.
long_options() { grep -ohE -- '--[a-z][a-z-]*[a-z]' "$@" | sort -u; }
in_man() { zcat "$1" | sed 's/\\-/-/g' | long_options; }
in_source() { grep -ohE '"--[a-z][a-z-]*[a-z]' "$@" | tr -d '"' | sort -u; }
same() { [[ $2 == "$3" ]] || { fail "$1:"; diff <(echo "$2") <(echo "$3"); }; }
ctl_man=$(in_man "$share/man/man1/kivoractl.1.gz")
same "kivoractl: parser (<) and manual page (>)" \
    "$(in_source $(find "$src/tools/kivoractl" -name '*.cpp'))" "$ctl_man"
same "kivoractl: manual page (<) and bash completion (>)" "$ctl_man" \
    "$(long_options "$share/bash-completion/completions/kivoractl")"
same "kivoractl: manual page (<) and zsh completion (>)" "$ctl_man" \
    "$(long_options "$share/zsh/vendor-completions/_kivoractl")"
same "KivoraData: parser (<) and manual page (>)" \
    "$(in_source $(grep -rl 'Usage: KivoraData' "$src/src"))" "$(in_man "$share/man/man8/KivoraData.8.gz")"
exit $failed
