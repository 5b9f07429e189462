#!/usr/bin/env bash
# Builds the Debian package of vapixcam (the module, vapixcam, camsim with its
# models and clips, the host SDK headers) in a Release build of its own:
#   bash scripts/package.sh            -> build-package/vapixcam_<version>_<arch>.deb
#   BUILD_DIR=/tmp/p scripts/package.sh
# Install it with: apt-get install ./build-package/vapixcam_*.deb
set -euo pipefail

root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
cd "$root"
BUILD_DIR="${BUILD_DIR:-$root/build-package}"

bash scripts/setup.sh
cmake -S . -B "$BUILD_DIR" -G Ninja -DCMAKE_BUILD_TYPE=Release \
      -DCMAKE_CXX_COMPILER_LAUNCHER=ccache -DVAPIXCAM_TESTS=OFF -DVAPIXCAM_BENCH=OFF >/dev/null
cmake --build "$BUILD_DIR" -j"${JOBS:-2}"
(cd "$BUILD_DIR" && cpack -G DEB)
ls -1 "$BUILD_DIR"/vapixcam_*.deb
