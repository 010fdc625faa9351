// One compound file for a whole fuzz or benchmark run.
#pragma once

#include <cstdio>
#include <string>

#include "framework/ole_storage.h"
#include "tests/common/temp_dir.h"

namespace testutil {

// A compound file created at ProcessTempPath(stem, ".ole") and held in
// memory: its root is written only when the object goes (a failure of that
// write is dropped), and the file is removed then.
class ScratchStorage {
 public:
  explicit ScratchStorage(const std::string& stem)
      : path_(ProcessTempPath(stem, ".ole")), root_(new OLEStorage(path_.c_str(), kOLECreate)) {}
  ~ScratchStorage() {
    try {
      delete root_;
    } catch (...) {
    }
    std::remove(path_.c_str());
  }
  ScratchStorage(const ScratchStorage&) = delete;
  ScratchStorage& operator=(const ScratchStorage&) = delete;

  OLEStorage& root() { return *root_; }
  const std::string& path() const { return path_; }

 private:
  std::string path_;
  OLEStorage* root_;
};

}  // namespace testutil
