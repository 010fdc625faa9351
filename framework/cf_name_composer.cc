#include "framework/cf_name_composer.h"

#include <cstdio>
#include <cstring>

std::string CF_NameComposer::StreamName(const char* name) const {
  std::string composed;
  composed.reserve(prefix_.size() + 1 + std::strlen(name));
  composed += prefix_;
  composed += kSeparator;
  composed += name;
  return composed;
}

const char* CF_NameComposer::ComposedName(const char* name) {
  composed_.assign(prefix_);
  composed_ += kSeparator;
  composed_ += name;
  return composed_.c_str();
}

std::string CF_NameComposer::ChildPrefix(uint32_t number) const {
  char digits[9];
  std::snprintf(digits, sizeof digits, "%X", static_cast<unsigned>(number));
  return prefix_ + kSeparator + digits;
}

bool CF_NameComposer::IsPlainName(const char* name) {
  return std::strpbrk(name, "\x01\x02") == nullptr;
}
