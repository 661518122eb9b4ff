#!/usr/bin/env bash
# The one command that installs what is needed, builds, and passes every test:
#   1. GCC, CMake build type Release (-O3): the whole suite; then the Debian package, unpacked
#      into a temporary root and run from there;
#   2. clang, Debug with AddressSanitizer + UBSan: the whole suite again;
#   3. every libFuzzer target of the clang tree for a bounded time on real seeds.
# FUZZ_SECONDS sets the time per fuzz target (default 30; 0 skips fuzzing).
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-deps.sh
jobs="$(nproc)"
start=$SECONDS
step() { echo "== $1 ($((SECONDS - start))s)"; }

step "GCC release build"
scripts/build.sh release
step "GCC release tests"
(cd build && ctest --output-on-failure -j "$jobs")
step "Debian package, run from an unpacked root"
scripts/package.sh
scripts/check-package.sh build/vader_*_amd64.deb

step "clang sanitizer build"
scripts/build.sh asan
# strict_string_checks is left off: libxkbcommon hands strndup unterminated buffers.
export ASAN_OPTIONS="detect_leaks=1:abort_on_error=1"
export UBSAN_OPTIONS="print_stacktrace=1:halt_on_error=1"
export LSAN_OPTIONS="suppressions=$PWD/scripts/lsan.supp"
step "clang sanitizer tests"
(cd build-asan && ctest --output-on-failure -j "$jobs")

if [ "${FUZZ_SECONDS:-30}" != 0 ]; then
  step "fuzzing"
  scripts/fuzz.sh build-asan "${FUZZ_SECONDS:-30}"
fi
step "all passed"
