#!/usr/bin/env bash
# Builds the release tree and runs the main job: the stand-in host loads the
# plug-in library, activates it, gives it idle time and shuts it down.  The
# host's transcript goes to standard output; the plug-in's own log is
# out/BrenixLogfile.txt.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRENIX_TESTS=OFF
cmake --build "$build" -j "$(nproc)" --target xthost brenix
out=$top/out
mkdir -p "$out/XTensions"
cp "$build/plugin/brenix/libbrenix.so" "$out/XTensions/"
cd "$out"
"$build/host/xthost" --xtensions XTensions start idle 3 quit
echo "--- BrenixLogfile.txt"
cat BrenixLogfile.txt
