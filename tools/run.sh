#!/usr/bin/env bash
# Builds the release tree and runs the main job on the bundled sample.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRENIX_TESTS=ON
cmake --build "$build" -j "$(nproc)"
# Until the export runs inside the stand-in host, the main job is the test
# suite of the release build.
(cd "$build" && ctest --output-on-failure -j "$(nproc)")
