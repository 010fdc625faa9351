// The pseudo-translation rule in Python, and a comparison of a container
// with its pseudo-translated copy written from the container format alone
// (python3-olefile, the code-file reader of code_file_reader_py.h).
#pragma once

#include <string>

#include "tests/common/code_file_reader_py.h"

namespace testutil {

// Defines pseudo(text): U+00E9 U+4E2D after every maximal run of characters
// other than U+0000-U+0020, U+00A0 and 0-9.
inline const std::string kPseudoRulePy = R"PY(
import re
def pseudo(text):
    return re.sub('([^\x00-\x20\xa00-9]+)', lambda m: m.group(1) + '\u00e9\u4e2d', text)
)PY";

// compare.py IN OUT [identity]: one line "streams N unicodes U changed C"
// for the logical streams of IN's code file, then one line per difference:
// "missing NAME", "extra NAME", "differs NAME" (a Unicodes run whose bytes
// in OUT are not the rule's, or not IN's under identity; any other stream
// whose bytes are not IN's), "element PATH" for any other element of the
// compound file whose bytes differ or which OUT lacks.
inline const std::string kPseudoComparePy = std::string(kCodeFileReaderPy) + kPseudoRulePy + R"PY(
import sys, olefile
identity = sys.argv[3:] == ['identity']
src, dst = olefile.OleFileIO(sys.argv[1]), olefile.OleFileIO(sys.argv[2])
def streams(ole):
    data = ole.openstream('SolvaneTextAndCode/SolvaneCodeFile').read()
    return {(name, sid): body for name, sid, kind, body in code_file_streams(data)}
a, b = streams(src), streams(dst)
def rule(body):
    text = body[2:len(body) - len(body) % 2].decode('utf-16-le', 'surrogatepass')
    return body[:2] + pseudo(text).encode('utf-16-le', 'surrogatepass') + body[len(body) - len(body) % 2:]
unicodes = changed = 0
problems = []
for key, body in sorted(a.items()):
    name = key[0]
    if key not in b:
        problems.append('missing %r' % (name,))
        continue
    expected = body
    if name.endswith(b'\x01!1:Unicodes') and b'\x02' not in name:
        unicodes += 1
        if not identity and body[:2] == b'\x05\x00':
            expected = rule(body)
    changed += b[key] != body
    if b[key] != expected:
        problems.append('differs %r' % (name,))
for key in sorted(set(b) - set(a)):
    problems.append('extra %r' % (key[0],))
for entry in src.listdir(streams=True, storages=False):
    if entry[0] == 'SolvaneTextAndCode' and entry[-1] == 'SolvaneCodeFile':
        continue
    path = '/'.join(entry)
    if not dst.exists(path) or dst.openstream(path).read() != src.openstream(path).read():
        problems.append('element ' + path.encode('unicode_escape').decode())
print('streams', len(a), 'unicodes', unicodes, 'changed', changed)
for p in problems:
    print(p)
)PY";

}  // namespace testutil
