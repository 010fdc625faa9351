// The strings index against a plain ordered map: strings that share
// prefixes, differ in length only or are empty, units above 0x7F, many
// strings (the table grows several times) and numbers set again.
#include <gtest/gtest.h>

#include <cstdint>
#include <list>
#include <map>
#include <string>

#include "kxt/strings_index.h"

namespace {

// Kept in a list: the index refers to the strings where they are.
struct Fixture {
  std::list<std::u16string> keys;
  std::map<std::u16string, int32_t> expected;
  KXT_StringsIndex index;

  void Set(const std::u16string& text, int32_t number) {
    auto found = expected.find(text);
    const std::u16string& key = found != expected.end() ? *FindKey(text) : keys.emplace_back(text);
    index.Set(key, number);
    expected[text] = number;
  }
  const std::u16string* FindKey(const std::u16string& text) {
    for (const std::u16string& key : keys) {
      if (key == text) return &key;
    }
    return nullptr;
  }
  // -1 for none.
  int32_t Find(const std::u16string& text) const {
    const int32_t* number = index.Find(text.c_str());
    return number == nullptr ? -1 : *number;
  }
};

TEST(StringsIndexTest, FindsWhatWasSetAndNothingElse) {
  Fixture f;
  EXPECT_EQ(f.Find(u"anything"), -1);  // empty index
  const std::u16string texts[] = {u"",          u"a",         u"ab",      u"abc", u"b",
                                  u"\u00e9t\u00e9", u"\u00e9t\u00e8", u"\U0001F600", u"bold", u"Bold"};
  int32_t n = 0;
  for (const std::u16string& text : texts) f.Set(text, n++);
  for (const auto& e : f.expected) EXPECT_EQ(f.Find(e.first), e.second);
  for (const char16_t* absent : {u"abcd", u"B", u"\u00e9", u"bol", u"bolds", u"c"}) EXPECT_EQ(f.Find(absent), -1);

  // Setting again changes the number, not the count of strings.
  f.Set(u"ab", 77);
  f.Set(u"", -1);
  EXPECT_EQ(f.Find(u"ab"), 77);
  EXPECT_EQ(f.Find(u""), -1);
  EXPECT_EQ(f.Find(u"abc"), 3);
}

TEST(StringsIndexTest, ManyStringsStayFoundWhileTheTableGrows) {
  Fixture f;
  for (int32_t i = 0; i < 5000; ++i) {
    std::u16string text = u"attr_";
    for (int32_t v = i; v > 0; v /= 7) text += static_cast<char16_t>(u'0' + v % 7);
    f.Set(text, i * 3);
    if (i % 500 == 0) {
      for (const auto& e : f.expected) ASSERT_EQ(f.Find(e.first), e.second) << i;
    }
  }
  EXPECT_EQ(f.expected.size(), 5000u);
  for (const auto& e : f.expected) EXPECT_EQ(f.Find(e.first), e.second);
  EXPECT_EQ(f.Find(u"attr_9"), -1);
}

}  // namespace
