#!/usr/bin/env bash
# Runs the Qt tests (CTest label "qt") under three machine font sets:
#   dejavu    what fonts-dejavu-core installs, nothing else
#   urw-noto  fonts-urw-base35 and fonts-noto-mono, no DejaVu
#   all       fonts-urw-base35, fonts-noto-mono, fonts-dejavu-core and fonts-liberation2
# Each set is built in a private mount namespace (tmpfs over the font, fontconfig and cache
# folders), so the machine's own fonts stay as they are for everything else. The packages are
# fetched with `apt-get download` into the build folder and unpacked there; nothing is installed.
# In each set the hex view's own font choice is also checked under the machine's fontconfig
# setup, as a user's desktop would have it. Not part of CI: a check to run by hand after a change
# to fonts or drawing. Needs root, or unprivileged user namespaces.
# Usage: tests/fonts/run-font-sets.sh [BUILD_DIR (build/debug)] [SET...]
set -euo pipefail

packages_of() {
  case $1 in
    dejavu) echo fonts-dejavu-core ;;
    urw-noto) echo fonts-urw-base35 fonts-noto-mono ;;
    all) echo fonts-urw-base35 fonts-noto-mono fonts-dejavu-core fonts-liberation2 ;;
    *) echo "run-font-sets: unknown set '$1' (dejavu, urw-noto, all)" >&2; exit 2 ;;
  esac
}

# Inside the namespace: replace the fonts, the fontconfig setup and the caches, then test.
inside() {
  local set=$1 build=$2 cache=$3 pkg link target family
  stage=$(mktemp -d)
  trap 'rm -rf "$stage"' EXIT
  cp -a /etc/fonts "$stage/etc-fonts"
  mount -t tmpfs none /etc/fonts
  cp -a "$stage/etc-fonts/." /etc/fonts/
  # The machine's DejaVu setup goes with its fonts; each set brings the setup of its packages.
  for link in "$cache/root/fonts-dejavu-core/etc/fonts/conf.d/"*; do
    rm -f "/etc/fonts/conf.d/$(basename "$link")"
  done
  mount -t tmpfs none /usr/share/fonts
  for d in /usr/local/share/fonts /var/cache/fontconfig; do
    [ -d "$d" ] && mount -t tmpfs none "$d"
  done
  for pkg in $(packages_of "$set"); do
    cp -a "$cache/root/$pkg/usr/share/fonts/." /usr/share/fonts/
    [ -d "$cache/root/$pkg/etc/fonts/conf.avail" ] &&
      cp -a "$cache/root/$pkg/etc/fonts/conf.avail/." /etc/fonts/conf.avail/
    for link in "$cache/root/$pkg/etc/fonts/conf.d/"*; do
      [ -e "$link" ] || [ -L "$link" ] || continue
      target=$(readlink "$link" || true)
      case $target in
        /*) cp "$cache/root/$pkg$target" "/etc/fonts/conf.d/$(basename "$link")" ;;
        *) cp -L "$link" "/etc/fonts/conf.d/$(basename "$link")" ;;
      esac
    done
  done
  export HOME=$stage/home
  mkdir -p "$HOME"
  unset XDG_CACHE_HOME XDG_CONFIG_HOME XDG_DATA_HOME XDG_DATA_DIRS FONTCONFIG_FILE FONTCONFIG_PATH
  fc-cache -f >/dev/null 2>&1 || true

  echo "== font set '$set': $(packages_of "$set")"
  echo "families: $(fc-list : family | sort -u | paste -sd '|' | sed 's/|/, /g')"
  echo "Courier New -> $(fc-match 'Courier New'); monospace -> $(fc-match monospace)"
  QT_QPA_PLATFORM=offscreen "$build/tests/buffer/hexview_tests" \
    --gtest_filter='HexView.FontGivesEveryGridCharacterOneAdvance' \
    --gtest_output="xml:$stage/font.xml" >"$stage/font.log" 2>&1 &&
    family=$(grep -o 'name="family" value="[^"]*"' "$stage/font.xml" | sed 's/.*value=//') &&
    echo "view font with the machine's setup: $family, even advances" ||
    { echo "view font with the machine's setup: FAILED"; cat "$stage/font.log"; }
  ctest --test-dir "$build" -L qt -j "$(nproc)" --output-on-failure >"$stage/ctest.log" 2>&1 || true
  grep -E '% tests passed|\*\*\*|FAILED|^ +[0-9]+ - ' "$stage/ctest.log" || tail -n 20 "$stage/ctest.log"
}

if [ "${1:-}" = --inside ]; then
  shift
  inside "$@"
  exit 0
fi

here=$(cd "$(dirname "$0")/../.." && pwd)
build=$(realpath "${1:-$here/build/debug}")
shift || true
sets=("$@")
[ ${#sets[@]} -eq 0 ] && sets=(dejavu urw-noto all)
[ -x "$build/tests/buffer/hexview_tests" ] || { echo "run-font-sets: build $build first" >&2; exit 2; }

cache=$build/font-sets
mkdir -p "$cache/debs" "$cache/root"
for pkg in fonts-dejavu-core fonts-urw-base35 fonts-noto-mono fonts-liberation2; do
  if [ ! -d "$cache/root/$pkg" ]; then
    ls "$cache/debs/${pkg}"_*.deb >/dev/null 2>&1 ||
      (cd "$cache/debs" && apt-get download "$pkg" >/dev/null 2>&1) ||
      { echo "run-font-sets: apt-get download $pkg failed" >&2; exit 1; }
    mkdir -p "$cache/root/$pkg"
    dpkg-deb -x "$cache/debs/${pkg}"_*.deb "$cache/root/$pkg"
  fi
done

as_root=()
[ "$(id -u)" -ne 0 ] && as_root=(--map-root-user)
for set in "${sets[@]}"; do
  packages_of "$set" >/dev/null
  unshare "${as_root[@]}" --mount "$0" --inside "$set" "$build" "$cache"
done
