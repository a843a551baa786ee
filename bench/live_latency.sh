#!/bin/sh
# Control-to-sound latency of live play, end to end, on a private JACK
# server (dummy driver): zelmora-render plays one instrument at amplitude 0;
# zelmora_latency turns it to 1000 by OSC and times the send to the first
# sample sounding on zelmora's ports, many times over.
#   sh bench/live_latency.sh [build dir]          (default: build)
#   RATE=48000 PERIOD=128 GRAIN=0.005 REPS=100 sh bench/live_latency.sh
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
work=$(mktemp -d)
jackd_pid=
render_pid=
cleanup() {
  [ -n "$render_pid" ] && kill "$render_pid" 2>/dev/null && wait "$render_pid" 2>/dev/null
  [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
rate=${RATE:-44100} period=${PERIOD:-256} grain=${GRAIN:-0.025}
port=$((20000 + $$ % 20000))
export ZELMORA_ORC="$root/zelmora.orc"
export JACK_DEFAULT_SERVER="zelmora-latency-$$" JACK_NO_START_SERVER=1
jackd -R -d dummy -r "$rate" -p "$period" >"$work/jackd.log" 2>&1 &
jackd_pid=$!
jack_wait -w -t 10 >/dev/null 2>&1
# One voice at 440 Hz whatever the automaton does, silent until told.
printf 'r1=3.000000\nr2=3.000000\nk=2.000000\nNs=2\nx=8\ny=8\ndur=%s\nnoinstrm=1\ns0=440\ns1=440\ni0=0\nend\n' \
  "$grain" >"$work/one.csp"
"$build/tools/zelmora-render" --live --rtaudio jack --no-connect --osc-port "$port" \
  --params "$work/one.csp" --iterations 10000000 --quiet 2>"$work/render.err" &
render_pid=$!
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; grain $grain s"
status=0
"$build/bench/zelmora_latency" "$port" "${REPS:-60}" || status=1
wait "$render_pid" || status=1
render_pid=
cat "$work/render.err" >&2
exit $status
