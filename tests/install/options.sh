#!/usr/bin/env bash
# The manual pages and completions offer exactly the long options the parsers know.
# Usage: options.sh CMAKE BUILD_DIR SOURCE_DIR; with KIVORA_PACKAGE_ROOT set, the tree unpacked
# from the package there is checked instead of a fresh install of BUILD_DIR.
set -euo pipefail
cmake=$1 build=$2 src=$3
if [[ -n ${KIVORA_PACKAGE_ROOT:-} ]]; then
    prefix=$KIVORA_PACKAGE_ROOT/usr
else
    prefix=$(mktemp -d)
    trap 'rm -rf "$prefix"' EXIT
    DESTDIR= "$cmake" --install "$build" --prefix "$prefix" >/dev/null
fi
share=$prefix/share
failed=0

long_options() { grep -ohE -- '--[a-z][a-z-]*[a-z]' "$@" | sort -u; }
in_man() { zcat "$1" | sed 's/\\-/-/g' | long_options; }
# String literals in the parser's source, e.g. "--json" or "--desktop=".
in_source() { grep -ohE '"--[a-z][a-z-]*[a-z]' "$@" | tr -d '"' | sort -u; }

same() {
    if [[ $2 != "$3" ]]; then
        echo "$1:"; diff <(echo "$2") <(echo "$3") || true
        failed=1
    fi
}

ctl_man=$(in_man "$share/man/man1/kivoractl.1.gz")
same "kivoractl: parser (<) and manual page (>)" \
    "$(in_source $(find "$src/tools/kivoractl" -name '*.cpp'))" "$ctl_man"
same "kivoractl: manual page (<) and bash completion (>)" "$ctl_man" \
    "$(long_options "$share/bash-completion/completions/kivoractl")"
same "kivoractl: manual page (<) and zsh completion (>)" "$ctl_man" \
    "$(long_options "$share/zsh/vendor-completions/_kivoractl")"

helper_man=$(in_man "$share/man/man8/KivoraData.8.gz")
same "KivoraData: parser (<) and manual page (>)" \
    "$(in_source $(grep -rl 'Usage: KivoraData' "$src/src"))" "$helper_man"

exit $failed
