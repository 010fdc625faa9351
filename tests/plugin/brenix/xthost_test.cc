// The plug-in library inside the stand-in host program: its export, a clean
// run from activation to unload, and one run per registration failure.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

extern char** environ;

namespace {

namespace fs = std::filesystem;

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A folder with an XTensions folder holding the plug-in library.
class Installation {
 public:
  Installation() {
    const char* base = std::getenv("TMPDIR");
    std::string pattern = std::string(base && *base ? base : "/tmp") + "/brenix-xthost-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) std::abort();
    root_ = pattern;
    fs::create_directory(root_ / "XTensions");
    fs::copy_file(BRENIX_LIBRARY, root_ / "XTensions" / "libbrenix.so");
  }
  ~Installation() {
    std::error_code ec;
    fs::remove_all(root_, ec);
  }
  const fs::path& root() const { return root_; }

 private:
  fs::path root_;
};

struct HostRun {
  int status = -1;  // exit code, or -1 when it did not exit
  std::vector<std::string> transcript;
  std::string errors;  // standard error
  std::string log;     // the plug-in's BrenixLogfile.txt
};

// Runs xthost in the installation's folder with `args` and the fail plan
// `fail` (none when empty).
HostRun RunHost(const Installation& install, std::vector<std::string> args,
                const std::string& fail = "") {
  std::vector<std::string> env;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "XTHOST_", 7) != 0) env.push_back(*e);
  }
  env.push_back("XTHOST_CLOCK=2024-03-07 09:05:01");
  env.push_back("BRENIX_REGISTRY_ROOT=" + (install.root() / "registry").string());
  if (!fail.empty()) env.push_back("XTHOST_FAIL=" + fail);
  args.insert(args.begin(),
              {XTHOST_PROGRAM, "--xtensions", "XTensions", "--transcript", "transcript.txt"});

  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : env) envp.push_back(e.data());
  envp.push_back(nullptr);

  const fs::path errors = install.root() / "stderr.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(install.root().c_str()) != 0) _exit(126);
    if (!std::freopen(errors.c_str(), "w", stderr)) _exit(126);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  HostRun run;
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.transcript = SplitLines(ReadAll(install.root() / "transcript.txt"));
  run.errors = ReadAll(errors);
  run.log = ReadAll(install.root() / "BrenixLogfile.txt");
  return run;
}

std::vector<std::string> Only(const HostRun& run, const std::vector<std::string>& prefixes) {
  std::vector<std::string> kept;
  for (const std::string& line : run.transcript) {
    for (const std::string& prefix : prefixes) {
      if (line.rfind(prefix, 0) == 0) {
        kept.push_back(line);
        break;
      }
    }
  }
  return kept;
}

const std::vector<std::string> kOutcome = {"activate libbrenix.so ->",
                                           "reservation libbrenix.so ->",
                                           "registration libbrenix.so ->",
                                           "callback ",
                                           "request ",
                                           "show "};

bool Clean(const HostRun& run) { return run.errors.find("Sanitizer") == std::string::npos; }

TEST(Library, ExportsTheEntryUnmangled) {
  FILE* pipe = popen(("readelf --dyn-syms -W '" + std::string(BRENIX_LIBRARY) + "'").c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  std::string text;
  char buffer[4096];
  for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;) text.append(buffer, n);
  ASSERT_EQ(pclose(pipe), 0);
  bool found = false;
  for (const std::string& line : SplitLines(text)) {
    std::istringstream words(line);
    std::vector<std::string> w;
    for (std::string word; words >> word;) w.push_back(word);
    // Num: Value Size Type Bind Vis Ndx Name
    if (w.size() == 8 && w[7] == "XTActivateCallback") {
      found = true;
      EXPECT_EQ(w[3], "FUNC");
      EXPECT_EQ(w[4], "GLOBAL");
      EXPECT_EQ(w[5], "DEFAULT");
      EXPECT_NE(w[6], "UND");
    }
  }
  EXPECT_TRUE(found) << text.substr(0, 2000);
}

TEST(Xthost, ActivatesIdlesShutsDownAndUnloadsCleanly) {
  Installation install;
  const HostRun run = RunHost(install, {"start", "idle", "3", "quit"});
  EXPECT_EQ(run.status, 0) << run.errors;
  EXPECT_TRUE(Clean(run)) << run.errors;

  std::vector<std::string> ids;
  for (const std::string& line : Only(run, {"reserve id "})) ids.push_back(line.substr(11));
  ASSERT_EQ(ids.size(), 15u);
  std::vector<std::string> expected = {"activate libbrenix.so -> 0x00000000",
                                       "reservation libbrenix.so -> 0x00000000",
                                       "callback 618 5 200 0",
                                       "callback 4 5 200 0",
                                       "callback " + ids[0] + " 5 200 0",
                                       "callback 134 5 200 0"};
  for (int i = 1; i < 15; ++i) expected.push_back("callback " + ids[i] + " 5 200 0");
  for (const char* line :
       {"callback 6 5 200 0", "callback 7 5 200 0", "callback 10 5 200 0", "callback 681 5 200 0",
        "callback 501 5 200 0", "callback 106 5 10 0", "request 2323 0 1", "request 2322 0 1",
        "registration libbrenix.so -> 0x00000000"}) {
    expected.push_back(line);
  }
  EXPECT_EQ(Only(run, kOutcome), expected);
  EXPECT_EQ(Only(run, {"idle", "quit", "module", "shutdown", "unload", "handles"}),
            (std::vector<std::string>{
                "module open 1 1", "idle 3", "quit", "module close 1", "shutdown libbrenix.so -> 0",
                "unload libbrenix.so",
                "handles strings=0 paths=0 converters=0 files=0 modules=0 documents=0"}));
  // The plug-in object is built and ended, leaving nothing behind.
  EXPECT_NE(run.errors.find("brenix.cc["), std::string::npos) << run.errors;
  EXPECT_NE(run.errors.find("]:InitBrenix():\n\nMemory completely deallocated.\n"),
            std::string::npos)
      << run.errors;
  EXPECT_NE(run.errors.find("]:DeinitBrenix():\n\nMemory completely deallocated.\n"),
            std::string::npos)
      << run.errors;
}

TEST(Xthost, RefusedHandshake) {
  Installation install;
  const HostRun run = RunHost(install, {"start", "idle", "1"}, "handshake:1");
  EXPECT_EQ(run.status, 0);
  EXPECT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, kOutcome), (std::vector<std::string>{"show \"Brenix activation failed\"",
                                                           "activate libbrenix.so -> 0x51000401"}));
  EXPECT_NE(run.errors.find("Brenix activation failed"), std::string::npos);
}

TEST(Xthost, SetupFailures) {
  // A suite missing, a bound table missing, an XTension look-up failing.
  for (const char* fail :
       {"acquire_suite/QSB1:1", "acquire_suite/XFJj:1", "query_xtension/QLY:1"}) {
    Installation install;
    const HostRun run = RunHost(install, {"start", "idle", "1", "quit"}, fail);
    EXPECT_EQ(run.status, 0) << fail;
    EXPECT_TRUE(Clean(run)) << run.errors;
    EXPECT_EQ(Only(run, kOutcome),
              (std::vector<std::string>{
                  "activate libbrenix.so -> 0x00000000", "reservation libbrenix.so -> 0x00000000",
                  "show \"Brenix setup failed\"", "registration libbrenix.so -> 0x51000401"}))
        << fail;
  }
}

TEST(Xthost, FailedSecondPassIsSilent) {
  Installation install;
  const HostRun run = RunHost(install, {"start", "quit"}, "acquire_suite/LGF2:2");
  EXPECT_TRUE(Clean(run)) << run.errors;
  const std::vector<std::string> lines =
      Only(run, {"callback 681", "callback 501", "callback 106", "request", "show",
                 "registration libbrenix.so ->"});
  EXPECT_EQ(lines, (std::vector<std::string>{"request 2323 0 1", "request 2322 0 1",
                                             "registration libbrenix.so -> 0x00000000"}));
}

TEST(Xthost, FailedClosingRequest) {
  Installation install;
  const HostRun run = RunHost(install, {"start", "quit"}, "send_request/2322:1");
  EXPECT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Only(run, {"request", "show", "registration libbrenix.so ->", "shutdown", "unload"}),
            (std::vector<std::string>{"request 2323 0 1", "registration libbrenix.so -> 0x51000401",
                                      "shutdown libbrenix.so -> 0", "unload libbrenix.so"}));
}

TEST(Xthost, RefusesBadCommandLinesAndMissingFolders) {
  Installation install;
  EXPECT_EQ(RunHost(install, {"start", "idle"}).status, 2);
  EXPECT_EQ(RunHost(install, {"fly"}).status, 2);
  EXPECT_EQ(RunHost(install, {"start"}, "handshake").status, 2);
  fs::remove_all(install.root() / "XTensions");
  const HostRun run = RunHost(install, {"start"});
  EXPECT_EQ(run.status, 1);
  EXPECT_NE(run.errors.find("XTensions"), std::string::npos);
}

}  // namespace
