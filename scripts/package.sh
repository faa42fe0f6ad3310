#!/usr/bin/env bash
# Builds the Debian package: installs what is missing, builds in Release in build-package/ and
# writes kestrel_VERSION_ARCH.deb into OUT_DIR (default dist/ in the source tree).
set -euo pipefail
root=$(cd "$(dirname "$0")/.." && pwd)
out_dir=${1:-$root/dist}
mkdir -p "$out_dir"
out_dir=$(cd "$out_dir" && pwd)
cd "$root"

# help2man writes the man pages, rsvg-convert renders the icons, dpkg-shlibdeps (dpkg-dev, which
# CPack drives with file) finds the libraries the package depends on.
scripts/setup-deps.sh --run-only help2man librsvg2-bin dpkg-dev file
cmake -S . -B build-package -G Ninja -DCMAKE_BUILD_TYPE=Release -DKESTREL_BUILD_TESTS=OFF \
      -DKESTREL_BUILD_BENCH=OFF >/dev/null
cmake --build build-package -j "$(nproc)"
rm -f build-package/*.deb
(cd build-package && cpack -G DEB >/dev/null)
for deb in build-package/*.deb; do
    cp "$deb" "$out_dir/"
    echo "$out_dir/$(basename "$deb")"
done
