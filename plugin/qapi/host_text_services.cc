#include "plugin/qapi/host_text_services.h"

#include <cstring>

#include "plugin/qapi/q_handle.h"
#include "support/host_link.h"
#include "support/host_result.h"

int32_t FetchParagraphFormat(XTTextRef ref, int32_t index, XTParaFormatRecord* record,
                             uint16_t* word) {
  const XTTextAttributeSuite* attributes = XT().lgg2;
  if (attributes == nullptr) return kXTErrNoSuite;
  XTAttrContext context = 0;
  const int32_t result = HostCall("attribute_context", attributes->attribute_context(ref, &context));
  if (result != kXTOk) return result;
  return HostCall("paragraph_format", attributes->paragraph_format(context, index, record, word));
}

int32_t GetStoryTextNarrow(XTTextRef ref, int32_t start, int32_t count, char* out) {
  const XTStoryTextSuite* story = XT().lgf2;
  if (story == nullptr) return kXTErrNoSuite;
  if (count < 0 || count > INT32_MAX / 2) return kXTErrParam;
  QHandle block;
  int32_t result = QHandle::TryAllocate(static_cast<uint32_t>(count) * 2, &block);
  if (result != kXTOk) return result;
  char16_t* units = static_cast<char16_t*>(block.Data());
  if (units == nullptr) return kXTErrParam;
  result = HostCall("read_text", story->read_text(ref, start, count, units));
  if (result == kXTOk) {
    for (int32_t i = 0; i < count; ++i) out[i] = static_cast<char>(units[i] & 0xFF);
  }
  return result;
}

int32_t OpenDocumentFromSpec(const XTFileSpec* spec, int32_t flags) {
  const HostLink& link = XT();
  if (link.errors == nullptr || link.files == nullptr || link.documents == nullptr) {
    return kXTErrNoSuite;
  }
  if (spec == nullptr) {
    link.errors->set_error(4);
    return link.errors->current_error();
  }
  XTFile file = 0;
  int32_t status = link.files->new_file(&file);
  if (status == kXTOk) {
    status = link.files->set_file_spec(file, spec);
    if (status == kXTOk) status = link.documents->open_document(file, flags);
  }
  if (file != 0) link.files->dispose_file(file);
  link.errors->set_error(status);
  return link.errors->current_error();
}
