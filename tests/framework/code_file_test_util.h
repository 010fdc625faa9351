// Helpers shared by the code-file and code-folder tests: temporary compound
// files, raw stream bytes, owning holders for objects whose deletion may
// raise, a plain reading of the stored layout, and the Python witness.
#pragma once

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <stdlib.h>

#include "framework/code_file.h"
#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "framework/ole_stream.h"
#include "framework/property_set.h"

namespace cftest {

// Deletes what it holds in a destructor that may raise (std::unique_ptr may
// not).
template <class T>
class Owned {
 public:
  explicit Owned(T* p = nullptr) : p_(p) {}
  Owned(const Owned&) = delete;
  Owned& operator=(const Owned&) = delete;
  ~Owned() noexcept(false) { reset(); }
  void reset(T* p = nullptr) {
    T* old = p_;
    p_ = p;
    delete old;
  }
  T* release() {
    T* p = p_;
    p_ = nullptr;
    return p;
  }
  T* get() const { return p_; }
  T* operator->() const { return p_; }
  T& operator*() const { return *p_; }
  explicit operator bool() const { return p_ != nullptr; }

 private:
  T* p_;
};

// A folder of its own for this test program, removed at exit.
inline const std::string& TempDir() {
  struct Dir {
    std::string path;
    Dir() {
      const char* base = std::getenv("TMPDIR");
      std::string pattern = std::string(base && *base ? base : "/tmp") + "/codefile_test_XXXXXX";
      path = mkdtemp(&pattern[0]) ? pattern : std::string("/tmp");
    }
    ~Dir() {
      std::error_code ignored;
      std::filesystem::remove_all(path, ignored);
    }
  };
  static Dir dir;
  return dir.path;
}
inline std::string TempPath(const std::string& name) { return TempDir() + "/" + name; }

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
  OLEStream stream(storage, name, kOLERead);
  return ReadAll(stream, 4096);
}

// A compound file holding the code-file stream with these bytes and a
// summary set with the version (a negative part is left out).
inline void WriteRawCodeFile(const std::string& path, const std::string& bytes, int major, int minor) {
  OLEStorage storage(path.c_str(), kOLECreate);
  {
    OLEStream stream(storage, u"SolvaneCodeFile", kOLECreate);
    stream.PutData(bytes.data(), static_cast<uint32_t>(bytes.size()));
  }
  PropertySet summary(u"\x0005SolvaneSummaryInformation");
  if (major >= 0) summary += Property(3001, Variant(static_cast<uint16_t>(major)));
  if (minor >= 0) summary += Property(3000, Variant(static_cast<uint16_t>(minor)));
  summary.Put(storage);
}

inline uint32_t U32(const std::string& b, size_t at) {
  return static_cast<uint8_t>(b[at]) | static_cast<uint8_t>(b[at + 1]) << 8 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 2])) << 16 |
         static_cast<uint32_t>(static_cast<uint8_t>(b[at + 3])) << 24;
}
inline std::string LE32(uint32_t v) {
  std::string s(4, '\0');
  for (int i = 0; i < 4; ++i) s[i] = static_cast<char>(v >> (8 * i));
  return s;
}
inline std::string LE16(uint16_t v) { return std::string{static_cast<char>(v & 0xFF), static_cast<char>(v >> 8)}; }

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

// Runs a Python script with the arguments; returns its standard output, and
// fails the test when it exits with an error.
inline std::string RunPython(const std::string& script, const std::string& args) {
  const std::string file = TempPath("witness.py");
  std::ofstream(file) << script;
  const std::string command = std::string(BRENIX_PYTHON) + " " + file + " " + args + " 2>&1";
  FILE* pipe = popen(command.c_str(), "r");
  std::string out;
  if (pipe == nullptr) return out;
  char buffer[4096];
  size_t n;
  while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
  const int status = pclose(pipe);
  if (status != 0) ADD_FAILURE() << "python failed: " << out;
  return out;
}

// Reads every logical stream of a code file with python3-olefile and zlib,
// from the format alone: one line per directory entry, "<name in hex> <id>
// <kind> <length> <crc32>" (compressed streams inflated with the 1024-byte
// window), after a line "props <minor> <major>".
constexpr const char* kWitness = R"PY(
import struct, sys, zlib, olefile
ole = olefile.OleFileIO(sys.argv[1])
props = ole.getproperties('\x05SolvaneSummaryInformation')
print('props', props.get(3000), props.get(3001))
data = ole.openstream('SolvaneCodeFile').read()
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
for number, sid, kind, table in entries:
    n, = struct.unpack_from('<I', data, table)
    pairs = [struct.unpack_from('<II', data, table + 4 + 8 * i) for i in range(n)]
    assert all(length <= 4096 for _, length in pairs)
    body = b''.join(data[o:o + length] for o, length in reversed(pairs))
    if kind == 1:
        body = zlib.decompress(body, 10)
    print(names[number].hex(), sid, kind, len(body), zlib.crc32(body))
)PY";

inline std::string Hex(const std::string& s) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : s) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

inline int FailureOf(const std::function<void()>& f) {
  try {
    f();
  } catch (const FilterException& e) {
    return e.Id();
  }
  return 0;
}

}  // namespace cftest
