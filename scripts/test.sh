#!/usr/bin/env bash
# Builds and runs every test: the normal debug build, then the thread-sanitizer
# build of the threaded parts. Installs what it needs first.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

jobs=$(nproc)
cmake --preset debug >/dev/null
cmake --build --preset debug -j "$jobs"
ctest --preset debug -j "$jobs" --no-tests=error

# The reader threads and their hand-over to the UI thread run under TSan.
cmake --preset tsan -DQUENVAR_BUILD_GUI=OFF >/dev/null
cmake --build --preset tsan -j "$jobs" --target hid_tests
ctest --preset tsan -j "$jobs" -R '^Hid' --no-tests=error
