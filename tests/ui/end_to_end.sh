#!/bin/sh
# The real program driven only through X input: a score through "Output" ->
# "Csound", a parameter file through "File" -> "Load Parameters", a second
# score that must follow it, and "File" -> "QUIT"; not a word on standard
# error, even on a server that lacks the program's preferred fonts.
# Usage: end_to_end.sh PROGRAM   (on the display with_xvfb.sh provides)
set -eu
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmora-e2e-XXXXXX")
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
fail() {
  echo "end_to_end: $*" >&2
  cat err.txt >&2 || true
  exit 1
}

# Unlike the defaults: r1 0.29, grains of 0.05 s, every state at 317.35 Hz,
# every instrument at amplitude 300.
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

# menu_then_file TITLE FILE KEY...: the KEYs reach a menu entry (F10 enters
# the bar at "File"; Return opens a menu at its first entry); in the dialog,
# Ctrl+/ selects the field's text, typing replaces it, Return is OK.
menu_then_file() {
  title=$1 file=$2
  shift 2
  xdotool windowfocus --sync "$panel" key "$@"
  dialog=$(find_window "$title")
  [ -n "$dialog" ] || fail "no dialog \"$title\""
  xdotool windowfocus --sync "$dialog" key ctrl+slash type "$work/$file"
  xdotool key Return
}

# A score of 600 iterations of 25 notes.
score_written() {
  tries=0
  until [ -f "$1" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 200 ] || fail "$1 never appeared"
    sleep 0.1
  done
  [ "$(wc -l <"$1")" -eq 15002 ] || fail "$1 has $(wc -l <"$1") lines, not 15002"
}

menu_then_file 'Csound Output' first.sco F10 Right Return Return
score_written first.sco
[ "$(sed -n 3p first.sco | cut -d' ' -f1-4)" = "i1 0.000000 0.025000 500.000000" ] ||
  fail "first.sco does not start with the defaults: $(sed -n 3p first.sco)"

# The third entry, past a separator; the score then follows what was loaded.
menu_then_file 'Load Parameters' bright.csp F10 Return Down Down Return
menu_then_file 'Csound Output' second.sco F10 Right Return Return
score_written second.sco
odd=$(awk 'NR > 2 && ($3 != "0.050000" || $4 != "300.000000" || $5 !~ /^317\.34/)' second.sco |
  wc -l)
[ "$odd" -eq 0 ] || fail "$odd notes of second.sco do not follow bright.csp"
[ "$(tail -n 1 second.sco | cut -d' ' -f1-2)" = "i25 29.950000" ] ||
  fail "second.sco ends with $(tail -n 1 second.sco)"

xdotool windowfocus --sync "$panel" key F10 Return Down Down Down Down Return  # QUIT
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "QUIT ended the program with status $status"
grep -qx 'r1=0.290000' out.txt || fail "no \"r1=0.290000\" echo from the load: $(cat out.txt)"
[ ! -s err.txt ] || fail "the program wrote to standard error"
echo "end_to_end: passed"
