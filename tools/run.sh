#!/usr/bin/env bash
# Builds the release tree and runs the main job: the stand-in host loads the
# plug-in library, opens the bundled sample document, lists its stories and
# the plug-in's menu, chooses "Export current document", gives the plug-in
# idle time and shuts it down.  The host's transcript goes to standard output;
# the plug-in's own log is out/BrenixLogfile.txt.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRENIX_TESTS=OFF
cmake --build "$build" -j "$(nproc)" --target xthost brenix
out=$top/out
mkdir -p "$out/XTensions"
cp "$build/plugin/brenix/libbrenix.so" "$out/XTensions/"
cd "$out"
sample=${1:-$top/tests/data/doc_brochure.json}
export BRENIX_REGISTRY_ROOT=$out/registry
"$build/host/xthost" --xtensions XTensions \
  start open "$sample" stories menus menu "Export current document" idle 3 quit
echo "--- BrenixLogfile.txt"
cat BrenixLogfile.txt
