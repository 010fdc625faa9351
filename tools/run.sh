#!/usr/bin/env bash
# Builds the release tree and runs the main job on the bundled sample (or the
# document given as the argument): tools/main_job.sh installs the plug-in in
# out/XTensions, exports the sample through the stand-in host's menu into a
# KXQ container with its coordinates, XTags and PDF files, translates the
# container with kxtpseudo, imports it into a new document, lists that
# document's stories and shows the program logs.  Everything it writes stays
# under out/.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRENIX_TESTS=OFF
cmake --build "$build" -j "$(nproc)" --target xthost brenix kxtpseudo
exec "$top/tools/main_job.sh" "$build" "$top/out" "${1:-$top/tests/data/doc_brochure.json}"
