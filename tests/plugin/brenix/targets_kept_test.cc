// Folder runs, batch jobs and server jobs over targets that are there
// already, as a user meets them: a file that fails, a full file system and
// a run killed halfway leave every earlier target, every source and the
// other files of the folders as they were, byte for byte; a target is
// replaced only by its whole new file.  A source is never its own target,
// and a target the run already wrote is not written again from another
// source.  New files are read by independent readers: python3-olefile and
// zlib for containers, Python's json for documents.
#include <gtest/gtest.h>
#include <sched.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>

#include <chrono>
#include <memory>
#include <cstdio>
#include <optional>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "server_client_util.h"
#include "tests/common/child_process.h"
#include "tests/common/export_document.h"
#include "tests/common/python.h"
#include "tests/common/stored_copy_py.h"
#include "tools/kxtpseudo/kxt_pseudo.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

// A file system of its own (tmpfs) on `folder` while the object lives,
// filled up by Fill(); Mounted() is false where none can be mounted.  The
// test process mounts in a namespace of its own (its children share it),
// so no mount outlives it.
class SmallFileSystem {
 public:
  explicit SmallFileSystem(const std::string& folder) : folder_(folder) {
    static const bool own = ::unshare(CLONE_NEWNS) == 0 &&
                            ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    (void)own;
    fs::create_directories(folder);
    mounted_ = ::mount("tmpfs", folder.c_str(), "tmpfs", 0, "size=1m") == 0;
  }
  ~SmallFileSystem() {
    if (mounted_) ::umount2(folder_.c_str(), MNT_DETACH);
  }
  SmallFileSystem(const SmallFileSystem&) = delete;
  SmallFileSystem& operator=(const SmallFileSystem&) = delete;
  bool Mounted() const { return mounted_; }
  // Takes every byte left with a hidden file, which no scan lists.
  void Fill() const {
    std::FILE* filler = std::fopen((folder_ + "/.filler").c_str(), "wb");
    if (filler == nullptr) return;
    std::setvbuf(filler, nullptr, _IONBF, 0);
    const std::string block(4096, 'f');
    while (std::fwrite(block.data(), 1, block.size(), filler) == block.size()) {
    }
    while (std::fputc('f', filler) != EOF) {
    }
    std::fclose(filler);
  }

 private:
  std::string folder_;
  bool mounted_ = false;
};

// A container of a two-story document, pseudo-translated (every word grew
// by two characters), made once by a batch export.
const std::string& TranslatedContainer() {
  static const std::string bytes = [] {
    Installation install;
    const fs::path root = install.root();
    fs::create_directories(root / "src");
    WriteFile(root / "src" / "doc.qxp", testutil::ExportDocument(2, 2));
    install.WriteSettings("[Path]\nBatchFilePath = " + (root / "job.ini").string() + "\n");
    WriteFile(root / "job.ini", "[General]\nMode = Export\n[Path]\nSource = " + (root / "src").string() +
                                    "\nTarget = " + (root / "T").string() + "\n");
    RunHost(install, {"start", "idle", "10"});
    kxtpseudo::PseudoTranslate((root / "T" / "doc.kxq").string(), (root / "doc.kxq").string(), false);
    return ReadFile(root / "doc.kxq");
  }();
  return bytes;
}

// Per (kind, target, source) triple: "new" when the target is a whole new
// file of its source (a container storing the source document, a PDF, a
// document holding the translated text), else "not new".
std::vector<std::string> Witness(const std::vector<std::string>& triples) {
  static const std::string program = testutil::kStoredCopyPy + R"PY(
import sys, json
a = sys.argv[1:]
for kind, target, source in zip(a[::3], a[1::3], a[2::3]):
    try:
        if kind == 'kxq':
            ok = stored_against_saved(target, source)[1]
        elif kind == 'pdf':
            b = open(target, 'rb').read()
            ok = b.startswith(b'%PDF-') and b.rstrip().endswith(b'%%EOF')
        else:
            stories = json.load(open(target, encoding='utf-8'))['stories']
            ok = any('quick\u00e9\u4e2d' in s.get('text', '') for s in stories)
    except Exception:
        ok = False
    print('new' if ok else 'not new')
)PY";
  return SplitLines(testutil::PythonOutput(program, triples));
}

// The run's failure message and no "Conversion finished.", wherever the
// run tells it (an alert from the menu, the log in a batch job).
void ExpectFailedRun(const HostRun& run, const std::string& why = "") {
  std::string told = run.log;
  for (const std::string& line : run.transcript) told += line + "\n";
  EXPECT_NE(told.find("failed for folder: "), std::string::npos) << told;
  EXPECT_NE(told.find(why), std::string::npos) << told;
  EXPECT_EQ(Count(told, "Conversion finished."), 0u) << told;
  EXPECT_EQ(Count(told, "Overwrite not allowed"), 0u) << told;
}

// Runs xthost until it ended or `ready` holds, then kills it; false when
// it ended first.
template <class Ready>
bool KillWhen(const Installation& install, const std::vector<std::string>& args, Ready ready) {
  const pid_t pid = StartHost(install, args);
  const auto bound = std::chrono::steady_clock::now() + std::chrono::minutes(2);
  siginfo_t info{};
  while (!ready() && std::chrono::steady_clock::now() < bound) {
    info.si_pid = 0;
    if (::waitid(P_PID, pid, &info, WEXITED | WNOHANG | WNOWAIT) == 0 && info.si_pid == pid) break;
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  ::kill(pid, SIGKILL);
  return FinishHost(install, pid).status == -1;
}

enum class Entry { kMenu, kBatch };
// kBoth: containers, then PDF files, into one folder.
enum class Way { kExport, kBoth, kImport };
enum class Fault { kFailingFile, kFullDisk, kKill };

struct Case {
  const char* name;
  Entry entry;
  Way way;
  bool sameFolder;  // the source folder is the target folder
  Fault fault;
  const char* said = "";  // why the failed file failed, in the log or the transcript
};

const Case kCases[] = {
    {"menu export, a file that fails", Entry::kMenu, Way::kExport, false, Fault::kFailingFile,
     "f01.qxp\" not converted: the host cannot open it\n"},
    {"menu export, full file system", Entry::kMenu, Way::kExport, false, Fault::kFullDisk},
    {"menu export, killed", Entry::kMenu, Way::kExport, false, Fault::kKill},
    {"batch export, a file that fails", Entry::kBatch, Way::kExport, false, Fault::kFailingFile},
    {"batch export, full file system", Entry::kBatch, Way::kExport, false, Fault::kFullDisk},
    {"batch export, killed", Entry::kBatch, Way::kExport, false, Fault::kKill},
    {"menu export and PDF into the source folder", Entry::kMenu, Way::kBoth, true, Fault::kFailingFile},
    {"batch export and PDF into the source folder", Entry::kBatch, Way::kBoth, true, Fault::kFailingFile},
    {"menu import, a file that fails", Entry::kMenu, Way::kImport, false, Fault::kFailingFile},
    {"batch import, a file that fails", Entry::kBatch, Way::kImport, false, Fault::kFailingFile},
    {"batch import, full file system", Entry::kBatch, Way::kImport, false, Fault::kFullDisk,
     "(no space left on the disk or in the user's quota)\n"},
    {"menu import into the source folder, a file that fails", Entry::kMenu, Way::kImport, true,
     Fault::kFailingFile},
    {"batch import into the source folder, killed", Entry::kBatch, Way::kImport, true, Fault::kKill},
};

// Whether a hidden file beside `target` holds `bytes`.
bool SetAside(const std::string& target, const std::string& bytes) {
  for (const auto& entry : fs::directory_iterator(fs::path(target).parent_path())) {
    const std::string name = entry.path().filename().string();
    if (name.rfind(".~", 0) == 0 && ReadFile(entry.path()) == bytes) return true;
  }
  return false;
}

TEST(TargetsKept, FailingFilesFullFileSystemsAndKilledRuns) {
  std::vector<std::string> unmounted;
  for (const Case& c : kCases) {
    SCOPED_TRACE(c.name);
    Installation install;
    const fs::path root = install.root();
    const std::string source = (root / "S").string();
    const std::string target = c.sameFolder ? source : (root / "T").string();
    fs::create_directories(source);
    std::optional<SmallFileSystem> small;
    if (c.fault == Fault::kFullDisk && !small.emplace(target).Mounted()) {
      unmounted.push_back(c.name);
      continue;
    }
    fs::create_directories(target);

    const bool import = c.way == Way::kImport;
    const int files = c.fault == Fault::kKill ? 12 : 3;
    std::vector<std::string> sources, kinds = {import ? "qxp" : "kxq"};
    if (c.way == Way::kBoth) kinds.push_back("pdf");
    // Everything that must stay as it was, with its bytes; the translator's
    // container and the client's PDF lie in the source folder.
    std::vector<std::pair<std::string, std::string>> kept;
    if (c.way == Way::kBoth) {
      kept = {{source + "/doc_fr.kxq", "the translator's container"},
              {source + "/client_brief.pdf", "%PDF-1.4 brief"}};
    }
    std::vector<std::pair<std::string, std::string>> earlier;  // target, its bytes before
    for (int i = 0; i < files; ++i) {
      const std::string name = (i < 9 ? "f0" : "f") + std::to_string(i + 1);
      sources.push_back(source + "/" + name + (import ? ".kxq" : ".qxp"));
      // The first source of a run that fails is damaged.
      const bool damaged = i == 0 && c.fault == Fault::kFailingFile;
      const std::string& container = TranslatedContainer();
      std::string bytes = import ? container : testutil::ExportDocument(2, 2 + i);
      if (damaged) bytes = import ? container.substr(0, container.size() / 2) : "no document";
      // An export saves the documents it tags; the damaged one and every
      // container stay as they were.
      if (import || damaged) {
        kept.emplace_back(sources.back(), bytes);
      } else {
        WriteFile(sources.back(), bytes);
      }
      for (const std::string& kind : kinds) {
        // Earlier documents are the user's own, which the host opens.
        earlier.emplace_back(target + "/" + name + "." + kind,
                             import ? testutil::ExportDocument(1, 1 + i) : "earlier " + kind + " of " + name);
      }
    }
    for (const auto& [path, bytes] : kept) WriteFile(path, bytes);
    for (const auto& [path, bytes] : earlier) WriteFile(path, bytes);
    if (small) small->Fill();

    std::vector<std::string> args;
    if (c.entry == Entry::kBatch) {
      const std::string job = (root / "job.ini").string();
      install.WriteSettings("[Path]\nBatchFilePath = " + job + "\n");
      WriteFile(job, std::string("[General]\nMode = ") + (import ? "Import" : "Export") +
                         "\n[Path]\nSource = " + source + "\nTarget = " + target + "\n" +
                         (c.way == Way::kBoth ? "PdfDir = " + target + "\n" : ""));
      args = {"start", "idle", "40"};
    } else if (import) {
      install.WriteSettings("[Options]\nextendedInterface = True\n[Path]\nSourceKXQPath = " + source +
                            "\nTargetBookPath = " + target + "\n");
      args = {"--answer", "Import", "--answer", "Yes", "start", "menu", "Import multiple Solvane files"};
    } else {
      install.WriteSettings("[Options]\nextendedInterface = True\n[Path]\nTargetKXQPath = " + target +
                            "\nTargetPDFPath = " + target + "\n");
      const char* choice = c.way == Way::kBoth ? "Generate KXQ files;Generate PDF files;OK" : "Generate KXQ files;OK";
      args = {"--answer", source, "--answer", choice, "--answer", "Export", "--answer", "Yes",
              "--answer", "Yes", "start", "menu", "Export multiple documents"};
    }

    if (c.fault == Fault::kKill) {
      // Killed once three targets changed.
      const auto changed = [&] {
        int n = 0;
        for (const auto& [path, bytes] : earlier) n += ReadFile(path) != bytes ? 1 : 0;
        return n >= 3;
      };
      ASSERT_TRUE(KillWhen(install, args, changed)) << "the run ended before it was killed";
    } else {
      const HostRun run = RunHost(install, args);
      ASSERT_TRUE(Clean(run)) << run.errors;
      ExpectFailedRun(run, c.said);
      // Nothing is left beside the targets.
      std::set<std::string> names;
      const auto name = [&](const std::string& path) {
        if (fs::path(path).parent_path() == target) names.insert(fs::path(path).filename().string());
      };
      for (const std::string& path : sources) name(path);
      for (const auto& [path, bytes] : kept) name(path);
      for (const auto& [path, bytes] : earlier) name(path);
      if (small) names.insert(".filler");
      EXPECT_EQ(testutil::Entries(target), names);
    }

    for (const auto& [path, bytes] : kept) EXPECT_TRUE(ReadFile(path) == bytes) << path;
    std::vector<std::string> triples;
    for (size_t i = 0; i < earlier.size(); ++i) {
      triples.insert(triples.end(), {kinds[i % kinds.size()], earlier[i].first, sources[i / kinds.size()]});
    }
    const std::vector<std::string> seen = Witness(triples);
    ASSERT_EQ(seen.size(), earlier.size());
    // A killed run replaced the targets of its first files, each whole (it
    // was killed once three had changed); the rest are as they were.  The
    // document an import was making when the run was killed is the
    // import's own matter: its earlier document is at its name or set
    // aside beside it.
    size_t from = 0;
    if (c.fault == Fault::kKill) {
      while (from < seen.size() && seen[from] == "new") ++from;
      EXPECT_GE(from, import ? 2u : 3u);
      if (import && from < earlier.size() && ReadFile(earlier[from].first) != earlier[from].second) {
        EXPECT_TRUE(SetAside(earlier[from].first, earlier[from].second)) << earlier[from].first;
        ++from;
      }
    }
    for (size_t i = from; i < earlier.size(); ++i) {
      const auto& [path, bytes] = earlier[i];
      // The targets of the first source of a failing run stay.
      if (c.fault == Fault::kFailingFile && i >= kinds.size()) {
        EXPECT_EQ(seen[i], "new") << path;
      } else {
        EXPECT_TRUE(ReadFile(path) == bytes) << path;
      }
    }
  }
  if (!unmounted.empty()) GTEST_SKIP() << "no file system could be mounted for " << unmounted.front();
}

// Two sources of a run with one target: the first writes it, the second
// fails with an "ERROR:" line naming both, and the run ends in the failure
// message.
TEST(TargetsKept, TwoSourcesOfOneTarget) {
  struct TwoSources {
    const char* name;
    Entry entry;
    bool pdf;
    bool flat;  // both folder settings off: sub-folders of the source are left out of the target
  };
  const TwoSources cases[] = {
      {"menu export", Entry::kMenu, false, false},
      {"batch export", Entry::kBatch, false, false},
      {"batch export into one flat folder", Entry::kBatch, false, true},
      {"batch PDF files", Entry::kBatch, true, false},
  };
  for (const TwoSources& c : cases) {
    SCOPED_TRACE(c.name);
    Installation install;
    const std::string source = (install.root() / "S").string(), target = (install.root() / "T").string();
    const std::string first = source + (c.flat ? "/x/book.qxp" : "/book.qxp");
    const std::string second = source + (c.flat ? "/y/book.qxp" : "/book.qxt");
    const std::string kind = c.pdf ? "pdf" : "kxq";
    const std::string book = target + "/book." + kind;
    for (const std::string& folder : {source + "/x", source + "/y", target}) fs::create_directories(folder);
    WriteFile(first, testutil::ExportDocument(2, 2));
    WriteFile(second, testutil::ExportDocument(3, 3));
    WriteFile(book, "earlier book");
    const std::string options = std::string("[Options]\nextendedInterface = True\n") +
                                (c.flat ? "mapSourceFoldersToTarget = False\n" : "");
    HostRun run;
    if (c.entry == Entry::kMenu) {
      install.WriteSettings(options + "[Path]\nTargetKXQPath = " + target + "\n");
      run = RunHost(install, {"--answer", source, "--answer", "Generate KXQ files;OK", "--answer", "Export",
                              "--answer", "Yes", "start", "menu", "Export multiple documents"});
    } else {
      const std::string job = (install.root() / "job.ini").string();
      install.WriteSettings(options + "[Path]\nBatchFilePath = " + job + "\n");
      WriteFile(job, "[General]\nMode = Export\nRecursive = True\n[Path]\nSource = " + source + "\n" +
                         (c.pdf ? "PdfDir = " : "Target = ") + target + "\n");
      run = RunHost(install, {"start", "idle", "40"});
    }
    ASSERT_TRUE(Clean(run)) << run.errors;
    ExpectFailedRun(run);
    EXPECT_EQ(Count(run.log, "\nERROR: \"" + second + "\" not converted: its target \"" + book +
                                 "\" was written from \"" + first + "\" in this run\n"),
              1u)
        << run.log;
    EXPECT_EQ(Count(run.log, "\nERROR: "), 1u) << run.log;
    EXPECT_EQ(Witness({kind, book, first}), std::vector<std::string>{"new"});
    EXPECT_EQ(testutil::Entries(target), std::set<std::string>{"book." + kind});
  }
}

// Shared-folder server jobs over a result that is there already: one into
// a full folder, one of a damaged container, one whose source is its own
// target leave it as it was; a job that succeeds replaces it whole.
TEST(TargetsKept, ServerJobs) {
  struct Job {
    const char* name;
    const char* command;
    std::string source, sourceBytes;  // the source's name in the job's folder, else beside it
    const char* result;               // the file the job writes in its folder
    bool full, replaced;
  };
  const std::string document = testutil::ExportDocument(2, 2), container = TranslatedContainer();
  const std::vector<Job> jobs = {
      {"exportkxt into a full folder", "exportkxt", "doc.qxp", document, "T.kxq", true, false},
      {"exportqxp of a damaged container", "exportqxp", "damaged.kxq", container.substr(0, container.size() / 2),
       "T.qxp", false, false},
      {"exportpdf of a document that is its own target", "exportpdf", "T.pdf", document, "T.pdf", false, false},
      {"exportkxt that succeeds", "exportkxt", "doc.qxp", document, "T.kxq", false, true},
  };
  Installation install;
  const fs::path root = install.root();
  const uint16_t port = FreePort();
  install.WriteSettings("[Server]\nserverMode = True\nlistenPort = " + std::to_string(port) + "\n");
  std::vector<std::string> clientArgs;
  std::vector<std::unique_ptr<SmallFileSystem>> mounts(jobs.size());
  std::vector<std::string> folders, earlier, unmounted;
  for (size_t i = 0; i < jobs.size(); ++i) {
    const Job& job = jobs[i];
    folders.push_back((root / ("job" + std::to_string(i))).string());
    if (job.full) {
      mounts[i] = std::make_unique<SmallFileSystem>(folders.back());
      if (!mounts[i]->Mounted()) unmounted.push_back(job.name);
    }
    fs::create_directories(folders.back() + "/in");
    const bool own = job.source == job.result;
    const std::string source = folders.back() + (own ? "/" : "/in/") + job.source;
    WriteFile(source, job.sourceBytes);
    // An earlier result is the user's: a document for an import, else any bytes.
    earlier.push_back(own ? job.sourceBytes : job.command == std::string("exportqxp") ? document : "earlier result");
    WriteFile(folders.back() + "/" + job.result, earlier.back());
    if (mounts[i] && mounts[i]->Mounted()) mounts[i]->Fill();
    clientArgs.insert(clientArgs.end(), {job.command, source, folders.back()});
  }
  setenv("CLIENT_DIR", BRENIX_TEST_DATA "/../common", 1);
  std::vector<std::string> argv = {BRENIX_PYTHON, "-c",
                                   std::string("def main():\n"
                                               "    a = sys.argv[2:]\n"
                                               "    for command, source, folder in zip(a[::3], a[1::3], a[2::3]):\n"
                                               "        c = connect(); login(c)\n"
                                               "        print(shared_folder_job(c, command, source, folder, 'T'))\n"
                                               "        c.close()\n") +
                                       kPrelude,
                                   std::to_string(port)};
  argv.insert(argv.end(), clientArgs.begin(), clientArgs.end());
  testutil::ChildProcess client(argv);
  const HostRun run = RunHost(install, {"start", "idle", "1"});
  ASSERT_EQ(client.Wait(60), 0) << client.Output();
  ASSERT_TRUE(Clean(run)) << run.errors;
  for (size_t i = 0; i < jobs.size(); ++i) {
    const Job& job = jobs[i];
    SCOPED_TRACE(job.name);
    if (mounts[i] && !mounts[i]->Mounted()) continue;
    const std::string result = folders[i] + "/" + job.result;
    if (job.replaced) {
      EXPECT_EQ(Witness({"kxq", result, folders[i] + "/in/" + job.source}), std::vector<std::string>{"new"});
    } else {
      EXPECT_TRUE(ReadFile(result) == earlier[i]) << result;
    }
    // Nothing is left beside it.
    std::set<std::string> names = {job.result, "in"};
    if (job.full) names.insert(".filler");
    EXPECT_EQ(testutil::Entries(folders[i]), names);
  }
  if (!unmounted.empty()) GTEST_SKIP() << "no file system could be mounted for " << unmounted.front();
}

}  // namespace
