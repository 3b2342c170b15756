#!/usr/bin/env bash
# Builds the library and its host tools in build/ and runs the main program.
set -euo pipefail
cd "$(dirname "$0")/.."
cmake -S . -B build -DCMAKE_BUILD_TYPE=Release -DVELDRA_BUILD_TESTS=OFF -DVELDRA_BUILD_BENCH=OFF
cmake --build build -j"$(nproc)"
if [ -x build/tools/veldra-paint ]; then
  ./build/tools/veldra-paint "$@"
else
  ./build/tools/veldra-smoke
fi
