#!/usr/bin/env bash
# Builds everything with clang, AddressSanitizer and UndefinedBehaviorSanitizer,
# runs every unit test, then every fuzz target for a few seconds; then builds
# the tree again with GCC (no sanitizers, no fuzz targets) and runs every
# unit test there too.  ccache is used when it is installed (or when the
# environment names a compiler launcher).
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build-test}
gcc_build=${GCC_BUILD_DIR:-$top/build-gcc}
if [ -z "${CMAKE_CXX_COMPILER_LAUNCHER:-}" ] && command -v ccache >/dev/null 2>&1; then
  export CMAKE_C_COMPILER_LAUNCHER=ccache CMAKE_CXX_COMPILER_LAUNCHER=ccache
fi
cmake -S "$top" -B "$build" -G Ninja \
  -DCMAKE_C_COMPILER=clang -DCMAKE_CXX_COMPILER=clang++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRENIX_SANITIZE=ON -DBRENIX_FUZZ=ON -DBRENIX_TESTS=ON
cmake --build "$build" -j "$(nproc)"
export ASAN_OPTIONS=detect_leaks=1:abort_on_error=0
export UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1
export LSAN_OPTIONS=suppressions=$top/tools/lsan.supp:print_suppressions=0
(cd "$build" && ctest --output-on-failure -j "$(nproc)" --timeout 300)
"$top/fuzz/run.sh" "$build" "${FUZZ_SECONDS:-5}"

cmake -S "$top" -B "$gcc_build" -G Ninja \
  -DCMAKE_C_COMPILER=gcc -DCMAKE_CXX_COMPILER=g++ \
  -DCMAKE_BUILD_TYPE=RelWithDebInfo \
  -DBRENIX_SANITIZE=OFF -DBRENIX_FUZZ=OFF -DBRENIX_TESTS=ON
cmake --build "$gcc_build" -j "$(nproc)"
(cd "$gcc_build" && ctest --output-on-failure -j "$(nproc)" --timeout 300)
