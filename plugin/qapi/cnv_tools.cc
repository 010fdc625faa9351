#include "plugin/qapi/cnv_tools.h"

#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/paths.h"

namespace CnvTools {

int32_t MakeDocumentSpec(const FileSpec& file, XTFileSpec* spec, bool overwrite, uint32_t type,
                         int32_t creator) {
  if (spec == nullptr) return TraceLevel(12, kApiCheckText);
  if (type == kXTDocumentType) type = file.hostType;
  if (creator == -1) creator = file.value;
  XTFile host = 0;
  int32_t result = NewHostFile(file.GetFullPath(), type, &host);
  if (result != kXTOk) return TraceLevel(result, kApiCheckText);
  const XTFileSuite* files = XT().files;
  if (creator != -1) result = HostCall("set_file_value", files->set_file_value(host, creator));
  uint8_t exists = 0;
  if (result == kXTOk) result = HostCall("file_exists", files->file_exists(host, &exists));
  // An existing file stays: the output that replaces it takes its name
  // only once whole.
  if (result == kXTOk && exists && !overwrite) result = kXTErrDuplicate;
  XTFileSpec made{};
  if (result == kXTOk) result = HostCall("file_spec", files->file_spec(host, &made));
  if (result == kXTOk) *spec = made;
  CleanUp("dispose_file", files->dispose_file(host));
  return TraceLevel(result, kApiCheckText);
}

int32_t SetPath(const FileSpec& file, XTFileSpec& spec) {
  XTFile host = 0;
  int32_t result = NewHostFile(file.GetFullPath(), kXTDocumentType, &host);
  if (result == kXTOk) {
    XTFileSpec made{};
    result = HostCall("file_spec", XT().files->file_spec(host, &made));
    if (result == kXTOk) spec = made;
    CleanUp("dispose_file", XT().files->dispose_file(host));
  }
  return TraceLevel(result, kApiCheckText);
}

int32_t SetTargetPath(FileSpec& file, const std::string& path) {
  int32_t result = file.SetFromPath(path);
  bool folder = false;
  if (result == kXTOk && !(PathExists(DirectoryPart(path), &folder) && folder)) {
    result = kXTErrNoFolder;
  }
  return TraceLevel(result, kApiCheckText);
}

}  // namespace CnvTools
