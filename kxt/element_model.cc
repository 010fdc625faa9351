#include "kxt/element_model.h"

#include "framework/failures.h"
#include "kxt/kxt_records.h"

namespace {

std::string PatternOf(const char* pattern) {
  if (pattern == nullptr) Error(kKXTFailBadName);
  return pattern;
}

}  // namespace

KXT_Set_Out2::KXT_Set_Out2(const KXT_Handle<KXT_OutFolder2>& folder, const char* pattern)
    : KXT_ProcessorWithAttrs_Out2(folder), pattern_(PatternOf(pattern)) {}

KXT_Handle<KXT_OutFolder2> KXT_Set_Out2::CreateElement(int32_t index) {
  return Folder().CreateFolder2(pattern_.c_str(), index);
}

KXT_Set_In2::KXT_Set_In2(const KXT_Handle<KXT_InFolder2>& folder, const char* pattern)
    : KXT_ProcessorWithAttrs_In2(folder), pattern_(PatternOf(pattern)) {}

KXT_Handle<KXT_InFolder2> KXT_Set_In2::OpenElement(int32_t index) {
  return Valid() ? Folder().OpenFolder2(pattern_.c_str(), index) : nullptr;
}

// --- run writers -----------------------------------------------------------

KXT_Handle<KXT_OutStream2> KXT_UnicodesRun_Out2::CreateUnicodes(const char* name) {
  return Folder().CreateStream2(typeid(unsigned short), name, 0);
}

KXT_Handle<KXT_OutStream2> KXT_WideMultibytesRun_Out2::CreateWideMultibytes(const char* name) {
  return Folder().CreateStream2(typeid(unsigned short), name, 0);
}

KXT_Handle<KXT_OutStream2> KXT_MultibytesRun_Out2::CreateMultibytes(const char* name) {
  return Folder().CreateStream2(typeid(char), name, 0);
}

KXT_Handle<KXT_OutBundle2> KXT_SpecialCharsRun_Out2::CreateSpecialChars(const char* name) {
  return Folder().CreateBundle2(KXT_SpecialChar_Rec(), name, 0);
}

KXT_Handle<KXT_OutBundle2> KXT_RefPointsRun_Out2::CreateRefPoints(const char* name) {
  return Folder().CreateBundle2(KXT_RefPoint_Rec(), name, 0);
}

KXT_Handle<KXT_OutBundle2> KXT_PlaceHoldersRun_Out2::CreatePlaceHolders(const char* name) {
  return Folder().CreateBundle2(KXT_PlaceHolder_Rec(), name, 0);
}

KXT_Handle<KXT_OutBundle2> KXT_TextVariablesRun_Out2::CreatePlaceHolders(const char* name) {
  return Folder().CreateBundle2(KXT_TextVariables_Rec(), name, 0);
}

// --- run reader ------------------------------------------------------------

KXT_Handle<KXT_InStream2> KXT_TextRun_In2::OpenStream(const std::type_info& type, const char* name) {
  return Valid() ? Folder().OpenStream2(type, name, 0) : nullptr;
}

KXT_Handle<KXT_InBundle2> KXT_TextRun_In2::OpenBundle(const KXT_FieldsEnumerator& prototype, const char* name) {
  return Valid() ? Folder().OpenBundle2(prototype, name, 0) : nullptr;
}

KXT_Handle<KXT_InStream2> KXT_TextRun_In2::OpenUnicodes(const char* name) {
  return OpenStream(typeid(unsigned short), name);
}

KXT_Handle<KXT_InStream2> KXT_TextRun_In2::OpenMultibytes(const char* name) { return OpenStream(typeid(char), name); }

KXT_Handle<KXT_InStream2> KXT_TextRun_In2::OpenWideMultibytes(const char* name) {
  return OpenStream(typeid(unsigned short), name);
}

KXT_Handle<KXT_InBundle2> KXT_TextRun_In2::OpenSpecialChars(const char* name) {
  return OpenBundle(KXT_SpecialChar_Rec(), name);
}

KXT_Handle<KXT_InBundle2> KXT_TextRun_In2::OpenRefPoints(const char* name) {
  return OpenBundle(KXT_RefPoint_Rec(), name);
}

KXT_Handle<KXT_InBundle2> KXT_TextRun_In2::OpenPlaceHolders(const char* name) {
  return OpenBundle(KXT_PlaceHolder_Rec(), name);
}

KXT_Handle<KXT_InBundle2> KXT_TextRun_In2::OpenTextVariables(const char* name) {
  return OpenBundle(KXT_TextVariables_Rec(), name);
}
