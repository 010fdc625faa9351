// Helpers of the container tests: scratch files, raw code files written
// below the container layer, and the independent reader (python3-olefile
// plus a plain reading of the code-file and folder-table layout).
#pragma once

#include <gtest/gtest.h>
#include <stdlib.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "framework/code_file.h"
#include "framework/code_folder.h"
#include "framework/failures.h"
#include "framework/ole_storage.h"
#include "kxt/kxt_completion.h"

namespace kxt_test {

// A fresh folder, removed with everything in it when the object goes.
class ScratchDir {
 public:
  ScratchDir() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kxt-XXXXXX").string();
    if (!mkdtemp(pattern.data())) ADD_FAILURE() << "mkdtemp failed";
    path_ = pattern;
  }
  ~ScratchDir() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
  }
  std::string File(const std::string& name) const { return (path_ / name).string(); }
  const std::filesystem::path& Path() const { return path_; }

 private:
  std::filesystem::path path_;
};

// The id of the FilterException `call` raises, or 0 when it raises none.
inline int FailureOf(const std::function<void()>& call) {
  try {
    call();
  } catch (const FilterException& failure) {
    return failure.Id();
  }
  return 0;
}

inline std::string Hex(const std::string& bytes) {
  static const char digits[] = "0123456789abcdef";
  std::string out;
  for (unsigned char c : bytes) {
    out += digits[c >> 4];
    out += digits[c & 15];
  }
  return out;
}

// Bytes from hexadecimal text; blanks are skipped.
inline std::string Bytes(const std::string& hex) {
  std::string out;
  int high = -1;
  for (char c : hex) {
    if (c == ' ') continue;
    const int v = c <= '9' ? c - '0' : (c | 0x20) - 'a' + 10;
    if (high < 0) {
      high = v;
    } else {
      out += static_cast<char>(high << 4 | v);
      high = -1;
    }
  }
  return out;
}

// A code file written below the container layer, for inputs the container
// writer never makes: streams with any bytes, in the root folder or in
// child folders given as a path of (name, index) pairs.
class RawCodeFile {
 public:
  using Path = std::vector<std::pair<std::string, int32_t>>;

  void Stream(const Path& folder, const std::string& name, const std::string& bytes, int32_t id = 0) {
    streams_.push_back({folder, name, id, bytes});
  }
  // Writes the code file into "SolvaneTextAndCode" of a new compound file.
  void Write(const std::string& path) const {
    OLEStorage root(path.c_str(), kOLECreate);
    OLEStorage textAndCode(root, u"SolvaneTextAndCode", kOLECreate);
    std::unique_ptr<CF_OutStorage> writer(CreateCodeFile(textAndCode, false));
    {
      std::map<Path, std::unique_ptr<CF_OutFolder>> folders;
      folders[Path()].reset(CreateCodeFolder(*writer));
      for (const auto& s : streams_) {
        CF_OutFolder* folder = Folder(folders, s.folder);
        std::unique_ptr<CF_OutStream> out(folder->CreateStream(s.name.c_str(), s.id, CF_Stored));
        out->PutData(s.bytes.data(), static_cast<uint32_t>(s.bytes.size()));
      }
      // Children before their parents, like the container does it.
      while (!folders.empty()) folders.erase(std::prev(folders.end()));
    }
  }

 private:
  struct Entry {
    Path folder;
    std::string name;
    int32_t id;
    std::string bytes;
  };
  static CF_OutFolder* Folder(std::map<Path, std::unique_ptr<CF_OutFolder>>& folders, const Path& path) {
    auto found = folders.find(path);
    if (found != folders.end()) return found->second.get();
    Path parent(path.begin(), path.end() - 1);
    CF_OutFolder* made = Folder(folders, parent)->CreateFolder(path.back().first.c_str(), path.back().second);
    folders[path].reset(made);
    return made;
  }
  std::vector<Entry> streams_;
};

// Runs a Python program with /usr/bin/python3 (arguments in sys.argv[1:]);
// returns what it printed; a failing run fails the test.
inline std::string RunPython(const std::string& program, const std::string& args) {
  static int counter = 0;
  const std::string file =
      (std::filesystem::temp_directory_path() / ("kxt_witness_" + std::to_string(getpid()) + "_" +
                                                 std::to_string(++counter) + ".py"))
          .string();
  std::ofstream(file) << program;
  const std::string command = std::string(BRENIX_PYTHON) + " " + file + " " + args + " 2>&1";
  std::string out;
  FILE* pipe = popen(command.c_str(), "r");
  if (pipe != nullptr) {
    char buffer[4096];
    size_t n;
    while ((n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0) out.append(buffer, n);
    if (pclose(pipe) != 0) ADD_FAILURE() << "python failed: " << out;
  }
  std::remove(file.c_str());
  return out;
}

// The independent reader: python3-olefile lists every element of the
// compound file ("entry <kind> <path>", names with their control characters
// as \x escapes), then, from the format alone, the folder tree of the code
// file in "SolvaneTextAndCode": "folder <path>" for every folder that has
// its table, "notable <path>" for one that has none, and "stream <path> <id>
// <kind> <hex of the stored bytes>" for every stream of a folder.  A child
// folder's path is its parent's, its name, "#", its index and "|".
constexpr const char* kWitness = R"PY(
import struct, sys, zlib, olefile
ole = olefile.OleFileIO(sys.argv[1])
for kind, entries in (('storage', ole.listdir(streams=False, storages=True)),
                      ('stream', ole.listdir(streams=True, storages=False))):
    for e in entries:
        print('entry', kind, '/'.join(n.encode('unicode_escape').decode() for n in e))
if not ole.exists('SolvaneTextAndCode/SolvaneCodeFile'):
    sys.exit(0)
data = ole.openstream('SolvaneTextAndCode/SolvaneCodeFile').read()
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
streams = {}
for number, sid, kind, table in entries:
    n, = struct.unpack_from('<I', data, table)
    pairs = [struct.unpack_from('<II', data, table + 4 + 8 * i) for i in range(n)]
    body = b''.join(data[o:o + length] for o, length in reversed(pairs))
    if kind == 1:
        body = zlib.decompress(body, 10)
    streams[(names[number], sid)] = (kind, body)
def walk(prefix, path):
    table = streams.get((prefix + b'\x02', 0))
    if table is None:
        print('notable', path)
        return
    print('folder', path, table[0])
    for (name, sid), (kind, body) in sorted(streams.items()):
        if name.startswith(prefix + b'\x01'):
            rest = name[len(prefix) + 1:]
            if b'\x01' not in rest and b'\x02' not in rest:
                print('stream', path + rest.decode('latin-1'), sid, kind, body.hex())
    t = table[1]; q = 0
    while q < len(t):
        n, = struct.unpack_from('<I', t, q)
        child = t[q + 4:q + 4 + n - 1]
        index, number = struct.unpack_from('<iI', t, q + 4 + n)
        q += 4 + n + 8
        walk(prefix + b'\x01' + ('%X' % number).encode(), path + child.decode('latin-1') + '#' + str(index) + '|')
walk(b'', '')
)PY";

// What the witness printed, one line each, sorted.
inline std::set<std::string> Witness(const std::string& path) {
  std::set<std::string> lines;
  std::istringstream in(RunPython(kWitness, path));
  for (std::string line; std::getline(in, line);) lines.insert(line);
  return lines;
}

// The stream lines of the witness: path -> "<id> <kind> <hex>".
inline std::map<std::string, std::string> WitnessStreams(const std::set<std::string>& lines) {
  std::map<std::string, std::string> streams;
  for (const std::string& line : lines) {
    if (line.compare(0, 7, "stream ") != 0) continue;
    std::istringstream in(line.substr(7));
    std::string path, id, kind, hex;
    in >> path >> id >> kind >> hex;
    streams[path] = id + " " + kind + " " + hex;
  }
  return streams;
}

// Collects the lines a finishing destructor logs instead of raising.
class LoggedFailures {
 public:
  LoggedFailures() {
    Lines().clear();
    SetKXTFailureLogger([](const char* line) { Lines().push_back(line); });
  }
  ~LoggedFailures() { SetKXTFailureLogger(nullptr); }
  static std::vector<std::string>& Lines() {
    static std::vector<std::string> lines;
    return lines;
  }
};

}  // namespace kxt_test
