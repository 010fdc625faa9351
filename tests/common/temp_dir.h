// A scratch folder for a test or a fuzz run.
#pragma once

#include <errno.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

namespace testutil {

// The folder for temporary files: $TMPDIR, else /tmp.
inline std::string TempBase() {
  const char* base = std::getenv("TMPDIR");
  return base && *base ? base : "/tmp";
}

// "<TempBase>/<stem>_<process id><extension>": a path of this process alone;
// nothing is made there.
inline std::string ProcessTempPath(const std::string& stem, const std::string& extension = "") {
  return TempBase() + "/" + stem + "_" + std::to_string(getpid()) + extension;
}

// Removes `path` and everything below it; a missing path is no error.
inline void RemoveTree(const std::string& path) {
  std::error_code ignored;
  std::filesystem::remove_all(path, ignored);
}

// A fresh folder "<stem>_XXXXXX" under $TMPDIR (else /tmp), removed with
// everything in it when the object goes; the stem defaults to the program's
// name.  Throws std::runtime_error when the folder cannot be made.
class TempDir {
 public:
  explicit TempDir(const std::string& stem = program_invocation_short_name) {
    std::string pattern = TempBase() + "/" + stem + "_XXXXXX";
    if (mkdtemp(&pattern[0]) == nullptr) throw std::runtime_error("mkdtemp failed for " + pattern);
    path_ = pattern;
  }
  ~TempDir() { RemoveTree(path_); }
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // The path of `name` inside the folder.
  std::string File(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

}  // namespace testutil
