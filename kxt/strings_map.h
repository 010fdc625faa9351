// KXT_StringsMap: numbers UTF-16 strings once per book.  The first time a
// string is asked for it gets the next number; afterwards the number stands
// for the string wherever the container refers to it (attribute records,
// record fields named ...Ref).  -1 stands for no string.
//
// The table is ordered by string, compared code unit by code unit.  Numbers
// are handed out densely from 0; after a restore the next number is the
// larger of the entry count and the highest number plus one, so a number
// already in use is never handed out again, even when the stored numbers are
// not dense or repeat.
//
// Stored form: a bundle of KXT_NumberedString records (m_Ref, m_String), one
// per entry in ascending string order.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "kxt/kxt_folder.h"
#include "kxt/kxt_processors.h"
#include "kxt/strings_index.h"

class KXT_StringsMap {
 public:
  using Table = std::map<std::u16string, int32_t, std::less<>>;

  KXT_StringsMap() = default;
  KXT_StringsMap(const KXT_StringsMap&) = delete;
  KXT_StringsMap& operator=(const KXT_StringsMap&) = delete;
  virtual ~KXT_StringsMap() noexcept(false) {}

  // The string that has this number; null for -1 and for a number no entry
  // has.  When several strings carry the number (a damaged stored map), the
  // first of them in string order.  Valid while the map lives.
  virtual const char16_t* operator[](int32_t number) const;
  // The number of the string, interning it when new; -1 for null.
  virtual int32_t operator[](const char16_t* text);
  // The number of the string, or -1 when it is not in the table (or null);
  // never adds.
  virtual int32_t find(const char16_t* text) const;

  // How many strings the table holds.
  size_t size() const { return table_.size(); }

 protected:
  // Sets the number of a string, adding it or overwriting its number; the
  // reverse look-up sees it after the next Reindex.
  void Enter(const std::u16string& text, int32_t number);
  void Reindex();
  // The entries in ascending string order.
  const Table& Entries() const { return table_; }

 private:
  int32_t NextNumber() const;
  // The string of a number in the reverse look-up, null when none; Index
  // enters one unless the number already has its string.
  const std::u16string* Indexed(int32_t number) const;
  void Index(int32_t number, const std::u16string* text);

  Table table_;
  // String -> number, over the table's own keys: the look-ups by string,
  // without walking the ordered table.
  KXT_StringsIndex byText_;
  // Number -> the first string in table order that has it: numbers up to
  // a little above the entry count (all of them, unless a stored map was
  // damaged) by position, any others by hash.
  std::vector<const std::u16string*> byNumber_;
  std::unordered_map<int32_t, const std::u16string*> byFarNumber_;
  // The highest number ever entered; -1 while empty.
  int32_t highest_ = -1;
};

class KXT_StringsMap_Out : public KXT_StringsMap, public KXT_OutBundleProcessor {
 public:
  // Writes the whole table as the bundle `name` (index 0) of the folder.
  virtual void Store(KXT_OutFolder& folder, const char* name);

 private:
  void Call(KXT_OutBundle& bundle) override;
};

class KXT_StringsMap_In : public KXT_StringsMap, public KXT_InBundleProcessor {
 public:
  // Reads the bundle `name` (index 0) of the folder into the table, which is
  // not cleared first: each record's string (up to its first NUL) gets the
  // record's number.  False when the bundle is missing.
  virtual bool Restore(KXT_InFolder& folder, const char* name);

 private:
  void Call(KXT_InBundle& bundle) override;
};
