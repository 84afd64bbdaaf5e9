#!/usr/bin/env bash
# What the bash completion of quenvar-cli offers for a command line typed up to its end, as the
# words readline would insert (sorted), in a folder holding a.bin, a.hex, b.txt and sub/.
#   completion_test.sh COMPLETION_FILE
set -u
source "$1"
dir=$(mktemp -d)
trap 'rm -rf "$dir"' EXIT
cd "$dir" && touch a.bin a.hex b.txt && mkdir sub || exit 1
COMP_WORDBREAKS=$' \t\n"\'><=;|&(:'

failed=0
while IFS='|' read -r line expected; do
  [ -z "$line" ] && continue
  COMP_LINE=$line
  COMP_POINT=${#line}
  COMPREPLY=()
  _quenvar_cli
  got=$(printf '%s\n' "${COMPREPLY[@]}" | sed '/^$/d' | LC_ALL=C sort | paste -sd ' ')
  if [ "$got" != "$expected" ]; then
    printf 'FAILED "%s"\n  expected: "%s"\n  got:      "%s"\n' "$line" "$expected" "$got"
    failed=1
  fi
done <<'CASES'
quenvar-cli --tar|--target
quenvar-cli --sim|--simulate --simulate=
quenvar-cli --target 24AA2|24AA256
quenvar-cli --target 1|1 10 11 12 13
quenvar-cli --target I|
quenvar-cli --target=24AA5|24AA512
quenvar-cli --lang |de en ru
quenvar-cli --lang=r|ru
quenvar-cli --timeout |
quenvar-cli --simulate=|chips= isp= programmers= socket= state= timing=
quenvar-cli --simulate=programmers=|1 2 3 4 5 6 7 8
quenvar-cli --pro|--programmer
quenvar-cli --programmer |all
quenvar-cli --serial |eeprom: flash:
quenvar-cli --serial-file a.|a.bin a.hex
quenvar-cli --log s|sub/
quenvar-cli --rep|--repeat --repeat=
quenvar-cli --simulate=isp=ATmega16|ATmega16 ATmega162 ATmega165 ATmega168 ATmega169
quenvar-cli --simulate=isp=AT90S/LS23|AT90S/LS2323 AT90S/LS2333 AT90S/LS2343
quenvar-cli --simulate=isp=lo|locked locked:
quenvar-cli --simulate=isp=locked:ATtiny2|ATtiny22 ATtiny2313 ATtiny26
quenvar-cli --simulate=isp=ATmega8,so|ATmega8,socket=
quenvar-cli --simulate=socket=24C0|24C01C 24C02C 24C04A
quenvar-cli --simulate=timing=|none real
quenvar-cli --simulate=state=a.|a.bin a.hex
quenvar-cli read-f|read-flash read-fuses
quenvar-cli --quiet --lang de r|read-eeprom read-flash read-fuses
quenvar-cli detect --|
quenvar-cli write-fuses --|--force --program --unprogram
quenvar-cli write-fuses --force --un|--unprogram
quenvar-cli write-fuses --program |
quenvar-cli write-fuses --program SUT0 e|erase
quenvar-cli write-flash a.|a.bin a.hex
quenvar-cli write-flash s|sub/
quenvar-cli convert a.hex |a.bin a.hex b.txt sub/
quenvar-cli convert a.hex b.bin e|erase
quenvar-cli --target 0 write-flash a.bin v|verify
CASES
exit $failed
