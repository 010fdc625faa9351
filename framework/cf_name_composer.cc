#include "framework/cf_name_composer.h"

#include <cstring>

std::string CF_NameComposer::StreamName(const char* name) const {
  std::string composed;
  composed.reserve(prefix_.size() + 1 + std::strlen(name));
  composed += prefix_;
  composed += kSeparator;
  composed += name;
  return composed;
}

CF_NameComposer::CF_NameComposer(std::string prefix) : prefix_(std::move(prefix)) {
  // Room for the usual names, so that composing them allocates nothing.
  composed_.reserve(prefix_.size() + 48);
  composed_ = prefix_;
}

const char* CF_NameComposer::ComposedName(const char* name) {
  composed_.resize(prefix_.size());
  composed_ += kSeparator;
  composed_ += name;
  return composed_.c_str();
}

const char* CF_NameComposer::ComposedTableName() {
  composed_.resize(prefix_.size());
  composed_ += kTableMark;
  return composed_.c_str();
}

std::string CF_NameComposer::ChildPrefix(uint32_t number) const {
  // The digits from the last one back, then the prefix and separator before
  // them.
  char digits[8];
  size_t first = sizeof digits;
  do {
    digits[--first] = "0123456789ABCDEF"[number & 0xF];
    number >>= 4;
  } while (number != 0);
  std::string child;
  child.reserve(prefix_.size() + 1 + sizeof digits - first);
  child += prefix_;
  child += kSeparator;
  child.append(digits + first, sizeof digits - first);
  return child;
}

bool CF_NameComposer::IsPlainName(const char* name) {
  return std::strpbrk(name, "\x01\x02") == nullptr;
}
