// The seven record types stored in bundles.  Each has a plain data part, a
// record class that enumerates its fields, an output class that writes them
// and an input class that reads them:
//
//   record                    data part           id 0                 id 1                id 2
//   KXT_NumberedString        CF_ReferredString   "m_Ref" long         "m_String" wide
//   KXT_Attr_Rec              CF_Attr             "m_NameRef" long     "m_ValueRef" long
//   KXT_SpecialChar_Rec       CF_SpecialChar      "m_NameRef" long     "m_DataRef" long
//   KXT_TextVariables_Rec     CF_TextVariables    "m_UIDRef" long      "m_ValueRef" long
//   KXT_ConditionalText_Rec   CF_ConditionalText  "m_UIDRef" long      "m_ValueRef" long
//   KXT_RefPoint_Rec          CF_RefPoint         "m_ObjectFolderID"   "m_ObjectTypeRef"   "m_RefTypeRef"
//   KXT_PlaceHolder_Rec       CF_PlaceHolder      "m_ObjectFolderID"   "m_ObjectTypeRef"
//
// A long field is a signed 32-bit number stored as a tag-6 (long) stream; a
// wide field is a tag-11 (UTF-16 string) stream.  Values named ...Ref are
// string numbers (-1: none); m_ObjectFolderID is a number the caller gives.
#pragma once

#include <cstdint>
#include <string>

#include "kxt/kxt_bundle.h"

struct CF_ReferredString {
  int32_t m_Ref = -1;
  std::u16string m_String;
};
struct CF_Attr {
  int32_t m_NameRef = -1;
  int32_t m_ValueRef = -1;
};
struct CF_SpecialChar {
  int32_t m_NameRef = -1;
  int32_t m_DataRef = -1;
};
struct CF_TextVariables {
  int32_t m_UIDRef = -1;
  int32_t m_ValueRef = -1;
};
struct CF_ConditionalText {
  int32_t m_UIDRef = -1;
  int32_t m_ValueRef = -1;
};
struct CF_RefPoint {
  int32_t m_ObjectFolderID = 0;
  int32_t m_ObjectTypeRef = -1;
  int32_t m_RefTypeRef = -1;
};
struct CF_PlaceHolder {
  int32_t m_ObjectFolderID = 0;
  int32_t m_ObjectTypeRef = -1;
};

// A record over the data part: its fields come from the data part's table.
template <class Data>
class KXT_RecordOf : public Data, public virtual KXT_FieldsEnumerator {
 public:
  using DataPart = Data;
  void EnumFields(KXT_FieldReceiver& receiver) const override;
};

template <class Record>
class KXT_RecordOut : public Record, public KXT_OutRecord {
 public:
  void PutField(int32_t id, KXT_OutStream& stream) const override;
};

template <class Record>
class KXT_RecordIn : public Record, public KXT_InRecord {
 public:
  bool GetField(int32_t id, KXT_InStream& stream) override;
};

class KXT_NumberedString : public KXT_RecordOf<CF_ReferredString> {};
class KXT_NumberedString_Out : public KXT_RecordOut<KXT_NumberedString> {};
class KXT_NumberedString_In : public KXT_RecordIn<KXT_NumberedString> {};

class KXT_Attr_Rec : public KXT_RecordOf<CF_Attr> {};
class KXT_Attr_Rec_Out : public KXT_RecordOut<KXT_Attr_Rec> {};
class KXT_Attr_Rec_In : public KXT_RecordIn<KXT_Attr_Rec> {};

class KXT_SpecialChar_Rec : public KXT_RecordOf<CF_SpecialChar> {};
class KXT_SpecialChar_Rec_Out : public KXT_RecordOut<KXT_SpecialChar_Rec> {};
class KXT_SpecialChar_Rec_In : public KXT_RecordIn<KXT_SpecialChar_Rec> {};

class KXT_TextVariables_Rec : public KXT_RecordOf<CF_TextVariables> {};
class KXT_TextVariables_Rec_Out : public KXT_RecordOut<KXT_TextVariables_Rec> {};
class KXT_TextVariables_Rec_In : public KXT_RecordIn<KXT_TextVariables_Rec> {};

class KXT_ConditionalText_Rec : public KXT_RecordOf<CF_ConditionalText> {};
class KXT_ConditionalText_Rec_Out : public KXT_RecordOut<KXT_ConditionalText_Rec> {};
class KXT_ConditionalText_Rec_In : public KXT_RecordIn<KXT_ConditionalText_Rec> {};

class KXT_RefPoint_Rec : public KXT_RecordOf<CF_RefPoint> {};
class KXT_RefPoint_Rec_Out : public KXT_RecordOut<KXT_RefPoint_Rec> {};
class KXT_RefPoint_Rec_In : public KXT_RecordIn<KXT_RefPoint_Rec> {};

class KXT_PlaceHolder_Rec : public KXT_RecordOf<CF_PlaceHolder> {};
class KXT_PlaceHolder_Rec_Out : public KXT_RecordOut<KXT_PlaceHolder_Rec> {};
class KXT_PlaceHolder_Rec_In : public KXT_RecordIn<KXT_PlaceHolder_Rec> {};

extern template class KXT_RecordOf<CF_ReferredString>;
extern template class KXT_RecordOf<CF_Attr>;
extern template class KXT_RecordOf<CF_SpecialChar>;
extern template class KXT_RecordOf<CF_TextVariables>;
extern template class KXT_RecordOf<CF_ConditionalText>;
extern template class KXT_RecordOf<CF_RefPoint>;
extern template class KXT_RecordOf<CF_PlaceHolder>;
extern template class KXT_RecordOut<KXT_NumberedString>;
extern template class KXT_RecordOut<KXT_Attr_Rec>;
extern template class KXT_RecordOut<KXT_SpecialChar_Rec>;
extern template class KXT_RecordOut<KXT_TextVariables_Rec>;
extern template class KXT_RecordOut<KXT_ConditionalText_Rec>;
extern template class KXT_RecordOut<KXT_RefPoint_Rec>;
extern template class KXT_RecordOut<KXT_PlaceHolder_Rec>;
extern template class KXT_RecordIn<KXT_NumberedString>;
extern template class KXT_RecordIn<KXT_Attr_Rec>;
extern template class KXT_RecordIn<KXT_SpecialChar_Rec>;
extern template class KXT_RecordIn<KXT_TextVariables_Rec>;
extern template class KXT_RecordIn<KXT_ConditionalText_Rec>;
extern template class KXT_RecordIn<KXT_RefPoint_Rec>;
extern template class KXT_RecordIn<KXT_PlaceHolder_Rec>;
