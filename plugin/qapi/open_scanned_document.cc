#include "plugin/qapi/open_scanned_document.h"

#include "plugin/qapi/host_text_services.h"
#include "plugin/qapi/quark_doc.h"
#include "support/host_calls.h"
#include "support/host_file_spec.h"

namespace CnvTools {

bool OpenScannedDocument(const std::string& path) {
  XTFileSpec spec{};
  if (xt_fsmakefsspec(0, 0, path, spec, true, false, false, nullptr, 0, false, nullptr) != kXTOk) return false;
  const int32_t before = GetDocumentCount();
  if (OpenDocumentFromSpec(&spec, 63) != kXTOk) return false;
  if (GetDocumentCount() > before) CloseCurrentProject(-1, kXTCloseDiscard);
  return true;
}

}  // namespace CnvTools
