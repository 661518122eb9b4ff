#!/usr/bin/env bash
# Configures and builds one build tree.
#   scripts/build.sh            GCC release tree (CMake build type Release) in build/
#   scripts/build.sh asan       clang tree in build-asan/: Debug, AddressSanitizer + UBSan, and
#                               the libFuzzer targets with coverage (no benchmarks)
#   scripts/build.sh TYPE [gcc|clang] [DIR]
#                               any CMake build type with either compiler (default build-TYPE)
set -euo pipefail
cd "$(dirname "$0")/.."
kind="${1:-release}"
jobs="$(nproc)"
# Let clones in other folders share the compiler cache (when ccache is installed).
export CCACHE_BASEDIR="$PWD" CCACHE_NOHASHDIR=1
case "$kind" in
  release) compiler=gcc; dir=build; flags=(-DCMAKE_BUILD_TYPE=Release) ;;
  asan)    compiler=clang; dir=build-asan
           flags=(-DCMAKE_BUILD_TYPE=Debug -DVADER_SANITIZE=ON -DVADER_FUZZ=ON -DVADER_BUILD_BENCH=OFF) ;;
  Release|RelWithDebInfo|Debug|MinSizeRel)
           compiler="${2:-gcc}"; dir="${3:-build-$kind-$compiler}"; flags=(-DCMAKE_BUILD_TYPE="$kind") ;;
  *) echo "usage: scripts/build.sh [release|asan|BUILD_TYPE [gcc|clang] [DIR]]" >&2; exit 2 ;;
esac
case "$compiler" in
  gcc)   export CC=gcc CXX=g++ ;;
  clang) export CC=clang CXX=clang++ ;;
  *) echo "build.sh: unknown compiler '$compiler'" >&2; exit 2 ;;
esac
# A tree configured for the other compiler is configured afresh.
if [ -f "$dir/CMakeCache.txt" ] && ! grep -q "^CMAKE_CXX_COMPILER:.*/$CXX\$" "$dir/CMakeCache.txt"; then
  rm -rf "$dir"
fi
cmake -S . -B "$dir" -G Ninja "${flags[@]}" >/dev/null
cmake --build "$dir" -j "$jobs"
