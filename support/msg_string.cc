#include "support/msg_string.h"

#include <cstring>
#include <new>

MsgString::Impl::Impl(const char* text) : length_(0), text_{} {
  const std::size_t length = text ? ::strnlen(text, sizeof text_ - 1) : 0;
  std::memcpy(text_, text ? text : "", length);
  length_ = static_cast<uint8_t>(length);
}

MsgString MsgString::Create(const char* text) {
  MsgString result;
  result.impl_ = RefHandle<Impl>::Adopt(new (std::nothrow) Impl(text));
  return result;
}

const char* MsgString::Text() const { return impl_ ? impl_->Text() : ""; }

uint8_t MsgString::Length() const { return impl_ ? impl_->Length() : 0; }
