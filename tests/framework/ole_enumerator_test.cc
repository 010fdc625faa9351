// OLEStorageEnumerator: walking, seeking, sizes, and the storage-tree record
// written and read back, byte for byte and against hostile records.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "framework/failures.h"
#include "framework/mem_file.h"
#include "framework/ole_enumerator.h"
#include "framework/ole_storage.h"
#include "framework/ole_stream.h"
#include "tests/common/failure_of.h"
#include "tests/common/le_bytes.h"
#include "tests/common/ole_streams.h"
#include "tests/common/temp_dir.h"

namespace {

using testutil::FailureOf;
using testutil::LE32;
using testutil::PutStreamBytes;
using testutil::StreamBytes;
using testutil::TempDir;

void SetClass(OLEStorage& storage, uint8_t first) {
  MemFile in;
  for (int i = 0; i < 16; ++i) {
    uint8_t b = static_cast<uint8_t>(first + i);
    in.PutData(&b, 1);
  }
  in.Seek(0, SeekBegin);
  ASSERT_TRUE(storage.Stat().ReadClass(in));
}

// A file with streams A (1 byte), Bb (2), Ccc (3), a storage Sub holding a
// stream x (4) and an empty storage Deep.
std::string MakeFile(const TempDir& dir) {
  std::string path = dir.File("walk.kxt");
  OLEStorage root(path.c_str(), kOLECreate);
  PutStreamBytes(root, u"A", "1");
  PutStreamBytes(root, u"Bb", "22");
  PutStreamBytes(root, u"Ccc", "333");
  OLEStorage sub(root, u"Sub", kOLECreate);
  SetClass(sub, 0x40);
  PutStreamBytes(sub, u"x", "4444");
  OLEStorage deep(sub, u"Deep", kOLECreate);
  return path;
}

std::vector<std::u16string> Names(OLEStorageEnumerator& items) {
  std::vector<std::u16string> names;
  items.Rewind();
  while (items.Next()) names.emplace_back(items.ItemName());
  return names;
}

TEST(OLEStorageEnumeratorTest, NextSkipsAndKeeps) {
  TempDir dir;
  OLEStorage root(MakeFile(dir).c_str(), kOLERead);
  OLEStorageEnumerator items = root.CreateEnumerator();
  std::vector<std::u16string> names = Names(items);
  ASSERT_EQ(names.size(), 4u);
  EXPECT_EQ(items.ItemName(), nullptr);  // ran out

  items.Rewind();
  ASSERT_TRUE(items.Next(1));
  EXPECT_TRUE(items.Next(0));  // does nothing
  EXPECT_EQ(names[0], items.ItemName());
  items.Rewind();
  ASSERT_TRUE(items.Next(3));  // skips two
  EXPECT_EQ(names[2], items.ItemName());
  EXPECT_FALSE(items.Next(5));
  EXPECT_EQ(items.ItemName(), nullptr);

  // A copy goes on from where the original was.
  items.Rewind();
  items.Next(2);
  OLEStorageEnumerator copy(items);
  EXPECT_EQ(names[1], copy.ItemName());
  ASSERT_TRUE(copy.Next());
  EXPECT_EQ(names[2], copy.ItemName());
  EXPECT_EQ(names[1], items.ItemName());
}

TEST(OLEStorageEnumeratorTest, SeekFindsExactNamesAndItemsOpen) {
  TempDir dir;
  OLEStorage root(MakeFile(dir).c_str(), kOLERead);
  OLEStorageEnumerator items(root);
  ASSERT_TRUE(items.Seek(u"Sub"));
  EXPECT_TRUE(items.ItemIsStorage());
  EXPECT_EQ(items.GetItemSize(), 4u);
  {
    OLEStorage sub = items.OpenStorage(kOLERead);
    EXPECT_EQ(StreamBytes(sub, u"x"), "4444");
  }
  ASSERT_TRUE(items.Seek(u"Ccc"));
  EXPECT_FALSE(items.ItemIsStorage());
  EXPECT_EQ(items.GetItemSize(), 3u);
  {
    OLEStream stream = items.OpenStream(kOLERead);
    char bytes[3];
    EXPECT_EQ(stream.GetData(bytes, 3), 3u);
  }
  EXPECT_FALSE(items.Seek(u"ccc"));  // unit by unit, unlike element names
  EXPECT_FALSE(items.Seek(u"Cc"));
  EXPECT_EQ(items.ItemName(), nullptr);
  EXPECT_EQ(FailureOf([&] { items.OpenStream(kOLERead); }), 33003);
  EXPECT_EQ(root.GetSize(), 1u + 2u + 3u + 4u);
}

TEST(OLEStorageEnumeratorTest, StorageOpenedForWritingHasNoElements) {
  TempDir dir;
  OLEStorage root(dir.File("w.kxt").c_str(), kOLECreate);
  PutStreamBytes(root, u"A", "1");
  OLEStorageEnumerator items(root);
  items.Rewind();
  EXPECT_FALSE(items.Next());
  EXPECT_FALSE(items.Seek(u"A"));
  EXPECT_EQ(root.GetSize(), 0u);
}

std::string Name(const std::u16string& name) {
  std::string s = LE32(static_cast<uint32_t>(name.size() + 1));
  for (char16_t c : name + u'\0') {
    s += static_cast<char>(c & 0xFF);
    s += static_cast<char>(c >> 8);
  }
  return s;
}

std::string Class(uint8_t first) {
  std::string s;
  for (int i = 0; i < 16; ++i) s += static_cast<char>(first + i);
  return s;
}

std::string Bytes(const MemFile& file) { return std::string(static_cast<const char*>(file.Data()), file.Size()); }

TEST(OLEStorageEnumeratorTest, StorageRecordIsWrittenByteForByte) {
  TempDir dir;
  OLEStorage root(MakeFile(dir).c_str(), kOLERead);
  OLEStorageEnumerator items(root);
  ASSERT_TRUE(items.Seek(u"Sub"));
  MemFile out;
  items >> out;
  // Sub: its class, then x and Deep in the order the storage lists them.
  std::vector<std::u16string> order;
  {
    OLEStorage sub = items.OpenStorage(kOLERead);
    OLEStorageEnumerator inner(sub);
    order = Names(inner);
  }
  std::string x = std::string(1, '\0') + Name(u"x") + LE32(4) + "4444";
  std::string deep = std::string(1, '\1') + Name(u"Deep") + std::string(16, '\0') + "\xFF";
  std::string expected = std::string(1, '\1') + Name(u"Sub") + Class(0x40) +
                         (order.at(0) == u"x" ? x + deep : deep + x) + "\xFF";
  EXPECT_EQ(Bytes(out), expected);

  ASSERT_TRUE(items.Seek(u"Bb"));
  MemFile stream;
  items >> stream;
  EXPECT_EQ(Bytes(stream), std::string(1, '\0') + Name(u"Bb") + LE32(2) + "22");
}

TEST(OLEStorageEnumeratorTest, TreeRoundTripsThroughItsRecord) {
  TempDir dir;
  std::string copy_path = dir.File("copy.kxt");
  MemFile record;
  {
    OLEStorage root(MakeFile(dir).c_str(), kOLERead);
    OLEStorageEnumerator items(root);
    while (items.Next()) items >> record;
  }
  record.Seek(0, SeekBegin);
  {
    OLEStorage copy(copy_path.c_str(), kOLECreate);
    OLEStorageEnumerator items(copy);
    int records = 0;
    while (items << record) ++records;
    EXPECT_EQ(records, 4);
  }
  OLEStorage copy(copy_path.c_str(), kOLERead);
  EXPECT_EQ(StreamBytes(copy, u"A"), "1");
  EXPECT_EQ(StreamBytes(copy, u"Bb"), "22");
  EXPECT_EQ(StreamBytes(copy, u"Ccc"), "333");
  {
    OLEStorage sub(copy, u"Sub", kOLERead);
    EXPECT_EQ(StreamBytes(sub, u"x"), "4444");
    EXPECT_TRUE(sub.StorageExists(u"Deep"));
    MemFile clsid;
    sub.Stat().WriteClass(clsid);
    EXPECT_EQ(Bytes(clsid), Class(0x40));
  }

  // The copy writes the same record again.
  MemFile again;
  OLEStorageEnumerator items(copy);
  while (items.Next()) items >> again;
  EXPECT_EQ(Bytes(again), Bytes(record));
}

// Reads `record` into a fresh storage; returns what operator<< answered
// (failure ids as negative numbers) and lists what was made.
struct ReadResult {
  int answer;
  std::vector<std::u16string> made;
};
ReadResult ReadRecord(const std::string& record) {
  TempDir dir;
  std::string path = dir.File("r.kxt");
  ReadResult result{0, {}};
  {
    OLEStorage root(path.c_str(), kOLECreate);
    OLEStorageEnumerator items(root);
    MemFile in;
    in.PutData(record.data(), static_cast<uint32_t>(record.size()));
    in.Seek(0, SeekBegin);
    int failure = FailureOf([&] { result.answer = (items << in) ? 1 : 0; });
    if (failure) result.answer = -failure;
  }
  OLEStorage root(path.c_str(), kOLERead);
  OLEStorageEnumerator items(root);
  result.made = Names(items);
  return result;
}

TEST(OLEStorageEnumeratorTest, BadRecordsAreRefused) {
  std::string stream = std::string(1, '\0') + Name(u"s") + LE32(3) + "abc";
  ReadResult good = ReadRecord(stream);
  EXPECT_EQ(good.answer, 1);
  EXPECT_EQ(good.made, std::vector<std::u16string>{u"s"});

  const std::string refused[] = {
      "",                                                  // no kind
      "\xFF",                                              // list end
      std::string(1, '\2') + Name(u"s") + LE32(0),          // unknown kind
      std::string(1, '\0') + LE32(0),                       // empty name
      std::string(1, '\0') + LE32(33) + std::string(66, 'a'),  // longer than a name can be
      std::string(1, '\0') + LE32(0xFFFFFFFF) + "ab",      // absurd length
      std::string(1, '\0') + LE32(3) + "a\0b\0",           // name comes short
      std::string(1, '\0') + LE32(2) + std::string("a\0b\0", 4) + LE32(0),  // no NUL at its end
      std::string(1, '\0') + Name(u"s") + "\1\0",          // size comes short
  };
  for (const std::string& record : refused) {
    ReadResult result = ReadRecord(record);
    EXPECT_EQ(result.answer, 0) << ::testing::PrintToString(record);
    EXPECT_TRUE(result.made.empty());
  }

  // Stream bytes that come short are a failure; the stream keeps what came.
  ReadResult short_data = ReadRecord(std::string(1, '\0') + Name(u"s") + LE32(0xFFFFFFF0) + "abc");
  EXPECT_EQ(short_data.answer, -33011);
  EXPECT_EQ(short_data.made, std::vector<std::u16string>{u"s"});
}

TEST(OLEStorageEnumeratorTest, StorageListMayEndWithTheInput) {
  std::string record = std::string(1, '\1') + Name(u"S") + Class(1) + std::string(1, '\0') + Name(u"t") + LE32(1) + "z";
  ReadResult result = ReadRecord(record);
  EXPECT_EQ(result.answer, 1);
  EXPECT_EQ(result.made, std::vector<std::u16string>{u"S"});
}

TEST(OLEStorageEnumeratorTest, NestingIsBounded) {
  auto nested = [](unsigned depth) {
    std::string record;
    for (unsigned i = 0; i < depth; ++i) record += std::string(1, '\1') + Name(u"n") + Class(0);
    return record;
  };
  EXPECT_EQ(ReadRecord(nested(OLEStorageEnumerator::kMaxTreeDepth)).answer, 1);
  EXPECT_EQ(ReadRecord(nested(OLEStorageEnumerator::kMaxTreeDepth + 1)).answer, -33011);
  EXPECT_EQ(ReadRecord(nested(100000)).answer, -33011);
}

}  // namespace
