// Runs of the built xthost program with the built plug-in library, for the
// tests of what a user and a launcher meet: an installation folder, the
// settings file, scripted answers, and what a run leaves behind.
#pragma once

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <sstream>
#include <string>
#include <utility>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

extern char** environ;

namespace ui_run {

namespace fs = std::filesystem;

using testutil::ReadFile;
using testutil::WriteFile;

inline std::vector<std::string> SplitLines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

// A folder with an XTensions folder holding the plug-in library, a
// registry of its own, and (when given) the settings file.
class Installation {
 public:
  explicit Installation(const std::string& settings = "") {
    fs::create_directory(root_ / "XTensions");
    fs::copy_file(BRENIX_LIBRARY, root_ / "XTensions" / "libbrenix.so");
    if (!settings.empty()) WriteSettings(settings);
  }
  Installation(const Installation&) = delete;
  Installation& operator=(const Installation&) = delete;

  const fs::path& root() const { return root_; }
  void WriteSettings(const std::string& text) const {
    WriteFile(root_ / "XTensions" / "brenix.ini", text);
  }
  fs::path Registry() const { return root_ / "registry"; }
  // The registry key an outside launcher makes for an unattended run.
  fs::path BatchFlagKey() const {
    return Registry() / "HKEY_LOCAL_MACHINE" / "SOFTWARE" / "PELMO Translation Technology" /
           "Brenix 50 Batch Mode";
  }
  void RaiseBatchFlag() const { fs::create_directories(BatchFlagKey()); }

 private:
  testutil::TempDir dir_{"brenix-ui"};  // removed with all in it when the object goes
  fs::path root_ = dir_.path();
};

struct HostRun {
  int status = -1;  // exit code, or -1 when it did not exit
  std::vector<std::string> transcript;
  std::string errors;  // standard error: the log records
  std::string log;     // the program log, BrenixLogfile.txt
};

// Starts xthost in the installation's folder with `args` (after the
// options naming the XTensions folder and the transcript) and the extra
// environment `env` ("NAME=VALUE"), under the program and options
// `wrapper` when given (a tracer); its process id.
inline pid_t StartHost(const Installation& install, std::vector<std::string> args,
                       const std::vector<std::string>& env = {}, const std::vector<std::string>& wrapper = {}) {
  std::vector<std::string> environment;
  for (char** e = environ; *e != nullptr; ++e) {
    if (std::strncmp(*e, "XTHOST_", 7) != 0 && std::strncmp(*e, "BRENIX_", 7) != 0) {
      environment.push_back(*e);
    }
  }
  environment.push_back("XTHOST_CLOCK=2024-03-07 09:05:01");
  environment.push_back("BRENIX_REGISTRY_ROOT=" + install.Registry().string());
  for (const std::string& e : env) environment.push_back(e);
  args.insert(args.begin(),
              {XTHOST_PROGRAM, "--xtensions", "XTensions", "--transcript", "transcript.txt"});
  args.insert(args.begin(), wrapper.begin(), wrapper.end());

  std::vector<char*> argv, envp;
  for (auto& a : args) argv.push_back(a.data());
  argv.push_back(nullptr);
  for (auto& e : environment) envp.push_back(e.data());
  envp.push_back(nullptr);

  const fs::path errors = install.root() / "stderr.txt";
  const pid_t pid = fork();
  if (pid == 0) {
    if (chdir(install.root().c_str()) != 0) _exit(126);
    if (!std::freopen(errors.c_str(), "w", stderr)) _exit(126);
    if (!std::freopen("/dev/null", "w", stdout)) _exit(126);
    execve(argv[0], argv.data(), envp.data());
    _exit(127);
  }
  return pid;
}

// Waits for the xthost process `pid` started by StartHost; what it left.
inline HostRun FinishHost(const Installation& install, pid_t pid) {
  HostRun run;
  int status = 0;
  waitpid(pid, &status, 0);
  run.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  run.transcript = SplitLines(ReadFile(install.root() / "transcript.txt"));
  run.errors = ReadFile(install.root() / "stderr.txt");
  run.log = ReadFile(install.root() / "BrenixLogfile.txt");
  return run;
}

// Runs xthost to its end (StartHost, FinishHost).
inline HostRun RunHost(const Installation& install, std::vector<std::string> args,
                       const std::vector<std::string>& env = {}, const std::vector<std::string>& wrapper = {}) {
  return FinishHost(install, StartHost(install, std::move(args), env, wrapper));
}

// How often `part` occurs in `text`.
inline std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1)) ++count;
  return count;
}

// The transcript lines that begin with one of `prefixes`, in order.
inline std::vector<std::string> Only(const HostRun& run, const std::vector<std::string>& prefixes) {
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

// The transcript from the first line equal to `from` (inclusive) to the
// first later line equal to `to` (exclusive; to the end when empty).
inline std::vector<std::string> Between(const HostRun& run, const std::string& from,
                                        const std::string& to) {
  std::vector<std::string> kept;
  bool inside = false;
  for (const std::string& line : run.transcript) {
    if (!inside && line == from) inside = true;
    if (inside && !kept.empty() && !to.empty() && line == to) break;
    if (inside) kept.push_back(line);
  }
  return kept;
}

// The texts of the plug-in dialogs shown, in order.
inline std::vector<std::string> DialogTexts(const HostRun& run) {
  std::vector<std::string> texts;
  for (const std::string& line : run.transcript) {
    const std::size_t text = line.find(" text \"");
    if (line.rfind("dialog ", 0) == 0 && text != std::string::npos) {
      texts.push_back(line.substr(text + 7, line.size() - text - 8));
    }
  }
  return texts;
}

// The text of the last dialog of a run ("" when it showed none).
inline std::string LastDialog(const HostRun& run) {
  const std::vector<std::string> texts = DialogTexts(run);
  return texts.empty() ? std::string() : texts.back();
}

// The menu as `menus` lists it, without the menu's handle and title.
inline std::vector<std::string> Listed(const HostRun& run) {
  std::vector<std::string> items;
  for (const std::string& line : Only(run, {"menu 1 \"Brenix 9\" item "})) {
    items.push_back(line.substr(std::string("menu 1 \"Brenix 9\" item ").size()));
  }
  return items;
}

// The menu in extended mode with both export items on, while no document is
// open.
inline const std::vector<std::string> kFullMenuWithoutDocument = {
    "3 \" Export current document\" disabled", "4 \" Export PDF coordinates\" disabled",
    "5 \" Export XTags\" disabled",            "6 \" Export to Solvane\" enabled",
    "7 \" Export multiple documents\" enabled", "8 \" Import Solvane file\" enabled",
    "9 \" Import multiple Solvane files\" enabled"};

// The host's last transcript line when the plug-in left no handle open.
inline constexpr char kNoHandles[] =
    "handles strings=0 paths=0 converters=0 files=0 modules=0 documents=0";

// Whether the log records say the plug-in object was built and ended with
// nothing left allocated.
inline bool EndedWithNothingAllocated(const HostRun& run) {
  return run.errors.find("]:InitBrenix():\n\nMemory completely deallocated.\n") !=
             std::string::npos &&
         run.errors.find("]:DeinitBrenix():\n\nMemory completely deallocated.\n") !=
             std::string::npos;
}

inline bool Clean(const HostRun& run) {
  return run.status == 0 && run.errors.find("Sanitizer") == std::string::npos &&
         run.errors.find("runtime error") == std::string::npos;
}

}  // namespace ui_run
