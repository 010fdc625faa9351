// Helpers of the element-model tests: a plain description of a book (the
// model), a sample book that touches every kind of element, and writers and
// readers of the model through version 2 and version 1 of the element
// classes.  A book read back must equal the book written.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <climits>
#include <cstdint>
#include <map>
#include <memory>
#include <optional>
#include <random>
#include <string>
#include <type_traits>
#include <vector>

#include "framework/ole_storage.h"
#include "kxt/book.h"
#include "kxt/element_model.h"
#include "kxt/kxt_records.h"
#include "kxt/kxt_storage.h"
#include "kxt/v1_book.h"
#include "kxt/v1_elements.h"
#include "tests/common/ole_streams.h"

namespace element_test {

// --- the model ---------------------------------------------------------------

using Attrs = std::map<std::u16string, std::u16string>;

enum class RunKind { kUnicodes, kMultibytes, kWideMultibytes, kSpecialChars, kRefPoints, kPlaceHolders };

inline const char* ItemName(RunKind kind) {
  switch (kind) {
    case RunKind::kUnicodes: return "!1:Unicodes";
    case RunKind::kMultibytes: return "!1:Multibytes";
    case RunKind::kWideMultibytes: return "!1:WideMultibytes";
    case RunKind::kSpecialChars: return "!1:SpecialChars{}";
    case RunKind::kRefPoints: return "!1:RefPoints{}";
    case RunKind::kPlaceHolders: return "!1:PlaceHolders{}";
  }
  return "";
}

// A record of any of the three bundle kinds: the fields in id order (the
// unused third field stays at its initial value).
using Record = std::array<int32_t, 3>;

struct Run {
  RunKind kind = RunKind::kUnicodes;
  std::optional<int32_t> style;
  Attrs attrs;
  std::u16string units;  // Unicodes, WideMultibytes
  std::string bytes;     // Multibytes
  std::vector<Record> records;
  bool operator==(const Run& o) const {
    return kind == o.kind && style == o.style && attrs == o.attrs && units == o.units && bytes == o.bytes &&
           records == o.records;
  }
};

struct Paragraph {
  std::optional<int32_t> style;
  Attrs attrs;
  std::vector<Run> runs;
  bool operator==(const Paragraph& o) const { return style == o.style && attrs == o.attrs && runs == o.runs; }
};

struct Story {
  Attrs attrs;
  Attrs paragraphsSetAttrs;
  std::vector<Paragraph> paragraphs;
  bool operator==(const Story& o) const {
    return attrs == o.attrs && paragraphsSetAttrs == o.paragraphsSetAttrs && paragraphs == o.paragraphs;
  }
};

struct StyleInfo {
  int32_t self = -1;
  std::optional<int32_t> base;
  Attrs attrs;
  bool operator==(const StyleInfo& o) const { return self == o.self && base == o.base && attrs == o.attrs; }
};

struct Document {
  Attrs attrs;
  Attrs stylesSetAttrs;
  Attrs storiesSetAttrs;
  std::vector<StyleInfo> styles;
  std::vector<Story> stories;
  bool operator==(const Document& o) const {
    return attrs == o.attrs && stylesSetAttrs == o.stylesSetAttrs && storiesSetAttrs == o.storiesSetAttrs &&
           styles == o.styles && stories == o.stories;
  }
};

struct Book {
  Attrs attrs;  // as read: the defaults, the release and build numbers and these
  Attrs documentsSetAttrs;
  std::vector<Document> documents;
  bool operator==(const Book& o) const {
    return attrs == o.attrs && documentsSetAttrs == o.documentsSetAttrs && documents == o.documents;
  }
};

// The eighteen default attributes and the release and build numbers, as
// every book reads them unless it stores other values.
inline Attrs BookDefaults() {
  return {{u"source_data_type", u"unknown"}, {u"field_id", u"-1"},  {u"index_id", u"-1"},
          {u"table_id", u"-1"},              {u"row_id", u"-1"},    {u"cell_id", u"-1"},
          {u"cell_width", u"-1"},            {u"listlevel", u"0"},  {u"codepage", u"0xFFFF"},
          {u"direction", u"left-to-right"},  {u"bold", u"off"},     {u"italic", u"off"},
          {u"outline", u"off"},              {u"overline", u"off"}, {u"strike", u"off"},
          {u"shadow", u"off"},               {u"hidden", u"off"},   {u"variable_name", u""},
          {u"release_number", u"1"},         {u"build_number", u"2"}};
}

// --- the sample book -----------------------------------------------------------

// Text of n units; from 5 units on with a NUL, a surrogate pair and U+FFFF.
inline std::u16string Units(size_t n, char16_t salt) {
  std::u16string text;
  for (size_t i = 0; i < n; ++i) text += static_cast<char16_t>(u'a' + (i + salt) % 26);
  if (n >= 5) {
    text[n / 3] = u'\0';
    text[n / 2] = 0xD83D;
    text[n / 2 + 1] = 0xDE00;
    text[n - 1] = 0xFFFF;
  }
  return text;
}

inline std::vector<Record> Records(size_t n, RunKind kind) {
  const int32_t extremes[] = {-1, INT32_MIN, INT32_MAX, 0};
  std::vector<Record> records;
  for (size_t i = 0; i < n; ++i) {
    Record r = {extremes[i % 4], extremes[(i + 1) % 4], extremes[(i + 2) % 4]};
    if (i >= 4) r[0] = static_cast<int32_t>(i * 7919);
    if (kind != RunKind::kRefPoints) r[2] = -1;  // the record has no third field
    records.push_back(r);
  }
  return records;
}

inline Run TextRun(RunKind kind, std::optional<int32_t> style, size_t n, char16_t salt) {
  Run run;
  run.kind = kind;
  run.style = style;
  if (kind == RunKind::kMultibytes) {
    for (size_t i = 0; i < n; ++i) run.bytes += static_cast<char>(0x80 + (i + salt) % 0x80);
  } else {
    run.units = Units(n, salt);
  }
  return run;
}

inline Run BundleRun(RunKind kind, std::optional<int32_t> style, size_t n) {
  Run run;
  run.kind = kind;
  run.style = style;
  run.records = Records(n, kind);
  return run;
}

// A book with two documents, three style infos (no base, a base, a base
// that no style info defines), two stories, paragraphs with and without a
// style, one paragraph with all six run kinds with and without a style
// reference, texts of 0, 2047, 2048 and 2049 units, bundles of 0, 1, 3 and
// 1500 records, and attributes at every level, the kept groups among them.
inline Book SampleBook() {
  Book book;
  book.attrs = BookDefaults();
  book.attrs[u"bold"] = u"on";
  book.attrs[u"book_title"] = u"Sample \u00e9\u4e2d";
  book.documentsSetAttrs = {{u"set_level", u"documents"}};

  for (int d = 0; d < 2; ++d) {
    Document doc;
    doc.attrs = {{u"doc_name", d == 0 ? u"first" : u"second"}, {u"codepage", u"1252"}};
    doc.stylesSetAttrs = {{u"set_level", u"styles"}};
    doc.storiesSetAttrs = {{u"set_level", u"stories"}};
    doc.styles.push_back({10, std::nullopt, {{u"style_name", u"Normal"}}});
    doc.styles.push_back({11, 10, {{u"style_name", u"Heading"}, {u"fore_color_red", u"255"},
                                   {u"fore_color_green", u"16"}, {u"fore_color_blue", u"0"}}});
    doc.styles.push_back({12, 99, {}});
    for (int s = 0; s < 2; ++s) {
      Story story;
      story.attrs = {{u"story_id", s == 0 ? u"0" : u"1"}, {u"sectional_pos", u"1"}, {u"vertical_pos", u"2"},
                     {u"horizontal_pos", u"3"}, {u"width", u"400"}, {u"height", u"0"}, {u"angle", u"0"}};
      story.paragraphsSetAttrs = {{u"set_level", u"paragraphs"}};
      Paragraph plain;  // no style, one empty run
      plain.runs.push_back(TextRun(RunKind::kUnicodes, std::nullopt, 0, 0));
      story.paragraphs.push_back(plain);
      Paragraph styled;
      styled.style = 10 + s;
      styled.attrs = {{u"hyphen_char", u"-"}, {u"hyphen_type", u"auto"}, {u"fore_color_cyan", u"1"},
                      {u"fore_color_magenta", u"2"}, {u"fore_color_yellow", u"3"}, {u"fore_color_black", u"4"}};
      if (d == 0 && s == 0) {
        // Every run kind, with and without a style reference.
        styled.runs.push_back(TextRun(RunKind::kUnicodes, 10, 2047, 1));
        styled.runs.push_back(TextRun(RunKind::kMultibytes, std::nullopt, 300, 2));
        styled.runs.push_back(TextRun(RunKind::kWideMultibytes, 11, 2048, 3));
        styled.runs.push_back(BundleRun(RunKind::kSpecialChars, std::nullopt, 3));
        styled.runs.push_back(BundleRun(RunKind::kRefPoints, 12, 1500));
        styled.runs.push_back(BundleRun(RunKind::kPlaceHolders, -7, 1));
        styled.runs.push_back(TextRun(RunKind::kUnicodes, std::nullopt, 2049, 4));
        styled.runs.push_back(BundleRun(RunKind::kPlaceHolders, std::nullopt, 0));
        styled.runs.back().attrs = {{u"run_attr", u"x\u00ff"}, {u"empty", u""}};
        styled.runs.front().attrs = {{u"bold", u"on"}, {u"fore_color_red", u""}, {u"fore_color_green", u""},
                                     {u"fore_color_blue", u""}};
      } else {
        styled.runs.push_back(TextRun(RunKind::kUnicodes, 11, 5, static_cast<char16_t>(d + s)));
        styled.runs.back().attrs = {{u"italic", u"on"}};
      }
      story.paragraphs.push_back(styled);
      story.paragraphs.push_back(plain);
      doc.stories.push_back(story);
    }
    book.documents.push_back(doc);
  }
  return book;
}

// --- files -------------------------------------------------------------------

// The bytes of the code-file stream of a container file.
inline std::string CodeFileBytes(const std::string& path) {
  OLEStorage root(path.c_str(), kOLERead);
  OLEStorage textAndCode(root, u"SolvaneTextAndCode", kOLERead);
  return testutil::StreamBytes(textAndCode, u"SolvaneCodeFile");
}

// --- shared pieces of the writers and readers ----------------------------------

// Adds the attributes in map order (kept groups settle because every member
// of a group is given).
inline void Fill(KXT_AttrsSet& set, const Attrs& attrs, KXT_StringsMap& map) {
  for (const auto& a : attrs) set.AddAttr(a.first.c_str(), a.second.c_str(), map);
}

class Collect : public KXT_AttrsSet::AttrsReceiver {
 public:
  explicit Collect(Attrs& out) : out_(out) {}
  bool Receive(const char16_t* name, const char16_t* value) override {
    out_.emplace(name, value);
    return true;
  }

 private:
  Attrs& out_;
};

// The set's own definitions (its base chain is not linked by the readers).
inline Attrs Own(const KXT_AttrsSet& set, const KXT_StringsMap& map) {
  Attrs attrs;
  Collect collect(attrs);
  set.EnumAttrs(collect, map, nullptr);
  return attrs;
}

template <class T>
void PutAll(KXT_OutStream& stream, const T* data, size_t n) {
  if (n > 0) dynamic_cast<KXT_Out<T>&>(stream).PutData(data, static_cast<uint32_t>(n));
}

// Every value of a stream of char (Text = std::string) or of unsigned short
// (Text = std::u16string).
template <class Text>
Text GetAll(KXT_InStream& stream) {
  using Unit = std::conditional_t<std::is_same<Text, std::string>::value, char, unsigned short>;
  Text text;
  Unit chunk[1000];
  for (uint32_t n; (n = dynamic_cast<KXT_In<Unit>&>(stream).GetData(chunk, 1000)) > 0;) {
    for (uint32_t i = 0; i < n; ++i) text += static_cast<typename Text::value_type>(chunk[i]);
  }
  return text;
}

inline void PutRecords(KXT_OutBundle& bundle, RunKind kind, const std::vector<Record>& records) {
  KXT_SpecialChar_Rec_Out special;
  KXT_RefPoint_Rec_Out point;
  KXT_PlaceHolder_Rec_Out holder;
  for (const Record& r : records) {
    switch (kind) {
      case RunKind::kSpecialChars:
        special.m_NameRef = r[0];
        special.m_DataRef = r[1];
        bundle.PutRecord(special);
        break;
      case RunKind::kRefPoints:
        point.m_ObjectFolderID = r[0];
        point.m_ObjectTypeRef = r[1];
        point.m_RefTypeRef = r[2];
        bundle.PutRecord(point);
        break;
      default:
        holder.m_ObjectFolderID = r[0];
        holder.m_ObjectTypeRef = r[1];
        bundle.PutRecord(holder);
        break;
    }
  }
}

inline std::vector<Record> GetRecords(KXT_InBundle& bundle, RunKind kind) {
  std::vector<Record> records;
  KXT_SpecialChar_Rec_In special;
  KXT_RefPoint_Rec_In point;
  KXT_PlaceHolder_Rec_In holder;
  for (;;) {
    if (kind == RunKind::kSpecialChars) {
      if (!bundle.GetRecord(special)) break;
      records.push_back({special.m_NameRef, special.m_DataRef, -1});
    } else if (kind == RunKind::kRefPoints) {
      if (!bundle.GetRecord(point)) break;
      records.push_back({point.m_ObjectFolderID, point.m_ObjectTypeRef, point.m_RefTypeRef});
    } else {
      if (!bundle.GetRecord(holder)) break;
      records.push_back({holder.m_ObjectFolderID, holder.m_ObjectTypeRef, -1});
    }
  }
  return records;
}

// --- version 2 ---------------------------------------------------------------

// Writes the book through the version-2 classes.  Every element object is
// kept until the end and then released in an order shuffled by `seed`
// (with the book last among them); streams and bundles likewise.
inline void WriteV2(const Book& model, const std::string& path, bool compress, unsigned seed) {
  OLEStorage root(path.c_str(), kOLECreate);
  KXT_Handle<KXT_OutStorage2> storage(CreateKXT2(root, compress));
  auto book = std::make_unique<KXT_Book_Out2>(storage->CreateKXTFolder2());
  KXT_StringsMap& map = book->StringsMap();
  std::vector<std::unique_ptr<KXT_FolderHandler_Out2>> elements;
  std::vector<KXT_Handle<KXT_OutStream2>> streams;
  std::vector<KXT_Handle<KXT_OutBundle2>> bundles;
  auto keep = [&elements](auto* element) {
    elements.emplace_back(element);
    return element;
  };
  auto attrs = [&map](KXT_ProcessorWithAttrs_Out2& element, const Attrs& a) {
    if (a.empty()) return;
    Fill(element.AttrsSet(), a, map);
    element.SaveAttrsSet("Attrs{}");
  };

  for (const auto& a : model.attrs) {
    const char16_t* old = book->AttrsSet().GetAttrValue(a.first.c_str(), map);
    if (old == nullptr || a.second != old) book->AttrsSet().AddAttr(a.first.c_str(), a.second.c_str(), map);
  }
  book->SaveAttrsSet("Attrs{}");
  auto* docs = keep(new KXT_DocumentsSet_Out2(book->CreateDocumentsSet("DocumentsSet/"), "Document[]/"));
  attrs(*docs, model.documentsSetAttrs);
  for (size_t d = 0; d < model.documents.size(); ++d) {
    const Document& dm = model.documents[d];
    auto* doc = keep(new KXT_Document_Out2(docs->CreateElement(static_cast<int32_t>(d))));
    attrs(*doc, dm.attrs);
    auto* styles = keep(new KXT_StylesSet_Out2(doc->CreateStylesSet("StylesSet/"), "StyleInfo[]/"));
    attrs(*styles, dm.stylesSetAttrs);
    for (size_t i = 0; i < dm.styles.size(); ++i) {
      auto* style = keep(new KXT_StyleInfo_Out2(styles->CreateElement(static_cast<int32_t>(i))));
      style->SaveThisStyleRef(dm.styles[i].self, "ThisStyleRef");
      if (dm.styles[i].base) style->SaveBaseStyleRef(*dm.styles[i].base, "BaseStyleRef");
      attrs(*style, dm.styles[i].attrs);
    }
    auto* stories = keep(new KXT_StoriesSet_Out2(doc->CreateStoriesSet("StoriesSet/"), "Story[]/"));
    attrs(*stories, dm.storiesSetAttrs);
    for (size_t s = 0; s < dm.stories.size(); ++s) {
      const Story& sm = dm.stories[s];
      auto* story = keep(new KXT_Story_Out2(stories->CreateElement(static_cast<int32_t>(s))));
      attrs(*story, sm.attrs);
      auto* paras = keep(new KXT_ParagraphsSet_Out2(story->CreateParagraphsSet("ParagraphsSet/"), "Paragraph[]/"));
      attrs(*paras, sm.paragraphsSetAttrs);
      for (size_t p = 0; p < sm.paragraphs.size(); ++p) {
        const Paragraph& pm = sm.paragraphs[p];
        auto* para = keep(new KXT_Paragraph_Out2(paras->CreateElement(static_cast<int32_t>(p))));
        if (pm.style) para->SaveStyleRef(*pm.style, "StyleRef");
        attrs(*para, pm.attrs);
        for (size_t r = 0; r < pm.runs.size(); ++r) {
          const Run& rm = pm.runs[r];
          KXT_Handle<KXT_OutFolder2> folder = para->CreateTextRun(static_cast<int32_t>(r), "TextRun[]/");
          KXT_TextRun_Out2* run = nullptr;
          const char* item = ItemName(rm.kind);
          switch (rm.kind) {
            case RunKind::kUnicodes: {
              auto* w = keep(new KXT_UnicodesRun_Out2(folder));
              streams.push_back(w->CreateUnicodes(item));
              PutAll(*streams.back(), reinterpret_cast<const unsigned short*>(rm.units.data()), rm.units.size());
              run = w;
              break;
            }
            case RunKind::kWideMultibytes: {
              auto* w = keep(new KXT_WideMultibytesRun_Out2(folder));
              streams.push_back(w->CreateWideMultibytes(item));
              PutAll(*streams.back(), reinterpret_cast<const unsigned short*>(rm.units.data()), rm.units.size());
              run = w;
              break;
            }
            case RunKind::kMultibytes: {
              auto* w = keep(new KXT_MultibytesRun_Out2(folder));
              streams.push_back(w->CreateMultibytes(item));
              PutAll(*streams.back(), rm.bytes.data(), rm.bytes.size());
              run = w;
              break;
            }
            case RunKind::kSpecialChars: {
              auto* w = keep(new KXT_SpecialCharsRun_Out2(folder));
              bundles.push_back(w->CreateSpecialChars(item));
              run = w;
              break;
            }
            case RunKind::kRefPoints: {
              auto* w = keep(new KXT_RefPointsRun_Out2(folder));
              bundles.push_back(w->CreateRefPoints(item));
              run = w;
              break;
            }
            case RunKind::kPlaceHolders: {
              auto* w = keep(new KXT_PlaceHoldersRun_Out2(folder));
              bundles.push_back(w->CreatePlaceHolders(item));
              run = w;
              break;
            }
          }
          if (rm.kind >= RunKind::kSpecialChars) PutRecords(*bundles.back(), rm.kind, rm.records);
          if (rm.style) run->SaveStyleRef(*rm.style, "StyleRef");
          attrs(*run, rm.attrs);
        }
      }
    }
  }
  std::mt19937 random(seed);
  std::shuffle(elements.begin(), elements.end(), random);
  std::shuffle(streams.begin(), streams.end(), random);
  std::shuffle(bundles.begin(), bundles.end(), random);
  // Streams, bundles and elements interleaved; the book after all of them.
  while (!elements.empty() || !streams.empty() || !bundles.empty()) {
    switch (random() % 3) {
      case 0:
        if (!elements.empty()) elements.pop_back();
        break;
      case 1:
        if (!streams.empty()) streams.pop_back();
        break;
      default:
        if (!bundles.empty()) bundles.pop_back();
        break;
    }
  }
  if (seed % 2 == 1) storage.reset();  // the storage object may go first
  book.reset();
}

inline Attrs LoadOwn(KXT_ProcessorWithAttrs_In2& element, const KXT_StringsMap& map) {
  element.LoadAttrsSet("Attrs{}");
  return Own(element.AttrsSet(), map);
}

inline std::optional<int32_t> StyleOf(KXT_ProcessorWithStyle_In2& element) {
  int32_t ref = -1;
  if (!element.LoadStyleRef(ref, "StyleRef")) return std::nullopt;
  return ref;
}

inline Run ReadRunV2(const KXT_Handle<KXT_InFolder2>& folder, const KXT_StringsMap& map) {
  KXT_TextRun_In2 run(folder);
  Run rm;
  rm.style = StyleOf(run);
  rm.attrs = LoadOwn(run, map);
  int found = 0;
  if (auto s = run.OpenUnicodes("!1:Unicodes")) {
    rm.kind = RunKind::kUnicodes;
    rm.units = GetAll<std::u16string>(*s);
    ++found;
  }
  if (auto s = run.OpenMultibytes("!1:Multibytes")) {
    rm.kind = RunKind::kMultibytes;
    rm.bytes = GetAll<std::string>(*s);
    ++found;
  }
  if (auto s = run.OpenWideMultibytes("!1:WideMultibytes")) {
    rm.kind = RunKind::kWideMultibytes;
    rm.units = GetAll<std::u16string>(*s);
    ++found;
  }
  if (auto b = run.OpenSpecialChars("!1:SpecialChars{}")) {
    rm.kind = RunKind::kSpecialChars;
    rm.records = GetRecords(*b, rm.kind);
    ++found;
  }
  if (auto b = run.OpenRefPoints("!1:RefPoints{}")) {
    rm.kind = RunKind::kRefPoints;
    rm.records = GetRecords(*b, rm.kind);
    ++found;
  }
  if (auto b = run.OpenPlaceHolders("!1:PlaceHolders{}")) {
    rm.kind = RunKind::kPlaceHolders;
    rm.records = GetRecords(*b, rm.kind);
    ++found;
  }
  EXPECT_EQ(found, 1) << "a run holds exactly one item";
  return rm;
}

inline Book ReadV2(const std::string& path) {
  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage2> storage(OpenKXT2(root));
  KXT_Book_In2 book(storage->OpenKXTFolder2());
  EXPECT_TRUE(book.Valid());
  EXPECT_TRUE(book.ObjectsPool());
  const KXT_StringsMap& map = book.StringsMap();
  Book model;
  model.attrs = Own(book.AttrsSet(), map);
  KXT_DocumentsSet_In2 docs(book.OpenDocumentsSet("DocumentsSet/"), "Document[]/");
  model.documentsSetAttrs = LoadOwn(docs, map);
  for (int32_t d = 0;; ++d) {
    KXT_Document_In2 doc(docs.OpenElement(d));
    if (!doc.Valid()) break;
    Document dm;
    dm.attrs = LoadOwn(doc, map);
    KXT_StylesSet_In2 styles(doc.OpenStylesSet("StylesSet/"), "StyleInfo[]/");
    dm.stylesSetAttrs = LoadOwn(styles, map);
    for (int32_t i = 0;; ++i) {
      KXT_StyleInfo_In2 style(styles.OpenElement(i));
      if (!style.Valid()) break;
      StyleInfo sm;
      EXPECT_TRUE(style.LoadThisStyleRef(sm.self, "ThisStyleRef"));
      int32_t base = -1;
      if (style.LoadBaseStyleRef(base, "BaseStyleRef")) sm.base = base;
      sm.attrs = LoadOwn(style, map);
      dm.styles.push_back(sm);
    }
    KXT_StoriesSet_In2 stories(doc.OpenStoriesSet("StoriesSet/"), "Story[]/");
    dm.storiesSetAttrs = LoadOwn(stories, map);
    for (int32_t s = 0;; ++s) {
      KXT_Story_In2 story(stories.OpenElement(s));
      if (!story.Valid()) break;
      Story sm;
      sm.attrs = LoadOwn(story, map);
      KXT_ParagraphsSet_In2 paras(story.OpenParagraphsSet("ParagraphsSet/"), "Paragraph[]/");
      sm.paragraphsSetAttrs = LoadOwn(paras, map);
      for (int32_t p = 0;; ++p) {
        KXT_Paragraph_In2 para(paras.OpenElement(p));
        if (!para.Valid()) break;
        Paragraph pm;
        pm.style = StyleOf(para);
        pm.attrs = LoadOwn(para, map);
        for (int32_t r = 0;; ++r) {
          KXT_Handle<KXT_InFolder2> run = para.OpenTextRun(r, "TextRun[]/");
          if (!run) break;
          pm.runs.push_back(ReadRunV2(run, map));
        }
        sm.paragraphs.push_back(pm);
      }
      dm.stories.push_back(sm);
    }
    model.documents.push_back(dm);
  }
  return model;
}

// --- version 1 ---------------------------------------------------------------

namespace v1 {

// Writers: each element class implements Call from the model it is given.
inline void Store(KXT_ProcessorWithAttrs_Out& element, KXT_OutFolder& folder, const Attrs& attrs,
                  KXT_StringsMap& map) {
  if (attrs.empty()) return;
  Fill(element.AttrsSet(), attrs, map);
  element.AttrsSet().Store(folder, "Attrs{}");
}

class StreamWriter : public KXT_OutStreamProcessor {
 public:
  explicit StreamWriter(const Run& run) : run_(run) {}
  void Call(KXT_OutStream& stream) override {
    if (run_.kind == RunKind::kMultibytes) {
      PutAll(stream, run_.bytes.data(), run_.bytes.size());
    } else {
      PutAll(stream, reinterpret_cast<const unsigned short*>(run_.units.data()), run_.units.size());
    }
  }

 private:
  const Run& run_;
};

class BundleWriter : public KXT_OutBundleProcessor {
 public:
  explicit BundleWriter(const Run& run) : run_(run) {}
  void Call(KXT_OutBundle& bundle) override { PutRecords(bundle, run_.kind, run_.records); }

 private:
  const Run& run_;
};

class RunWriter : public KXT_UnicodesRun_Out,
                  public KXT_MultibytesRun_Out,
                  public KXT_WideMultibytesRun_Out,
                  public KXT_SpecialCharsRun_Out,
                  public KXT_RefPointsRun_Out,
                  public KXT_PlaceHoldersRun_Out {
 public:
  RunWriter(const Run& run, KXT_StringsMap& map) : run_(run), map_(map) {}
  void Call(KXT_OutFolder& folder) override {
    StreamWriter text(run_);
    BundleWriter records(run_);
    const char* item = ItemName(run_.kind);
    switch (run_.kind) {
      case RunKind::kUnicodes: ProcessUnicodes(folder, text, item); break;
      case RunKind::kMultibytes: ProcessMultibytes(folder, text, item); break;
      case RunKind::kWideMultibytes: ProcessWideMultibytes(folder, text, item); break;
      case RunKind::kSpecialChars: ProcessSpecialChars(folder, records, item); break;
      case RunKind::kRefPoints: ProcessRefPoints(folder, records, item); break;
      case RunKind::kPlaceHolders: ProcessPlaceHolders(folder, records, item); break;
    }
    if (run_.style) StoreStyleRef(folder, *run_.style, "StyleRef");
    Store(*this, folder, run_.attrs, map_);
  }

 private:
  const Run& run_;
  KXT_StringsMap& map_;
};

class ParagraphWriter : public KXT_Paragraph_Out {
 public:
  ParagraphWriter(const Paragraph& para, KXT_StringsMap& map) : para_(para), map_(map) {}
  void Call(KXT_OutFolder& folder) override {
    if (para_.style) StoreStyleRef(folder, *para_.style, "StyleRef");
    Store(*this, folder, para_.attrs, map_);
    for (size_t r = 0; r < para_.runs.size(); ++r) {
      RunWriter run(para_.runs[r], map_);
      ProcessTextRun(folder, run, static_cast<int32_t>(r), "TextRun[]/");
    }
  }

 private:
  const Paragraph& para_;
  KXT_StringsMap& map_;
};

// A set whose elements are written by Element(index).Call.
template <class Set, class Element, class Item>
class SetWriter : public Set {
 public:
  SetWriter(const std::vector<Item>& items, const Attrs& attrs, KXT_StringsMap& map)
      : items_(items), attrs_(attrs), map_(map) {}
  void Call(KXT_OutFolder& folder) override {
    Store(*this, folder, attrs_, map_);
    for (size_t i = 0; i < items_.size(); ++i) {
      Element element(items_[i], map_);
      this->ProcessElement(folder, element, static_cast<int32_t>(i));
    }
  }

 private:
  const std::vector<Item>& items_;
  const Attrs& attrs_;
  KXT_StringsMap& map_;
};

class StoryWriter : public KXT_Story_Out {
 public:
  StoryWriter(const Story& story, KXT_StringsMap& map) : story_(story), map_(map) {}
  void Call(KXT_OutFolder& folder) override {
    Store(*this, folder, story_.attrs, map_);
    SetWriter<KXT_ParagraphsSet_Out, ParagraphWriter, Paragraph> paras(story_.paragraphs, story_.paragraphsSetAttrs,
                                                                      map_);
    ProcessParagraphsSet(folder, paras, "ParagraphsSet/");
  }

 private:
  const Story& story_;
  KXT_StringsMap& map_;
};

class StyleWriter : public KXT_StyleInfo_Out {
 public:
  StyleWriter(const StyleInfo& style, KXT_StringsMap& map) : style_(style), map_(map) {}
  void Call(KXT_OutFolder& folder) override {
    StoreThisStyleRef(folder, style_.self, "ThisStyleRef");
    if (style_.base) StoreBaseStyleRef(folder, *style_.base, "BaseStyleRef");
    Store(*this, folder, style_.attrs, map_);
  }

 private:
  const StyleInfo& style_;
  KXT_StringsMap& map_;
};

class DocumentWriter : public KXT_Document_Out {
 public:
  DocumentWriter(const Document& doc, KXT_StringsMap& map) : doc_(doc), map_(map) {}
  void Call(KXT_OutFolder& folder) override {
    Store(*this, folder, doc_.attrs, map_);
    SetWriter<KXT_StylesSet_Out, StyleWriter, StyleInfo> styles(doc_.styles, doc_.stylesSetAttrs, map_);
    ProcessStylesSet(folder, styles, "StylesSet/");
    SetWriter<KXT_StoriesSet_Out, StoryWriter, Story> stories(doc_.stories, doc_.storiesSetAttrs, map_);
    ProcessStoriesSet(folder, stories, "StoriesSet/");
  }

 private:
  const Document& doc_;
  KXT_StringsMap& map_;
};

class BookWriter : public KXT_Book_Out {
 public:
  explicit BookWriter(const Book& book) : book_(book) {}
  bool poolSeen = false;
  void Call(KXT_OutFolder& folder) override {
    poolSeen = ObjectsPool() != nullptr;
    KXT_StringsMap& map = StringsMap();
    for (const auto& a : book_.attrs) {
      const char16_t* old = AttrsSet().GetAttrValue(a.first.c_str(), map);
      if (old == nullptr || a.second != old) AttrsSet().AddAttr(a.first.c_str(), a.second.c_str(), map);
    }
    AttrsSet().Store(folder, "Attrs{}");
    SetWriter<KXT_DocumentsSet_Out, DocumentWriter, Document> docs(book_.documents, book_.documentsSetAttrs, map);
    ProcessDocumentsSet(folder, docs, "DocumentsSet/");
  }

 private:
  const Book& book_;
};

inline void Write(const Book& model, const std::string& path, bool compress) {
  OLEStorage root(path.c_str(), kOLECreate);
  KXT_Handle<KXT_OutStorage> storage(CreateKXT(root, compress));
  BookWriter book(model);
  storage->CreateKXTFolder(book);
  EXPECT_TRUE(book.poolSeen);
  EXPECT_EQ(book.ObjectsPool(), nullptr);
}

// Readers.
inline Attrs Restore(KXT_ProcessorWithAttrs_In& element, KXT_InFolder& folder, const KXT_StringsMap& map) {
  element.AttrsSet().Restore(folder, "Attrs{}");
  return Own(element.AttrsSet(), map);
}

template <class Text>
class StreamReader : public KXT_InStreamProcessor {
 public:
  explicit StreamReader(Text& out) : out_(out) {}
  void Call(KXT_InStream& stream) override { out_ = GetAll<Text>(stream); }

 private:
  Text& out_;
};

class BundleReader : public KXT_InBundleProcessor {
 public:
  BundleReader(RunKind kind, std::vector<Record>& out) : kind_(kind), out_(out) {}
  void Call(KXT_InBundle& bundle) override { out_ = GetRecords(bundle, kind_); }

 private:
  RunKind kind_;
  std::vector<Record>& out_;
};

class RunReader : public KXT_TextRun_In {
 public:
  RunReader(Run& run, const KXT_StringsMap& map) : run_(run), map_(map) {}
  void Call(KXT_InFolder& folder) override {
    int32_t style = -1;
    if (RestoreStyleRef(folder, style, "StyleRef")) run_.style = style;
    run_.attrs = Restore(*this, folder, map_);
    int found = 0;
    std::u16string units;
    std::string bytes;
    StreamReader<std::u16string> unitsReader(units);
    StreamReader<std::string> bytesReader(bytes);
    if (ProcessUnicodes(folder, unitsReader, "!1:Unicodes")) Found(found, RunKind::kUnicodes).units = units;
    if (ProcessMultibytes(folder, bytesReader, "!1:Multibytes")) Found(found, RunKind::kMultibytes).bytes = bytes;
    if (ProcessWideMultibytes(folder, unitsReader, "!1:WideMultibytes")) {
      Found(found, RunKind::kWideMultibytes).units = units;
    }
    for (RunKind kind : {RunKind::kSpecialChars, RunKind::kRefPoints, RunKind::kPlaceHolders}) {
      std::vector<Record> records;
      BundleReader reader(kind, records);
      const char* item = ItemName(kind);
      const bool ok = kind == RunKind::kSpecialChars ? ProcessSpecialChars(folder, reader, item)
                      : kind == RunKind::kRefPoints  ? ProcessRefPoints(folder, reader, item)
                                                     : ProcessPlaceHolders(folder, reader, item);
      if (ok) Found(found, kind).records = records;
    }
    EXPECT_EQ(found, 1) << "a run holds exactly one item";
  }

 private:
  Run& Found(int& found, RunKind kind) {
    ++found;
    run_.kind = kind;
    return run_;
  }
  Run& run_;
  const KXT_StringsMap& map_;
};

class ParagraphReader : public KXT_Paragraph_In {
 public:
  ParagraphReader(Paragraph& para, const KXT_StringsMap& map) : para_(para), map_(map) {}
  void Call(KXT_InFolder& folder) override {
    int32_t style = -1;
    if (RestoreStyleRef(folder, style, "StyleRef")) para_.style = style;
    para_.attrs = Restore(*this, folder, map_);
    for (int32_t r = 0;; ++r) {
      Run run;
      RunReader reader(run, map_);
      if (!ProcessTextRun(folder, reader, r, "TextRun[]/")) break;
      para_.runs.push_back(run);
    }
  }

 private:
  Paragraph& para_;
  const KXT_StringsMap& map_;
};

// A set whose elements are read by Element(item).Call until one is missing.
template <class Set, class Element, class Item>
class SetReader : public Set {
 public:
  SetReader(std::vector<Item>& items, Attrs& attrs, const KXT_StringsMap& map)
      : items_(items), attrs_(attrs), map_(map) {}
  void Call(KXT_InFolder& folder) override {
    attrs_ = Restore(*this, folder, map_);
    for (int32_t i = 0;; ++i) {
      Item item;
      Element element(item, map_);
      if (!this->ProcessElement(folder, element, i)) break;
      items_.push_back(item);
    }
  }

 private:
  std::vector<Item>& items_;
  Attrs& attrs_;
  const KXT_StringsMap& map_;
};

class StoryReader : public KXT_Story_In {
 public:
  StoryReader(Story& story, const KXT_StringsMap& map) : story_(story), map_(map) {}
  void Call(KXT_InFolder& folder) override {
    story_.attrs = Restore(*this, folder, map_);
    SetReader<KXT_ParagraphsSet_In, ParagraphReader, Paragraph> paras(story_.paragraphs, story_.paragraphsSetAttrs,
                                                                     map_);
    EXPECT_TRUE(ProcessParagraphsSet(folder, paras, "ParagraphsSet/"));
  }

 private:
  Story& story_;
  const KXT_StringsMap& map_;
};

class StyleReader : public KXT_StyleInfo_In {
 public:
  StyleReader(StyleInfo& style, const KXT_StringsMap& map) : style_(style), map_(map) {}
  void Call(KXT_InFolder& folder) override {
    EXPECT_TRUE(RestoreThisStyleRef(folder, style_.self, "ThisStyleRef"));
    int32_t base = -1;
    if (RestoreBaseStyleRef(folder, base, "BaseStyleRef")) style_.base = base;
    style_.attrs = Restore(*this, folder, map_);
  }

 private:
  StyleInfo& style_;
  const KXT_StringsMap& map_;
};

class DocumentReader : public KXT_Document_In {
 public:
  DocumentReader(Document& doc, const KXT_StringsMap& map) : doc_(doc), map_(map) {}
  void Call(KXT_InFolder& folder) override {
    doc_.attrs = Restore(*this, folder, map_);
    SetReader<KXT_StylesSet_In, StyleReader, StyleInfo> styles(doc_.styles, doc_.stylesSetAttrs, map_);
    EXPECT_TRUE(ProcessStylesSet(folder, styles, "StylesSet/"));
    SetReader<KXT_StoriesSet_In, StoryReader, Story> stories(doc_.stories, doc_.storiesSetAttrs, map_);
    EXPECT_TRUE(ProcessStoriesSet(folder, stories, "StoriesSet/"));
  }

 private:
  Document& doc_;
  const KXT_StringsMap& map_;
};

class BookReader : public KXT_Book_In {
 public:
  explicit BookReader(Book& book) : book_(book) {}
  int calls = 0;
  bool poolSeen = false;
  void Call(KXT_InFolder& folder) override {
    ++calls;
    poolSeen = ObjectsPool() != nullptr;
    const KXT_StringsMap& map = StringsMap();
    book_.attrs = Own(AttrsSet(), map);
    SetReader<KXT_DocumentsSet_In, DocumentReader, Document> docs(book_.documents, book_.documentsSetAttrs, map);
    // The folder given is ignored: the documents come from "Book/".
    EXPECT_TRUE(ProcessDocumentsSet(folder, docs, "DocumentsSet/"));
  }

 private:
  Book& book_;
};

inline Book Read(const std::string& path) {
  Book model;
  OLEStorage root(path.c_str(), kOLERead);
  KXT_Handle<KXT_InStorage> storage(OpenKXT(root));
  BookReader book(model);
  EXPECT_TRUE(storage->OpenKXTFolder(book));
  EXPECT_EQ(book.calls, 1);
  EXPECT_TRUE(book.poolSeen);
  EXPECT_EQ(book.ObjectsPool(), nullptr);
  return model;
}

}  // namespace v1

}  // namespace element_test
