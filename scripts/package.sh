#!/usr/bin/env bash
# Builds the Debian package from the release tree (made first when it is missing):
#   scripts/package.sh     writes build/vader_<version>_amd64.deb
set -euo pipefail
cd "$(dirname "$0")/.."
if [ -f build/CMakeCache.txt ]; then
  cmake --build build -j "$(nproc)" >/dev/null
else
  scripts/build.sh release
fi
rm -f build/vader_*_amd64.deb
(cd build && cpack -G DEB -B "$PWD" >/dev/null)
rm -rf build/_CPack_Packages
ls build/vader_*_amd64.deb
