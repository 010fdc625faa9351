#include "kxt/kxt_records.h"

#include <typeinfo>

namespace {

// One field of a data part: a long (number) or a wide string (text).
template <class Data>
struct FieldDef {
  const char* name;
  int32_t Data::*number;
  std::u16string Data::*text;
};

template <class Data>
struct Table;

#define KXT_TABLE(DATA, ...)                                       \
  template <>                                                      \
  struct Table<DATA> {                                             \
    static constexpr FieldDef<DATA> kFields[] = {__VA_ARGS__};     \
    static constexpr int32_t kCount = sizeof kFields / sizeof kFields[0]; \
  }

KXT_TABLE(CF_ReferredString, {"m_Ref", &CF_ReferredString::m_Ref, nullptr},
          {"m_String", nullptr, &CF_ReferredString::m_String});
KXT_TABLE(CF_Attr, {"m_NameRef", &CF_Attr::m_NameRef, nullptr}, {"m_ValueRef", &CF_Attr::m_ValueRef, nullptr});
KXT_TABLE(CF_SpecialChar, {"m_NameRef", &CF_SpecialChar::m_NameRef, nullptr},
          {"m_DataRef", &CF_SpecialChar::m_DataRef, nullptr});
KXT_TABLE(CF_TextVariables, {"m_UIDRef", &CF_TextVariables::m_UIDRef, nullptr},
          {"m_ValueRef", &CF_TextVariables::m_ValueRef, nullptr});
KXT_TABLE(CF_ConditionalText, {"m_UIDRef", &CF_ConditionalText::m_UIDRef, nullptr},
          {"m_ValueRef", &CF_ConditionalText::m_ValueRef, nullptr});
KXT_TABLE(CF_RefPoint, {"m_ObjectFolderID", &CF_RefPoint::m_ObjectFolderID, nullptr},
          {"m_ObjectTypeRef", &CF_RefPoint::m_ObjectTypeRef, nullptr},
          {"m_RefTypeRef", &CF_RefPoint::m_RefTypeRef, nullptr});
KXT_TABLE(CF_PlaceHolder, {"m_ObjectFolderID", &CF_PlaceHolder::m_ObjectFolderID, nullptr},
          {"m_ObjectTypeRef", &CF_PlaceHolder::m_ObjectTypeRef, nullptr});

#undef KXT_TABLE

// The field with that id, or null.
template <class Data>
const FieldDef<Data>* Find(int32_t id) {
  return id >= 0 && id < Table<Data>::kCount ? &Table<Data>::kFields[id] : nullptr;
}

}  // namespace

template <class Data>
void KXT_RecordOf<Data>::EnumFields(KXT_FieldReceiver& receiver) const {
  for (int32_t id = 0; id < Table<Data>::kCount; ++id) {
    const FieldDef<Data>& field = Table<Data>::kFields[id];
    receiver.Field(field.number != nullptr ? typeid(long) : typeid(std::u16string), field.name, id);
  }
}

template <class Record>
void KXT_RecordOut<Record>::PutField(int32_t id, KXT_OutStream& stream) const {
  using Data = typename Record::DataPart;
  const FieldDef<Data>* field = Find<Data>(id);
  if (field == nullptr) return;
  const Data& data = *this;
  if (field->number != nullptr) {
    const long value = data.*field->number;
    stream.As<long>().PutData(&value, 1);
  } else {
    stream.As<std::u16string>().PutData(&(data.*field->text), 1);
  }
}

template <class Record>
bool KXT_RecordIn<Record>::GetField(int32_t id, KXT_InStream& stream) {
  using Data = typename Record::DataPart;
  const FieldDef<Data>* field = Find<Data>(id);
  if (field == nullptr) return false;
  Data& data = *this;
  if (field->number != nullptr) {
    long value = 0;
    if (stream.As<long>().GetData(&value, 1) != 1) return false;
    data.*field->number = static_cast<int32_t>(value);  // read from 4 bytes: always fits
    return true;
  }
  return stream.As<std::u16string>().GetData(&(data.*field->text), 1) == 1;
}

#define KXT_INSTANTIATE(DATA, RECORD)        \
  template class KXT_RecordOf<DATA>;         \
  template class KXT_RecordOut<RECORD>;      \
  template class KXT_RecordIn<RECORD>

KXT_INSTANTIATE(CF_ReferredString, KXT_NumberedString);
KXT_INSTANTIATE(CF_Attr, KXT_Attr_Rec);
KXT_INSTANTIATE(CF_SpecialChar, KXT_SpecialChar_Rec);
KXT_INSTANTIATE(CF_TextVariables, KXT_TextVariables_Rec);
KXT_INSTANTIATE(CF_ConditionalText, KXT_ConditionalText_Rec);
KXT_INSTANTIATE(CF_RefPoint, KXT_RefPoint_Rec);
KXT_INSTANTIATE(CF_PlaceHolder, KXT_PlaceHolder_Rec);

#undef KXT_INSTANTIATE
