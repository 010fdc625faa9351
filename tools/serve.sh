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
python3 - "$out/XTensions/brenix.ini" "$port" <<'PY'
import sys
path, port = sys.argv[1], sys.argv[2]
try:
    lines = open(path, encoding='latin-1').read().splitlines()
except FileNotFoundError:
    lines = []
wanted = {'servermode': 'True', 'listenport': port}
section, out, done = None, [], set()

def finish_server_section():
    for key, name in (('servermode', 'serverMode'), ('listenport', 'listenPort')):
        if key not in done:
            out.append('%s = %s' % (name, wanted[key]))
            done.add(key)

for line in lines:
    stripped = line.strip()
    if stripped.startswith('[') and stripped.endswith(']'):
        if section == 'server':
            finish_server_section()
        section = stripped[1:-1].strip().lower()
    elif section == 'server' and '=' in stripped and not stripped.startswith(';'):
        key = stripped.split('=', 1)[0].strip().lower()
        if key in wanted:
            out.append('%s = %s' % (stripped.split('=', 1)[0].strip(), wanted[key]))
            done.add(key)
            continue
    out.append(line)
if section == 'server':
    finish_server_section()
if len(done) < 2:
    out.append('[Server]')
    finish_server_section()
open(path, 'w', encoding='latin-1').write('\n'.join(out) + '\n')
PY
cd "$out"
export BRENIX_REGISTRY_ROOT=$out/registry
echo "serve.sh: serving on port $port (a client's \"haltServer\" stops it; log: $out/BrenixLogfile.txt)"
exec "$build/host/xthost" --xtensions XTensions start serve
