// The xthost commands on layouts:
//   layout          every layout with its master spreads, spreads, pages and
//                   items (in walk order, anchored items under their story),
//                   layers and the document's item data, item data in hex
//   view K          shows the layout spreads (0) or the master spreads with
//                   master spread K + 2 in front
//   layout-select I makes layout I current
//   type BOX POS TEXT  types TEXT into the story of box BOX at POS, as the
//                   host does for a user: master boxes notify their copies
//   lines BOX       the lines composed in box BOX (host/compose.h)
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "host/document.h"
#include "host/host.h"

namespace xthost {

// The lines of the "layout" command for a document opened as `project`.
std::vector<std::string> DescribeLayout(const DocumentContent& content, int32_t project);

// Runs one of the commands above on the current document; false (with
// "NAME failed: REASON" in the transcript) when it failed.
bool RunLayoutCommand(Host& host, const std::string& name, const std::string& value);

}  // namespace xthost
