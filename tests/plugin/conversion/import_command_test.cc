// The import command end to end: containers exported in process from the
// fixtures, then imported by the built xthost with the built plug-in, one
// run per scenario; the imported document is read back by a second run.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <filesystem>
#include <map>
#include <set>
#include <string>
#include <vector>

#include <zlib.h>

#include "framework/ole_storage.h"
#include "framework/ole_stream.h"
#include "plugin/conversion/import_command.h"
#include "tests/common/export_document.h"
#include "tests/common/files.h"
#include "tests/plugin/brenix/ui_run_util.h"
#include "tests/plugin/conversion/export_harness.h"
#include "tests/plugin/mixer/mixer_host_util.h"
#include "tools/kxtpseudo/kxt_pseudo.h"

namespace {

namespace fs = std::filesystem;
using ui_run::HostRun;
using ui_run::Installation;
using ui_run::Between;
using ui_run::Only;
using ui_run::RunHost;

constexpr int32_t kPt = 0x10000;

// Exports fixture `fixture` of tests/data into the container `kxq`.
void ExportFixture(const std::string& fixture, const std::string& kxq) {
  MixerHost host;
  static XTRegisterRec record = xthost::MakeRegisterRec();
  XT().registration = &record;
  LogCapture log;
  host.Open(fixture, "source.qxp");
  ASSERT_TRUE(export_test::ExportCurrentProject(kxq).stored);
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines) {
    if (l == line) return true;
  }
  return false;
}

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

// Python lines indented by two blanks.
std::string Indented(const std::string& lines) {
  std::string out;
  size_t from = 0;
  for (size_t end = lines.find('\n'); end != std::string::npos; from = end + 1, end = lines.find('\n', from)) {
    out += "  " + lines.substr(from, end + 1 - from);
  }
  return out;
}

// The paragraphs of a document's stories as `stories` writes them, without
// their table indices.
std::vector<std::string> Paragraphs(const Installation& install, const std::string& path) {
  const HostRun run = RunHost(install, {"start", "open", path, "stories"});
  std::vector<std::string> out;
  for (const std::string& line : run.transcript) {
    if (line.rfind("story ", 0) == 0) out.push_back(line.substr(0, line.find(" length")));
    if (line.rfind("  paragraph ", 0) == 0) out.push_back(line.substr(line.find(" style ")));
  }
  return out;
}

// The font of each run of a document whose text is one of the keys of
// `texts` (quoted as the transcript quotes it), as "font N" gives it.
std::map<std::string, std::string> RunFonts(const Installation& install, const std::string& path,
                                            const std::map<std::string, std::string>& texts) {
  const HostRun run = RunHost(install, {"start", "open", path, "stories"});
  std::map<std::string, std::string> fonts;
  for (const std::string& line : run.transcript) {
    const size_t quote = line.find('"');
    const size_t font = line.find(" font ");
    if (line.rfind("  run ", 0) != 0 || quote == std::string::npos || font == std::string::npos) continue;
    const std::string text = line.substr(quote);
    if (texts.count(text) != 0) fonts[text] = line.substr(font + 6, line.find(' ', font + 6) - font - 6);
  }
  return fonts;
}

// The last bounds the transcript gives each box, in points (left, top,
// right, bottom).
std::map<int, std::vector<int64_t>> FinalBounds(const HostRun& run) {
  std::map<int, std::vector<int64_t>> bounds;
  for (const std::string& line : Only(run, {"box "})) {
    int id = 0;
    long long l = 0, t = 0, r = 0, b = 0;
    if (std::sscanf(line.c_str(), "box %d bounds %lld %lld %lld %lld", &id, &l, &t, &r, &b) == 5)
      bounds[id] = {l / kPt, t / kPt, r / kPt, b / kPt};
  }
  return bounds;
}

class ImportRun : public ::testing::Test {
 protected:
  // Exports `fixture` into the installation as "source.kxq" and keeps a copy
  // of the fixture as a document.
  void Export(const std::string& fixture) {
    ExportFixture(fixture, kxq);
    fixturePath = (install.root() / "fixture.qxp").string();
    fs::copy_file(fs::path(BRENIX_TEST_DATA) / fixture, fixturePath);
  }
  HostRun Import(const std::vector<std::string>& env = {}, const std::string& source = "") {
    return RunHost(install,
                   {"--answer", source.empty() ? kxq : source, "--answer", target, "start",
                    "menu", "Import Solvane file"},
                   env);
  }
  // The result dialog the run showed ("" when none).
  static std::string Result(const HostRun& run) {
    for (const std::string& line : run.transcript) {
      if (line.rfind("dialog ", 0) == 0 && Contains(line, " text \"Import ")) {
        return line.substr(line.find('"'));
      }
    }
    return "";
  }
  // A copy of the container, "damaged.kxq", whose code file the Python
  // lines `damage` change (given `data` and `entries`, the damage tool's
  // reading of its directory; `helpers` defines what else they call).
  std::string Damaged(const std::string& damage, const std::string& helpers = "") {
    const std::string damaged = (install.root() / "damaged.kxq").string();
    const std::string script = (install.root() / "damage.py").string();
    testutil::WriteFile(script, std::string("import sys,struct\nsys.path.insert(0,'") + BRENIX_TOOLS +
                                    "')\nfrom import_damage import *\n" + helpers +
                                    "def change(data):\n"
                                    "  entries=code_file_entries(bytes(data))\n" +
                                    Indented(damage) +
                                    "open(sys.argv[2],'wb').write(rewrite(open(sys.argv[1],'rb').read(),"
                                    "CODE_FILE,change))\n");
    EXPECT_EQ(std::system((std::string(BRENIX_PYTHON) + " " + script + " " + kxq + " " + damaged).c_str()), 0);
    return damaged;
  }
  // The name document 1 had when its window closed ("" when it did not).
  static std::string ClosedAs(const HostRun& run) {
    const std::string head = "close document 1 \"", tail = "\" window";
    for (const std::string& line : run.transcript) {
      if (line.rfind(head, 0) == 0 && line.size() > head.size() + tail.size() &&
          line.compare(line.size() - tail.size(), tail.size(), tail) == 0) {
        return line.substr(head.size(), line.size() - head.size() - tail.size());
      }
    }
    return "";
  }
  static bool SettingsRestored(const HostRun& run) {
    const std::vector<std::string> prefs = Only(run, {"preference \"auto save\""});
    return prefs.size() == 2 && prefs.back() == "preference \"auto save\" on";
  }

  Installation install{"[QUARK]\nSetUniqueID=True\n"};
  std::string kxq = (install.root() / "source.kxq").string();
  std::string target = (install.root() / "result.qxp").string();
  std::string fixturePath;
};

TEST_F(ImportRun, UntranslatedContainerGivesTheFixtureBack) {
  // A fixture without the characters the container does not carry comes
  // back exactly, from the container and from its identity copy.
  Export("doc_import.json");
  const std::string copy = (install.root() / "identity.kxq").string();
  kxtpseudo::PseudoTranslate(kxq, copy, true);
  const std::vector<std::string> expected = Paragraphs(install, fixturePath);
  ASSERT_EQ(expected.size(), 11u);
  for (const std::string& source : {kxq, copy}) {
    SCOPED_TRACE(source);
    fs::remove(target);
    const HostRun run = Import({}, source);
    EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
    EXPECT_EQ(Result(run), "\"Import done\"");
    EXPECT_EQ(Paragraphs(install, target), expected);
    // Working boxes gone, the saved document closed, the settings back.
    EXPECT_TRUE(ClosedAs(run).rfind(".~", 0) == 0);
    EXPECT_TRUE(SettingsRestored(run));
    EXPECT_TRUE(Contains(run.log, std::string(80, '*') + "\n2024-03-07 09:05:01\nStarting import ...\n"));
    EXPECT_TRUE(Contains(run.log, "... finished.\n2024-03-07 09:05:01\n" + std::string(80, '*')));
    EXPECT_EQ(run.transcript.back(), ui_run::kNoHandles);
  }
}

TEST_F(ImportRun, TranslatedTextGrowsItsBoxesWhenResizingIsOn) {
  Export("doc_import.json");
  const std::string translated = (install.root() / "translated.kxq").string();
  kxtpseudo::PseudoTranslate(kxq, translated, false);
  const std::map<int, std::vector<int64_t>> original = {
      {1, {36, 36, 186, 76}},  {2, {36, 200, 136, 220}},  {3, {36, 300, 136, 320}},
      {4, {36, 400, 106, 420}}, {5, {300, 36, 400, 56}}, {6, {300, 100, 400, 120}}};
  for (const bool resize : {false, true}) {
    SCOPED_TRACE(resize ? "resize on" : "resize off");
    install.WriteSettings(std::string("[QUARK]\nSetUniqueID=True\nAutomaticResizeOfFrames=") +
                          (resize ? "True" : "False") + "\n");
    fs::remove(target);
    const HostRun run = Import({}, translated);
    EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
    EXPECT_EQ(Result(run), "\"Import done\"");
    const std::vector<std::string> paragraphs = Paragraphs(install, target);
    EXPECT_TRUE(Has(paragraphs, " style 1 \"Oneé中 lineé中 onlyé中\""));
    // The locked story is locked again.
    const std::vector<std::string> locks = Only(run, {"lock story 3", "unlock story 3"});
    ASSERT_FALSE(locks.empty());
    EXPECT_EQ(locks.back(), "lock story 3");

    std::map<int, std::vector<int64_t>> bounds = original;
    for (const auto& [id, b] : FinalBounds(run)) bounds[id] = b;
    const HostRun lines = RunHost(install, {"start", "open", target, "lines", "1", "lines", "2",
                                            "lines", "3", "lines", "6"});
    if (!resize) {
      EXPECT_EQ(bounds, original);
      continue;
    }
    // One paragraph: right only; two: right and bottom; the chain's last
    // box; the locked story's box; a box without inset, whose paragraph
    // has no style sheet, to the right until its 96 pt line fits.
    EXPECT_EQ(bounds[2], (std::vector<int64_t>{36, 200, 172, 220}));
    EXPECT_EQ(bounds[1], (std::vector<int64_t>{36, 36, 204, 94}));
    EXPECT_GT(bounds[3][2], 136);
    EXPECT_EQ(bounds[4], (std::vector<int64_t>{36, 400, 142, 420}));
    EXPECT_TRUE(Has(paragraphs, " style 0 \"Zeroé中 inseté中\""));
    EXPECT_EQ(bounds[5], original.at(5));
    EXPECT_GT(bounds[6][2], 400);
    for (const std::string& line : lines.transcript) EXPECT_FALSE(Contains(line, " overflow")) << line;
  }
}

TEST_F(ImportRun, ABoxThatMayNotGrowStaysOversetAndTheTranslationReplacesTheEarlierFile) {
  // Box 2 ("One line only") of doc_import.json, changed per row, overflows
  // with its translation; resizing is on and the user's earlier file is at
  // the target.
  struct Case {
    const char* name;
    const char* box;     // what stands in box 2's place in the boxes
    const char* layers;  // the document's layers ("" none)
    bool grows;
    const char* logged;  // a part of the log ("" none)
    const char* options = "";  // settings beside resizing
  };
  const char* const plain = R"({"id": 2, "story": 2, "bounds": [36, 200, 136, 220]})";
  const char* const always = "[Options]\ntempBoxMaximizeMode=2\n";  // every box enlarged for the import
  const Case cases[] = {
      {"a locked box", R"({"id": 2, "story": 2, "bounds": [36, 200, 136, 220], "locked": true})", "", false,
       "WARNING: the text box of story 2 on page 1 cannot grow (it is locked): its text stays overset\n"},
      {"a locked group's locked member",
       R"({"id": 7, "kind": "group", "bounds": [36, 200, 136, 220], "locked": true},
          {"id": 2, "story": 2, "group": 7, "bounds": [36, 200, 136, 220], "locked": true})",
       "", false, "WARNING: the text box of story 2 on page 1 cannot grow (it is locked)"},
      {"a locked group's member, not locked itself",
       R"({"id": 7, "kind": "group", "bounds": [36, 200, 136, 220], "locked": true},
          {"id": 2, "story": 2, "group": 7, "bounds": [36, 200, 136, 220]})",
       "", false, "WARNING: the text box of story 2 on page 1 cannot grow (its group is locked)"},
      {"a box that keeps its size", R"({"id": 2, "story": 2, "bounds": [36, 200, 136, 220], "keepSize": true})", "",
       false, ""},
      {"a box on a locked layer", R"({"id": 2, "story": 2, "bounds": [36, 200, 136, 220], "layer": 1})",
       R"("layers": [{"id": 1, "name": "Text", "locked": true}],)", true, ""},
      // The host refuses the record of a box without a size or a usable polygon.
      {"a box without height", R"({"id": 2, "story": 2, "bounds": [36, 200, 136, 200]})", "", false,
       "WARNING: the text box of story 2 on page 1 cannot grow (it has no size): its text stays overset\n", always},
      {"a box right of its right edge", R"({"id": 2, "story": 2, "bounds": [136, 200, 36, 220]})", "", false,
       "WARNING: the text box of story 2 on page 1 is not enlarged for the import (it has no size)\n", always},
      {"a rectangle with one point", R"({"id": 2, "story": 2, "bounds": [36, 200, 136, 220], "polygon": [[10, 10]]})",
       "", false, "WARNING: the text box of story 2 on page 1 cannot grow (its polygon has fewer than three points)"},
      {"2 points", R"({"id": 2, "story": 2, "shape": 10, "bounds": [36, 200, 136, 220], "polygon": [[0, 0], [9, 9]]})",
       "", false, "is not enlarged for the import (its polygon has fewer than three points)", always},
  };
  const std::string fixture = testutil::ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_import.json");
  const std::string document = (install.root() / "document.qxp").string();
  const std::string translated = (install.root() / "translated.kxq").string();
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    install.WriteSettings(std::string("[QUARK]\nSetUniqueID=True\nAutomaticResizeOfFrames=True\n") + c.options);
    std::string text = fixture;
    text.replace(text.find(plain), std::string(plain).size(), c.box);
    text.replace(text.find("\"boxes\""), 0, c.layers);
    testutil::WriteFile(document, text);
    fs::remove(kxq);
    const HostRun exported = RunHost(install, {"--answer", kxq, "start", "open", document, "menu",
                                               "Export current document"});
    ASSERT_TRUE(fs::exists(kxq)) << exported.log;
    kxtpseudo::PseudoTranslate(kxq, translated, false);
    testutil::WriteFile(target, "the user's file");
    const HostRun run = Import({}, translated);
    EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
    EXPECT_EQ(Result(run), "\"Import done\"") << run.log;
    EXPECT_FALSE(Contains(run.log, "ERROR")) << run.log;
    EXPECT_TRUE(Contains(run.log, c.logged)) << run.log;
    EXPECT_TRUE(Has(Paragraphs(install, target), " style 1 \"Oneé中 lineé中 onlyé中\""));
    const std::map<int, std::vector<int64_t>> bounds = FinalBounds(run);
    EXPECT_EQ(bounds.count(2) != 0, c.grows);
  }
}

TEST_F(ImportRun, EachFailureEndsWithItsMessageAndNoHalfWrittenTarget) {
  Export("doc_import.json");
  const std::string plain = (install.root() / "plain.kxq").string();
  testutil::WriteFile(plain, "not a container\n");
  const std::string corrupt = (install.root() / "corrupt.kxq").string();
  fs::copy_file(kxq, corrupt);
  const std::string script =
      "import olefile,sys\n"
      "o=olefile.OleFileIO(sys.argv[1],write_mode=True)\n"
      "n=['SolvanePluginPrivateData','BrenixExportTemplates','0']\n"
      "o.write_stream(n,bytes(o.get_size(n)))\n"
      "o.close()\n";
  ASSERT_EQ(std::system((std::string(BRENIX_PYTHON) + " -c \"" + script + "\" " + corrupt).c_str()), 0);

  struct Case {
    const char* name;
    std::string source;  // "cancel" cancels the open dialog
    std::string fail;
    std::string log;     // a line the program log must hold
    bool targetLeft;
    // The name of document 1 when it closed ("" not opened): a stopped
    // import's document never had the target's name.
    const char* closedAs;
  };
  const Case cases[] = {
      {"cancelled", "cancel", "", "", false, ""},
      {"no container", plain, "",
       "OpenKXT FAILED\nERROR:    \"" + plain + "\" does not open as a container: not a compound file", false, ""},
      {"corrupt stored document", corrupt, "", "ERROR on loading QXP: Filter failure 44006\n", false, ""},
      {"target not created", kxq, "create_file:1", "<1011>:\t" + target + "\n", false, ""},
      {"target not written", kxq, "write_file:1", "<1012>:\t" + target + "\n", false, ""},
      // A stopped import closes its document and leaves no target.
      {"document not saved", kxq, "save_document:1", "ERROR:    Import failed", false, ".~"},
      // A document that may have lost part of its stories is saved nowhere.
      {"first text call failing", kxq, "insert_text:1",
       "ERROR:    a host call failed while the stories were imported", false, ".~"},
      {"text call failing", kxq, "insert_text:2", "ERROR: host call insert_text failed", false, ".~"},
      // Every other failed host call of the import fails it the same way.
      {"first deletion failing", kxq, "delete_text:1", "ERROR: QStory::Apply(): the host did not delete", false, ".~"},
      {"deletion failing", kxq, "delete_text:2", "ERROR: QStory::Apply(): the host did not delete", false, ".~"},
      {"story lock not read", kxq, "story_option:1", "ERROR: host call story_option failed", false, ".~"},
      {"story not unlocked", kxq, "set_story_option:1", "ERROR: host call set_story_option failed", false, ".~"},
      {"story not locked again", kxq, "set_story_option:2", "ERROR: host call set_story_option failed", false, ".~"},
      {"view failing", kxq, "show_view:1", "ERROR:    a host call failed while the stories were imported", false, ".~"},
      {"box not found", kxq, "find_item_data:1", "ERROR: host call find_item_data failed", false, ".~"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::remove(target);
    const HostRun run =
        Import(c.fail.empty() ? std::vector<std::string>{} : std::vector<std::string>{"XTHOST_FAIL=" + c.fail},
               c.source);
    EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
    EXPECT_EQ(Result(run), "\"Import failed\"");
    EXPECT_EQ(fs::exists(target), c.targetLeft);
    if (!c.log.empty()) {
      EXPECT_TRUE(Contains(run.log, c.log)) << run.log;
    }
    // A document that was opened is closed again, saved or not.
    const std::string closed = ClosedAs(run);
    EXPECT_EQ(closed.empty(), *c.closedAs == '\0') << closed;
    EXPECT_EQ(closed.rfind(c.closedAs, 0), 0u) << closed;
    EXPECT_EQ(run.transcript.back(), ui_run::kNoHandles);
    // The failure leaves the user's earlier file as it was.
    testutil::WriteFile(target, "the user's file");
    EXPECT_EQ(Result(Import({"XTHOST_FAIL=" + c.fail}, c.source)), "\"Import failed\"");
    EXPECT_EQ(testutil::ReadFile(target), "the user's file");
  }
}

// The stream of stored host document 0 of the container at `path`.
std::string StoredStream(const std::string& path) {
  OLEStorage file(path.c_str(), kOLERead);
  OLEStorage data(file, u"SolvanePluginPrivateData", kOLERead);
  OLEStorage templates(data, u"BrenixExportTemplates", kOLERead);
  OLEStream stream(templates, u"0", kOLERead);
  std::string bytes(stream.GetSize(), '\0');
  bytes.resize(stream.GetData(bytes.data(), static_cast<uint32_t>(bytes.size())));
  return bytes;
}

// A copy at `to` of the container at `from` with `bytes` as that stream.
void CopyWithStoredStream(const std::string& from, const std::string& to, const std::string& bytes) {
  OLEStorage source(from.c_str(), kOLERead);
  OLEStorage copy(to.c_str(), kOLECreate);
  source.CopyItem(u"SolvaneTextAndCode", copy, nullptr, false);
  OLEStorage data(copy, u"SolvanePluginPrivateData", kOLECreate);
  OLEStorage templates(data, u"BrenixExportTemplates", kOLECreate);
  OLEStream stream(templates, u"0", kOLECreate);
  stream.PutData(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

TEST_F(ImportRun, AFileAtTheTargetIsReplacedOnlyWhenTheImportSucceeded) {
  Export("doc_import.json");
  const std::string stored = StoredStream(kxq);
  ASSERT_EQ(stored.substr(0, 1), "\x78");
  std::string flipped = stored;
  flipped.back() = static_cast<char>(flipped.back() ^ 0x55);  // the checksum's last byte
  // Zeros deflate about a thousand times: a stream past the largest
  // document the host opens (64 MiB) in 65 KiB.
  const std::string zeros((64u << 20) + 1, '\0');
  std::string bomb(compressBound(zeros.size()), '\0');
  uLongf bombSize = bomb.size();
  ASSERT_EQ(compress(reinterpret_cast<Bytef*>(bomb.data()), &bombSize,
                     reinterpret_cast<const Bytef*>(zeros.data()), zeros.size()),
            Z_OK);
  bomb.resize(bombSize);
  struct Case {
    const char* name;
    std::string stream;
    std::string fail;  // XTHOST_FAIL
    std::string log;   // a part of the program log
  };
  const Case cases[] = {
      {"cut in half", stored.substr(0, stored.size() / 2), "",
       "File Read<1009>:\tstored document 0 is cut short\n"},
      {"a wrong checksum", flipped, "", "ERROR on loading QXP: Filter failure 44006\n"},
      {"inflating too far", bomb, "", "stored document 0 inflates to more than 67108864 bytes\n"},
      // The stored document arrived whole, but the import did not succeed.
      {"whole, not opened", stored, "open_document:1", "ERROR:    Unable to open document for import!"},
      {"whole, not saved", stored, "save_document:1", "ERROR:    Import failed"},
      {"whole, a first text call failing", stored, "insert_text:1", "ERROR: host call insert_text failed"},
      {"whole, saved without a text", stored, "insert_text:2", "ERROR: host call insert_text failed"},
      {"whole", stored, "", ""},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string source = (install.root() / "stored.kxq").string();
    CopyWithStoredStream(kxq, source, c.stream);
    // A file the user chose to replace in the save dialog.
    testutil::WriteFile(target, "the user's file");
    const HostRun run =
        Import(c.fail.empty() ? std::vector<std::string>{} : std::vector<std::string>{"XTHOST_FAIL=" + c.fail},
               source);
    EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
    for (const std::string& name : testutil::Entries(install.root().string())) {
      EXPECT_NE(name[0], '.') << "a file of the import's left beside the target: " << name;
    }
    if (c.log.empty()) {
      EXPECT_EQ(Result(run), "\"Import done\"");
      EXPECT_EQ(Paragraphs(install, target), Paragraphs(install, fixturePath));
      continue;
    }
    EXPECT_EQ(Result(run), "\"Import failed\"");
    EXPECT_EQ(testutil::ReadFile(target), "the user's file");
    EXPECT_TRUE(Contains(run.log, c.log)) << run.log;
  }
}

TEST_F(ImportRun, AStoredDocumentOfManyWritesArrivesWholeAndGoesWhenItDoesNotOpen) {
  // A document larger than one host write (64 KiB), stored and written back:
  // it opens and comes back with every story (a document cut short does
  // not open).  When the host refuses to open it, the target made for it
  // goes again.
  const std::string large = (install.root() / "large.qxp").string();
  testutil::WriteFile(large, testutil::ExportDocument(80));
  ASSERT_GT(fs::file_size(large), 64u * 1024u);
  {
    MixerHost host;
    static XTRegisterRec record = xthost::MakeRegisterRec();
    XT().registration = &record;
    LogCapture log;
    host.OpenText("large.qxp", testutil::ReadFile(large));
    ASSERT_TRUE(export_test::ExportCurrentProject(kxq).stored);
  }
  const HostRun whole = Import();
  EXPECT_EQ(Result(whole), "\"Import done\"");
  // The blanks of a non-breaking run come back as U+00A0.
  std::vector<std::string> expected = Paragraphs(install, large);
  for (std::string& line : expected) {
    const size_t at = line.find("no break");
    if (at != std::string::npos) line.replace(at, 8, "no\u00a0break");
  }
  EXPECT_EQ(Paragraphs(install, target), expected);

  fs::remove(target);
  const HostRun run = Import({"XTHOST_FAIL=open_document:1"});
  EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
  EXPECT_FALSE(fs::exists(target));
  EXPECT_EQ(Result(run), "\"Import failed\"");
  EXPECT_TRUE(Has(run.transcript, "alert 512 \"ERROR: Unable to open document for import!\\x0a-> see "
                                  "BrenixLogfile.txt for details\" \"\""))
      << testing::PrintToString(Only(run, {"alert"}));
  EXPECT_TRUE(Contains(run.log, "ERROR:    Unable to open document for import!"));
  EXPECT_TRUE(Contains(run.log, " -> " + std::string(6, ' ') +
                                    "Do you have write permissions for the given target folder?"));
}

TEST_F(ImportRun, TheExportFixtureComesBackWithOnlyWhatTheContainerDoesNotCarry) {
  // Two layouts, page numbers, a unique id met in both layouts, a
  // non-breaking run, anchored and hidden objects, unstyled paragraphs.
  Export("doc_export.json");
  const HostRun run = Import();
  EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
  EXPECT_EQ(Result(run), "\"Import done\"");
  // Not carried: the blanks of a non-breaking run return as U+00A0, page
  // numbers as their kind's character, a unique id as "%8d"; the same id
  // met again in the second layout is written once, so its tag goes there.
  const std::map<std::string, std::string> differences = {
      {" style 0 \"No break - here\\x0d\"", " style 0 \"No\u00a0break\u00a0-\u00a0here\\x0d\""},
      {" style 0 \"Page \\x03 of \\x02\\x0d\"", " style 0 \"Page \\x02 of \\x03\\x0d\""},
      {" style 0 \"#00004711Fonts: Café Œuvre Zürich ±½ 明朝 missing\\x0d\"",
       " style 0 \"#    4711Fonts: Café Œuvre Zürich ±½ 明朝 missing\\x0d\""},
      {" style 0 \"#00004711Web copy\"", " style 0 \"Web copy\""}};
  std::vector<std::string> expected = Paragraphs(install, fixturePath);
  size_t replaced = 0;
  for (std::string& line : expected) {
    const auto found = differences.find(line);
    if (found == differences.end()) continue;
    line = found->second;
    ++replaced;
  }
  EXPECT_EQ(replaced, differences.size());
  // No story more or less: working boxes and their stories are gone.
  EXPECT_EQ(Paragraphs(install, target), expected);
  EXPECT_TRUE(ClosedAs(run).rfind(".~", 0) == 0);
  EXPECT_EQ(run.transcript.back(), ui_run::kNoHandles);
}

TEST_F(ImportRun, AStoryWhoseBoxIsGoneFailsTheImportAndTheRestIsSaved) {
  // The stored document loses the box and story of "One line only": the
  // container's story finds no box.  The stream is rewritten in place
  // (olefile keeps stream sizes), the inflater stops at the stream's end.
  Export("doc_import.json");
  const std::string translated = (install.root() / "translated.kxq").string();
  kxtpseudo::PseudoTranslate(kxq, translated, false);
  const std::string script = (install.root() / "drop_box.py").string();
  testutil::WriteFile(script,
                      "import json,olefile,sys,zlib\n"
                      "o=olefile.OleFileIO(sys.argv[1],write_mode=True)\n"
                      "n=['SolvanePluginPrivateData','BrenixExportTemplates','0']\n"
                      "old=o.openstream(n).read()\n"
                      "d=json.loads(zlib.decompress(old))\n"
                      "d['boxes']=[b for b in d['boxes'] if b['story']!=2]\n"
                      "d['stories']=[s for s in d['stories'] if s['id']!=2]\n"
                      "new=zlib.compress(json.dumps(d).encode(),9)\n"
                      "assert len(new)<=len(old)\n"
                      "o.write_stream(n,new+bytes(len(old)-len(new)))\n"
                      "o.close()\n");
  ASSERT_EQ(std::system((std::string(BRENIX_PYTHON) + " " + script + " " + translated).c_str()), 0);

  const HostRun run = Import({}, translated);
  EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
  EXPECT_EQ(Result(run), "\"Import failed\"");
  EXPECT_TRUE(Contains(run.log, " is not found. Trying to import into new created box\n")) << run.log;
  EXPECT_TRUE(Has(run.transcript, "beep 0"));
  // The other stories are imported and saved, the document closed.
  EXPECT_TRUE(ClosedAs(run).rfind(".~", 0) == 0);
  const std::vector<std::string> paragraphs = Paragraphs(install, target);
  EXPECT_TRUE(Has(paragraphs, " style 1 \"Lockedé中 texté中\"")) << testing::PrintToString(paragraphs);
  EXPECT_TRUE(Has(paragraphs, " style 0 \"Zeroé中 inseté中\""));
  for (const std::string& p : paragraphs) EXPECT_FALSE(Contains(p, "One")) << p;
  EXPECT_TRUE(SettingsRestored(run));
  EXPECT_EQ(run.transcript.back(), ui_run::kNoHandles);

  // A file another run puts at the target while the stories go in, or
  // while the document is saved beside it, stays.
  std::vector<std::string> args = {"--answer", translated, "--answer", target, "start", "menu", "Import Solvane file"};
  for (const char* stop : {"insert_text:1", "save_document:1"}) {
    SCOPED_TRACE(stop);
    fs::remove(target);
    const pid_t pid = ui_run::StartHost(install, args, {std::string("XTHOST_STOP=") + stop});
    int status = 0;
    ASSERT_TRUE(waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status));
    testutil::WriteFile(target, "the user's file");
    kill(pid, SIGCONT);
    EXPECT_EQ(Result(ui_run::FinishHost(install, pid)), "\"Import failed\"");
    EXPECT_EQ(testutil::ReadFile(target), "the user's file");
    for (const std::string& name : testutil::Entries(install.root().string())) EXPECT_NE(name[0], '.') << name;
  }
  // Where the file system refuses that rename, and has no links either.
  for (const char* links : {"trace=link", "inject=link:error=EPERM"}) {
    SCOPED_TRACE(links);
    fs::remove(target);
    const HostRun saved = ui_run::RunHost(
        install, args, {},
        {"/usr/bin/strace", "-f", "-qq", "-o", "/dev/null", "-e", "inject=renameat2:error=EINVAL", "-e", links});
    EXPECT_EQ(Result(saved), "\"Import failed\"") << saved.log;
    EXPECT_TRUE(Has(Paragraphs(install, target), " style 0 \"Zeroé中 inseté中\""));
    for (const std::string& name : testutil::Entries(install.root().string())) EXPECT_NE(name[0], '.') << name;
  }
}


TEST_F(ImportRun, TypefacesOfRunsComeBackByTheirNames) {
  // Runs in fonts other than the box's: "Café Œuvre" (Windows-1252 with
  // "Œ"), "Zürich ±½", and "明朝 Pro" of its own script (code page 932).
  // A Mac document writes names through the Mac table, another in the
  // font's code page.  The container's "private" is renamed, so no probe
  // carries a font: the carriers take it from "typeface" alone.  The host
  // looks names up in Windows-1252: it finds the Windows document's Latin
  // names, not the Mac bytes.  A failed look-up (the second asks for "Café
  // Œuvre") that the list makes up for changes nothing; one for a name the
  // list lacks fails the import.  Without "typeface_codepage" only the
  // host's look-up finds the Latin names.
  const std::string text = testutil::ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_export.json");
  struct Case {
    const char* name;
    bool mac;
    bool codePageGone;
    const char* fail;  // XTHOST_FAIL, or ""
    bool done;
    bool cafe, zurich;  // the host's look-up found them
  };
  const Case cases[] = {
      {"mac", true, false, "", true, false, false},
      {"windows", false, false, "", true, true, true},
      {"windows, a look-up failing", false, false, "find_font_by_name:2", true, false, true},
      {"windows, no typeface code page", false, true, "", true, true, true},
      {"windows, no typeface code page, look-ups failing", false, true, "find_font_by_name:*", false, false, false},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    std::string fixture = text;
    const size_t flag = fixture.find("\"mac\": true");
    ASSERT_NE(flag, std::string::npos);
    if (!c.mac) fixture.replace(flag, 11, "\"mac\": false");
    fixturePath = (install.root() / "fixture.qxp").string();
    testutil::WriteFile(fixturePath, fixture);
    {
      MixerHost host;
      static XTRegisterRec record = xthost::MakeRegisterRec();
      XT().registration = &record;
      LogCapture log;
      host.OpenText("source.qxp", fixture);
      ASSERT_TRUE(export_test::ExportCurrentProject(kxq).stored);
    }
    std::string script =
        "import olefile,sys\n"
        "o=olefile.OleFileIO(sys.argv[1],write_mode=True)\n"
        "n='SolvaneTextAndCode/SolvaneCodeFile'\n"
        "d=o.openstream(n).read()\n"
        "for a,b in [('private','Private')";
    if (c.codePageGone) script += ",('typeface_codepage','Typeface_codepage')";
    script +=
        "]:\n"
        "  a,b=a.encode('utf-16-le'),b.encode('utf-16-le')\n"
        "  assert d.count(a)==1\n"
        "  d=d.replace(a,b)\n"
        "o.write_stream(n,d)\n"
        "o.close()\n";
    ASSERT_EQ(std::system((std::string(BRENIX_PYTHON) + " -c \"" + script + "\" " + kxq).c_str()), 0);
    fs::remove(target);
    const bool failing = *c.fail != '\0';
    const HostRun run =
        Import(failing ? std::vector<std::string>{std::string("XTHOST_FAIL=") + c.fail} : std::vector<std::string>{});
    EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
    EXPECT_EQ(Result(run), c.done ? "\"Import done\"" : "\"Import failed\"");
    EXPECT_EQ(Contains(run.log, "ERROR: host call find_font_by_name failed: -5000\n"), failing) << run.log;
    EXPECT_EQ(Has(run.transcript, "font \"Café Œuvre\" found 4"), c.cafe);
    EXPECT_EQ(Has(run.transcript, "font \"Zürich ±½\" found 5"), c.zurich);
    if (!c.done) continue;
    std::map<std::string, std::string> expected = {{"\"Café Œuvre\"", "4"}, {"\"Zürich ±½\"", "5"}};
    if (!c.codePageGone) expected["\"own script\""] = "7";
    EXPECT_EQ(RunFonts(install, fixturePath, expected), expected);
    EXPECT_EQ(RunFonts(install, target, expected), expected);
  }
}

TEST_F(ImportRun, ATargetThatNamesTheContainerIsRefusedAndTheContainerKept) {
  // The container itself as the output, also by another spelling of its
  // path and through a link: refused before anything is written.
  Export("doc_import.json");
  const std::string original = testutil::ReadFile(kxq);
  const std::string link = (install.root() / "link.qxp").string();
  fs::create_symlink(kxq, link);
  fs::create_directory(install.root() / "sub");
  const std::string spelled = (install.root() / "sub" / ".." / "source.kxq").string();
  for (const std::string& output : {kxq, spelled, link}) {
    SCOPED_TRACE(output);
    target = output;
    const HostRun run = Import();
    EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
    EXPECT_EQ(Result(run), "\"Import failed\"");
    EXPECT_TRUE(Contains(run.log, "\" is the container being imported\n")) << run.log;
    EXPECT_EQ(testutil::ReadFile(kxq), original);
    EXPECT_TRUE(fs::is_symlink(link));
    EXPECT_EQ(run.transcript.back(), ui_run::kNoHandles);
  }
}

TEST_F(ImportRun, ADamagedContainerFailsWithItsReasonAndLeavesNothing) {
  // Damage inside the code file, made with the damage tool's reader of the
  // format: a text run's type tag, a text run's stream gone, the folder
  // table of an attribute set gone.
  Export("doc_import.json");
  struct Case {
    const char* name;
    const char* damage;  // Python: changes `data` given `entries`
    const char* reason;
  };
  const Case cases[] = {
      {"wrong type tag", "e=[e for e in entries if e[0].endswith(b'!1:Unicodes')][1]\n"
                         "struct.pack_into('<H',data,first_byte(e),2)\n",
       "its text stream is damaged"},
      {"text stream gone", "e=[e for e in entries if e[0].endswith(b'!1:Unicodes')][1]\n"
                           "struct.pack_into('<i',data,e[5]+4,0x7FFF0001)\n",
       "its text stream is damaged"},
      {"attribute table gone",
       "e=[e for e in entries if e[0].endswith(b'\\x02') and any(f[0]==e[0][:-1]+b'\\x01m_NameRef' "
       "for f in entries)][2]\n"
       "struct.pack_into('<i',data,e[5]+4,0x7FFF0002)\n",
       "ImportProto::ActionPerformed():\t"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const std::string damaged = Damaged(c.damage);
    fs::remove(target);
    const bool earlier = &c == &cases[0];  // over the user's earlier file
    if (earlier) testutil::WriteFile(target, "the user's file");
    const HostRun run = Import({}, damaged);
    EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
    EXPECT_EQ(Result(run), "\"Import failed\"");
    EXPECT_TRUE(Contains(run.log, c.reason)) << run.log;
    EXPECT_TRUE(Contains(run.log, "ERROR:    The container is damaged: the import stopped")) << run.log;
    EXPECT_EQ(fs::exists(target) ? testutil::ReadFile(target) : "", earlier ? "the user's file" : "");
    EXPECT_EQ(ClosedAs(run).rfind(".~", 0), 0u) << ClosedAs(run);
    EXPECT_TRUE(SettingsRestored(run));
    EXPECT_EQ(run.transcript.back(), ui_run::kNoHandles);
  }
}

TEST_F(ImportRun, AnElementMissingOrUnderAnotherNameFailsTheImport) {
  // Element folders renamed in their parent's table (bytes of the name
  // changed in place), a story's table cut before its paragraphs set, and
  // the records of a reference-point run damaged: a field stream renamed,
  // or its segment one record short.  Each stays a well-formed code file;
  // each loses text or hidden-text markers unless it fails.
  const char* const kHelpers =
      "def rename(data, old, new, which):\n"
      "  at = [i for i in range(len(data)) if data.startswith(old, i)][which]\n"
      "  data[at:at + len(old)] = new\n"
      "def shorten(data, entry, by):\n"
      "  at = entry[3] + 4 + 8 * (len(entry[4]) - 1) + 4\n"
      "  struct.pack_into('<I', data, at, struct.unpack_from('<I', data, at)[0] - by)\n"
      "def table_with(data, entries, name):\n"
      "  return [e for e in entries if e[0].endswith(b'\\x02') and e[4] and\n"
      "          name in bytes(data[e[4][-1][0]:e[4][-1][0] + e[4][-1][1]])][-1]\n";
  struct Case {
    const char* name;
    const char* damage;  // Python: changes `data` given `entries`
    const char* reason;
  };
  const Case cases[] = {
      {"paragraphs set renamed", "rename(data, b'ParagraphsSet/\\0', b'PeragraphsSet/\\0', -1)\n",
       "holds the unknown element \"PeragraphsSet/\" (0)"},
      {"first paragraphs set renamed", "rename(data, b'ParagraphsSet/\\0', b'PeragraphsSet/\\0', 0)\n",
       "story 0 holds the unknown element \"PeragraphsSet/\" (0)"},
      {"paragraphs set cut off", "shorten(data, table_with(data, entries, b'ParagraphsSet/\\0'), 27)\n",
       "has no \"ParagraphsSet/\""},
      {"last paragraph renamed", "rename(data, b'Paragraph[]/\\0', b'Peragraph[]/\\0', -1)\n",
       "ParagraphsSet/ holds the unknown element \"Peragraph[]/\""},
      {"first run renamed", "rename(data, b'TextRun[]/\\0', b'TextRun[]-\\0', 0)\n",
       "paragraph 0 holds the unknown element \"TextRun[]-\" (0)"},
      {"last run renamed", "rename(data, b'TextRun[]/\\0', b'TextRan[]/\\0', -1)\n",
       "holds the unknown element \"TextRan[]/\""},
      {"last story renamed", "rename(data, b'Story[]/\\0', b'Stary[]/\\0', -1)\n",
       "document 0, StoriesSet/ holds the unknown element \"Stary[]/\""},
      {"reference points renamed", "rename(data, b'!1:RefPoints{}\\0', b'!1:RefPoints{]\\0', -1)\n",
       "holds the unknown element \"!1:RefPoints{]\" (0)"},
      {"reference point ids renamed", "rename(data, b'\\x01m_ObjectFolderID', b'\\x01m_ObjectFolderIE', -1)\n",
       ": its records are damaged"},
      {"reference point ids one short",
       "shorten(data, [e for e in entries if e[0].endswith(b'\\x01m_ObjectFolderID')][-1], 4)\n",
       ": its records are damaged"},
      {"reference point kinds one short",
       "shorten(data, [e for e in entries if e[0].endswith(b'\\x01m_RefTypeRef')][0], 4)\n",
       ": its records are damaged"},
  };
  for (const char* fixture : {"doc_export.json", "doc_layouts.json"}) {
    fs::remove(kxq);
    fs::remove(install.root() / "fixture.qxp");
    Export(fixture);
    for (const Case& c : cases) {
      SCOPED_TRACE(std::string(fixture) + ": " + c.name);
      const std::string damaged = Damaged(c.damage, kHelpers);
      fs::remove(target);
      const HostRun run = Import({}, damaged);
      EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
      EXPECT_EQ(Result(run), "\"Import failed\"");
      EXPECT_TRUE(Contains(run.log, "KXT Error<1004>:\tdocument 0, ")) << run.log;
      EXPECT_TRUE(Contains(run.log, c.reason)) << run.log;
      EXPECT_TRUE(Contains(run.log, "ERROR:    The container is damaged: the import stopped")) << run.log;
      EXPECT_FALSE(fs::exists(target));
      EXPECT_EQ(run.transcript.back(), ui_run::kNoHandles);
    }
  }
}

TEST_F(ImportRun, EveryFixturesContainerImportsAsExported) {
  // The shapes the reader asks of a container are those every export
  // writes: each fixture's container, exported from the menu and
  // unchanged, imports.  The untitled template has no file to export, the
  // minimal document no layout to store in its container.
  int imported = 0;
  for (const auto& entry : fs::directory_iterator(BRENIX_TEST_DATA)) {
    const std::string fixture = entry.path().filename().string();
    if (entry.path().extension() != ".json" || fixture == "doc_template.json" || fixture == "doc_minimal.json")
      continue;
    SCOPED_TRACE(fixture);
    fs::remove(kxq);
    fs::remove(target);
    const std::string document = (install.root() / "document.qxp").string();
    fs::copy_file(entry.path(), document, fs::copy_options::overwrite_existing);
    const HostRun exported =
        RunHost(install, {"--answer", kxq, "--answer", "OK", "start", "open", document, "menu",
                          "Export current document"});
    ASSERT_TRUE(fs::exists(kxq)) << exported.log;
    const HostRun run = Import();
    ++imported;
    EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
    EXPECT_EQ(Result(run), "\"Import done\"") << run.log;
    EXPECT_FALSE(Contains(run.log, "KXT Error")) << run.log;
  }
  EXPECT_EQ(imported, 8);
}

TEST_F(ImportRun, HiddenTextWithoutItsEndStaysHidden) {
  // Story 15 ends in a hidden-text opening marker without its closing one:
  // the marker comes back in front of the text it hides.
  Export("doc_layouts.json");
  const HostRun run = Import();
  EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
  EXPECT_EQ(Result(run), "\"Import done\"");
  EXPECT_TRUE(Contains(run.log, "*** Hidden text without end: id=")) << run.log;
  auto story15 = [&](const std::string& path) {
    const HostRun stories = RunHost(install, {"start", "open", path, "stories"});
    return Between(stories, "story 15 length 46", "story 16 length");
  };
  const std::vector<std::string> expected = story15(fixturePath);
  ASSERT_FALSE(expected.empty());
  EXPECT_TRUE(Has(expected, "  paragraph 0 [0,46) format 0 style 0 \"A ‹x mid ‹y in ›y ›x B ‹qh›q C ‹qh›q D ‹u end\\x0d\""));
  EXPECT_EQ(story15(target), expected);
}
}  // namespace

namespace {

TEST(MasterPageHandling, FromTheContainersSourceTypeAndTheUsersChoice) {
  const std::string forcingOld =
      " => Forcing import with appropriate OLD masterpage handling (overriding user settings!)\n";
  const std::string selectedOld =
      " => Importing with appropriate OLD masterpage handling (selected by user)\n";
  const std::string oldVersion =
      "\nWARNING: Current document was previously exported with an OLD-MASTERPAGE version of "
      "Brenix";
  const std::string explicitOld =
      "\nWARNING: Current document was previously exported with explicit OLD-MASTERPAGE settings";
  const std::string forcingNew =
      "\nWARNING: Current document was previously exported with explicit NEW-MASTERPAGE settings"
      " => Forcing import with appropriate NEW masterpage handling (overriding user settings!)\n";
  struct Case {
    const char16_t* sourceType;
    bool userNew;
    bool useNew;
    std::string log;
  };
  const Case cases[] = {
      {nullptr, true, false, "\nERROR: d_CFAN_SourceDataType returns empty string (NULL)!\n"},
      {u"QuarkXpress 9.0 Win", true, false, oldVersion + forcingOld},
      {u"QuarkXpress 9.0 Win", false, false, oldVersion + selectedOld},
      {u"X {MB=0}", true, false, explicitOld + forcingOld},
      {u"X {MB=0}", false, false, explicitOld + selectedOld},
      {u"X {MB=1}", true, true, ""},
      {u"X {MB=1}", false, true, forcingNew},
      // The last of two parts counts; an unclosed part means old handling.
      {u"{MB=1} {MB=0}", true, false, explicitOld + forcingOld},
      {u"{MB=0} {MB=1}", true, true, ""},
      {u"X {MB=1", true, false, ""},
      {u"X {MB=}", true, true, ""},
  };
  for (const Case& c : cases) {
    LogCapture log;
    EXPECT_EQ(UseNewMasterPageHandling(c.sourceType, c.userNew), c.useNew) << c.log;
    EXPECT_EQ(log.Text(), c.log);
  }
}

}  // namespace
