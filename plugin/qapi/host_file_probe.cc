#include "plugin/qapi/host_file_probe.h"

#include "support/host_file_spec.h"

namespace CnvTools {

int32_t ProbeHostFile(const std::string& path) { return DeleteHostFile(path); }

}  // namespace CnvTools
