// MsgString: the shared, reference-counted text in which action names, menu
// titles and error texts travel.
//
// The text holds at most 255 characters.  Its length byte stands right
// before the characters, so the text reads both as a length-prefixed string
// and as a NUL-terminated one.  Copies share one counted MsgString::Impl.
#pragma once

#include <cstdint>

#include "support/ref_object.h"

class MsgString {
 public:
  class Impl : public RefObject {
   public:
    // At most 255 characters of `text` (to its NUL; null reads as empty).
    explicit Impl(const char* text);
    uint8_t Length() const { return length_; }
    const char* Text() const { return text_; }

   private:
    uint8_t length_;  // the number of characters, 0-255
    char text_[256];  // index 255 is always a NUL
  };

  // An empty handle (Text() reads "").
  MsgString() = default;
  // A new text of count 1; an empty handle when memory runs out.
  static MsgString Create(const char* text);

  // The held text, or "" for an empty handle.
  const char* Text() const;
  // The number of characters, 0 for an empty handle.
  uint8_t Length() const;
  const RefHandle<Impl>& Handle() const { return impl_; }

 private:
  RefHandle<Impl> impl_;
};
