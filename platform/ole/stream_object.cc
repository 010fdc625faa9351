#include "platform/ole/stream_object.h"

#include <algorithm>
#include <limits>
#include <vector>

namespace ole {

Result StreamObject::Read(void* buffer, uint32_t n, uint32_t* read) {
  if (read != nullptr) *read = 0;
  if (buffer == nullptr && n > 0) return STG_E_INVALIDPOINTER;
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  size_t got = 0;
  Result r = element_.entry->data.Read(position_, buffer, n, &got);
  position_ += got;
  if (read != nullptr) *read = static_cast<uint32_t>(got);
  return r;
}

Result StreamObject::Write(const void* data, uint32_t n, uint32_t* written) {
  if (written != nullptr) *written = 0;
  if (data == nullptr && n > 0) return STG_E_INVALIDPOINTER;
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  if (!element_.CanWrite()) return STG_E_ACCESSDENIED;
  if (n == 0) return S_OK;
  if (position_ > StreamData::kMaxSize || n > StreamData::kMaxSize - position_) return STG_E_MEDIUMFULL;
  return Guarded([&] {
    element_.file->Touch();
    Result r = element_.entry->data.Write(element_.file->work(), position_, data, n);
    if (!Succeeded(r)) return r;
    position_ += n;
    if (written != nullptr) *written = n;
    return S_OK;
  });
}

Result StreamObject::Seek(int64_t offset, SeekOrigin origin, uint64_t* position) {
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  uint64_t base;
  switch (origin) {
    case STREAM_SEEK_SET:
      base = 0;
      break;
    case STREAM_SEEK_CUR:
      base = position_;
      break;
    case STREAM_SEEK_END:
      base = element_.entry->data.size();
      break;
    default:
      return STG_E_INVALIDFUNCTION;
  }
  uint64_t target;
  if (offset >= 0) {
    auto forward = static_cast<uint64_t>(offset);
    if (forward > std::numeric_limits<uint64_t>::max() - base) return STG_E_INVALIDFUNCTION;
    target = base + forward;
  } else {
    uint64_t back = 0 - static_cast<uint64_t>(offset);
    if (back > base) return STG_E_INVALIDFUNCTION;
    target = base - back;
  }
  position_ = target;
  if (position != nullptr) *position = target;
  return S_OK;
}

Result StreamObject::SetSize(uint64_t size) {
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  if (!element_.CanWrite()) return STG_E_ACCESSDENIED;
  if (size > StreamData::kMaxSize) return STG_E_MEDIUMFULL;
  return Guarded([&] {
    element_.file->Touch();
    return element_.entry->data.Resize(element_.file->work(), static_cast<uint32_t>(size));
  });
}

Result StreamObject::CopyTo(Stream* destination, uint64_t n, uint64_t* read, uint64_t* written) {
  if (read != nullptr) *read = 0;
  if (written != nullptr) *written = 0;
  if (destination == nullptr) return STG_E_INVALIDPOINTER;
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  const StreamData& data = element_.entry->data;
  uint64_t available = position_ < data.size() ? data.size() - position_ : 0;
  uint64_t todo = std::min(n, available);
  auto* same = dynamic_cast<StreamObject*>(destination);
  bool overlapping = same != nullptr && same->element_.entry == element_.entry;
  return Guarded([&] {
    // Copying within one stream reads everything first, so the writes cannot
    // change bytes not yet read.
    std::vector<uint8_t> buffer(overlapping ? todo : std::min<uint64_t>(todo, 1u << 16));
    uint64_t done_read = 0, done_written = 0;
    Result result = S_OK;
    while (done_read < todo) {
      size_t got = 0;
      result = data.Read(position_, buffer.data(), std::min<uint64_t>(buffer.size(), todo - done_read), &got);
      if (!Succeeded(result) || got == 0) break;
      position_ += got;
      done_read += got;
      uint32_t out = 0;
      result = destination->Write(buffer.data(), static_cast<uint32_t>(got), &out);
      done_written += out;
      if (!Succeeded(result) || out < got) break;
    }
    if (read != nullptr) *read = done_read;
    if (written != nullptr) *written = done_written;
    return result;
  });
}

Result StreamObject::Clone(Stream** clone) {
  if (clone == nullptr) return STG_E_INVALIDPOINTER;
  *clone = nullptr;
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  return Guarded([&] {
    *clone = new StreamObject(element_.file, element_.entry, element_.mode, position_);
    return S_OK;
  });
}

Result StreamObject::Stat(StatStg* stat) {
  if (stat == nullptr) return STG_E_INVALIDPOINTER;
  if (Result r = element_.Usable(); !Succeeded(r)) return r;
  return Guarded([&] {
    stat->name = element_.entry->name;
    stat->type = STGTY_STREAM;
    stat->size = element_.entry->data.size();
    stat->mode = element_.mode;
    stat->clsid = Clsid();
    stat->state_bits = element_.entry->state_bits;
    return S_OK;
  });
}

}  // namespace ole
