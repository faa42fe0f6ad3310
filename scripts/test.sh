#!/usr/bin/env bash
# Sets up, builds and runs every test: the main build (all layers), the core under
# AddressSanitizer+UndefinedBehaviorSanitizer, the link under ThreadSanitizer, a short fuzz run,
# and the Windows cross-build under Wine.
set -euo pipefail
cd "$(dirname "$0")/.."
root=$(pwd)
jobs=$(nproc)

scripts/setup-deps.sh
scripts/check-layers.sh

echo "== main build"
cmake -S . -B build -G Ninja -DKESTREL_WERROR=ON
cmake --build build -j "$jobs"
(cd build && ctest --output-on-failure -j "$jobs")

echo "== core and link under AddressSanitizer + UndefinedBehaviorSanitizer"
cmake -S . -B build-asan -G Ninja -DKESTREL_WERROR=ON -DKESTREL_BUILD_GUI=OFF \
      -DKESTREL_BUILD_BENCH=OFF -DKESTREL_SANITIZE=address -DCMAKE_BUILD_TYPE=Debug
cmake --build build-asan -j "$jobs"
(cd build-asan && ctest --output-on-failure -j "$jobs" -L 'unit|link')

echo "== link under ThreadSanitizer"
cmake -S . -B build-tsan -G Ninja -DKESTREL_WERROR=ON -DKESTREL_BUILD_GUI=OFF \
      -DKESTREL_BUILD_BENCH=OFF -DKESTREL_SANITIZE=thread -DCMAKE_BUILD_TYPE=Debug
cmake --build build-tsan -j "$jobs"
(cd build-tsan && TSAN_OPTIONS="halt_on_error=1" ctest --output-on-failure -j "$jobs" -L link)

echo "== fuzz (bounded)"
CXX=clang++-14 cmake -S . -B build-fuzz -G Ninja -DKESTREL_FUZZ=ON -DKESTREL_BUILD_GUI=OFF \
      -DKESTREL_BUILD_TESTS=OFF -DKESTREL_BUILD_BENCH=OFF
cmake --build build-fuzz -j "$jobs"
# Each target (the reply scanner, the configuration-file reader) runs from its seed corpus; the
# stage as a whole stays at about 30 s.
for f in build-fuzz/fuzz/*_fuzz; do
    name=$(basename "$f")
    work=$(mktemp -d)
    cp -r "fuzz/corpus/$name/." "$work/" 2>/dev/null || true
    "$f" -max_total_time="${KESTREL_FUZZ_SECONDS:-15}" -print_final_stats=1 "$work" 2>&1 | tail -n 5
    rm -rf "$work"
done
echo "== Debian package (build, validate, run unpacked)"
scripts/test-package.sh

echo "== Windows: cross-build, tested under Wine"
scripts/test-windows.sh

echo "All test stages passed."
