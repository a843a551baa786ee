#!/bin/sh
# On an X server that lacks the Helvetica fonts (run with only the misc
# fonts on its path) the program comes up in the fixed font without a
# single warning, and still quits through its menu.
# Usage: missing_fonts.sh PROGRAM
set -eu
program=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmora-fonts-XXXXXX")
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"

"$program" >out.txt 2>err.txt &
pid=$!
panel=$(timeout 20 xdotool search --sync --onlyvisible --name '^Synth\. Control$' | head -n 1)
[ -n "$panel" ] || { echo "missing_fonts: no control panel" >&2; cat err.txt >&2; exit 1; }
xdotool windowfocus --sync "$panel"
xdotool key F10 Return Up Return  # File, then up to its last entry, QUIT
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || { echo "missing_fonts: exit status $status" >&2; exit 1; }
if [ -s err.txt ]; then
  echo "missing_fonts: the program warned:" >&2
  cat err.txt >&2
  exit 1
fi
echo "missing_fonts: passed"
