#!/bin/sh
# The real program driven only through X input, as a person at the keyboard
# would: write a score through "Output" -> "Csound", load a parameter file
# through "File" -> "Load Parameters", write a second score that must follow
# the loaded values, and leave through "File" -> "QUIT".
# Usage: end_to_end.sh PROGRAM   (on the display with_xvfb.sh provides)
set -eu
program=$1
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmora-e2e-XXXXXX")
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"

fail() {
  echo "end_to_end: $*" >&2
  echo "--- program's standard error:" >&2
  cat err.txt >&2 || true
  exit 1
}

# A parameter set unlike the defaults: r1 0.29, grains of 0.05 s, every
# state at 317.35 Hz (position 60), every instrument at amplitude 300.
{
  printf 'r1=0.290000\nr2=1.200000\nk=1.000000\nNs=40\nx=50\ny=50\n'
  printf 'dur=0.050000\nnoinstrm=25\n'
  i=0
  while [ "$i" -lt 40 ]; do printf 's%d=317.348607\n' "$i"; i=$((i + 1)); done
  i=0
  while [ "$i" -lt 25 ]; do printf 'i%d=300.000000\n' "$i"; i=$((i + 1)); done
  echo end
} >bright.csp

"$program" >out.txt 2>err.txt &
pid=$!

find_window() {
  timeout 20 xdotool search --sync --onlyvisible --name "^$1\$" | head -n 1
}

panel=$(find_window 'Synth\. Control')
[ -n "$panel" ] || fail "no control panel"

# F10 enters the menu bar at "File"; Return opens the menu at its first entry.
menu() {
  xdotool windowfocus --sync "$panel"
  xdotool key F10 "$@"
}

# The dialog opens with the keyboard in its selection field: Ctrl+/ selects
# what the field holds, typing replaces it, Return is the dialog's OK.
name_file() {
  dialog=$(find_window "$1")
  [ -n "$dialog" ] || fail "no dialog \"$1\""
  xdotool windowfocus --sync "$dialog"
  xdotool key ctrl+slash
  xdotool type "$work/$2"
  xdotool key Return
}

wait_for_file() {
  tries=0
  until [ -f "$1" ]; do
    tries=$((tries + 1))
    [ "$tries" -le 200 ] || fail "$1 never appeared"
    sleep 0.1
  done
}

# Output -> Csound: the default parameter set, 600 iterations of 25 notes.
menu Right Return Return
name_file 'Csound Output' first.sco
wait_for_file first.sco
lines=$(wc -l <first.sco)
[ "$lines" -eq 15002 ] || fail "first.sco has $lines lines, not 15002"
[ "$(sed -n 3p first.sco | cut -d' ' -f1-4)" = "i1 0.000000 0.025000 500.000000" ] ||
  fail "first.sco does not start with the defaults: $(sed -n 3p first.sco)"

# File -> Load Parameters (the third entry, past a separator).
menu Return Down Down Return
name_file 'Load Parameters' bright.csp

# Output -> Csound again: the score follows what was loaded, with the
# iteration count it had (a parameter file holds none).
menu Right Return Return
name_file 'Csound Output' second.sco
wait_for_file second.sco
lines=$(wc -l <second.sco)
[ "$lines" -eq 15002 ] || fail "second.sco has $lines lines, not 15002"
odd=$(awk 'NR > 2 && ($3 != "0.050000" || $4 != "300.000000" || $5 !~ /^317\.34/)' second.sco |
  wc -l)
[ "$odd" -eq 0 ] || fail "$odd notes of second.sco do not follow bright.csp"
[ "$(tail -n 1 second.sco | cut -d' ' -f1-2)" = "i25 29.950000" ] ||
  fail "second.sco ends with $(tail -n 1 second.sco)"

# File -> QUIT, the last entry.
menu Return Down Down Down Down Return
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "QUIT ended the program with status $status"

grep -qx 'r1=0.290000' out.txt || fail "no \"r1=0.290000\" echo from the load: $(cat out.txt)"
[ ! -s err.txt ] || fail "the program wrote to standard error"
echo "end_to_end: passed"
