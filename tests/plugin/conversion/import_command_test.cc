// The import command end to end: containers exported in process from the
// fixtures, then imported by the built xthost with the built plug-in, one
// run per scenario; the imported document is read back by a second run.
#include <gtest/gtest.h>

#include <filesystem>
#include <map>
#include <string>
#include <vector>

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
    EXPECT_TRUE(Has(run.transcript, "close document 1 \"result.qxp\" window"));
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
    bool closed;         // the saved document was closed
  };
  const Case cases[] = {
      {"cancelled", "cancel", "", "", false, false},
      {"no container", plain, "", "OpenKXT FAILED\n", false, false},
      {"corrupt stored document", corrupt, "", "Unknown ERROR on loading QXP!\n", false, false},
      {"target not created", kxq, "create_file:1", "<1011>:\t" + target + "\n", false, false},
      {"target not written", kxq, "write_file:1", "<1012>:\t" + target + "\n", false, false},
      {"document not saved", kxq, "save_document:1", "ERROR:    Import failed", true, false},
      // The rest is imported and saved.
      {"text call failing", kxq, "insert_text:2", "ERROR: host call insert_text failed", true,
       true},
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
    // A failed save keeps the document open.
    EXPECT_EQ(Has(run.transcript, "close document 1 \"result.qxp\" window"), c.closed);
    EXPECT_EQ(run.transcript.back(),
              c.targetLeft && !c.closed
                  ? "handles strings=0 paths=0 converters=0 files=0 modules=0 documents=1"
                  : ui_run::kNoHandles);
  }
}

TEST_F(ImportRun, AStoredDocumentOfManyWritesArrivesWholeWhenItDoesNotOpen) {
  // A document larger than one host write (64 KiB), stored and written back;
  // the host then refuses to open it, so the file stays as written: the
  // stored stream inflated, as Python's zlib inflates it.
  {
    MixerHost host;
    static XTRegisterRec record = xthost::MakeRegisterRec();
    XT().registration = &record;
    LogCapture log;
    host.OpenText("large.qxp", testutil::ExportDocument(80));
    ASSERT_TRUE(export_test::ExportCurrentProject(kxq).stored);
  }
  const std::string inflated = (install.root() / "inflated.qxp").string();
  const std::string script =
      "import olefile,sys,zlib\n"
      "o=olefile.OleFileIO(sys.argv[1])\n"
      "d=o.openstream(['SolvanePluginPrivateData','BrenixExportTemplates','0']).read()\n"
      "open(sys.argv[2],'wb').write(zlib.decompress(d))\n";
  ASSERT_EQ(std::system((std::string(BRENIX_PYTHON) + " -c \"" + script + "\" " + kxq + " " + inflated).c_str()), 0);
  ASSERT_GT(fs::file_size(inflated), 64u * 1024u);

  const HostRun run = Import({"XTHOST_FAIL=open_document:1"});
  EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
  EXPECT_EQ(testutil::ReadFile(target), testutil::ReadFile(inflated));
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
  EXPECT_TRUE(Has(run.transcript, "close document 1 \"result.qxp\" window"));
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
  EXPECT_TRUE(Has(run.transcript, "close document 1 \"result.qxp\" window"));
  const std::vector<std::string> paragraphs = Paragraphs(install, target);
  EXPECT_TRUE(Has(paragraphs, " style 1 \"Lockedé中 texté中\"")) << testing::PrintToString(paragraphs);
  EXPECT_TRUE(Has(paragraphs, " style 0 \"Zeroé中 inseté中\""));
  for (const std::string& p : paragraphs) EXPECT_FALSE(Contains(p, "One")) << p;
  EXPECT_TRUE(SettingsRestored(run));
  EXPECT_EQ(run.transcript.back(), ui_run::kNoHandles);
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
