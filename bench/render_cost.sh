#!/bin/sh
# CPU seconds per second of sound for zelmora-render --sound, by voice count
# and grain size: the median of three runs of 10 s of sound each, from the
# rain example with its voice count and grain duration changed.
# Usage: sh bench/render_cost.sh [build dir]
set -eu
here=$(cd "$(dirname "$0")/.." && pwd)
render=${1:-$here/build}/tools/zelmora-render
work=$(mktemp -d "${TMPDIR:-/tmp}/zelmora-cost-XXXXXX")
trap 'rm -rf "$work"' EXIT INT TERM
seconds=10

# CPU seconds (user + system, the renderer and csound together) of one run.
cpu_of() {
  sh -c 'times >/dev/null; "$@" >/dev/null 2>&1 || exit 1; times' sh "$@" |
    awk 'NR == 2 { split($1, u, "m"); split($2, s, "m");
                   printf "%.3f\n", u[1] * 60 + u[2] + s[1] * 60 + s[2] }'
}

median3() { printf '%s\n' "$@" | sort -g | sed -n 2p; }

printf 'voices  grain      CPU s per s of sound\n'
for voices in 25 100; do
  for grain in 0.025 0.005 0.001; do
    sed -e "s/^noinstrm=.*/noinstrm=$voices/" -e "s/^dur=.*/dur=$grain/" \
      "$here/examples/rain.csp" >"$work/set.csp"
    iterations=$(awk -v s=$seconds -v g=$grain 'BEGIN { printf "%d", s / g + 0.5 }')
    runs=""
    for _ in 1 2 3; do
      runs="$runs $(cpu_of "$render" --params "$work/set.csp" --iterations "$iterations" \
        --orchestra "$here/zelmora.orc" --sound "$work/out.wav")"
    done
    # shellcheck disable=SC2086 # the three numbers are meant to split
    cpu=$(median3 $runs)
    printf '%6d  %5.0f ms   %6.2f\n' "$voices" "$(awk -v g=$grain 'BEGIN { print g * 1000 }')" \
      "$(awk -v c="$cpu" -v s=$seconds 'BEGIN { print c / s }')"
  done
done
