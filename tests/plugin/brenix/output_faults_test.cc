// Every output the system writes, into a folder that fights back: a link
// where a temporary file once went, a read-only folder, a full file
// system, one that fills part way, an exceeded quota, a target name of 250
// bytes, a folder where the file should go.
// Each run is the built xthost with the plug-in, the way a user meets it;
// what is left is checked by path.
#include <gtest/gtest.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <functional>
#include <set>
#include <string>
#include <vector>

#include "tests/common/private_mount.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

const char kExtended[] =
    "[Options]\nextendedInterface = True\naddMenuItemExportCoords = True\naddMenuItemExportKrm = True\n";

using Mount = testutil::PrivateMount;

// Fills the file system of `folder` with the file "filler".
void Fill(const fs::path& folder) { ASSERT_TRUE(testutil::FillFileSystem(folder)); }

std::set<std::string> Entries(const fs::path& folder) {
  std::set<std::string> names;
  for (const auto& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

// What a user asks for, with the file name it writes.
struct OutputKind {
  const char* name;
  const char* extension;
  // The command line of the run after "start open doc.qxp", the answers
  // given, and whether the run reports success.
  std::function<std::vector<std::string>(const fs::path& target)> commands;
  std::function<bool(const HostRun&)> succeeded;
  // The target is chosen in the host's save dialog (which refuses a
  // folder); else it is given.
  bool chosen = true;
  // What the host writes beside a PDF, while the name fits.
  const char* beside = "";
  // A folder conversion of PDFs: the target is named after its source, a
  // target that exists already is a question of its own, and the run ends
  // in its one message.
  bool folderRun = false;
};

// The source "<target's stem>.qxp" in a folder of its own beside the
// target's folder; that folder.
fs::path FolderSource(const fs::path& target) {
  const fs::path root = target.parent_path().parent_path();
  fs::create_directories(root / "src");
  fs::copy_file(root / "doc.qxp", root / "src" / target.stem().concat(".qxp"));
  return root / "src";
}

// A batch export of FolderSource(target) with the target's folder as
// `key` (Target or PdfDir).
std::vector<std::string> BatchJob(const fs::path& target, const char* key) {
  const fs::path root = target.parent_path().parent_path();
  const fs::path job = root / "job.ini";
  WriteFile(job, "[General]\nMode = Export\n[Path]\nSource = " + FolderSource(target).string() + "\n" + key +
                     " = " + target.parent_path().string() + "\n");
  WriteFile(root / "XTensions" / "brenix.ini", kExtended + ("[Path]\nBatchFilePath = " + job.string() + "\n"));
  return {"start", "idle", "20"};
}

std::vector<std::string> Menu(const char* menu, const fs::path& target) {
  return {"--answer", target.string(), "start", "open", "doc.qxp", "menu", menu};
}

const std::vector<OutputKind> kKinds = {
    {"container", ".kxq", [](const fs::path& t) { return Menu("Export current document", t); },
     [](const HostRun& run) { return LastDialog(run) == "Export done"; }},
    {"coordinates", ".coo", [](const fs::path& t) { return Menu("Export PDF coordinates", t); },
     [](const HostRun& run) { return LastDialog(run) == "Export done"; }},
    {"XTags", ".krm", [](const fs::path& t) { return Menu("Export XTags", t); },
     [](const HostRun& run) { return LastDialog(run) == "Export done"; }},
    // The container of a batch control file naming the target's folder
    // Target (no folder run of PDFs: its failures are the container's).
    {"container of a batch folder", ".kxq", [](const fs::path& t) { return BatchJob(t, "Target"); },
     [](const HostRun& run) { return run.log.find("\tConversion finished.\t") != std::string::npos; }, false},
    {"PDF", ".pdf",
     [](const fs::path& t) { return std::vector<std::string>{"start", "open", "doc.qxp", "pdf", t.string()}; },
     [](const HostRun& run) {
       return run.status == 0 && !Only(run, {"pdf export document 1 to "}).empty();
     },
     false, "_pdf.log"},
    // The plug-in's PDF creation, through the folder command: the source
    // "<target's stem>.qxp" in its own folder, the target's folder chosen.
    {"PDF of a folder", ".pdf",
     [](const fs::path& t) {
       return std::vector<std::string>{"--answer", FolderSource(t).string(), "--answer", "Generate PDF files;OK",
                                       "--answer", "#1007;Export", "--answer", t.parent_path().string(),
                                       "start", "menu", "Export multiple documents"};
     },
     [](const HostRun& run) { return !Only(run, {"pdf export document 2 to "}).empty(); }, false, "",
     true},
    // The same from a batch control file naming the target's folder PdfDir.
    {"PDF of a batch folder", ".pdf", [](const fs::path& t) { return BatchJob(t, "PdfDir"); },
     [](const HostRun& run) { return !Only(run, {"pdf export document 2 to "}).empty(); }, false, "",
     true},
};

// A folder that fights back, made in `folder` for the target `name`.
struct Fault {
  const char* name;
  bool succeeds;
  // Makes the fault; false when this machine cannot make it.
  std::function<bool(const fs::path& folder, const fs::path& target, std::unique_ptr<Mount>* mount)> make;
  // The reason the failure names ("" when it succeeds), and the names left
  // in the folder.
  std::function<std::string()> reason;
  std::function<std::set<std::string>(const fs::path& target)> left;
  // The run under a tracer that injects the fault; the extensions of the
  // outputs it is made for ("" all).
  std::vector<std::string> tracer = {};
  const char* only = "";
};

const std::vector<Fault> kFaults = {
    {"a link at the temporary name", true,
     [](const fs::path& folder, const fs::path& target, std::unique_ptr<Mount>*) {
       fs::create_symlink(folder.parent_path() / "victim", target.string() + ".partial");
       return true;
     },
     [] { return std::string(); },
     [](const fs::path& target) {
       return std::set<std::string>{target.filename().string(), target.filename().string() + ".partial"};
     }},
    {"a read-only folder", false,
     [](const fs::path& folder, const fs::path&, std::unique_ptr<Mount>* mount) {
       if (::geteuid() != 0) {
         fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
         return true;
       }
       *mount = std::make_unique<Mount>(folder, MS_RDONLY, "size=64k");
       return (*mount)->mounted();
     },
     [] { return std::string(std::strerror(::geteuid() == 0 ? EROFS : EACCES)); },
     [](const fs::path&) { return std::set<std::string>{}; }},
    {"a full file system", false,
     [](const fs::path& folder, const fs::path&, std::unique_ptr<Mount>* mount) {
       *mount = std::make_unique<Mount>(folder, 0, "size=64k");
       if (!(*mount)->mounted()) return false;
       Fill(folder);
       return true;
     },
     [] { return std::string(std::strerror(ENOSPC)); },
     [](const fs::path&) { return std::set<std::string>{"filler"}; }},
    // The output's first block fits, a later one does not (the coordinates
    // and XTags fit in the one block left).
    {"a file system full part way", false,
     [](const fs::path& folder, const fs::path&, std::unique_ptr<Mount>* mount) {
       *mount = std::make_unique<Mount>(folder, 0, "size=64k");
       return (*mount)->mounted() && testutil::FillFileSystem(folder, 4096);
     },
     [] { return std::string(std::strerror(ENOSPC)); },
     [](const fs::path&) { return std::set<std::string>{"filler"}; }, {}, ".kxq.pdf"},
    // The user's quota runs out while the container's storage writes.
    {"an exceeded quota", false, [](const fs::path&, const fs::path&, std::unique_ptr<Mount>*) { return true; },
     [] { return std::string(std::strerror(EDQUOT)); }, [](const fs::path&) { return std::set<std::string>{}; },
     {"/usr/bin/strace", "-f", "-qq", "-o", "/dev/null", "-e", "trace=pwrite64", "-e",
      "inject=pwrite64:error=EDQUOT:when=1", "-E", "ASAN_OPTIONS=detect_leaks=0"}, ".kxq"},
    {"a target name of 250 bytes", true, [](const fs::path&, const fs::path&, std::unique_ptr<Mount>*) { return true; },
     [] { return std::string(); },
     [](const fs::path& target) { return std::set<std::string>{target.filename().string()}; }},
    {"a folder where the file goes", false,
     [](const fs::path&, const fs::path& target, std::unique_ptr<Mount>*) {
       fs::create_directory(target);
       return true;
     },
     [] { return std::string(std::strerror(EISDIR)); },
     [](const fs::path& target) { return std::set<std::string>{target.filename().string()}; }},
};

TEST(OutputFaults, EachOutputSucceedsWholeOrFailsNamingTargetAndReasonLeavingNothing) {
  const std::string document = ReadFile(fs::path(BRENIX_TEST_DATA) / "doc_pdf.json");
  for (const OutputKind& kind : kKinds) {
    for (const Fault& fault : kFaults) {
      SCOPED_TRACE(std::string(kind.name) + ", " + fault.name);
      if (kind.folderRun && fault.name == std::string("a folder where the file goes")) continue;
      if (*fault.only != '\0' && std::string(fault.only).find(kind.extension) == std::string::npos) continue;
      Installation install(kExtended);
      WriteFile(install.root() / "doc.qxp", document);
      WriteFile(install.root() / "victim", "someone else's");
      const fs::path folder = install.root() / "out";
      fs::create_directory(folder);
      const std::string stem = fault.name == std::string("a target name of 250 bytes")
                                   ? std::string(250 - std::strlen(kind.extension), 'n')
                                   : std::string("out");
      const fs::path target = folder / (stem + kind.extension);
      std::unique_ptr<Mount> mount;
      if (!fault.make(folder, target, &mount)) {
        // Only a process that may mount (root, as in CI) can fill a disk.
        std::printf("[  SKIPPED ] %s, %s: no private file system here\n", kind.name, fault.name);
        continue;
      }
      const HostRun run = RunHost(install, kind.commands(target), {}, fault.tracer);
      EXPECT_TRUE(run.errors.find("Sanitizer") == std::string::npos) << run.errors;
      EXPECT_EQ(kind.succeeded(run), fault.succeeds);
      std::set<std::string> left = fault.left(target);
      const std::string beside = target.filename().string() + kind.beside;
      if (fault.succeeds && *kind.beside != '\0' && beside.size() <= 255) left.insert(beside);
      EXPECT_EQ(Entries(folder), left);
      EXPECT_EQ(ReadFile(install.root() / "victim"), "someone else's");
      if (fault.succeeds) {
        std::error_code error;
        EXPECT_TRUE(fs::is_regular_file(fs::symlink_status(target, error)));
        EXPECT_NE(fs::file_size(target, error), 0u);
        EXPECT_FALSE(error) << error.message();
      } else {
        // Named in the program log (the plug-in's outputs) or the host's
        // transcript (its PDF), with the system's reason.
        std::string said = run.log;
        for (const std::string& line : run.transcript) said += line + "\n";
        EXPECT_NE(said.find(target.string()), std::string::npos) << said;
        const bool refused = kind.chosen && fault.name == std::string("a folder where the file goes");
        const std::string reason = refused ? "cannot save as" : fault.reason();
        EXPECT_NE(said.find(reason), std::string::npos) << said;
        // A menu command ends in its failure dialog, however it failed.
        if (kind.chosen) {
          EXPECT_EQ(LastDialog(run), "Export failed");
        }
        // The plug-in's own word for a PDF it could not make (suppressed
        // into the log while a folder runs), with the reason the host's
        // answer gives for a full disk.
        if (kind.folderRun) {
          EXPECT_NE(run.log.find("PDF creation failed for file: \t" + target.string()), std::string::npos)
              << run.log;
          const bool full = fault.reason() == std::strerror(ENOSPC);
          EXPECT_EQ(Count(run.log, " (no space left on the disk or in the user's quota)") != 0, full) << run.log;
        }
      }
      // A folder run ends in its one message: the failure (naming the PDF)
      // or "Conversion finished.".
      if (kind.folderRun) {
        const std::string failure = "\nSUPPRESSED MESSAGE BOX:\tExport failed for folder: \t" +
                                    (install.root() / "src").string() + "\t\nPDF creation failed for file: " +
                                    target.string() + " (";
        EXPECT_EQ(Count(run.log, failure), fault.succeeds ? 0u : 1u) << run.log;
        EXPECT_EQ(Count(run.log, "\nSUPPRESSED MESSAGE BOX:\tConversion finished.\t"), fault.succeeds ? 1u : 0u)
            << run.log;
      }
      if (::geteuid() != 0) fs::permissions(folder, fs::perms::owner_all);
    }
  }
}

}  // namespace
