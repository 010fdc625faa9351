// Independent readers of exchange containers, in Python, written from the
// container format alone: python3-olefile for the compound file, a plain
// reading of the code-file stream (code_file_reader_py.h), of its folder
// tables, typed streams and bundles.
#pragma once

#include <sstream>
#include <string>
#include <vector>

#include "tests/common/code_file_reader_py.h"
#include "tests/common/python.h"

namespace testutil {

// Defines folder_tree(data): the folder tree of the code-file stream `data`
// as nested nodes {'kind', 'streams': [(name, id, kind, body)] in (name, id)
// order, 'children': [(name, index, node)] in table order}; a child whose
// table is missing is None.
inline const std::string kFolderTreePy = std::string(kCodeFileReaderPy) + R"PY(
import struct
def folder_tree(data):
    streams = {}
    for name, sid, kind, body in code_file_streams(data):
        streams[(name, sid)] = (kind, body)
    by_folder = {}
    for (name, sid), (kind, body) in sorted(streams.items()):
        cut = name.rfind(b'\x01')
        if cut >= 0 and b'\x02' not in name:
            by_folder.setdefault(name[:cut], []).append((name[cut + 1:].decode('latin-1'), sid, kind, body))
    def folder(prefix):
        table = streams.get((prefix + b'\x02', 0))
        if table is None:
            return None
        node = {'kind': table[0], 'streams': by_folder.get(prefix, []), 'children': []}
        t = table[1]; q = 0
        while q < len(t):
            n, = struct.unpack_from('<I', t, q)
            child = t[q + 4:q + 4 + n - 1].decode('latin-1')
            index, number = struct.unpack_from('<iI', t, q + 4 + n)
            q += 4 + n + 8
            node['children'].append((child, index, folder(prefix + b'\x01' + ('%X' % number).encode())))
        return node
    return folder(b'')
)PY";

// The listing witness: python3-olefile lists every element of the compound
// file ("entry <kind> <path>", names with their control characters as \x
// escapes), then the folder tree of the code file in "SolvaneTextAndCode":
// "folder <path> <kind>" for every folder that has its table, "notable
// <path>" for one that has none, and "stream <path> <id> <kind> <hex of the
// stored bytes>" for every stream of a folder.  A child folder's path is its
// parent's, its name, "#", its index and "|".
inline const std::string kKxtListingPy = kFolderTreePy + R"PY(
import sys, olefile
ole = olefile.OleFileIO(sys.argv[1])
for kind, entries in (('storage', ole.listdir(streams=False, storages=True)),
                      ('stream', ole.listdir(streams=True, storages=False))):
    for e in entries:
        print('entry', kind, '/'.join(n.encode('unicode_escape').decode() for n in e))
if not ole.exists('SolvaneTextAndCode/SolvaneCodeFile'):
    sys.exit(0)
def walk(node, path):
    if node is None:
        print('notable', path)
        return
    print('folder', path, node['kind'])
    for name, sid, kind, body in node['streams']:
        print('stream', path + name, sid, kind, body.hex())
    for child, index, sub in node['children']:
        walk(sub, path + child + '#' + str(index) + '|')
walk(folder_tree(ole.openstream('SolvaneTextAndCode/SolvaneCodeFile').read()), '')
)PY";

// The element witness: the book of a container, one line per element, in
// container order, string numbers resolved through the book's strings map
// (null for -1, "#N" for a number the map lacks).  Attributes are the
// element's own, as sorted JSON objects; a style reference is "-" when the
// element has none:
//   book ATTRS
//   document D ATTRS
//   style D.J this T base B ATTRS
//   story D.K ATTRS
//   paragraph D.K.P style S ATTRS
//   run D.K.P.R KIND style S CONTENT ATTRS
// KIND is Unicodes or WideMultibytes (CONTENT: the units as a JSON string),
// Multibytes (hex), SpecialChars [[name, data]...], RefPoints [[id, type,
// reftype]...] or PlaceHolders [[id, type]...]; a run with no content or
// more than one says so ("none", "several").  With a second argument
// "in-force" a run's ATTRS are those in force for it: its own, else its
// paragraph's, story's, document's, book's.
inline const std::string kKxtDumpPy = kFolderTreePy + R"PY(
import sys, json, olefile
def values(body):
    tag, = struct.unpack_from('<H', body, 0)
    d = body[2:]
    fixed = {1: 'B', 2: 'B', 3: 'B', 4: 'h', 5: 'H', 6: 'i', 7: 'I', 8: 'f', 9: 'd'}
    if tag in fixed:
        size = struct.calcsize(fixed[tag])
        return list(struct.unpack('<%d%s' % (len(d) // size, fixed[tag]), d[:len(d) // size * size]))
    out = []; q = 0
    while q + 2 <= len(d):
        n, = struct.unpack_from('<H', d, q); q += 2
        if tag == 11:
            out.append(d[q:q + 2 * n].decode('utf-16-le', 'surrogatepass')); q += 2 * n
        else:
            out.append(d[q:q + n]); q += n
    return out
def child(node, name, index=0):
    for c, i, sub in node['children'] if node else []:
        if c == name and i == index:
            return sub
    return None
def stream(node, name):
    for n, sid, kind, body in node['streams'] if node else []:
        if n == name:
            return values(body)
    return None
def bundle(node, name, fields):
    sub = child(node, name)
    if sub is None:
        return None
    columns = [stream(sub, f) or [] for f in fields]
    return [list(r) for r in zip(*columns)]
def dump(path, in_force=False):
    ole = olefile.OleFileIO(path)
    root = folder_tree(ole.openstream('SolvaneTextAndCode/SolvaneCodeFile').read())
    book = child(root, 'Book/')
    strings = {ref: text for ref, text in bundle(book, 'StringsMap{}', ['m_Ref', 'm_String']) or []}
    def s(n):
        return None if n == -1 else strings.get(n, '#%d' % n)
    def own(node):
        pairs = bundle(node, 'Attrs{}', ['m_NameRef', 'm_ValueRef']) or []
        return {s(a): s(b) for a, b in pairs}
    def attrs(*chain):
        merged = {}
        for node in (chain if in_force else chain[-1:]):
            merged.update(own(node))
        return json.dumps(merged, sort_keys=True)
    def ref(node, name):
        v = stream(node, name)
        return '-' if v is None else ' '.join(str(x) for x in v)
    def elements(node, pattern):
        i = 0
        while True:
            e = child(node, pattern, i)
            if e is None:
                return
            yield i, e
            i += 1
    lines = ['book ' + attrs(book)]
    for d, doc in elements(child(book, 'DocumentsSet/'), 'Document[]/'):
        lines.append('document %d %s' % (d, attrs(doc)))
        for j, style in elements(child(doc, 'StylesSet/'), 'StyleInfo[]/'):
            lines.append('style %d.%d this %s base %s %s' % (d, j, ref(style, 'ThisStyleRef'),
                                                              ref(style, 'BaseStyleRef'), attrs(style)))
        for k, story in elements(child(doc, 'StoriesSet/'), 'Story[]/'):
            lines.append('story %d.%d %s' % (d, k, attrs(story)))
            for p, para in elements(child(story, 'ParagraphsSet/'), 'Paragraph[]/'):
                lines.append('paragraph %d.%d.%d style %s %s' % (d, k, p, ref(para, 'StyleRef'), attrs(para)))
                for r, run in elements(para, 'TextRun[]/'):
                    found = []
                    for kind in ('Unicodes', 'WideMultibytes'):
                        v = stream(run, '!1:' + kind)
                        if v is not None:
                            found.append((kind, json.dumps(''.join(chr(u) for u in v))))
                    v = stream(run, '!1:Multibytes')
                    if v is not None:
                        found.append(('Multibytes', bytes(v).hex()))
                    for kind, fields, strs in (
                            ('SpecialChars', ['m_NameRef', 'm_DataRef'], (0, 1)),
                            ('RefPoints', ['m_ObjectFolderID', 'm_ObjectTypeRef', 'm_RefTypeRef'], (1, 2)),
                            ('PlaceHolders', ['m_ObjectFolderID', 'm_ObjectTypeRef'], (1,))):
                        rows = bundle(run, '!1:%s{}' % kind, fields)
                        if rows is not None:
                            rows = [[s(x) if i in strs else x for i, x in enumerate(row)] for row in rows]
                            found.append((kind, json.dumps(rows)))
                    kind, content = found[0] if len(found) == 1 else ('none' if not found else 'several', '')
                    lines.append('run %d.%d.%d.%d %s style %s %s %s' % (
                        d, k, p, r, kind, ref(run, 'StyleRef'), content, attrs(book, doc, story, para, run)))
    return lines
if __name__ == '__main__':
    for line in dump(sys.argv[1], sys.argv[2:] == ['in-force']):
        print(line)
)PY";

// The lines of a witness program run on `path`.
inline std::vector<std::string> WitnessLines(const std::string& program, const std::string& path,
                                             const std::vector<std::string>& more = {}) {
  std::vector<std::string> args = {path};
  args.insert(args.end(), more.begin(), more.end());
  std::vector<std::string> lines;
  std::istringstream in(PythonOutput(program, args));
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

}  // namespace testutil
