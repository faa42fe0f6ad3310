#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64: the core, kestrel-cli.exe and the core's unit
# tests, into BUILD_DIR (default build-win). Each .exe needs nothing but Windows' own DLLs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}

scripts/setup-deps.sh --windows
cmake -S . -B "$build" -G Ninja -DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake \
      -DCMAKE_BUILD_TYPE=Release -DKESTREL_WERROR=ON -DKESTREL_BUILD_GUI=OFF \
      -DKESTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
