// An application folder of its own for the settings and batch-file code.
#pragma once

#include <sys/stat.h>

#include <stdexcept>
#include <string>

#include "support/settings.h"
#include "tests/common/temp_dir.h"

namespace testutil {

// A fresh folder holding an empty "XTensions" folder, under which the
// application-path resolver answers while the object lives; the previous
// resolver comes back when it goes.  One at a time.
class AppFolder {
 public:
  AppFolder() : dir_("app") {
    if (mkdir(dir_.File("XTensions").c_str(), 0777) != 0) throw std::runtime_error("cannot make XTensions");
    Current() = dir_.path();
    previous_ = SetApplicationPathResolver(&Resolve);
  }
  ~AppFolder() {
    SetApplicationPathResolver(previous_);
    Current().clear();
  }
  AppFolder(const AppFolder&) = delete;
  AppFolder& operator=(const AppFolder&) = delete;

  const std::string& path() const { return dir_.path(); }
  // The path of `name` inside the folder.
  std::string File(const std::string& name) const { return dir_.File(name); }
  // The relative name the resolver was asked for last.
  static std::string& LastAsked() {
    static std::string name;
    return name;
  }

 private:
  static std::string& Current() {
    static std::string folder;
    return folder;
  }
  static std::string Resolve(const std::string& relativeName) {
    LastAsked() = relativeName;
    return Current() + "/" + relativeName;
  }

  TempDir dir_;
  ApplicationPathResolver previous_ = nullptr;
};

}  // namespace testutil
