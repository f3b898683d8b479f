#!/usr/bin/env bash
# Builds the benchmarks (Release) and runs them all; the output ends with one table: every
# goal, the figure of this run, the ratio to the goal or to the baseline measured beside it,
# and whether the goal is met.
#
#   bash scripts/bench.sh [BENCHMARK OPTIONS...]     e.g. --benchmark_filter=RoundTrip
#
# KIVORA_BENCH_BUILD_DIR chooses the build folder (default build-bench). The raw results are
# kept there too: bench-results.txt and bench-results.json.
set -euo pipefail

if [[ "${1:-}" == "--help" || "${1:-}" == "-h" ]]; then
  sed -n '2,9p' "$0" | sed 's/^# \{0,1\}//'
  exit 0
fi

cd "$(dirname "$0")/.."
build=${KIVORA_BENCH_BUILD_DIR:-build-bench}

cmake -S . -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DKIVORA_BUILD_TESTS=ON \
  -DKIVORA_BUILD_BENCH=ON >/dev/null
cmake --build "$build" --target kivora_bench

# Figures taken on a busy machine are pessimistic: say how busy it was.
cores=$(nproc)
read -r load1 _ < /proc/loadavg
echo "== $(date -u +%Y-%m-%dT%H:%M:%SZ), load average $load1 on $cores cores"
if awk -v l="$load1" -v c="$cores" 'BEGIN { exit !(l > c / 2) }'; then
  echo "   (the machine is busy: time figures will be high; run again when it is idle)"
fi

"$build/bench/kivora_bench" --benchmark_out="$build/bench-results.json" \
  --benchmark_out_format=json "$@" | tee "$build/bench-results.txt"
