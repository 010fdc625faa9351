#include "framework/cf_name_composer.h"

#include <cstring>

CF_NameComposer::CF_NameComposer(std::string prefix)
    : data_(inline_), capacity_(kInline), prefixLength_(prefix.size()) {
  Reserve(prefixLength_ + kChildMark + 1, 0);
  std::memcpy(data_, prefix.data(), prefixLength_);
}

CF_NameComposer::CF_NameComposer(const CF_NameComposer& parent, uint32_t number)
    : data_(inline_), capacity_(kInline), prefixLength_(parent.prefixLength_) {
  Reserve(prefixLength_ + 2 * kChildMark + 1, 0);
  std::memcpy(data_, parent.data_, prefixLength_);
  prefixLength_ += PutChildMark(data_ + prefixLength_, number);
}

void CF_NameComposer::Reserve(size_t size, size_t keep) {
  if (size <= capacity_) return;
  std::unique_ptr<char[]> grown(new char[size]);
  std::memcpy(grown.get(), data_, keep);
  heap_ = std::move(grown);
  data_ = heap_.get();
  capacity_ = size;
}

size_t CF_NameComposer::PutChildMark(char* to, uint32_t number) {
  // The digits from the last one back, then moved up behind the separator.
  char digits[8];
  size_t first = sizeof digits;
  do {
    digits[--first] = "0123456789ABCDEF"[number & 0xF];
    number >>= 4;
  } while (number != 0);
  to[0] = kSeparator;
  std::memcpy(to + 1, digits + first, sizeof digits - first);
  return 1 + sizeof digits - first;
}

std::string CF_NameComposer::StreamName(const char* name) const {
  std::string composed;
  composed.reserve(prefixLength_ + 1 + std::strlen(name));
  composed.append(data_, prefixLength_);
  composed += kSeparator;
  composed += name;
  return composed;
}

size_t CF_NameComposer::Compose(const char* name) {
  const size_t length = std::strlen(name);
  Reserve(prefixLength_ + 1 + length + 1, prefixLength_);
  data_[prefixLength_] = kSeparator;
  std::memcpy(data_ + prefixLength_ + 1, name, length + 1);
  return length;
}

const char* CF_NameComposer::ComposedName(const char* name) {
  Compose(name);
  return data_;
}

const char* CF_NameComposer::ComposedPlainName(const char* name) {
  const size_t length = Compose(name);
  // The name's bytes, eight at a time: a word holds a byte below 3 (0x01 or
  // 0x02, the name has no NUL) when subtracting 3 from every byte borrows
  // into a byte whose top bit was clear.
  const char* p = data_ + prefixLength_ + 1;
  const char* const end = p + length;
  constexpr uint64_t kOnes = 0x0101010101010101u;
  for (; end - p >= 8; p += 8) {
    uint64_t word;
    std::memcpy(&word, p, 8);
    if (((word - 3 * kOnes) & ~word & 0x80 * kOnes) != 0) return nullptr;
  }
  for (; p != end; ++p) {
    if (static_cast<unsigned char>(*p) <= static_cast<unsigned char>(kTableMark)) return nullptr;
  }
  return data_;
}

const char* CF_NameComposer::ComposedTableName() {
  data_[prefixLength_] = kTableMark;
  data_[prefixLength_ + 1] = '\0';
  return data_;
}

std::string CF_NameComposer::ChildPrefix(uint32_t number) const {
  char mark[kChildMark];
  std::string child;
  child.reserve(prefixLength_ + kChildMark);
  child.append(data_, prefixLength_);
  child.append(mark, PutChildMark(mark, number));
  return child;
}

bool CF_NameComposer::IsPlainName(const char* name) {
  return std::strpbrk(name, "\x01\x02") == nullptr;
}
