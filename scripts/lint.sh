#!/usr/bin/env bash
# The lint step: clang-tidy with the checks of .clang-tidy over every
# translation unit of a build (tests, benchmarks and tools included; Qt's
# generated moc files left out), then clang-format over every C++ file.
# Any finding fails it. Usage: scripts/lint.sh [build folder, default build/debug]
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build/debug}
jobs=$(nproc)
here=$(pwd)
started=$SECONDS

[ -f "$build/compile_commands.json" ] || { echo "lint: no $build/compile_commands.json" >&2; exit 1; }
# Only the tree's own sources: whatever the build generated lives below build/.
run-clang-tidy-14 -quiet -j "$jobs" -p "$build" "^$here/(?!build/)" >"$build/clang-tidy.log" 2>&1 || {
  grep -E 'warning:|error:' "$build/clang-tidy.log" | sort -u >&2
  echo "lint: clang-tidy found the above (whole output in $build/clang-tidy.log)" >&2
  exit 1
}

git ls-files -z '*.cpp' '*.h' | xargs -0 clang-format --dry-run --Werror

echo "lint: $((SECONDS - started)) s"
