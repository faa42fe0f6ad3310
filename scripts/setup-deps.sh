#!/usr/bin/env bash
# Installs what Kestrel needs on Debian 12, skipping what is already there.
set -euo pipefail

packages=(cmake ninja-build g++ clang-14 libclang-rt-14-dev
          qt6-base-dev qt6-svg-dev qt6-tools-dev qt6-l10n-tools
          qt6-translations-l10n
          libgtest-dev libgmock-dev libbenchmark-dev nlohmann-json3-dev
          fonts-wqy-microhei xvfb xauth x11-utils imagemagick librsvg2-bin help2man)
if [ "${1:-}" = "--run-only" ]; then
    packages=(cmake ninja-build g++ qt6-base-dev qt6-svg-dev
              qt6-tools-dev qt6-l10n-tools qt6-translations-l10n nlohmann-json3-dev
              fonts-wqy-microhei)
elif [ "${1:-}" = "--windows" ]; then
    # The cross-build: mingw-w64 with POSIX threads (std::thread), GoogleTest as sources.
    packages=(cmake ninja-build g++-mingw-w64-x86-64-posix googletest nlohmann-json3-dev nsis)
elif [ "${1:-}" = "--wine" ]; then
    # Wine runs the programs; the Linux side of its tests is a small native build.
    packages=(wine wine64 cmake ninja-build g++ libgtest-dev libgmock-dev nlohmann-json3-dev)
elif [ "${1:-}" = "--wine-window" ]; then
    # The window under Wine: a virtual display, a CJK font for the dialogs, screenshots.
    packages=(xvfb xauth x11-utils fonts-wqy-microhei imagemagick)
fi
# Further arguments name more packages that the calling script needs.
[ $# -gt 1 ] && packages+=("${@:2}")

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
if [ ${#missing[@]} -gt 0 ]; then
    sudo=""
    [ "$(id -u)" -ne 0 ] && sudo="sudo"
    echo "Installing: ${missing[*]}"
    $sudo apt-get update -qq
    DEBIAN_FRONTEND=noninteractive $sudo apt-get install -y -qq --no-install-recommends "${missing[@]}"
fi
