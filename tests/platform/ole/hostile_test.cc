// Damaged, truncated and hostile compound files are refused with a failure,
// never a crash or a hang; unusual but sound files (version 4, scattered
// chains) are read.
#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "ole_test_util.h"
#include "platform/ole/docfile.h"
#include "platform/ole/ole.h"

namespace oletest {
namespace {

using namespace ole;

constexpr uint32_t kEnd = 0xFFFFFFFE;
constexpr uint32_t kFree = 0xFFFFFFFF;

// A version-3 file's bytes with the means to find and patch its structures
// through its own header and FAT.
struct File3 {
  std::string b;

  uint32_t Get(size_t at) const {
    uint32_t v = 0;
    for (int i = 3; i >= 0; --i) v = (v << 8) | static_cast<uint8_t>(b.at(at + i));
    return v;
  }
  void Set(size_t at, uint32_t v) {
    for (int i = 0; i < 4; ++i) b.at(at + i) = static_cast<char>(v >> (8 * i));
  }
  void Set16(size_t at, uint16_t v) { Set(at, (Get(at) & 0xFFFF0000u) | v); }
  static size_t Sector(uint32_t s) { return 512 * (size_t{s} + 1); }
  size_t Fat(uint32_t s) const { return Sector(Get(76 + 4 * (s / 128))) + 4 * (s % 128); }
  size_t MiniFat(uint32_t m) const {
    uint32_t s = Get(60);
    for (uint32_t i = 0; i < m / 128; ++i) s = Get(Fat(s));
    return Sector(s) + 4 * (m % 128);
  }
  size_t Entry(uint32_t id) const {
    uint32_t s = Get(48);
    for (uint32_t i = 0; i < id / 4; ++i) s = Get(Fat(s));
    return Sector(s) + 128 * (id % 4);
  }
  // The directory id of the entry of that (ASCII) name.
  uint32_t Id(const std::string& name) const {
    for (uint32_t id = 0;; ++id) {
      size_t e = Entry(id);
      std::string n;
      for (size_t i = 0; b[e + 2 * i] != 0; ++i) n += b[e + 2 * i];
      if (n == name) return id;
    }
  }
  size_t EntryOf(const std::string& name) const { return Entry(Id(name)); }
};

// Opens the bytes and, when that works, reads every element; returns the
// open result.
Result OpenAndWalk(const std::string& bytes, size_t* total = nullptr) {
  Ref<Storage> root;
  Result r = OpenDocfileFromBytes(bytes.data(), bytes.size(), root.Out());
  if (r != S_OK) return r;
  size_t sum = 0;
  std::function<void(Storage*)> walk = [&](Storage* storage) {
    Ref<ElementEnum> e;
    ASSERT_EQ(storage->EnumElements(e.Out()), S_OK);
    StatStg stat;
    while (e->Next(1, &stat, nullptr) == S_OK) {
      if (stat.type == STGTY_STREAM) {
        Ref<Stream> s;
        if (storage->OpenStream(stat.name.c_str(), 0x10, s.Out()) != S_OK) continue;
        std::string data = ReadAll(s.get());
        EXPECT_EQ(data.size(), stat.size);
        sum += data.size();
      } else {
        Ref<Storage> sub;
        if (storage->OpenStorage(stat.name.c_str(), 0x10, sub.Out()) == S_OK) walk(sub.get());
      }
    }
  };
  walk(root.get());
  if (total != nullptr) *total = sum;
  return r;
}

class HostileTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    TempDir dir;
    std::string path = dir.File("base.ole");
    {
      Ref<Storage> root, sub;
      ASSERT_EQ(CreateDocfile(path.c_str(), 0x1011, root.Out()), S_OK);
      PutStream(root.get(), u"big", Pattern(5000, 1));
      PutStream(root.get(), u"two", Pattern(4500, 2));
      PutStream(root.get(), u"small", Pattern(300, 3));
      ASSERT_EQ(root->CreateStorage(u"sub", 0x1011, sub.Out()), S_OK);
      PutStream(sub.get(), u"inner", Pattern(70, 4));
      PutStream(sub.get(), u"x", "");
    }
    base_ = new std::string(ReadFile(path));
  }
  static void TearDownTestSuite() { delete base_; }

  File3 Base() const { return File3{*base_}; }
  void ExpectRefused(const File3& f, Result expected = STG_E_OLDFORMAT) {
    EXPECT_EQ(OpenAndWalk(f.b), expected);
  }

  static std::string* base_;
};

std::string* HostileTest::base_ = nullptr;

TEST_F(HostileTest, TheBaseFileIsSound) {
  size_t total = 0;
  ASSERT_EQ(OpenAndWalk(*base_, &total), S_OK);
  EXPECT_EQ(total, 5000u + 4500 + 300 + 70);
}

TEST_F(HostileTest, HeaderDamage) {
  File3 f = Base();
  f.b[0] = 'X';
  ExpectRefused(f, STG_E_FILEALREADYEXISTS);
  struct Patch {
    size_t at;
    uint32_t value;
    bool wide;
  };
  const Patch patches[] = {
      {28, 0xFEFF, false},      // byte order
      {26, 4, false},           // version 4 with 512-byte sectors
      {26, 5, false},           // unknown version
      {30, 10, false},          // sector size
      {32, 7, false},           // mini sector size
      {56, 8192, true},         // mini stream cutoff
      {44, 0, true},            // no FAT sectors
      {44, 0xFFFFFFFF, true},   // absurd FAT sector count
      {44, 2, true},            // more FAT sectors than listed
      {72, 0xFFFFFFFF, true},   // absurd DIFAT sector count
      {76, kFree, true},        // first FAT sector missing
      {76, 1000000, true},      // first FAT sector out of the file
      {48, kEnd, true},         // no directory
      {48, 1000000, true},      // directory out of the file
      {60, 1000000, true},      // mini FAT out of the file
  };
  for (const Patch& p : patches) {
    File3 g = Base();
    if (p.wide) g.Set(p.at, p.value);
    else g.Set16(p.at, static_cast<uint16_t>(p.value));
    SCOPED_TRACE(p.at);
    ExpectRefused(g);
  }
}

TEST_F(HostileTest, BrokenChains) {
  const File3 base = Base();
  uint32_t start = base.Get(base.EntryOf("big") + 116);
  uint32_t dir = base.Get(48);
  uint32_t fat = base.Get(76);
  for (uint32_t next : {start + 1, start + 3, 1000000u, kEnd, kFree, fat, dir}) {
    File3 f = base;
    f.Set(f.Fat(start + 3), next);  // loop, out of range, short, free, into the FAT, into the directory
    SCOPED_TRACE(next);
    ExpectRefused(f);
  }
  File3 f = base;
  f.Set(f.EntryOf("two") + 116, start);  // two streams sharing sectors
  ExpectRefused(f);
  f = base;
  f.Set(f.Fat(dir), dir);  // the directory's chain loops
  ExpectRefused(f);
  f = base;
  uint32_t mini_fat = base.Get(60);
  f.Set(f.Fat(mini_fat), mini_fat);  // the mini FAT's chain loops
  ExpectRefused(f);
  f = base;
  f.Set(f.EntryOf("big") + 120, 0xFFFFFFF0u);  // far larger than its chain
  ExpectRefused(f);
}

TEST_F(HostileTest, BrokenMiniStream) {
  const File3 base = Base();
  uint32_t start = base.Get(base.EntryOf("small") + 116);
  for (uint32_t next : {start, start + 1, 1000000u, kFree}) {
    File3 f = base;
    f.Set(f.MiniFat(start + 2), next);
    SCOPED_TRACE(next);
    ExpectRefused(f);
  }
  File3 f = base;
  f.Set(f.Entry(0) + 120, 0);  // no mini stream, yet streams in it
  ExpectRefused(f);
  f = base;
  f.Set(f.EntryOf("inner") + 116, start);  // two small streams sharing mini sectors
  ExpectRefused(f);
}

TEST_F(HostileTest, BrokenDirectory) {
  const File3 base = Base();
  auto patched = [&base](const std::string& name, size_t field, uint32_t value) {
    File3 f = base;
    f.Set(name.empty() ? f.Entry(0) + field : f.EntryOf(name) + field, value);
    return f;
  };
  uint32_t big = base.Id("big"), sub = base.Id("sub");
  ExpectRefused(patched("", 76, 0));            // the root as its own child
  ExpectRefused(patched("", 76, 100000));       // child out of the directory
  ExpectRefused(patched("big", 68, big));       // sibling of itself
  ExpectRefused(patched("big", 72, sub));       // reached twice
  ExpectRefused(patched("x", 68, sub));         // a storage inside itself
  ExpectRefused(patched("", 64, 0x00050000));   // the root is not a root
  for (uint32_t type : {0u, 3u, 5u, 7u}) {
    File3 f = base;
    f.b[f.EntryOf("two") + 66] = static_cast<char>(type);
    ExpectRefused(f);
  }
  for (uint16_t length : {0, 7, 66, 200}) {
    File3 f = base;
    f.Set16(f.EntryOf("two") + 64, length);
    ExpectRefused(f);
  }
  File3 f = base;
  size_t two = f.EntryOf("two");
  f.b[two] = 'B';
  f.b[two + 2] = 'I';
  f.b[two + 4] = 'G';  // the same name as "big"
  ExpectRefused(f);
}

TEST_F(HostileTest, TruncatedFiles) {
  const std::string& full = *base_;
  for (size_t n = 0; n < full.size(); n += (n < 600 ? 1 : 97)) {
    Result expected = n < 512 ? STG_E_FILEALREADYEXISTS : STG_E_OLDFORMAT;
    ASSERT_EQ(OpenAndWalk(full.substr(0, n)), expected) << n;
  }
  // Bytes after the last whole sector are not needed and do no harm.
  EXPECT_EQ(OpenAndWalk(full + "trailing"), S_OK);
}

TEST_F(HostileTest, IgnoredHighSizeBitsInVersion3) {
  File3 f = Base();
  f.Set(f.EntryOf("big") + 124, 0x12345678);
  size_t total = 0;
  ASSERT_EQ(OpenAndWalk(f.b, &total), S_OK);
  EXPECT_EQ(total, 5000u + 4500 + 300 + 70);
}

// Random damage anywhere: every outcome is S_OK or one of the two refusals,
// and whatever opens reads no more than the file holds.
TEST_F(HostileTest, RandomDamage) {
  uint32_t x = 12345;
  auto next = [&x](uint32_t bound) {
    x = x * 1103515245u + 12345u;
    return (x >> 8) % bound;
  };
  int opened = 0;
  for (int round = 0; round < 3000; ++round) {
    std::string b = *base_;
    int changes = 1 + static_cast<int>(next(4));
    for (int k = 0; k < changes; ++k) {
      size_t at = next(static_cast<uint32_t>(b.size()));
      b[at] = static_cast<char>(next(4) == 0 ? 0xFF : next(256));
    }
    size_t total = 0;
    Result r = OpenAndWalk(b, &total);
    ASSERT_TRUE(r == S_OK || r == STG_E_OLDFORMAT || r == STG_E_FILEALREADYEXISTS) << std::hex << r;
    if (r == S_OK) {
      ++opened;
      EXPECT_LE(total, b.size());
    }
  }
  EXPECT_GT(opened, 0);
}

// A file cut short on disk after it was opened: reads fail, nothing crashes.
TEST(SoundFiles, FileShrinksAfterOpening) {
  TempDir dir;
  std::string path = dir.File("shrinks.ole");
  {
    Ref<Storage> root;
    ASSERT_EQ(CreateDocfile(path.c_str(), 0x1011, root.Out()), S_OK);
    PutStream(root.get(), u"data", Pattern(100000, 6));
  }
  Ref<Storage> root;
  ASSERT_EQ(OpenDocfile(path.c_str(), 0x20, root.Out()), S_OK);
  ASSERT_EQ(truncate(path.c_str(), 1024), 0);
  Ref<Stream> s;
  ASSERT_EQ(root->OpenStream(u"data", 0x10, s.Out()), S_OK);
  std::string buf(100000, '\0');
  uint32_t got = 1;
  EXPECT_EQ(s->Read(&buf[0], 100000, &got), STG_E_READFAULT);
  EXPECT_EQ(got, 0u);
}

// A version-4 file (4096-byte sectors) put together by hand: FAT in sector 0,
// directory in 1, mini FAT in 2, mini stream in 3, a 5000-byte stream in 4-5.
std::string Version4File(const std::string& big, const std::string& small) {
  constexpr size_t kSector = 4096;
  File3 f;
  f.b.assign(kSector * 7, '\0');
  auto sector = [](uint32_t s) { return kSector * (s + 1); };
  const uint8_t signature[] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
  f.b.replace(0, 8, reinterpret_cast<const char*>(signature), 8);
  f.Set16(24, 0x3E);
  f.Set16(26, 4);
  f.Set16(28, 0xFFFE);
  f.Set16(30, 12);
  f.Set16(32, 6);
  f.Set(40, 1);  // directory sectors
  f.Set(44, 1);  // FAT sectors
  f.Set(48, 1);
  f.Set(56, 4096);
  f.Set(60, 2);
  f.Set(64, 1);
  f.Set(68, kEnd);
  f.Set(72, 0);
  f.Set(76, 0);
  for (int i = 1; i < 109; ++i) f.Set(76 + 4 * i, kFree);
  const uint32_t fat[] = {0xFFFFFFFD, kEnd, kEnd, kEnd, 5, kEnd};
  for (uint32_t i = 0; i < 1024; ++i) f.Set(sector(0) + 4 * i, i < 6 ? fat[i] : kFree);
  auto entry = [&](uint32_t id, const std::u16string& name, uint8_t type, uint8_t color, uint32_t left,
                   uint32_t right, uint32_t child, uint32_t start, uint32_t size) {
    size_t e = sector(1) + 128 * id;
    for (size_t i = 0; i < name.size(); ++i) f.Set16(e + 2 * i, name[i]);
    f.Set16(e + 64, static_cast<uint16_t>(2 * (name.size() + 1)));
    f.b[e + 66] = static_cast<char>(type);
    f.b[e + 67] = static_cast<char>(color);
    f.Set(e + 68, left);
    f.Set(e + 72, right);
    f.Set(e + 76, child);
    f.Set(e + 116, start);
    f.Set(e + 120, size);
  };
  for (uint32_t id = 3; id < 32; ++id) entry(id, u"", 0, 0, kFree, kFree, kFree, 0, 0);
  entry(0, u"Root Entry", 5, 1, kFree, kFree, 1, 3, 128);
  entry(1, u"big", 2, 1, kFree, 2, kFree, 4, static_cast<uint32_t>(big.size()));
  entry(2, u"small", 2, 0, kFree, kFree, kFree, 0, static_cast<uint32_t>(small.size()));
  for (uint32_t i = 0; i < 1024; ++i) f.Set(sector(2) + 4 * i, i == 0 ? 1 : i == 1 ? kEnd : kFree);
  f.b.replace(sector(3), small.size(), small);
  f.b.replace(sector(4), big.size(), big);
  return f.b;
}

TEST(SoundFiles, Version4) {
  std::string big = Pattern(5000, 8), small = Pattern(100, 9);
  std::string bytes = Version4File(big, small);
  TempDir dir;
  std::string path = dir.File("v4.ole");
  WriteFile(path, bytes);
  // The hand-built file is sound to an independent reader.
  Seen seen = ReadWithOlefile(path);
  EXPECT_EQ(seen.issues, "");
  EXPECT_EQ(seen.streams["big"].first, Crc32(big));
  EXPECT_EQ(seen.streams["small"].first, Crc32(small));

  Ref<Storage> root;
  ASSERT_EQ(OpenDocfile(path.c_str(), 0x20, root.Out()), S_OK);
  for (const auto& [name, content] : {std::make_pair(u"big", big), std::make_pair(u"small", small)}) {
    Ref<Stream> s;
    ASSERT_EQ(root->OpenStream(name, 0x10, s.Out()), S_OK);
    EXPECT_TRUE(ReadAll(s.get()) == content);
  }
}

// A stream whose sectors run backwards through the file.
TEST(SoundFiles, ScatteredChain) {
  TempDir dir;
  std::string path = dir.File("scattered.ole");
  std::string content = Pattern(20000, 5);
  {
    Ref<Storage> root;
    ASSERT_EQ(CreateDocfile(path.c_str(), 0x1011, root.Out()), S_OK);
    PutStream(root.get(), u"data", content);
  }
  File3 f{ReadFile(path)};
  size_t e = f.EntryOf("data");
  uint32_t start = f.Get(e + 116);
  uint32_t count = (20000 + 511) / 512;
  std::string blocks = f.b.substr(File3::Sector(start), 512 * count);
  for (uint32_t k = 0; k < count; ++k) {
    uint32_t s = start + count - 1 - k;
    f.b.replace(File3::Sector(s), 512, blocks.substr(512 * k, 512));
    f.Set(f.Fat(s), k + 1 < count ? s - 1 : kEnd);
  }
  f.Set(e + 116, start + count - 1);
  WriteFile(path, f.b);
  Seen seen = ReadWithOlefile(path);
  EXPECT_EQ(seen.issues, "");
  EXPECT_EQ(seen.streams["data"].first, Crc32(content));

  Ref<Storage> root;
  ASSERT_EQ(OpenDocfile(path.c_str(), 0x20, root.Out()), S_OK);
  Ref<Stream> s;
  ASSERT_EQ(root->OpenStream(u"data", 0x10, s.Out()), S_OK);
  EXPECT_TRUE(ReadAll(s.get()) == content);
  // Reads that start inside a sector and cross several.
  uint64_t at = 0;
  ASSERT_EQ(s->Seek(1000, STREAM_SEEK_SET, &at), S_OK);
  std::string part(3000, '\0');
  uint32_t got = 0;
  ASSERT_EQ(s->Read(&part[0], 3000, &got), S_OK);
  EXPECT_TRUE(part == content.substr(1000, 3000));
}

}  // namespace
}  // namespace oletest
