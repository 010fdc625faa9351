#include "shared/server/server_loops.h"

#include <iostream>
#include <memory>
#include <string>

#include "shared/server/command_table.h"
#include "shared/server/connection.h"
#include "shared/server/conversion_base.h"
#include "shared/server/job_folder_lock.h"
#include "support/brenix_interface.h"
#include "support/host_file_spec.h"
#include "support/paths.h"
#include "support/program_log.h"
#include "support/settings.h"
#include "support/stop_request.h"

namespace {

const char kPassword[] = "amberquietlodge";

void Console(const std::string& text, const std::string& rule) {
  std::cout << "\n" << rule << "\n" << text << "\n" << rule << "\n" << std::flush;
}

std::string ReadLine(ct_Connection& connection) { return connection.readLine(true, '\n'); }

// Marks the server as running for as long as it lives.
class RunningServer {
 public:
  explicit RunningServer(bool& flag) : flag_(flag) { flag_ = true; }
  ~RunningServer() { flag_ = false; }
  RunningServer(const RunningServer&) = delete;
  RunningServer& operator=(const RunningServer&) = delete;

 private:
  bool& flag_;
};

// SIGTERM handled for as long as the server runs: the socket waits watch
// the stop pipe.
class StopWatch {
 public:
  StopWatch() { net::SetStopDescriptor(StopDescriptor()); }
  ~StopWatch() { net::SetStopDescriptor(-1); }
  StopWatch(const StopWatch&) = delete;
  StopWatch& operator=(const StopWatch&) = delete;

 private:
  StopSignalScope scope_;
};

// What jobs of a server that is gone left behind: their job folders (with
// a partial received file), intermediate documents' folders, the PDF
// probe's folders of any run that is gone, and a killed server's log folder.
void RemoveDeadJobs() {
  std::string jobs = Settings::Instance().GetPath(SettingsKey::TemporaryPath);
  if (jobs.empty()) jobs = GetTempFolderPath();
  std::string intermediates = GetHostTempFolder();
  if (intermediates.empty()) intermediates = GetTempFolderPath();
  StripTrailingChar(jobs, kPathSeparator);
  StripTrailingChar(intermediates, kPathSeparator);
  RemoveDeadJobFolders(jobs, Settings::Instance().IsClearTempFiles());
  if (intermediates != jobs) RemoveDeadJobFolders(intermediates, true);
  RemoveDeadPrivateFolders(intermediates);
  RemoveDeadLogFolders(BrenixInterface::Instance()->LogFolderBase(), Settings::Instance().IsKeepServerLog());
}

// Logs a stop request once it is found; true then.
bool StopFound(const std::string& where) {
  if (!StopRequested()) return false;
  LogMessage(where, "Stop requested (SIGTERM): the server stops", 5);
  return true;
}

}  // namespace

ServerFlags& GetServerFlags() {
  static ServerFlags flags;
  return flags;
}

bool checkPassword(ct_Connection& connection) {
  const std::string where = CONVERSION_BASE_LOCATION("checkPassword");
  // Neither the password nor a near miss of it goes to the logs.
  const std::string line = connection.readLine(true, '\n', true);
  if (line.empty()) LogMessage(where, "Warning: conn.readLine() returned EMPTY STRING!", 5);
  if (!connection.IsConnected()) {
    LogMessage(where, "Not connected to client!", 5);
    return false;
  }
  if (line == kPassword) return connection.writeLine("password ok", true, '\n');
  LogMessage(where, std::string("Password (wrong): '") + ct_Connection::kMaskedText + "'", 5);
  connection.writeLine("Wrong password.", true, '\n');
  return false;
}

bool commandLoopRun(ct_Connection& connection, bool& haltRequested) {
  const std::string where = CONVERSION_BASE_LOCATION("commandLoopRun");
  ServerFlags& flags = GetServerFlags();
  flags.closeRequested = false;
  bool passwordAccepted = false;
  for (;;) {
    if (StopFound(where)) {
      connection.closeClient();
      return false;
    }
    if (!passwordAccepted) {
      if (!connection.IsConnected()) {
        LogMessage(where, "Not connected to client!\t - BEFORE checkPassword() -", 4);
        return false;
      }
      if (!checkPassword(connection)) {
        LogMessage(where, "Password error (client loop)!", 4);
        // Nothing more is read from this client: it goes now.
        connection.closeClient();
        return false;
      }
      passwordAccepted = true;
      if (!connection.IsConnected()) {
        LogMessage(where, "Not connected to client!\t - AFTER checkPassword() -", 4);
        return false;
      }
    }
    if (!connection.IsConnected()) {
      LogMessage(where, "Not connected to client!\t - BEFORE conn.readLine() -", 4);
      return false;
    }
    const std::string line = ReadLine(connection);
    bool ok = false;
    if (line.empty()) {
      LogMessage(where, "Warning: conn.readLine() returned EMPTY STRING!", 4);
      ok = flags.lastWasServerAlive;
    }
    if (!connection.IsConnected()) {
      LogMessage(where, "Not connected to client!\t - AFTER conn.readLine() -", 4);
      return ok;
    }
    if (!execCmd(connection, line)) {
      LogMessage(where, "Error: execution failed for command: " + line, 7);
      connection.closeClient();
      return false;
    }
    flags.lastWasServerAlive = line == "serveralive";
    if (line == "haltServer") {
      haltRequested = true;
      LogMessage(where, "Halt server!", 5);
      std::cout << "Connection closed by peer.\n" << std::flush;
    }
    if (!connection.IsConnected()) {
      LogMessage(where, "Not connected to client!\t - AFTER execCmd() -", 4);
      return flags.closeRequested || haltRequested;
    }
  }
}

bool clientLoopRun(ct_Connection& connection, bool& haltRequested) {
  const std::string where = CONVERSION_BASE_LOCATION("clientLoopRun");
  bool ok = true;
  do {
    if (StopFound(where)) return haltRequested;
    if (!connection.IsServerOk()) {
      LogMessage(where, "Server not ok!\t - BEFORE conn.waitForClient() -", 5);
      return false;
    }
    LogMessage(where, "BEFORE conn.waitForClient()", 2);
    const uint16_t error = connection.waitForClient();
    LogMessage(where, "AFTER conn.waitForClient()", 2);
    if (StopFound(where)) return haltRequested;
    if (!connection.IsServerOk()) {
      LogMessage(where, "Server not ok!\t - AFTER conn.waitForClient() -", 5);
      return false;
    }
    if (error != 0) {
      LogMessage(where, "Socket not ok (client loop)!", 5);
      return false;
    }
    LogMessage(where, "Client connected ...", 5);
    try {
      const bool served = commandLoopRun(connection, haltRequested);
      ok = ok && served;
      LogMessage(where, std::string("Command loop finished: ") + (ok ? "SUCCESS" : "ERROR"), 5);
    } catch (...) {
      LogMessage(where, "UNKNOWN EXCEPTION!", 6);
      Console("Unknown exception: commands loop!", std::string(36, '!'));
      // The client whose command failed this way goes too.
      connection.closeClient();
    }
  } while (connection.GetCurrentStatus() > ct_Connection::ec_ServerDown);
  LogMessage(where, "ct_Connection::ec_ServerUp > conn.GetCurrentStatus() is TRUE (client loop)!", 3);
  return haltRequested;
}

bool DoStartServer(uint32_t requestedPort) {
  const std::string where = CONVERSION_BASE_LOCATION("DoStartServer");
  static bool running = false;
  if (running) {
    LogMessage(where, "Server is running already!", 5);
    return false;
  }
  RunningServer guard(running);
  StopWatch stopWatch;
  RemoveDeadJobs();
  ServerFlags& flags = GetServerFlags();
  const uint16_t port = requestedPort > 65535 ? 0 : static_cast<uint16_t>(requestedPort);
  bool haltRequested = false;
  for (;;) {
    auto connection = std::make_unique<ct_Connection>();
    const uint16_t started = connection->startServer(port);
    if (!connection->IsServerOk()) {
      LogMessage(where, "Server not ok!\t - AFTER conn.startServer() -", 5);
      // A stop that came while the port was tried ends the server as a halt
      // does: the next idle call's scope would clear the request unseen.
      return StopFound(where);
    }
    const bool up = connection->GetCurrentStatus() == ct_Connection::ec_ServerUp;
    if (started == 0 && up) {
      LogMessage(where, "Server has been started ...", 7);
      try {
        clientLoopRun(*connection, haltRequested);
      } catch (...) {
        LogMessage(where, "UNKNOWN EXCEPTION!", 6);
        Console("Unknown exception: client loop!", std::string(36, '!'));
      }
    } else {
      LogMessage(where,
                 std::string("Socket not ok (server loop)! - ") + (started == 0 ? " SOCKET_OK" : " SOCKET_NOT_OK") +
                     (up ? " / STATUS_OK" : " / STATUS_NOT_OK"),
                 5);
      if (flags.winsockRestarted) return StopFound(where);
      flags.winsockRestarted = true;
      connection->haltServer();
      connection->Cleanup();
      connection->Initialize();
    }
    LogMessage(where, "Server is going to be shut down!", 5);
    // A stop ends the server as a client's halt does.
    if (haltRequested || StopRequested()) {
      // A client's halt stopped the server, whatever restarts came before.
      LogMessage(where, "Server shutdown started ...", 7);
      return true;
    }
    LogMessage(where, "Automatic server restart (on error only) ...", 6);
    std::cout << "\n" << std::string(18, '<') << std::string(18, '>') << "\nAutomatic server restart (on error only) ...\n"
              << std::string(18, '<') << std::string(18, '>') << "\n" << std::flush;
    // The listener goes before its connection, so the port is free again.
    if (connection->GetCurrentStatus() > ct_Connection::ec_ServerDown) connection->haltServer();
  }
}
