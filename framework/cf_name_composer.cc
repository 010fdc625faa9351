#include "framework/cf_name_composer.h"

#include <cstring>

std::string CF_NameComposer::StreamName(const char* name) const {
  std::string composed;
  composed.reserve(prefixLength_ + 1 + std::strlen(name));
  composed.append(composed_, 0, prefixLength_);
  composed += kSeparator;
  composed += name;
  return composed;
}

CF_NameComposer::CF_NameComposer(std::string prefix) : composed_(std::move(prefix)), prefixLength_(composed_.size()) {
  composed_.reserve(prefixLength_ + kRoom);
}

const char* CF_NameComposer::ComposedName(const char* name) {
  composed_.resize(prefixLength_);
  composed_ += kSeparator;
  composed_ += name;
  return composed_.c_str();
}

const char* CF_NameComposer::ComposedTableName() {
  composed_.resize(prefixLength_);
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
  child.reserve(prefixLength_ + 1 + sizeof digits + kRoom);
  child.append(composed_, 0, prefixLength_);
  child += kSeparator;
  child.append(digits + first, sizeof digits - first);
  return child;
}

bool CF_NameComposer::IsPlainName(const char* name) {
  return std::strpbrk(name, "\x01\x02") == nullptr;
}
