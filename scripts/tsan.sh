#!/bin/sh
# Builds the core, live play and their tests with ThreadSanitizer and runs
# the unit tests (two engines rendering at once, the kernels' threads, OSC)
# and the live tests (csound's performer thread, JACK). Any report fails.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
BUILD=${BUILD:-build-tsan}
rm -rf "$BUILD"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DZELMORA_TSAN=ON \
  -DZELMORA_UI=OFF -DZELMORA_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target zelmora_core_tests zelmora_live_tests \
  zelmora-render zelmora_grains
export TSAN_OPTIONS="halt_on_error=1 suppressions=$(pwd)/scripts/tsan.supp"
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" -L unit
# The live tests that check what was played, not when: the others time a
# start-up or a fraction of a second of play, which the sanitizer's
# slowdown overruns, and run in the plain build.
ctest --test-dir "$BUILD" --output-on-failure -L live \
  -R 'NotesSentAreTheOfflineScore|PlaysAtTheServersRate|OscOutSendsEachIteration'
