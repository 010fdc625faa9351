// KXT_AttrsSet: the named attributes of one container element, kept as
// pairs of string numbers (name -> value) of the book's strings map, so
// every operation that takes or gives a string also takes that map.
//
// A set may fall back to a base set (not owned; it must outlive the set) for
// names it does not define.  A base that would close a loop is ignored, so
// look-ups always end.  AddAttr keeps three groups of attributes complete:
// the RGB and CMYK foreground colours and the placement (see attrs_set.cc).
//
// Stored form: a bundle of KXT_Attr_Rec records (m_NameRef, m_ValueRef), one
// per entry in ascending name number.
#pragma once

#include <cstdint>
#include <map>

#include "kxt/kxt_folder.h"
#include "kxt/kxt_processors.h"
#include "kxt/strings_map.h"

class KXT_AttrsSet {
 public:
  // The caller's visitor of EnumAttrs.
  class AttrsReceiver {
   public:
    virtual ~AttrsReceiver() = default;
    // One attribute (neither string is null); false stops the enumeration.
    virtual bool Receive(const char16_t* name, const char16_t* value) = 0;
  };

  KXT_AttrsSet() = default;
  KXT_AttrsSet(const KXT_AttrsSet&) = delete;
  KXT_AttrsSet& operator=(const KXT_AttrsSet&) = delete;
  virtual ~KXT_AttrsSet() noexcept(false) {}

  // Adds the eighteen default attributes ("source_data_type" "unknown",
  // "field_id" "-1", ..., "codepage" "0xFFFF", ..., "variable_name" "").
  virtual void SetDefaultValues(KXT_StringsMap& map);
  // Sets the base set (null: none).  A base whose chain leads back to this
  // set is ignored: the set then has no base.
  virtual void DefineBaseAttrsSet(const KXT_AttrsSet* base);
  virtual const KXT_AttrsSet* BaseAttrsSet() const { return base_; }

  // Defines or redefines name = value and keeps the name's groups complete:
  // an empty value clears every member defined and not empty in the chain,
  // another value gives the members undefined in the chain "0"; a non-empty
  // "hyphen_char" also gives an undefined "hyphen_type" "normal".  A null
  // name or value changes nothing.
  virtual void AddAttr(const char16_t* name, const char16_t* value, KXT_StringsMap& map);
  // AddAttr only when neither this set nor a base defines the name.
  virtual void AddUndefAttr(const char16_t* name, const char16_t* value, KXT_StringsMap& map);
  // AddAttr only when the name's value in the chain is a non-empty string.
  virtual void RedefineAttr(const char16_t* name, const char16_t* value, KXT_StringsMap& map);

  // Hands every entry, this set's in ascending name number and then its
  // bases', to the receiver.  With a scope, only the definitions in force as
  // seen from the scope (the first set of the scope's chain that defines the
  // name).  Entries whose name or value the map does not know are skipped.
  // False as soon as the receiver returns false.
  virtual bool EnumAttrs(AttrsReceiver& receiver, const KXT_StringsMap& map, const KXT_AttrsSet* scope) const;
  // The value in force (this set, else the bases); null when undefined.
  virtual const char16_t* GetAttrValue(const char16_t* name, const KXT_StringsMap& map) const;
  // Whether `name` has an entry along the chain, whatever its value: tells
  // a missing attribute from one whose value is no string of the map.
  bool Defines(const char16_t* name, const KXT_StringsMap& map) const {
    const int32_t nameRef = map.find(name);
    return nameRef != -1 && FindSetByNameRef(nameRef) != nullptr;
  }
  // This set's own entries, name number -> value number, in ascending name
  // number (the bases' not included).
  const std::map<int32_t, int32_t>& OwnEntries() const { return table_; }

  // Parses an attribute value as a number: "0x" and hexadecimal digits, else
  // a decimal number (leading blanks and a sign allowed, trailing text
  // ignored), read into 64 bits and narrowed to 32.  Only the first 255 code
  // units count; units above 0x7F are no digits.  False (result untouched)
  // for null, empty or non-numeric text.
  static bool GetNumericValue(const char16_t* text, int32_t& result);

 protected:
  // The first set of the chain, beginning with this one, that defines the
  // name number; null when none does.
  virtual const KXT_AttrsSet* FindSetByNameRef(int32_t nameRef) const;

  // Entries by name number, for storing and restoring.
  std::map<int32_t, int32_t>& Table() { return table_; }

 private:
  // name = value in this set alone, both interned in that order.
  void Put(const char16_t* name, const char16_t* value, KXT_StringsMap& map);

  std::map<int32_t, int32_t> table_;
  const KXT_AttrsSet* base_ = nullptr;
};

class KXT_AttrsSet_Out : public KXT_AttrsSet, public KXT_OutBundleProcessor {
 public:
  // Writes the set as the bundle `name` (index 0) of the folder.
  virtual void Store(KXT_OutFolder& folder, const char* name);

 private:
  void Call(KXT_OutBundle& bundle) override;
};

class KXT_AttrsSet_In : public KXT_AttrsSet, public KXT_InBundleProcessor {
 public:
  // Reads the bundle `name` (index 0) of the folder into the set; stored
  // entries overwrite existing ones and the others remain.  False (set
  // unchanged) when the bundle is missing.
  virtual bool Restore(KXT_InFolder& folder, const char* name);

 private:
  void Call(KXT_InBundle& bundle) override;
};
