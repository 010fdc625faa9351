// A registry of its own for a test or a fuzz run.
#pragma once

#include <stdlib.h>

#include <string>

#include "tests/common/temp_dir.h"

namespace testutil {

// A fresh folder that is the registry root ($BRENIX_REGISTRY_ROOT) while the
// object lives; the variable is unset and the folder removed when it goes.
class RegistryRoot {
 public:
  RegistryRoot() : dir_("registry") { setenv("BRENIX_REGISTRY_ROOT", dir_.path().c_str(), 1); }
  ~RegistryRoot() { unsetenv("BRENIX_REGISTRY_ROOT"); }
  RegistryRoot(const RegistryRoot&) = delete;
  RegistryRoot& operator=(const RegistryRoot&) = delete;

  const std::string& path() const { return dir_.path(); }

 private:
  TempDir dir_;
};

}  // namespace testutil
