// PropertySet: the stream written byte for byte, values read back (here and
// by python3-olefile), values of other types carried through the hidden
// property, and short or hostile streams refused with 33010.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "framework/failures.h"
#include "framework/mem_file.h"
#include "framework/ole_storage.h"
#include "framework/ole_stream.h"
#include "framework/property_set.h"
#include "framework/variant.h"
#include "tests/common/failure_of.h"
#include "tests/common/le_bytes.h"
#include "tests/common/ole_streams.h"
#include "tests/common/python.h"
#include "tests/common/temp_dir.h"

namespace {

using testutil::FailureOf;
using testutil::LE16;
using testutil::LE32;
using testutil::LE64;
using testutil::PythonOutput;
using testutil::PutStreamBytes;
using testutil::StreamBytes;
using testutil::TempDir;

// The 48 bytes before the section: byte order, version, system, class id,
// one section with its format id at offset 48.
std::string Header(const std::string& fmtid = std::string(16, '\0')) {
  return LE16(0xFFFE) + LE16(0) + LE32(0x00020004) + std::string(16, '\0') + LE32(1) + fmtid + LE32(48);
}

// A section of {id, value bytes} entries in the given order.
std::string Section(const std::vector<std::pair<uint32_t, std::string>>& entries) {
  uint32_t offset = 8 + 8 * static_cast<uint32_t>(entries.size());
  std::string pairs;
  std::string values;
  for (const auto& entry : entries) {
    pairs += LE32(entry.first) + LE32(offset + static_cast<uint32_t>(values.size()));
    values += entry.second;
  }
  return LE32(offset + static_cast<uint32_t>(values.size())) + LE32(static_cast<uint32_t>(entries.size())) + pairs +
         values;
}

std::string Olefile(const std::string& path, const std::string& stream) {
  return PythonOutput(
      "import olefile, sys\n"
      "ole = olefile.OleFileIO(sys.argv[1])\n"
      "assert not ole.parsing_issues\n"
      "props = ole.getproperties(sys.argv[2], convert_time=True)\n"
      "print(sorted(props.items()))\n",
      {path, stream});
}

TEST(PropertySetTest, VersionPropertiesMakeThe88ByteStream) {
  TempDir dir;
  std::string path = dir.File("version.kxt");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    PropertySet set(u"Summary");
    set += Property(3001, Variant(uint16_t{1}));
    set += Property(3000, Variant(uint16_t{1}));
    set.Put(root);
    std::string expected = Header() + LE32(40) + LE32(2) + LE32(3000) + LE32(24) + LE32(3001) + LE32(32) + LE32(18) +
                           LE16(1) + LE16(0) + LE32(18) + LE16(1) + LE16(0);
    ASSERT_EQ(expected.size(), 88u);
    EXPECT_EQ(StreamBytes(root, u"Summary"), expected);
  }
  EXPECT_EQ(Olefile(path, "Summary"), "[(3000, 1), (3001, 1)]\n");

  OLEStorage root(path.c_str(), kOLERead);
  PropertySet back(u"Summary");
  back += Property(7, Variant(int32_t{7}));  // replaced by what the stream holds
  back.Get(root);
  ASSERT_EQ(back.Size(), 2);
  EXPECT_EQ(back[0].ID(), 3000);
  EXPECT_EQ(back[0].Value().Type(), kVariantUShort);
  EXPECT_TRUE(back[1].Value() == uint16_t{1});
}

TEST(PropertySetTest, EveryKindIsWrittenInItsOwnEncoding) {
  TempDir dir;
  std::string path = dir.File("kinds.kxt");
  const int32_t longs[2] = {1, 2};
  PropertySet set(u"Kinds");
  set += Property(1, Variant(true));
  set += Property(2, Variant(int16_t{-2}));
  set += Property(3, Variant(1.5f));
  set += Property(4, Variant('x'));
  set += Property(5, Variant(int32_t{-5}));
  set += Property(6, Variant(2.5));
  set += Property(7, Variant("ab"));
  set += Property(8, Variant(uint16_t{7}));
  set += Property(9, Variant(u"ab"));
  set += Property(10, Variant(uint32_t{0xDEADBEEF}));
  set += Property(11, Variant(u'w'));       // no stream type: empty
  set += Property(12, Variant(longs, 2));   // no stream type: empty
  set += Property(13, Variant());
  set += Property(0, Variant(uint32_t{1252}));  // in place of the type word
  set += Property(-5, Variant(int16_t{3}));     // ids order signed
  {
    OLEStorage root(path.c_str(), kOLECreate);
    set.Put(root);
    std::string expected =
        Header() + Section({{0xFFFFFFFB, LE32(2) + LE16(3) + LE16(0)},
                            {0, LE32(1252)},
                            {1, LE32(11) + "\x01" + std::string(3, '\0')},  // one byte, then padding
                            {2, LE32(2) + LE16(0xFFFE) + LE16(0)},
                            {3, LE32(4) + LE32(0x3FC00000)},
                            {4, LE32(16) + "x" + std::string(3, '\0')},
                            {5, LE32(3) + LE32(0xFFFFFFFB)},
                            {6, LE32(5) + LE64(0x4004000000000000)},
                            {7, LE32(30) + LE32(3) + std::string("ab\0\0", 4)},
                            {8, LE32(18) + LE16(7) + LE16(0)},
                            {9, LE32(31) + LE32(6) + std::string("a\0b\0\0\0\0\0", 8)},  // count of BYTES
                            {10, LE32(19) + LE32(0xDEADBEEF)},
                            {11, LE32(0)},
                            {12, LE32(0)},
                            {13, LE32(0)}});
    EXPECT_EQ(StreamBytes(root, u"Kinds"), expected);
  }
  // The common integer and string types read the same elsewhere.
  std::string others = Olefile(path, "Kinds");
  // (This reader shows 32-bit integers and ids unsigned.)
  for (const char* item : {"(2, -2)", "(5, 4294967291)", "(7, b'ab')", "(8, 7)", "(10, 3735928559)", "(4294967291, 3)"}) {
    EXPECT_NE(others.find(item), std::string::npos) << item << " in " << others;
  }

  OLEStorage root(path.c_str(), kOLERead);
  PropertySet back(u"Kinds");
  back.Get(root);
  ASSERT_EQ(back.Size(), set.Size());
  for (int i = 0; i < set.Size(); ++i) {
    const Property& p = back[i];
    ASSERT_EQ(p.ID(), set[i].ID());
    if (p.ID() == 11 || p.ID() == 12) {
      EXPECT_EQ(p.Value().Type(), kVariantEmpty);
    } else if (p.ID() == 0) {
      EXPECT_EQ(p.Value().Type(), kVariantULong);
      EXPECT_TRUE(p.Value() == set[i].Value());
    } else {
      EXPECT_EQ(p.Value().Type(), set[i].Value().Type()) << p.ID();
      EXPECT_TRUE(p.Value() == set[i].Value()) << p.ID();
    }
  }
}

TEST(PropertySetTest, OtherTypesSurviveThroughTheHiddenProperty) {
  TempDir dir;
  std::string path = dir.File("hidden.kxt");
  const std::string fmtid("\xE0\x85\x9F\xF2\xF9\x4F\x68\x10\xAB\x91\x08\x00\x2B\x27\xB3\xD9", 16);
  // 2020-01-02 03:04:05 UTC in 100-ns units since 1601.
  const uint64_t filetime = (11644473600ull + 1577934245ull) * 10000000ull;
  const std::string clip("\xFF\xFF\xFF\xFF\x03", 5);
  std::string stored = Header(fmtid) + Section({{2, LE32(30) + LE32(2) + std::string("T\0\0\0", 4)},
                                               {12, LE32(64) + LE64(filetime)},
                                               {17, LE32(71) + LE32(5) + clip + std::string(3, '\0')},
                                               {20, LE32(65) + LE32(2) + "zz" + std::string(2, '\0')}});
  {
    OLEStorage root(path.c_str(), kOLECreate);
    PutStreamBytes(root, u"In", stored);
  }
  OLEStorage root(path.c_str(), kOLERead);
  PropertySet set(u"In");
  set.Get(root);
  EXPECT_EQ(std::memcmp(set.Stat().FormatID(), fmtid.data(), 16), 0);
  ASSERT_EQ(set.Size(), 2);
  EXPECT_EQ(set[0].ID(), PropertySet::kHiddenPropertyID);
  const Variant& hidden = set[0].Value();
  EXPECT_EQ(hidden.Type(), kVariantULongArray);
  std::string entries = LE32(3) + LE32(12) + LE32(64) + LE16(0x0425) + LE32(8) + LE64(filetime) + LE32(17) + LE32(71) +
                        LE16(0x0425) + LE32(5) + clip + LE32(20) + LE32(0) + LE16(0);
  entries += std::string(4 - entries.size() % 4, '\0');
  EXPECT_EQ(std::string(static_cast<const char*>(hidden), hidden.ArraySize()), entries);
  EXPECT_TRUE(set.Find(2)->Value() == Variant("T"));

  // Written back: the raw values first, the unknown one as VT_EMPTY.
  std::string out_path = dir.File("out.kxt");
  {
    OLEStorage out(out_path.c_str(), kOLECreate);
    PropertySet copy(u"Out");
    copy += set;
    copy.Put(out);
    std::string expected = Header() + Section({{12, LE32(64) + LE64(filetime)},
                                               {17, LE32(71) + LE32(5) + clip + std::string(3, '\0')},
                                               {20, LE32(0)},
                                               {2, LE32(30) + LE32(2) + std::string("T\0\0\0", 4)}});
    EXPECT_EQ(StreamBytes(out, u"Out"), expected);
  }
  EXPECT_EQ(Olefile(out_path, "Out"),
            "[(2, b'T'), (12, datetime.datetime(2020, 1, 2, 3, 4, 5)), (17, b'\\xff\\xff\\xff\\xff\\x03'), (20, None)]\n");
}

// Gets a set from `bytes`; returns the failure id (0 for none) and the set.
int GetFrom(const std::string& bytes, PropertySet& set) {
  TempDir dir;
  std::string path = dir.File("raw.kxt");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    PutStreamBytes(root, set.StreamName(), bytes);
  }
  OLEStorage root(path.c_str(), kOLERead);
  return FailureOf([&] { set.Get(root); });
}

TEST(PropertySetTest, ShortAndHostileStreamsFailWith33010) {
  std::string good = Header() + Section({{3000, LE32(18) + LE16(1) + LE16(0)}, {3001, LE32(18) + LE16(1) + LE16(0)}});
  for (size_t length : {0, 27, 47, 48, 55}) {
    PropertySet set(u"P");
    EXPECT_EQ(GetFrom(good.substr(0, length), set), 33010) << length;
    EXPECT_EQ(set.Size(), 0);
  }
  {
    PropertySet set(u"P");
    EXPECT_EQ(GetFrom(good.substr(0, 82), set), 33010);  // the second value comes short
    ASSERT_EQ(set.Size(), 1);                              // the first was read
    EXPECT_EQ(set[0].ID(), 3000);
  }
  const std::string hostile[] = {
      Header() + LE32(8) + LE32(0xFFFFFFFF),                                   // absurd count
      good.substr(0, 44) + LE32(0xFFFFFFF0) + good.substr(48),               // section far away
      Header() + Section({{1, LE32(30) + LE32(0xFFFFFFF0) + "abcd"}}),        // string longer than the stream
      Header() + Section({{1, LE32(31) + LE32(0x80000000) + "abcd"}}),        // wide string longer than the stream
      Header() + Section({{1, LE32(71) + LE32(0xFFFFFFFF) + "abcd"}}),        // clipboard value longer
      Header() + Section({{1, LE32(64) + LE32(5)}}),                          // FILETIME cut short
      Header() + LE32(16) + LE32(1) + LE32(1) + LE32(0xFFFFFFFC),                // value offset far away
  };
  for (const std::string& bytes : hostile) {
    PropertySet set(u"P");
    EXPECT_EQ(GetFrom(bytes, set), 33010) << ::testing::PrintToString(bytes);
  }

  // Many pairs sharing one long string would copy it again for each.
  std::string shared_pairs;
  const uint32_t pairs = 1000;
  for (uint32_t i = 0; i < pairs; ++i) shared_pairs += LE32(i + 1) + LE32(8 + 8 * pairs);
  std::string text(4000, 's');
  PropertySet shared(u"P");
  EXPECT_EQ(GetFrom(Header() + LE32(0) + LE32(pairs) + shared_pairs + LE32(30) + LE32(4000) + text, shared), 33010);
  EXPECT_LT(shared.Size(), 20);
  PropertySet missing(u"Missing");
  TempDir dir;
  { OLEStorage root(dir.File("m.kxt").c_str(), kOLECreate); }
  OLEStorage root(dir.File("m.kxt").c_str(), kOLERead);
  EXPECT_EQ(FailureOf([&] { missing.Get(root); }), 33006);
}

TEST(PropertySetTest, OddWideStringByteCountStaysInItsBuffer) {
  PropertySet set(u"P");
  ASSERT_EQ(GetFrom(Header() + Section({{1, LE32(31) + LE32(5) + std::string("a\0b\0c\0\0\0", 8)}}), set), 0);
  const Variant& value = set.Find(1)->Value();
  EXPECT_EQ(value.Type(), kVariantWideCharArray);
  ASSERT_EQ(value.ArraySize(), 4u);  // two whole characters; the odd byte has none
  EXPECT_EQ(std::string(static_cast<const char*>(value), 4), std::string("a\0b\0", 4));
}

TEST(PropertySetTest, SetsAddRemoveAndAssignById) {
  PropertySet set(u"A");
  set += Property(5, Variant(int32_t{1}));
  set += Property(-1, Variant(int32_t{2}));
  set += Property(5, Variant(int32_t{3}));  // replaces
  ASSERT_EQ(set.Size(), 2);
  EXPECT_EQ(set[0].ID(), -1);
  EXPECT_TRUE(set.Find(5)->Value() == int32_t{3});
  EXPECT_EQ(set.Find(6), nullptr);

  PropertySet other(u"B");
  other += Property(6, Variant(int32_t{6}));
  other += Property(5, Variant(int32_t{9}));
  set += other;
  EXPECT_EQ(set.Size(), 3);
  EXPECT_TRUE(set.Find(5)->Value() == int32_t{9});
  set += set;
  EXPECT_EQ(set.Size(), 3);

  set -= Property(-1);
  set -= Property(42);
  EXPECT_EQ(set.Size(), 2);
  PropertySet copy(u"C");
  copy = set;
  EXPECT_EQ(std::u16string(copy.StreamName()), u"C");
  EXPECT_EQ(copy.Size(), 2);
  set -= other;
  EXPECT_EQ(set.Size(), 0);
  PropertySet& same = copy;
  copy -= same;
  EXPECT_EQ(copy.Size(), 0);
}

}  // namespace
