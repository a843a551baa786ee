#!/bin/sh
# One session of the windowed program under valgrind, driven through X input
# (on the display with_xvfb.sh provides): every window and dialog opened,
# a parameter set and an event list saved and loaded back, a score, an audio
# file, QUIT. Fails on any valgrind error: an invalid read or write, a use of
# an uninitialised value, or memory lost that the suppressions (the
# toolkit's own, each explained in toolkit.supp) do not cover.
# Usage: session.sh PROGRAM SUPPRESSIONS
set -eu
program=$(realpath "$1") suppressions=$(realpath "$2")
root=$(cd "$(dirname "$0")/../.." && pwd)
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmora-valgrind-XXXXXX")
pid=""
trap '[ -n "$pid" ] && kill "$pid" 2>/dev/null; rm -rf "$work"' EXIT
cd "$work"
cp "$root/zelmora.orc" .
fail() {
  echo "valgrind session: $*" >&2
  cp valgrind.log "${TMPDIR:-/tmp}/zelmora-valgrind-last.log"  # the whole report, kept
  tail -n 60 valgrind.log >&2
  exit 1
}

leaks=definite,indirect,possible
valgrind --error-exitcode=99 --leak-check=full --show-leak-kinds=$leaks \
  --errors-for-leak-kinds=$leaks --suppressions="$suppressions" --num-callers=30 \
  --log-file=valgrind.log "$program" >out.txt 2>err.txt &
pid=$!
find_window() { timeout 60 xdotool search --sync --onlyvisible --name "$1" | head -n 1; }
panel=$(find_window '^Synth\. Control$')
[ -n "$panel" ] || fail "no control panel"

# Keys from the menu bar (F10; File, Edit, Output, Mapping) open a window;
# it is closed again with Escape (dialogs) or left open (the three mapping
# windows).
open_window() {
  title=$1
  shift
  echo "valgrind session: $title" >&2
  xdotool windowfocus --sync "$panel"
  sleep 1
  xdotool key --delay 700 "$@"
  window=$(find_window "$title")
  [ -n "$window" ] || fail "no window \"$title\""
}
# A file dialog: its field's text replaced by FILE, then Return (OK).
through_dialog() {
  file=$1
  shift
  open_window "$@"
  xdotool windowfocus --sync "$window" key ctrl+slash type "$work/$file"
  xdotool key Return
  sleep 2
}
wait_for() {
  for _ in $(seq 600); do [ -s "$1" ] && return 0; sleep 0.2; done
  fail "no $1"
}

for item in "States" "Instruments" "Event List Editor"; do
  case $item in
    States) keys="Return" ;;
    Instruments) keys="Down Return" ;;
    *) keys="Down Down Return" ;;
  esac
  # shellcheck disable=SC2086 # the keys are meant to split
  open_window "^$item\$" F10 Right Right Right Return $keys
done
through_dialog set.csp '^Save Parameters$' F10 Return Return
wait_for set.csp
through_dialog list.cse '^Save Event List$' F10 Return Down Return
through_dialog set.csp 'Load Parameters' F10 Return Down Down Return
through_dialog list.cse 'Load Event List' F10 Return Down Down Down Return
through_dialog take.sco '^Csound Output$' F10 Right Right Return Return
wait_for take.sco
through_dialog take.au 'Sound File' F10 Right Right Return Down Down Return
wait_for take.au
# QUIT; input that comes while a render still finishes is dropped, so again
# until the program has ended.
for _ in $(seq 10); do
  kill -0 "$pid" 2>/dev/null || break
  xdotool windowfocus --sync "$panel" 2>/dev/null && sleep 1 &&
    xdotool key --delay 700 F10 Return Down Down Down Down Down Return 2>/dev/null
  for _ in $(seq 20); do kill -0 "$pid" 2>/dev/null || break; sleep 0.5; done
done
status=0
wait "$pid" || status=$?
pid=""
[ "$status" -eq 0 ] || fail "valgrind or the program ended with status $status"
grep -q "ERROR SUMMARY: 0 errors" valgrind.log || fail "valgrind found errors"
grep -E "definitely lost|indirectly lost|possibly lost|ERROR SUMMARY" valgrind.log
