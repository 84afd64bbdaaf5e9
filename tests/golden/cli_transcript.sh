#!/usr/bin/env bash
# A fixed set of quenvar-cli runs against the simulated programmer, printed as
# one transcript: each run's arguments, exit status, standard output, standard
# error and the SHA-256 of every file it wrote. Durations and the scratch
# folder are masked, so the transcript is the same on every machine and run.
#
#   cli_transcript.sh QUENVAR_CLI              print the transcript
#   cli_transcript.sh QUENVAR_CLI EXPECTED     compare with a recorded one
#   cli_transcript.sh QUENVAR_CLI EXPECTED --update   record it anew
set -euo pipefail
cli=$(realpath "$1")
expected=${2:+$(realpath -m "$2")}
work=$(mktemp -d)
trap 'rm -rf "$work" "$work.out" "$work.err" "${out:-}"' EXIT
cd "$work"
export LC_ALL=C.UTF-8 TZ=UTC HOME="$work"

# Inputs: fixed bytes, no randomness.
bytes() { # count seed
  awk -v n="$1" -v s="$2" 'BEGIN { x = s; for (i = 0; i < n; i++) { x = (x * 1103515245 + 12345) % 2147483648; printf "%c", int(x / 65536) % 256 } }'
}
LC_ALL=C bytes 100 1 > a.bin
LC_ALL=C bytes 200 2 > 200.bin
LC_ALL=C bytes 300 3 > ee.bin
LC_ALL=C bytes 1000 4 > d.bin
: > empty.bin
printf ':0400100001020304E2\r\n:00000001FF\r\n' > a.hex
printf ':0400100001020304E2\r\n' > noend.hex
printf ':0400100001020304E3\r\n:00000001FF\r\n' > csum.hex
mkdir locked-dir

out=$(mktemp)
# Name and short hash of every file here, to tell which ones a run wrote.
snapshot() { for f in *; do [ -f "$f" ] && printf '%s %s\n' "$f" "$(sha256sum < "$f" | cut -c1-16)"; done; }
run() { # name args...
  local name=$1 status=0 before
  shift
  {
    printf '=== %s: quenvar-cli' "$name"
    printf ' %s' "$@"
    printf '\n'
  } >> "$out"
  before=$(snapshot)
  "$cli" "$@" > "$work.out" 2> "$work.err" < /dev/null || status=$?
  printf -- '--- status %d\n--- stdout\n' "$status" >> "$out"
  sed -E 's/[0-9]+\.[0-9]{2} s$/#.## s/' "$work.out" >> "$out"
  printf -- '--- stderr\n' >> "$out"
  sed -e "s|$work|%D|g" "$work.err" >> "$out"
  snapshot | grep -vxF -f <(printf '%s\n' "$before") | sed 's/^/--- wrote /' >> "$out" || true
}

run help --help
run version --version
run no-command
run unknown-option -x detect
run second-simulate --simulate --simulate detect
run timeout-range --simulate --timeout 0 detect
run unknown-target --simulate --target FOO detect
run list --simulate list
run detect --simulate detect
run detect-de --simulate=isp=ATmega128 --lang de detect
run detect-locked --simulate=isp=locked detect
run detect-unknown --simulate=isp=sig:1E9801 detect
run detect-none --simulate=isp=none detect
run detect-socket --simulate --target 24AA256 detect
run read-fuses --simulate read-fuses
run read-fuses-ru --simulate=isp=ATtiny13 --lang ru read-fuses
run write-fuses --simulate write-fuses --program BOOTRST --unprogram SUT0
run write-fuses-unknown --simulate write-fuses --program NOPE
run write-fuses-guard-de --simulate=isp=ATmega168 --lang de write-fuses --program DWEN,RSTDISBL
run write-flash-hex --simulate write-flash a.hex
run write-flash-bin-no-verify --simulate --no-verify write-flash a.bin
run verify-fresh --simulate verify a.bin
run state-write --simulate=state=s.qvs write-flash a.bin
run state-verify-read --simulate=state=s.qvs verify a.bin read-flash back.hex read-flash back.bin
run read-eeprom --simulate read-eeprom ee-back.bin
run write-eeprom --simulate write-eeprom ee.bin
run erase --simulate erase
run socket-chain --simulate --target 24AA256 erase write-flash d.bin verify d.bin read-flash d-back.bin
run socket-de-index --simulate --lang de --target 0 read-flash e.bin
run socket-too-large --simulate --target 24AA01 write-flash 200.bin
run empty-image --simulate write-flash empty.bin
run missing-file --simulate write-flash missing.hex
run no-end-record --simulate write-flash noend.hex
run wrong-csum --simulate write-flash csum.hex
run wrong-csum-ru --simulate --lang ru write-flash csum.hex
run no-format --simulate write-flash notes.txt
run convert-hex-bin convert a.hex a-conv.bin
run convert-bin-hex convert d.bin d-conv.hex
run convert-other-name convert a.bin ab
run output-folder-missing --simulate read-flash missing-dir/x.bin
run locked-read --simulate=isp=locked read-flash x.bin
run locked-write --simulate=isp=locked write-flash a.bin
# Production programming, on runs whose output does not depend on which
# programmer answers first.
printf '1000\n' > serial.txt
printf '100\n' > serial100.txt
run gang-list --simulate=programmers=3 list
run programmer-by-path --simulate=programmers=2 --programmer /sim/port2 detect
run programmer-missing --simulate=programmers=2 --programmer 3 detect
run serial-one --simulate=programmers=2 --programmer 2 --serial flash:0x10:4:hex --serial-file serial.txt write-flash a.bin verify a.bin
run serial-too-big --simulate --serial eeprom:0:2:ascii --serial-file serial100.txt write-eeprom ee.bin
run serial-bad-text --simulate --serial rom:0:4 --serial-file serial.txt write-flash a.bin
run serial-no-write --simulate --serial eeprom:0:4 --serial-file serial.txt write-flash a.bin
run production-read --simulate=programmers=2 --programmer all read-flash x.bin
rm -f "$work.out" "$work.err"

if [ -z "$expected" ]; then
  cat "$out"
elif [ "${3:-}" = --update ]; then
  cp "$out" "$expected"
else
  diff -u "$expected" "$out"
fi
