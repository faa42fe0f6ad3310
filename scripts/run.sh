#!/usr/bin/env bash
# Sets up what the tool needs, builds the window, kestrel-cli and kestrel-sim, and runs the window
# with the given arguments (e.g. --simulate to try it without a module).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh --run-only
cmake -S . -B build-run -G Ninja -DKESTREL_BUILD_TESTS=OFF -DKESTREL_BUILD_BENCH=OFF >/dev/null
cmake --build build-run --target kestrel kestrel-cli kestrel-sim -j "$(nproc)"
exec build-run/qt/kestrel "$@"
