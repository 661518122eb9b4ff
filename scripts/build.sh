#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh            release tree in build/
#   scripts/build.sh asan       AddressSanitizer + UBSan tree in build-asan/ (no benchmarks)
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-release}"
jobs="$(nproc)"
# Let clones in other folders share the compiler cache (when ccache is installed).
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
case "$kind" in
  release) dir=build; flags=(-DCMAKE_BUILD_TYPE=RelWithDebInfo) ;;
  asan)    dir=build-asan; flags=(-DCMAKE_BUILD_TYPE=Debug -DVADER_SANITIZE=ON -DVADER_BUILD_BENCH=OFF) ;;
  *) echo "usage: scripts/build.sh [release|asan]" >&2; exit 2 ;;
esac
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$jobs"
