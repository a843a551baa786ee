#!/bin/sh
# The real program driven only through X input: a parameter file through
# "File" -> "Load Parameters", a score through "Output" -> "Csound" that must
# follow it, then "File" -> "QUIT"; nothing on standard error.
# Usage: end_to_end.sh PROGRAM   (on the display with_xvfb.sh provides)
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmora-e2e-XXXXXX")
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
fail() { echo "end_to_end: $*" >&2; cat err.txt >&2; exit 1; }

# r1 0.29, grains of 0.05 s, every state at 317.35 Hz, every instrument at 300.
{
  printf 'r1=0.290000\nr2=1.200000\nk=1.000000\nNs=40\nx=50\ny=50\ndur=0.050000\nnoinstrm=25\n'
  for i in $(seq 0 39); do printf 's%d=317.348607\n' "$i"; done
  for i in $(seq 0 24); do printf 'i%d=300.000000\n' "$i"; done
  echo end
} >bright.csp

"$1" >out.txt 2>err.txt &
pid=$!
find_window() { timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1; }
panel=$(find_window 'Synth\. Control')
[ -n "$panel" ] || fail "no control panel"

# KEYs from the menu bar (F10) to an entry; in the dialog Ctrl+/ selects the
# field's text, typing replaces it, Return is OK.
menu_then_file() {
  title=$1 file=$2
  shift 2
  xdotool windowfocus --sync "$panel" key "$@"
  dialog=$(find_window "$title")
  [ -n "$dialog" ] || fail "no dialog \"$title\""
  xdotool windowfocus --sync "$dialog" key ctrl+slash type "$work/$file"
  xdotool key Return
  for _ in $(seq 100); do [ -f "$file" ] && break; sleep 0.1; done
}

menu_then_file 'Load Parameters' bright.csp F10 Return Down Down Return
menu_then_file 'Csound Output' score.sco F10 Right Return Return
[ "$(wc -l <score.sco)" -eq 15002 ] || fail "score.sco: $(wc -l <score.sco) lines, not 15002"
odd=$(awk 'NR > 2 && ($3 != "0.050000" || $4 != "300.000000" || $5 !~ /^317\.34/)' score.sco |
  wc -l)
[ "$odd" -eq 0 ] || fail "$odd notes of score.sco do not follow bright.csp"
[ "$(tail -n 1 score.sco | cut -d' ' -f1-2)" = "i25 29.950000" ] ||
  fail "score.sco ends with $(tail -n 1 score.sco)"

xdotool windowfocus --sync "$panel" key F10 Return Down Down Down Down Return  # QUIT
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "QUIT ended the program with status $status"
[ ! -s err.txt ] || fail "the program wrote to standard error"
