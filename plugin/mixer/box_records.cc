#include "plugin/mixer/box_records.h"

#include "plugin/mixer/api_failure.h"
#include "plugin/mixer/doc_view.h"
#include "support/host_calls.h"
#include "support/host_link.h"

namespace {

const char kSource[] = "Mixer";
constexpr int kLineLocation = 1512;
constexpr int kLineMasterName = 1561;

// The eight kind answers of the host for `box`, packed in slot order.
uint32_t KindBits(XTItem box) {
  const XTLayoutSuite* layout = XT().lgk2;
  if (layout == nullptr) return 0;
  using Predicate = int32_t (*)(XTItem, uint8_t*);
  const Predicate predicates[] = {layout->is_text_box, layout->is_picture_box,
                                  layout->is_empty_box, layout->is_line, layout->is_group};
  uint32_t bits = 0;
  uint32_t bit = 1;
  for (const Predicate predicate : predicates) {
    uint8_t answer = 0;
    if (predicate(box, &answer) == kXTOk && answer != 0) bits |= bit;
    bit <<= 1;
  }
  uint16_t story = 0;  // the sixth answers 16 bits
  if (layout->anchor_story(box, &story) == kXTOk && story != 0) bits |= bit;
  bit <<= 1;
  for (const Predicate predicate : {layout->is_locked, layout->is_rotated}) {
    uint8_t answer = 0;
    if (predicate(box, &answer) == kXTOk && answer != 0) bits |= bit;
    bit <<= 1;
  }
  return bits;
}

}  // namespace

ct_Box::ct_Box(const XTItem& handle, uint8_t flag) : box(handle), masterFlag(flag) {
  kindBits = KindBits(box);
  if (box == 0) return;
  const XTLayoutSuite* layout = XT().lgk2;
  const int32_t result = layout != nullptr ? layout->item_location(box, 0, &location) : kXTErrNoSuite;
  CheckApiResult(result, ApiPolicy::kReturnEmpty, kSource, kLineLocation, "ct_Box::ct_Box");
}

ct_MBox::ct_MBox(const XTItem& handle, uint16_t page) : ct_Box(handle, 1), masterPage(page) {
  if (box == 0 || static_cast<int16_t>(masterPage) < 1) {
    spreadName = "<INVALID>";
    return;
  }
  xt_getdocref();
  const HostLink& link = XT();
  XTString name = 0;
  const int32_t result = link.lgk2 != nullptr ? link.lgk2->master_name(location.spread_low, &name)
                                              : kXTErrNoSuite;
  CheckApiResult(result, ApiPolicy::kCheckOnly, kSource, kLineMasterName, "ct_MBox::ct_MBox");
  std::string text;
  bool converted = false;
  if (result == kXTOk && HostStringToStd(name, text, &converted) == kXTOk && converted) {
    spreadName = text;
  } else {
    spreadName = "<ERROR>";
  }
  if (name != 0 && link.qsb1 != nullptr) link.qsb1->dispose_string(name);
}
