#include "support/host_link.h"

#include <dlfcn.h>
#include <limits.h>
#include <stdlib.h>

HostLink& XT() {
  static HostLink link;
  return link;
}

namespace {

// Any address inside this library serves to find it.
Dl_info ModuleInfo() {
  Dl_info info{};
  dladdr(reinterpret_cast<const void*>(&ModuleInfo), &info);
  return info;
}

}  // namespace

const void* ModuleHandle() { return ModuleInfo().dli_fbase; }

std::string ModulePath() {
  const Dl_info info = ModuleInfo();
  if (info.dli_fname == nullptr) return std::string();
  char resolved[PATH_MAX];
  return realpath(info.dli_fname, resolved) != nullptr ? resolved : info.dli_fname;
}
