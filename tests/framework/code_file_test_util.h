// Helpers shared by the code-file and code-folder tests: temporary compound
// files, raw stream bytes, a plain reading of the stored layout, and the
// Python witness.
#pragma once

#include <cstdint>
#include <random>
#include <string>
#include <vector>

#include "framework/code_file.h"
#include "framework/ole_storage.h"
#include "tests/common/code_file_helpers.h"
#include "tests/common/code_file_reader_py.h"
#include "tests/common/failure_of.h"
#include "tests/common/hex.h"
#include "tests/common/le_bytes.h"
#include "tests/common/ole_streams.h"
#include "tests/common/owned.h"
#include "tests/common/python.h"
#include "tests/common/temp_dir.h"

namespace cftest {

using testutil::FailureOf;
using testutil::Hex;
using testutil::LE16;
using testutil::LE32;
using testutil::Owned;
using testutil::PythonOutput;
using Collector = testutil::IdCollector;

// The path of `name` in a folder of this test program's own, removed at exit.
inline std::string TempPath(const std::string& name) {
  static const testutil::TempDir dir;
  return dir.File(name);
}

inline std::string Random(size_t n, uint32_t seed) {
  std::mt19937 gen(seed);
  std::string s(n, '\0');
  for (auto& c : s) c = static_cast<char>(gen() & 0xFF);
  return s;
}

inline std::string ReadAll(InStream& in, uint32_t piece = 1000) {
  std::string out;
  std::string buffer(piece, '\0');
  for (;;) {
    const uint32_t n = in.GetData(&buffer[0], piece);
    out.append(buffer, 0, n);
    if (n < piece) return out;
  }
}

// The bytes of one stream of a compound file.
inline std::string StreamBytes(const std::string& path, const char16_t* name) {
  OLEStorage storage(path.c_str(), kOLERead);
  return testutil::StreamBytes(storage, name);
}

// A compound file holding the code-file stream with these bytes and a
// summary set with the version (a negative part is left out).
inline void WriteRawCodeFile(const std::string& path, const std::string& bytes, int major, int minor) {
  OLEStorage storage(path.c_str(), kOLECreate);
  testutil::PutCodeFileStream(storage, bytes, major, minor);
}

inline uint32_t U32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}

// The stored layout of a version 1.1 code-file stream, read plainly.
struct Layout {
  struct Entry {
    uint32_t number;
    int32_t id;
    uint8_t kind;
    uint32_t table;
  };
  struct Name {
    std::string name;
    uint32_t number;
    size_t end;  // offset just past the record
  };
  uint32_t count = 0;
  uint32_t directory = 0;
  std::vector<Entry> entries;
  size_t namesAt = 0;  // offset of the names count
  std::vector<Name> names;

  explicit Layout(const std::string& b) {
    count = U32(b, 0);
    directory = U32(b, 4);
    size_t p = directory;
    for (uint32_t i = 0; i < count; ++i, p += 13) {
      entries.push_back({U32(b, p), static_cast<int32_t>(U32(b, p + 4)), static_cast<uint8_t>(b[p + 8]), U32(b, p + 9)});
    }
    namesAt = p;
    const uint32_t m = U32(b, p);
    p += 4;
    for (uint32_t i = 0; i < m; ++i) {
      const size_t length = static_cast<uint8_t>(b[p]) | static_cast<uint8_t>(b[p + 1]) << 8;
      std::string name = b.substr(p + 2, length);
      p += 2 + length;
      names.push_back({name, U32(b, p), p + 4});
      p += 4;
    }
  }
  const Entry* Find(const std::string& name, int32_t id) const {
    for (const auto& n : names) {
      if (n.name != name) continue;
      for (const auto& e : entries) {
        if (e.number == n.number && e.id == id) return &e;
      }
    }
    return nullptr;
  }
};

// Reads every logical stream of a code file with python3-olefile and zlib,
// from the format alone: one line per directory entry, "<name in hex> <id>
// <kind> <length> <crc32>" (compressed streams inflated with the 1024-byte
// window), after a line "props <minor> <major>".
inline const std::string kWitness = std::string(testutil::kCodeFileReaderPy) + R"PY(
import sys, olefile
ole = olefile.OleFileIO(sys.argv[1])
props = ole.getproperties('\x05SolvaneSummaryInformation')
print('props', props.get(3000), props.get(3001))
for name, sid, kind, body in code_file_streams(ole.openstream('SolvaneCodeFile').read()):
    print(name.hex(), sid, kind, len(body), zlib.crc32(body))
)PY";

}  // namespace cftest
