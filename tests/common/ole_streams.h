// Whole streams of a compound file through the storage wrappers.
#pragma once

#include <cstdint>
#include <string>

#include "framework/ole_storage.h"
#include "framework/ole_stream.h"

namespace testutil {

// Creates (or replaces) the stream `name` of `storage` holding `bytes`.
inline void PutStreamBytes(OLEStorage& storage, const char16_t* name, const std::string& bytes) {
  OLEStream stream(storage, name, kOLECreate);
  stream.PutData(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// The bytes of the stream `name` of `storage`, as far as they read.
inline std::string StreamBytes(OLEStorage& storage, const char16_t* name) {
  OLEStream stream(storage, name, kOLERead);
  std::string bytes(stream.GetSize(), '\0');
  bytes.resize(stream.GetData(bytes.data(), static_cast<uint32_t>(bytes.size())));
  return bytes;
}

}  // namespace testutil
