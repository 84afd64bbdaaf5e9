#!/usr/bin/env bash
# Builds the libFuzzer harnesses with clang (preset "fuzz") and runs each one.
# A harness in fuzz/<name>/ is the executable <name>_fuzz; a <name>.dict and a
# seeds/ folder next to it are used when present. New inputs collect in
# fuzz/corpus-<name>/, findings in fuzz/crash-<name>-* (both ignored by git).
# Usage: fuzz/run.sh [seconds per harness, default 60]
set -euo pipefail
cd "$(dirname "$0")/.."
seconds=${1:-60}

scripts/install-deps.sh
cmake --preset fuzz >/dev/null
cmake --build --preset fuzz -j "$(nproc)"

export UBSAN_OPTIONS=${UBSAN_OPTIONS:-halt_on_error=1:print_stacktrace=1}
status=0
for dir in fuzz/*/; do
  name=$(basename "$dir")
  exe=build/fuzz/fuzz/$name/${name}_fuzz
  [ -x "$exe" ] || continue
  corpus=fuzz/corpus-$name
  mkdir -p "$corpus"
  args=(-max_total_time="$seconds" -print_final_stats=1 -artifact_prefix="fuzz/crash-$name-")
  [ -f "$dir$name.dict" ] && args+=(-dict="$dir$name.dict")
  inputs=("$corpus")
  [ -d "${dir}seeds" ] && inputs+=("${dir}seeds")
  echo "fuzz: $name for ${seconds}s" >&2
  # The fuzzer's progress lines go to a log; the end (or the finding) is shown.
  log=build/fuzz/$name.log
  if "$exe" "${args[@]}" "${inputs[@]}" >"$log" 2>&1; then
    grep -E '^(Done|stat::number_of_executed_units|stat::peak_rss_mb)' "$log" || true
    grep -E ' (cov|ft): ' "$log" | tail -n 1
  else
    tail -n 60 "$log"
    status=1
  fi
done
exit $status
