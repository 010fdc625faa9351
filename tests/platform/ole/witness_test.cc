// Files written by the storage layer, read back by independent readers
// (python3-olefile, gsf, libolecf), and files written by gsf read by ours.
#include <gtest/gtest.h>

#include <map>
#include <string>

#include "ole_test_util.h"
#include "platform/ole/ole.h"

namespace oletest {
namespace {

using ole::S_OK;

constexpr uint32_t kCreate = 0x1011;
constexpr uint32_t kRead = 0x10;

// What a file should hold: stream paths to bytes, storage paths to class ids.
struct Expected {
  std::map<std::u16string, std::string> streams;
  std::map<std::u16string, ole::Clsid> storages;
};

std::u16string Parent(const std::u16string& path) {
  size_t slash = path.rfind(u'/');
  return slash == std::u16string::npos ? std::u16string() : path.substr(0, slash);
}

std::u16string Leaf(const std::u16string& path) {
  size_t slash = path.rfind(u'/');
  return slash == std::u16string::npos ? path : path.substr(slash + 1);
}

std::string Hex(const ole::Clsid& clsid) {
  static const char kDigits[] = "0123456789abcdef";
  std::string out;
  for (uint8_t b : clsid.bytes) {
    out += kDigits[b >> 4];
    out += kDigits[b & 15];
  }
  return out;
}

// olefile prints class ids as the GUID text, whose first three groups are
// the little-endian fields in reverse.
std::string GuidHex(const ole::Clsid& clsid) {
  std::string h = Hex(clsid);
  auto rev = [&h](size_t at, size_t bytes) {
    std::string part;
    for (size_t i = bytes; i-- > 0;) part += h.substr(at + 2 * i, 2);
    return part;
  };
  return rev(0, 4) + rev(8, 2) + rev(12, 2) + h.substr(16);
}

// Writes `expected`: storages (parents sort before their children), then
// streams, each through its own objects.
void Build(const std::string& file, const Expected& expected) {
  Ref<ole::Storage> root;
  ASSERT_EQ(ole::CreateDocfile(file.c_str(), kCreate, root.Out()), S_OK);
  std::map<std::u16string, Ref<ole::Storage>> open;
  auto parent_of = [&](const std::u16string& path) {
    std::u16string parent = Parent(path);
    return parent.empty() ? root.get() : open[parent].get();
  };
  for (const auto& [path, clsid] : expected.storages) {
    Ref<ole::Storage> made;
    ASSERT_EQ(parent_of(path)->CreateStorage(Leaf(path).c_str(), kCreate, made.Out()), S_OK) << Utf8(path);
    ASSERT_EQ(made->SetClass(clsid), S_OK);
    open[path] = std::move(made);
  }
  for (const auto& [path, bytes] : expected.streams) PutStream(parent_of(path), Leaf(path), bytes);
  open.clear();
  ASSERT_EQ(root->Commit(), S_OK);
}

// Reads every element of a file through our layer, as `expected` holds them.
Expected ReadBack(const std::string& file) {
  Expected seen;
  Ref<ole::Storage> root;
  EXPECT_EQ(ole::OpenDocfile(file.c_str(), 0x20, root.Out()), S_OK);
  if (!root) return seen;
  struct Walk {
    Expected& seen;
    void operator()(ole::Storage* storage, const std::u16string& prefix) {
      Ref<ole::ElementEnum> elements;
      ASSERT_EQ(storage->EnumElements(elements.Out()), S_OK);
      ole::StatStg stat;
      uint32_t fetched = 0;
      while (elements->Next(1, &stat, &fetched) == S_OK && fetched == 1) {
        std::u16string path = prefix + stat.name;
        if (stat.type == ole::STGTY_STREAM) {
          Ref<ole::Stream> stream;
          ASSERT_EQ(storage->OpenStream(stat.name.c_str(), kRead, stream.Out()), S_OK);
          seen.streams[path] = ReadAll(stream.get());
          EXPECT_EQ(seen.streams[path].size(), stat.size);
        } else {
          Ref<ole::Storage> sub;
          ASSERT_EQ(storage->OpenStorage(stat.name.c_str(), kRead, sub.Out()), S_OK);
          seen.storages[path] = stat.clsid;
          (*this)(sub.get(), path + u"/");
        }
      }
    }
  };
  Walk{seen}(root.get(), std::u16string());
  return seen;
}

void ExpectSame(const Expected& expected, const Expected& seen) {
  ASSERT_EQ(expected.streams.size(), seen.streams.size());
  for (const auto& [path, bytes] : expected.streams) {
    auto it = seen.streams.find(path);
    ASSERT_NE(it, seen.streams.end()) << Utf8(path);
    EXPECT_TRUE(it->second == bytes) << Utf8(path);
  }
  ASSERT_EQ(expected.storages.size(), seen.storages.size());
  for (const auto& [path, clsid] : expected.storages) {
    auto it = seen.storages.find(path);
    ASSERT_NE(it, seen.storages.end()) << Utf8(path);
    EXPECT_TRUE(it->second == clsid) << Utf8(path);
  }
}

// Every stream with its bytes and size, every storage; class ids when the
// reader reports them.
void ExpectWitness(const char* reader, const Expected& expected, const Seen& seen, bool sizes_only = false) {
  SCOPED_TRACE(reader);
  EXPECT_EQ(seen.issues, "");
  size_t items = expected.streams.size() + (sizes_only ? expected.storages.size() : 0);
  EXPECT_EQ(seen.streams.size(), items);
  for (const auto& [path, bytes] : expected.streams) {
    auto it = seen.streams.find(Utf8(path));
    ASSERT_NE(it, seen.streams.end()) << Utf8(path);
    EXPECT_EQ(it->second.second, bytes.size()) << Utf8(path);
    if ((!sizes_only || it->second.first != 0) && seen.unread.count(Utf8(path)) == 0) {
      EXPECT_EQ(it->second.first, Crc32(bytes)) << Utf8(path);
    }
  }
  if (sizes_only) return;
  EXPECT_EQ(seen.storages.size(), expected.storages.size());
  for (const auto& [path, clsid] : expected.storages) {
    auto it = seen.storages.find(Utf8(path));
    ASSERT_NE(it, seen.storages.end()) << Utf8(path);
    if (!it->second.empty()) {
      EXPECT_EQ(it->second, GuidHex(clsid)) << Utf8(path);
    }
  }
}

void ExpectAllWitnesses(const std::string& file, const Expected& expected) {
  ExpectWitness("olefile", expected, ReadWithOlefile(file));
  // gsf lists a storage without children as an empty stream.
  Expected as_gsf = expected;
  for (const auto& [path, clsid] : expected.storages) {
    auto below = expected.streams.lower_bound(path + u"/");
    bool empty = below == expected.streams.end() || below->first.compare(0, path.size() + 1, path + u"/") != 0;
    for (const auto& other : expected.storages) {
      if (other.first.compare(0, path.size() + 1, path + u"/") == 0) empty = false;
    }
    if (empty) {
      as_gsf.storages.erase(path);
      as_gsf.streams[path] = std::string();
    }
  }
  ExpectWitness("gsf", as_gsf, ReadWithGsf(file));
  ExpectWitness("libolecf", expected, ReadWithLibolecf(file), true);
}

ole::Clsid MakeClsid(uint8_t seed) {
  ole::Clsid c;
  for (int i = 0; i < 16; ++i) c.bytes[i] = static_cast<uint8_t>(seed * 17 + i);
  return c;
}

// A property-set stream with one section and no properties (libolecf reads
// the summary-information streams it finds).
std::string EmptyPropertySet(std::initializer_list<uint8_t> fmtid) {
  std::string s = {'\xFE', '\xFF', 0, 0, 6, 0, 2, 0};
  s += std::string(16, '\0');                   // class id
  s += std::string({1, 0, 0, 0});                // one section
  s += std::string(fmtid.begin(), fmtid.end());  // its format id
  s += std::string({48, 0, 0, 0});               // at offset 48
  s += std::string({8, 0, 0, 0, 0, 0, 0, 0});    // 8 bytes, no properties
  return s;
}

TEST(Witness, StreamSizesNamesAndNesting) {
  TempDir dir;
  Expected expected;
  uint32_t seed = 1;
  for (size_t size : {0, 1, 63, 64, 65, 511, 512, 4095, 4096, 4097, 10000, 70000}) {
    expected.streams[u"size" + Widen(std::to_string(size))] =
        Pattern(size, seed++);
  }
  expected.storages[u"Outer"] = MakeClsid(1);
  expected.storages[u"Outer/Inner"] = MakeClsid(2);
  expected.storages[u"Outer/Inner/Leaf"] = ole::Clsid();
  expected.storages[u"Outer/Empty"] = MakeClsid(3);
  expected.streams[u"Outer/Inner/Leaf/deep"] = Pattern(5000, seed++);
  expected.streams[u"Outer/Inner/small"] = Pattern(100, seed++);
  expected.streams[u"Outer/abc"] = Pattern(3, seed++);
  expected.streams[u"Outer/ABD"] = Pattern(4, seed++);
  expected.streams[u"Outer/Abe"] = Pattern(0, seed++);
  expected.streams[u"Gr\u00fc\u00dfe"] = Pattern(10, seed++);
  expected.streams[u"\u03a9\u03bc\u03ad\u03b3\u03b1"] = Pattern(20, seed++);
  expected.streams[u"\u0434\u0430\u043d\u043d\u044b\u0435"] = Pattern(30, seed++);
  expected.streams[u"\u65e5\u672c\u8a9e"] = Pattern(5000, seed++);
  expected.streams[u"\u0005SummaryInformation"] = EmptyPropertySet(
      {0xE0, 0x85, 0x9F, 0xF2, 0xF9, 0x4F, 0x68, 0x10, 0xAB, 0x91, 0x08, 0x00, 0x2B, 0x27, 0xB3, 0xD9});
  expected.streams[u"\u0005DocumentSummaryInformation"] = EmptyPropertySet(
      {0x02, 0xD5, 0xCD, 0xD5, 0x9C, 0x2E, 0x1B, 0x10, 0x93, 0x97, 0x08, 0x00, 0x2B, 0x2C, 0xF9, 0xAE});
  expected.streams[u"\u0005Qq0kddlmEqkk4ysnKaaaaaaaaaaaa"] = Pattern(300, seed++);
  expected.streams[u"a name of exactly 31 units long"] = Pattern(7, seed++);
  std::string file = dir.File("sample.ole");
  Build(file, expected);
  ExpectAllWitnesses(file, expected);
  ExpectSame(expected, ReadBack(file));
}

TEST(Witness, HundredsOfChildren) {
  TempDir dir;
  Expected expected;
  expected.storages[u"Many"] = ole::Clsid();
  for (int i = 0; i < 300; ++i) {
    std::string name = (i % 3 == 0 ? "Item" : i % 3 == 1 ? "x" : "longer_name_") + std::to_string(i);
    expected.streams[u"Many/" + Widen(name)] = Pattern(i * 37 % 5000, i);
  }
  // Trees of every small size, so every shape of the last level is covered.
  for (int n = 1; n <= 17; ++n) {
    std::u16string s = Widen("Tree" + std::to_string(n));
    expected.storages[s] = ole::Clsid();
    for (int i = 0; i < n; ++i) {
      expected.streams[s + u"/e" + Widen(std::to_string(i))] = Pattern(i, n);
    }
  }
  std::string file = dir.File("many.ole");
  Build(file, expected);
  ExpectAllWitnesses(file, expected);
  ExpectSame(expected, ReadBack(file));
}

// More than 109 FAT sectors: the file needs a DIFAT sector.
TEST(Witness, LargeStreamNeedsDifat) {
  TempDir dir;
  Expected expected;
  expected.streams[u"big"] = Pattern(8 * 1024 * 1024 + 12345, 7);
  expected.streams[u"small"] = Pattern(99, 8);
  std::string file = dir.File("big.ole");
  Build(file, expected);
  std::string bytes = ReadFile(file);
  ASSERT_GE(bytes.size(), 80u);
  EXPECT_EQ(static_cast<uint8_t>(bytes[72]), 1) << "one DIFAT sector";
  ExpectAllWitnesses(file, expected);
  ExpectSame(expected, ReadBack(file));
}

// A file changed and committed several times: sectors freed, reused and
// zeroed, large streams kept where they were written.
TEST(Witness, AfterChangesAndRecommits) {
  TempDir dir;
  std::string file = dir.File("changed.ole");
  Expected expected;
  Ref<ole::Storage> root, sub;
  ASSERT_EQ(ole::CreateDocfile(file.c_str(), kCreate, root.Out()), S_OK);
  ASSERT_EQ(root->CreateStorage(u"sub", kCreate, sub.Out()), S_OK);
  expected.storages[u"sub"] = ole::Clsid();
  PutStream(root.get(), u"first", Pattern(3000000, 1));
  PutStream(root.get(), u"second", Pattern(2000000, 2));
  PutStream(sub.get(), u"small", Pattern(100, 3));
  ASSERT_EQ(root->Commit(), S_OK);
  ASSERT_EQ(root->DestroyElement(u"first"), S_OK);
  {
    Ref<ole::Stream> s;
    ASSERT_EQ(root->CreateStream(u"second", kCreate, s.Out()), S_OK);  // replaced, smaller
    ASSERT_EQ(s->Write("x", 1, nullptr), S_OK);
    ASSERT_EQ(s->SetSize(1500000), S_OK);
  }
  expected.streams[u"second"] = "x" + std::string(1499999, '\0');
  PutStream(sub.get(), u"third", Pattern(5000, 4));
  expected.streams[u"sub/third"] = Pattern(5000, 4);
  expected.streams[u"sub/small"] = Pattern(100, 3);
  ASSERT_EQ(root->Commit(), S_OK);
  PutStream(root.get(), u"fourth", Pattern(1200000, 5));
  expected.streams[u"fourth"] = Pattern(1200000, 5);
  sub.Reset();
  root.Reset();
  ExpectAllWitnesses(file, expected);
  ExpectSame(expected, ReadBack(file));
}

TEST(Witness, EmptyFile) {
  TempDir dir;
  std::string file = dir.File("empty.ole");
  {
    Ref<ole::Storage> root;
    ASSERT_EQ(ole::CreateDocfile(file.c_str(), kCreate, root.Out()), S_OK);
  }
  Expected nothing;
  ExpectAllWitnesses(file, nothing);
  ExpectSame(nothing, ReadBack(file));
}

TEST(Witness, ReadsFilesWrittenByGsf) {
  TempDir dir;
  Expected expected;
  std::string tree = dir.File("tree");
  std::string setup = "mkdir -p " + ShellQuote(tree + "/sub/deeper") + " " + ShellQuote(tree + "/Caf\xc3\xa9");
  int status = 0;
  RunCommand(setup, &status);
  ASSERT_EQ(status, 0);
  uint32_t seed = 40;
  auto add = [&](const std::string& rel, size_t size) {
    std::string bytes = Pattern(size, seed++);
    WriteFile(tree + "/" + rel, bytes);
    std::u16string path = u"tree/";
    std::string utf8 = rel;
    // Test names are ASCII or Latin-1 letters in UTF-8.
    for (size_t i = 0; i < utf8.size(); ++i) {
      auto c = static_cast<unsigned char>(utf8[i]);
      if (c == 0xC3) path += static_cast<char16_t>(0xC0 + (static_cast<unsigned char>(utf8[++i]) & 0x3F));
      else path += static_cast<char16_t>(c);
    }
    expected.streams[path] = bytes;
  };
  for (size_t size : {0, 63, 64, 4095, 4096, 4097, 100000}) add("s" + std::to_string(size), size);
  add("sub/deeper/c", 3);
  add("sub/big", 20000);
  add("Caf\xc3\xa9/na\xc3\xafve", 700);
  expected.storages[u"tree"] = ole::Clsid();
  expected.storages[u"tree/sub"] = ole::Clsid();
  expected.storages[u"tree/sub/deeper"] = ole::Clsid();
  expected.storages[u"tree/Caf\u00e9"] = ole::Clsid();
  std::string file = dir.File("gsf.ole");
  RunCommand("cd " + ShellQuote(dir.path()) + " && gsf createole gsf.ole tree", &status);
  ASSERT_EQ(status, 0);
  ExpectSame(expected, ReadBack(file));
}

}  // namespace
}  // namespace oletest
