#!/bin/sh
# Runs a command on a private Xvfb server. The server picks a free display
# number itself (-displayfd), so parallel runs never fight over one.
# Listing a test binary's tests needs no display and starts no server.
# ZELMORA_XVFB_ARGS adds options of the server's own (a font path, say).
set -u
case " $* " in *" --gtest_list_tests "*) exec "$@" ;; esac

dir=$(mktemp -d "${TMPDIR:-/tmp}/zelmora-xvfb-XXXXXX")
# shellcheck disable=SC2086 # the extra options are meant to split
Xvfb -displayfd 3 -screen 0 1280x1024x24 -nolisten tcp ${ZELMORA_XVFB_ARGS:-} \
  3>"$dir/display" 2>"$dir/log" &
server=$!
trap 'kill "$server" 2>/dev/null; wait "$server" 2>/dev/null; rm -rf "$dir"' EXIT INT TERM

tries=0
until grep -q '^[0-9][0-9]*$' "$dir/display" 2>/dev/null; do
  tries=$((tries + 1))
  if [ "$tries" -gt 200 ] || ! kill -0 "$server" 2>/dev/null; then
    echo "with_xvfb.sh: Xvfb did not start:" >&2
    cat "$dir/log" >&2
    exit 1
  fi
  sleep 0.05
done
DISPLAY=":$(cat "$dir/display")"
export DISPLAY

"$@"
