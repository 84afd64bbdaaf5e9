#!/usr/bin/env bash
# quenvar-cli.exe under Wine against the Linux build on the same runs: the
# recorded transcript's runs (tests/golden/cli_transcript.sh) and a few with
# names beyond ASCII. Standard output, exit status and every file written
# must be byte for byte the same, line ends included. Standard error is left
# out: it carries the system's own messages, which differ between the systems.
# Last, `list` must list the HID interfaces Wine has (or none) without error.
#
#   cli_wine_compare.sh LINUX_QUENVAR_CLI WINDOWS_QUENVAR_CLI_EXE
set -euo pipefail
here=$(cd "$(dirname "$0")" && pwd)
linux=$(realpath "$1")
exe=$(realpath "$2")
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
export LC_ALL=C.UTF-8 TZ=UTC

# The transcript script runs one program: give it one that runs the .exe.
cat > "$work/quenvar-cli-wine" <<WRAPPER
#!/bin/sh
exec "$here/wine-run.sh" "$exe" "\$@"
WRAPPER
chmod +x "$work/quenvar-cli-wine"

# The transcript without its stderr sections.
without_stderr() {
  awk '/^--- stderr$/ { skip = 1; next } /^(=== |--- )/ { skip = 0 } !skip'
}

status=0
bash "$here/../golden/cli_transcript.sh" "$linux" | without_stderr > "$work/linux.txt"
bash "$here/../golden/cli_transcript.sh" "$work/quenvar-cli-wine" | without_stderr > "$work/windows.txt"
if ! diff -u "$work/linux.txt" "$work/windows.txt"; then
  echo "cli_wine_compare: the transcripts differ" >&2
  status=1
fi

# Names beyond ASCII, in a folder of their own per build.
unicode_runs() { # cli folder
  local cli=$1 dir=$2 code
  mkdir -p "$dir"
  cd "$dir"
  printf ':0400100001020304E2\r\n:00000001FF\r\n' > 'Прошивка ü.hex'
  run() {
    code=0
    "$cli" "$@" > out.txt 2> /dev/null < /dev/null || code=$?
    printf '=== %s\n--- status %d\n' "$*" "$code"
    sed -E 's/[0-9]+\.[0-9]{2} s$/#.## s/' out.txt
    rm out.txt
  }
  run convert 'Прошивка ü.hex' '固件 𝄞.bin'
  run --simulate=state='Zustand ß.qvs' write-flash '固件 𝄞.bin' read-flash 'назад.hex'
  run --simulate=state='Zustand ß.qvs' --lang ru verify '固件 𝄞.bin'
  run --simulate --lang ru write-flash 'нет.hex'
  for f in *; do printf '%s %s\n' "$f" "$(sha256sum < "$f" | cut -c1-16)"; done
}
(unicode_runs "$linux" "$work/linux-unicode") > "$work/linux-unicode.txt"
(unicode_runs "$work/quenvar-cli-wine" "$work/windows-unicode") > "$work/windows-unicode.txt"
if ! diff -u "$work/linux-unicode.txt" "$work/windows-unicode.txt"; then
  echo "cli_wine_compare: the runs with non-ASCII names differ" >&2
  status=1
fi

# Wine's own HID interfaces, if any: listed, never an error.
list_status=0
"$work/quenvar-cli-wine" list > "$work/list.txt" 2> "$work/list-err.txt" || list_status=$?
if [ "$list_status" -ne 0 ] || [ -s "$work/list-err.txt" ]; then
  echo "cli_wine_compare: list ended with status $list_status:" >&2
  cat "$work/list-err.txt" >&2
  status=1
fi

echo "quenvar-cli list under Wine:"
sed 's/^/  /' "$work/list.txt"
[ "$status" -eq 0 ] && echo "cli_wine_compare: $(grep -c '^=== ' "$work/linux.txt") transcript runs," \
  "$(grep -c '^=== ' "$work/linux-unicode.txt") runs with non-ASCII names and list: the same"
exit "$status"
