#!/usr/bin/env bash
# Renders the main window under a virtual X server after a simulated detect and
# read, in German, English and Russian, into docs/main-{de,en,ru}.png.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release -j "$(nproc)" --target quenvar-screenshots
xvfb-run -a -s "-screen 0 1280x900x24" build/release/tools/screenshots/quenvar-screenshots docs
