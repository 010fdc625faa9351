#include "ole_test_util.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>
#include <vector>

#include "tests/common/python.h"

namespace oletest {
namespace {

// Lists every element, checks every sibling tree and reports olefile's
// defects, parse warnings and logged problems.  One line per element:
// "S <crc> <size> <path>" or "D <clsid hex> <path>", then "I <issue>" lines.
const char kOlefileScript[] = R"PY(
import logging, sys, zlib
import olefile

issues = []
class Collect(logging.Handler):
    def emit(self, record):
        if record.levelno >= logging.WARNING:
            issues.append(record.getMessage())
logging.getLogger('olefile').addHandler(Collect())
logging.getLogger().addHandler(Collect())

ole = olefile.OleFileIO(sys.argv[1], raise_defects=olefile.DEFECT_UNSURE)
issues += [str(message) for (_, message) in ole.parsing_issues]

def key(name):
    return (len(name), [ord(c.upper()) if len(c.upper()) == 1 else ord(c) for c in name])

def check_tree(top, owner):
    # In-order walk: names strictly increasing; red-black: black root, no red
    # node with a red child, the same number of black nodes on every path.
    names = []
    def walk(sid, depth):
        if sid == olefile.NOSTREAM:
            return 1
        if depth > 64:
            raise ValueError('sibling tree too deep under ' + owner)
        e = ole.direntries[sid]
        if e.color == 0:
            for c in (e.sid_left, e.sid_right):
                if c != olefile.NOSTREAM and ole.direntries[c].color == 0:
                    issues.append('red node with red child under ' + owner)
        left = walk(e.sid_left, depth + 1)
        names.append(e.name)
        right = walk(e.sid_right, depth + 1)
        if left != right:
            issues.append('unequal black heights under ' + owner)
        return left + (1 if e.color == 1 else 0)
    if top != olefile.NOSTREAM and ole.direntries[top].color != 1:
        issues.append('red tree root under ' + owner)
    walk(top, 0)
    for a, b in zip(names, names[1:]):
        if not key(a) < key(b):
            issues.append('siblings out of order under %s: %r %r' % (owner, a, b))

for e in ole.direntries:
    if e is not None and e.entry_type in (olefile.STGTY_ROOT, olefile.STGTY_STORAGE):
        check_tree(e.sid_child, e.name)

out = []
for path in ole.listdir(streams=True, storages=True):
    joined = '/'.join(path)
    if ole.get_type(path) == olefile.STGTY_STREAM:
        data = ole.openstream(path).read()
        if len(data) != ole.get_size(path):
            issues.append('short read of ' + joined)
        out.append('S %d %d %s' % (zlib.crc32(data) & 0xffffffff, len(data), joined))
    else:
        out.append('D %s %s' % (ole.getclsid(path).replace('-', '').lower() or '0' * 32, joined))
out += ['I ' + i for i in issues]
sys.stdout.buffer.write(('\n'.join(out) + '\n').encode('utf-8', 'surrogatepass'))
)PY";

uint32_t Crc32Update(uint32_t crc, const uint8_t* p, size_t n) {
  static uint32_t table[256];
  static bool ready = false;
  if (!ready) {
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      table[i] = c;
    }
    ready = true;
  }
  crc = ~crc;
  for (size_t i = 0; i < n; ++i) crc = table[(crc ^ p[i]) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}

}  // namespace

std::string Pattern(size_t n, uint32_t seed) {
  std::string s(n, '\0');
  uint32_t x = seed * 2654435761u + 12345u;
  for (size_t i = 0; i < n; ++i) {
    x = x * 1103515245u + 12345u;
    s[i] = static_cast<char>(x >> 23);
  }
  return s;
}

uint32_t Crc32(const std::string& bytes) {
  return Crc32Update(0, reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
}

std::string Utf8(const std::u16string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = text[i];
    if (c >= 0xD800 && c < 0xDC00 && i + 1 < text.size()) {
      c = 0x10000 + ((c - 0xD800) << 10) + (text[++i] - 0xDC00);
    }
    if (c < 0x80) {
      out += static_cast<char>(c);
    } else if (c < 0x800) {
      out += static_cast<char>(0xC0 | (c >> 6));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
      out += static_cast<char>(0xE0 | (c >> 12));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
      out += static_cast<char>(0xF0 | (c >> 18));
      out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
      out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
      out += static_cast<char>(0x80 | (c & 0x3F));
    }
  }
  return out;
}

std::u16string Widen(const std::string& ascii) { return std::u16string(ascii.begin(), ascii.end()); }

std::string ReadAll(ole::Stream* stream) {
  std::string out;
  char buf[8192];
  for (;;) {
    uint32_t got = 0;
    EXPECT_EQ(stream->Read(buf, sizeof buf, &got), ole::S_OK);
    if (got == 0) break;
    out.append(buf, got);
  }
  return out;
}

void PutStream(ole::Storage* storage, const std::u16string& name, const std::string& bytes) {
  Ref<ole::Stream> s;
  ASSERT_EQ(storage->CreateStream(name.c_str(), 0x1011, s.Out()), ole::S_OK) << Utf8(name);
  uint32_t written = 0;
  ASSERT_EQ(s->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written), ole::S_OK);
  ASSERT_EQ(written, bytes.size());
}

Seen ReadWithOlefile(const std::string& file) {
  Seen seen;
  int status = 0;
  std::string out = testutil::RunPython(kOlefileScript, {file}, &status);
  if (status != 0) seen.issues = "olefile failed: " + out;
  for (const std::string& line : Lines(out)) {
    if (line.rfind("S ", 0) == 0) {
      std::istringstream in(line.substr(2));
      uint32_t crc = 0;
      uint64_t size = 0;
      in >> crc >> size;
      std::string path;
      std::getline(in, path);
      seen.streams[path.substr(1)] = {crc, size};
    } else if (line.rfind("D ", 0) == 0) {
      seen.storages[line.substr(35)] = line.substr(2, 32);
    } else if (line.rfind("I ", 0) == 0) {
      seen.issues += line.substr(2) + "\n";
    }
  }
  return seen;
}

Seen ReadWithGsf(const std::string& file) {
  Seen seen;
  int status = 0;
  std::string out = RunCommand("gsf list " + ShellQuote(file), &status, true);
  if (status != 0) seen.issues = "gsf list failed: " + out;
  // "f  [<date> <time>]  <size> <path>" or "d  <size> <path>".
  std::vector<std::string> lines = Lines(out);
  size_t files = 0;
  for (const std::string& line : lines) files += line.rfind("f ", 0) == 0 ? 1 : 0;
  size_t step = files > 50 ? 10 : 1, index = 0;
  for (const std::string& line : lines) {
    if (line.size() < 3 || (line[0] != 'f' && line[0] != 'd') || line[1] != ' ') continue;
    // Elements with a time stamp show it before the size.
    std::istringstream in(line.substr(1));
    std::string first, time;
    in >> first;
    if (first.find('-') != std::string::npos) in >> time >> first;
    uint64_t size = std::stoull(first);
    std::string path;
    std::getline(in, path);
    path = path.substr(path.find_first_not_of(' '));
    if (path == "*root*") continue;
    if (line[0] == 'd') {
      seen.storages[path] = std::string();
      continue;
    }
    if (index++ % step != 0) {
      seen.streams[path] = {0, size};
      seen.unread.insert(path);
      continue;
    }
    std::string bytes = RunCommand("gsf cat " + ShellQuote(file) + " " + ShellQuote(path), &status);
    if (status != 0) seen.issues += "gsf cat failed for " + path + "\n";
    seen.streams[path] = {Crc32(bytes), bytes.size()};
    if (bytes.size() != size) seen.issues += "gsf list and cat differ for " + path + "\n";
  }
  return seen;
}

Seen ReadWithLibolecf(const std::string& file) {
  Seen seen;
  int status = 0;
  std::string out = RunCommand("olecfinfo " + ShellQuote(file), &status, true);
  if (status != 0) seen.issues = "olecfinfo failed: " + out;
  std::vector<std::string> stack;
  bool items = false;
  for (const std::string& line : Lines(out)) {
    if (line == "Storage and stream items:") {
      items = true;
      continue;
    }
    if (!items || line.empty()) continue;
    size_t indent = line.find_first_not_of(' ');
    size_t open = line.rfind(" (");
    if (indent == std::string::npos || open == std::string::npos || open < indent) continue;
    size_t depth = indent / 2;
    // Bytes outside printable ASCII are shown as \xNN.
    std::string name;
    for (size_t i = indent; i < open; ++i) {
      if (line.compare(i, 2, "\\x") == 0 && i + 4 <= open) {
        name += static_cast<char>(std::stoi(line.substr(i + 2, 2), nullptr, 16));
        i += 3;
      } else {
        name += line[i];
      }
    }
    uint64_t size = std::stoull(line.substr(open + 2));
    if (depth == 0) continue;  // the root
    stack.resize(depth - 1);
    std::string path;
    for (const std::string& part : stack) path += part + "/";
    path += name;
    stack.push_back(name);
    seen.streams[path] = {0, size};
  }
  std::string target = file + ".export";
  RunCommand("olecfexport -t " + ShellQuote(file + ".export") + " " + ShellQuote(file), &status, true);
  if (status != 0) seen.issues += "olecfexport failed\n";
  for (auto& item : seen.streams) {
    const std::string& path = item.first;
    if (path.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789/") !=
        std::string::npos) {
      continue;
    }
    std::string exported = target + ".export/" + path + "/StreamData.bin";
    if (!std::ifstream(exported).good()) seen.issues += "olecfexport wrote no " + exported + "\n";
    item.second.first = Crc32(ReadFile(exported));
  }
  return seen;
}

}  // namespace oletest
