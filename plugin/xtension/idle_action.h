// The idle action (19): unattended work on host idle time.
//
// At its first call it reads server mode and whether the batch control
// file holds a job, and keeps both.  In server mode it runs the conversion
// server inside the idle call (DoStartServer, shared/server/server_loops.h,
// with the plug-in's single-file conversion as the server's conversion
// runner) and asks the host to quit after the server halted on request; a server that could not run
// or failed is launched again at the next idle call ("Server DOWN").  In
// batch mode it carries out one step of the control file's job per idle
// call (action 12 or 18), and when no job is active either reloads the
// control file (the plug-in was launched with one: the batch file's
// wait-on-idle flag) or asks the host once to quit.  Idle calls that arrive
// while the server or a step runs do nothing.  Its records go to LogMessage
// under the plug-in object's source file.  Host thread only.
#pragma once

#include <cstdint>
#include <functional>

#include "plugin/xtension/actions.h"

// Asks the host to quit once the current callback has returned.
void RequestHostQuit();

// Replaces the server the idle action runs with `server` (tests); an empty
// function restores DoStartServer.
void SetServerStandIn(std::function<bool(uint32_t port)> server);
