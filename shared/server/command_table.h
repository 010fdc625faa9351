// The commands an authenticated client may send, one line each, matched
// byte for byte: status questions, the export commands that run one
// conversion job each, closing the connection and halting the server.
#pragma once

#include <string>

class ct_Connection;

// The server's version, answered to "get_server_version".
extern const std::string ServerVersion;

// Runs one command line and answers it.  True when it succeeded and the
// client may go on; false for an unknown command, a failed answer or a
// failed job.  Every command ends with a report on standard output; "quit"
// runs "closeConnection" as a command of its own, so it reports twice.
// What a job throws passes through (the job itself is gone by then).
bool execCmd(ct_Connection& connection, const std::string& command);
