// Running test code in child processes.
#pragma once

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <vector>

namespace testutil {

// Runs `body` in `count` child processes that start together (each waits on
// one gate that opens for all at once); returns their exit codes, -1 for a
// child that did not exit.
inline std::vector<int> RunTogether(int count, const std::function<int()>& body) {
  int gate[2];
  EXPECT_EQ(pipe(gate), 0);
  std::vector<pid_t> children;
  for (int i = 0; i < count; ++i) {
    const pid_t pid = fork();
    if (pid == 0) {
      close(gate[1]);
      char c;
      while (read(gate[0], &c, 1) < 0) {
      }
      _exit(body());
    }
    children.push_back(pid);
  }
  close(gate[0]);
  close(gate[1]);  // every child wakes up at once
  std::vector<int> codes;
  for (pid_t pid : children) {
    int status = 0;
    waitpid(pid, &status, 0);
    codes.push_back(WIFEXITED(status) ? WEXITSTATUS(status) : -1);
  }
  return codes;
}

}  // namespace testutil
