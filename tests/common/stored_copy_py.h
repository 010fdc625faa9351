// The host document stored in a container (stream 0 of the templates,
// inflated with Python's zlib) against the document the export saved: the
// stored copy carries the working boxes of every layout, the user's file
// none.  python3-olefile reads the container.
#pragma once

#include <string>

namespace testutil {

// Defines stored_against_saved(container, saved) -> (header, same, boxes):
// the stored stream's first two bytes in hex; whether the stored document,
// less its working boxes (boxes whose id tag 08414b42 is negative) and
// their stories, the character records past the saved file's and the
// host's item counter, equals the saved file read the same way; and the
// ids of the working boxes, "LAYOUT:ID" each, in file order.
inline const std::string kStoredCopyPy = R"PY(
import json, zlib, olefile
def stored_against_saved(container, saved):
    data = olefile.OleFileIO(container).openstream('SolvanePluginPrivateData/BrenixExportTemplates/0').read()
    stored = json.loads(zlib.decompress(data))
    mine = json.load(open(saved, encoding='utf-8'))
    def tag(box):
        value = box.get('data', {}).get('08414b42')
        return None if value is None else int.from_bytes(bytes.fromhex(value), 'big', signed=True)
    working = [b for b in stored.get('boxes', []) if (tag(b) or 0) < 0]
    gone = {b.get('story') for b in working}
    rest = dict(stored)
    rest['boxes'] = [b for b in stored.get('boxes', []) if b not in working]
    rest['stories'] = [s for s in stored.get('stories', []) if s['id'] not in gone]
    if 'characterAttributes' in mine:
        rest['characterAttributes'] = rest.get('characterAttributes', [])[:len(mine['characterAttributes'])]
    else:
        rest.pop('characterAttributes', None)
    for doc in (rest, mine):
        doc.pop('nextItem', None)
        if not doc.get('stories'):
            doc.pop('stories', None)
    boxes = ['%d:%d' % (b.get('layout', 0), tag(b)) for b in working]
    return data[:2].hex(), rest == mine, boxes
)PY";

}  // namespace testutil
