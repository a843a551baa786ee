#!/bin/sh
# Renders the grain design's sound examples under docs/grain/: the spirals
# preset, 80 iterations (2.4 s), once as it is and once per key, as Ogg
# Vorbis. Usage: sh scripts/make-grain-examples.sh [path/to/zelmora-render]
set -eu
render=${1:-build/tools/zelmora-render}
out=docs/grain
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -p "$out"
example() {  # name, then the keys
  name=$1
  shift
  grep -v '^end$' examples/spirals.csp > "$work/$name.csp"
  for key in "$@"; do echo "$key" >> "$work/$name.csp"; done
  echo end >> "$work/$name.csp"
  "$render" --params "$work/$name.csp" --iterations 80 --quiet --sound "$work/$name.wav"
  sox "$work/$name.wav" -C 2 "$out/$name.ogg"
}
example default
example saw wave=saw
example square wave=square
example gauss window=gauss overlap=4
example expodec window=expodec overlap=2
example jitter jitter=0.6
example mono width=0
example space space=0.6
example limiter-off limiter=off
