#!/bin/sh
# Installs what is missing, builds, and starts the windowed program; without
# an X display it renders sound files of the default parameter set and of a
# preset instead.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target zelmora-render >/dev/null

# --- The windowed program, from here, where zelmora.orc lies --------------
if [ -n "${DISPLAY:-}" ]; then
  cmake --build build -j"$(nproc)" --target zelmora >/dev/null
  status=0
  ./build/ui/zelmora "$@" || status=$?
  # 255: the display named by DISPLAY could not be opened.
  [ "$status" -eq 255 ] || exit "$status"
  echo "No X display could be opened: rendering sound files instead."
else
  echo "No X display (DISPLAY is not set): rendering sound files instead."
fi

# --- Headless rendering: sound files through csound ------------------------
# The default parameter set, and one preset that keeps the automaton alive.
mkdir -p out
./build/tools/zelmora-render --orchestra zelmora.orc --sound out/default.wav
./build/tools/zelmora-render --orchestra zelmora.orc --params examples/spirals.csp \
  --sound out/spirals.wav
echo "Sound of the default parameter set: $(pwd)/out/default.wav"
echo "Sound of the spirals preset:        $(pwd)/out/spirals.wav"
# --- end of headless rendering ---------------------------------------------
