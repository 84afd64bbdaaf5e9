#!/usr/bin/env bash
# Builds and runs every test:
#   1. the debug build, the lint step (scripts/lint.sh: clang-tidy and
#      clang-format), then the whole suite, including the real-kernel VM test;
#   2. AddressSanitizer + UndefinedBehaviorSanitizer: the whole suite but the VM test;
#   3. ThreadSanitizer: the threaded parts (HID link, driver, simulator, command line);
#   4. Windows: the mingw cross build with its tests under Wine, quenvar-cli.exe
#      against the Linux build's quenvar-cli, and the release zip;
#   5. each libFuzzer harness for a short run.
# Installs what it needs first. `scripts/test.sh quick` runs step 1 only,
# `scripts/test.sh windows` steps 1 and 4.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

mode=${1:-all}
jobs=$(nproc)
here=$(pwd)
step() { printf '\n==== %s ====\n' "$*"; }

step "debug build"
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
step "lint: clang-tidy and clang-format"
scripts/lint.sh build/debug
step "debug tests"
ctest --preset debug -j "$jobs" --no-tests=error
[ "$mode" = quick ] && exit 0

windows_step() {
  step "Windows: cross build, tests under Wine, quenvar-cli.exe against the Linux build"
  local started=$SECONDS
  # A fresh Wine prefix of its own, gone afterwards with its wineserver.
  export WINEPREFIX WINEDEBUG=-all
  WINEPREFIX=$(mktemp -d)
  trap 'WINEPREFIX=$WINEPREFIX "$(command -v wineserver || echo /usr/lib/wine/wineserver)" -k 2>/dev/null || true; rm -rf "$WINEPREFIX" "$WINEPREFIX.lock"' EXIT
  cmake --preset mingw >/dev/null
  cmake --build --preset mingw -j "$jobs"
  # Every test program and the release checks (imports, the zip) under Wine.
  ctest --preset mingw -j "$jobs" --no-tests=error
  tests/wine/cli_wine_compare.sh build/debug/cli/quenvar-cli build/mingw/cli/quenvar-cli.exe
  echo "windows step: $((SECONDS - started)) s"
}
if [ "$mode" = windows ]; then
  windows_step
  exit 0
fi

step "address and undefined-behaviour sanitizers"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0:strict_string_checks=1
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$here/tests/lsan.supp:print_suppressions=0
cmake --preset asan >/dev/null
cmake --build --preset asan -j "$jobs"
ctest --preset asan -j "$jobs" -LE vm --no-tests=error
unset ASAN_OPTIONS UBSAN_OPTIONS LSAN_OPTIONS

step "thread sanitizer"
tsan_tests=(hid_tests core_tests stack_tests sim_tests cli_tests)
cmake --preset tsan -DQUENVAR_BUILD_GUI=OFF >/dev/null
cmake --build --preset tsan -j "$jobs" --target "${tsan_tests[@]}"
export TSAN_OPTIONS=halt_on_error=1:second_deadlock_stack=1
for t in "${tsan_tests[@]}"; do
  exe=$(find build/tsan/tests -type f -name "$t" -perm -u+x | head -n 1)
  echo "tsan: $t"
  "$exe" --gtest_brief=1
done
unset TSAN_OPTIONS

windows_step

step "fuzzers, 60 s each"
fuzz/run.sh 60
