#include "shared/server/file_transfer.h"

#include <sys/stat.h>

#include <cstdint>

#include "shared/server/connection.h"
#include "support/paths.h"
#include "support/program_log.h"

namespace FileTransfer {

namespace {

bool WriteLine(ct_Connection& connection, const std::string& line) { return connection.writeLine(line, true, '\n'); }

std::string ReadLine(ct_Connection& connection) { return connection.readLine(true, '\n'); }

// Reads the client's next line; anything but `expected` is answered as an
// unknown command.
bool Expect(ct_Connection& connection, const char* expected) {
  std::string line = ReadLine(connection);
  if (line == expected) return true;
  WriteLine(connection, "File Transfer Command unknown: " + line);
  return false;
}

// The size of the regular file at `path`; 0 when there is none.
uint64_t RegularFileSize(const std::string& path) {
  struct stat st;
  if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode)) return 0;
  return static_cast<uint64_t>(st.st_size);
}

// The text after the last separator; the whole path when it has none.
std::string LastComponent(const std::string& path) {
  size_t slash = path.rfind(kPathSeparator);
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// `text` with control characters shown as '?', for the log.
std::string Printable(std::string text) {
  for (char& c : text)
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) c = '?';
  return text;
}

}  // namespace

const char* FileNameFault(const std::string& name) {
  if (name.empty()) return "empty";
  if (name == "." || name == "..") return "not a file name";
  if (name.size() > 255) return "longer than 255 bytes";
  for (char c : name) {
    if (c == '/' || c == '\\') return "holds a path separator";
    if (static_cast<unsigned char>(c) < 0x20 || c == 0x7F) return "holds a control character";
  }
  return nullptr;
}

bool Send(ct_Connection& connection, const std::string& path, bool compress) {
  LogMessage(BRENIX_LOCATION("ct_ConversionBase::SendFile"), "Start", 4);
  if (!Expect(connection, "wait_for_file")) return false;
  WriteLine(connection, "file_transfer_start");
  if (!Expect(connection, "file_transfer_start ok")) return false;
  WriteLine(connection, LastComponent(path));
  if (!Expect(connection, "filename ok")) return false;
  uint64_t size = RegularFileSize(path);
  if (size == 0) {
    WriteLine(connection, "File transfer error: non-existing or empty file: " + path);
    return false;
  }
  WriteLine(connection, std::to_string(size));
  if (!Expect(connection, "size ok")) return false;
  bool sent = compress ? connection.SendFileDataCompressed(path, 1) : connection.SendFileData(path);
  if (!sent) {
    WriteLine(connection, "Result file transfer error.");
    return false;
  }
  if (!Expect(connection, "file ok")) return false;
  WriteLine(connection, "0");
  if (!Expect(connection, "hash ok")) return false;
  WriteLine(connection, "file_transfer_end");
  return true;
}

std::string Receive(ct_Connection& connection, const std::string& folder, bool& compressed, const NameHook& onName) {
  const std::string where = BRENIX_LOCATION("ct_ConversionBase::ReceiveFile");
  LogMessage(where, "Start", 4);
  if (!Expect(connection, "file_transfer_start")) return std::string();
  WriteLine(connection, "file_transfer_start ok");
  std::string name = ReadLine(connection);
  if (const char* fault = name.empty() ? "" : FileNameFault(name)) {
    if (*fault) LogMessage(where, "Target file name refused (" + std::string(fault) + "): '" + Printable(name) + "'", 6);
    WriteLine(connection, "target file name missing.");
    return std::string();
  }
  WriteLine(connection, "filename ok");
  std::string target = folder + kPathSeparator + name;
  if (ReadLine(connection).empty()) {
    WriteLine(connection, "target file size missing.");
    return std::string();
  }
  WriteLine(connection, "size ok");
  if (onName) onName(name);
  if (!connection.ReceiveFileData(target, compressed)) {
    WriteLine(connection, "target file transfer error.");
    return std::string();
  }
  WriteLine(connection, "file ok");
  if (ReadLine(connection).empty()) {
    WriteLine(connection, "target file hash missing.");
    return std::string();
  }
  WriteLine(connection, "hash ok");
  return target;
}

}  // namespace FileTransfer
