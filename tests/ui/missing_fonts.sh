#!/bin/sh
# On an X server without the Helvetica fonts (only the misc fonts on its
# path) the program comes up in the fixed font without a single warning,
# and still quits through its menu.
# Usage: missing_fonts.sh PROGRAM
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmora-fonts-XXXXXX")
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
fail() {
  echo "missing_fonts: $*" >&2
  cat "$work/err.txt" >&2
  exit 1
}
"$1" >"$work/out.txt" 2>"$work/err.txt" &
pid=$!
panel=$(timeout 20 xdotool search --sync --onlyvisible --name '^Synth\. Control$' | head -n 1)
[ -n "$panel" ] || fail "no control panel"
xdotool windowfocus --sync "$panel" key F10 Return Up Return  # File, up to QUIT
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "exit status $status"
[ ! -s "$work/err.txt" ] || fail "the program warned:"
echo "missing_fonts: passed"
