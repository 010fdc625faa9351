#include "plugin/qapi/cnv_tools.h"

#include "support/host_file_spec.h"

namespace CnvTools {

int32_t MakeDocumentSpec(const FileSpec& file, XTFileSpec* spec, bool overwrite, uint32_t,
                         int32_t) {
  if (spec == nullptr) return 12;
  XTFileSpec made{};
  const std::string& path = file.fullPath;
  int32_t result = xt_fsmakefsspec(0, 0, path, made, true, false, false, nullptr, 0, false, nullptr);
  if (result == kXTOk) {
    if (!overwrite) return kXTErrDuplicate;
    result = DeleteHostFile(path);
    if (result != kXTOk) return result;
    result = xt_fsmakefsspec(0, 0, path, made, true, true, false, nullptr, 0, true, nullptr);
  } else if (result == kXTErrNotFound) {
    result = xt_fsmakefsspec(0, 0, path, made, true, true, false, nullptr, 0, true, nullptr);
  }
  if (result != kXTOk && result != kXTErrNotFound) return result;
  *spec = made;
  return kXTOk;
}

}  // namespace CnvTools
