#include "kxt/attrs_set.h"

#include <cstdlib>
#include <string_view>

#include "framework/failures.h"
#include "kxt/kxt_bundle.h"
#include "kxt/kxt_records.h"

namespace {

struct Default {
  const char16_t* name;
  const char16_t* value;
};

const Default kDefaults[] = {
    {u"source_data_type", u"unknown"},
    {u"field_id", u"-1"},
    {u"index_id", u"-1"},
    {u"table_id", u"-1"},
    {u"row_id", u"-1"},
    {u"cell_id", u"-1"},
    {u"cell_width", u"-1"},
    {u"listlevel", u"0"},
    {u"codepage", u"0xFFFF"},
    {u"direction", u"left-to-right"},
    {u"bold", u"off"},
    {u"italic", u"off"},
    {u"outline", u"off"},
    {u"overline", u"off"},
    {u"strike", u"off"},
    {u"shadow", u"off"},
    {u"hidden", u"off"},
    {u"variable_name", u""},
};

// Groups of attributes that AddAttr keeps complete; each ends with an empty
// name.  Views, so that comparing a name with them measures nothing again.
using namespace std::string_view_literals;
constexpr std::u16string_view kRgb[] = {u"fore_color_red"sv, u"fore_color_green"sv, u"fore_color_blue"sv, u""sv};
constexpr std::u16string_view kCmyk[] = {u"fore_color_cyan"sv, u"fore_color_magenta"sv, u"fore_color_yellow"sv,
                                         u"fore_color_black"sv, u""sv};
constexpr std::u16string_view kPlacement[] = {u"sectional_pos"sv, u"vertical_pos"sv, u"horizontal_pos"sv,
                                              u"width"sv,         u"height"sv,       u"angle"sv,
                                              u""sv};
constexpr const std::u16string_view* kGroups[] = {kRgb, kCmyk, kPlacement};

bool IsMember(const std::u16string_view* group, std::u16string_view name) {
  for (; !group->empty(); ++group) {
    if (name == *group) return true;
  }
  return false;
}

// The buffer of the numeric parse: at most 255 units, a byte each.
constexpr size_t kNumericBuffer = 256;

}  // namespace

void KXT_AttrsSet::SetDefaultValues(KXT_StringsMap& map) {
  for (const Default& entry : kDefaults) AddAttr(entry.name, entry.value, map);
}

void KXT_AttrsSet::DefineBaseAttrsSet(const KXT_AttrsSet* base) {
  // The chain as the look-ups walk it.
  for (const KXT_AttrsSet* set = base; set != nullptr; set = set->base_) {
    if (set == this) {
      base_ = nullptr;
      return;
    }
  }
  base_ = base;
}

void KXT_AttrsSet::AddAttr(const char16_t* name, const char16_t* value, KXT_StringsMap& map) {
  if (name == nullptr || value == nullptr) return;
  Put(name, value, map);
  const std::u16string_view named(name);
  for (const std::u16string_view* group : kGroups) {
    if (!IsMember(group, named)) continue;
    // Completing the group in one pass: what a member gets never completes
    // the group again with another value, so the members are defined in the
    // same order, with the same values, as adding each one would.  The views
    // end with a NUL: they are whole literals.
    for (const std::u16string_view* member = group; !member->empty(); ++member) {
      const char16_t* old = GetAttrValue(member->data(), map);
      if (*value == u'\0') {
        if (old != nullptr && *old != u'\0') Put(member->data(), u"", map);
      } else if (old == nullptr) {
        Put(member->data(), u"0", map);
      }
    }
  }
  if (*value != u'\0' && named == u"hyphen_char") AddUndefAttr(u"hyphen_type", u"normal", map);
}

void KXT_AttrsSet::Put(const char16_t* name, const char16_t* value, KXT_StringsMap& map) {
  const int32_t nameRef = map[name];
  table_[nameRef] = map[value];
}

void KXT_AttrsSet::AddUndefAttr(const char16_t* name, const char16_t* value, KXT_StringsMap& map) {
  if (GetAttrValue(name, map) == nullptr) AddAttr(name, value, map);
}

void KXT_AttrsSet::RedefineAttr(const char16_t* name, const char16_t* value, KXT_StringsMap& map) {
  const char16_t* old = GetAttrValue(name, map);
  if (old != nullptr && *old != u'\0') AddAttr(name, value, map);
}

bool KXT_AttrsSet::EnumAttrs(AttrsReceiver& receiver, const KXT_StringsMap& map, const KXT_AttrsSet* scope) const {
  for (const auto& entry : table_) {
    if (scope != nullptr && scope->FindSetByNameRef(entry.first) != this) continue;
    const char16_t* name = map[entry.first];
    const char16_t* value = map[entry.second];
    if (name == nullptr || value == nullptr) continue;
    if (!receiver.Receive(name, value)) return false;
  }
  if (base_ != nullptr && base_ != this) return base_->EnumAttrs(receiver, map, scope);
  return true;
}

const char16_t* KXT_AttrsSet::GetAttrValue(const char16_t* name, const KXT_StringsMap& map) const {
  // A name the map does not know is defined nowhere: it must not meet an
  // entry stored under -1.
  const int32_t nameRef = map.find(name);
  if (nameRef == -1) return nullptr;
  // The name is looked up once; the chain is walked by its number.
  for (const KXT_AttrsSet* set = this; set != nullptr; set = set->base_) {
    auto found = set->table_.find(nameRef);
    if (found != set->table_.end()) return map[found->second];
  }
  return nullptr;
}

const KXT_AttrsSet* KXT_AttrsSet::FindSetByNameRef(int32_t nameRef) const {
  for (const KXT_AttrsSet* set = this; set != nullptr; set = set->base_) {
    if (set->table_.count(nameRef) != 0) return set;
  }
  return nullptr;
}

bool KXT_AttrsSet::GetNumericValue(const char16_t* text, int32_t& result) {
  if (text == nullptr || *text == u'\0') return false;
  char buffer[kNumericBuffer];
  size_t n = 0;
  for (; n + 1 < kNumericBuffer && text[n] != u'\0'; ++n) {
    // Outside ASCII nothing is a digit, a sign or a blank.
    buffer[n] = text[n] <= 0x7F ? static_cast<char>(text[n]) : '\x7F';
  }
  buffer[n] = '\0';

  char* end = nullptr;
  if (buffer[0] == '0' && buffer[1] == 'x') {
    const char* digits = buffer + 2;
    const unsigned long long value = std::strtoull(digits, &end, 16);
    if (end != digits) {
      result = static_cast<int32_t>(static_cast<uint32_t>(value));
      return true;
    }
  }
  const long long value = std::strtoll(buffer, &end, 10);
  if (end == buffer) return false;
  result = static_cast<int32_t>(static_cast<uint32_t>(static_cast<unsigned long long>(value)));
  return true;
}

// --- storing ---------------------------------------------------------------

void KXT_AttrsSet_Out::Store(KXT_OutFolder& folder, const char* name) {
  folder.ProcessBundle(*this, KXT_Attr_Rec(), name, 0);
}

void KXT_AttrsSet_Out::Call(KXT_OutBundle& bundle) {
  KXT_Attr_Rec_Out record;
  for (const auto& entry : Table()) {
    record.m_NameRef = entry.first;
    record.m_ValueRef = entry.second;
    bundle.PutRecord(record);
  }
}

bool KXT_AttrsSet_In::Restore(KXT_InFolder& folder, const char* name) {
  return folder.ProcessBundle(*this, KXT_Attr_Rec(), name, 0);
}

void KXT_AttrsSet_In::Call(KXT_InBundle& bundle) {
  // Names without values, or values without names, would read as other
  // attributes: the set is damaged.
  if (bundle.Partial()) Error(kFailCodeFileDamaged);
  KXT_Attr_Rec_In record;
  while (bundle.GetRecord(record)) Table()[record.m_NameRef] = record.m_ValueRef;
}
