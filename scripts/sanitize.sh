#!/bin/sh
# Builds the core and its unit tests with AddressSanitizer and
# UndefinedBehaviorSanitizer, and runs them. The build type is the default
# one (BUILD_TYPE to choose another): the sanitizers must build with any.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
BUILD=${BUILD:-build-sanitize}
rm -rf "$BUILD"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE="${BUILD_TYPE:-}" -DZELMORA_SANITIZE=ON -DZELMORA_WERROR=ON \
  -DZELMORA_UI=OFF -DZELMORA_BENCH=OFF >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target zelmora_core_tests
ASAN_OPTIONS=detect_leaks=1 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)" -L unit
# Live play's stress test too: Play/Stop over and over while JACK clients
# come and go and the server restarts (csound and libjack are not built
# with the sanitizer; what they keep at exit is theirs).
cmake --build "$BUILD" -j"$(nproc)" --target zelmora_live_tests zelmora_grains
ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
  ctest --test-dir "$BUILD" --output-on-failure -R PlayAndStopHold
