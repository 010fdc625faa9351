#include "shared/server/command_table.h"

#include <cstdint>
#include <iostream>
#include <memory>

#include "shared/server/connection.h"
#include "shared/server/conversion.h"
#include "shared/server/server_loops.h"
#include "support/settings.h"

const std::string ServerVersion = "3";

namespace {

struct ExportWord {
  const char* word;
  uint32_t type;
};

// Each server conversion type has two words (the first three one).
const ExportWord kExportWords[] = {
    {"exportjpgs", 0},
    {"exportpdf", 1},
    {"exportpdfandoverset", 2},
    {"exportkxt", 3},
    {"exportkxq", 3},
    {"exportkxtandpdf", 4},
    {"exportkxqandpdf", 4},
    {"exportkxtandpdfandoverset", 5},
    {"exportkxqandpdfandoverset", 5},
    {"exportindd", 6},
    {"exportqxp", 6},
    {"exportinddandpdf", 7},
    {"exportqxpandpdf", 7},
    {"exportinddandpdfandoverset", 8},
    {"exportqxpandpdfandoverset", 8},
};

bool Answer(ct_Connection& connection, const std::string& line) { return connection.writeLine(line, true, '\n'); }

bool Execute(ct_Connection& connection, const std::string& command) {
  if (command == "quit") return execCmd(connection, "closeConnection");
  if (command == "closeConnection") {
    const bool closed = connection.closeClient() != 1;
    GetServerFlags().closeRequested = closed;
    return closed;
  }
  if (command == "haltServer") {
    if (!Answer(connection, "halt server")) return false;
    return connection.haltServer() != 1;
  }
  if (command == "serveralive") return Answer(connection, "server alive v2");
  if (command == "get_server_version") return Answer(connection, ServerVersion);
  if (command == "get_transfer_mode") {
    Settings& settings = Settings::Instance();
    const char* mode = !settings.IsSocketTransferMode()     ? "file"
                       : settings.IsSockXferCanCompress() ? "socket_can_compr"
                                                          : "socket";
    return Answer(connection, mode);
  }
  for (const ExportWord& entry : kExportWords) {
    if (command == entry.word) {
      auto job = std::make_unique<ct_Conversion>(&connection, entry.type);
      return job->Run();
    }
  }
  Answer(connection, "Unknown command '" + command + "'.");
  return false;
}

}  // namespace

bool execCmd(ct_Connection& connection, const std::string& command) {
  const bool result = Execute(connection, command);
  const std::string rule(36, '-');
  std::cout << "\n" << rule << "\nCommand '" << command << "' " << (result ? "done" : "failed") << "\n"
            << rule << "\n\n" << std::flush;
  return result;
}
