// Composition of the stand-in host: lines measured by hand from the metrics
// that host/README.md states, chains that flow and overset, hidden text,
// recomposition after changes, and the "lines" command.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <random>

#include "host/compose.h"
#include "host/document_ops.h"
#include "host/linked_host_util.h"

namespace xthost {
namespace {

int32_t Fixed(double points) { return static_cast<int32_t>(std::lround(points * 65536)); }
double Points(int32_t fixed) { return fixed / 65536.0; }

// A line as the tests state it: offset, length, width in points.
struct Line {
  int32_t offset;
  int32_t length;
  double width;
  bool operator==(const Line& o) const {
    return offset == o.offset && length == o.length && width == o.width;
  }
};

std::ostream& operator<<(std::ostream& out, const Line& line) {
  return out << "{" << line.offset << "," << line.length << "," << line.width << "}";
}

std::vector<Line> Summary(const std::vector<XTLineRecord>& records) {
  std::vector<Line> lines;
  for (const XTLineRecord& r : records) lines.push_back({r.offset, r.length, Points(r.width)});
  return lines;
}

std::u16string Repeat(const std::u16string& piece, int times) {
  std::u16string text;
  for (int i = 0; i < times; ++i) text += piece;
  return text;
}

// A document of one story (id 1) in 10-point characters, and its boxes.
class Composition : public ::testing::Test {
 protected:
  void SetUp() override {
    plain_ = Attributes(10);
    content_.stories.emplace_back(1);
  }

  int32_t Attributes(double size, uint32_t opcode = 0) {
    XTCharAttrRecord record = DefaultAttributes();
    record.size = Fixed(size);
    record.opcode = opcode;
    return content_.AttributeIndex(record);
  }
  Story& story() { return content_.stories.front(); }
  // Appends `text` to the story in attributes `attributes`.
  void Append(const std::u16string& text, int32_t attributes) {
    const int32_t at = story().length();
    ASSERT_TRUE(story().Insert(at, text));
    story().ChangeAttributes(at, story().length(), [=](int32_t) { return attributes; });
  }
  void SetText(const std::u16string& text) {
    story() = Story(1);
    story().runs[0].attributes = plain_;
    Append(text, plain_);
  }
  // A text box of story 1 with its text area `width` by `height` points
  // (inset 0) at (left, top); its id.
  int32_t AddBox(double width, double height, double left = 0, double top = 0) {
    Box box;
    box.id = content_.NewItemId();
    box.story = 1;
    box.inset = 0;
    box.bounds = {Fixed(left), Fixed(top), Fixed(left + width), Fixed(top + height)};
    content_.boxes.push_back(box);
    return box.id;
  }
  std::vector<Line> Lines(int32_t box) { return Summary(BoxLines(content_, box)); }

  DocumentContent content_;
  int32_t plain_ = 0;
};

// Each unit 5 points wide (20 to a 100-point line), a CJK or fullwidth
// character 10, lines 12 points high.
TEST_F(Composition, LinesBreakByTheMetric) {
  const std::u16string nineteen = Repeat(u"a", 19);
  const struct {
    const char* what;
    std::u16string text;
    std::vector<Line> lines;
  } cases[] = {
      {"words wrap at blanks", u"aaaa bbbb cccc dddd eeee", {{0, 20, 95}, {20, 4, 20}}},
      {"a word longer than the line", Repeat(u"x", 25), {{0, 20, 100}, {20, 5, 25}}},
      {"blanks hang past the end", nineteen + u"   b", {{0, 22, 95}, {22, 1, 5}}},
      {"returns end paragraphs", u"aaaa\rbb\r", {{0, 5, 20}, {5, 3, 10}, {8, 0, 0}}},
      {"CJK characters", Repeat(u"\u4E00", 12), {{0, 10, 100}, {10, 2, 20}}},
      {"half and whole", u"ab\u4E00\uFF21\u2E7F\u2E80", {{0, 6, 45}}},
      {"surrogate pairs count once", Repeat(u"\U00020000", 11), {{0, 20, 100}, {20, 2, 10}}},
      {"private use is narrow", Repeat(u"\uE000", 21), {{0, 20, 100}, {20, 1, 5}}},
      {"a lone surrogate is narrow", Repeat(u"\xDC00", 20) + u"\xD800", {{0, 20, 100}, {20, 1, 5}}},
      {"an empty story", u"", {{0, 0, 0}}},
  };
  const int32_t box = AddBox(100, 1000);
  for (const auto& c : cases) {
    SetText(c.text);
    const std::vector<XTLineRecord> records = BoxLines(content_, box);
    EXPECT_EQ(Summary(records), c.lines) << c.what;
    for (std::size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(records[i].vertical, Fixed(12.0 * static_cast<double>(i))) << c.what;
      EXPECT_EQ(records[i].height, Fixed(12)) << c.what;
      EXPECT_EQ(records[i].baseline, records[i].vertical + Fixed(8)) << c.what;
      EXPECT_EQ(records[i].overflow, 0) << c.what;
    }
  }
}

TEST_F(Composition, ParagraphFormatsPlaceTheLines) {
  XTParaFormatRecord format{};
  format.left_indent = Fixed(10);
  format.right_indent = Fixed(10);
  format.first_indent = Fixed(5);
  format.leading = Fixed(20);
  format.space_before = Fixed(6);
  format.space_after = Fixed(4);
  content_.formats.push_back(format);
  SetText(u"aaaa bbbb cccc dddd\rcc");
  for (ParagraphRun& run : story().paragraphs) run.format = 1;
  const int32_t box = AddBox(100, 1000);
  // 75 points for the first line, 80 for the others; the space after the
  // first paragraph and before the second lie between them.
  const std::vector<XTLineRecord> lines = BoxLines(content_, box);
  EXPECT_EQ(Summary(lines), (std::vector<Line>{{0, 15, 70}, {15, 5, 20}, {20, 2, 10}}));
  const int32_t expected[][4] = {{0, 15, 20, 0}, {20, 10, 20, 0}, {50, 15, 20, 1}};
  for (std::size_t i = 0; i < lines.size(); ++i) {
    EXPECT_EQ(lines[i].vertical, Fixed(expected[i][0])) << i;
    EXPECT_EQ(lines[i].x, Fixed(expected[i][1])) << i;
    EXPECT_EQ(lines[i].height, Fixed(expected[i][2])) << i;
    EXPECT_EQ(lines[i].paragraph, expected[i][3]) << i;
  }

  // Automatic leading: 1.2 times the line's largest character, the ascent
  // 0.8 times it; hidden characters do not count.
  story() = Story(1);
  Append(u"a", plain_);
  Append(u"B", Attributes(20));
  Append(u"x", Attributes(30, 0x60));
  const XTLineRecord line = BoxLines(content_, box).at(0);
  EXPECT_EQ(line.height, Fixed(24));
  EXPECT_EQ(line.ascent, Fixed(16));
  EXPECT_EQ(line.width, Fixed(15));
}

TEST_F(Composition, HiddenTextTakesNoRoom) {
  const int32_t opening = Attributes(10, 0x20);
  const int32_t closing = Attributes(10, 0x40);
  const int32_t both = Attributes(10, 0x60);
  const int32_t anchored = Attributes(10, kXTOpAnchoredBox);
  const std::u16string hidden = Repeat(u"x", 30);
  struct Piece {
    std::u16string text;
    int32_t attributes;
  };
  const struct {
    const char* what;
    std::vector<Piece> pieces;
    std::vector<Line> lines;
  } cases[] = {
      {"a pair", {{u"aaaa", plain_}, {u"[", opening}, {hidden, plain_}, {u"]", closing},
                  {u"bbbb", plain_}}, {{0, 40, 40}}},
      {"nested pairs pair by depth",
       {{u"aa", plain_}, {u"[", opening}, {u"x", plain_}, {u"[", opening}, {u"yy", plain_},
        {u"]", closing}, {u"zz", plain_}, {u"]", closing}, {u"bb", plain_}},
       {{0, 13, 20}}},
      {"an unpaired opening hides the rest", {{u"aa", plain_}, {u"[", opening},
                                              {hidden, plain_}}, {{0, 33, 10}}},
      {"a marker of both kinds hides itself", {{u"aa", plain_}, {u"|", both}, {u"bb", plain_}},
       {{0, 5, 20}}},
      {"a hidden return ends no line",
       {{u"aa", plain_}, {u"[", opening}, {u"\r", plain_}, {u"]", closing}, {u"bb", plain_}},
       {{0, 7, 20}}},
      {"hidden text inside a full line", {{Repeat(u"a", 19), plain_}, {u"[", opening},
                                          {hidden, plain_}, {u"]", closing}, {u"b", plain_}},
       {{0, 52, 100}}},
      {"an anchored item is an em wide", {{u"aa", plain_}, {u"*", anchored}}, {{0, 3, 20}}},
  };
  const int32_t box = AddBox(100, 1000);
  for (const auto& c : cases) {
    story() = Story(1);
    for (const Piece& piece : c.pieces) Append(piece.text, piece.attributes);
    EXPECT_EQ(Lines(box), c.lines) << c.what;
  }
}

// Three boxes of three 12-point lines each, one paragraph per line.
class Chain : public Composition {
 protected:
  void SetUp() override {
    Composition::SetUp();
    std::u16string text;
    for (int i = 0; i < 11; ++i) text += (i > 0 ? u"\rp" : u"p") + std::u16string(1, u'a' + i);
    SetText(text);  // "pa\rpb\r...pk": 11 lines, each at 3 * i
    for (int i = 0; i < 3; ++i) boxes_.push_back(AddBox(100, 36, 0, 50.0 * i));
  }
  Box& box(int i) { return *content_.FindBox(boxes_[static_cast<std::size_t>(i)]); }
  std::vector<int32_t> Offsets(int i) {
    std::vector<int32_t> offsets;
    for (const XTLineRecord& r : BoxLines(content_, boxes_[static_cast<std::size_t>(i)])) {
      offsets.push_back(r.offset);
    }
    return offsets;
  }
  std::vector<int32_t> boxes_;
};

TEST_F(Chain, FlowsThroughItsBoxesAndOversetsIntoTheLast) {
  EXPECT_EQ(Offsets(0), (std::vector<int32_t>{0, 3, 6}));
  EXPECT_EQ(Offsets(1), (std::vector<int32_t>{9, 12, 15}));
  EXPECT_EQ(Offsets(2), (std::vector<int32_t>{18, 21, 24, 27, 30}));
  const std::vector<XTLineRecord> last = BoxLines(content_, boxes_[2]);
  EXPECT_EQ(Summary(last), (std::vector<Line>{{18, 3, 10}, {21, 3, 10}, {24, 3, 10}, {27, 3, 10},
                                              {30, 2, 10}}));
  EXPECT_EQ(last[2].vertical, Fixed(24));
  EXPECT_EQ(last[3].vertical, kXTOversetLine);
  EXPECT_EQ(last[4].vertical, kXTOversetLine + 1);
  EXPECT_EQ(last[3].overflow, 0);
  EXPECT_EQ(last[4].overflow, kXTOverflowMark);
  for (int i = 0; i < 2; ++i) {
    EXPECT_EQ(BoxLines(content_, boxes_[static_cast<std::size_t>(i)]).back().overflow, 0);
  }
  for (int32_t id : boxes_) EXPECT_TRUE(ChainOverflows(content_, id));

  // A larger last box takes the overset lines.
  box(2).bounds[3] += Fixed(24);
  InvalidateComposition(content_);
  EXPECT_EQ(Offsets(2), (std::vector<int32_t>{18, 21, 24, 27, 30}));
  EXPECT_EQ(BoxLines(content_, boxes_[2]).back().vertical, Fixed(48));
  EXPECT_EQ(BoxLines(content_, boxes_[2]).back().overflow, 0);
  for (int32_t id : boxes_) EXPECT_FALSE(ChainOverflows(content_, id));

  // A box too low for a line, or without room, gets none; the text flows
  // on into the next one.
  box(0).bounds[3] = box(0).bounds[1] + Fixed(11);
  box(1).bounds[2] = box(1).bounds[0] + Fixed(2);  // the inset leaves no room
  box(1).inset = Fixed(1);
  InvalidateComposition(content_);  // geometry changed in place
  EXPECT_TRUE(Offsets(0).empty());
  EXPECT_TRUE(Offsets(1).empty());
  EXPECT_EQ(Offsets(2), (std::vector<int32_t>{0, 3, 6, 9, 12, 15, 18, 21, 24, 27, 30}));
  EXPECT_TRUE(ChainOverflows(content_, boxes_[0]));
}

TEST_F(Chain, AnEmptyStoryHasOneLineInItsFirstBox) {
  SetText(u"");
  EXPECT_EQ(Lines(boxes_[0]), (std::vector<Line>{{0, 0, 0}}));
  EXPECT_TRUE(Lines(boxes_[1]).empty());
  EXPECT_TRUE(Lines(boxes_[2]).empty());
  EXPECT_FALSE(ChainOverflows(content_, boxes_[2]));

  Box picture;
  picture.id = content_.NewItemId();
  picture.kind = kPictureItem;
  content_.boxes.push_back(picture);
  EXPECT_TRUE(BoxLines(content_, picture.id).empty());
  EXPECT_FALSE(ChainOverflows(content_, picture.id));
  EXPECT_TRUE(BoxLines(content_, 999).empty());
}

// Box fitting grows a box to the right 18 points at a time until its text
// fits.  Thirty words of 20 points with a blank after each: a line of W
// points holds floor((W + 5) / 25) words, three lines hold thirty words from
// W = 245 on, so 100 points need nine steps.
TEST_F(Chain, GrowingToTheRightEndsTheOverflow) {
  content_.boxes.resize(1);
  SetText(Repeat(u"word ", 29) + u"word");
  int steps = 0;
  std::size_t lines = BoxLines(content_, boxes_[0]).size();
  const uint64_t allocated = CompositionAllocations();  // the steps reuse the first layout's memory
  while (ChainOverflows(content_, boxes_[0]) && steps < 20) {
    box(0).bounds[2] += Fixed(18);
    InvalidateComposition(content_);  // as the host's box records do
    ++steps;
    const std::size_t now = BoxLines(content_, boxes_[0]).size();
    EXPECT_LE(now, lines);
    lines = now;
  }
  EXPECT_EQ(steps, 9);
  EXPECT_EQ(lines, 3u);
  EXPECT_EQ(CompositionAllocations(), allocated);
}

TEST_F(Chain, RecomposesOnlyAfterAChange) {
  (void)BoxLines(content_, boxes_[0]);
  const uint64_t composed = CompositionCount();
  (void)BoxLines(content_, boxes_[1]);
  (void)ChainOverflows(content_, boxes_[2]);
  EXPECT_EQ(CompositionCount(), composed);

  ASSERT_TRUE(story().Insert(0, u"xxxxxxxxxxxxxxxxxxxxx"));  // 21 units: two lines
  EXPECT_EQ(Offsets(0), (std::vector<int32_t>{0, 20, 24}));
  EXPECT_EQ(CompositionCount(), composed + 1);

  // Larger characters with the same text: ten to a line, lines of 24
  // points, one to a box.
  story().ChangeAttributes(0, 21, [&](int32_t) { return Attributes(20); });
  EXPECT_EQ(Offsets(0), (std::vector<int32_t>{0}));
  EXPECT_EQ(Offsets(1), (std::vector<int32_t>{10}));
  EXPECT_EQ(CompositionCount(), composed + 2);

  InvalidateComposition(content_);
  EXPECT_EQ(Offsets(0), (std::vector<int32_t>{0}));
  EXPECT_EQ(CompositionCount(), composed + 3);

  // Another document with a story of the same id keeps its own lines.
  DocumentContent other = content_;
  other.stories.front() = Story(1);
  EXPECT_EQ(Summary(BoxLines(other, boxes_[0])), (std::vector<Line>{{0, 0, 0}}));
  EXPECT_EQ(Offsets(0), (std::vector<int32_t>{0}));
  InvalidateComposition(other);

  // A record changed in place between two layouts of the story.
  InvalidateComposition(content_);
  EXPECT_EQ(Offsets(0), (std::vector<int32_t>{0}));
  content_.attributes[static_cast<std::size_t>(Attributes(20))].size = Fixed(10);
  InvalidateComposition(content_);
  EXPECT_EQ(Offsets(0), (std::vector<int32_t>{0, 20, 24}));
}

// The line a unit shows in, found as a line query did before the host
// kept its lines: every box of the chain in turn, every line of it.
bool ScannedLine(const DocumentContent& content, int32_t position, LinePlace* place) {
  const std::vector<const Box*> chain = content.ChainOf(1);
  for (const Box* candidate : chain) {
    const std::vector<XTLineRecord> lines = BoxLines(content, candidate->id);
    for (std::size_t i = 0; i < lines.size(); ++i) {
      const bool last = i + 1 == lines.size() && candidate == chain.back();
      if (position >= lines[i].offset && (position < lines[i].offset + lines[i].length ||
                                          (last && position == content.FindStory(1)->length()))) {
        place->box = candidate->id;
        place->line = i;
        return true;
      }
    }
  }
  return false;
}

bool SameRecords(const std::vector<XTLineRecord>& a, const std::vector<XTLineRecord>& b) {
  return a.size() == b.size() && (a.empty() || std::memcmp(a.data(), b.data(), a.size() * sizeof a[0]) == 0);
}

// Random edits of the story, its paragraphs and the chain's boxes, each
// made as the host makes it (story changes, geometry followed by
// InvalidateComposition, items that come and go): after each, the lines
// the cache gives every box and the place of every unit are those of a
// fresh composition (a copy of the document has a cache entry of its own)
// and of the scan over all lines.
TEST_F(Chain, KeptLinesAnswerAsAFreshCompositionAfterEveryEdit) {
  std::mt19937 random(40);
  auto pick = [&random](int32_t low, int32_t high) {
    return std::uniform_int_distribution<int32_t>(low, high)(random);
  };
  const int32_t big = Attributes(20);
  const int32_t hidden = Attributes(10, 0x20);
  const std::u16string alphabet = u"abcdefgh  \r\u4E00";
  for (int step = 0; step < 400; ++step) {
    Story& text = story();
    switch (pick(0, 7)) {
      case 0:
      case 1: {  // typing
        std::u16string units;
        for (int n = pick(1, 30); n > 0; --n) units += alphabet[static_cast<std::size_t>(pick(0, 11))];
        ASSERT_TRUE(text.Insert(pick(0, text.length()), units));
        break;
      }
      case 2: {
        const int32_t start = pick(0, text.length());
        ASSERT_TRUE(text.Delete(start, std::min(text.length(), start + pick(0, 40))));
        break;
      }
      case 3: {
        const int32_t start = pick(0, text.length());
        const int32_t to = pick(0, 2) == 0 ? big : pick(0, 5) == 0 ? hidden : plain_;
        text.ChangeAttributes(start, std::min(text.length(), start + pick(1, 20)),
                              [to](int32_t) { return to; });
        break;
      }
      case 4: {  // a paragraph's format changed in place
        XTParaFormatRecord format{};
        format.space_before = Fixed(pick(0, 6));
        format.leading = pick(0, 1) * Fixed(15);
        text.paragraphs[static_cast<std::size_t>(pick(0, static_cast<int32_t>(text.paragraphs.size()) - 1))]
            .format = content_.FormatIndex(format);
        text.Touch();
        break;
      }
      case 5: {  // a box's geometry
        Box& b = box(pick(0, static_cast<int32_t>(boxes_.size()) - 1));
        b.bounds[2] = b.bounds[0] + Fixed(pick(0, 4) * 40);
        b.bounds[3] = b.bounds[1] + Fixed(pick(0, 5) * 12);
        b.inset = Fixed(pick(0, 2));
        InvalidateComposition(content_);
        break;
      }
      case 6:  // a box comes or goes
        if (boxes_.size() > 1 && pick(0, 1) == 0) {
          content_.boxes.erase(content_.boxes.begin() + static_cast<std::ptrdiff_t>(pick(0, 1)));
          boxes_.clear();
          for (const Box& b : content_.boxes) boxes_.push_back(b.id);
          content_.ItemsChanged();
        } else {
          boxes_.push_back(AddBox(pick(1, 3) * 40, pick(1, 4) * 12, 0, 50.0 * step));
        }
        break;
      default:  // a story made anew in its place
        if (pick(0, 3) == 0) SetText(u"fresh\rstart");
        break;
    }
    // Some boxes asked now, so that later steps find kept lines.
    (void)BoxLines(content_, boxes_[static_cast<std::size_t>(pick(0, static_cast<int32_t>(boxes_.size()) - 1))]);

    DocumentContent fresh = content_;
    for (const int32_t id : boxes_) {
      ASSERT_TRUE(SameRecords(BoxLines(content_, id), BoxLines(fresh, id))) << "step " << step << " box " << id;
      ASSERT_EQ(ChainOverflows(content_, id), ChainOverflows(fresh, id)) << "step " << step;
    }
    for (int32_t position = 0; position <= story().length(); ++position) {
      LinePlace kept, scanned;
      const bool found = LineOfUnit(content_, story(), position, &kept);
      ASSERT_EQ(found, ScannedLine(fresh, position, &scanned)) << "step " << step << " unit " << position;
      if (!found) continue;
      ASSERT_EQ(kept.box, scanned.box) << "step " << step << " unit " << position;
      ASSERT_EQ(kept.line, scanned.line) << "step " << step << " unit " << position;
      ASSERT_TRUE(SameRecords(*kept.lines, BoxLines(fresh, kept.box)));
    }
  }
}

TEST(ComposeCommand, LinesPrintsTheLineTableOfABox) {
  TempFolder temp;
  WriteFile(temp / "note.qxp",
            R"({"format": "xthost document", "version": 1, "layouts": [{"name": "Layout 1"}],
                "boxes": [{"id": 3, "story": 1, "bounds": [0, 0, 32, 26]},
                          {"id": 4, "bounds": [40, 0, 80, 26]}],
                "stories": [{"id": 1, "text": "Last words\r", "paragraphs": [[0, 11], [0, 0]],
                             "runs": [[0, 11]]}]})");
  LinkedHost linked;
  Host& host = linked.host();
  std::string error;
  EXPECT_FALSE(RunComposeCommand(host, "lines", "3"));
  ASSERT_EQ(OpenDocumentFile(host, temp / "note.qxp", 0, nullptr, &error), kXTOk) << error;
  DocumentContent& content = *CurrentContent(host);
  linked.Clear();

  // 12-point characters, 30 by 24 points of room: "Last " in the box,
  // "words" and the empty last paragraph overset.
  EXPECT_TRUE(RunComposeCommand(host, "lines", "3"));
  EXPECT_TRUE(RunComposeCommand(host, "lines", "4"));  // not a text box: no lines
  EXPECT_FALSE(RunComposeCommand(host, "lines", "99"));
  EXPECT_FALSE(RunComposeCommand(host, "lines", "3 4"));
  EXPECT_FALSE(RunComposeCommand(host, "line", "3"));
  EXPECT_EQ(linked.Lines(),
            (std::vector<std::string>{
                "box 3 line 0 offset 0 length 5 paragraph 0 vertical 1 x 1 width 24 height 14.4",
                "box 3 line 1 offset 5 length 6 paragraph 0 vertical overset x 0 width 30 "
                "height 14.4",
                "box 3 line 2 offset 11 length 0 paragraph 1 vertical overset x 0 width 0 "
                "height 14.4 overflow",
                "lines failed: no item 99",
                "lines failed: needs BOX",
                "line failed: unknown command",
            }));
  InvalidateComposition(content);
}

}  // namespace
}  // namespace xthost
