#!/usr/bin/env bash
# Fails when a C++ file under src/, tools/, tests/, bench/ or fuzz/ differs from .clang-format,
# naming the files. Run from anywhere in the tree; CLANG_FORMAT picks the binary.
set -euo pipefail
cd "$(dirname "$0")/.."
format=${CLANG_FORMAT:-clang-format}
status=0
while IFS= read -r -d '' file; do
  if ! "$format" --dry-run --Werror "$file" >/dev/null 2>&1; then
    echo "not formatted: $file (run: $format -i $file)" >&2
    status=1
  fi
done < <(git ls-files -z -- 'src/*.cpp' 'src/*.h' 'tools/*.cpp' 'tools/*.h' 'tests/*.cpp' \
  'tests/*.h' 'bench/*.cpp' 'bench/*.h' 'fuzz/*.cpp' 'fuzz/*.h')
exit "$status"
