#include "plugin/xtension/isolated_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

std::string InChild(const std::function<std::string()>& body) {
  int fds[2];
  if (pipe(fds) != 0) return "child failed: no pipe";
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid < 0) return "child failed: no fork";
  if (pid == 0) {
    close(fds[0]);
    const std::string text = body();
    std::size_t done = 0;
    while (done < text.size()) {
      const ssize_t n = write(fds[1], text.data() + done, text.size() - done);
      if (n <= 0) _exit(3);
      done += static_cast<std::size_t>(n);
    }
    close(fds[1]);
    _exit(0);
  }
  close(fds[1]);
  std::string text;
  char buffer[4096];
  for (ssize_t n; (n = read(fds[0], buffer, sizeof buffer)) > 0;)
    text.append(buffer, static_cast<std::size_t>(n));
  close(fds[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
    return "child failed: " + std::to_string(status);
  return text;
}
