#!/bin/sh
# Runs a command on a private Xvfb that picks a free display itself
# (-displayfd), so parallel runs never collide. Listing tests needs no server.
# ZELMORA_XVFB_ARGS adds server options (a font path, say). -noreset: a client
# connecting just as the previous last one left would find the server resetting.
set -u
case " $* " in *" --gtest_list_tests "*) exec "$@" ;; esac

dir=$(mktemp -d "${TMPDIR:-/tmp}/zelmora-xvfb-XXXXXX")
mkfifo "$dir/display"
# shellcheck disable=SC2086 # the extra options are meant to split
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp -noreset ${ZELMORA_XVFB_ARGS:-} \
  3>"$dir/display" 2>"$dir/log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$dir"' EXIT INT TERM

# The number arrives once the server listens; end of file if it failed.
read -r number <"$dir/display" ||
  { echo "with_xvfb.sh: Xvfb did not start:" >&2; cat "$dir/log" >&2; exit 1; }
# Core cursors: a themed, animated one reads back through XFixes as a blank.
DISPLAY=":$number" XCURSOR_CORE=1 "$@"
