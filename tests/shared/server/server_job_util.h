// Helpers for the tests of the server's jobs and loops: the settings the
// server reads, and conversion runners that write known bytes, fail or
// throw, recording each call.
#pragma once

#include <string>
#include <vector>

#include "shared/server/conversion_runner.h"

// Loads the process's settings from a file in `folder` holding `server`
// (lines of the "Server" section) and `paths` (lines of "Path").
void LoadServerSettings(const std::string& folder, const std::string& server, const std::string& paths);

// The bytes a recording runner writes into a target.
std::string ConvertedBytes(const std::string& sourceName, FileKind targetKind);

// Installs a runner while it lives: each call is recorded as "source name
// -> target name kind>kind"; a target whose kind is in `fail` is answered
// false (nothing written), in `empty` true with nothing written, in
// `raise` with an exception; any other gets ConvertedBytes.
class RecordingRunner {
 public:
  RecordingRunner();
  ~RecordingRunner();
  RecordingRunner(const RecordingRunner&) = delete;
  RecordingRunner& operator=(const RecordingRunner&) = delete;

  std::vector<std::string> calls;
  std::vector<std::string> targets;  // full paths
  std::vector<FileKind> fail, empty, raise;

 private:
  ConversionRunner previous_;
};
