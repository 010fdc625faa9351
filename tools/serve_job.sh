#!/usr/bin/env bash
# The conversion server over a built tree (tools/serve.sh builds it first):
#
#   serve_job.sh BUILD OUT PORT
#
# installs the plug-in in OUT/XTensions and, for the server alone, in
# OUT/server/XTensions with a copy of OUT/XTensions/brenix.ini (its lines
# kept, made when missing) that turns server mode on with PORT, and runs the
# stand-in host in OUT with that folder until a client halts the server or
# SIGTERM stops it; OUT/XTensions/brenix.ini stays as it was.  The host's
# transcript goes to standard output; the plug-in's log is
# OUT/BrenixLogfile.txt.  Exit status 1 when the port is taken, 2 on a bad
# argument.
set -euo pipefail
if [[ $# -ne 3 ]]; then
  echo "usage: serve_job.sh BUILD OUT PORT" >&2
  exit 2
fi
build=$(cd "$1" && pwd)
mkdir -p "$2"
out=$(cd "$2" && pwd)
port=$3
top=$(cd "$(dirname "$0")/.." && pwd)
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
served=$out/server/XTensions
mkdir -p "$out/XTensions" "$served"
cp "$build/plugin/brenix/libbrenix.so" "$out/XTensions/"
cp "$build/plugin/brenix/libbrenix.so" "$served/"
rm -f "$served/brenix.ini"
if [[ -f $out/XTensions/brenix.ini ]]; then cp "$out/XTensions/brenix.ini" "$served/"; fi
python3 "$top/tools/ini_set.py" "$served/brenix.ini" Server serverMode=True "listenPort=$port"
cd "$out"
export BRENIX_REGISTRY_ROOT=$out/registry
echo "serve.sh: serving on port $port (a client's \"haltServer\" stops it; log: $out/BrenixLogfile.txt)"
exec "$build/host/xthost" --xtensions server/XTensions start serve
