#include "kxt/strings_map.h"

#include <algorithm>
#include <climits>

#include "kxt/kxt_records.h"

const char16_t* KXT_StringsMap::operator[](int32_t number) const {
  if (number == -1) return nullptr;
  const std::u16string* text = Indexed(number);
  return text == nullptr ? nullptr : text->c_str();
}

const std::u16string* KXT_StringsMap::Indexed(int32_t number) const {
  if (number >= 0 && static_cast<size_t>(number) < byNumber_.size() && byNumber_[number] != nullptr) {
    return byNumber_[number];
  }
  // Also a number that was far out when it was entered and that the
  // positions have grown past since.
  if (byFarNumber_.empty()) return nullptr;
  auto found = byFarNumber_.find(number);
  return found == byFarNumber_.end() ? nullptr : found->second;
}

void KXT_StringsMap::Index(int32_t number, const std::u16string* text) {
  // Positions grow to the number when it is near the count of entries, so
  // a damaged number far out costs no space.
  const size_t near = 2 * table_.size() + 64;
  if (number >= 0 && static_cast<size_t>(number) < near) {
    if (static_cast<size_t>(number) >= byNumber_.size()) byNumber_.resize(static_cast<size_t>(number) + 1, nullptr);
    if (byNumber_[number] == nullptr) byNumber_[number] = text;
    return;
  }
  byFarNumber_.emplace(number, text);
}

int32_t KXT_StringsMap::operator[](const char16_t* text) {
  if (text == nullptr) return -1;
  if (const int32_t* known = byText_.Find(text)) return *known;
  const int32_t number = NextNumber();
  auto made = table_.emplace(text, number).first;
  byText_.Set(made->first, number);
  Index(number, &made->first);
  highest_ = std::max(highest_, number);
  return number;
}

int32_t KXT_StringsMap::find(const char16_t* text) const {
  if (text == nullptr) return -1;
  const int32_t* found = byText_.Find(text);
  return found == nullptr ? -1 : *found;
}

int32_t KXT_StringsMap::NextNumber() const {
  const int64_t next = std::max<int64_t>(static_cast<int64_t>(table_.size()), int64_t{highest_} + 1);
  if (next <= INT32_MAX) return static_cast<int32_t>(next);
  // A stored map used the highest number: take the lowest free one.
  int32_t free = 0;
  while (Indexed(free) != nullptr) ++free;
  return free;
}

void KXT_StringsMap::Enter(const std::u16string& text, int32_t number) {
  auto entry = table_.insert_or_assign(text, number).first;
  byText_.Set(entry->first, number);
  highest_ = std::max(highest_, number);
}

void KXT_StringsMap::Reindex() {
  byNumber_.clear();
  byFarNumber_.clear();
  for (const auto& entry : table_) Index(entry.second, &entry.first);
}

// --- writing ---------------------------------------------------------------

void KXT_StringsMap_Out::Store(KXT_OutFolder& folder, const char* name) {
  folder.ProcessBundle(*this, KXT_NumberedString(), name, 0);
}

void KXT_StringsMap_Out::Call(KXT_OutBundle& bundle) {
  KXT_NumberedString_Out record;
  for (const auto& entry : Entries()) {
    record.m_Ref = entry.second;
    record.m_String = entry.first;
    bundle.PutRecord(record);
  }
}

// --- reading ---------------------------------------------------------------

bool KXT_StringsMap_In::Restore(KXT_InFolder& folder, const char* name) {
  return folder.ProcessBundle(*this, KXT_NumberedString(), name, 0);
}

void KXT_StringsMap_In::Call(KXT_InBundle& bundle) {
  KXT_NumberedString_In record;
  try {
    while (bundle.GetRecord(record)) {
      const size_t end = record.m_String.find(u'\0');
      Enter(end == std::u16string::npos ? record.m_String : record.m_String.substr(0, end), record.m_Ref);
    }
  } catch (...) {
    // What was entered before the failure stays, and is indexed.
    Reindex();
    throw;
  }
  Reindex();
}
