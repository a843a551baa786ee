#!/bin/sh
# The windowed program under valgrind on a private Xvfb, driven through a
# whole session (scripts/valgrind/session.sh). Uses the build in $BUILD
# (default build), building the program if needed.
set -eu
cd "$(dirname "$0")/.."
BUILD=${BUILD:-build}
[ -f "$BUILD/CMakeCache.txt" ] || cmake -S . -B "$BUILD" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$BUILD" -j"$(nproc)" --target zelmora >/dev/null
timeout 900 sh tests/ui/with_xvfb.sh sh scripts/valgrind/session.sh "$BUILD/ui/zelmora" \
  scripts/valgrind/toolkit.supp
echo "valgrind: no errors and no leaks of our own over a whole session"
