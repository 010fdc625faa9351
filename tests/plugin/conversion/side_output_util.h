// Driving the side-output exporters over the in-process stand-in without
// the export commands: every layout of the current project made current in
// turn, as the commands do before they make one exporter per layout.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/xt/xt_layout_suites.h"
#include "plugin/qapi/quark_doc.h"
#include "support/host_link.h"

namespace side_test {

// Calls `each` with the document object (its layout current) and the layout
// index for every layout; the first document current again afterwards.
// The layouts visited.
inline int32_t ForEachLayout(const std::function<void(const RefHandle<QuarkDoc>&, int32_t)>& each) {
  const RefHandle<QuarkDoc> document = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
  const XTLayoutSuite* layout = XT().lgk2;
  const int16_t initial = GetCurrentDocumentId();
  const XTProject project = QueryCurrentDocument();
  int32_t count = 0;
  if (layout->layout_count(project, &count) != kXTOk) return 0;
  int32_t visited = 0;
  for (int32_t i = 0; i < count; ++i) {
    XTLayout handle = 0;
    int16_t id = 0;
    if (layout->layout_at(project, i, &handle) != kXTOk ||
        layout->layout_document(handle, &id) != kXTOk) {
      break;
    }
    document->documentId = id;
    document->MakeCurrent();
    each(document, i);
    ++visited;
  }
  document->documentId = initial;
  document->MakeCurrent();
  return visited;
}

}  // namespace side_test
