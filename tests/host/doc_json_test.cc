// The stand-in host's document files: the hand-made fixtures read, and a
// saved document equals what was opened, item by item; files that are not
// whole documents are refused with a reason.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <nlohmann/json.hpp>
#include <string>

#include "host/doc_json.h"
#include "host/document_ops.h"
#include "host/linked_host_util.h"
#include "platform/win/leftovers.h"
#include "platform/win/replacing_file.h"

namespace xthost {
namespace {

using json = nlohmann::json;

const char* const kFixtures[] = {"doc_brochure.json", "doc_minimal.json", "doc_template.json"};

std::string Fixture(const std::string& name) {
  return ReadFile(std::string(BRENIX_TEST_DATA) + "/" + name);
}

// The differences of two JSON values as a patch, for failure messages.
std::string Diff(const json& a, const json& b) { return json::diff(a, b).dump(); }

TEST(DocJson, FixturesReadAndWriteBackItemByItem) {
  for (const char* name : kFixtures) {
    const std::string text = Fixture(name);
    ASSERT_FALSE(text.empty()) << name;
    DocumentContent content;
    std::string error;
    ASSERT_TRUE(ParseDocument(text, &content, &error)) << name << ": " << error;
    const json original = json::parse(text);
    const json written = json::parse(FormatDocument(content));
    EXPECT_EQ(written, original) << name << ": " << Diff(original, written);
  }
}

TEST(DocJson, ReadsWhatTheFixtureSays) {
  DocumentContent c;
  std::string error;
  ASSERT_TRUE(ParseDocument(Fixture("doc_brochure.json"), &c, &error)) << error;
  ASSERT_EQ(c.layouts.size(), 2u);
  EXPECT_EQ(c.layouts[1].type, kWebLayout);
  EXPECT_TRUE(c.layouts[1].modified);
  ASSERT_EQ(c.fonts.size(), 3u);
  EXPECT_EQ(c.fonts[2].name, u"MS \u660E\u671D");
  EXPECT_EQ(c.colors[1].value, 0x123456u);
  EXPECT_EQ(c.colors[1].model, "QRGB");
  EXPECT_EQ(c.style_sheets[2].kind, kCharacterStyle);
  ASSERT_EQ(c.formats.size(), 3u);
  EXPECT_EQ(c.formats[1].leading, 18 << 16);
  EXPECT_EQ(c.formats[2].first_indent, -18 * 65536);
  EXPECT_EQ(c.formats[2].tab_count, 2);
  EXPECT_EQ(c.formats[2].tabs[1].position, 144 * 65536 + 32768);
  EXPECT_EQ(c.formats[2].tabs[1].fill, '.');
  ASSERT_EQ(c.attributes.size(), 10u);
  EXPECT_EQ(c.attributes[0].size, 12 << 16);  // the default size
  EXPECT_EQ(c.attributes[6].size, 9 * 65536 + 32768);
  EXPECT_EQ(c.attributes[6].shift, 16384);
  EXPECT_EQ(c.attributes[6].tracking, -5);
  EXPECT_EQ(c.attributes[3].flags, kXTCharNonBreaking);
  EXPECT_EQ(c.attributes[5].opcode, kXTOpUniqueIdTag);
  EXPECT_EQ(c.boxes[0].bounds[2], 300 << 16);
  ASSERT_EQ(c.stories.size(), 4u);
  EXPECT_EQ(c.stories[0].text.substr(16, 7), u"Price:\t");
  EXPECT_EQ(c.stories[1].text, u"");
  EXPECT_EQ(c.stories[1].paragraphs.size(), 1u);
  EXPECT_EQ(c.stories[2].runs.size(), 4u);  // zero-length runs as the file has them
  EXPECT_EQ(c.current_box, 1);
  EXPECT_TRUE(c.text_open);
  EXPECT_EQ(c.selection_end, 6);
}

TEST(DocJson, TextThatIsNotUtf16TravelsAsUnits) {
  DocumentContent c;
  c.stories.emplace_back(1);
  Story& story = c.stories.back();
  story.text = std::u16string{u'a', static_cast<char16_t>(0xD800)};  // a lone surrogate
  story.paragraphs = {{0, 2}};
  story.runs = {{0, 2}};
  const std::string text = FormatDocument(c);
  EXPECT_EQ(json::parse(text)["stories"][0]["text"], json::parse("[97, 55296]"));
  DocumentContent back;
  std::string error;
  ASSERT_TRUE(ParseDocument(text, &back, &error)) << error;
  EXPECT_EQ(back.stories[0].text, story.text);
}

// The writer lays a document out as the JSON library's own dump(2) does:
// every fixture, and values the fixtures lack (fractions, escapes, text
// beyond ASCII, units of broken UTF-16, empty lists).
TEST(DocJson, WritesTheLayoutOfTheJsonLibrary) {
  std::vector<DocumentContent> documents;
  for (const char* name : {"doc_brochure.json", "doc_export.json", "doc_import.json", "doc_layouts.json",
                           "doc_minimal.json", "doc_nomasters.json", "doc_pdf.json", "doc_tags.json",
                           "doc_template.json"}) {
    DocumentContent content;
    std::string error;
    ASSERT_TRUE(ParseDocument(Fixture(name), &content, &error)) << name << ": " << error;
    documents.push_back(std::move(content));
  }
  DocumentContent odd = documents.front();
  odd.unit = "m\"m\\\x01\t\x7f";
  odd.fonts.push_back({9, u"Caf\u00E9 \"\u2028\U0001F600", 0});
  odd.colors.push_back({7, u"\r\n", "HSB ", 0xFFFFFFFFu});
  odd.formats[0].left_indent = 1;                 // 1.52587890625e-05
  odd.formats[0].first_indent = -(7 << 16) - 13;  // a negative fraction
  odd.attributes[0].size = 0x7FFFFFFF;
  odd.attributes[0].kerning = -2147483647 - 1;
  odd.boxes[0].polygon = {{1 << 16, 3 << 15}, {-1, 0}};
  odd.boxes[0].data[0xDEADBEEF] = {0x00, 0xFF, 0x7F};
  odd.stories[0].text = std::u16string{u'a', static_cast<char16_t>(0xDC00), u'"'};
  odd.layers.push_back({4, u"", false, true});
  odd.selection_start = 3;
  documents.push_back(odd);
  documents.emplace_back();
  for (const DocumentContent& content : documents) {
    const std::string text = FormatDocument(content);
    EXPECT_EQ(text, nlohmann::ordered_json::parse(text).dump(2) + "\n");
  }
}

TEST(DocJson, RefusesWhatIsNotAWholeDocument) {
  const std::string head = R"({"format": "xthost document", "version": 1)";
  const struct {
    std::string text;
    const char* why;  // part of the reason
  } cases[] = {
      {"", "not JSON"},
      {"[1, 2", "not JSON"},
      {"[]", "not an object"},
      {R"({"format": "other", "version": 1})", "not an xthost document"},
      {R"({"format": "xthost document"})", "no version"},
      {head + R"(, "version": 2})", "version"},
      {head + R"(, "colour": []})", "unknown key \"colour\""},
      {head + R"(, "fonts": [{"id": 70000}]})", "document.fonts[0].id"},
      {head + R"(, "fonts": [{"id": 1, "name": 5}]})", "not a text"},
      {head + R"(, "fonts": [{"id": 1, "name": "a", "script": 70000}]})", "document.fonts[0].script"},
      {head + R"(, "characterAttributes": [{"size": 1e12}]})", "out of range"},
      {head + R"(, "characterAttributes": [{"font": 1.5}]})", "not a whole number"},
      {head + R"(, "stories": [{"text": "a"}]})", "no id"},
      {head + R"(, "stories": [{"id": 1, "text": "ab", "paragraphs": [[0, 2]], "runs": [[0, 1]]}]})",
       "runs cover"},
      {head + R"(, "stories": [{"id": 1, "text": "a\rb", "runs": [[0, 3]]}]})", "paragraph"},
      {head + R"(, "stories": [{"id": 1, "paragraphs": [[1, 0]]}]})", "no format 1"},
      {head + R"(, "boxes": [{"id": 1}]})", "no layout"},
      {head + R"(, "layouts": [{"type": "XPR"}]})", "four characters"},
      {head + R"(, "selection": [1, 2]})", "selection"},
      {head + R"(, "paragraphFormats": [{"tabs": [[1,0,0],[1,0,0],[1,0,0],[1,0,0],[1,0,0],
         [1,0,0],[1,0,0],[1,0,0],[1,0,0],[1,0,0],[1,0,0],[1,0,0],[1,0,0],[1,0,0],[1,0,0],
         [1,0,0],[1,0,0]]}]})",
       "more than 16"},
      {std::string(100, '[') + std::string(100, ']'), "nests deeper"},
  };
  for (const auto& c : cases) {
    DocumentContent content;
    content.fonts.push_back(Font{7, u"kept"});
    std::string error;
    EXPECT_FALSE(ParseDocument(c.text, &content, &error)) << c.text;
    EXPECT_NE(error.find(c.why), std::string::npos) << c.text << " -> " << error;
    ASSERT_EQ(content.fonts.size(), 1u);  // untouched
  }
}

TEST(DocJson, SavingReplacesTheFileWholeOrNotAtAll) {
  TempFolder temp;
  DocumentContent c;
  std::string error;
  ASSERT_TRUE(ParseDocument(Fixture("doc_brochure.json"), &c, &error)) << error;
  ASSERT_EQ(SaveDocumentFile(temp / "a.json", c, &error), kXTOk) << error;
  DocumentContent back;
  ASSERT_EQ(LoadDocumentFile(temp / "a.json", &back, &error), kXTOk) << error;
  EXPECT_EQ(FormatDocument(back), FormatDocument(c));
  EXPECT_FALSE(Exists(temp / "a.json.xthost-save"));
  // A save killed right before its rename leaves a whole document, which
  // the next save in that folder removes once it is old enough.
  ASSERT_EQ(::mkdir((temp / "k").c_str(), 0755), 0);
  const pid_t killed = ::fork();
  if (killed == 0) {
    win::SetCommitCheck([] { ::_exit(0); return true; });
    SaveDocumentFile(temp / "k/a.json", c, &error);
    ::_exit(1);
  }
  ASSERT_EQ(::waitpid(killed, nullptr, 0), killed);
  EXPECT_EQ(testutil::Entries(temp / "k").size(), 1u);
  for (const std::string& name : testutil::Entries(temp / "k")) {
    std::filesystem::last_write_time(temp / ("k/" + name), std::filesystem::file_time_type::clock::now() -
                                                               std::chrono::seconds(win::kLeftoverSeconds + 60));
  }
  ASSERT_EQ(SaveDocumentFile(temp / "k/a.json", c, &error), kXTOk) << error;
  EXPECT_EQ(testutil::Entries(temp / "k"), std::set<std::string>{"a.json"});

  // Nothing is written that the host would not open again; the stored
  // copy goes on one line.  At the limit and one byte past it:
  const std::string text = FormatDocument(c), line = nlohmann::ordered_json::parse(text).dump() + "\n";
  for (const std::size_t past : {0, 1}) {
    SetMaxDocumentFile(text.size() - past);
    EXPECT_EQ(SaveDocumentFile(temp / "a.json", c, &error), past ? kXTErrIo : kXTOk) << past;
    SetMaxDocumentFile(line.size() - past);
    EXPECT_EQ(SaveDocumentCopyFile(temp / "c.json", c, &error), past ? kXTErrIo : kXTOk) << past;
    EXPECT_EQ(TooLargeToOpen(error), past == 1);
  }
  EXPECT_EQ(ReadFile(temp / "c.json"), line);
  EXPECT_EQ(LoadDocumentFile(temp / "a.json", &back, &error), kXTErrNotDocument);
  SetMaxDocumentFile(kMaxDocumentFile);
  EXPECT_EQ(SaveDocumentFile(temp / "none/a.json", c, &error), kXTErrNoFolder);
  // A full disk is told as such by the stored copy's save too.
  EXPECT_EQ(SaveDocumentCopyFile("/dev/full", c, &error), kXTErrDiskFull);
  EXPECT_EQ(LoadDocumentFile(temp / "missing.json", &back, &error), kXTErrNotFound);
  EXPECT_EQ(LoadDocumentFile(temp.path(), &back, &error), kXTErrNotDocument);
  WriteFile(temp / "b.json", "not json");
  EXPECT_EQ(LoadDocumentFile(temp / "b.json", &back, &error), kXTErrNotDocument);
}

// A save used to open the fixed name "<file>.xthost-save" without O_EXCL:
// a link left there made it overwrite another file and put the link in
// the document's place; the new file had the default mode; a read-only
// document was replaced; a document opened through a link lost the link.
TEST(DocJson, SavingNeitherFollowsPlantedLinksNorWidensNorOverrules) {
  TempFolder temp;
  DocumentContent c;
  std::string error;
  ASSERT_TRUE(ParseDocument(Fixture("doc_minimal.json"), &c, &error)) << error;
  const std::string text = FormatDocument(c);
  const std::string old = "{\"old\": 1}";
  struct Case {
    const char* what;
    mode_t mode;
    bool plantLink;   // a link to a victim at the old temporary name
    bool throughLink; // the document is saved through a link to it
    int32_t result;
  };
  const Case cases[] = {
      {"planted link", 0644, true, false, kXTOk},
      {"private document", 0600, false, false, kXTOk},
      {"group document", 0660, false, false, kXTOk},
      {"through a link", 0640, false, true, kXTOk},
      {"read-only", 0444, false, false, kXTErrIo},
      {"read-only through a link", 0400, false, true, kXTErrIo},
  };
  for (const Case& k : cases) {
    SCOPED_TRACE(k.what);
    const std::string doc = temp / (std::string(k.what) + ".json");
    const std::string victim = temp / (std::string(k.what) + ".victim");
    const std::string link = temp / (std::string(k.what) + ".link");
    WriteFile(doc, old);
    WriteFile(victim, "victim");
    ASSERT_EQ(chmod(doc.c_str(), k.mode), 0);
    if (k.plantLink) {
      ASSERT_EQ(symlink(victim.c_str(), (doc + ".xthost-save").c_str()), 0);
    }
    if (k.throughLink) {
      ASSERT_EQ(symlink(doc.c_str(), link.c_str()), 0);
    }

    EXPECT_EQ(SaveDocumentFile(k.throughLink ? link : doc, c, &error), k.result) << error;
    struct stat st;
    ASSERT_EQ(lstat(doc.c_str(), &st), 0);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_mode & 07777, k.mode);
    EXPECT_EQ(ReadFile(doc), k.result == kXTOk ? text : old);
    EXPECT_EQ(ReadFile(victim), "victim");
    if (k.throughLink) {
      ASSERT_EQ(lstat(link.c_str(), &st), 0);
      EXPECT_TRUE(S_ISLNK(st.st_mode));
    }
    if (k.result != kXTOk) {
      EXPECT_EQ(error, "the document is read-only");
    }
  }
  // Nothing but the files made above is left in the folder.
  EXPECT_EQ(testutil::Entries(temp.path()).size(), 2 * 6 + 2 + 1u);
}

// The save guard refuses a file another run put at the document's name
// since it was read or last saved, and only that: a file only touched, or
// written anew with the same bytes, is no other file.  Other bytes of the
// same size are another file, also when written in place with the
// modification time set back.
TEST(DocJson, TheSaveGuardRefusesOnlyAnotherFile) {
  TempFolder temp;
  const std::string doc = temp / "doc.qxp";
  struct Case {
    bool saved;          // the stamp is the last save's, not the read's
    const char* prefix;  // put before the bytes of a file written anew; null: touched only
    int32_t result;
    bool lastByteOther = false;  // the last byte another: the same size
    bool inPlace = false;        // written over in place, its modification time then set back
  } const cases[] = {{false, nullptr, kXTOk}, {false, "", kXTOk},       {true, nullptr, kXTOk},
                     {true, "", kXTOk},       {false, " ", kXTErrIo},  {true, "\n", kXTErrIo},
                     {true, "", kXTErrIo, true}, {true, nullptr, kXTErrIo, true, true}};
  for (const Case& k : cases) {
    WriteFile(doc, Fixture("doc_minimal.json"));
    DocumentContent c;
    FileStamp stamp;
    std::string error;
    ASSERT_EQ(LoadDocumentFile(doc, &c, &error, &stamp), kXTOk) << error;
    if (k.saved) { ASSERT_EQ(SaveDocumentFile(doc, c, &error, &stamp, &stamp), kXTOk) << error; }
    std::string now = (k.prefix ? k.prefix : "") + ReadFile(doc);
    if (k.lastByteOther) now.back() = ' ';
    // The modification time a touch gives, or the stamp's again.
    const timespec later[2] = {{0, UTIME_OMIT}, k.inPlace ? stamp.changed : timespec{stamp.changed.tv_sec + 5, 0}};
    if (k.prefix) WriteFile(temp / "new", now);
    if (k.inPlace) {
      // Again until the file system's clock has moved on from the save's.
      do std::ofstream(doc, std::ios::in | std::ios::out | std::ios::binary) << now;
      while (StampOf(doc).statusChanged.tv_nsec == stamp.statusChanged.tv_nsec);
    }
    ASSERT_EQ(k.prefix ? ::rename((temp / "new").c_str(), doc.c_str()) : ::utimensat(AT_FDCWD, doc.c_str(), later, 0), 0);
    EXPECT_EQ(SaveDocumentFile(doc, c, &error, &stamp), k.result) << k.saved << (k.prefix ? k.prefix : "touched") << error;
    EXPECT_EQ(ReadFile(doc), k.result == kXTOk ? FormatDocument(c) : now);
  }
}

TEST(DocJson, OpenSaveAndReopenThroughTheHost) {
  TempFolder temp;
  LinkedHost linked;
  Host& host = linked.host();
  const std::string copy = temp / "brochure.qxp";
  WriteFile(copy, Fixture("doc_brochure.json"));
  int32_t id = 0;
  std::string error;
  ASSERT_EQ(OpenDocumentFile(host, copy, 31, &id, &error), kXTOk) << error;
  EXPECT_EQ(host.app().current_document, id);
  const std::vector<std::string> stories = DescribeStories(*CurrentContent(host));
  ASSERT_EQ(SaveDocument(host, id, temp / "saved.qxp", &error), kXTOk) << error;
  EXPECT_EQ(host.app().FindDocument(id)->path, temp / "saved.qxp");
  EXPECT_EQ(json::parse(ReadFile(temp / "saved.qxp")),
            json::parse(Fixture("doc_brochure.json")));
  ASSERT_TRUE(CloseDocument(host, id, "closed"));
  int32_t again = 0;
  ASSERT_EQ(OpenDocumentFile(host, temp / "saved.qxp", 31, &again, &error), kXTOk) << error;
  EXPECT_NE(again, id);
  EXPECT_EQ(DescribeStories(*CurrentContent(host)), stories);
  EXPECT_EQ(linked.Lines(), (std::vector<std::string>{
                                "open document 1 \"brochure.qxp\" flags 31",
                                "save document 1 \"saved.qxp\"",
                                "close document 1 \"saved.qxp\" closed",
                                // The brochure's two layouts took ids 1 and 2.
                                "open document 3 \"saved.qxp\" flags 31",
                            }));
}

TEST(DocJson, SaveRulesOfTheHost) {
  TempFolder temp;
  LinkedHost linked;
  Host& host = linked.host();
  WriteFile(temp / "t.qxp", Fixture("doc_template.json"));
  WriteFile(temp / "m.qxp", Fixture("doc_minimal.json"));
  int32_t untitled = 0;
  int32_t other = 0;
  std::string error;
  ASSERT_EQ(OpenDocumentFile(host, temp / "t.qxp", 0, &untitled, &error), kXTOk);
  ASSERT_EQ(OpenDocumentFile(host, temp / "m.qxp", 0, &other, &error), kXTOk);
  // An untitled document has no file of its own; another's file is busy.
  EXPECT_EQ(SaveDocument(host, untitled, "", &error), kXTErrNotFound);
  EXPECT_EQ(SaveDocument(host, untitled, temp / "m.qxp", &error), kXTErrBusy);
  EXPECT_EQ(SaveDocument(host, 99, "", &error), kXTErrParam);
  // A file that cannot be written leaves the document as it was.
  ContentOf(host, untitled)->flags = 3;
  EXPECT_EQ(SaveDocument(host, untitled, temp / "missing/x.qxp", &error), kXTErrNoFolder);
  EXPECT_TRUE(ContentOf(host, untitled)->untitled);
  EXPECT_EQ(ContentOf(host, untitled)->flags, 3u);
  // Saved under a name of its own it is titled, its state flags 0.
  ASSERT_EQ(SaveDocument(host, untitled, temp / "named.qxp", &error), kXTOk) << error;
  EXPECT_FALSE(ContentOf(host, untitled)->untitled);
  EXPECT_EQ(ContentOf(host, untitled)->flags, 0u);
  const json saved = json::parse(ReadFile(temp / "named.qxp"));
  EXPECT_EQ(saved.count("untitled"), 0u);
  EXPECT_EQ(saved.count("flags"), 0u);
  EXPECT_EQ(saved["mac"], true);
  EXPECT_EQ(SaveDocument(host, untitled, "", &error), kXTOk);
}

}  // namespace
}  // namespace xthost
