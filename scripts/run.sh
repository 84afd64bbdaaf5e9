#!/usr/bin/env bash
# Builds the program and starts it with the simulated programmer plugged in.
# Extra arguments go to the program (e.g. --simulate=isp=ATmega128,socket=24AA512).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh

cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target quenvar

args=("$@")
[ ${#args[@]} -eq 0 ] && args=(--simulate)
if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
  echo "run: no display found; starting under a virtual X server (xvfb-run)." >&2
  echo "     To see the window, run this from a desktop session, or use: xvfb-run -a build/release/app/quenvar --simulate" >&2
  exec xvfb-run -a build/release/app/quenvar "${args[@]}"
fi
exec build/release/app/quenvar "${args[@]}"
