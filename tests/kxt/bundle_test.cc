// Bundles and records: column-wise storage (checked by the independent
// reader), reading back record by record, missing, mistyped and short field
// streams, and the record classes' fields and initial values.
#include <gtest/gtest.h>

#include <string>
#include <typeinfo>
#include <vector>

#include "kxt/kxt_records.h"
#include "kxt/kxt_storage.h"
#include "kxt_test_util.h"
#include "tests/common/hex.h"
#include "tests/common/le_bytes.h"
#include "tests/common/temp_dir.h"

namespace {

using kxt_test::RawCodeFile;
using testutil::Bytes;
using testutil::Hex;
using testutil::LE32;
using testutil::TempDir;

// Writes `count` reference points and as many numbered strings.
void WriteBundles(const std::string& path, int count) {
  OLEStorage root(path.c_str(), kOLECreate);
  KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
  KXT_Handle<KXT_OutFolder2> folder = storage->CreateKXTFolder2();
  KXT_Handle<KXT_OutBundle2> points = folder->CreateBundle2(KXT_RefPoint_Rec(), "Refs{}", 0);
  KXT_Handle<KXT_OutBundle2> strings = folder->CreateBundle2(KXT_NumberedString(), "StringsMap{}", 0);
  KXT_RefPoint_Rec_Out point;
  KXT_NumberedString_Out string;
  for (int k = 0; k < count; ++k) {
    point.m_ObjectFolderID = k;
    point.m_ObjectTypeRef = -k;
    point.m_RefTypeRef = 1000000 + k;
    points->PutRecord(point);
    string.m_Ref = k;
    string.m_String = std::u16string(static_cast<size_t>(k % 7), static_cast<char16_t>(u'a' + k % 26));
    strings->PutRecord(string);
  }
}

class BundleCountTest : public ::testing::TestWithParam<int> {};

// 0, 1, 3 and more than 1024 records: every field stream holds its tag and
// one value per record, and reading returns them in order, then false.
TEST_P(BundleCountTest, RecordsComeBackInOrder) {
  const int count = GetParam();
  TempDir dir;
  const std::string path = dir.File("bundles.kxt");
  WriteBundles(path, count);

  std::string ids = "0600", types = "0600", refs = "0600", numbers = "0600", texts = "0b00";
  for (int k = 0; k < count; ++k) {
    ids += Hex(LE32(k));
    types += Hex(LE32(-k));
    refs += Hex(LE32(1000000 + k));
    numbers += Hex(LE32(k));
    const int n = k % 7;
    texts += Hex(std::string{static_cast<char>(n), '\0'});
    for (int i = 0; i < n; ++i) texts += Hex(std::string{static_cast<char>('a' + k % 26), '\0'});
  }
  const auto lines = kxt_test::Witness(path);
  EXPECT_EQ(lines.count("folder Refs{}#0| 0"), 1u);
  EXPECT_EQ(lines.count("folder StringsMap{}#0| 0"), 1u);
  const auto streams = kxt_test::WitnessStreams(lines);
  EXPECT_EQ(streams.at("Refs{}#0|m_ObjectFolderID"), "0 0 " + ids);
  EXPECT_EQ(streams.at("Refs{}#0|m_ObjectTypeRef"), "0 0 " + types);
  EXPECT_EQ(streams.at("Refs{}#0|m_RefTypeRef"), "0 0 " + refs);
  // The strings map stores m_Ref with tag 6 and m_String with tag 11.
  EXPECT_EQ(streams.at("StringsMap{}#0|m_Ref"), "0 0 " + numbers);
  EXPECT_EQ(streams.at("StringsMap{}#0|m_String"), "0 0 " + texts);
  EXPECT_EQ(streams.size(), 5u);  // nothing else is stored

  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  KXT_Handle<KXT_InFolder2> folder = storage->OpenKXTFolder2();
  KXT_Handle<KXT_InBundle2> points = folder->OpenBundle2(KXT_RefPoint_Rec(), "Refs{}", 0);
  KXT_Handle<KXT_InBundle2> strings = folder->OpenBundle2(KXT_NumberedString(), "StringsMap{}", 0);
  ASSERT_TRUE(points);
  ASSERT_TRUE(strings);
  KXT_RefPoint_Rec_In point;
  KXT_NumberedString_In string;
  int k = 0;
  for (; points->GetRecord(point); ++k) {
    ASSERT_TRUE(strings->GetRecord(string));
    EXPECT_EQ(point.m_ObjectFolderID, k);
    EXPECT_EQ(point.m_ObjectTypeRef, -k);
    EXPECT_EQ(point.m_RefTypeRef, 1000000 + k);
    EXPECT_EQ(string.m_Ref, k);
    EXPECT_EQ(string.m_String.size(), static_cast<size_t>(k % 7));
  }
  EXPECT_EQ(k, count);
  EXPECT_FALSE(strings->GetRecord(string));
  EXPECT_FALSE(points->GetRecord(point));  // and stays at the end
}

INSTANTIATE_TEST_SUITE_P(Counts, BundleCountTest, ::testing::Values(0, 1, 3, 1500));

TEST(BundleTest, ThreeSpecialCharactersThenFalse) {
  TempDir dir;
  const std::string path = dir.File("special.kxt");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, true));
    KXT_Handle<KXT_OutFolder2> folder = storage->CreateKXTFolder2();
    KXT_Handle<KXT_OutBundle2> chars = folder->CreateBundle2(KXT_SpecialChar_Rec(), "!1:SpecialChars{}", 0);
    KXT_SpecialChar_Rec_Out record;
    for (int i = 0; i < 3; ++i) {
      record.m_NameRef = i;
      record.m_DataRef = 10 + i;
      chars->PutRecord(record);
    }
  }
  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  KXT_Handle<KXT_InBundle2> chars =
      storage->OpenKXTFolder2()->OpenBundle2(KXT_SpecialChar_Rec(), "!1:SpecialChars{}", 0);
  ASSERT_TRUE(chars);
  KXT_SpecialChar_Rec_In record;
  for (int i = 0; i < 3; ++i) {
    ASSERT_TRUE(chars->GetRecord(record));
    EXPECT_EQ(record.m_NameRef, i);
    EXPECT_EQ(record.m_DataRef, 10 + i);
  }
  EXPECT_FALSE(chars->GetRecord(record));
}

// Bundles whose field streams the writer would never leave like this.
class PartialBundleTest : public kxt_test::RawContainerTest {};

TEST_F(PartialBundleTest, MissingAndMistypedFieldsKeepTheirValues) {
  const RawCodeFile::Path refs = {{"Refs{}", 0}};
  raw_.Stream(refs, "m_ObjectFolderID", Bytes("0600 01000000 02000000"));
  raw_.Stream(refs, "m_ObjectTypeRef", Bytes("0600 0b000000 0c000000"));
  // m_RefTypeRef is missing.
  const RawCodeFile::Path marks = {{"Marks{}", 0}};
  raw_.Stream(marks, "m_ObjectFolderID", Bytes("0400 0500"));  // short, not long
  raw_.Stream(marks, "m_ObjectTypeRef", Bytes("0600 07000000"));
  raw_.Stream({{"Empty{}", 0}}, "other", Bytes("0600 07000000"));
  KXT_Handle<KXT_InFolder2> folder = Open();

  KXT_Handle<KXT_InBundle2> points = folder->OpenBundle2(KXT_RefPoint_Rec(), "Refs{}", 0);
  ASSERT_TRUE(points);
  KXT_RefPoint_Rec_In point;
  point.m_RefTypeRef = 77;
  ASSERT_TRUE(points->GetRecord(point));
  EXPECT_EQ(point.m_ObjectFolderID, 1);
  EXPECT_EQ(point.m_ObjectTypeRef, 11);
  EXPECT_EQ(point.m_RefTypeRef, 77);
  ASSERT_TRUE(points->GetRecord(point));
  EXPECT_EQ(point.m_ObjectFolderID, 2);
  EXPECT_EQ(point.m_RefTypeRef, 77);
  EXPECT_FALSE(points->GetRecord(point));

  KXT_Handle<KXT_InBundle2> holders = folder->OpenBundle2(KXT_PlaceHolder_Rec(), "Marks{}", 0);
  ASSERT_TRUE(holders);
  KXT_PlaceHolder_Rec_In holder;
  holder.m_ObjectFolderID = 42;
  ASSERT_TRUE(holders->GetRecord(holder));
  EXPECT_EQ(holder.m_ObjectFolderID, 42);  // its stream is of another type: left out
  EXPECT_EQ(holder.m_ObjectTypeRef, 7);

  // No field stream at all: nothing to read.
  KXT_Handle<KXT_InBundle2> empty = folder->OpenBundle2(KXT_PlaceHolder_Rec(), "Empty{}", 0);
  ASSERT_TRUE(empty);
  EXPECT_FALSE(empty->GetRecord(holder));
  EXPECT_FALSE(folder->OpenBundle2(KXT_PlaceHolder_Rec(), "Missing{}", 0));
  EXPECT_FALSE(folder->OpenBundle2(KXT_PlaceHolder_Rec(), "Refs{}", 1));
}

TEST_F(PartialBundleTest, AShortFieldEndsTheReadingAfterEarlierFieldsWereUpdated) {
  const RawCodeFile::Path attrs = {{"Attrs{}", 0}};
  raw_.Stream(attrs, "m_NameRef", Bytes("0600 01000000 02000000"));
  raw_.Stream(attrs, "m_ValueRef", Bytes("0600 0b000000"));
  KXT_Handle<KXT_InFolder2> folder = Open();
  KXT_Handle<KXT_InBundle2> bundle = folder->OpenBundle2(KXT_Attr_Rec(), "Attrs{}", 0);
  KXT_Attr_Rec_In attr;
  ASSERT_TRUE(bundle->GetRecord(attr));
  EXPECT_EQ(attr.m_NameRef, 1);
  EXPECT_EQ(attr.m_ValueRef, 11);
  EXPECT_FALSE(bundle->GetRecord(attr));
  EXPECT_EQ(attr.m_NameRef, 2);  // read before the short field met its end
  EXPECT_EQ(attr.m_ValueRef, 11);
}

TEST_F(PartialBundleTest, WholeTellsWhetherEveryFieldStreamEndedWithTheRecords) {
  // The field streams of a reference-point bundle in id order (null: the
  // stream is missing); the records read, and Whole once the end was met.
  struct Case {
    const char* name;
    const char* fields[3];
    int records;
    bool whole;
  };
  const Case cases[] = {
      {"even", {"0600 01000000 02000000", "0600 0b000000 0c000000", "0600 15000000 16000000"}, 2, true},
      {"no records", {"0600", "0600", "0600"}, 0, true},
      {"first stream short", {"0600 01000000", "0600 0b000000 0c000000", "0600 15000000 16000000"}, 1, false},
      {"last stream short", {"0600 01000000 02000000", "0600 0b000000 0c000000", "0600 15000000"}, 1, false},
      {"middle stream long", {"0600 01000000", "0600 0b000000 0c000000", "0600 15000000"}, 1, false},
      {"a stream missing", {"0600 01000000", nullptr, "0600 15000000"}, 1, false},
      {"every stream missing", {nullptr, nullptr, nullptr}, 0, false},
  };
  const char* const names[] = {"m_ObjectFolderID", "m_ObjectTypeRef", "m_RefTypeRef"};
  for (const Case& c : cases) {
    const RawCodeFile::Path path = {{std::string(c.name) + "{}", 0}};
    raw_.Stream(path, "other", Bytes("0600 07000000"));
    for (int k = 0; k < 3; ++k) {
      if (c.fields[k] != nullptr) raw_.Stream(path, names[k], Bytes(c.fields[k]));
    }
  }
  KXT_Handle<KXT_InFolder2> folder = Open();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string name = std::string(c.name) + "{}";
    KXT_Handle<KXT_InBundle2> bundle = folder->OpenBundle2(KXT_RefPoint_Rec(), name.c_str(), 0);
    ASSERT_TRUE(bundle);
    KXT_RefPoint_Rec_In point, scratch;
    int records = 0;
    while (bundle->GetRecord(point)) ++records;
    EXPECT_EQ(records, c.records);
    EXPECT_EQ(bundle->Whole(scratch), c.whole);
    EXPECT_EQ(bundle->Whole(scratch), c.whole);  // asked again, the same
  }
}

// Lists what EnumFields reports.
struct Fields : KXT_FieldReceiver {
  std::vector<std::string> seen;
  void Field(const std::type_info& type, const char* name, int32_t id) override {
    seen.push_back(std::to_string(id) + ":" + name + (type == typeid(long) ? ":long" : "") +
                   (type == typeid(std::u16string) ? ":wide" : ""));
  }
};

std::vector<std::string> FieldsOf(const KXT_FieldsEnumerator& record) {
  Fields fields;
  record.EnumFields(fields);
  return fields.seen;
}

TEST(RecordTest, FieldsAndInitialValues) {
  using V = std::vector<std::string>;
  EXPECT_EQ(FieldsOf(KXT_NumberedString()), (V{"0:m_Ref:long", "1:m_String:wide"}));
  EXPECT_EQ(FieldsOf(KXT_Attr_Rec()), (V{"0:m_NameRef:long", "1:m_ValueRef:long"}));
  EXPECT_EQ(FieldsOf(KXT_SpecialChar_Rec()), (V{"0:m_NameRef:long", "1:m_DataRef:long"}));
  EXPECT_EQ(FieldsOf(KXT_TextVariables_Rec()), (V{"0:m_UIDRef:long", "1:m_ValueRef:long"}));
  EXPECT_EQ(FieldsOf(KXT_ConditionalText_Rec()), (V{"0:m_UIDRef:long", "1:m_ValueRef:long"}));
  EXPECT_EQ(FieldsOf(KXT_RefPoint_Rec_Out()),
            (V{"0:m_ObjectFolderID:long", "1:m_ObjectTypeRef:long", "2:m_RefTypeRef:long"}));
  EXPECT_EQ(FieldsOf(KXT_PlaceHolder_Rec_In()), (V{"0:m_ObjectFolderID:long", "1:m_ObjectTypeRef:long"}));

  // Every field starts known: -1 for string numbers, 0 for folder ids.
  const KXT_NumberedString_Out string;
  EXPECT_EQ(string.m_Ref, -1);
  EXPECT_TRUE(string.m_String.empty());
  const KXT_Attr_Rec_In attr;
  EXPECT_EQ(attr.m_NameRef, -1);
  EXPECT_EQ(attr.m_ValueRef, -1);
  const KXT_SpecialChar_Rec special;
  EXPECT_EQ(special.m_NameRef, -1);
  EXPECT_EQ(special.m_DataRef, -1);
  const KXT_TextVariables_Rec variables;
  EXPECT_EQ(variables.m_UIDRef, -1);
  EXPECT_EQ(variables.m_ValueRef, -1);
  const KXT_ConditionalText_Rec conditional;
  EXPECT_EQ(conditional.m_UIDRef, -1);
  EXPECT_EQ(conditional.m_ValueRef, -1);
  const KXT_RefPoint_Rec point;
  EXPECT_EQ(point.m_ObjectFolderID, 0);
  EXPECT_EQ(point.m_ObjectTypeRef, -1);
  EXPECT_EQ(point.m_RefTypeRef, -1);
  const KXT_PlaceHolder_Rec holder;
  EXPECT_EQ(holder.m_ObjectFolderID, 0);
  EXPECT_EQ(holder.m_ObjectTypeRef, -1);
}

TEST(RecordTest, FieldsListKeepsTheFirstEntryOfAnId) {
  KXT_FieldsList list;
  list.Field(typeid(long), "b", 1);
  list.Field(typeid(short), "a", 0);
  list.Field(typeid(double), "again", 1);
  ASSERT_EQ(list.Fields().size(), 2u);
  EXPECT_EQ(list.Fields().begin()->second.name, "a");
  EXPECT_EQ(list.Fields().at(1).name, "b");
  EXPECT_EQ(*list.Fields().at(1).type, typeid(long));
}

// A record that lists its fields out of id order and one id twice; it logs
// the ids the bundle moves, and keeps field k's value in values[k].
class ShuffledRecord : public KXT_OutRecord, public KXT_InRecord {
 public:
  void EnumFields(KXT_FieldReceiver& receiver) const override {
    receiver.Field(typeid(long), "c", 2);
    receiver.Field(typeid(short), "a", 0);
    receiver.Field(typeid(double), "again", 2);
    receiver.Field(typeid(long), "b", 1);
  }
  void PutField(int32_t id, KXT_OutStream& stream) const override {
    log.push_back(id);
    if (id == 0) {
      const short value = static_cast<short>(values[0]);
      stream.As<short>().PutData(&value, 1);
    } else {
      const long value = values[id];
      stream.As<long>().PutData(&value, 1);
    }
  }
  bool GetField(int32_t id, KXT_InStream& stream) override {
    log.push_back(id);
    if (id == 0) {
      short value = 0;
      if (stream.As<short>().GetData(&value, 1) != 1) return false;
      values[0] = value;
      return true;
    }
    long value = 0;
    if (stream.As<long>().GetData(&value, 1) != 1) return false;
    values[id] = value;
    return true;
  }

  long values[3] = {0, 0, 0};
  mutable std::vector<int32_t> log;
};

TEST(RecordTest, FieldsOutOfOrderAreStoredAndReadInIdOrderOnce) {
  TempDir dir;
  const std::string path = dir.File("shuffled.kxt");
  ShuffledRecord record;
  {
    OLEStorage root(path.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
    KXT_Handle<KXT_OutBundle2> bundle = storage->CreateKXTFolder2()->CreateBundle2(record, "S{}", 0);
    for (long k : {1L, -2L}) {
      record.values[0] = 10 * k;
      record.values[1] = 100 * k;
      record.values[2] = 1000 * k;
      bundle->PutRecord(record);
    }
  }
  EXPECT_EQ(record.log, (std::vector<int32_t>{0, 1, 2, 0, 1, 2}));
  const auto streams = kxt_test::WitnessStreams(kxt_test::Witness(path));
  EXPECT_EQ(streams.at("S{}#0|a"), "0 0 04000a00ecff");
  EXPECT_EQ(streams.at("S{}#0|b"), "0 0 0600" + Hex(LE32(100)) + Hex(LE32(-200)));
  EXPECT_EQ(streams.at("S{}#0|c"), "0 0 0600" + Hex(LE32(1000)) + Hex(LE32(-2000)));
  EXPECT_EQ(streams.count("S{}#0|again"), 0u);

  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  KXT_Handle<KXT_InBundle2> bundle = storage->OpenKXTFolder2()->OpenBundle2(record, "S{}", 0);
  ASSERT_TRUE(bundle);
  record.log.clear();
  ASSERT_TRUE(bundle->GetRecord(record));
  EXPECT_EQ(record.values[0], 10);
  EXPECT_EQ(record.values[1], 100);
  EXPECT_EQ(record.values[2], 1000);
  ASSERT_TRUE(bundle->GetRecord(record));
  EXPECT_EQ(record.values[0], -20);
  EXPECT_EQ(record.values[2], -2000);
  EXPECT_FALSE(bundle->GetRecord(record));
  EXPECT_EQ(record.log, (std::vector<int32_t>{0, 1, 2, 0, 1, 2, 0}));
}

// A record of `count` long fields "f0", "f1", ... whose field k holds
// values[k]; with `growing`, every listing of its fields names one more than
// the one before (a record that does not keep to its own field list).
class WideRecord : public KXT_OutRecord, public KXT_InRecord {
 public:
  explicit WideRecord(int32_t count, bool growing = false) : values(count + 8), count_(count), growing_(growing) {}
  void EnumFields(KXT_FieldReceiver& receiver) const override {
    const int32_t count = growing_ ? count_ + listed_++ : count_;
    for (int32_t id = 0; id < count; ++id) receiver.Field(typeid(long), ("f" + std::to_string(id)).c_str(), id);
  }
  void PutField(int32_t id, KXT_OutStream& stream) const override {
    const long value = values.at(id);
    stream.As<long>().PutData(&value, 1);
  }
  bool GetField(int32_t id, KXT_InStream& stream) override {
    long value = 0;
    if (stream.As<long>().GetData(&value, 1) != 1) return false;
    values.at(id) = value;
    return true;
  }

  std::vector<long> values;

 private:
  int32_t count_;
  bool growing_;
  mutable int32_t listed_ = 0;
};

// Records of few and of many fields, and one whose second listing (the one
// the streams are made from) names a field more than its first: every field
// listed when the streams are made gets its stream, in id order, and reads
// back; a field whose stream is missing keeps its value.
TEST(RecordTest, EveryFieldOfWideRecordsIsStoredAndRead) {
  struct Case {
    int32_t count;
    bool growing;
    int32_t stored;  // field streams made
  };
  for (const Case& c : {Case{1, false, 1}, Case{3, false, 3}, Case{4, false, 4}, Case{9, false, 9},
                        Case{3, true, 4}, Case{6, true, 7}}) {
    SCOPED_TRACE(std::to_string(c.count) + (c.growing ? " growing" : ""));
    TempDir dir;
    const std::string path = dir.File("wide.kxt");
    {
      OLEStorage root(path.c_str(), kOLECreate);
      KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
      WideRecord record(c.count, c.growing);
      KXT_Handle<KXT_OutBundle2> bundle = storage->CreateKXTFolder2()->CreateBundle2(record, "W{}", 0);
      for (int32_t id = 0; id < c.stored; ++id) record.values[id] = 100 + id;
      bundle->PutRecord(record);
    }
    const auto streams = kxt_test::WitnessStreams(kxt_test::Witness(path));
    EXPECT_EQ(streams.size(), static_cast<size_t>(c.stored));
    for (int32_t id = 0; id < c.stored; ++id) {
      EXPECT_EQ(streams.at("W{}#0|f" + std::to_string(id)), "0 0 0600" + Hex(LE32(100 + id)));
    }

    OLEStorage root(path.c_str(), kOLERead);
    KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
    // Read with one field more than stored, whose stream is missing.
    WideRecord record(c.stored + 1);
    record.values[c.stored] = -5;
    KXT_Handle<KXT_InBundle2> bundle = storage->OpenKXTFolder2()->OpenBundle2(record, "W{}", 0);
    ASSERT_TRUE(bundle);
    ASSERT_TRUE(bundle->GetRecord(record));
    for (int32_t id = 0; id < c.stored; ++id) EXPECT_EQ(record.values[id], 100 + id);
    EXPECT_EQ(record.values[c.stored], -5);
    EXPECT_FALSE(bundle->GetRecord(record));
  }
}

TEST(RecordTest, UnknownIdsAndMistypedStreams) {
  TempDir dir;
  OLEStorage root(dir.File("r.kxt").c_str(), kOLECreate);
  KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
  KXT_Handle<KXT_OutFolder2> folder = storage->CreateKXTFolder2();
  KXT_Handle<KXT_OutStream2> shorts = folder->CreateStream2(typeid(short), "s", 0);
  KXT_Handle<KXT_OutStream2> wides = folder->CreateStream2(typeid(std::u16string), "w", 0);
  const KXT_Attr_Rec_Out attr;
  attr.PutField(5, *shorts);  // no such field: nothing, not even a cast
  EXPECT_THROW(attr.PutField(0, *shorts), std::bad_cast);
  const KXT_NumberedString_Out string;
  string.PutField(1, *wides);
  EXPECT_THROW(string.PutField(0, *wides), std::bad_cast);
}

}  // namespace
