// Composes the code-file names of a folder's streams, table and children
// from the folder's prefix.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class CF_NameComposer {
 public:
  static constexpr char kSeparator = '\x01';
  static constexpr char kTableMark = '\x02';

  explicit CF_NameComposer(std::string prefix);
  virtual ~CF_NameComposer() noexcept(false) {}

  std::string Prefix() const { return composed_.substr(0, prefixLength_); }
  // prefix 0x01 name
  std::string StreamName(const char* name) const;
  // The same in a buffer of this object's, valid until the next call of
  // this or ComposedTableName.
  const char* ComposedName(const char* name);
  // prefix 0x02
  std::string TableName() const { return Prefix() + kTableMark; }
  // The same in that buffer.
  const char* ComposedTableName();
  // prefix 0x01 and the number in upper-case hexadecimal ("%X"), with room
  // behind it for the names a child folder composes.
  std::string ChildPrefix(uint32_t number) const;

  // True when the name holds neither separator byte.
  static bool IsPlainName(const char* name);

 private:
  // Room kept behind a prefix for the usual names, so that composing them
  // allocates nothing.
  static constexpr size_t kRoom = 48;

  // The prefix, then the rest of the last name composed: one buffer, so that
  // a folder costs one allocation for its names.
  std::string composed_;
  size_t prefixLength_;
};
