// Conversion jobs in process, against the Python client written from the
// protocol: every server conversion type with its job text, targets and
// results; socket-mode transfers plain and compressed; failed, empty and
// throwing conversions; refused names; the job folder, its mark against a
// server starting meanwhile, and the heartbeat.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <regex>
#include <set>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#include "shared/server/conversion.h"
#include "shared/server/job_folder_lock.h"
#include "shared/server/server_job_util.h"
#include "shared/server/transport_util.h"
#include "support/settings.h"
#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace {

namespace fs = std::filesystem;

// A probe run at the next lock of a file right in g_folder (then ""): a
// server starting, or (g_holdLock) a probe that holds that file's lock.
std::string g_folder;
bool g_holdLock = false;
int g_held = -1;
// Locks in g_folder let pass before the probe's.
int g_skipLocks = 0;
// Whether link(2) fails as on a file system without hard links.
bool g_noLinks = false;

}  // namespace

extern "C" int link(const char* from, const char* to) {
  if (!g_noLinks) return static_cast<int>(::syscall(SYS_linkat, AT_FDCWD, from, AT_FDCWD, to, 0));
  errno = EPERM;
  return -1;
}

std::vector<std::set<std::string>> g_besideMark;  // what was beside each job folder's mark as it went
extern "C" int unlink(const char* path) {
  const fs::path file(path);
  if (file.filename() == ".server.pid") g_besideMark.push_back(testutil::Entries(file.parent_path().string()));
  return static_cast<int>(::syscall(SYS_unlinkat, AT_FDCWD, path, 0));
}

extern "C" int flock(int fd, int operation) {
  const std::string self = "/proc/self/fd/" + std::to_string(fd);
  std::error_code error;
  if (!g_folder.empty() && fs::read_symlink(self, error).parent_path() == g_folder && g_skipLocks-- <= 0) {
    const fs::path base = fs::path(std::exchange(g_folder, "")).parent_path();
    if (!g_holdLock) RemoveDeadJobFolders(base.string(), false);
    g_held = g_holdLock ? ::open(self.c_str(), O_RDONLY | O_CLOEXEC) : -1;
    ::syscall(SYS_flock, g_held, LOCK_EX | LOCK_NB);
  }
  return static_cast<int>(::syscall(SYS_flock, fd, operation));
}

namespace {

using testutil::Entries;
using testutil::Exists;
using testutil::ReadFile;
using testutil::WriteFile;

const char kSharedJob[] = R"PY(
c = Client(port)
print(json.dumps(shared_folder_job(c, *sys.argv[1:5])))
c.close()
)PY";

// argv: command, source name, source file, target name, compress (0/1),
// folder for the results.
const char kSocketJob[] = R"PY(
c = Client(port)
data = open(sys.argv[3], 'rb').read()
job = socket_job(c, sys.argv[1], sys.argv[2], data, sys.argv[4], sys.argv[5] == '1')
for r in job['results']:
    open(os.path.join(sys.argv[6], r['name']), 'wb').write(r['data'])
print(json.dumps({'text': job['text'], 'end': job['end'], 'compressed': [r['compressed'] for r in job['results']],
                  'names': [r['name'] for r in job['results']]}))
c.close()
)PY";

class JobTest : public TransportTest {
 protected:
  JobTest() {
    mkdir(dir_.File("tmp").c_str(), 0777);
    mkdir(dir_.File("out").c_str(), 0777);
    mkdir(dir_.File("got").c_str(), 0777);
    Settings("clearTempFiles = True\n");
  }
  void Settings(const std::string& server) {
    LoadServerSettings(dir_.path(), server, "TemporaryPath = " + dir_.File("tmp") + "\n");
  }
  // Runs a job of `type` against the client program; the client's output.
  std::string RunJob(uint32_t type, const std::string& body, const std::vector<std::string>& args, bool& result) {
    StartClient(body, args);
    // The command line, which the command table reads in the server.
    EXPECT_EQ(conn_.readLine(true, '\n'), args[0]);
    ct_Conversion job(&conn_, type);
    result = job.Run();
    return FinishClient();
  }
  std::string Source(const std::string& name, const std::string& bytes = "source bytes\n") {
    WriteFile(dir_.File(name), bytes);
    return dir_.File(name);
  }

  RecordingRunner runner_;
};

struct TypeCase {
  const char* command;
  uint32_t type;
  const char* source;
  const char* target;
  const char* text;
  std::vector<std::string> calls;
};

TEST_F(JobTest, EveryTypeSendsItsTextAndMakesItsTargetsInTheSharedFolder) {
  const std::vector<TypeCase> cases = {
      {"exportjpgs", 0, "doc.qxp", "report", "export jpgs", {}},
      {"exportpdf", 1, "doc.qxp", "report.pdf", "export pdf", {"doc.qxp -> report.pdf 0>3"}},
      {"exportpdf", 1, "doc.qxp", "report", "export pdf", {"doc.qxp -> report.pdf 0>3"}},
      {"exportpdf", 1, "doc.qxp", "report.txt", "export pdf", {"doc.qxp -> report.txt.pdf 0>3"}},
      {"exportpdfandoverset", 2, "doc.qxp", "r", "export pdf and overset", {"doc.qxp -> r.pdf 0>3"}},
      {"exportkxt", 3, "doc.qxp", "doc", "export kxt", {"doc.qxp -> doc.kxq 0>2"}},
      {"exportkxqandpdf", 4, "doc.qxp", "doc.kxq", "export kxt and pdf",
       {"doc.qxp -> doc.kxq 0>2", "doc.qxp -> doc.pdf 0>3"}},
      {"exportkxtandpdfandoverset", 5, "d.pdf", "doc.pdf", "export kxt and pdf and overset",
       {"d.pdf -> doc.kxq 0>2", "d.qxp -> doc.pdf 0>3"}},
      {"exportkxtandpdf", 4, "d.qxd", "doc", "export kxt and pdf",
       {"d.qxd -> doc.kxq 0>2", "d.qxd -> doc.pdf 0>3"}},
      {"exportqxp", 6, "doc.kxq", "tr", "export indd", {"doc.kxq -> tr.qxp 2>0"}},
      {"exportinddandpdf", 7, "doc.kxq", "tr", "export indd and pdf",
       {"doc.kxq -> tr.qxp 2>0", "tr.qxp -> tr.pdf 0>3", "tr.qxp -> tr.coo 0>5"}},
      {"exportqxpandpdfandoverset", 8, "doc.kxq", "tr.qxp", "export indd and pdf and overset",
       {"doc.kxq -> tr.qxp 2>0", "tr.qxp -> tr.pdf 0>3", "tr.qxp -> tr.coo 0>5"}},
  };
  for (const TypeCase& c : cases) {
    SCOPED_TRACE(std::string(c.command) + " " + c.target);
    runner_.calls.clear();
    testutil::RemoveTree(dir_.File("out"));
    mkdir(dir_.File("out").c_str(), 0777);
    bool result = false;
    const std::string out =
        RunJob(c.type, kSharedJob, {c.command, Source(c.source), dir_.File("out") + "//", c.target}, result);
    EXPECT_EQ(out, std::string("[\"") + c.text +
                       "\", \"filename ok\", \"target folder ok\", \"target name ok\", \"export finished\"]\n");
    EXPECT_EQ(runner_.calls, c.calls);
    EXPECT_EQ(result, !c.calls.empty());
    for (const std::string& call : c.calls) {
      const std::string target = call.substr(call.find(" -> ") + 4, call.rfind(' ') - call.find(" -> ") - 4);
      const std::string from = call.substr(0, call.find(' '));
      EXPECT_EQ(ReadFile(dir_.File("out/" + target)),
                ConvertedBytes(from, static_cast<FileKind>(call.back() - '0')));
    }
  }
  // The target folder arrived with two trailing separators.
  bool found = false;
  for (const auto& record : log_.records()) found = found || record.second == "WARNING: Removed 2 path separators.";
  EXPECT_TRUE(found);
}

TEST_F(JobTest, RefusalsEndTheJobAndNamesThatLeaveTheFolderWriteNothing) {
  struct Refusal {
    std::string source, folder, name, last;
  };
  const std::string src = Source("doc.qxp");
  const std::vector<Refusal> cases = {
      {dir_.File("missing.qxp"), "", "", "Could not open file '" + dir_.File("missing.qxp") + "'."},
      {dir_.File("out"), "", "", "Could not open file '" + dir_.File("out") + "'."},
      {src, dir_.File("nowhere"), "", "Target folder '" + dir_.File("nowhere") + "' does not exist."},
      {src, src, "", "Target folder '" + src + "' does not exist."},
      {src, dir_.File("out"), "", "target file name missing."},
      {src, dir_.File("out"), "../x", "target file name missing."},
      {src, dir_.File("out"), "../../x.pdf", "target file name missing."},
      {src, dir_.File("out"), "sub/x", "target file name missing."},
      {src, dir_.File("out"), "..", "target file name missing."},
  };
  const std::set<std::string> before = Entries(dir_.path());
  for (const Refusal& c : cases) {
    SCOPED_TRACE(c.source + " " + c.folder + " " + c.name);
    bool result = true;
    const std::string out = RunJob(1, kSharedJob, {"exportpdf", c.source, c.folder, c.name}, result);
    EXPECT_FALSE(result);
    EXPECT_NE(out.find("\"" + c.last + "\"]"), std::string::npos) << out;
  }
  EXPECT_TRUE(runner_.calls.empty());
  EXPECT_EQ(Entries(dir_.path()), before);
  EXPECT_TRUE(Entries(dir_.File("out")).empty());
}

TEST_F(JobTest, FailedEmptyOrThrowingTasksStillEndTheDialogue) {
  struct Failure {
    std::vector<FileKind> fail, empty, raise;
  };
  const std::vector<Failure> cases = {{{kFileKindKxq}, {}, {}}, {{}, {kFileKindKxq}, {}}, {{}, {}, {kFileKindKxq}}};
  for (const Failure& c : cases) {
    runner_.calls.clear();
    runner_.fail = c.fail;
    runner_.empty = c.empty;
    runner_.raise = c.raise;
    bool result = true;
    const std::string out =
        RunJob(4, kSharedJob, {"exportkxtandpdf", Source("doc.qxp"), dir_.File("out"), "doc"}, result);
    EXPECT_FALSE(result);
    EXPECT_NE(out.find("\"target name ok\", \"export finished\"]"), std::string::npos) << out;
    // The second task runs whatever the first gave.
    EXPECT_EQ(runner_.calls, (std::vector<std::string>{"doc.qxp -> doc.kxq 0>2", "doc.qxp -> doc.pdf 0>3"}));
  }
}

struct SocketCase {
  bool compress;
  const char* command;
  const char* source;
  uint32_t type;
  std::vector<FileKind> fail;
  std::vector<std::string> names;  // the results, in order
  bool result;
};

TEST_F(JobTest, SocketJobsSendTheResultsOfTheTasksThatWorked) {
  const std::vector<SocketCase> cases = {
      {false, "exportkxtandpdf", "doc.qxp", 4, {}, {"doc.kxq", "doc.pdf"}, true},
      {true, "exportkxtandpdf", "doc.qxp", 4, {}, {"doc.kxq", "doc.pdf"}, true},
      {true, "exportkxtandpdf", "doc.qxp", 4, {kFileKindKxq}, {"doc.pdf"}, false},
      {false, "exportqxpandpdf", "doc.kxq", 7, {}, {"doc.qxp", "doc.pdf", "doc.coo"}, true},
      {false, "exportpdf", "doc.kxq", 1, {}, {"doc.pdf"}, true},
      {false, "exportjpgs", "doc.qxp", 0, {}, {}, false},
  };
  const std::string source = Source("upload.bin", RandomBytes(7, 100000));
  for (const SocketCase& c : cases) {
    SCOPED_TRACE(std::string(c.command) + (c.compress ? " compressed" : " plain"));
    runner_.fail = c.fail;
    runner_.targets.clear();
    testutil::RemoveTree(dir_.File("got"));
    mkdir(dir_.File("got").c_str(), 0777);
    bool result = !c.result;
    const std::string out = RunJob(c.type, kSocketJob,
                                   {c.command, c.source, source, "doc", c.compress ? "1" : "0", dir_.File("got")}, result);
    EXPECT_EQ(result, c.result);
    std::string names, flags;
    for (const std::string& n : c.names) {
      names += std::string(names.empty() ? "" : ", ") + "\"" + n + "\"";
      flags += std::string(flags.empty() ? "" : ", ") + (c.compress ? "true" : "false");
    }
    EXPECT_NE(out.find("\"end\": \"export finished\", \"compressed\": [" + flags + "], \"names\": [" + names + "]"),
              std::string::npos)
        << out;
    for (const std::string& n : c.names) {
      const std::string from = n == "doc.qxp" || n == "doc.kxq" ? c.source : "doc.qxp";
      EXPECT_EQ(ReadFile(dir_.File("got/" + n)), ConvertedBytes(from, GetFileKindOfPath(n, false)));
    }
    // The job folder went, and so did the intermediate document's (each mark last).
    EXPECT_TRUE(Entries(dir_.File("tmp")).empty());
    using Sets = std::set<std::set<std::string>>;
    EXPECT_EQ(Sets(g_besideMark.begin(), g_besideMark.end()), Sets{std::set<std::string>{".server.pid"}});
    for (const std::string& target : runner_.targets) EXPECT_FALSE(Exists(target.substr(0, target.rfind('/'))));
  }
}

TEST_F(JobTest, WithoutClearingTheReceivedSourceStaysAsUploaded) {
  Settings("clearTempFiles = False\n");
  const std::string data = RandomBytes(8, 70000);
  const std::string source = Source("upload.bin", data);
  bool result = false;
  RunJob(3, kSocketJob, {"exportkxt", "doc.qxp", source, "doc", "1", dir_.File("got")}, result);
  EXPECT_TRUE(result);
  const std::set<std::string> jobs = Entries(dir_.File("tmp"));
  ASSERT_EQ(jobs.size(), 1u);
  const std::string job = dir_.File("tmp/" + *jobs.begin());
  EXPECT_EQ(ReadFile(job + "/incoming/doc.qxp"), data);
  EXPECT_EQ(fs::status(job).permissions(), fs::perms(0700));  // the server's user's alone
  EXPECT_EQ(fs::status(job + "/incoming/doc.qxp").permissions(), fs::perms(0600));
  EXPECT_EQ(ReadFile(job + "/doc.kxq"), ConvertedBytes("doc.qxp", kFileKindKxq));
}

TEST_F(JobTest, AnUploadThatBreaksOffLeavesTheSourceAsMadeBeforeTheData) {
  testutil::PinnedClock clock;
  Settings("clearTempFiles = False\n");
  bool result = true;
  RunJob(3,
         R"PY(
c = Client(port)
c.send_line(sys.argv[1])
for line, answer in ((None, 'export kxt'), (SOCKET_TRANSFER, 'file_sock_transfer ok'),
                     ('file_transfer_start', 'file_transfer_start ok'), ('doc.qxp', 'filename ok'), ('9', 'size ok')):
    if line:
        c.send_line(line)
    c.expect(answer)
c.send_raw(block(0, b'partial'))
c.close()
)PY",
         {"exportkxt"}, result);
  EXPECT_FALSE(result);
  const std::set<std::string> jobs = Entries(dir_.File("tmp"));
  ASSERT_EQ(jobs.size(), 1u);
  const std::string incoming = dir_.File("tmp/" + *jobs.begin() + "/incoming");
  EXPECT_EQ(Entries(incoming), std::set<std::string>{"doc.qxp"});
  EXPECT_EQ(ReadFile(incoming + "/doc.qxp"), "2026-03-05 07:04:09\n");
}

// A job whose task throws, as no task of ct_Conversion does.
class ThrowingJob : public ct_ConversionBase {
 public:
  using ct_ConversionBase::ct_ConversionBase;
  bool doExport(uint32_t, const std::string&, const std::string&) override { throw std::runtime_error("task"); }
  bool closeAllDocuments() override { return true; }
};

TEST_F(JobTest, AJobThatThrowsLeavesNoJobFolder) {
  StartClient(kSocketJob, {"exportkxt", "doc.qxp", Source("upload.bin"), "doc", "0", dir_.File("got")});
  EXPECT_EQ(conn_.readLine(true, '\n'), "exportkxt");
  EXPECT_THROW(ThrowingJob(&conn_, 3).Run(), std::runtime_error);
  conn_.closeClient();
  EXPECT_NE(FinishClient().find("\"end\": null"), std::string::npos);
  EXPECT_TRUE(Entries(dir_.File("tmp")).empty());
}

TEST_F(JobTest, JobFoldersAreNeverShared) {
  testutil::PinnedClock clock;
  ct_Conversion one(&conn_, 1), two(&conn_, 1);
  ASSERT_TRUE(one.CreateTmpFolder());
  ASSERT_TRUE(two.CreateTmpFolder());
  const std::set<std::string> made = Entries(dir_.File("tmp"));
  ASSERT_EQ(made.size(), 2u);
  for (const std::string& name : made) {
    EXPECT_TRUE(std::regex_match(name, std::regex("PELMO_20260305070409_[A-Z]{16}"))) << name;
    EXPECT_TRUE(testutil::IsDirectory(dir_.File("tmp/" + name + "/incoming")));
  }
  // Without clearTempFiles nothing is removed.
  Settings("clearTempFiles = False\n");
  EXPECT_FALSE(one.RemoveTmpFolder());
  Settings("clearTempFiles = True\n");
  EXPECT_TRUE(one.RemoveTmpFolder());
  EXPECT_EQ(Entries(dir_.File("tmp")).size(), 1u);
}

TEST_F(JobTest, TheHeartbeatRewritesItsFileWithTheTime) {
  testutil::PinnedClock clock;
  mkdir(dir_.File("alive").c_str(), 0777);
  for (const std::string& folder : {dir_.File("alive"), dir_.File("alive") + "/"}) {
    WriteFile(dir_.File("alive/ServerAlive"), "an older and longer heartbeat line\n");
    LoadServerSettings(dir_.path(), "", "ServerAlivePath = " + folder + "\n");
    WriteServerAlive();
    EXPECT_EQ(ReadFile(dir_.File("alive/ServerAlive")), "2026-03-05 07:04:09\n");
  }
  // A link planted at the name is replaced; the file it names stays as it was.
  WriteFile(dir_.File("victim"), "not the server's\n");
  testutil::RemoveTree(dir_.File("alive/ServerAlive"));
  ASSERT_EQ(symlink(dir_.File("victim").c_str(), dir_.File("alive/ServerAlive").c_str()), 0);
  WriteServerAlive();
  EXPECT_EQ(ReadFile(dir_.File("victim")), "not the server's\n");
  struct stat alive {};
  ASSERT_EQ(lstat(dir_.File("alive/ServerAlive").c_str(), &alive), 0);
  EXPECT_TRUE(S_ISREG(alive.st_mode));
  EXPECT_EQ(ReadFile(dir_.File("alive/ServerAlive")), "2026-03-05 07:04:09\n");
  EXPECT_EQ(Entries(dir_.File("alive")), std::set<std::string>{"ServerAlive"});
  testutil::RemoveTree(dir_.File("alive/ServerAlive"));
  // The default, a blank, counts as unset.
  ASSERT_TRUE(Settings::Instance().SetValue(SettingsKey::ServerAlivePath, " ", true, false));
  WriteServerAlive();
  EXPECT_FALSE(Exists(dir_.File("alive/ServerAlive")));
}

// Whatever probes the folder while a job marks it, the job keeps the
// folder, its partial files and a locked mark of mode 0644, also where the
// file system has no hard links.
TEST(JobFolderLock, AProbeWhileTheMarkIsMadeLeavesTheLiveJobItsFolderAndItsMark) {
  const std::pair<bool, bool> rows[] = {{false, false}, {true, false}, {false, true}};
  for (const auto& [holdLock, noLinks] : rows) {
    SCOPED_TRACE(std::string(holdLock ? "a probe holds the lock" : "a server starts") + (noLinks ? ", no links" : ""));
    testutil::TempDir base;
    const fs::path folder = fs::canonical(base.path()) / "PELMO_20240307090501_LIVEJOBQWERTYUIO";
    fs::create_directories(folder / "incoming");
    WriteFile((folder / "incoming/.AbCdEfGhIjKlM").string(), "received so far");
    g_folder = folder.string();
    g_holdLock = holdLock;
    g_noLinks = noLinks;
    // Without links the mark is locked after it is made at its name: the
    // probe comes right then.
    g_skipLocks = noLinks ? 1 : 0;
    {
      const mode_t mask = ::umask(0);
      JobFolderLock lock(folder.string());
      ::umask(mask);
      g_noLinks = false;
      ::close(std::exchange(g_held, -1));
      const int mark = ::open((folder / ".server.pid").c_str(), O_RDONLY | O_CLOEXEC);
      EXPECT_NE(::syscall(SYS_flock, mark, LOCK_EX | LOCK_NB), 0) << "the mark missing or unlocked";
      EXPECT_EQ(fs::status(folder / ".server.pid").permissions(), fs::perms(0644));
      ::close(mark);
      EXPECT_EQ(Entries(folder.string()), (std::set<std::string>{".server.pid", "incoming"}));
      EXPECT_TRUE(Exists((folder / "incoming/.AbCdEfGhIjKlM").string()));
    }
    EXPECT_EQ(Entries(folder.string()), std::set<std::string>{"incoming"});
  }
}

TEST(DoExport, ConvertsByOutputIndexAndSourceKind) {
  struct Case {
    uint32_t type, index;
    std::string source;
    std::vector<FileKind> fail;
    std::vector<std::string> calls;
    bool result;
  };
  const std::vector<Case> cases = {
      {1, 2, "/d/a.qxp", {}, {"a.qxp -> t.pdf 0>3"}, true},
      {7, 2, "/d/a.qxp", {}, {"a.qxp -> t.pdf 0>3", "a.qxp -> t.coo 0>5"}, true},
      {8, 2, "/d/a.qxp", {kFileKindPdf}, {"a.qxp -> t.pdf 0>3"}, false},
      {8, 2, "/d/a.qxp", {kFileKindCoo}, {"a.qxp -> t.pdf 0>3", "a.qxp -> t.coo 0>5"}, false},
      {3, 1, "/d/a.KXQ", {}, {"a.KXQ -> t.kxq 2>2"}, true},
      {3, 1, "/d/a.pdf", {}, {"a.pdf -> t.kxq 0>2"}, true},
      {6, 0, "/d/a", {}, {"a -> t.qxp 0>0"}, true},
      {0, 3, "/d/a.qxp", {}, {}, false},
      {0, 4, "/d/a.qxp", {}, {}, false},
      {0, 5, "/d/a.qxp", {}, {}, false},
      {0, 6, "/d/a.qxp", {}, {}, false},
      {0, 7, "/d/a.qxp", {}, {}, false},
  };
  testutil::TempDir dir("doexport");
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.type) + " " + std::to_string(c.index) + " " + c.source);
    RecordingRunner runner;
    runner.fail = c.fail;
    ct_Conversion job(nullptr, c.type);
    testing::internal::CaptureStdout();
    const bool result = job.doExport(c.index, c.source, dir.File(std::string("t") + FileExtensionTable[std::min(c.index, 7u)]));
    const std::string out = testing::internal::GetCapturedStdout();
    EXPECT_EQ(result, c.result);
    EXPECT_EQ(runner.calls, c.calls);
    EXPECT_EQ(out.find("\nERROR: Unknown file type extension!\n") != std::string::npos, c.index == 5 || c.index == 6);
  }
}

}  // namespace
