#!/usr/bin/env bash
# HEX <-> binary conversion of quenvar-cli against objcopy (binutils) on one
# random image whose HEX file objcopy makes, and opening that HEX file into the
# window's buffer model (files_bench BM_OpenHexFile). Run by hand on a release
# build, on a quiet machine:
#   bench/cli/convert.sh [path/to/quenvar-cli] [bytes]
# Defaults: build/release/cli/quenvar-cli and 16 MiB; files_bench is taken from
# the same build (FILES_BENCH overrides). Every job runs $RUNS times (default
# 5), quenvar-cli and objcopy in turn; the best wall time counts, the peak RSS
# (/usr/bin/time %M) is the largest seen. Every output is checked.
set -euo pipefail

cli=${1:-build/release/cli/quenvar-cli}
size=${2:-16777216}
runs=${RUNS:-5}
bench=${FILES_BENCH:-$(dirname "$cli")/../bench/files/files_bench}
for tool in "$cli" "$bench" objcopy /usr/bin/time; do
  command -v "$tool" >/dev/null || { echo "convert.sh: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c "$size" /dev/urandom >"$work/in.bin"
objcopy -I binary -O ihex "$work/in.bin" "$work/in.hex"

declare -A best_ns peak_kb

# Runs "$@" once under /usr/bin/time and keeps the best wall time and the
# largest peak RSS under the key $1.
timed() {
  local key=$1 start end ns kb
  shift
  start=$(date +%s%N)
  /usr/bin/time -f %M -o "$work/rss" "$@" >/dev/null
  end=$(date +%s%N)
  ns=$((end - start))
  kb=$(tail -n 1 "$work/rss")
  if [ -z "${best_ns[$key]:-}" ] || [ "$ns" -lt "${best_ns[$key]}" ]; then best_ns[$key]=$ns; fi
  if [ -z "${peak_kb[$key]:-}" ] || [ "$kb" -gt "${peak_kb[$key]}" ]; then peak_kb[$key]=$kb; fi
}

# The buffer's own timing of one open, without the process around it.
open_ms() {
  QUENVAR_BENCH_HEX_IN="$work/in.hex" "$bench" --benchmark_filter='^BM_OpenHexFile' \
    --benchmark_format=csv 2>/dev/null | awk -F, '/^"BM_OpenHexFile/ { print $3 }'
}

for _ in $(seq "$runs"); do
  timed q_h2b "$cli" convert "$work/in.hex" "$work/q.bin"
  timed o_h2b objcopy -I ihex -O binary "$work/in.hex" "$work/o.bin"
  timed q_b2h "$cli" convert "$work/in.bin" "$work/q.hex"
  timed o_b2h objcopy -I binary -O ihex "$work/in.bin" "$work/o.hex"
  ms=$(open_ms)
  [ -n "$ms" ] || { echo "convert.sh: BM_OpenHexFile gave no time" >&2; exit 1; }
  ns=$(awk -v ms="$ms" 'BEGIN { printf "%d", ms * 1e6 }')
  if [ -z "${best_ns[open]:-}" ] || [ "$ns" -lt "${best_ns[open]}" ]; then best_ns[open]=$ns; fi
done

same() {
  cmp -s "$1" "$2" || { echo "convert.sh: $1 and $2 differ" >&2; exit 1; }
}
same "$work/in.bin" "$work/q.bin"
same "$work/in.bin" "$work/o.bin"
"$cli" convert "$work/o.hex" "$work/check-q.bin"
same "$work/in.bin" "$work/check-q.bin"
objcopy -I ihex -O binary "$work/q.hex" "$work/check-o.bin"
same "$work/in.bin" "$work/check-o.bin"

s() { awk -v ns="$1" 'BEGIN { printf "%.3f s", ns / 1e9 }'; }
mb() { awk -v kb="$1" 'BEGIN { printf "%.1f MB", kb * 1024 / 1e6 }'; }
ratio() { awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'; }
verdict() { awk -v r="$1" -v op="$2" -v g="$3" \
  'BEGIN { ok = op == ">=" ? r >= g : r <= g; print ok ? "met" : "MISSED" }'; }

echo "image: $size random bytes, HEX by objcopy ($(stat -c %s "$work/in.hex") bytes);" \
  "best of $runs, tools in turn; load average $(cut -d' ' -f1-3 /proc/loadavg)"
echo "outputs: both tools' binaries equal the image; each tool reads the other's HEX back to it"
printf '%-15s %11s %11s %7s %-12s %10s %10s %6s %-12s\n' "" quenvar-cli objcopy speed "goal" \
  "RSS q-cli" "RSS objc" RSS "goal"
for dir in h2b b2h; do
  name="HEX -> binary"
  goal=3
  [ "$dir" = b2h ] && name="binary -> HEX" && goal=2
  speed=$(ratio "${best_ns[o_$dir]}" "${best_ns[q_$dir]}")
  rss=$(ratio "${peak_kb[q_$dir]}" "${peak_kb[o_$dir]}")
  printf '%-15s %11s %11s %6sx %-12s %10s %10s %5sx %-12s\n' "$name" \
    "$(s "${best_ns[q_$dir]}")" "$(s "${best_ns[o_$dir]}")" "$speed" \
    ">= ${goal}x $(verdict "$speed" ">=" "$goal")" \
    "$(mb "${peak_kb[q_$dir]}")" "$(mb "${peak_kb[o_$dir]}")" "$rss" \
    "<= 1.5x $(verdict "$rss" "<=" 1.5)"
done
share=$(ratio "${best_ns[open]}" "${best_ns[o_h2b]}")
printf '%-15s %11s %11s %6sx %-12s\n' "open in buffer" "$(s "${best_ns[open]}")" \
  "$(s "${best_ns[o_h2b]}")" "$share" "<= 1x $(verdict "$share" "<=" 1)"
echo "speed: objcopy time / quenvar-cli time; RSS: quenvar-cli / objcopy;" \
  "open in buffer: BM_OpenHexFile / objcopy's HEX -> binary"
