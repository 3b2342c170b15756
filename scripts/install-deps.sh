#!/usr/bin/env bash
# Installs, on a Debian 12 machine (as root), whatever the build, the tests and the tools need and is
# missing. Safe to run again: packages already present are skipped and apt is not touched.
set -euo pipefail

packages=(
  build-essential cmake pkg-config
  libtbb-dev                      # parallel loops
  libgtest-dev googletest         # unit tests
  libbenchmark-dev                # benchmarks
  libpng-dev nlohmann-json3-dev   # the paint tool's image files and stroke scripts
  clang-14 libclang-rt-14-dev     # the fuzzer and the sanitizer builds
  valgrind                        # memcheck run of scripts/soak.sh
  # The Python module and its tests, for Debian's interpreter (/usr/bin/python3): headers, binding
  # library, arrays, test runner, and a PNG reader for the example.
  python3-dev pybind11-dev python3-pybind11 python3-numpy python3-pytest python3-pil
)

missing=()
for p in "${packages[@]}"; do
  dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done

if [ ${#missing[@]} -gt 0 ]; then
  echo "installing: ${missing[*]}"
  export DEBIAN_FRONTEND=noninteractive
  apt-get update -qq
  apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
