#!/usr/bin/env bash
# The Windows stage of the tests: cross-builds (scripts/build-windows.sh), then runs under Wine,
# in a fresh prefix in a temporary folder, headless and without stdin:
#   1. the core's unit tests (ctest in the cross-build, Wine as the emulator);
#   2. the Win32 link and kestrel-cli.exe against the simulated module, driven from Linux
#      (tests/wine/wine_link_test.cpp; COM7 is the simulator's symlink in the prefix).
#   3. the Windows window, in a prefix and on a virtual display of its own
#      (scripts/test-windows-window.sh);
#   4. the installer: installed, run, installed over and removed, silently, in a prefix of its
#      own (scripts/test-windows-installer.sh).
set -euo pipefail
cd "$(dirname "$0")/.."
win=${1:-build-win}
host=${KESTREL_WINE_HOST_BUILD:-build-winehost}
jobs=$(nproc)
begun=$(date +%s)

scripts/build-windows.sh "$win"
win=$(cd "$win" && pwd)
scripts/setup-deps.sh --wine

echo "== the Linux side of the Wine tests"
cmake -S . -B "$host" -G Ninja -DKESTREL_WERROR=ON -DKESTREL_BUILD_GUI=OFF \
      -DKESTREL_BUILD_BENCH=OFF -DKESTREL_WINE_BUILD="$win" >/dev/null
cmake --build "$host" --target wine_link_test kestrel-sim -j "$jobs"

# A prefix of our own: nothing of a user's Wine set-up is used or changed. No display is needed
# for console programs; Mono and Gecko are not wanted.
prefix=$(mktemp -d "${TMPDIR:-/tmp}/kestrel-wine.XXXXXX")
export WINEPREFIX=$prefix WINEARCH=win64 WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="
export HOME=${HOME:-$prefix}
# Wine turns the Linux side's arguments into UTF-16 through the locale's character set.
export LANG=C.UTF-8 LC_ALL=C.UTF-8
unset DISPLAY WAYLAND_DISPLAY
cleanup() {
    wineserver -k >/dev/null 2>&1 || true
    rm -rf "$prefix"
}
trap cleanup EXIT

run_stages() {
    echo "== core unit tests under Wine"
    (cd "$win" && ctest --output-on-failure -j "$jobs")
    echo "== Win32 link and kestrel-cli.exe under Wine"
    (cd "$host" && ctest --output-on-failure -L wine)
    echo "== the Windows window under Wine, on a virtual display of its own"
    KESTREL_SIM="$host/sim/kestrel-sim" scripts/test-windows-window.sh "$win"
    echo "== the installer under Wine: install, run, upgrade, uninstall"
    KESTREL_SIM="$host/sim/kestrel-sim" scripts/test-windows-installer.sh "$win"
}

started=$(date +%s)
# One server for the whole stage (each program then starts in a fraction of a second).
wineserver -p >/dev/null 2>&1 </dev/null
timeout 300 wineboot -i >/dev/null 2>&1 </dev/null
booted=$(date +%s)
run_stages </dev/null
echo "== Windows stage: set-up and builds $((started - begun)) s, Wine prefix" \
     "$((booted - started)) s, tests under Wine $(($(date +%s) - booted)) s"
