// A program running beside the test, with a bounded wait for its end.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

extern char** environ;

namespace testutil {

// Starts `argv` at once, its standard output and error going to a file of
// its own; the destructor kills it if it still runs.
class ChildProcess {
 public:
  explicit ChildProcess(const std::vector<std::string>& argv)
      : output_(ProcessTempPath("child_" + std::to_string(Counter()++), ".out")) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, output_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    posix_spawn_file_actions_adddup2(&actions, STDOUT_FILENO, STDERR_FILENO);
    std::vector<char*> args;
    for (const std::string& a : argv) args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    int rc = posix_spawn(&pid_, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    if (rc != 0) throw std::runtime_error("cannot start " + argv[0]);
  }
  ~ChildProcess() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
    std::remove(output_.c_str());
  }
  ChildProcess(const ChildProcess&) = delete;
  ChildProcess& operator=(const ChildProcess&) = delete;

  // Waits at most `seconds` for the end; the exit status, or -1 when it had
  // to be killed or did not exit normally.
  int Wait(double seconds) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
    int status = 0;
    while (waitpid(pid_, &status, WNOHANG) == 0) {
      if (std::chrono::steady_clock::now() > deadline) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
        pid_ = -1;
        return -1;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    pid_ = -1;
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  }
  // What it wrote so far.
  std::string Output() const { return ReadFile(output_); }
  // Its process id (-1 once waited for).
  pid_t pid() const { return pid_; }

 private:
  static int& Counter() {
    static int n = 0;
    return n;
  }
  std::string output_;
  pid_t pid_ = -1;
};

}  // namespace testutil
