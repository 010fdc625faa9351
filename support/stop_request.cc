#include "support/stop_request.h"

#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>

#include "platform/win/replacing_file.h"

namespace {

volatile std::sig_atomic_t g_requested = 0;
int g_pipe[2] = {-1, -1};
struct sigaction g_previous;
win::CommitCheck g_previousCheck = nullptr;

bool NotStopped() { return g_requested == 0; }

extern "C" void OnStopSignal(int) {
  const int saved = errno;
  g_requested = 1;
  if (g_pipe[1] >= 0) {
    const char byte = 1;
    // A full pipe already tells the waits; nothing more to say.
    if (::write(g_pipe[1], &byte, 1) < 0) errno = saved;
  }
  errno = saved;
}

}  // namespace

StopSignalScope::StopSignalScope() {
  g_requested = 0;
  if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0) g_pipe[0] = g_pipe[1] = -1;
  struct sigaction action = {};
  action.sa_handler = &OnStopSignal;
  sigemptyset(&action.sa_mask);
  action.sa_flags = 0;  // no restart: a blocking call returns, and the waits look again
  ::sigaction(SIGTERM, &action, &g_previous);
  g_previousCheck = win::SetCommitCheck(&NotStopped);
}

StopSignalScope::~StopSignalScope() {
  // After a stop the host is quitting: a second SIGTERM is only noted.
  if (g_requested == 0) ::sigaction(SIGTERM, &g_previous, nullptr);
  win::SetCommitCheck(g_previousCheck);
  for (int& fd : g_pipe) {
    if (fd >= 0) ::close(fd);
    fd = -1;
  }
}

bool StopRequested() { return g_requested != 0; }

int StopDescriptor() { return g_pipe[0]; }
