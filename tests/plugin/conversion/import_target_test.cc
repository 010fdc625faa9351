// An import over an earlier document, watched from outside while it runs:
// the built xthost with the built plug-in, stopped at a chosen host call
// (XTHOST_STOP) and killed there, or raced by a second user who exports
// the target document; and stored documents far larger than their
// compressed stream, into a roomy and a full file system.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/wait.h>

#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/private_mount.h"
#include "tests/plugin/brenix/ui_run_util.h"
#include "tools/kxtpseudo/kxt_pseudo.h"

namespace {

namespace fs = std::filesystem;
using testutil::ReadFile;
using testutil::WriteFile;
using ui_run::HostRun;
using ui_run::Installation;
using ui_run::RunHost;

bool Has(const HostRun& run, const std::string& line) {
  for (const std::string& l : run.transcript) {
    if (l == line) return true;
  }
  return false;
}

// The texts of the result dialogs a run showed, in order.
std::vector<std::string> Results(const HostRun& run) {
  std::vector<std::string> texts;
  for (const std::string& line : ui_run::Only(run, {"dialog "})) {
    for (const char* result : {"Export done", "Export failed", "Import done", "Import failed"}) {
      if (line.find(std::string(" text \"") + result + "\"") != std::string::npos) texts.push_back(result);
    }
  }
  return texts;
}

// Whether the run `pid` stopped itself at its XTHOST_STOP call; false when
// it ended instead.
bool Stopped(pid_t pid) {
  int status = 0;
  return waitpid(pid, &status, WUNTRACED) == pid && WIFSTOPPED(status);
}

void Kill(pid_t pid) {
  kill(pid, SIGKILL);
  waitpid(pid, nullptr, 0);
}

// Exports `document` through the menu into `kxq`; the run.
HostRun ExportThroughHost(const Installation& install, const std::string& document, const std::string& kxq) {
  return RunHost(install, {"--answer", kxq, "start", "open", document, "menu", "Export current document"});
}

// An installation with a translated container of doc_import.json, an
// earlier document (doc_brochure.json) for the import to replace, the
// document a whole import leaves (imported once beside it), and a
// document that an import killed under the old naming set aside.
class EarlierDocument : public ::testing::Test {
 protected:
  void SetUp() override {
    const fs::path root = install.root();
    const std::string source = (root / "source.qxp").string(), kxq = (root / "source.kxq").string();
    fs::copy_file(fs::path(BRENIX_TEST_DATA) / "doc_import.json", source);
    ASSERT_EQ(Results(ExportThroughHost(install, source, kxq)), std::vector<std::string>{"Export done"});
    kxtpseudo::PseudoTranslate(kxq, translated, false);
    earlier = ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_brochure.json");
    const std::string reference = (root / "reference.qxp").string();
    ASSERT_EQ(Results(RunHost(install, ImportArgs(reference))), std::vector<std::string>{"Import done"});
    translation = ReadFile(reference);
    ASSERT_NE(translation.find("é中"), std::string::npos);
    WriteFile(setAside, "an earlier document an old import set aside\n");
  }

  std::vector<std::string> ImportArgs(const std::string& to) const {
    return {"--answer", translated, "--answer", to, "start", "menu", "Import Solvane file"};
  }

  Installation install{"[QUARK]\nSetUniqueID=True\n"};
  std::string translated = (install.root() / "translated.kxq").string();
  std::string target = (install.root() / "result.qxp").string();
  std::string setAside = (install.root() / ".~4194305-1").string();
  std::string earlier, translation;
};

TEST_F(EarlierDocument, AKilledImportLeavesItAtTheTargetUntilTheTranslationIsSavedWhole) {
  struct Moment {
    const char* stop;  // XTHOST_STOP: where the import is killed
    bool saved;        // the import saved the translation before
  };
  const Moment moments[] = {
      {"write_file:1", false},     // the stored document is being written
      {"open_document:1", false},  // it is whole, not yet opened
      {"insert_text:1", false},    // the stories are being imported
      {"save_document:1", false},  // imported, about to be saved
      {"run_dialog:1", true},      // saved, its result about to be shown
  };
  for (const Moment& m : moments) {
    SCOPED_TRACE(m.stop);
    WriteFile(target, earlier);
    const pid_t run = ui_run::StartHost(install, ImportArgs(target), {std::string("XTHOST_STOP=") + m.stop});
    ASSERT_TRUE(Stopped(run));
    const std::string expected = m.saved ? translation : earlier;
    EXPECT_EQ(ReadFile(target) == expected, true) << "at the stop";
    Kill(run);
    EXPECT_EQ(ReadFile(target) == expected, true) << "after the kill";
    const std::vector<std::string> transcript = ui_run::SplitLines(ReadFile(install.root() / "transcript.txt"));
    ASSERT_FALSE(transcript.empty());
    EXPECT_EQ(transcript.back(), "stop " + std::string(m.stop).replace(std::string(m.stop).find(':'), 1, " #"));
    EXPECT_EQ(ReadFile(setAside), "an earlier document an old import set aside\n");
  }
}

TEST_F(EarlierDocument, ASecondUserExportingTheTargetDocumentDoesNotSaveOverTheTranslation) {
  // The second user's export stops before its first save; the import runs
  // to its end meanwhile, then the export goes on.
  struct Case {
    const char* name;
    const char* importStop;  // where the import waits while the export opens the target ("" none)
  };
  const Case cases[] = {
      {"the document opened before the import", ""},
      {"the document opened while the import runs", "insert_text:3"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    WriteFile(target, earlier);
    pid_t import = 0;
    if (*c.importStop != '\0') {
      import = ui_run::StartHost(install, ImportArgs(target), {std::string("XTHOST_STOP=") + c.importStop});
      ASSERT_TRUE(Stopped(import));
    }
    Installation other;
    const pid_t exporter = ui_run::StartHost(
        other, {"--answer", (other.root() / "b.kxq").string(), "start", "open", target, "menu", "Export current document"},
        {"XTHOST_STOP=save_document:1"});
    ASSERT_TRUE(Stopped(exporter));
    HostRun imported;
    if (import != 0) {
      kill(import, SIGCONT);
      imported = ui_run::FinishHost(install, import);
    } else {
      imported = RunHost(install, ImportArgs(target));
    }
    EXPECT_EQ(Results(imported), std::vector<std::string>{"Import done"});
    kill(exporter, SIGCONT);
    const HostRun exported = ui_run::FinishHost(other, exporter);
    EXPECT_TRUE(ui_run::Clean(exported)) << exported.errors;
    EXPECT_EQ(Results(exported), std::vector<std::string>{"Export failed"});
    EXPECT_TRUE(Has(exported, "ERROR: document 1 not saved: another file was put at the document's name since "
                              "it was opened: \"" + target + "\""));
    EXPECT_NE(exported.log.find("ERROR: QuarkDoc::Save(): the document was not saved (\"" + target + "\""),
              std::string::npos)
        << exported.log;
    EXPECT_EQ(ReadFile(target) == translation, true);
    EXPECT_EQ(ReadFile(setAside), "an earlier document an old import set aside\n");
  }
}

// A host document of one text box whose story holds `paragraphs`
// paragraphs of the same CJK sentence: three bytes a unit in the file, a
// few hundred times fewer once deflated.
std::string OneStoryDocument(int paragraphs) {
  std::string sentence;
  for (int i = 0; i < 9000; ++i) sentence += "中文排版测试。";
  const int units = 9000 * 7 + 1;
  std::string text, runs;
  for (int p = 0; p < paragraphs; ++p) {
    const bool last = p + 1 == paragraphs;
    text += sentence + (last ? "" : "\\r");
    runs += (p != 0 ? ", [0, " : "[0, ") + std::to_string(last ? units - 1 : units) + "]";
  }
  return R"({"format": "xthost document", "version": 1, "fonts": [{"id": 3, "name": "Times"}],
  "characterAttributes": [{"font": 3}], "layouts": [{"name": "Print", "spreads": [{"pages": [{}]}]}],
  "boxes": [{"id": 1, "story": 1, "spread": 1, "bounds": [36, 36, 576, 756]}],
  "stories": [{"id": 1, "text": ")" +
         text + R"(", "paragraphs": [)" + runs + "], \"runs\": [[0, " +
         std::to_string(units * paragraphs - 1) + "]]}],\n  \"currentBox\": 1}\n";
}

TEST(LargeStoredDocument, ComesBackWholeOrFailsLeavingTheEarlierFileAlone) {
  // Python's json and olefile: the stored stream's size, and whether the
  // imported story is the exported one, unit for unit and paragraph for
  // paragraph.
  const char* const witness =
      "import json,olefile,sys\n"
      "o=olefile.OleFileIO(sys.argv[1])\n"
      "n=['SolvanePluginPrivateData','BrenixExportTemplates','0']\n"
      "print(o.get_size(n))\n"
      "a,b=[json.load(open(p,encoding='utf-8'))['stories'] for p in sys.argv[2:4]]\n"
      "print(len(a),len(b),a[0]['text']==b[0]['text'],"
      "[p[1] for p in a[0]['paragraphs']]==[p[1] for p in b[0]['paragraphs']])\n";
  struct Case {
    const char* name;
    int paragraphs;      // of about 63,000 units: 100 make 18.9 MB
    const char* room;    // a file system of this size for the target's folder ("" none)
    const char* reason;  // in the log when the import fails
  };
  const Case cases[] = {
      {"18.9 MB, one story", 100, "", ""},
      {"no room for the stored document", 100, "size=8m", "File Write<1012>:\t"},
      {"room for the stored document, not for the saved one", 20, "size=6m", "the document was not saved"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    Installation install;
    const fs::path root = install.root(), folder = root / "out";
    const std::string source = (root / "story.qxp").string(), kxq = (root / "story.kxq").string();
    const std::string target = (folder / "story.qxp").string();
    WriteFile(source, OneStoryDocument(c.paragraphs));
    const HostRun exported = ExportThroughHost(install, source, kxq);
    ASSERT_EQ(Results(exported), std::vector<std::string>{"Export done"});
    fs::create_directory(folder);
    std::unique_ptr<testutil::PrivateMount> mount;
    if (*c.room != '\0') {
      mount = std::make_unique<testutil::PrivateMount>(folder, 0, c.room);
      if (!mount->mounted()) {
        // Only a process that may mount (root, as in CI) can fill a disk.
        std::printf("[  SKIPPED ] %s: no private file system here\n", c.name);
        continue;
      }
      WriteFile(target, "the user's earlier file\n");
    }
    const HostRun run = RunHost(install, {"--answer", kxq, "--answer", target, "start", "menu", "Import Solvane file"});
    EXPECT_TRUE(ui_run::Clean(run)) << run.errors;
    const bool whole = *c.reason == '\0';
    ASSERT_EQ(Results(run), std::vector<std::string>{whole ? "Import done" : "Import failed"}) << run.log;
    if (!whole) {
      EXPECT_NE(run.log.find(c.reason), std::string::npos) << run.log;
      // And why, as the export says it.
      EXPECT_NE(run.log.find("(no space left on the disk or in the user's quota)\n"), std::string::npos) << run.log;
      EXPECT_EQ(ReadFile(target), "the user's earlier file\n");
      EXPECT_EQ(testutil::Entries(folder.string()), std::set<std::string>{"story.qxp"});
      continue;
    }
    const std::string out = (root / "witness.txt").string();
    const std::string command = std::string(BRENIX_PYTHON) + " -c \"" + witness + "\" " + kxq + " " + source +
                                " " + target + " > " + out;
    ASSERT_EQ(std::system(command.c_str()), 0);
    const std::vector<std::string> said = ui_run::SplitLines(ReadFile(out));
    ASSERT_EQ(said.size(), 2u);
    // What the earlier bound refused: more than 16 MiB, more than 64 times
    // the stored stream.
    EXPECT_GT(fs::file_size(source), 16u << 20);
    EXPECT_GT(static_cast<double>(fs::file_size(source)) / std::stod(said[0]), 64.0);
    EXPECT_EQ(said[1], "1 1 True True");
  }
}

}  // namespace
