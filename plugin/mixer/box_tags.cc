#include "plugin/mixer/box_tags.h"

#include <cstring>

#include "plugin/mixer/host_pages.h"
#include "plugin/qapi/mixer_services.h"
#include "plugin/qapi/q_handle.h"
#include "plugin/qapi/qapi_trace.h"
#include "plugin/qapi/quark_doc.h"
#include "support/error_names.h"
#include "support/host_calls.h"
#include "support/host_link.h"
#include "support/host_result.h"

namespace {

const char kSource[] = "Mixer";
constexpr int kLineNotTextBox = 391;
constexpr int kLineHasParent = 395;
constexpr int kLineToolMode = 402;

// The content tool, which the host's item data calls work in.
void ContentTool() {
  if (!Mixer::EnsureContentTool()) QuarkInternalError(kSource, kLineToolMode);
}

// `value`'s low `size` bytes, most significant first.
struct TagBytes {
  uint8_t bytes[4];
  uint32_t size;
};
TagBytes BigEndian(uint32_t value, uint32_t size) {
  TagBytes tag{{}, size};
  for (uint32_t i = 0; i < size; ++i)
    tag.bytes[i] = static_cast<uint8_t>(value >> (8 * (size - 1 - i)));
  return tag;
}

// A new host block holding the tag's bytes; an empty handle when the host
// gives none, counted as a failed call: no tag is found or set without it.
QHandle TagBlock(const TagBytes& tag) {
  QHandle block;
  if (QHandle::TryAllocate(tag.size, &block) != kXTOk) {
    NoteHostFailure();
    return QHandle();
  }
  if (!block.CopyIn(0, tag.bytes, tag.size)) return QHandle();
  return block;
}

void NoteDataChanged() {
  const int16_t document = GetCurrentDocumentId();
  if (document >= 0) XT().lgl2->data_changed(document);
}

int32_t SetTag(XTItem box, uint32_t key, const TagBytes& tag) {
  ContentTool();
  const XTItemDataSuite* data = XT().lgl2;
  if (data == nullptr) return TraceLevel(kXTErrNoSuite, kApiCheckText);
  QHandle block = TagBlock(tag);
  if (block.Get() == 0) return TraceLevel(kXTErrParam, kApiCheckText);
  const int32_t result = HostCall("set_item_data", data->set_item_data(GetDataOwner(box, 0), key, block.Get()));
  TraceLevel(result, kApiCheckText);
  NoteDataChanged();
  return result;
}

XTItem FindTag(uint32_t key, const TagBytes& tag) {
  ContentTool();
  const HostLink& link = XT();
  if (link.lgl2 == nullptr || link.lgk2 == nullptr) return 0;
  QHandle block = TagBlock(tag);
  if (block.Get() == 0) return 0;
  XTItem item = 0;
  if (HostCall("find_item_data", link.lgl2->find_item_data(key, block.Get(), &item), kXTErrNoItem) != kXTOk) return 0;
  uint8_t textBox = 0;
  if (link.lgk2->is_text_box(item, &textBox) != kXTOk || textBox == 0)
    QuarkInternalError(kSource, kLineNotTextBox);
  XTItem parent = 0;
  if (link.lgk2->parent_item(item, &parent) == kXTOk && parent != 0)
    QuarkInternalError(kSource, kLineHasParent);
  return item;
}

}  // namespace

int32_t SetBoxTag16(XTItem box, uint32_t key, uint16_t value) {
  return SetTag(box, key, BigEndian(value, 2));
}

int32_t SetBoxTag32(XTItem box, uint32_t key, int32_t value) {
  return SetTag(box, key, BigEndian(static_cast<uint32_t>(value), 4));
}

bool GetBoxTag(XTItem box, uint32_t key, int32_t* value) {
  ContentTool();
  const XTItemDataSuite* data = XT().lgl2;
  if (data == nullptr) return false;
  XTHandle made = 0;
  if (HostCall("get_item_data", data->get_item_data(GetDataOwner(box, 0), key, &made), kXTErrNotFound) != kXTOk)
    return false;
  const QHandle block = QHandle::Adopt(made);
  const auto* bytes = static_cast<const uint8_t*>(block.Data());
  if (block.Size() != 4 || bytes == nullptr) return false;
  if (value != nullptr)
    *value = static_cast<int32_t>(uint32_t(bytes[0]) << 24 | uint32_t(bytes[1]) << 16 |
                                  uint32_t(bytes[2]) << 8 | bytes[3]);
  return true;
}

bool GetBoxId(XTItem box, int32_t* id) { return GetBoxTag(box, kBoxIdTagKey, id); }

int32_t ClearBoxTag(XTItem box, uint32_t key) {
  ContentTool();
  const XTItemDataSuite* data = XT().lgl2;
  if (data == nullptr) return TraceLevel(kXTErrNoSuite, kApiCheckText);
  const int32_t result = HostCall("set_item_data", data->set_item_data(GetDataOwner(box, 0), key, 0));
  TraceLevel(result, kApiCheckText);
  NoteDataChanged();
  return result;
}

XTItem FindBoxByTag32(uint32_t key, int32_t value) {
  return FindTag(key, BigEndian(static_cast<uint32_t>(value), 4));
}

XTItem FindBoxByTag16(uint32_t key, uint16_t value) { return FindTag(key, BigEndian(value, 2)); }
