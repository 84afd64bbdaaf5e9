#!/usr/bin/env bash
# HEX <-> binary conversion speed of quenvar-cli against objcopy (binutils) and
# srec_cat (srecord), on one random image. Run by hand on a release build:
#   bench/cli/convert.sh [path/to/quenvar-cli] [bytes]
# Defaults: build/release/cli/quenvar-cli and 16 MiB. Each tool runs a few
# times; the best wall time counts. Every output is checked against the others.
set -euo pipefail

cli=${1:-build/release/cli/quenvar-cli}
size=${2:-16777216}
runs=${RUNS:-3}
for tool in "$cli" objcopy srec_cat; do
  command -v "$tool" >/dev/null || { echo "convert.sh: $tool not found" >&2; exit 1; }
done

work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
head -c "$size" /dev/urandom >"$work/in.bin"

# Best of $runs wall times in seconds for the command in "$@".
best() {
  local best_ns=0 start end ns
  for _ in $(seq "$runs"); do
    start=$(date +%s%N)
    "$@" >/dev/null
    end=$(date +%s%N)
    ns=$((end - start))
    if [ "$best_ns" -eq 0 ] || [ "$ns" -lt "$best_ns" ]; then best_ns=$ns; fi
  done
  awk -v ns="$best_ns" 'BEGIN { printf "%.3f", ns / 1e9 }'
}

same() {
  cmp -s "$1" "$2" || { echo "convert.sh: $1 and $2 differ" >&2; exit 1; }
}

ratio() {
  awk -v a="$1" -v b="$2" 'BEGIN { printf "%.2f", a / b }'
}

echo "image: $size random bytes; best of $runs runs"

# binary -> HEX
t_q_b2h=$(best "$cli" convert "$work/in.bin" "$work/q.hex")
t_o_b2h=$(best objcopy -I binary -O ihex "$work/in.bin" "$work/o.hex")
t_s_b2h=$(best srec_cat "$work/in.bin" -Binary -o "$work/s.hex" -Intel -Output_Block_Size 16)

# HEX -> binary, every tool from every tool's HEX file
t_q_h2b=$(best "$cli" convert "$work/q.hex" "$work/q.bin")
t_o_h2b=$(best objcopy -I ihex -O binary "$work/q.hex" "$work/o.bin")
t_s_h2b=$(best srec_cat "$work/q.hex" -Intel -o "$work/s.bin" -Binary)
same "$work/in.bin" "$work/q.bin"
same "$work/in.bin" "$work/o.bin"
same "$work/in.bin" "$work/s.bin"
for hex in o s; do
  "$cli" convert "$work/$hex.hex" "$work/check-$hex.bin"
  same "$work/in.bin" "$work/check-$hex.bin"
  objcopy -I ihex -O binary "$work/$hex.hex" "$work/check-o-$hex.bin"
  same "$work/in.bin" "$work/check-o-$hex.bin"
done
echo "outputs: all binaries equal the input; every HEX file decodes to it with both readers"
if cmp -s "$work/q.hex" "$work/o.hex"; then
  echo "outputs: quenvar-cli and objcopy HEX files are byte-identical"
fi

printf '%-16s %12s %12s %12s\n' "" quenvar-cli objcopy srec_cat
printf '%-16s %11ss %11ss %11ss\n' "HEX -> binary" "$t_q_h2b" "$t_o_h2b" "$t_s_h2b"
printf '%-16s %11ss %11ss %11ss\n' "binary -> HEX" "$t_q_b2h" "$t_o_b2h" "$t_s_b2h"
echo "HEX -> binary: objcopy/quenvar-cli = $(ratio "$t_o_h2b" "$t_q_h2b")x," \
  "srec_cat/quenvar-cli = $(ratio "$t_s_h2b" "$t_q_h2b")x (goal: objcopy ratio >= 1.5)"
echo "binary -> HEX: objcopy/quenvar-cli = $(ratio "$t_o_b2h" "$t_q_b2h")x," \
  "srec_cat/quenvar-cli = $(ratio "$t_s_b2h" "$t_q_b2h")x (goal: objcopy ratio >= 1.0)"
