#!/bin/sh
# Installs what is missing, builds, and renders sound files of the default
# parameter set and of a preset.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target zelmora-render >/dev/null

# --- Headless rendering: sound files through csound ------------------------
# The default parameter set, and one preset that keeps the automaton alive.
mkdir -p out
./build/tools/zelmora-render --orchestra zelmora.orc --sound out/default.wav
./build/tools/zelmora-render --orchestra zelmora.orc --params examples/spirals.csp \
  --sound out/spirals.wav
echo "Sound of the default parameter set: $(pwd)/out/default.wav"
echo "Sound of the spirals preset:        $(pwd)/out/spirals.wav"
# --- end of headless rendering ---------------------------------------------
