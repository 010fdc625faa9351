// Composes the code-file names of a folder's streams, table and children
// from the folder's prefix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

class CF_NameComposer {
 public:
  static constexpr char kSeparator = '\x01';
  static constexpr char kTableMark = '\x02';

  explicit CF_NameComposer(std::string prefix);
  // The composer of the parent's child folder `number`: its prefix is
  // ChildPrefix(number) of the parent's.
  CF_NameComposer(const CF_NameComposer& parent, uint32_t number);
  virtual ~CF_NameComposer() noexcept(false) {}
  // Not copyable: the names are composed in a buffer of the object's own.
  CF_NameComposer(const CF_NameComposer&) = delete;
  CF_NameComposer& operator=(const CF_NameComposer&) = delete;

  std::string Prefix() const { return std::string(data_, prefixLength_); }
  // prefix 0x01 name
  std::string StreamName(const char* name) const;
  // The same in a buffer of this object's, valid until the next call of
  // this, ComposedPlainName or ComposedTableName.
  const char* ComposedName(const char* name);
  // The same, or null when the name holds a separator byte (what is in the
  // buffer then is of no use).
  const char* ComposedPlainName(const char* name);
  // prefix 0x02
  std::string TableName() const { return Prefix() + kTableMark; }
  // The same in that buffer.
  const char* ComposedTableName();
  // prefix 0x01 and the number in upper-case hexadecimal ("%X").
  std::string ChildPrefix(uint32_t number) const;

  // True when the name holds neither separator byte.
  static bool IsPlainName(const char* name);

 private:
  // Room for a prefix and the usual names behind it, so that a folder
  // composes them without allocating.
  static constexpr size_t kInline = 104;
  // The most bytes the separator and a number take.
  static constexpr size_t kChildMark = 1 + 8;

  // Writes the separator and the number's digits at `to`; returns the bytes
  // written.
  static size_t PutChildMark(char* to, uint32_t number);
  // Makes the buffer hold at least `size` bytes, keeping the first `keep`.
  void Reserve(size_t size, size_t keep);
  // Composes prefix 0x01 name in the buffer; returns the name's length.
  size_t Compose(const char* name);

  // The prefix, then the rest of the last name composed.
  char* data_;
  size_t capacity_;
  size_t prefixLength_;
  std::unique_ptr<char[]> heap_;  // data_ when the names outgrow inline_
  char inline_[kInline];
};
