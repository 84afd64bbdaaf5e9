#!/bin/sh
# Checks the desktop entry, the AppStream metadata and the man pages with their own validators.
# A validator that is missing skips the test (77), except under CI, where install-deps.sh has
# installed them all.
#   validate_metadata.sh DESKTOP_ENTRY METAINFO MAN_PAGE...
set -u
desktop=$1
metainfo=$2
shift 2
for tool in desktop-file-validate appstreamcli groff; do
  if ! command -v "$tool" >/dev/null 2>&1; then
    case ${CI:-} in
      "" | false) echo "skipped: $tool is not installed"; exit 77 ;;
      *) echo "$tool is not installed"; exit 1 ;;
    esac
  fi
done

failed=0
# desktop-file-validate prints nothing for a clean entry; hints count as findings too.
out=$(desktop-file-validate "$desktop" 2>&1)
[ $? -eq 0 ] && [ -z "$out" ] || { echo "$out"; failed=1; }
# Pedantic: infos and pedantic notes (lines "I: ..." and "P: ...") fail it as well.
out=$(LC_ALL=C appstreamcli validate --no-net --pedantic --no-color "$metainfo" 2>&1)
status=$?
if [ $status -ne 0 ] || printf '%s\n' "$out" | grep -q '^[EWIP]: '; then
  echo "$out"
  failed=1
fi
for page in "$@"; do
  out=$(LC_ALL=C.UTF-8 groff -t -man -Tutf8 -ww -z "$page" 2>&1)
  [ -z "$out" ] || { echo "$page: $out"; failed=1; }
done
exit $failed
