#include "plugin/qapi/host_file_probe.h"

#include "support/error_names.h"
#include "support/host_link.h"

namespace CnvTools {

int32_t ProbeHostFile(const std::string& path) {
  const XTFileSuite* files = XT().files;
  if (files == nullptr) return TraceLevel(kXTErrNoSuite, "ProbeHostFile");
  XTFileSpec spec{};
  // A missing file still gets its spec; only the deletion can say more.
  const int32_t made = files->make_spec(0, 0, path.c_str(), &spec);
  if (made != kXTOk && made != kXTErrNotFound) return made;
  XTFile file = 0;
  int32_t result = files->new_file(&file);
  if (result != kXTOk) return result;
  result = files->set_file_spec(file, &spec);
  if (result == kXTOk) result = files->delete_file(file);
  files->dispose_file(file);
  return result != kXTOk ? result : made;
}

}  // namespace CnvTools
