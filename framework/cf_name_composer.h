// Composes the code-file names of a folder's streams, table and children
// from the folder's prefix.
#pragma once

#include <cstdint>
#include <string>

class CF_NameComposer {
 public:
  static constexpr char kSeparator = '\x01';
  static constexpr char kTableMark = '\x02';

  explicit CF_NameComposer(std::string prefix);
  virtual ~CF_NameComposer() noexcept(false) {}

  const std::string& Prefix() const { return prefix_; }
  // prefix 0x01 name
  std::string StreamName(const char* name) const;
  // The same in a buffer of this object's, valid until the next call of
  // this or ComposedTableName.
  const char* ComposedName(const char* name);
  // prefix 0x02
  std::string TableName() const { return prefix_ + kTableMark; }
  // The same in that buffer.
  const char* ComposedTableName();
  // prefix 0x01 and the number in upper-case hexadecimal ("%X")
  std::string ChildPrefix(uint32_t number) const;

  // True when the name holds neither separator byte.
  static bool IsPlainName(const char* name);

 private:
  std::string prefix_;
  std::string composed_;  // the prefix, then the rest of the last name composed
};
