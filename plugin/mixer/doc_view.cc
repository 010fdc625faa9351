#include "plugin/mixer/doc_view.h"

#include <unordered_map>

#include "plugin/mixer/api_failure.h"
#include "plugin/qapi/mixer_services.h"
#include "plugin/qapi/qapi_trace.h"
#include "plugin/qapi/quark_doc.h"
#include "support/host_link.h"
#include "support/host_result.h"

namespace {

const char kSource[] = "Mixer";

// The fixed lines the reports of this module name.
enum ReportLine : int {
  kLineDocumentRef = 116,
  kLineViewOf = 139,
  kLineShowView = 161,
  kLineMakeCurrent = 203,
};

// The index each view was last shown at by xt_viewgotomaster.
std::unordered_map<int32_t, int32_t>& ShownIndices() {
  static std::unordered_map<int32_t, int32_t> shown;
  return shown;
}

}  // namespace

XTDocRef xt_getdocref() {
  // A document reference is the id of the document (the current layout's
  // own id).
  const XTDocumentStateSuite* state = XT().lgi2;
  int16_t id = -1;
  int32_t result = state != nullptr ? state->current_document(&id) : kXTErrNoSuite;
  if (result == kXTOk && id < 0) result = kXTErrNoDocument;
  if (CheckApiResult(result, ApiPolicy::kReturnValue, kSource, kLineDocumentRef, "xt_getdocref") !=
      kXTOk)
    return XTDocRef(-1);
  return XTDocRef(id);
}

int32_t xt_getdocviewref(uint32_t* docRef) {
  const XTDocRef document = xt_getdocref();
  if (!document.IsValid()) return 0;
  const XTLayoutSuite* layout = XT().lgk2;
  int32_t view = 0;
  const int32_t result = layout != nullptr ? layout->view_of(document.value, &view) : kXTErrNoSuite;
  if (CheckApiResult(result, ApiPolicy::kReturnValue, kSource, kLineViewOf, "xt_getdocviewref") !=
      kXTOk)
    return 0;
  if (docRef != nullptr) *docRef = static_cast<uint32_t>(document.value);
  return view;
}

int32_t xt_viewgotomaster(int32_t& view, int32_t index) {
  const XTLayoutSuite* layout = XT().lgk2;
  const int32_t result = layout != nullptr ? layout->show_view(view, index) : kXTErrNoSuite;
  if (result == kXTOk) ShownIndices()[view] = index;
  return CheckApiResult(result, ApiPolicy::kReturnError, kSource, kLineShowView,
                        "xt_viewgotomaster");
}

int32_t xt_viewshownindex(int32_t view) {
  const auto found = ShownIndices().find(view);
  return found == ShownIndices().end() ? -1 : found->second;
}

namespace Mixer {

XTDocRef MakeCurrent(XTDocRef document) {
  const HostLink& link = XT();
  const XTDocRef previous(GetCurrentDocumentId());
  if (link.lgi2 == nullptr) return previous;
  EnsureContentTool();
  if (previous != document) {
    HostCall("set_current_document", link.lgi2->set_current_document(static_cast<int16_t>(document.value)));
  }
  // A view the host reports busy (its window behind another) is brought to
  // the front once; one still busy after that is a fault of the host's.
  int32_t state = 0;
  if (link.lgk2 != nullptr && link.lgk2->view_state(document.value, &state) == kXTOk && state != 0) {
    link.lgk2->bring_view_to_front(document.value);
    if (link.lgk2->view_state(document.value, &state) == kXTOk && state != 0)
      QuarkInternalError(kSource, kLineMakeCurrent);
  }
  if (GetCurrentDocumentId() != document.value) QuarkInternalError(kSource, kLineMakeCurrent + 2);
  int32_t mode = 0;
  if (link.lgh2 == nullptr || link.lgh2->tool_mode(&mode) != kXTOk || mode != 1)
    QuarkInternalError(kSource, kLineMakeCurrent + 4);
  return previous;
}

}  // namespace Mixer
