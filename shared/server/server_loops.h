// The conversion server: it runs inside one idle call of the host, on the
// host's thread, until a client halts it.
//
// DoStartServer listens on the port and serves one client at a time: the
// client sends the password, then command lines (command_table.h).  After
// an error in its loops the server starts itself again with a new
// connection; a socket failure at start is retried once per process after
// restarting the socket layer.  Records go to LogMessage under
// "ConversionBase[line]:function()".
#pragma once

#include <cstdint>

class ct_Connection;

// The flags that outlive one client.
struct ServerFlags {
  bool winsockRestarted = false;    // the socket layer was restarted once
  bool closeRequested = false;      // the client asked to close
  bool lastWasServerAlive = false;  // the last command was "serveralive"
};
ServerFlags& GetServerFlags();

// Runs the server on `port` (0, or a value above 65535: 8226).  True when a
// client halted it or SIGTERM stopped it (support/stop_request.h: handled
// while the server runs; the job in progress fails and keeps no partial
// output); false when it could not start, failed twice at socket level, or
// is already running (a call from inside the server).  At start it removes
// the job folders that servers now gone left (job_folder_lock.h).
bool DoStartServer(uint32_t port);

// Accepts and serves clients while the listener is up; answers whether a
// client asked to halt, or false when accepting failed.
bool clientLoopRun(ct_Connection& connection, bool& haltRequested);
// Serves one connected client: the password, then commands until it leaves,
// asks to close or halt, or a command fails.  True when its connection
// ended cleanly.  A client whose password is wrong or whose command failed
// is closed.
bool commandLoopRun(ct_Connection& connection, bool& haltRequested);
// Reads the password line and answers it; true when it was right and the
// answer went out.
bool checkPassword(ct_Connection& connection);
