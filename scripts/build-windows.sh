#!/usr/bin/env bash
# Cross-builds the Windows programs with mingw-w64: the core, kestrel.exe (the window),
# kestrel-cli.exe, the tests, and the installer (CPack with NSIS), into BUILD_DIR (default
# build-win). Each .exe needs nothing but Windows' own DLLs.
set -euo pipefail
cd "$(dirname "$0")/.."
build=${1:-build-win}

scripts/setup-deps.sh --windows
toolchain=()
# The toolchain is fixed when the build folder is first configured.
[ -f "$build/CMakeCache.txt" ] || toolchain=(-DCMAKE_TOOLCHAIN_FILE=cmake/mingw-w64-x86_64.cmake)
cmake -S . -B "$build" -G Ninja "${toolchain[@]}" -DCMAKE_BUILD_TYPE=Release -DKESTREL_WERROR=ON \
      -DKESTREL_BUILD_GUI=OFF -DKESTREL_BUILD_BENCH=OFF >/dev/null
cmake --build "$build" -j "$(nproc)"
(cd "$build" && cpack -G NSIS >/dev/null && ls -1 Kestrel-*-win64.exe)
