#!/usr/bin/env bash
# Builds the libFuzzer targets with clang, AddressSanitizer and UndefinedBehaviorSanitizer, and
# runs each for a while on a copy of its seed corpus. Fails on any finding.
set -euo pipefail

usage() {
    cat <<'EOF'
Usage: scripts/fuzz.sh [SECONDS [TARGET...]]

Builds every fuzz target (fuzz/fuzz_*.cpp) in its own build folder, then runs each one for
SECONDS seconds (default 60), one after the other, on a copy of fuzz/corpus/TARGET/.
Names a subset of targets with TARGET (e.g. fuzz_menu_walker).

A crash, a sanitizer report, a leak, a hang (an input taking over 10 s) or running out of
memory is a finding: the script says which target found it, keeps the input in
BUILD/fuzz-findings/ and exits 1. Reproduce with: BUILD/fuzz/TARGET INPUT

Environment: KIVORA_FUZZ_BUILD_DIR (default build-fuzz).
EOF
}

if [[ ${1:-} == -h || ${1:-} == --help ]]; then
    usage
    exit 0
fi
seconds=${1:-60}
if ! [[ $seconds =~ ^[1-9][0-9]*$ ]]; then
    echo "fuzz.sh: SECONDS must be a positive whole number, not '$seconds' (see --help)" >&2
    exit 2
fi
shift || true

cd "$(dirname "$0")/.."
root=$(pwd)
build=${KIVORA_FUZZ_BUILD_DIR:-build-fuzz}
findings="$root/$build/fuzz-findings"

all_targets=()
for source in fuzz/fuzz_*.cpp; do
    all_targets+=("$(basename "$source" .cpp)")
done
if (($# > 0)); then
    targets=("$@")
    for target in "${targets[@]}"; do
        if [[ ! -f fuzz/$target.cpp ]]; then
            echo "fuzz.sh: no such target: $target (have: ${all_targets[*]})" >&2
            exit 2
        fi
    done
else
    targets=("${all_targets[@]}")
fi

echo "== Fuzzing: building ${#targets[@]} targets in $build =="
# Optimised, as fuzzers are run: the sanitizers still see every fault.
CC=clang CXX=clang++ cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
    -DKIVORA_SANITIZE=ON -DKIVORA_BUILD_FUZZ=ON -DKIVORA_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" --target "${targets[@]}"

work=$(mktemp -d "${TMPDIR:-/tmp}/kivora-fuzz.XXXXXX")
trap 'rm -rf "$work"' EXIT
mkdir -p "$findings"

failed=()
printf '%-28s %10s %8s %8s  %s\n' target runs cov corpus result
for target in "${targets[@]}"; do
    corpus="$work/$target"
    mkdir -p "$corpus"
    if [[ -d fuzz/corpus/$target ]]; then
        cp fuzz/corpus/"$target"/* "$corpus"/ 2>/dev/null || true
    fi
    log="$work/$target.log"
    status=0
    # -error_exitcode and -timeout_exitcode keep every finding a non-zero exit.
    UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 \
        "$build/fuzz/$target" -max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 \
        -error_exitcode=77 -timeout_exitcode=78 -print_final_stats=1 \
        -artifact_prefix="$findings/$target-" "$corpus" >"$log" 2>&1 || status=$?
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -1)
    cov=$(grep -Eo 'cov: [0-9]+' "$log" | tail -1 | cut -d' ' -f2)
    size=$(find "$corpus" -type f | wc -l)
    if ((status == 0)); then
        printf '%-28s %10s %8s %8s  %s\n' "$target" "${runs:-?}" "${cov:-?}" "$size" ok
    else
        printf '%-28s %10s %8s %8s  %s\n' "$target" "${runs:-?}" "${cov:-?}" "$size" \
            "FINDING (exit $status)"
        failed+=("$target")
        cp "$log" "$findings/$target.log"
        # The report: from the sanitizer's or libFuzzer's first line of it to the end.
        sed -n '/^==[0-9]*==\|^[^ ]*: check failed\|runtime error\|^ALARM\|out-of-memory/,$p' \
            "$log" | head -60 >&2
    fi
done

if ((${#failed[@]} > 0)); then
    echo "fuzz.sh: findings in: ${failed[*]}; inputs and logs in $findings" >&2
    exit 1
fi
echo "== Fuzzing: no findings (${seconds} s per target) =="
