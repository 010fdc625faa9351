#!/usr/bin/env bash
# Builds the release tree as tools/run.sh does, then runs the conversion
# server with tools/serve_job.sh on the given port (default 8226): server
# mode on in out/server/XTensions/brenix.ini, a copy of
# out/XTensions/brenix.ini (which stays as it was), the stand-in host in
# out/ until a client halts the server or SIGTERM stops it (exit status 0
# both ways).  The host's transcript goes to standard output; the plug-in's
# log is out/BrenixLogfile.txt.  serve_job.sh checks the port.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
port=${1:-8226}
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRENIX_TESTS=OFF
cmake --build "$build" -j "$(nproc)" --target xthost brenix
exec "$top/tools/serve_job.sh" "$build" "$top/out" "$port"
