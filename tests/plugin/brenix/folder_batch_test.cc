// Batch jobs over folders, as a launcher runs them: the export job lists
// the visible files of the source tree (paths of any length) in the program
// log, writes a container for each document (read back by python3-olefile
// and zlib) and ends in the failure message for the text file that does
// not open, keeps Total and Count in the control file, replaces exactly the
// targets it writes, reports targets that cannot be replaced once, and
// leaves no document open; then the host is asked to quit.  PDF files go
// to the PdfDir folder.  The import job makes a document of each
// pseudo-translated container, holding the translated texts.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/common/export_document.h"
#include "tests/common/python.h"
#include "tests/common/stored_copy_py.h"
#include "tools/kxtpseudo/kxt_pseudo.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

// The first bytes of every compound file.
const std::string kOleMagic = "\xD0\xCF\x11\xE0";

// For each (container, source) pair: whether the container's stored host
// document inflates to the source document as the export saved it, with
// the two working boxes of its layout.
std::string StoredDocumentsMatch(const std::vector<std::string>& pairs) {
  return testutil::PythonOutput(
      testutil::kStoredCopyPy +
      "import sys\n"
      "args = sys.argv[1:]\n"
      "for container, source in zip(args[::2], args[1::2]):\n"
      "    header, same, boxes = stored_against_saved(container, source)\n"
      "    print(same and boxes == ['0:-1', '0:-2'])\n",
      pairs);
}

class FolderBatch : public ::testing::Test {
 protected:
  void SetUp() override {
    const std::string document = testutil::ExportDocument(3, 2);
    source_ = (install_.root() / "src").string();
    target_ = (install_.root() / "T").string();
    fs::create_directories(install_.root() / "batch");
    fs::create_directories(source_ + "/sub");
    fs::create_directories(target_);
    longFolder_ = source_;
    while (longFolder_.size() < 280) longFolder_ += "/a_folder_name_that_makes_the_path_long";
    fs::create_directories(longFolder_);
    for (const std::string& file :
         {source_ + "/a.qxp", source_ + "/sub/b.qxp", source_ + "/.hidden.qxp", longFolder_ + "/long.qxp"}) {
      WriteFile(file, document);
    }
    WriteFile(source_ + "/notes.txt", "notes\n");
    install_.WriteSettings("[Path]\nBatchFilePath = " + Job().string() + "\n");
    WriteFile(Job(), "[General]\nMode = Export\nRecursive = True\n[Path]\nSource = " + source_ +
                         "\nTarget = " + target_ + "\n");
  }

  fs::path Job() const { return install_.root() / "batch" / "job.ini"; }
  // The control file as the job left it: its stamped copy.
  std::string JobCopy() const {
    for (const auto& entry : fs::directory_iterator(install_.root() / "batch")) {
      if (entry.path().filename().string().rfind("job.ini_", 0) == 0) return ReadFile(entry.path());
    }
    return "";
  }

  Installation install_;
  std::string source_, target_, longFolder_;
};

TEST_F(FolderBatch, ExportListsTheTreeCountsAndQuits) {
  const HostRun run = RunHost(install_, {"start", "idle", "40"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  const std::string listing = "\n\n#####\n##### IMPORT/EXPORT-FILES #####\n#####\n\n"
                              "       1.) " + source_ + "/a.qxp\n"
                              "       2.) " + longFolder_ + "/long.qxp\n"
                              "       3.) " + source_ + "/notes.txt\n"
                              "       4.) " + source_ + "/sub/b.qxp\n";
  EXPECT_NE(run.log.find(listing), std::string::npos) << run.log;
  EXPECT_EQ(Count(run.log, "IMPORT/EXPORT-FILES"), 1u);
  // The text file that does not open makes it a failed job, reported
  // after the documents were written.
  EXPECT_EQ(Count(run.log, "Conversion finished."), 0u) << run.log;
  EXPECT_NE(run.log.find("\nSUPPRESSED MESSAGE BOX:\tExport failed for folder: \t" + source_ + "\t\n\"" + source_ +
                         "/notes.txt\" not converted: the host cannot open it\t\n"),
            std::string::npos)
      << run.log;
  const std::string copy = JobCopy();
  EXPECT_NE(copy.find("Total=4"), std::string::npos) << copy;
  EXPECT_NE(copy.find("Count=4"), std::string::npos) << copy;
  EXPECT_FALSE(fs::exists(Job()));
  // The target tree mirrors the source tree; nothing for the hidden file
  // or the text file, which does not open.
  const std::string longTarget = target_ + longFolder_.substr(source_.size()) + "/long.kxq";
  EXPECT_EQ(StoredDocumentsMatch({target_ + "/a.kxq", source_ + "/a.qxp", target_ + "/sub/b.kxq",
                                  source_ + "/sub/b.qxp", longTarget, longFolder_ + "/long.qxp"}),
            "True\nTrue\nTrue\n");
  EXPECT_FALSE(fs::exists(target_ + "/.hidden.kxq"));
  EXPECT_FALSE(fs::exists(target_ + "/notes.kxq"));
  EXPECT_EQ(Only(run, {"quit requested"}).size(), 1u);
  EXPECT_EQ(run.transcript.back(), kNoHandles);
}

// Each file that fails gets one "ERROR:" line naming it and why: ones the
// host cannot open (with the host's answer and what the file shows: no
// document, an empty file, a link to nothing), one whose target folder is
// blocked by a file (which never reaches the converter, so Count leaves it
// out), and one whose path is too long for the system to read (which the
// scan leaves out, so the job ends with its failure message).
TEST_F(FolderBatch, EachFileThatFailsIsNamedInTheLog) {
  WriteFile(target_ + "/sub", "a file where the folder would go");
  WriteFile(source_ + "/empty.qxp", "");
  fs::create_symlink(source_ + "/nowhere.qxp", source_ + "/gone.qxp");
  std::string deep = source_ + "/deep";
  while (deep.size() + 201 < 3900) deep += "/" + std::string(200, 'd');
  fs::create_directories(deep);
  const std::string tooLong = std::string(250, 'n') + ".qxp";
  const int folder = ::open(deep.c_str(), O_RDONLY | O_DIRECTORY);
  ASSERT_GE(folder, 0);
  const int file = ::openat(folder, tooLong.c_str(), O_CREAT | O_WRONLY, 0644);
  ASSERT_GE(file, 0);
  ::close(file);
  const HostRun run = RunHost(install_, {"start", "idle", "40"});
  // A path that long is beyond what the folder's removal can name.
  ::unlinkat(folder, tooLong.c_str(), 0);
  ::close(folder);
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Count(run.log, "\nERROR: "), 5u) << run.log;
  for (const char* told : {"notes.txt\": host result -5005 (the file is not a host document)\n",
                           "empty.qxp\": host result -5005 (the file is not a host document); the file is empty\n",
                           "gone.qxp\": host result -43 (no such file); the file is missing\n"}) {
    EXPECT_NE(run.log.find("\nThe host cannot open \"" + source_ + "/" + told), std::string::npos) << run.log;
  }
  const std::string unread = "\"" + deep + "/" + tooLong + "\" cannot be read: File name too long";
  EXPECT_NE(run.log.find("\nERROR: " + unread + "\n"), std::string::npos) << run.log;
  EXPECT_NE(run.log.find("\nSUPPRESSED MESSAGE BOX:\tExport failed for folder: \t" + source_ + "\t\n" + unread),
            std::string::npos)
      << run.log;
  EXPECT_EQ(Count(run.log, "Conversion finished."), 0u) << run.log;
  EXPECT_NE(run.log.find("\nERROR: \"" + source_ + "/notes.txt\" not converted: the host cannot open it\n"),
            std::string::npos)
      << run.log;
  EXPECT_NE(run.log.find("\nERROR: \"" + source_ + "/sub/b.qxp\" not converted: its target folder \"" + target_ +
                         "/sub\" cannot be made: Not a directory\n"),
            std::string::npos)
      << run.log;
  EXPECT_EQ(ReadFile(target_ + "/a.kxq").substr(0, 4), kOleMagic);
  const std::string copy = JobCopy();
  EXPECT_NE(copy.find("Total=6"), std::string::npos) << copy;
  EXPECT_NE(copy.find("Count=5"), std::string::npos) << copy;
}

// Existing targets are replaced by their new containers and nothing else
// is touched; a folder at a target's name cannot be replaced: it is
// reported once, its file is still tried, fails, and the folder stays.
TEST_F(FolderBatch, ExportReplacesOnlyItsOwnTargets) {
  fs::create_directories(target_ + "/sub");
  fs::create_directories(target_ + "/a.kxq/inside");
  WriteFile(target_ + "/sub/b.kxq", "old sub/b");
  WriteFile(target_ + "/b.kxq", "not a target of the run");
  const HostRun run = RunHost(install_, {"start", "idle", "40"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Count(run.log, "\nSUPPRESSED MESSAGE BOX:\tOverwrite not allowed for 1 files in your target!\t"
                           "\nChange attributes or rename on request.\t\t\n"),
            1u)
      << run.log;
  EXPECT_EQ(ReadFile(target_ + "/sub/b.kxq").substr(0, 4), kOleMagic);
  EXPECT_EQ(ReadFile(target_ + "/b.kxq"), "not a target of the run");
  EXPECT_TRUE(fs::is_directory(target_ + "/a.kxq/inside"));
  EXPECT_NE(run.log.find("\nERROR: \"" + source_ + "/a.qxp\" not converted: "), std::string::npos) << run.log;
  EXPECT_EQ(run.transcript.back(), kNoHandles);
}

// With a PdfDir the PDF files go there, and the existing targets are looked
// for there: PDF names in the KXQ folder are no targets of the run.
TEST_F(FolderBatch, ExportWritesPdfFilesIntoThePdfFolder) {
  const std::string pdf = (install_.root() / "P").string();
  fs::create_directories(pdf);
  WriteFile(pdf + "/a.pdf", "old a");
  WriteFile(target_ + "/a.pdf", "not a target of the run");
  WriteFile(Job(), "[General]\nMode = Export\n[Path]\nSource = " + source_ + "\nTarget = " + target_ +
                       "\nPdfDir = " + pdf + "\n");
  const HostRun run = RunHost(install_, {"start", "idle", "40"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(ReadFile(target_ + "/a.kxq").substr(0, 4), kOleMagic);
  EXPECT_EQ(ReadFile(pdf + "/a.pdf").substr(0, 5), "%PDF-");
  EXPECT_EQ(ReadFile(target_ + "/a.pdf"), "not a target of the run");
  EXPECT_FALSE(fs::exists(target_ + "/sub"));
  EXPECT_EQ(run.transcript.back(), kNoHandles);
}

TEST(FolderBatchImport, ListsTheContainersOfTheSourceFolder) {
  Installation install;
  const std::string source = (install.root() / "kxq").string();
  const std::string target = (install.root() / "docs").string();
  fs::create_directories(source + "/sub");
  fs::create_directories(target);
  fs::create_directories(install.root() / "batch");
  for (const char* name : {"/A.KXQ", "/b.kxq", "/.h.kxq", "/c.kxq.bak", "/sub/d.kxq"}) {
    WriteFile(source + name, "container");
  }
  const fs::path job = install.root() / "batch" / "job.ini";
  install.WriteSettings("[Path]\nBatchFilePath = " + job.string() + "\n");
  WriteFile(job, "[General]\nMode = Import\n[Path]\nSource = " + source + "\nTarget = " + target + "\n");
  const HostRun run = RunHost(install, {"start", "idle", "10"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  // Not recursive: the sub-folder's container stays out.
  EXPECT_NE(run.log.find("\n\n#####\n##### IMPORT/EXPORT-FILES #####\n#####\n\n"
                         "       1.) " + source + "/A.KXQ\n"
                         "       2.) " + source + "/b.kxq\n"),
            std::string::npos)
      << run.log;
  EXPECT_EQ(Count(run.log, ".) "), 2u) << run.log;
  EXPECT_EQ(Only(run, {"window 1 item 2 text \"Import to Quark "}),
            (std::vector<std::string>{"window 1 item 2 text \"Import to Quark 1 of 2 files\"",
                                      "window 1 item 2 text \"Import to Quark 2 of 2 files\""}));
  EXPECT_EQ(Only(run, {"quit requested"}).size(), 1u);
  EXPECT_EQ(run.transcript.back(), kNoHandles);
}

// The story lines `stories` writes for the document at `path`.
std::string Stories(const Installation& install, const std::string& path) {
  const HostRun run = RunHost(install, {"start", "open", path, "stories"});
  std::string out;
  for (const std::string& line : run.transcript) {
    if (line.rfind("story ", 0) == 0 || line.rfind("  paragraph ", 0) == 0) out += line + "\n";
  }
  return out;
}

TEST(FolderBatchImport, PseudoTranslatedContainersBecomeTranslatedDocuments) {
  Installation install;
  const fs::path root = install.root();
  const std::string source = (root / "src").string(), containers = (root / "T").string();
  const std::string translated = (root / "K").string(), documents = (root / "D").string();
  for (const std::string& folder : {source + "/sub", containers, translated + "/sub", documents}) {
    fs::create_directories(folder);
  }
  fs::create_directories(root / "batch");
  for (const char* name : {"/a.qxp", "/sub/b.qxp"}) WriteFile(source + name, testutil::ExportDocument(2, 2));
  const fs::path job = root / "batch" / "job.ini";
  install.WriteSettings("[Path]\nBatchFilePath = " + job.string() + "\n");
  const auto runJob = [&](const std::string& mode, const std::string& from, const std::string& to) {
    WriteFile(job, "[General]\nMode = " + mode + "\nRecursive = True\n[Path]\nSource = " + from +
                       "\nTarget = " + to + "\n");
    return RunHost(install, {"start", "idle", "40"});
  };
  const HostRun exported = runJob("Export", source, containers);
  ASSERT_TRUE(Clean(exported)) << exported.errors;
  for (const char* name : {"/a.kxq", "/sub/b.kxq"}) {
    kxtpseudo::PseudoTranslate(containers + name, translated + name, false);
  }
  const HostRun imported = runJob("Import", translated, documents);
  ASSERT_TRUE(Clean(imported)) << imported.errors;
  EXPECT_NE(imported.log.find("       1.) " + translated + "/a.kxq\n       2.) " + translated + "/sub/b.kxq\n"),
            std::string::npos)
      << imported.log;
  for (const char* name : {"/a.qxp", "/sub/b.qxp"}) {
    const std::string stories = Stories(install, documents + name);
    // Every word grew by the pseudo-translation's two characters.
    EXPECT_NE(stories.find("The\xC3\xA9\xE4\xB8\xAD quick\xC3\xA9\xE4\xB8\xAD"), std::string::npos) << stories;
    EXPECT_EQ(stories.find("The quick"), std::string::npos) << stories;
  }
}

}  // namespace
