#!/usr/bin/env bash
# Builds and installs the release tree as tools/run.sh does, turns server
# mode on with the given port (default 8226) in out/XTensions/brenix.ini
# (made when missing; its other lines are kept) and runs the stand-in host
# in out/ until a client halts the server.  The host's transcript goes to
# standard output; the plug-in's log is out/BrenixLogfile.txt.
set -euo pipefail
top=$(cd "$(dirname "$0")/.." && pwd)
build=${BUILD_DIR:-$top/build}
port=${1:-8226}
if ! [[ $port =~ ^[0-9]+$ ]] || ((port < 1 || port > 65535)); then
  echo "serve.sh: the port must be a number from 1 to 65535, not '$port'" >&2
  exit 2
fi
if python3 - "$port" <<'PY'
import socket, sys
s = socket.socket()
s.setsockopt(socket.SOL_SOCKET, socket.SO_REUSEADDR, 1)
try:
    s.bind(('', int(sys.argv[1])))
except OSError:
    sys.exit(0)
sys.exit(1)
PY
then
  echo "serve.sh: port $port is taken; stop what listens there or give another port" >&2
  exit 1
fi
cmake -S "$top" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release -DBRENIX_TESTS=OFF
cmake --build "$build" -j "$(nproc)" --target xthost brenix
out=$top/out
mkdir -p "$out/XTensions"
cp "$build/plugin/brenix/libbrenix.so" "$out/XTensions/"
python3 "$top/tools/ini_set.py" "$out/XTensions/brenix.ini" Server serverMode=True "listenPort=$port"
cd "$out"
export BRENIX_REGISTRY_ROOT=$out/registry
echo "serve.sh: serving on port $port (a client's \"haltServer\" stops it; log: $out/BrenixLogfile.txt)"
exec "$build/host/xthost" --xtensions XTensions start serve
