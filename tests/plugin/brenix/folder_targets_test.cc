// The folders a folder conversion is handed, from the menu and from a batch
// control file: a target folder that is not there yet (made, then written;
// the existing targets are looked for in that same folder and nowhere
// else), one that cannot be made (an "ERROR:" line naming it with the
// system's reason and a failure message, never "Conversion finished."),
// a source folder that is missing (the same, and no target folder made),
// source and target folders named through a symbolic link (followed), and
// a source file that does not convert (the others are written, then the
// failure message names it, never "Conversion finished."), and a KXQ pass
// that fails before a PDF pass that succeeds (no "Conversion finished.").
//
// The source tree holds its document below a copy of the path of a decoy
// folder the test owns, so a target path that lost its folder (the root
// joined with the source's path below its root) names the decoy file.
#include <gtest/gtest.h>
#include <unistd.h>

#include <string>
#include <vector>

#include "tests/common/export_document.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& line : lines) all += line + "\n";
  return all;
}

// The control file as the job left it: its stamped copy.
std::string JobCopy(const fs::path& folder) {
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind("job.ini_", 0) == 0) return ReadFile(entry.path());
  }
  return "";
}

enum class Entry { kMenu, kBatch };
// kBoth: the KXQ pass into the target folder, then the PDF pass into a
// folder of its own.
enum class Pass { kKxq, kPdf, kImport, kBoth };
// kBlocked: missing, but made with a folder where the KXQ file goes.
enum class Folder { kMissing, kLink, kUnmakeable, kBlocked };
// kJunk: the plain source with a text file beside the document.
enum class Source { kPlain, kLink, kMissing, kJunk };

struct Case {
  const char* name;
  Entry entry;
  Pass pass;
  Folder target;
  Source source;
};

const Case kCases[] = {
    {"batch PdfDir missing", Entry::kBatch, Pass::kPdf, Folder::kMissing, Source::kPlain},
    {"batch Target missing", Entry::kBatch, Pass::kKxq, Folder::kMissing, Source::kPlain},
    {"batch import Target missing", Entry::kBatch, Pass::kImport, Folder::kMissing, Source::kPlain},
    {"menu PDF folder deleted since", Entry::kMenu, Pass::kPdf, Folder::kMissing, Source::kPlain},
    {"menu KXQ folder deleted since", Entry::kMenu, Pass::kKxq, Folder::kMissing, Source::kPlain},
    {"batch Target no folder", Entry::kBatch, Pass::kKxq, Folder::kUnmakeable, Source::kPlain},
    {"batch PdfDir no folder", Entry::kBatch, Pass::kPdf, Folder::kUnmakeable, Source::kPlain},
    {"batch import Target no folder", Entry::kBatch, Pass::kImport, Folder::kUnmakeable, Source::kPlain},
    {"menu KXQ folder no folder", Entry::kMenu, Pass::kKxq, Folder::kUnmakeable, Source::kPlain},
    {"batch source and Target through links", Entry::kBatch, Pass::kKxq, Folder::kLink, Source::kLink},
    {"menu source and KXQ folder through links", Entry::kMenu, Pass::kKxq, Folder::kLink, Source::kLink},
    {"menu PDF folder through a link", Entry::kMenu, Pass::kPdf, Folder::kLink, Source::kPlain},
    {"batch Source missing", Entry::kBatch, Pass::kKxq, Folder::kMissing, Source::kMissing},
    {"batch import Source missing", Entry::kBatch, Pass::kImport, Folder::kMissing, Source::kMissing},
    {"menu import source folder deleted since", Entry::kMenu, Pass::kImport, Folder::kMissing, Source::kMissing},
    {"menu KXQ folder, a file that does not open", Entry::kMenu, Pass::kKxq, Folder::kMissing, Source::kJunk},
    {"batch Target, a file that does not open", Entry::kBatch, Pass::kKxq, Folder::kMissing, Source::kJunk},
    {"batch PdfDir, a file that does not open", Entry::kBatch, Pass::kPdf, Folder::kMissing, Source::kJunk},
    {"batch Target no folder, then PdfDir", Entry::kBatch, Pass::kBoth, Folder::kUnmakeable, Source::kPlain},
    {"menu KXQ file blocked, then PDF", Entry::kMenu, Pass::kBoth, Folder::kBlocked, Source::kPlain},
    {"batch KXQ file blocked, then PdfDir", Entry::kBatch, Pass::kBoth, Folder::kBlocked, Source::kPlain},
};

TEST(FolderTargets, MissingLinkedAndUnmakeableFolders) {
  const std::string document = testutil::ExportDocument(2, 2);
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Installation install;
    const fs::path root = install.root();
    const std::string decoy = (root / "decoy").string();
    const std::string source = (root / "src").string();
    const std::string deep = source + decoy;  // the decoy's own path below the source root
    fs::create_directories(decoy);
    fs::create_directories(deep);
    // An import takes containers; this one does not open, which its own
    // "ERROR:" line tells.
    const bool import = c.pass == Pass::kImport;
    const std::string sourceName = import ? "/x.kxq" : "/x.qxp";
    WriteFile(deep + sourceName, import ? "no container" : document);
    if (c.source == Source::kJunk) WriteFile(deep + "/notes.txt", "no document");
    const char* extension = import ? ".qxp" : c.pass == Pass::kPdf ? ".pdf" : ".kxq";
    WriteFile(decoy + "/x" + extension, "decoy");

    std::string target = (root / "made" / "T").string();
    if (c.target == Folder::kLink) {
      fs::create_directories(root / "real");
      fs::create_directory_symlink(root / "real", root / "T");
      target = (root / "T").string();
    } else if (c.target == Folder::kUnmakeable) {
      target = c.entry == Entry::kBatch ? "/dev/zero" : (root / "file" / "T").string();
      WriteFile(root / "file", "a file where the folder would go");
    } else if (c.target == Folder::kBlocked) {
      fs::create_directories(target + decoy + "/x.kxq");
    }
    const bool both = c.pass == Pass::kBoth;
    const std::string pdfFolder = (root / "pdf").string();
    std::string named = source;
    if (c.source == Source::kLink) {
      fs::create_directory_symlink(source, root / "srclink");
      named = (root / "srclink").string();
    } else if (c.source == Source::kMissing) {
      named = (root / "gone").string();
    }
    const std::string below = named + decoy;  // where the scan finds the document

    HostRun run;
    if (c.entry == Entry::kBatch) {
      fs::create_directories(root / "batch");
      const fs::path job = root / "batch" / "job.ini";
      install.WriteSettings("[Path]\nBatchFilePath = " + job.string() + "\n");
      WriteFile(job, std::string("[General]\nMode = ") + (import ? "Import" : "Export") +
                         "\nRecursive = True\n[Path]\nSource = " + named +
                         (c.pass == Pass::kPdf ? "\nPdfDir = " : "\nTarget = ") + target +
                         (both ? "\nPdfDir = " + pdfFolder : "") + "\n");
      run = RunHost(install, {"start", "idle", "20"});
    } else if (import) {
      install.WriteSettings("[Options]\nextendedInterface = True\nrecursiveDirScan = True\n[Path]\nSourceKXQPath = " +
                            named + "\nTargetBookPath = " + target + "\n");
      run = RunHost(install, {"start", "menu", "Import multiple Solvane files"});
    } else {
      install.WriteSettings(std::string("[Options]\nextendedInterface = True\nrecursiveDirScan = True\n[Path]\n") +
                            (c.pass == Pass::kPdf ? "TargetPDFPath = " : "TargetKXQPath = ") + target + "\n" +
                            (both ? "TargetPDFPath = " + pdfFolder + "\n" : ""));
      run = RunHost(install, {"--answer", named, "--answer",
                              both                   ? "Generate KXQ files=1;Generate PDF files=1;OK"
                              : c.pass == Pass::kKxq ? "Generate KXQ files;OK"
                                                     : "Generate PDF files;OK",
                              "--answer", "Export", "start", "menu", "Export multiple documents"});
    }
    ASSERT_TRUE(Clean(run)) << run.errors;
    // Checked by path: the decoy is where it was.
    EXPECT_EQ(ReadFile(decoy + "/x" + extension), "decoy");
    const std::string written = target + decoy + "/x" + extension;
    const std::vector<std::string> alerts = Only(run, {"alert "});
    const size_t finished = Count(run.log, "\nSUPPRESSED MESSAGE BOX:\tConversion finished.\t");
    // The PDF pass after the KXQ pass writes its file whatever that did.
    if (both) {
      EXPECT_EQ(ReadFile(pdfFolder + decoy + "/x.pdf").substr(0, 4), "%PDF") << run.log;
    }
    if (c.target == Folder::kUnmakeable || c.source == Source::kMissing) {
      EXPECT_FALSE(fs::exists(written));
      EXPECT_EQ(finished, 0u) << run.log;
      const std::string error =
          c.source == Source::kMissing
              ? "ERROR: Folder \"" + named + "\" cannot be read: No such file or directory\n"
              : "ERROR: Target folder \"" + target + "\" cannot be made: Not a directory\n";
      EXPECT_NE(run.log.find(error), std::string::npos) << run.log;
      // Nothing is made for a conversion that cannot start.
      if (c.source == Source::kMissing) {
        EXPECT_FALSE(fs::exists(target));
      }
      const std::string failure = import ? "Import failed for folder: " : "Export failed for folder: ";
      EXPECT_NE(run.log.find("\nSUPPRESSED MESSAGE BOX:\t" + failure + "\t" + named + "\t"), std::string::npos)
          << run.log;
      // Shown to the user at the menu.
      if (c.entry == Entry::kMenu) {
        EXPECT_NE(Joined(alerts).find(failure), std::string::npos) << Joined(alerts);
      }
      continue;
    }
    if (import) {
      EXPECT_TRUE(fs::is_directory(target + decoy));
      EXPECT_NE(run.log.find("\nERROR: \"" + below + sourceName + "\" not converted: "), std::string::npos)
          << run.log;
    } else if (c.target == Folder::kBlocked) {
      EXPECT_TRUE(fs::is_directory(written));
    } else {
      EXPECT_EQ(ReadFile(written).substr(0, 4), c.pass == Pass::kPdf ? "%PDF" : "\xD0\xCF\x11\xE0") << written;
    }
    // A file that fails makes the run a failed one, reported after the
    // others were converted.
    std::string failed;
    if (import || c.target == Folder::kBlocked) failed = below + sourceName;
    if (c.source == Source::kJunk) failed = below + "/notes.txt";
    if (failed.empty()) {
      EXPECT_EQ(finished, 1u) << run.log;
    } else {
      EXPECT_EQ(finished, 0u) << run.log;
      const std::string failure = import ? "Import failed for folder: " : "Export failed for folder: ";
      EXPECT_NE(run.log.find("\nSUPPRESSED MESSAGE BOX:\t" + failure + "\t" + named + "\t\n\"" + failed +
                             "\" not converted: "),
                std::string::npos)
          << run.log;
      if (c.entry == Entry::kMenu) {
        EXPECT_NE(Joined(alerts).find(failure), std::string::npos) << Joined(alerts);
      }
    }
    EXPECT_NE(run.log.find(".) " + below + sourceName + "\n"), std::string::npos) << run.log;
    // An empty target folder holds nothing to overwrite: no question.
    EXPECT_EQ(Count(Joined(run.transcript), "\"Overwrite files?\""), 0u);
    if (c.entry == Entry::kBatch) {
      const std::string copy = JobCopy(root / "batch");
      const std::string files = c.source == Source::kJunk ? "2" : "1";
      EXPECT_NE(copy.find("Total=" + files), std::string::npos) << copy;
      EXPECT_NE(copy.find("Count=" + files), std::string::npos) << copy;
    }
  }
}

}  // namespace
