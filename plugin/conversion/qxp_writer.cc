#include "plugin/conversion/qxp_writer.h"

#include <climits>
#include <cstring>

#include "plugin/conversion/export_tables.h"
#include "plugin/qapi/progress_bar.h"
#include "plugin/xtension/brenix_exception.h"
#include "support/brenix_interface.h"

namespace {

constexpr uint16_t kErrorFileOpen = 1008;
constexpr uint16_t kErrorFileRead = 1009;

}  // namespace

Writer::Writer(const XTFileSpec& spec, ProgressBar* progress) : files_(FileDataTable()), progress_(progress) {
  std::memcpy(name_, spec.name, sizeof name_);
  name_[sizeof name_ - 1] = '\0';
  status_ = files_ == nullptr ? kXTErrNoSuite : files_->open_file(spec.volume, spec.folder, name_, 1, &file_);
  if (status_ != kXTOk) Fail(kErrorFileOpen);
}

Writer::~Writer() {
  files_->close_file(file_);
  Progress(85);
}

uint32_t Writer::GetData(void* buffer, uint32_t n) {
  Progress(static_cast<uint32_t>(25.0 / (reads_ + 10000.0) * reads_ + 70.0));
  reads_ += 1;
  if (status_ == kXTErrEndOfFile || n == 0) return 0;
  int32_t count = static_cast<int32_t>(n > INT32_MAX ? INT32_MAX : n);
  status_ = files_->read_file(file_, &count, buffer);
  if (count < 0) count = 0;
  if (status_ == kXTErrEndOfFile && count > 0) status_ = kXTOk;
  if ((status_ != kXTOk && status_ != kXTErrEndOfFile) || (status_ == kXTOk && count == 0)) {
    Fail(kErrorFileRead);
  }
  return static_cast<uint32_t>(count);
}

uint32_t Writer::Length() {
  int32_t length = 0;
  if (files_->file_length(file_, &length) != kXTOk || length < 0) return 0;
  return static_cast<uint32_t>(length);
}

void Writer::Fail(uint16_t code) const {
  ErrorRecord record;
  record.code = code;
  record.message = MsgString::Create(name_);
  throw BrenixException(record);
}

void Writer::Progress(uint32_t value) {
  if (progress_ != nullptr && !BrenixInterface::Instance()->multiDocMode) progress_->SetValue(value);
}
