#!/bin/sh
# Installs what is missing, builds, and renders the default parameter set.
set -eu
cd "$(dirname "$0")/.."
sh scripts/install-deps.sh
cmake -S . -B build -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build build -j"$(nproc)" --target zelmora-render >/dev/null
mkdir -p out
./build/tools/zelmora-render --score out/default.sco
echo "Score of the default parameter set written to $(pwd)/out/default.sco"
