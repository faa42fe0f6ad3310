#!/usr/bin/env bash
# Sets up what the tool needs, builds only the window, and runs it with the given arguments
# (e.g. --simulate to try it without a module).
set -euo pipefail
cd "$(dirname "$0")/.."

scripts/setup-deps.sh --run-only
cmake -S . -B build -G Ninja -DKESTREL_BUILD_TESTS=OFF -DKESTREL_BUILD_BENCH=OFF >/dev/null
cmake --build build --target kestrel -j "$(nproc)"
exec build/app/kestrel "$@"
