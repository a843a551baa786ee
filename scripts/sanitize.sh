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
