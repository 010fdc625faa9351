#include "plugin/qapi/q_handle.h"

#include <cstring>
#include <new>
#include <utility>

#include "plugin/qapi/qapi_trace.h"
#include "support/host_link.h"
#include "support/host_result.h"

QHandle::QHandle(uint32_t size) {
  if (TryAllocate(size, this) != kXTOk) {
    QuarkInternalError("Plugin\\Qapi\\QHandle", 28);
    throw std::bad_alloc();
  }
}

int32_t QHandle::TryAllocate(uint32_t size, QHandle* out) {
  const XTMemorySuite* memory = XT().lge2;
  if (memory == nullptr) return kXTErrNoSuite;
  XTHandle handle = 0;
  const int32_t result = memory->new_handle(size, &handle);
  if (result != kXTOk) {
    // Logged, not counted: a caller may do without the handle.
    LogUncountedFailure("new_handle", result);
    return result;
  }
  if (handle == 0) return kXTErrParam;
  *out = Adopt(handle);
  return kXTOk;
}

QHandle QHandle::Adopt(XTHandle handle) {
  QHandle adopted;
  adopted.handle_ = handle;
  return adopted;
}

QHandle::QHandle(QHandle&& other) noexcept : handle_(std::exchange(other.handle_, 0)) {}

QHandle& QHandle::operator=(QHandle&& other) noexcept {
  if (this != &other) {
    Dispose();
    handle_ = std::exchange(other.handle_, 0);
  }
  return *this;
}

int32_t QHandle::Dispose() {
  const XTHandle handle = std::exchange(handle_, 0);
  if (handle == 0 || XT().lge2 == nullptr) return kXTOk;
  return XT().lge2->dispose_handle(handle);
}

uint32_t QHandle::Size() const {
  uint32_t size = 0;
  if (handle_ == 0 || XT().lge2 == nullptr ||
      HostCall("handle_size", XT().lge2->handle_size(handle_, &size)) != kXTOk) {
    return 0;
  }
  return size;
}

void* QHandle::Data() const {
  void* data = nullptr;
  if (handle_ == 0 || XT().lge2 == nullptr ||
      HostCall("handle_data", XT().lge2->handle_data(handle_, &data)) != kXTOk) {
    return nullptr;
  }
  return data;
}

bool QHandle::CopyOut(uint32_t offset, void* out, uint32_t size) const {
  const uint32_t held = Size();
  if (offset > held || size > held - offset) return false;
  const auto* data = static_cast<const unsigned char*>(Data());
  if (data == nullptr) return false;
  std::memcpy(out, data + offset, size);
  return true;
}

bool QHandle::CopyIn(uint32_t offset, const void* in, uint32_t size) {
  const uint32_t held = Size();
  if (offset > held || size > held - offset) return false;
  auto* data = static_cast<unsigned char*>(Data());
  if (data == nullptr) return false;
  std::memcpy(data + offset, in, size);
  return true;
}
