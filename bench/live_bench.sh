#!/bin/sh
# Live play under load: the rain preset (100 voices) at several grain sizes
# for 10 s each on a private JACK server (dummy driver, 44.1 kHz, 256
# frames), then csound's offline cost of the same scores.
#   sh bench/live_bench.sh [build dir]     (default: build)
#   GRAINS="5 25" sh bench/live_bench.sh  (grain sizes in ms; default 1 5 25)
#   RUNS=5 sh bench/live_bench.sh         (runs per grain; default 3)
# Prints, per grain, the median over the runs of: iterations late,
# wall-clock seconds per second of sound (above 1: csound fell behind and
# the device played silence), the CPU seconds csound's thread used per
# second of sound live, and csound's CPU seconds per second of sound
# offline (no audio written; the plugin reading the score, as the programs
# run it); the load average comes first, as it matters.
set -eu
root=$(cd "$(dirname "$0")/.." && pwd)
build=${1:-$root/build}
render=$build/tools/zelmora-render
plugin=$build/plugin/zelmora-grains.so
work=$(mktemp -d)
jackd_pid=
cleanup() {
  [ -n "$jackd_pid" ] && kill "$jackd_pid" 2>/dev/null && wait "$jackd_pid" 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT INT TERM
export ZELMORA_ORC="$root/zelmora.orc" ZELMORA_PLUGIN="$plugin"
export JACK_DEFAULT_SERVER="zelmora-bench-$$" JACK_NO_START_SERVER=1
jackd -r -d dummy -r 44100 -p 256 >"$work/jackd.log" 2>&1 &
jackd_pid=$!
jack_wait -w -t 10 >/dev/null 2>&1
runs=${RUNS:-3}
median() { printf '%s\n' "$@" | sort -g | sed -n "$((($# + 1) / 2))p"; }
echo "load average: $(cut -d' ' -f1-3 /proc/loadavg) on $(nproc) cores; medians of $runs runs"
printf '%-8s %-6s %-5s %-22s %-20s %s\n' grain notes late "wall s per s of sound" \
  "live csound CPU-s/s" "offline csound CPU-s/s"
printf 'f0 z\n' >"$work/driver.sco"
for ms in ${GRAINS:-1 5 25}; do
  dur=$(printf '0.%03d' "$ms")
  iterations=$((10000 / ms))
  sed "s/^dur=.*/dur=$dur/" "$root/examples/rain.csp" >"$work/rain.csp"
  "$render" --params "$work/rain.csp" --iterations "$iterations" --score "$work/rain.sco" 2>/dev/null
  lates="" walls="" lives="" offlines=""
  for _ in $(seq "$runs"); do
    line=$("$render" --live --rtaudio jack --verbose --params "$work/rain.csp" \
      --iterations "$iterations" 2>&1 >/dev/null | grep 'zelmora-render: live:')
    lates="$lates $(echo "$line" | sed 's/.*live: \([0-9]*\) late.*/\1/')"
    numbers=$(echo "$line" |
      sed 's/.*used \([0-9.]*\) CPU-s for \([0-9.]*\) s of sound played in \([0-9.]*\) s.*/\1 \2 \3/')
    lives="$lives $(echo "$numbers" | awk '{ printf "%.3f", $1 / $2 }')"
    walls="$walls $(echo "$numbers" | awk '{ printf "%.2f", $3 / $2 }')"
    (cd "$work" && /usr/bin/time -o time -f '%U %S' csound -d -n -m0 --opcode-lib="$plugin" \
      --omacro:ZELMORA_NOTES=rain.sco "$root/zelmora.orc" driver.sco >/dev/null 2>&1)
    offlines="$offlines $(awk '{ printf "%.3f", ($1 + $2) / 10 }' "$work/time")"
  done
  # shellcheck disable=SC2086 # the numbers are meant to split
  printf '%-8s %-6s %-5s %-22s %-20s %s\n' "$ms ms" "$((iterations * 100))" "$(median $lates)" \
    "$(median $walls)" "$(median $lives)" "$(median $offlines)"
done
