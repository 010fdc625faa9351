// Character attributes: host records written as run attributes (read back
// with the attributes in force, as the import sees them), the font-name
// translation against iconv, colours of every model, and the appliers on
// the stand-in host's text.
#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "plugin/conversion/x_attribs.h"
#include "plugin/qapi/q_font_list.h"
#include "support/host_link.h"
#include "tests/common/kxt_witness_py.h"
#include "tests/common/python.h"
#include "tests/plugin/conversion/export_test_util.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

using namespace BX_KXT::Export;
using Attrs = std::map<std::u16string, std::u16string>;

// Binds the lazily acquired tables through a registration record of the
// stand-in host.
void BindRegistration() {
  static XTRegisterRec record = xthost::MakeRegisterRec();
  XT().registration = &record;
}

std::unique_ptr<HostFontRecord> Font(uint16_t id, const char16_t* name) {
  auto font = std::make_unique<HostFontRecord>();
  font->fontId = id;
  Mixer::CopyBoundedWide(font->name, name);
  return font;
}

HostTextRecord Text(const QFontList& fonts, uint16_t font, uint16_t faces = 0) {
  HostTextRecord text;
  text.range.Set(&fonts, 1);
  text.attributes.font = font;
  text.attributes.faces = faces;
  text.attributes.size = 12 << 16;
  text.fontCodePage = 1252;
  text.codePage = 10000;
  return text;
}

// A text as Python's json.dumps writes it.
std::string Json(const std::u16string& text) {
  std::string out = "\"";
  for (char16_t c : text) {
    if (c == u'"' || c == u'\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c >= 0x20 && c < 0x7F) {
      out += static_cast<char>(c);
    } else {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\u%04x", static_cast<unsigned>(c));
      out += hex;
    }
  }
  return out + "\"";
}

class XAttribsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    host_.Open("doc_brochure.json");  // "Brenix" selected: Arial 18 bold
    BindRegistration();
    AcquireSuite(*XT().registration, kXTSuiteLGK2, XT().lgk2);  // colour lists
    fonts_.Insert(3, Font(3, u"Times"));
    fonts_.Insert(4, Font(4, u"Caf\u00e9 \u00c6on\u2022"));
  }

  // Writes one run per record (each in a paragraph of its own) with the
  // given code page and gives back every attribute in force for each run.
  std::vector<Attrs> WriteRuns(const std::vector<HostTextRecord>& texts, uint32_t codePage = 1252) {
    {
      Ref<IBook> book = CreateExportBook(path_.c_str());
      book->AddAttr(u"exporter", u"test");  // the book's set, defaults with it, is stored
      Ref<IStory> story = book->NewDocument(0)->NewStory(0);
      for (const HostTextRecord& text : texts) {
        const XAttribs record(text);
        Ref<IAttrs> run = story->NewParagraph(0, -1)->NewUnicodesRun(u"x", 2, -1);
        WriteAttributeSet(record, *run, codePage);
      }
    }
    const element_test::Book book = element_test::ReadV2(path_);
    std::vector<Attrs> out;
    for (size_t p = 0; p < texts.size(); ++p) {
      Attrs all;
      for (const char16_t* name : {u"private", u"codepage", u"typeface", u"typeface_codepage", u"bold", u"italic",
                                   u"outline", u"shadow", u"strike", u"underline", u"caps", u"kerning",
                                   u"tracking", u"color_type", u"color_name", u"size", u"shift"}) {
        const std::u16string value = export_test::InForce(book, 0, p, 0, name);
        if (value != u"<none>") all[name] = value;
      }
      out.push_back(all);
    }
    // Python walks the same attributes in force.
    std::vector<std::string> witness;
    for (const std::string& line : testutil::WitnessLines(testutil::kKxtDumpPy, path_, {"in-force"})) {
      if (line.rfind("run ", 0) == 0) witness.push_back(line);
    }
    EXPECT_EQ(witness.size(), out.size());
    for (size_t p = 0; p < witness.size() && p < out.size(); ++p) {
      for (const auto& a : out[p]) {
        const std::string pair = Json(a.first) + ": " + Json(a.second);
        EXPECT_NE(witness[p].find(pair), std::string::npos) << pair << " in " << witness[p];
      }
    }
    return out;
  }

  // The attributes of the selected text as the host holds them.
  const XTCharAttrRecord& Selected() {
    xthost::DocumentContent& c = host_.content();
    return c.attributes[c.SelectedStory()->AttributesAt(c.selection_start)];
  }

  LogCapture log_;
  DocHost host_;
  QFontList fonts_{QFontList::Empty{}};
  testutil::TempDir dir_{"brenix-attrs"};
  std::string path_ = dir_.File("attrs.kxq");
};

TEST_F(XAttribsTest, FacesTypefacesAndNumbers) {
  std::vector<HostTextRecord> texts = {
      Text(fonts_, 3, 0x0005), Text(fonts_, 3, 0x1004), Text(fonts_, 3, 0x0C00),
      Text(fonts_, 3, 0xFFFF), Text(fonts_, 17),        Text(fonts_, 4),
      Text(fonts_, 4),         Text(fonts_, 3, 0x1000),
  };
  texts[1].value = -7;
  texts[4].attributes.kerning = -12;
  texts[4].attributes.tracking = 40;
  texts[6].flag = 1;  // the font's own code page: no translation
  texts[6].fontCodePage = 0xFFFF;
  const std::vector<Attrs> runs = WriteRuns(texts);
  ASSERT_EQ(runs.size(), texts.size());

  EXPECT_EQ(runs[0].at(u"bold"), u"on");
  EXPECT_EQ(runs[0].at(u"underline"), u"single");
  for (const char16_t* off : {u"italic", u"outline", u"shadow", u"strike"}) EXPECT_EQ(runs[0].at(off), u"off");
  EXPECT_EQ(runs[0].at(u"caps"), u"");
  EXPECT_EQ(runs[0].at(u"typeface"), u"Times");
  EXPECT_EQ(runs[0].at(u"codepage"), u"1252");
  EXPECT_EQ(runs[0].at(u"typeface_codepage"), u"10000");
  EXPECT_EQ(runs[0].at(u"private"), u"0");
  EXPECT_EQ(runs[0].at(u"size"), u"24");
  EXPECT_EQ(runs[0].at(u"shift"), u"0");
  EXPECT_EQ(runs[1].at(u"underline"), u"");  // two underline bits
  EXPECT_EQ(runs[1].at(u"private"), u"-7");
  EXPECT_EQ(runs[2].at(u"caps"), u"");       // two caps bits
  EXPECT_EQ(runs[3].at(u"bold"), u"off");    // mixed faces count as none
  EXPECT_EQ(runs[3].at(u"underline"), u"");
  EXPECT_EQ(runs[4].at(u"typeface"), u"Unknown Font 17");
  EXPECT_EQ(runs[4].at(u"kerning"), u"-12");
  EXPECT_EQ(runs[4].at(u"tracking"), u"40");
  // Mac Roman bytes of the Windows-1252 name (U+2022 is 0x95 there, 0xA5 in
  // Mac Roman); the font's own code page keeps the Windows-1252 bytes.
  EXPECT_EQ(runs[5].at(u"typeface"), u"Caf\u008e \u00aeon\u00a5");
  EXPECT_EQ(runs[6].at(u"typeface"), u"Caf\u00e9 \u00c6on\u0095");
  EXPECT_EQ(runs[6].at(u"typeface_codepage"), u"1252");
  EXPECT_EQ(runs[7].at(u"underline"), u"by_word");
  const std::string log = log_.Text();
  for (const char* line : {"Face conflict", "Underline conflict", "Caps conflict"}) {
    EXPECT_NE(log.find(line), std::string::npos) << line;
  }
}

TEST_F(XAttribsTest, TypefacesAreTheNamesBytesInTheirCodePage) {
  struct Case {
    const char16_t* name;
    bool own;           // the font's own code page, else Mac Roman
    uint32_t codePage;  // the font's
    const char16_t* typeface;
    const char16_t* typefaceCodePage;
  };
  const Case cases[] = {
      {u"\u0152il \u00bd", false, 1252, u"\u00ceil \u00de", u"10000"},  // through the table
      {u"MS \u660e\u671d", false, 1252, u"MS ??", u"10000"},             // not in Windows-1252
      {u"\U0001D400x", false, 1252, u"?x", u"10000"},                    // one character, one '?'
      {u"MS \u660e\u671d", true, 932, u"MS \u0096\u00be\u0092\u00a9", u"932"},
      {u"\u0152il", true, 0xFFFF, u"\u008cil", u"1252"},                  // no code page: Windows-1252
      {u"\u0152\u660e", true, 1200, u"\u0152\u660e", u"1200"},           // UTF-16 as it is
      {u"\u660e", true, 1250, u"?", u"1250"},
  };
  std::vector<HostTextRecord> texts;
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    const uint16_t id = static_cast<uint16_t>(20 + i);
    fonts_.Insert(id, Font(id, cases[i].name));
    texts.push_back(Text(fonts_, id));
    texts.back().flag = cases[i].own ? 1 : 0;
    texts.back().fontCodePage = static_cast<uint16_t>(cases[i].codePage);
  }
  const std::vector<Attrs> runs = WriteRuns(texts);
  ASSERT_EQ(runs.size(), texts.size());
  for (std::size_t i = 0; i < std::size(cases); ++i) {
    EXPECT_EQ(runs[i].at(u"typeface"), cases[i].typeface) << i;
    EXPECT_EQ(runs[i].at(u"typeface_codepage"), cases[i].typefaceCodePage) << i;
  }
}

TEST_F(XAttribsTest, CodePageArgumentAndItsNone) {
  EXPECT_EQ(WriteRuns({Text(fonts_, 3)}, 0xFFFF)[0].at(u"codepage"), u"0xFFFF");
  EXPECT_EQ(WriteRuns({Text(fonts_, 3)}, 1200)[0].at(u"codepage"), u"1200");
}

TEST_F(XAttribsTest, FontNameTranslationAgreesWithIconvWhereverItConverts) {
  const std::string program = R"PY(
import subprocess
for b in range(0x80, 0x100):
    r = subprocess.run(['iconv', '-f', 'CP1252', '-t', 'MACINTOSH'], input=bytes([b]), capture_output=True)
    if r.returncode == 0 and len(r.stdout) == 1:
        print(b, r.stdout[0])
)PY";
  std::istringstream in(testutil::PythonOutput(program, {}));
  int compared = 0;
  for (int windows, mac; in >> windows >> mac; ++compared) {
    EXPECT_EQ(FontNameToMac(static_cast<uint8_t>(windows)), mac) << windows;
    EXPECT_EQ(FontNameFromMac(static_cast<uint8_t>(mac)), windows) << mac;
  }
  EXPECT_GT(compared, 100);
  std::vector<bool> seen(256);
  for (int b = 0; b < 256; ++b) {
    EXPECT_EQ(FontNameFromMac(FontNameToMac(static_cast<uint8_t>(b))), b);
    seen[FontNameToMac(static_cast<uint8_t>(b))] = true;
  }
  EXPECT_EQ(std::count(seen.begin(), seen.end(), true), 256);
}

TEST_F(XAttribsTest, ColoursOfEveryModel) {
  auto& colors = host_.content().colors;
  colors.clear();
  const struct {
    const char* model;
    const char16_t* type;
  } models[] = {{"QRGB", u"RGB"}, {"QHSB", u"HSB"}, {"QLAB", u"LAB"}, {"QCMK", u"CMK"}, {"QDVN", u"DVN"},
                {"QXYZ", u"XYZ"}, {"QMLT", u"MLT"}, {"QGRY", u"GRY"}, {"PnHx", u"PnHx"}, {"QOTH", u""}};
  std::vector<HostTextRecord> texts;
  for (size_t i = 0; i < std::size(models); ++i) {
    xthost::Color color;
    color.id = static_cast<uint16_t>(i + 1);
    color.model = models[i].model;
    if (i != 3) color.name = u"Colour " + std::u16string(1, static_cast<char16_t>(u'A' + i));
    colors.push_back(color);
    texts.push_back(Text(fonts_, 3));
    texts.back().attributes.color = color.id;
  }
  for (int i = 0; i < 2; ++i) {
    texts.push_back(Text(fonts_, 3));
    texts.back().attributes.color = 99;  // no such colour: logged for each run
  }
  const std::vector<Attrs> runs = WriteRuns(texts);
  for (size_t i = 0; i < std::size(models); ++i) {
    EXPECT_EQ(runs[i].at(u"color_type"), models[i].type) << models[i].model;
    if (i == 3) {
      EXPECT_EQ(runs[i].at(u"color_name"), u"Colour A");  // none of its own: the inherited one
    } else {
      EXPECT_EQ(runs[i].at(u"color_name"), u"Colour " + std::u16string(1, static_cast<char16_t>(u'A' + i)));
    }
  }
  EXPECT_EQ(runs.back().at(u"color_type"), u"");
  const std::string failed = "\nERROR in function XAttribs::WriteFaceColor(): color_getreference() failed!\n";
  const std::string log = log_.Text();
  const size_t first = log.find(failed);
  ASSERT_NE(first, std::string::npos);
  EXPECT_NE(log.find(failed, first + failed.size()), std::string::npos);

  colors.clear();  // no colour table: nothing
  EXPECT_EQ(WriteRuns({Text(fonts_, 3)})[0].count(u"color_type"), 0u);
}

// A run's attributes for the appliers.
class MapLookup : public AttrLookup {
 public:
  explicit MapLookup(Attrs values) : values_(std::move(values)) {}
  const char16_t* Lookup(const char16_t* name) override {
    auto found = values_.find(name);
    return found == values_.end() ? nullptr : found->second.c_str();
  }

 private:
  Attrs values_;
};

TEST_F(XAttribsTest, ApplyTextAttributesOnTheSelectedText) {
  XTCharAttrRecord record = Selected();
  ASSERT_EQ(record.faces, 0x0001);
  MapLookup set({{u"bold", u"off"}, {u"italic", u"on"}, {u"underline", u"by_word"}, {u"caps", u"small_caps"},
                 {u"size", u"24"}, {u"kerning", u"15"}, {u"tracking", u"-3"}});
  EXPECT_TRUE(ApplyTextAttributes(set, record));
  EXPECT_EQ(Selected().faces, 0x0002 | 0x1000 | 0x0800);
  EXPECT_EQ(Selected().size, 12 << 16);
  EXPECT_EQ(Selected().kerning, 15);
  EXPECT_EQ(Selected().tracking, -3);

  // Missing or non-numeric kerning and tracking change nothing; an unknown
  // face value makes the result false and leaves the face clear.
  record = Selected();
  MapLookup odd({{u"bold", u"maybe"}, {u"italic", u"on"}, {u"tracking", u"wide"}, {u"size", u"24"}});
  EXPECT_FALSE(ApplyTextAttributes(odd, record));
  EXPECT_EQ(Selected().faces, 0x0002);
  EXPECT_EQ(Selected().kerning, 15);
  EXPECT_EQ(Selected().tracking, -3);
}

TEST_F(XAttribsTest, ApplyColorOnlyForAWholeRgbNumber) {
  auto& colors = host_.content().colors;  // 1 Black, 2 "Brenix Blue" 0x123456
  const size_t before = colors.size();
  const struct {
    Attrs attrs;
    int color;  // expected colour of the selected text afterwards
  } cases[] = {
      {{{u"color_type", u"RGB"}, {u"color_name", u"Brenix Blue"}}, 0},  // a name is no number
      {{{u"color_type", u"RGB"}, {u"color_name", u"16777216"}}, 0},     // above 0xFFFFFF
      {{{u"color_type", u"RGB"}, {u"color_name", u"-5"}}, 0},
      {{{u"color_type", u"RGB"}, {u"color_name", u"12x"}}, 0},
      {{{u"color_type", u"CMK"}, {u"color_name", u"1193046"}}, 0},
      {{{u"color_type", u"RGB"}, {u"color_name", u""}}, 0},
      {{{u"color_name", u"1193046"}}, 0},
      {{{u"color_type", u"RGB"}, {u"color_name", u"1193046"}}, 2},  // 0x123456: the existing colour
  };
  for (const auto& c : cases) {
    MapLookup set(c.attrs);
    ApplyColor(set);
    EXPECT_EQ(Selected().color, c.color) << export_test::Narrow(c.attrs.begin()->second);
  }
  EXPECT_EQ(colors.size(), before);
  MapLookup fresh({{u"color_type", u"RGB"}, {u"color_name", u"255"}});
  ApplyColor(fresh);
  ASSERT_EQ(colors.size(), before + 1);
  EXPECT_EQ(colors.back().name, u"RGB_255");
  EXPECT_EQ(Selected().color, colors.back().id);
}

TEST_F(XAttribsTest, ApplyTypefaceByNameThroughTheCacheAndTheInverseTable) {
  XAttribs applier(XAttribs::kImport);  // fonts of the current document
  ASSERT_NE(applier.fonts->FindByName(u"MS \u660e\u671d"), nullptr);
  const XTCharAttrRecord record = Selected();  // Arial (5)
  MapLookup times(Attrs{{u"typeface", u"Times New Roman"}});
  ApplyTypeface(applier, times, record);
  EXPECT_EQ(Selected().font, 3);
  MapLookup unknown(Attrs{{u"typeface", u"Nowhere Sans"}});
  ApplyTypeface(applier, unknown, Selected());
  EXPECT_EQ(Selected().font, 3);
  MapLookup tooLong(Attrs{{u"typeface", std::u16string(300, u'a')}});
  ApplyTypeface(applier, tooLong, Selected());
  EXPECT_EQ(applier.map.cache.size(), 3u);
  EXPECT_FALSE(applier.map.cache.at(u"Nowhere Sans").valid);

  // A name written in Mac Roman bytes finds the font through the inverse table.
  host_.content().fonts.push_back({11, u"Caf\u00e9"});
  XAttribs again(XAttribs::kImport);
  MapLookup mac(Attrs{{u"typeface", u"Caf\u008e"}});
  ApplyTypeface(again, mac, Selected());
  EXPECT_EQ(Selected().font, 11);
  again.map.Clear();
  EXPECT_TRUE(again.map.cache.empty());
  EXPECT_EQ(again.map.fonts, nullptr);
}

TEST_F(XAttribsTest, ApplyAttributesByKind) {
  XTCharAttrRecord record = Selected();
  MapLookup italic({{u"italic", u"on"}, {u"size", u"36"}});
  XAttribs exported(XAttribs::kExport);
  EXPECT_TRUE(ApplyAttributes(exported, italic, record));
  EXPECT_EQ(Selected().faces, 0x0001);  // kind 1 applies nothing
  XAttribs other(7);
  EXPECT_FALSE(ApplyAttributes(other, italic, record));
  XAttribs applier(XAttribs::kImport);
  EXPECT_TRUE(ApplyAttributes(applier, italic, record));
  EXPECT_EQ(Selected().faces, 0x0002);
}

}  // namespace
