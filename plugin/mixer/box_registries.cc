#include "plugin/mixer/box_registries.h"

#include "platform/xt/xt_records.h"
#include "plugin/mixer/master_trace.h"
#include "support/host_link.h"

namespace {

// The host's per-box master test; a failed call counts as no.
bool IsMasterItem(XTItem box) {
  const XTLayoutSuite* layout = XT().lgk2;
  uint8_t answer = 0;
  return layout != nullptr && layout->is_master_item(box, 0, &answer) == kXTOk && answer != 0;
}

}  // namespace

BoxLinkSet& LinkedBoxRegistry() {
  static BoxLinkSet registry;
  return registry;
}

BoxPairMap& BoxPairRegistry() {
  static BoxPairMap registry;
  return registry;
}

void EmptyBoxRegistries() {
  LinkedBoxRegistry().clear();
  BoxPairRegistry().clear();
}

const std::string& ProductPrefix() {
  static const std::string prefix = "Brenix ";
  return prefix;
}

int32_t OnLinkedBoxNotice(void* record) {
  if (record == nullptr) return 0;
  const XTItem box = static_cast<const XTBoxRec*>(record)->box;
  if (IsMasterItem(box)) return 0;
  const ct_Box made(box, 0);
  const bool added = LinkedBoxRegistry().emplace(box, made).second;
  LogMasterPageTrace(made,
                     added ? "Register linked layout box as AUTOTEXT BOX"
                           : "Linked layout box already registered as AUTOTEXT BOX",
                     -1);
  return 0;
}

int32_t OnBoxPairNotice(void* record) {
  if (record == nullptr) return 0;
  const XTBoxRec& notice = *static_cast<const XTBoxRec*>(record);
  if (!IsMasterItem(notice.source)) return 0;
  const ct_Box source(notice.source, 0);
  // The master page of a master spread s is s - 2 for the view switch.
  const auto [entry, added] = BoxPairRegistry().try_emplace(
      notice.source, notice.source, static_cast<uint16_t>(source.Spread() - 2));
  LogMasterPageTrace(source, "SRCBOX", added ? 1 : 0);
  const ct_Box destination(notice.box, 0);
  entry->second.users.emplace(notice.box, destination);
  LogMasterPageTrace(destination, "DSTBOX", added ? 1 : 0);
  return 0;
}

BoxPairMap::iterator FindMasterOfLayoutBox(const XTItem& box) {
  BoxPairMap& registry = BoxPairRegistry();
  for (auto it = registry.begin(); it != registry.end(); ++it) {
    if (it->second.users.count(box) != 0) return it;
  }
  return registry.end();
}
