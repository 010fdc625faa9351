#include "framework/variant.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/failures.h"

namespace {

// Byte strings in and out of memory.  `step` bounds what one GetData call
// delivers, to exercise readers that must collect partial reads.
class BytesOut : public OutStream {
 public:
  void PutData(const void* data, uint32_t n) override { bytes.append(static_cast<const char*>(data), n); }
  std::string bytes;
};

class BytesIn : public InStream {
 public:
  explicit BytesIn(std::string bytes, uint32_t step = 0xFFFFFFFF) : bytes_(std::move(bytes)), step_(step) {}
  uint32_t GetData(void* buffer, uint32_t n) override {
    uint32_t k = static_cast<uint32_t>(std::min<std::size_t>({n, step_, bytes_.size() - pos_}));
    std::memcpy(buffer, bytes_.data() + pos_, k);
    pos_ += k;
    return k;
  }
  std::size_t left() const { return bytes_.size() - pos_; }

 private:
  std::string bytes_;
  std::size_t pos_ = 0;
  uint32_t step_;
};

std::string Bytes(std::initializer_list<int> list) {
  std::string s;
  for (int b : list) s.push_back(static_cast<char>(b));
  return s;
}

std::string Serialise(const Variant& v) {
  BytesOut out;
  EXPECT_TRUE(v >> out);
  return out.bytes;
}

// Reads one value; fails the test when the reader refuses.
Variant Read(const std::string& bytes) {
  BytesIn in(bytes);
  Variant v;
  EXPECT_TRUE(v << in) << "refused";
  return v;
}

bool Refused(const std::string& bytes) {
  BytesIn in(bytes);
  Variant v('x');
  bool ok = v << in;
  return !ok && v.Type() == kVariantEmpty && v.ArraySize() == 0;
}

std::string Narrow(const Variant& v) {
  EXPECT_EQ(v.Type(), kVariantCharArray);
  return std::string(static_cast<const char*>(v), v.ArraySize());
}

std::u16string Wide(const Variant& v) {
  EXPECT_EQ(v.Type(), kVariantWideCharArray);
  std::u16string s(v.ArraySize() / 2, u'\0');
  std::memcpy(&s[0], static_cast<const char*>(v), v.ArraySize());
  return s;
}

// ---- Serialised form --------------------------------------------------------

TEST(VariantSerialised, ExamplesAreByteExact) {
  Variant version("1.1.3");
  EXPECT_EQ(version.Type(), 0x25);
  EXPECT_EQ(version.TypeSize(), 1u);
  EXPECT_EQ(version.ArraySize(), 6u);
  EXPECT_EQ(Serialise(version), Bytes({0x25, 0x04, 6, 0, 0, 0, '1', '.', '1', '.', '3', 0}));

  EXPECT_EQ(Serialise(Variant(uint16_t{1})), Bytes({0x32, 0x08, 0x01, 0x00}));
  EXPECT_EQ(Serialise(Variant()), Bytes({0x00, 0x00}));
  Variant empty = Read(Bytes({0, 0}));
  EXPECT_EQ(empty.Type(), kVariantEmpty);
  EXPECT_EQ(empty.TypeSize(), 0u);
}

TEST(VariantSerialised, EveryKindWritesItsWidthLittleEndian) {
  struct Case {
    Variant value;
    std::string bytes;
  };
  const int32_t longs[] = {1, -1};
  const double doubles[] = {-2.0};
  const bool bools[] = {true, false};
  const Case cases[] = {
      {Variant(true), Bytes({0x11, 0x04, 0x01})},
      {Variant('a'), Bytes({0x21, 0x04, 0x61})},
      {Variant(u'\x20AC'), Bytes({0x31, 0x08, 0xAC, 0x20})},
      {Variant(int16_t{-2}), Bytes({0x12, 0x08, 0xFE, 0xFF})},
      {Variant(-2), Bytes({0x22, 0x10, 0xFE, 0xFF, 0xFF, 0xFF})},
      {Variant(uint16_t{0xBEEF}), Bytes({0x32, 0x08, 0xEF, 0xBE})},
      {Variant(0x01020304u), Bytes({0x42, 0x10, 0x04, 0x03, 0x02, 0x01})},
      {Variant(1.5f), Bytes({0x13, 0x10, 0x00, 0x00, 0xC0, 0x3F})},
      {Variant(1.5), Bytes({0x23, 0x20, 0, 0, 0, 0, 0, 0, 0xF8, 0x3F})},
      {Variant(u"hi"), Bytes({0x35, 0x08, 6, 0, 0, 0, 'h', 0, 'i', 0, 0, 0})},
      {Variant(longs, 2), Bytes({0x26, 0x10, 8, 0, 0, 0, 1, 0, 0, 0, 0xFF, 0xFF, 0xFF, 0xFF})},
      {Variant(doubles, 1), Bytes({0x27, 0x20, 8, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xC0})},
      {Variant(bools, 2), Bytes({0x15, 0x04, 2, 0, 0, 0, 1, 0})},
      {Variant("", 0u), Bytes({0x25, 0x04, 0, 0, 0, 0})},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.value.Type());
    EXPECT_EQ(Serialise(c.value), c.bytes);
    Variant back = Read(c.bytes);
    EXPECT_EQ(back.Type(), c.value.Type());
    EXPECT_EQ(back.TypeSize(), c.value.TypeSize());
    EXPECT_TRUE(back == c.value);
  }
}

TEST(VariantSerialised, ValuesFollowOneAnotherAndPartialReadsAreCollected) {
  BytesOut out;
  Variant("abc") >> out;
  Variant(7) >> out;
  Variant() >> out;
  Variant text("abcdef");
  text.PutValue(out, 3);  // the first n bytes of an array, never more than it has
  text.PutValue(out, 1000);
  EXPECT_EQ(out.bytes.substr(out.bytes.size() - 10), std::string("abcabcdef", 10));
  BytesIn in(out.bytes.substr(0, out.bytes.size() - 10), 1);  // one byte per call
  Variant a, b, c;
  ASSERT_TRUE(a << in);
  ASSERT_TRUE(b << in);
  ASSERT_TRUE(c << in);
  EXPECT_EQ(Narrow(a), std::string("abc", 4));
  EXPECT_TRUE(b == 7);
  EXPECT_EQ(c.Type(), kVariantEmpty);
  EXPECT_FALSE(c << in);
}

TEST(VariantReader, RefusesWhatItDoesNotKnowOrWhatIsCutShort) {
  for (const std::string& bytes : {
           Bytes({}), Bytes({0x25}),                            // header cut short
           Bytes({0x01, 0x00}), Bytes({0x18, 0x04, 0}),         // no such code
           Bytes({0xFF, 0x03}),                                 // beyond the table
           Bytes({0x00, 0x04, 0}), Bytes({0x11, 0x08, 0, 0}),   // sizes of other kinds
           Bytes({0x25, 0x08, 2, 0, 0, 0, 'a', 'b'}), Bytes({0x23, 0x10, 0, 0, 0, 0}),
           Bytes({0x22, 0x10, 1, 2, 3}),                        // value cut short
           Bytes({0x25, 0x04, 6, 0, 0}),                        // length cut short
           Bytes({0x25, 0x04, 6, 0, 0, 0, 'a', 'b'}),           // data cut short
           Bytes({0x35, 0x08, 3, 0, 0, 0, 'a', 0, 'b'}),        // half a wide char
           Bytes({0x27, 0x20, 4, 0, 0, 0, 1, 2, 3, 4}),         // half a double
       })
    EXPECT_TRUE(Refused(bytes)) << ::testing::PrintToString(bytes);
}

TEST(VariantReader, ClaimedHugeLengthCostsOnlyWhatArrives) {
  // Four gigabytes claimed, ten bytes present: refused without allocating
  // the claim (the sanitizer build aborts on such an allocation).
  EXPECT_TRUE(Refused(Bytes({0x25, 0x04, 0xFF, 0xFF, 0xFF, 0xFF}) + std::string(10, 'x')));
  // A claim that does arrive in full across many growth steps reads whole.
  std::string big(300000, '\0');
  for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7);
  EXPECT_EQ(Narrow(Read(Bytes({0x25, 0x04, 0xE0, 0x93, 0x04, 0x00}) + big)), big);
}

TEST(VariantReader, AnyNonzeroBoolByteIsTrue) {
  Variant b = Read(Bytes({0x11, 0x04, 0x02}));
  EXPECT_TRUE(b == true);
  EXPECT_TRUE(b == Variant(true));
  EXPECT_EQ(Serialise(b), Bytes({0x11, 0x04, 0x01}));
  const bool expected[] = {false, true, true};
  EXPECT_TRUE(Read(Bytes({0x15, 0x04, 3, 0, 0, 0, 0x00, 0x02, 0xFF})) == Variant(expected, 3));
}

// ---- Construction -----------------------------------------------------------

template <class T, class = void>
struct ComparesWith : std::false_type {};
template <class T>
struct ComparesWith<T, decltype(void(std::declval<const Variant&>() == std::declval<T>()))> : std::true_type {};

// Pointers other than strings must not silently become bools.
static_assert(!std::is_constructible<Variant, const int*>::value, "int* must not make a bool");
static_assert(!std::is_constructible<Variant, std::nullptr_t>::value, "null has no kind");
static_assert(std::is_constructible<Variant, char*>::value, "a writable string is a string");
static_assert(!std::is_assignable<Variant&, const double*>::value, "double* must not make a bool");
static_assert(!ComparesWith<const char*>::value, "comparing with a string literal would compare a bool");
static_assert(ComparesWith<Variant>::value && ComparesWith<int>::value, "");

TEST(VariantConstruction, LiteralsPickTheirKinds) {
  EXPECT_EQ(Variant(5).Type(), kVariantLong);
  EXPECT_EQ(Variant(5L).Type(), kVariantLong);
  EXPECT_EQ(Variant(5u).Type(), kVariantULong);
  EXPECT_EQ(Variant(std::size_t{5}).Type(), kVariantULong);
  EXPECT_EQ(Variant(int16_t{5}).Type(), kVariantShort);
  EXPECT_EQ(Variant(1.0f).Type(), kVariantFloat);
  char writable[] = "ab";
  EXPECT_EQ(Variant(writable).ArraySize(), 3u);
  EXPECT_EQ(Variant(u"ab\x20AC").ArraySize(), 8u);
  EXPECT_EQ(Narrow(Variant(static_cast<const char*>(nullptr))), std::string(1, '\0'));
  Variant zeros(static_cast<const uint16_t*>(nullptr), 3);
  EXPECT_EQ(zeros.Type(), kVariantUShortArray);
  EXPECT_EQ(std::string(static_cast<const char*>(zeros), zeros.ArraySize()), std::string(6, '\0'));
}

TEST(VariantConstruction, LongsOutside32BitsAreRefused) {
  EXPECT_TRUE(Variant(-2147483648L) == Variant(int32_t{-2147483647 - 1}));
  EXPECT_TRUE(Variant(4294967295UL) == Variant(0xFFFFFFFFu));
  EXPECT_THROW(Variant(2147483648L), std::out_of_range);
  EXPECT_THROW(Variant(-2147483649L), std::out_of_range);
  EXPECT_THROW(Variant(4294967296UL), std::out_of_range);
  Variant v(3);
  EXPECT_THROW(v = 1L << 40, std::out_of_range);
  EXPECT_TRUE(v == 3);
}

TEST(VariantConstruction, ByteSizeBeyond32BitsRaisesOutOfMemory) {
  try {
    Variant v(static_cast<const double*>(nullptr), 0x20000000u);  // 4 GiB
    FAIL() << "no failure";
  } catch (const FilterException& e) {
    EXPECT_EQ(e.Id(), 32773);
  }
}

TEST(VariantConstruction, CopiesAreDeep) {
  Variant a("abc");
  Variant b(a);
  static_cast<char*>(b)[0] = 'X';
  EXPECT_EQ(Narrow(a), std::string("abc", 4));
  EXPECT_EQ(Narrow(b), std::string("Xbc", 4));
  Variant& same = a;
  a = same;
  a.assign(static_cast<const char*>(a), 2);  // from its own data
  EXPECT_EQ(Narrow(a), "ab");
}

TEST(VariantConstruction, ExpandedValuesAndCasts) {
  EXPECT_EQ(Variant(int16_t{-1}).ExpandedInteger(), -1);
  EXPECT_EQ(Variant(uint16_t{0xFFFF}).ExpandedInteger(), 65535);
  EXPECT_EQ(Variant(0xFFFFFFFFu).ExpandedInteger(), -1);
  EXPECT_EQ(Variant(1.0).ExpandedInteger(), 0);
  EXPECT_EQ(Variant(0.1f).ExpandedReal(), static_cast<double>(0.1f));
  EXPECT_EQ(Variant(7).ExpandedReal(), 0.0);

  EXPECT_EQ(static_cast<char>(Variant(int16_t{0x4142})), 0x42);  // first stored byte
  EXPECT_EQ(static_cast<char16_t>(Variant('a')), u'a');
  EXPECT_EQ(static_cast<char16_t>(Variant(u"\x20ACx")), u'\x20AC');
  EXPECT_EQ(static_cast<char>(Variant("", 0u)), '\0');
  EXPECT_EQ(static_cast<int16_t>(Variant(70000)), static_cast<int16_t>(70000 - 65536));
  EXPECT_EQ(static_cast<double>(Variant(2.5f)), 2.5);
  Variant scalar(5);
  EXPECT_EQ(static_cast<char*>(scalar), nullptr);
  Variant c('a');
  static_cast<char&>(c) = 'b';
  EXPECT_TRUE(c == 'b');
}

// ---- Comparisons -------------------------------------------------------------

TEST(VariantCompare, IntegersMeetAcrossKindsCharactersDoNot) {
  EXPECT_TRUE(Variant(5) == Variant(uint16_t{5}));
  EXPECT_TRUE(Variant(int16_t{5}) == Variant(5u));
  EXPECT_TRUE(Variant(0xFFFFFFFFu) == Variant(-1));  // unsigned long as its 32 bits
  EXPECT_FALSE(Variant('a') == Variant(u'a'));
  EXPECT_TRUE(Variant(0.5f) == Variant(0.5));
  EXPECT_FALSE(Variant(5) == Variant(5.0));
  EXPECT_FALSE(Variant() == Variant(0));
  EXPECT_FALSE(Variant("a") == Variant(u"a"));
  const int16_t shorts[] = {5};
  const int32_t longs[] = {5};
  EXPECT_FALSE(Variant(shorts, 1) == Variant(longs, 1));  // arrays need the same code

  EXPECT_TRUE(Variant(uint16_t{5}) == 5);
  EXPECT_TRUE(Variant(5u) == int16_t{5});
  EXPECT_FALSE(Variant(5.0) == 5);
  EXPECT_TRUE(Variant(0.25f) == 0.25);
  EXPECT_FALSE(Variant(1) == 1.0);
  EXPECT_TRUE(Variant('a') == 'a');
  EXPECT_FALSE(Variant(u'a') == 'a');
  EXPECT_TRUE(Variant(u'\x20AC') == u'\x20AC');
  EXPECT_FALSE(Variant(1) == true);
}

TEST(VariantCompare, Ordering) {
  // Domains first: characters, integers, reals.
  EXPECT_TRUE(Variant('z') < Variant(int16_t{-100}));
  EXPECT_TRUE(Variant(1000) < Variant(-1.0));
  EXPECT_TRUE(Variant() < Variant(false));
  // Integers signed, across kinds.
  EXPECT_TRUE(Variant(0xFFFFFFFFu) < Variant(0));
  EXPECT_TRUE(Variant(int16_t{-3}) < Variant(uint16_t{2}));
  // Characters by code, then bools false first, chars by unsigned bytes.
  EXPECT_TRUE(Variant(true) < Variant('\0'));
  EXPECT_TRUE(Variant('\x7F') < Variant('\x80'));
  EXPECT_TRUE(Variant('z') < Variant(u'a'));
  // A wide char's stored bytes from the first: the low byte decides first.
  EXPECT_TRUE(Variant(u'\x0201') < Variant(u'\x0102'));
  // Arrays by code, then unsigned bytes, a prefix first.
  EXPECT_TRUE(Variant("ab", 2) < Variant("abc", 3));
  EXPECT_FALSE(Variant("b", 1) < Variant("ab\x80", 3));
  EXPECT_TRUE(Variant("\x7F", 1) < Variant("\x80", 1));
  EXPECT_TRUE(Variant("zzz") < Variant(u"a"));
  // Scalars before arrays, whatever the codes, so that the order has no
  // cycles: by code, a char array would go before a wide char but after a short.
  EXPECT_TRUE(Variant(u'a') < Variant(int16_t{1}));
  EXPECT_TRUE(Variant(int16_t{1}) < Variant("a"));
  EXPECT_TRUE(Variant(u'a') < Variant("a"));
  EXPECT_FALSE(Variant("a") < Variant(u'a'));
}

TEST(VariantCompare, OrderingAgreesWithEquality) {
  const uint16_t us[] = {1, 2};
  const std::vector<Variant> values = {
      Variant(),         Variant(false),      Variant(true),      Variant('a'),    Variant('\xF0'),
      Variant(u'a'),     Variant(u'\x0102'),  Variant(int16_t{-1}), Variant(-1),  Variant(0xFFFFFFFFu),
      Variant(2),        Variant(uint16_t{2}), Variant(0.5f),     Variant(0.5),    Variant(-3.0),
      Variant("a"),      Variant("a", 1),     Variant("b"),       Variant(u"a"),   Variant(us, 2),
      Variant(us, 1),    Variant("", 0u),
  };
  for (const Variant& a : values) {
    for (const Variant& b : values) {
      SCOPED_TRACE(std::to_string(a.Type()) + " vs " + std::to_string(b.Type()));
      EXPECT_FALSE(a < b && b < a);
      EXPECT_EQ(a == b, !(a < b) && !(b < a));
      EXPECT_EQ(a == b, b == a);
      for (const Variant& c : values)
        if (a < b && b < c) {
          EXPECT_TRUE(a < c);
        }
    }
  }
}

// ---- Conversions --------------------------------------------------------------

int32_t IntegerOf(const Variant& v) {
  Variant out;
  EXPECT_TRUE(v.ToInteger(out));
  EXPECT_EQ(out.Type(), kVariantLong);
  return out.ExpandedInteger();
}

bool NoInteger(const Variant& v) {
  Variant out(u'k');
  return !v.ToInteger(out) && out == u'k';
}

double RealOf(const Variant& v) {
  Variant out;
  EXPECT_TRUE(v.ToReal(out));
  EXPECT_EQ(out.Type(), kVariantDouble);
  return out.ExpandedReal();
}

bool NoReal(const Variant& v) {
  Variant out(u'k');
  return !v.ToReal(out) && out == u'k';
}

std::string TextOf(const Variant& v) {
  Variant out;
  EXPECT_TRUE(v.ToString(out, true));
  std::string s = Narrow(out);
  EXPECT_FALSE(s.empty());
  EXPECT_EQ(s.back(), '\0');
  return s.substr(0, s.size() - 1);
}

std::u16string WideTextOf(const Variant& v) {
  Variant out;
  EXPECT_TRUE(v.ToString(out, false));
  std::u16string s = Wide(out);
  EXPECT_FALSE(s.empty());
  EXPECT_EQ(s.back(), u'\0');
  return s.substr(0, s.size() - 1);
}

// sscanf in the C locale is the witness; the 32-bit long is ours.
TEST(VariantConvert, TextParsesAsScanfDoes) {
  ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  for (const char* text : {"12abc", "abc", " \t-42", "+7", "2147483647", "-2147483648", "2147483648",
                           "99999999999999999999999", "-", "", "+-1", "0x1F", "\n9", "1.5e3xyz"}) {
    long witness;
    bool fits = std::sscanf(text, "%ld", &witness) == 1 && witness == static_cast<int32_t>(witness);
    if (fits) {
      EXPECT_EQ(IntegerOf(Variant(text)), witness) << text;
    } else {
      EXPECT_TRUE(NoInteger(Variant(text))) << text;
    }
  }
  // Beyond the range of a double, "%lf" still reads one item: infinity, or
  // zero (or a denormal) when the number is too small.
  for (const char* text : {"1.5e3xyz", "  -0.25", "+.5", "7", "0.1", "abc", "+-1", "-", "", ".", "1e", "inf",
                           "1e999", "-1e999", "1e-400", "-2.5e-320x"}) {
    double witness;
    if (std::sscanf(text, "%lf", &witness) == 1) {
      EXPECT_EQ(RealOf(Variant(text)), witness) << text;
    } else {
      EXPECT_TRUE(NoReal(Variant(text))) << text;
    }
  }
}

TEST(VariantConvert, StringsParseWithinTheirArrays) {
  EXPECT_EQ(IntegerOf(Variant("123", 3)), 123);         // no NUL
  EXPECT_EQ(IntegerOf(Variant("12\0" "99", 5)), 12);    // stops at the NUL
  EXPECT_TRUE(NoInteger(Variant("", 0u)));              // no bytes at all
  EXPECT_EQ(IntegerOf(Variant(u"56", 2)), 56);          // wide, no NUL
  EXPECT_TRUE(NoInteger(Variant(u"", 0u)));
  EXPECT_EQ(RealOf(Variant("2.5", 3)), 2.5);
  EXPECT_TRUE(NoReal(Variant("", 0u)));
  EXPECT_EQ(IntegerOf(Read(Bytes({0x25, 0x04, 2, 0, 0, 0, '4', '2'}))), 42);
  EXPECT_EQ(RealOf(Variant(u"2.5")), 2.5);
  EXPECT_EQ(IntegerOf(Variant(u"  34x")), 34);
  EXPECT_EQ(IntegerOf(Variant(u"0000000000000000000000000000042")), 42);  // 31 bytes
  EXPECT_TRUE(NoInteger(Variant(u"00000000000000000000000000000042")));   // 32 bytes
  EXPECT_TRUE(NoInteger(Variant(u"\xD800" u"1")));                         // lone surrogate
}

TEST(VariantConvert, NumbersAreCopiedOtherKindsRefused) {
  Variant out;
  ASSERT_TRUE(Variant(uint16_t{7}).ToInteger(out));
  EXPECT_EQ(out.Type(), kVariantUShort);
  EXPECT_TRUE(out == 7);
  ASSERT_TRUE(Variant(0.25f).ToReal(out));
  EXPECT_EQ(out.Type(), kVariantFloat);
  const int32_t longs[] = {1};
  for (const Variant& v : {Variant(1.0), Variant(true), Variant('7'), Variant(), Variant(longs, 1)})
    EXPECT_TRUE(NoInteger(v)) << v.Type();
  EXPECT_TRUE(NoReal(Variant(7)));
}

TEST(VariantConvert, ToStringNarrow) {
  EXPECT_EQ(TextOf(Variant(0.25f)), "0.250000");
  EXPECT_EQ(TextOf(Variant(1.5)), "1.500000");
  EXPECT_EQ(TextOf(Variant(int16_t{-3})), "-3");
  EXPECT_EQ(TextOf(Variant(-2147483647 - 1)), "-2147483648");
  EXPECT_EQ(TextOf(Variant(uint16_t{65535})), "65535");
  EXPECT_EQ(TextOf(Variant(0xFFFFFFFFu)), "4294967295");
  EXPECT_EQ(TextOf(Variant("copy")), "copy");
  Variant out(7);
  EXPECT_FALSE(Variant(u"wide").ToString(out, true));
  EXPECT_FALSE(Variant('c').ToString(out, true));
  EXPECT_FALSE(Variant(true).ToString(out, true));
  EXPECT_FALSE(Variant().ToString(out, true));
  EXPECT_TRUE(out == 7);
}

TEST(VariantConvert, RealsPrintAsPrintfDoesInTheCLocale) {
  ASSERT_STREQ(std::setlocale(LC_NUMERIC, nullptr), "C");
  for (double d : {0.1, -2.5, 1e300, 123456.789, 1e-7, 0.0, -0.0, 2.0 / 3, 1e15 + 0.3}) {
    char expected[512];
    std::snprintf(expected, sizeof expected, "%lf", d);
    EXPECT_EQ(TextOf(Variant(d)), expected);
  }
}

TEST(VariantConvert, ToStringWide) {
  EXPECT_EQ(WideTextOf(Variant(42)), u"42");
  EXPECT_EQ(WideTextOf(Variant(0.25f)), u"0.250000");
  EXPECT_EQ(WideTextOf(Variant("h\xC3\xA9llo")), u"h\x00E9llo");  // UTF-8, the narrow encoding here
  EXPECT_EQ(WideTextOf(Variant("ab", 2)), u"ab");                 // no NUL in the source
  EXPECT_EQ(WideTextOf(Variant("", 0u)), u"");
  EXPECT_EQ(WideTextOf(Variant(u"same")), u"same");
  Variant out(7);
  EXPECT_FALSE(Variant("\xFF").ToString(out, false));
  EXPECT_FALSE(Variant(u'x').ToString(out, false));
  EXPECT_TRUE(out == 7);
}

// The conversions must not follow the process locale.  Tried with a locale
// whose decimal separator is a comma, when one is installed.
TEST(VariantConvert, IgnoreTheProcessLocale) {
  std::string saved = std::setlocale(LC_ALL, nullptr);
  const char* found = nullptr;
  for (const char* name : {"de_DE.UTF-8", "de_DE.utf8", "fr_FR.UTF-8", "fr_FR.utf8", "ru_RU.UTF-8",
                           "nl_NL.UTF-8", "es_ES.UTF-8", "de_DE", "fr_FR"}) {
    if (std::setlocale(LC_ALL, name) && std::localeconv()->decimal_point[0] == ',') {
      found = name;
      break;
    }
  }
  if (!found) {
    std::setlocale(LC_ALL, saved.c_str());
    GTEST_SKIP() << "no comma-decimal locale installed";
  }
  std::string text = TextOf(Variant(0.25));
  double real = RealOf(Variant("1.5"));
  std::string wide_real;
  for (char16_t c : WideTextOf(Variant(2.5f))) wide_real.push_back(static_cast<char>(c));
  std::setlocale(LC_ALL, saved.c_str());
  EXPECT_EQ(text, "0.250000") << found;
  EXPECT_EQ(real, 1.5) << found;
  EXPECT_EQ(wide_real, "2.500000") << found;
}

}  // namespace
