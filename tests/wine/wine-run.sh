#!/bin/sh
# Runs a Windows program under Wine: quiet (WINEDEBUG=-all), in the prefix that
# WINEPREFIX names, or else in one private prefix per user under the temporary
# folder. The first run sets the prefix up, once, even when several start at a time.
#   wine-run.sh PROGRAM.exe [ARGS...]
set -eu
wine=$(command -v wine64 || echo /usr/lib/wine/wine64)
[ -x "$wine" ] || { echo "wine-run: no wine64; install it with scripts/install-deps.sh" >&2; exit 127; }
export WINEDEBUG=-all
export WINEPREFIX="${WINEPREFIX:-${TMPDIR:-/tmp}/quenvar-wine-$(id -u)}"
# No window system: Wine must not try to open displays or offer downloads.
unset DISPLAY WAYLAND_DISPLAY
export WINEDLLOVERRIDES="${WINEDLLOVERRIDES:-mscoree,mshtml=}"
ready="$WINEPREFIX/.quenvar-ready"
if [ ! -f "$ready" ]; then
  mkdir -p "$WINEPREFIX"
  (
    flock 9
    if [ ! -f "$ready" ]; then
      "$wine" wineboot.exe --init >/dev/null 2>&1
      : >"$ready"
    fi
  ) 9>"$WINEPREFIX.lock"
fi
exec "$wine" "$@"
