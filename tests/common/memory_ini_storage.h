// Ini files held in memory, for tests and fuzz targets that must not wait
// on the file system.
#pragma once

#include <map>
#include <string>

#include "support/ini_storage.h"

namespace testutil {

// Puts itself in place of the file system for ini files while it lives;
// the store before it comes back when it goes.  A name never written cannot
// be opened; content over the size bound is refused as a file would be.
class MemoryIniStorage : public IniStorage {
 public:
  MemoryIniStorage() : previous_(SetIniStorage(this)) {}
  ~MemoryIniStorage() override { SetIniStorage(previous_); }
  MemoryIniStorage(const MemoryIniStorage&) = delete;
  MemoryIniStorage& operator=(const MemoryIniStorage&) = delete;

  ReadFailure Read(const std::string& name, std::string& content) override {
    const auto found = files.find(name);
    if (found == files.end()) return ReadFailure::kCannotOpen;
    if (found->second.size() > kMaxIniFileSize) return ReadFailure::kTooLarge;
    content = found->second;
    return ReadFailure::kNone;
  }
  bool Write(const std::string& name, const std::string& content) override {
    files[name] = content;
    return true;
  }

  std::map<std::string, std::string> files;

 private:
  IniStorage* previous_;
};

}  // namespace testutil
