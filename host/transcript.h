// The host's transcript: one line per thing the host shows or the plug-ins
// register, in the order it happens, so that tests can compare runs.
#pragma once

#include <cstdint>
#include <ostream>
#include <string>

namespace xthost {

class Transcript {
 public:
  explicit Transcript(std::ostream* out) : out_(out) {}

  // Writes one line and flushes, so a crash loses nothing already written.
  void Line(const std::string& text);

  // "0x" and eight lower-case hex digits.
  static std::string Hex(uint32_t value);
  // A suite code as its four characters, the version byte as a digit
  // (0x4C544101 -> "LTA1"); hex when a byte is neither.
  static std::string SuiteName(uint32_t code);
  // An XTension id, its bytes in memory order (0x41545058 -> "XPTA").
  static std::string XTensionName(uint32_t id);
  // Text between double quotes, with \", \\ and control characters escaped.
  static std::string Quote(const std::string& text);

 private:
  std::ostream* out_;
};

}  // namespace xthost
