#!/bin/sh
# Installs what is missing, builds from scratch and runs every test.
# BUILD names the build directory (build), BUILD_TYPE CMake's build type
# (Release; empty for the project's default), CXX the compiler, and
# WERROR=ON makes warnings errors, as CI asks.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
BUILD=${BUILD:-build}
rm -rf "$BUILD"
cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE="${BUILD_TYPE-Release}" \
  -DZELMORA_WERROR="${WERROR:-OFF}" >/dev/null
cmake --build "$BUILD" -j"$(nproc)"
ctest --test-dir "$BUILD" --output-on-failure -j"$(nproc)"
