// The current document: its state, its file spec, opening it for a
// request, the QuarkDoc wrapper (current document, saving, its window), and
// the font list.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "framework/failures.h"
#include "plugin/qapi/file_spec.h"
#include "plugin/qapi/quark_doc.h"
#include "support/brenix_interface.h"
#include "support/host_link.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

using json = nlohmann::json;

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines) {
    if (l == line) return true;
  }
  return false;
}

XTFileSpec SpecOf(const std::string& path) {
  XTFileSpec spec{};
  XT().files->make_spec(0, 0, path.c_str(), &spec);
  return spec;
}

class QuarkDocTest : public ::testing::Test {
 protected:
  void SetUp() override { CurrentRequest().Reset(); }
  void TearDown() override { CurrentRequest().Reset(); }
  DocHost host_;
};

TEST_F(QuarkDocTest, StateOfTheCurrentDocument) {
  EXPECT_EQ(GetCurrentDocumentId(), -1);
  EXPECT_FALSE(IsValidDocument());
  EXPECT_EQ(QueryCurrentDocument(), -1);
  EXPECT_EQ(GetDocumentCount(), 0);
  EXPECT_FALSE(CurrentDocumentNeedsSave());

  const int32_t brochure = host_.Open("doc_brochure.json");
  const int32_t tmpl = host_.Open("doc_template.json");  // untitled, from the Mac, changed
  EXPECT_EQ(GetCurrentDocumentId(), tmpl);
  EXPECT_TRUE(IsValidDocument());
  EXPECT_EQ(QueryCurrentDocument(), tmpl);
  EXPECT_EQ(GetDocumentCount(), 2);
  EXPECT_TRUE(IsCurrentDocumentUntitled());
  EXPECT_TRUE(IsCurrentDocumentReadOnly());
  EXPECT_TRUE(CurrentDocumentNeedsSave());
  EXPECT_TRUE(ResetCurrentDocumentState());
  EXPECT_EQ(host_.content().flags, 0u);
  EXPECT_TRUE(CurrentDocumentNeedsSave());  // still untitled
  EXPECT_FALSE(SaveCurrentDocument());      // the save command has no file to save to

  XT().lgi2->set_current_document(static_cast<int16_t>(brochure));
  EXPECT_FALSE(IsCurrentDocumentUntitled());
  EXPECT_FALSE(IsCurrentDocumentReadOnly());
  EXPECT_TRUE(SaveCurrentDocument());  // nothing to save: no host command
  EXPECT_FALSE(Has(host_.Lines(), "save document 1 \"doc_brochure.json\""));
  host_.content().flags = 2;
  EXPECT_TRUE(CurrentDocumentNeedsSave());
  EXPECT_TRUE(SaveCurrentDocument());
  EXPECT_TRUE(Has(host_.Lines(), "save document 1 \"doc_brochure.json\""));
  EXPECT_FALSE(CurrentDocumentNeedsSave());
}

TEST_F(QuarkDocTest, FileSpecOfTheCurrentDocument) {
  host_.Open("doc_brochure.json", "brochure.qxp");
  XTFileSpec spec{};
  ASSERT_EQ(GetCurrentDocumentSpec(spec), 0);
  EXPECT_STREQ(spec.name, "brochure.qxp");
  const XTFileSpec expected = SpecOf(host_.Path("brochure.qxp"));
  EXPECT_EQ(spec.volume, expected.volume);
  EXPECT_EQ(int32_t{spec.folder}, int32_t{expected.folder});
  // Its location as texts: the name and the folder's path.
  std::string name, folder;
  ASSERT_EQ(GetCurrentDocumentLocation(&name, &folder), 0);
  EXPECT_EQ(name, "brochure.qxp");
  EXPECT_EQ(folder + "/brochure.qxp", host_.Path("brochure.qxp"));

  // Untitled: -43 before the host is asked for a location.
  host_.Open("doc_template.json");
  host_.Fail("project_file_spec:*");
  XTFileSpec untouched{};
  untouched.volume = 77;
  EXPECT_EQ(GetCurrentDocumentSpec(untouched), kXTErrNotFound);
  EXPECT_EQ(untouched.volume, 77);
  for (const std::string& line : host_.Lines()) EXPECT_EQ(line.find("fail "), std::string::npos);

  EXPECT_EQ(GetCurrentDocumentLocation(nullptr, &folder), 12);
  EXPECT_EQ(GetCurrentDocumentLocation(&name, nullptr), 12);
}

TEST_F(QuarkDocTest, OpenForTheCurrentRequest) {
  const std::string source = host_.Path("source.qxp");
  std::ofstream(source) << FixtureText("doc_brochure.json");
  XTFileSpec spec = SpecOf(source);

  // The request's source must exist.
  CurrentRequest().source.fullPath = host_.Path("missing.qxp");
  EXPECT_FALSE(CurDocAPI::Open(spec, 0));
  EXPECT_EQ(GetDocumentCount(), 0);

  CurrentRequest().source.fullPath = source;
  {
    LogCapture log;
    EXPECT_TRUE(CurDocAPI::Open(spec, 0));
    EXPECT_EQ(log.Text(), "");
  }
  EXPECT_TRUE(Has(host_.Lines(), "open document 1 \"source.qxp\" flags 31"));

  // Another file than the request names: a warning, opened all the same.
  const std::string other = host_.Path("other.qxp");
  std::ofstream(other) << FixtureText("doc_minimal.json");
  {
    LogCapture log;
    EXPECT_TRUE(CurDocAPI::Open(SpecOf(other), 1));
    EXPECT_EQ(log.Text(),
              ">>>>>>>>> WARNING: CurDocAPI::Open(): theSpec <-> fsp ARE DIFFERENT!!! "
              "<<<<<<<<<\n");
  }
  // The brochure's two layouts hold document ids 1 and 2.
  EXPECT_TRUE(Has(host_.Lines(), "open document 3 \"other.qxp\" flags 63"));

  // A file that is not a document does not open.
  std::ofstream(host_.Path("bad.qxp")) << "{}";
  CurrentRequest().source.fullPath = host_.Path("bad.qxp");
  EXPECT_FALSE(CurDocAPI::Open(SpecOf(host_.Path("bad.qxp")), 0));
  EXPECT_EQ(GetDocumentCount(), 2);
}

TEST_F(QuarkDocTest, WrapperOpensMakesCurrentAndSaves) {
  const std::string source = host_.Path("source.qxp");
  std::ofstream(source) << FixtureText("doc_brochure.json");
  CurrentRequest().source.fullPath = source;
  RefHandle<QuarkDoc> doc = QuarkDoc::Open(SpecOf(source), 0);
  ASSERT_TRUE(doc);
  EXPECT_EQ(doc->RefCount(), 1u);
  EXPECT_EQ(doc->documentId, 1);
  EXPECT_FALSE(doc->ReadOnlyFlag());
  EXPECT_EQ(doc->fonts().size(), 3u);
  EXPECT_FALSE(doc->IsLayoutModified());

  // Opening the same file again leaves the same document current: no wrapper.
  host_.Fail("open_document:*");
  EXPECT_FALSE(QuarkDoc::Open(SpecOf(source), 0));
  host_.Fail("");

  // Another document is current; the wrapper brings its own back.
  host_.Open("doc_template.json");
  EXPECT_EQ(doc->MakeCurrent(), 3);  // after the brochure's two layouts
  EXPECT_EQ(GetCurrentDocumentId(), 1);
  host_.content().layouts[0].modified = true;
  EXPECT_TRUE(doc->IsLayoutModified());
  XTFileSpec spec{};
  EXPECT_EQ(doc->GetFileSpec(spec), 0);
  EXPECT_STREQ(spec.name, "source.qxp");

  host_.content().FindStory(1)->Insert(0, u"New ");
  ASSERT_TRUE(doc->Save());
  EXPECT_NE(ReadFile(source).find("\"New Brenix Brochure"), std::string::npos);
  EXPECT_EQ(host_.content().flags, 0u);
}

TEST_F(QuarkDocTest, SaveGoesToTheRequestsFileOrTheDocumentsOwn) {
  const int32_t id = host_.Open("doc_brochure.json", "own.qxp");
  RefHandle<QuarkDoc> doc = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
  // An import saves at the request's target.
  CurrentRequest().conversionType = 5;
  CurrentRequest().target.fullPath = host_.Path("target.qxp");
  std::ofstream(host_.Path("target.qxp")) << "old";
  ASSERT_TRUE(doc->Save());
  EXPECT_TRUE(Has(host_.Lines(), "save document " + std::to_string(id) + " \"target.qxp\""));
  EXPECT_EQ(json::parse(ReadFile(host_.Path("target.qxp"))),
            json::parse(FixtureText("doc_brochure.json")));

  // A request file that is open as another document (-49): its own file.
  const int32_t other = host_.Open("doc_minimal.json", "busy.qxp");
  CurrentRequest().target.fullPath = host_.Path("busy.qxp");
  host_.Clear();
  ASSERT_TRUE(doc->Save());
  EXPECT_EQ(GetCurrentDocumentId(), id);
  EXPECT_EQ(host_.Lines(), (std::vector<std::string>{"save document " + std::to_string(id) +
                                                     " \"target.qxp\""}));
  (void)other;

  // A request file without a spec: its own file too.
  CurrentRequest().target.fullPath = host_.Path("no/such/folder.qxp");
  ASSERT_TRUE(doc->Save());
}

TEST_F(QuarkDocTest, AFailedSaveIsReported) {
  host_.Open("doc_template.json");  // untitled: no file of its own
  RefHandle<QuarkDoc> doc = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
  CurrentRequest().source.fullPath = host_.Path("no/such/folder.qxp");
  {
    LogCapture log;
    EXPECT_FALSE(doc->Save());
    EXPECT_EQ(log.Text().rfind("ERROR: QuarkDoc::Save():", 0), 0u) << log.Text();
  }
  host_.Open("doc_brochure.json");
  RefHandle<QuarkDoc> titled = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
  CurrentRequest().source.fullPath = host_.Path("doc_brochure.json");
  host_.Fail("save_document:*");
  LogCapture log;
  EXPECT_FALSE(titled->Save());
  EXPECT_NE(log.Text().find("ERROR:"), std::string::npos);
}

TEST_F(QuarkDocTest, SaveIfInteractiveReleasesPendingObjectsFirst) {
  const int32_t id = host_.Open("doc_brochure.json");
  RefHandle<QuarkDoc> doc = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
  CurrentRequest().source.fullPath = host_.Path("doc_brochure.json");
  PendingHostObjects() = {id << 16 | 4, id << 16 | 5};
  host_.Clear();
  ASSERT_TRUE(doc->SaveIfInteractive());
  EXPECT_TRUE(PendingHostObjects().empty());
  const std::vector<std::string> lines = host_.Lines();
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "release object " + std::to_string(id << 16 | 4) + " flags 1");
  EXPECT_EQ(lines[1], "release object " + std::to_string(id << 16 | 5) + " flags 1");
  EXPECT_EQ(lines[2], "save document 1 \"doc_brochure.json\"");

  // In server mode nothing is saved.
  BrenixInterface::Instance()->serverMode = true;
  host_.Clear();
  EXPECT_TRUE(doc->SaveIfInteractive());
  BrenixInterface::Instance()->serverMode = false;
  EXPECT_TRUE(host_.Lines().empty());
}

TEST_F(QuarkDocTest, ReleasingTheWrapperHandsTheWindowBack) {
  host_.Open("doc_brochure.json");
  host_.Open("doc_minimal.json");
  XT().lgi2->set_current_document(1);
  RefHandle<QuarkDoc> doc = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
  RefHandle<QuarkDoc> kept = doc;
  doc->windowFlag = true;
  XT().lgi2->set_current_document(2);
  host_.Clear();
  doc.Reset();
  EXPECT_TRUE(host_.Lines().empty());  // one reference is left
  kept.Reset();
  EXPECT_EQ(host_.Lines(), (std::vector<std::string>{"close document 1 \"doc_brochure.json\" window"}));
  EXPECT_EQ(GetDocumentCount(), 1);

  // Without the flag the document stays.
  RefHandle<QuarkDoc>::Adopt(new QuarkDoc()).Reset();
  EXPECT_EQ(GetDocumentCount(), 1);
}

TEST_F(QuarkDocTest, FontListOfTheDocument) {
  host_.Open("doc_brochure.json");
  xthost::DocumentContent& content = host_.content();
  content.fonts.push_back(xthost::Font{40, std::u16string(400, u'W')});
  content.fonts.push_back(xthost::Font{5, u"Arial Narrow"});  // id 5 again
  content.fonts.push_back(xthost::Font{41, u"Gothic", 1});    // its own script
  // Cut where a pair starts: the half character goes too.
  content.fonts.push_back(xthost::Font{42, std::u16string(253, u'W') + u"\U0001F600\U0001F600"});
  testing::internal::CaptureStderr();
  QFontList fonts;
  const std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_EQ(shown.find("Unexpected error"), std::string::npos) << shown;  // no assertion
  EXPECT_EQ(fonts.size(), 6u);
  const HostFontRecord* times = fonts.FindFont(3);
  ASSERT_NE(times, nullptr);
  EXPECT_EQ(std::u16string(times->name.text), u"Times New Roman");
  EXPECT_EQ(times->name.mMaxLen, 255u);
  EXPECT_EQ(times->codePage, 0xFFFFu);  // script 126 has no Windows code page
  EXPECT_EQ(times->script, 126);
  EXPECT_EQ(fonts.FindFont(41)->script, 1);
  EXPECT_EQ(fonts.FindFont(41)->codePage, 932u);
  // Listed from the last entry to the first: the earlier "Arial" wins.
  EXPECT_EQ(std::u16string(fonts.FindFont(5)->name.text), u"Arial");
  const HostFontRecord* wide = fonts.FindFont(40);
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(WideStringLength(wide->name), 254u);
  EXPECT_EQ(std::u16string(fonts.FindFont(42)->name.text), std::u16string(253, u'W'));
  EXPECT_EQ(fonts.FindByName(u"MS \u660E\u671D")->fontId, 9);
  EXPECT_EQ(fonts.FindByName(u"MS"), nullptr);
  EXPECT_EQ(fonts.FindByName(u"Times New Roman Bold"), nullptr);

  LogCapture log;
  EXPECT_EQ(fonts.FindFont(0x1F), nullptr);
  EXPECT_EQ(log.Text(), "##### fontID 1f  (31) is not found will return something\n");
  EXPECT_EQ(fonts.Find(0x1F), nullptr);

  // Insert replaces; the list owns what it holds.
  auto record = std::make_unique<HostFontRecord>();
  record->fontId = 3;
  Mixer::AppendBoundedWide(record->name, u"Other");
  fonts.Insert(3, std::move(record));
  EXPECT_EQ(std::u16string(fonts.Find(3)->name.text), u"Other");
  EXPECT_EQ(fonts.size(), 6u);

  // A host that cannot tell a font's script lists it under 126.
  host_.Fail("font_script:*");
  EXPECT_EQ(QFontList().FindFont(41)->script, 126);
  host_.Fail("");

  // No current project, or a host that cannot list fonts: an empty list.
  host_.Fail("font_list:*");
  EXPECT_EQ(QFontList().size(), 0u);
  host_.Fail("");
  XT().lgi2->close_window(1);
  EXPECT_EQ(QFontList().size(), 0u);
  EXPECT_EQ(host_.host().docs.blocks.size(), 0u);
}

TEST(BoundedWide, CopiesWithinItsCapacity) {
  BoundedWideText<4> text;
  Mixer::CopyBoundedWide(text, u"abc");
  EXPECT_EQ(std::u16string(text.text), u"abc");
  EXPECT_EQ(WideStringLength(text), 3u);
  // Reaching the capacity is reported (unattended, it never blocks) and
  // the text stays terminated within it.
  testing::internal::CaptureStderr();
  Mixer::AppendBoundedWide(text, u"abcdef");
  const std::string shown = testing::internal::GetCapturedStderr();
  EXPECT_NE(shown.find("theLen < mMaxLen"), std::string::npos) << shown;
  EXPECT_EQ(std::u16string(text.text), u"abc");
  EXPECT_EQ(text.text[4], u'\0');
}

}  // namespace
