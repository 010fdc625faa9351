// The stop a service manager sends (SIGTERM) to a running conversion server.
//
// While a StopSignalScope lives, SIGTERM no longer ends the process: its
// handler only notes the request and writes a byte to a pipe.  The server's
// waits watch that pipe beside their sockets, and the job in progress looks
// at the note between its steps (and its conversion through the host failure
// count, support/host_result.h), so the job ends through its ordinary failure
// path, removing what it wrote partly, and the server returns as if halted.
// From the request on, no file the plug-in writes itself
// (win::ReplacingFile) takes its target's name while the scope lives: the
// commit checks for the stop last, so such an output of the job that was
// not committed before the stop never replaces its target.  The check does
// not reach the host's saves: the plug-in asks the host for no save once a
// stop is requested (QuarkDoc), and a save the host began before completes.
#pragma once

class StopSignalScope {
 public:
  // Clears an earlier request, makes the pipe and installs the handler.
  StopSignalScope();
  // Puts the earlier handling of SIGTERM back (unless a stop was requested:
  // the process is then quitting, and a later SIGTERM is only noted) and
  // closes the pipe; a request noted stays noted.
  ~StopSignalScope();
  StopSignalScope(const StopSignalScope&) = delete;
  StopSignalScope& operator=(const StopSignalScope&) = delete;
};

// Whether SIGTERM came while a scope lived (and no scope was made since).
bool StopRequested();

// A descriptor that becomes readable once a stop is requested (it stays
// so); -1 while no scope lives.
int StopDescriptor();
