#!/usr/bin/env bash
# Builds everything with clang, AddressSanitizer and UndefinedBehaviorSanitizer,
# runs every unit test, then every fuzz target for a few seconds.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build-test}
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
