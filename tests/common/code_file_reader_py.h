// A plain reading of the code-file stream, in Python, for the witnesses that
// check what the code-file writer stored.
#pragma once

namespace testutil {

// Defines code_file_streams(data): from the format alone, every directory
// entry of the code-file stream `data` as (name bytes, id, kind, body) in
// directory order, compressed bodies inflated with the 1024-byte window.  It
// asserts that the names section ends the stream and that no piece is over
// 4096 bytes.
inline constexpr const char kCodeFileReaderPy[] = R"PY(
import struct, zlib
def code_file_streams(data):
    count, directory = struct.unpack_from('<II', data, 0)
    entries = [struct.unpack_from('<IiBI', data, directory + 13 * i) for i in range(count)]
    p = directory + 13 * count
    m, = struct.unpack_from('<I', data, p); p += 4
    names = {}
    for i in range(m):
        n, = struct.unpack_from('<H', data, p); p += 2
        name = data[p:p + n]; p += n
        number, = struct.unpack_from('<I', data, p); p += 4
        names[number] = name
    assert p == len(data), 'bytes after the names section'
    streams = []
    for number, sid, kind, table in entries:
        n, = struct.unpack_from('<I', data, table)
        pairs = [struct.unpack_from('<II', data, table + 4 + 8 * i) for i in range(n)]
        assert all(length <= 4096 for _, length in pairs)
        body = b''.join(data[o:o + length] for o, length in reversed(pairs))
        if kind == 1:
            body = zlib.decompress(body, 10)
        streams.append((names[number], sid, kind, body))
    return streams
)PY";

}  // namespace testutil
