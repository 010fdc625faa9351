// Typed value streams: the stored bytes of every tag (read back by the
// independent reader), reading them back, refusing what the format cannot
// hold, and opening only with the right type.
#include <gtest/gtest.h>

#include <climits>
#include <cmath>
#include <cstring>
#include <initializer_list>
#include <memory>
#include <string>
#include <vector>

#include "kxt/kxt_storage.h"
#include "kxt/typed_stream.h"
#include "kxt_test_util.h"
#include "tests/common/failure_of.h"
#include "tests/common/hex.h"
#include "tests/common/le_bytes.h"
#include "tests/common/temp_dir.h"

namespace {

using testutil::Bytes;
using testutil::FailureOf;
using testutil::Hex;
using testutil::TempDir;

template <class T>
void Put(KXT_OutFolder2& folder, const char* name, std::initializer_list<T> values) {
  KXT_Handle<KXT_OutStream2> stream = folder.CreateStream2(typeid(T), name, 0);
  ASSERT_TRUE(stream);
  EXPECT_EQ(stream->Type(), typeid(T));
  dynamic_cast<KXT_Out<T>&>(*stream).PutData(values.begin(), static_cast<uint32_t>(values.size()));
}

// Up to `max` values of the stream; fails the test when it does not open.
template <class T>
std::vector<T> Get(KXT_InFolder2& folder, const char* name, uint32_t max = 64) {
  std::vector<T> out;
  KXT_Handle<KXT_InStream2> stream = folder.OpenStream2(typeid(T), name, 0);
  if (!stream) {
    ADD_FAILURE() << name << " did not open";
    return out;
  }
  std::unique_ptr<T[]> buffer(new T[max]());
  const uint32_t n = dynamic_cast<KXT_In<T>&>(*stream).GetData(buffer.get(), max);
  for (uint32_t i = 0; i < n; ++i) out.push_back(buffer[i]);
  return out;
}

class TypedStreamTest : public ::testing::TestWithParam<bool> {
 protected:
  TempDir dir_;
  std::string path_ = dir_.File("typed.kxt");
};

// Every tag with the bytes the format prescribes, stored and compressed
// alike; the independent reader inflates compressed streams.
TEST_P(TypedStreamTest, EachTagIsStoredByteExact) {
  {
    OLEStorage root(path_.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, GetParam()));
    KXT_Handle<KXT_OutFolder2> folder = storage->CreateKXTFolder2();
    KXT_Handle<KXT_OutStream2> raw = folder->CreateStream2(typeid(void), "t0", 0);
    dynamic_cast<KXT_Out<void>&>(*raw).PutData("\x01\x02\x03", 3);
    raw.reset();
    Put<bool>(*folder, "t1", {true, false, true});
    Put<char>(*folder, "t2", {'a', '\xff'});
    Put<unsigned char>(*folder, "t3", {0, 200});
    Put<short>(*folder, "t4", {-2, 0x1234});
    Put<unsigned short>(*folder, "t5", {0xfffe, 1});
    Put<long>(*folder, "t6", {5, -2, INT32_MIN, INT32_MAX});
    Put<unsigned long>(*folder, "t7", {0xffffffffUL, 0x01020304UL});
    Put<float>(*folder, "t8", {1.5f, -0.0f});
    Put<double>(*folder, "t9", {1.0});
    Put<std::string>(*folder, "t10", {"", "ab"});
    Put<std::u16string>(*folder, "t11", {u"A\u20ac"});
    Put<Variant>(*folder, "t12", {Variant(int32_t{7}), Variant(u"hi")});
    // int is none of the thirteen: tag 0, bytes as given.
    KXT_Handle<KXT_OutStream2> asInt = folder->CreateStream2(typeid(int), "int", 0);
    EXPECT_EQ(asInt->Type(), typeid(void));
    EXPECT_EQ(dynamic_cast<KXT_Out<int>*>(asInt.get()), nullptr);
    dynamic_cast<KXT_Out<void>&>(*asInt).PutData("\x09", 1);
  }
  const auto streams = kxt_test::WitnessStreams(kxt_test::Witness(path_));
  const std::map<std::string, std::string> expected = {
      {"t0", "0000010203"},
      {"t1", "0100010001"},
      {"t2", "020061ff"},
      {"t3", "030000c8"},
      {"t4", "0400feff3412"},
      {"t5", "0500feff0100"},
      {"t6", "060005000000feffffff00000080ffffff7f"},
      {"t7", "0700ffffffff04030201"},
      {"t8", "08000000c03f00000080"},
      {"t9", "0900000000000000f03f"},
      {"t10", "0a00000002006162"},
      {"t11", "0b0002004100ac20"},
      // long 7: header 4 * 1024 + 0x22; wide string: 2 * 1024 + 0x35, 6 bytes
      {"t12", "0c00221007000000" "350806000000680069000000"},
      {"int", "000009"},
  };
  for (const auto& e : expected) {
    ASSERT_EQ(streams.count(e.first), 1u) << e.first;
    const std::string& line = streams.at(e.first);
    EXPECT_EQ(line.substr(line.rfind(' ') + 1), e.second) << e.first;
    if (!GetParam()) {
      EXPECT_EQ(line.substr(0, 4), "0 0 ") << e.first;  // stored
    }
  }

  // Our reader gives the values back.
  OLEStorage root(path_.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  KXT_Handle<KXT_InFolder2> folder = storage->OpenKXTFolder2();
  ASSERT_TRUE(folder);
  EXPECT_EQ(Get<bool>(*folder, "t1"), (std::vector<bool>{true, false, true}));
  EXPECT_EQ(Get<char>(*folder, "t2"), (std::vector<char>{'a', '\xff'}));
  EXPECT_EQ(Get<unsigned char>(*folder, "t3"), (std::vector<unsigned char>{0, 200}));
  EXPECT_EQ(Get<short>(*folder, "t4"), (std::vector<short>{-2, 0x1234}));
  EXPECT_EQ(Get<unsigned short>(*folder, "t5"), (std::vector<unsigned short>{0xfffe, 1}));
  EXPECT_EQ(Get<long>(*folder, "t6"), (std::vector<long>{5, -2, INT32_MIN, INT32_MAX}));
  EXPECT_EQ(Get<unsigned long>(*folder, "t7"), (std::vector<unsigned long>{0xffffffffUL, 0x01020304UL}));
  const std::vector<float> floats = Get<float>(*folder, "t8");
  ASSERT_EQ(floats.size(), 2u);
  EXPECT_EQ(floats[0], 1.5f);
  EXPECT_TRUE(std::signbit(floats[1]));
  EXPECT_EQ(Get<double>(*folder, "t9"), (std::vector<double>{1.0}));
  EXPECT_EQ(Get<std::string>(*folder, "t10"), (std::vector<std::string>{"", "ab"}));
  EXPECT_EQ(Get<std::u16string>(*folder, "t11"), (std::vector<std::u16string>{u"A\u20ac"}));
  EXPECT_EQ(Get<Variant>(*folder, "t12"), (std::vector<Variant>{Variant(int32_t{7}), Variant(u"hi")}));
  KXT_Handle<KXT_InStream2> raw = folder->OpenStream2(typeid(void), "t0", 0);
  ASSERT_TRUE(raw);
  char bytes[8];
  EXPECT_EQ(dynamic_cast<KXT_In<void>&>(*raw).GetData(bytes, sizeof bytes), 3u);
  EXPECT_EQ(std::string(bytes, 3), "\x01\x02\x03");
  // A stream made for int opens only as void.
  EXPECT_FALSE(folder->OpenStream2(typeid(int), "int", 0));
  EXPECT_FALSE(folder->OpenStream2(typeid(long), "int", 0));
  EXPECT_TRUE(folder->OpenStream2(typeid(void), "int", 0));
}

// More values than one piece of the writer and the reader holds, of types
// stored as they are in memory and of one that is not (long).
TEST_P(TypedStreamTest, ManyValuesKeepTheirBytesAndOrder) {
  std::vector<unsigned short> units(1500);
  std::vector<float> floats(700);
  std::vector<long> longs(600);
  for (size_t i = 0; i < units.size(); ++i) units[i] = static_cast<unsigned short>(i * 37 + 0xA000);
  for (size_t i = 0; i < floats.size(); ++i) floats[i] = static_cast<float>(i) / 8 - 40;
  for (size_t i = 0; i < longs.size(); ++i) longs[i] = static_cast<long>(i * 99991) - 3000000;
  {
    OLEStorage root(path_.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, GetParam()));
    KXT_Handle<KXT_OutFolder2> folder = storage->CreateKXTFolder2();
    KXT_Handle<KXT_OutStream2> u = folder->CreateStream2(typeid(unsigned short), "u", 0);
    u->As<unsigned short>().PutData(units.data(), 1000);
    u->As<unsigned short>().PutData(units.data() + 1000, 500);
    KXT_Handle<KXT_OutStream2> f = folder->CreateStream2(typeid(float), "f", 0);
    f->As<float>().PutData(floats.data(), static_cast<uint32_t>(floats.size()));
    KXT_Handle<KXT_OutStream2> l = folder->CreateStream2(typeid(long), "l", 0);
    l->As<long>().PutData(longs.data(), static_cast<uint32_t>(longs.size()));
  }
  // The stored bytes, little-endian value by value.
  std::string u = "0500", f = "0800", l = "0600";
  for (unsigned short v : units) u += Hex(testutil::LE16(v));
  for (float v : floats) {
    uint32_t bits;
    std::memcpy(&bits, &v, 4);
    f += Hex(testutil::LE32(bits));
  }
  for (long v : longs) l += Hex(testutil::LE32(static_cast<uint32_t>(v)));
  const auto streams = kxt_test::WitnessStreams(kxt_test::Witness(path_));
  for (const auto& e : std::map<std::string, std::string>{{"u", u}, {"f", f}, {"l", l}}) {
    const std::string& line = streams.at(e.first);
    EXPECT_EQ(line.substr(line.rfind(' ') + 1), e.second) << e.first;
  }

  OLEStorage root(path_.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  KXT_Handle<KXT_InFolder2> folder = storage->OpenKXTFolder2();
  EXPECT_EQ(Get<unsigned short>(*folder, "u", 2000), units);
  EXPECT_EQ(Get<float>(*folder, "f", 2000), floats);
  EXPECT_EQ(Get<long>(*folder, "l", 2000), longs);
}

INSTANTIATE_TEST_SUITE_P(Compress, TypedStreamTest, ::testing::Bool());

TEST(TypedStreamOpenTest, OpensOnlyAsTheStoredType) {
  TempDir dir;
  const std::string path = dir.File("open.kxt");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
    KXT_Handle<KXT_OutFolder2> folder = storage->CreateKXTFolder2();
    Put<unsigned short>(*folder, "us", {7});
    Put<long>(*folder, "id", {1});
    Put<long>(*folder, "id1", {2});
    KXT_Handle<KXT_OutStream2> second = folder->CreateStream2(typeid(long), "id", 1);
    const long v = 3;
    dynamic_cast<KXT_Out<long>&>(*second).PutData(&v, 1);
    // The cast to another value type fails.
    EXPECT_THROW((void)dynamic_cast<KXT_Out<short>&>(static_cast<KXT_OutStream&>(*second)), std::bad_cast);
    // As<T> reaches the same interface as the cast, and refuses the same.
    KXT_OutStream& plain = *second;
    EXPECT_EQ(&plain.As<long>(), &dynamic_cast<KXT_Out<long>&>(plain));
    EXPECT_THROW((void)plain.As<short>(), std::bad_cast);
    EXPECT_THROW((void)plain.As<unsigned long>(), std::bad_cast);
    EXPECT_THROW((void)plain.As<void>(), std::bad_cast);
  }
  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  KXT_Handle<KXT_InFolder2> folder = storage->OpenKXTFolder2();
  EXPECT_EQ(Get<unsigned short>(*folder, "us"), (std::vector<unsigned short>{7}));
  EXPECT_FALSE(folder->OpenStream2(typeid(short), "us", 0));  // as wide, other type
  EXPECT_FALSE(folder->OpenStream2(typeid(void), "us", 0));
  EXPECT_FALSE(folder->OpenStream2(typeid(unsigned short), "missing", 0));
  // Streams are named by (name, id).
  KXT_Handle<KXT_InStream2> second = folder->OpenStream2(typeid(long), "id", 1);
  ASSERT_TRUE(second);
  EXPECT_EQ(second->Type(), typeid(long));
  long v = 0;
  KXT_InStream& plain = *second;
  EXPECT_EQ(&plain.As<long>(), &dynamic_cast<KXT_In<long>&>(plain));
  EXPECT_THROW((void)plain.As<int>(), std::bad_cast);
  EXPECT_THROW((void)plain.As<std::u16string>(), std::bad_cast);
  EXPECT_EQ(plain.As<long>().GetData(&v, 1), 1u);
  EXPECT_EQ(v, 3);
  EXPECT_FALSE(folder->OpenStream2(typeid(long), "id", 2));
}

// Streams the writer never makes, read through the container layer.
class DamagedStreamTest : public kxt_test::RawContainerTest {
 protected:
  void Write(const std::string& name, const std::string& hex) { raw_.Stream({}, name, Bytes(hex)); }
};

TEST_F(DamagedStreamTest, BadTagsOpenAsNull) {
  Write("empty", "");
  Write("short", "06");
  Write("tag13", "0d00 05000000");
  Write("tagHigh", "0601 05000000");  // 0x0106, not 6
  KXT_Handle<KXT_InFolder2> folder = Open();
  const std::type_info* types[] = {&typeid(void),   &typeid(bool),          &typeid(char),   &typeid(unsigned char),
                                   &typeid(short),  &typeid(unsigned short), &typeid(long),   &typeid(unsigned long),
                                   &typeid(float),  &typeid(double),         &typeid(std::string),
                                   &typeid(std::u16string), &typeid(Variant), &typeid(int)};
  for (const char* name : {"empty", "short", "tag13", "tagHigh"}) {
    for (const std::type_info* type : types) EXPECT_FALSE(folder->OpenStream2(*type, name, 0)) << name;
  }
}

TEST_F(DamagedStreamTest, ReadsStopAtTheFirstValueNotWhole) {
  Write("longs", "0600 01000000 02000000 03000000 aabb");
  Write("shorts", "0400 0100 0200 aa");
  Write("doubles", "0900 000000000000f03f 0000");
  Write("bools", "0100 00 01 02 ff");
  // A string of 300 units with only 290 there, after a whole one of 300.
  std::string whole = "0b00 2c01", cut = "2c01";
  for (int i = 0; i < 300; ++i) whole += Hex(std::string{static_cast<char>('a' + i % 26), '\0'});
  for (int i = 0; i < 290; ++i) cut += "4200";
  Write("strings", whole + cut);
  Write("lengthOnly", "0a00 05");
  // A long, then a header of no known type.
  Write("variants", "0c00 2210 07000000 ff7f 0000");
  KXT_Handle<KXT_InFolder2> folder = Open();

  long longs[5] = {0, 0, 0, 0, 0};
  KXT_Handle<KXT_InStream2> s = folder->OpenStream2(typeid(long), "longs", 0);
  EXPECT_EQ(dynamic_cast<KXT_In<long>&>(*s).GetData(longs, 5), 3u);
  EXPECT_EQ(longs[2], 3);
  EXPECT_EQ(dynamic_cast<KXT_In<long>&>(*s).GetData(longs, 5), 0u);
  // Values kept in memory as stored: the one cut short is not touched.
  short shorts[4] = {9, 9, 9, 9};
  s = folder->OpenStream2(typeid(short), "shorts", 0);
  EXPECT_EQ(dynamic_cast<KXT_In<short>&>(*s).GetData(shorts, 4), 2u);
  EXPECT_EQ(std::vector<short>(shorts, shorts + 4), (std::vector<short>{1, 2, 9, 9}));
  double doubles[3] = {-1, -1, -1};
  s = folder->OpenStream2(typeid(double), "doubles", 0);
  EXPECT_EQ(dynamic_cast<KXT_In<double>&>(*s).GetData(doubles, 3), 1u);
  EXPECT_EQ(std::vector<double>(doubles, doubles + 3), (std::vector<double>{1.0, -1, -1}));

  // Any non-zero byte reads as true.
  EXPECT_EQ(Get<bool>(*folder, "bools"), (std::vector<bool>{false, true, true, true}));

  std::u16string strings[2] = {u"x", u"y"};
  s = folder->OpenStream2(typeid(std::u16string), "strings", 0);
  EXPECT_EQ(dynamic_cast<KXT_In<std::u16string>&>(*s).GetData(strings, 2), 1u);
  ASSERT_EQ(strings[0].size(), 300u);
  EXPECT_EQ(strings[0][299], u'a' + 299 % 26);
  EXPECT_EQ(strings[1].size(), 256u);  // the whole first chunk arrived, the second did not

  std::string narrow = "keep";
  s = folder->OpenStream2(typeid(std::string), "lengthOnly", 0);
  EXPECT_EQ(dynamic_cast<KXT_In<std::string>&>(*s).GetData(&narrow, 1), 0u);

  Variant variants[3] = {Variant(1.5), Variant(2.5), Variant(3.5)};
  s = folder->OpenStream2(typeid(Variant), "variants", 0);
  EXPECT_EQ(dynamic_cast<KXT_In<Variant>&>(*s).GetData(variants, 3), 1u);
  EXPECT_EQ(variants[0], Variant(int32_t{7}));
  EXPECT_EQ(variants[1], Variant(2.5));  // refused: left as it was
}

TEST(TypedStreamLimitsTest, ValuesTheFormatCannotHoldAreRefusedWhole) {
  TempDir dir;
  const std::string path = dir.File("limits.kxt");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, false));
    KXT_Handle<KXT_OutFolder2> folder = storage->CreateKXTFolder2();

    KXT_Handle<KXT_OutStream2> l = folder->CreateStream2(typeid(long), "l", 0);
    auto& longs = dynamic_cast<KXT_Out<long>&>(*l);
    const long tooBig[] = {1, 1L << 31};
    const long tooSmall[] = {INT32_MIN - 1L};
    EXPECT_EQ(FailureOf([&] { longs.PutData(tooBig, 2); }), kKXTFailBadValue);
    EXPECT_EQ(FailureOf([&] { longs.PutData(tooSmall, 1); }), kKXTFailBadValue);
    const long fine = 4;
    longs.PutData(&fine, 1);

    KXT_Handle<KXT_OutStream2> ul = folder->CreateStream2(typeid(unsigned long), "ul", 0);
    auto& ulongs = dynamic_cast<KXT_Out<unsigned long>&>(*ul);
    const unsigned long over = 1UL << 32, top = 0xffffffffUL;
    EXPECT_EQ(FailureOf([&] { ulongs.PutData(&over, 1); }), kKXTFailBadValue);
    ulongs.PutData(&top, 1);

    // The 16-bit length holds at most 65535 units.
    KXT_Handle<KXT_OutStream2> n = folder->CreateStream2(typeid(std::string), "s", 0);
    auto& narrow = dynamic_cast<KXT_Out<std::string>&>(*n);
    const std::string texts[] = {"ok", std::string(65536, 'x')};
    EXPECT_EQ(FailureOf([&] { narrow.PutData(texts, 2); }), kKXTFailBadValue);
    const std::string longest(65535, 'y');
    narrow.PutData(&longest, 1);

    KXT_Handle<KXT_OutStream2> w = folder->CreateStream2(typeid(std::u16string), "w", 0);
    auto& wide = dynamic_cast<KXT_Out<std::u16string>&>(*w);
    const std::u16string tooLong(65536, u'x'), z = u"z";
    EXPECT_EQ(FailureOf([&] { wide.PutData(&tooLong, 1); }), kKXTFailBadValue);
    wide.PutData(&z, 1);
  }
  const auto streams = kxt_test::WitnessStreams(kxt_test::Witness(path));
  std::string ys;
  for (int i = 0; i < 65535; ++i) ys += "79";
  EXPECT_EQ(streams.at("l"), "0 0 060004000000");
  EXPECT_EQ(streams.at("ul"), "0 0 0700ffffffff");
  EXPECT_EQ(streams.at("s"), "0 0 0a00ffff" + ys);
  EXPECT_EQ(streams.at("w"), "0 0 0b0001007a00");
}

}  // namespace
