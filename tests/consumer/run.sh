#!/usr/bin/env bash
# usage: run.sh <library build dir> <consumer project dir> <scratch dir> <c++ compiler>
set -euo pipefail
build=$1 project=$2 work=$3 cxx=$4
rm -rf "$work"
mkdir -p "$work"
prefix="$work/prefix"
cmake --install "$build" --prefix "$prefix" >/dev/null

# Through the CMake package.
cmake -S "$project" -B "$work/cmake-build" -DCMAKE_PREFIX_PATH="$prefix" -DCMAKE_CXX_COMPILER="$cxx" >/dev/null
cmake --build "$work/cmake-build" >/dev/null
"$work/cmake-build/consumer"

# Through pkg-config.
libdir=$(find "$prefix" -name veldra.pc -printf '%h\n' | head -n 1)
export PKG_CONFIG_PATH="$libdir"
# shellcheck disable=SC2046
"$cxx" -std=c++17 "$project/consumer.cpp" -o "$work/consumer-pc" $(pkg-config --cflags --libs veldra) \
  -Wl,-rpath,"$(pkg-config --variable=libdir veldra)"
"$work/consumer-pc"

# Only namespaces VELDRA and VELDRA_EXTRAS are exported from the shared library.
lib=$(find "$prefix" -name 'libveldra.so.*.*' | head -n 1)
others=$(nm -D --defined-only -C "$lib" | awk '{ $1=""; $2=""; print }' | grep -v -E '^ *VELDRA(_EXTRAS)?::' || true)
if [ -n "$others" ]; then
  echo "unexpected exported symbols:"
  echo "$others"
  exit 1
fi
echo "consumer ok"
