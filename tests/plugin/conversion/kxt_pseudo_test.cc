// Pseudo-translated containers: the rule against its Python twin, and the
// copy of the exported fixture compared with its source by python3-olefile
// and the twin (only Unicodes runs differ, each as the twin rewrites it;
// --identity changes nothing); the program's exit statuses.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "framework/failures.h"
#include "host/host.h"
#include "tests/common/big_book.h"
#include "tests/common/files.h"
#include "tests/common/private_mount.h"
#include "tests/common/kxt_pseudo_py.h"
#include "tests/common/python.h"
#include "tests/common/run_command.h"
#include "tests/plugin/conversion/export_harness.h"
#include "tests/plugin/mixer/mixer_host_util.h"
#include "tools/kxtpseudo/kxt_pseudo.h"

namespace {

TEST(PseudoText, AgreesWithTheTwinAndTheHandWrittenCases) {
  using namespace std::string_literals;
  const std::u16string e = u"\u00e9\u4e2d";
  struct Case {
    std::u16string in, out;
  };
  const Case cases[] = {
      {u"", u""},
      {u"Hello world", u"Hello" + e + u" world" + e},
      {u"  page 12, line 3.", u"  page" + e + u" 12" + u"," + e + u" line" + e + u" 3" + u"." + e},
      {u"a\u00a0b\tc\rd\u0000e"s, u"a" + e + u"\u00a0b" + e + u"\tc" + e + u"\rd" + e + u"\u0000e"s + e},
      {u"!\u0021\u0020\u00a1", u"!!" + e + u" \u00a1" + e},
      {u"12 34", u"12 34"},
      {u"\u4e2d\u6587\U0001F600", u"\u4e2d\u6587\U0001F600" + e},
  };
  std::vector<std::string> inputs;
  std::string expected;
  for (const Case& c : cases) {
    EXPECT_EQ(kxtpseudo::PseudoText(c.in), c.out);
    std::string hex;
    for (char16_t unit : c.in) hex += std::to_string(unit) + ",";
    inputs.push_back(hex);
    for (char16_t unit : kxtpseudo::PseudoText(c.in)) expected += std::to_string(unit) + ",";
    expected += "\n";
  }
  const std::string twin = testutil::PythonOutput(testutil::kPseudoRulePy + R"PY(
import sys
for arg in sys.argv[1:]:
    text = ''.join(chr(int(u)) for u in arg.split(',') if u)
    out = pseudo(text).encode('utf-16-le', 'surrogatepass')
    print(''.join('%d,' % int.from_bytes(out[i:i + 2], 'little') for i in range(0, len(out), 2)))
)PY",
                                                  inputs);
  EXPECT_EQ(twin, expected);
}

class PseudoFixture : public ::testing::Test {
 protected:
  void SetUp() override {
    static XTRegisterRec record = xthost::MakeRegisterRec();
    XT().registration = &record;
    host.Open("doc_export.json", "export.qxp");
    ASSERT_TRUE(export_test::ExportCurrentProject(source).stored);
  }

  // The twin's comparison lines.
  std::string Compare(const std::string& copy, bool identity) {
    std::vector<std::string> args = {source, copy};
    if (identity) args.push_back("identity");
    return testutil::PythonOutput(testutil::kPseudoComparePy, args);
  }

  MixerHost host;
  LogCapture log;
  const std::string source = host.Path("export.kxq");
};

TEST_F(PseudoFixture, OnlyUnicodesRunsChangeEachAsTheTwinRewritesIt) {
  const std::string copy = host.Path("pseudo.kxq");
  kxtpseudo::PseudoTranslate(source, copy, false);
  const std::string lines = Compare(copy, false);
  int streams = 0, unicodes = 0, changed = 0;
  ASSERT_EQ(std::sscanf(lines.c_str(), "streams %d unicodes %d changed %d", &streams, &unicodes, &changed), 3)
      << lines;
  EXPECT_EQ(lines.find('\n'), lines.size() - 1) << lines;
  EXPECT_GT(unicodes, 10);
  EXPECT_GT(changed, unicodes / 2);
  EXPECT_LE(changed, unicodes);
}

TEST_F(PseudoFixture, TheIdentityCopyAndTheProgramChangeNothing) {
  const std::string copy = host.Path("same.kxq");
  int status = -1;
  testutil::RunCommand(std::string(KXTPSEUDO_PROGRAM) + " " + testutil::ShellQuote(source) + " " +
                           testutil::ShellQuote(copy) + " --identity",
                       &status);
  ASSERT_EQ(status, 0);
  const std::string lines = Compare(copy, true);
  EXPECT_NE(lines.find(" changed 0\n"), std::string::npos) << lines;
  EXPECT_EQ(lines.find('\n'), lines.size() - 1) << lines;
}

TEST_F(PseudoFixture, TheProgramRefusesBadArgumentsAndBadFiles) {
  const std::string plain = host.Path("plain.txt");
  testutil::WriteFile(plain, "no container");
  const std::string program = KXTPSEUDO_PROGRAM;
  struct Case {
    std::string args;
    int status;
  };
  const Case cases[] = {
      {"", 2},
      {testutil::ShellQuote(source), 2},
      {testutil::ShellQuote(source) + " x.kxq --other", 2},
      {testutil::ShellQuote(source) + " " + testutil::ShellQuote(source), 1},
      {testutil::ShellQuote(plain) + " " + testutil::ShellQuote(host.Path("out.kxq")), 1},
      {testutil::ShellQuote(host.Path("missing.kxq")) + " " + testutil::ShellQuote(host.Path("out2.kxq")), 1},
  };
  const std::string before = testutil::ReadFile(source);
  for (const Case& c : cases) {
    int status = -1;
    testutil::RunCommand(program + " " + c.args, &status);
    EXPECT_EQ(status, c.status) << c.args;
  }
  EXPECT_EQ(testutil::ReadFile(source), before);
}


// Waits for the program at `pid` to have written more than `bytes` into a
// file of its own in `folder` (a name ".~..."), told by inotify, then kills
// it; its wait status.
int KillWhenWritten(pid_t pid, const std::string& folder, off_t bytes) {
  const int watch = ::inotify_init1(IN_CLOEXEC);
  ::inotify_add_watch(watch, folder.c_str(), IN_MODIFY | IN_CLOSE_WRITE);
  alignas(inotify_event) char events[4096];
  for (bool killed = false; !killed;) {
    const ssize_t n = ::read(watch, events, sizeof events);
    if (n <= 0) break;
    for (ssize_t at = 0; at < n && !killed;) {
      const auto* event = reinterpret_cast<const inotify_event*>(events + at);
      struct stat st;
      if (event->len > 0 && std::strncmp(event->name, ".~", 2) == 0 &&
          ::stat((folder + "/" + event->name).c_str(), &st) == 0 && st.st_size > bytes) {
        ::kill(pid, SIGKILL);
        killed = true;
      }
      at += static_cast<ssize_t>(sizeof(inotify_event) + event->len);
    }
  }
  ::close(watch);
  int status = 0;
  ::waitpid(pid, &status, 0);
  return status;
}

// OUT is replaced only by a whole copy: a run killed while it writes, or
// one that fills the disk, leaves the earlier translation byte for byte
// and nothing beside it; and every failure names its file and what is
// wrong with it.
TEST_F(PseudoFixture, OutIsReplacedOnlyWhenWholeAndEachFailureNamesItsFileAndReason) {
  namespace fs = std::filesystem;
  const std::string big = host.Path("big.kxq");
  testutil::WriteBigBook(big, 400);
  const std::string plain = host.Path("plain.txt");
  testutil::WriteFile(plain, "no container");
  // A container whose text-and-code storage holds no code file.
  const std::string empty = host.Path("empty.kxq");
  {
    OLEStorage root(empty.c_str(), kOLECreate);
    OLEStorage textAndCode(root, u"SolvaneTextAndCode", kOLECreate);
  }
  const std::string earlier = "the earlier translation\n";
  const std::string program = KXTPSEUDO_PROGRAM;
  struct Case {
    const char* name;
    std::string in;
    std::string out;
    const char* reason;  // in the message, after the file's name
    bool fullDisk = false;
    bool killed = false;
  };
  const std::string outFolder = host.Path("out");
  const std::string out = outFolder + "/t.kxq";
  const Case cases[] = {
      {"a missing source", host.Path("missing.kxq"), out, "No such file or directory"},
      {"a source that is no container", plain, out, "not a compound file"},
      {"a container without its code file", empty, out, "the container is damaged"},
      {"a missing folder of OUT", source, host.Path("nowhere") + "/t.kxq", "No such file or directory"},
      {"a full disk", big, out, "No space left on device", true},
      {"a run killed while it writes", big, out, "", false, true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    fs::create_directory(outFolder);
    std::unique_ptr<testutil::PrivateMount> mount;
    if (c.fullDisk) {
      mount = std::make_unique<testutil::PrivateMount>(outFolder, 0, "size=1m");
      if (!mount->mounted()) {
        std::printf("[  SKIPPED ] %s: no private file system here\n", c.name);
        continue;
      }
    }
    if (fs::exists(fs::path(c.out).parent_path())) testutil::WriteFile(c.out, earlier);
    if (c.fullDisk) { ASSERT_TRUE(testutil::FillFileSystem(outFolder, 64 * 1024)); }
    const std::set<std::string> before = testutil::Entries(outFolder);
    if (c.killed) {
      const pid_t pid = ::fork();
      if (pid == 0) {
        if (!std::freopen("/dev/null", "w", stderr)) _exit(126);
        ::execl(program.c_str(), program.c_str(), c.in.c_str(), c.out.c_str(), static_cast<char*>(nullptr));
        _exit(127);
      }
      const int status = KillWhenWritten(pid, outFolder, 256 * 1024);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == SIGKILL) << status;
    } else {
      int status = -1;
      const std::string said = testutil::RunCommand(
          program + " " + testutil::ShellQuote(c.in) + " " + testutil::ShellQuote(c.out), &status, true);
      EXPECT_EQ(status, 1);
      const std::string& named = std::string(c.reason) == "No space left on device" || c.in == source ? c.out : c.in;
      // The last line (a failure the storage could not raise while another
      // unwound goes to standard error before it).
      const std::size_t last = said.rfind('\n', said.size() - 2);
      EXPECT_EQ(said.find("kxtpseudo: " + named + ": " + c.reason, last == std::string::npos ? 0 : last + 1),
                last == std::string::npos ? 0 : last + 1)
          << said;
    }
    if (fs::exists(fs::path(c.out).parent_path())) { EXPECT_EQ(testutil::ReadFile(c.out), earlier); }
    // What a killed run left beside OUT is the next run's to sweep.
    if (!c.killed) { EXPECT_EQ(testutil::Entries(outFolder), before); }
    mount.reset();
    fs::remove_all(outFolder);
  }
}

}  // namespace
