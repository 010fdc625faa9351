#include "plugin/qapi/cnv_tools.h"

#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/paths.h"

namespace CnvTools {

int32_t SetPath(const FileSpec& file, XTFileSpec& spec) {
  XTFileSpec made{};
  const int32_t result =
      xt_fsmakefsspec(0, 0, file.GetFullPath(), made, true, false, false, nullptr, 0, false, nullptr);
  if (result == kXTOk) spec = made;
  return TraceLevel(result, kApiCheckText);
}

int32_t SetTargetPath(FileSpec& file, const std::string& path) {
  if (path.empty()) return TraceLevel(kXTErrParam, kApiCheckText);
  bool isDirectory = false;
  const std::string folder = DirectoryPart(path);
  if (!folder.empty() && !(PathExists(folder, &isDirectory) && isDirectory)) {
    return TraceLevel(-120, kApiCheckText);
  }
  return file.SetFromPath(path);
}

}  // namespace CnvTools
