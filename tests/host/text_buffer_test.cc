#include "host/text_buffer.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <string>

namespace xthost {
namespace {

// Random edits, moving along the text and jumping about, against a plain
// std::u16string.  The pieces are read without the whole text being asked
// for, so that the edits find the gap where the last one left it; the
// whole text is compared only now and then.
TEST(TextBuffer, EditsAndReadsAgreeWithAPlainString) {
  struct Case {
    const char* why;
    uint32_t seed;
    int whole_every;  // steps between comparisons of the whole text
    int jump_one_in;  // the edit goes anywhere one step in this many, else near the last
  };
  const Case cases[] = {
      {"typing along", 7, 50, 20},
      {"anywhere", 11, 7, 1},
      {"never whole until the end", 13, 100000, 4},
  };
  for (const Case& c : cases) {
    uint32_t state = c.seed;
    auto next = [&state](std::size_t bound) {
      state = state * 1103515245u + 12345u;
      return bound == 0 ? std::size_t{0} : static_cast<std::size_t>((state >> 8) % bound);
    };
    TextBuffer buffer;
    std::u16string model;
    std::size_t cursor = 0;
    for (int step = 0; step < 3000; ++step) {
      cursor = next(static_cast<std::size_t>(c.jump_one_in)) == 0 ? next(model.size() + 1)
                                                                   : std::min(cursor, model.size());
      if (next(3) != 0 || model.empty()) {
        std::u16string units;
        for (std::size_t n = 1 + next(40); n > 0; --n) {
          units += next(5) == 0 ? u'\r' : static_cast<char16_t>(u'a' + next(26));
        }
        buffer.insert(cursor, units);
        model.insert(cursor, units);
        cursor += units.size();
      } else {
        // At the end of the text, the units before the cursor go.
        const std::size_t from = cursor == model.size() ? cursor - std::min(cursor, next(30)) : cursor;
        const std::size_t count = std::min(model.size() - from, next(60));
        buffer.erase(from, count);
        model.erase(from, count);
        cursor = from;
      }
      ASSERT_EQ(buffer.size(), model.size()) << c.why << " step " << step;
      const std::size_t a = next(model.size() + 1);
      const std::size_t b = a + next(model.size() - a + 1);
      ASSERT_EQ(buffer.substr(a, b - a), model.substr(a, b - a)) << c.why << " step " << step;
      std::u16string copied(b - a, u'?');
      buffer.copy_to(a, b - a, &copied[0]);
      ASSERT_EQ(copied, model.substr(a, b - a)) << c.why << " step " << step;
      ASSERT_EQ(buffer.count(a, b, u'\r'),
                static_cast<std::size_t>(std::count(model.begin() + static_cast<std::ptrdiff_t>(a),
                                                    model.begin() + static_cast<std::ptrdiff_t>(b), u'\r')))
          << c.why << " step " << step;
      if (a < model.size()) {
        ASSERT_EQ(buffer[a], model[a]) << c.why << " step " << step;
      }
      if (step % c.whole_every == 0) {
        ASSERT_EQ(buffer.str(), model) << c.why << " step " << step;
      }
    }
    EXPECT_TRUE(buffer == model) << c.why;
    EXPECT_EQ(buffer.substr(model.size()), u"") << c.why;
  }
}

TEST(TextBuffer, ReadsAsTheStringItWasGiven) {
  TextBuffer buffer(u"ab\rc");
  buffer.insert(2, u"XY");
  buffer.erase(0, 1);
  EXPECT_TRUE(buffer == u"bXY\rc");
  EXPECT_TRUE(buffer != TextBuffer(u"bXY\r"));
  const std::u16string& whole = buffer;
  EXPECT_EQ(whole, u"bXY\rc");
  EXPECT_EQ(buffer.find(u'\r'), 3u);
  buffer = u"";
  EXPECT_TRUE(buffer.empty());
  EXPECT_THROW(buffer.substr(1), std::out_of_range);
}

}  // namespace
}  // namespace xthost
