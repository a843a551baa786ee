#!/bin/sh
# jalv plays zelmora.lv2 on a JACK server of this test's own (the dummy
# driver, 48 kHz), with notes from jack_midiseq: the instrument sounds, a
# note three octaves up moves its sound above 1 kHz, nothing is said on
# the way, and jalv ends when its input closes.
# Usage: jalv_test.sh LV2_DIR (the folder that holds zelmora.lv2)
set -eu
fail() { echo "jalv_test: $*" >&2; exit 1; }

work=$(mktemp -d "${TMPDIR:-/tmp}/zelmora-jalv-XXXXXX")
export JACK_DEFAULT_SERVER="zelmora-jalv-$$" JACK_NO_START_SERVER=1 LV2_PATH="$1"
jackd_pid="" jalv_pid="" seq_pid=""
stop() {
  for pid in $seq_pid $jalv_pid $jackd_pid; do
    kill "$pid" 2>/dev/null || true
    wait "$pid" 2>/dev/null || true
  done
  rm -rf "$work"
}
trap stop EXIT
trap 'exit 1' INT TERM

jackd -r -d dummy -r 48000 -p 256 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
jack_wait -w -t 10 >/dev/null 2>&1 || fail "no JACK server: $(cat "$work/jackd.log")"

# jalv reads commands from its input: a FIFO held open until the end (by
# this shell alone).
mkfifo "$work/in"
jalv -x -n zelmora urn:zelmora:lv2 <"$work/in" >"$work/jalv.out" 2>"$work/jalv.err" &
jalv_pid=$!
exec 3>"$work/in"
tries=0
until jack_lsp 2>/dev/null | grep -qx zelmora:control; do
  tries=$((tries + 1))
  [ $tries -lt 100 ] || fail "no zelmora ports: $(cat "$work/jalv.out" "$work/jalv.err")"
  sleep 0.1
done

# 2 s of the output: its RMS level, and that of what is above 1 kHz.
take() {
  jack_rec -f "$work/$1.wav" -d 2 zelmora:out_left zelmora:out_right >/dev/null 2>&1 3>&-
  for filter in "" "sinc 1000"; do
    # shellcheck disable=SC2086 # the filter's words are meant to split
    sox "$work/$1.wav" -n $filter stat 2>&1 | awk '/RMS +amplitude/ { printf "%s ", $NF }'
  done
}
plain=$(take plain)
[ "$(echo "$plain" | awk '{ print ($1 > 0.01) }')" = 1 ] || fail "silent: $plain"

# Key 96 (three octaves over 60) at the start of every second.
jack_midiseq seq 48000 0 96 24000 >/dev/null 2>&1 3>&- &
seq_pid=$!
tries=0
until jack_connect seq:out zelmora:control 2>/dev/null; do
  tries=$((tries + 1))
  [ $tries -lt 100 ] || fail "no jack_midiseq port"
  sleep 0.1
done
sleep 1
high=$(take high)
[ "$(echo "$plain $high" | awk '{ print ($4 / $3 > 10 * $2 / $1) }')" = 1 ] ||
  fail "three octaves up: the RMS of all and above 1 kHz went from $plain to $high"

exec 3>&-
tries=0
while kill -0 "$jalv_pid" 2>/dev/null; do
  tries=$((tries + 1))
  [ $tries -lt 50 ] || fail "jalv went on after its input closed"
  sleep 0.1
done
wait "$jalv_pid" || fail "jalv failed: $(cat "$work/jalv.err")"
jalv_pid=""
! grep -q zelmora "$work/jalv.err" || fail "$(cat "$work/jalv.err")"
