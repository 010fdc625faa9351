#include "kxt/v1_elements.h"

#include "framework/failures.h"
#include "kxt/kxt_records.h"

namespace {

std::string PatternOf(const char* pattern) {
  if (pattern == nullptr) Error(kKXTFailBadName);
  return pattern;
}

}  // namespace

// --- documents, style infos, stories ---------------------------------------

void KXT_Document_Out::ProcessStylesSet(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, const char* name) {
  folder.ProcessFolder(processor, name, 0);
}
void KXT_Document_Out::ProcessStoriesSet(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor,
                                         const char* name) {
  folder.ProcessFolder(processor, name, 0);
}
void KXT_Document_Out::ProcessTextVariablesSet(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor,
                                               const char* name) {
  folder.ProcessFolder(processor, name, 0);
}

bool KXT_Document_In::ProcessStylesSet(KXT_InFolder& folder, KXT_InFolderProcessor& processor, const char* name) {
  return folder.ProcessFolder(processor, name, 0);
}
bool KXT_Document_In::ProcessStoriesSet(KXT_InFolder& folder, KXT_InFolderProcessor& processor, const char* name) {
  return folder.ProcessFolder(processor, name, 0);
}
bool KXT_Document_In::ProcessTextVariablesSet(KXT_InFolder& folder, KXT_InFolderProcessor& processor,
                                              const char* name) {
  return folder.ProcessFolder(processor, name, 0);
}

void KXT_StyleInfo_Out::StoreThisStyleRef(KXT_OutFolder& folder, int32_t ref, const char* name) {
  StoreStyleRef(folder, ref, name);
}
void KXT_StyleInfo_Out::StoreBaseStyleRef(KXT_OutFolder& folder, int32_t ref, const char* name) {
  StoreStyleRef(folder, ref, name);
}

bool KXT_StyleInfo_In::RestoreThisStyleRef(KXT_InFolder& folder, int32_t& ref, const char* name) {
  return RestoreStyleRef(folder, ref, name);
}
bool KXT_StyleInfo_In::RestoreBaseStyleRef(KXT_InFolder& folder, int32_t& ref, const char* name) {
  return RestoreStyleRef(folder, ref, name);
}

void KXT_Story_Out::ProcessParagraphsSet(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor,
                                         const char* name) {
  folder.ProcessFolder(processor, name, 0);
}
bool KXT_Story_In::ProcessParagraphsSet(KXT_InFolder& folder, KXT_InFolderProcessor& processor, const char* name) {
  return folder.ProcessFolder(processor, name, 0);
}

// --- sets ------------------------------------------------------------------

KXT_Set_Out::KXT_Set_Out(const char* pattern) : pattern_(PatternOf(pattern)) {}

void KXT_Set_Out::ProcessElement(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, int32_t index) {
  folder.ProcessFolder(processor, pattern_.c_str(), index);
}

KXT_Set_In::KXT_Set_In(const char* pattern) : pattern_(PatternOf(pattern)) {}

bool KXT_Set_In::ProcessElement(KXT_InFolder& folder, KXT_InFolderProcessor& processor, int32_t index) {
  return folder.ProcessFolder(processor, pattern_.c_str(), index);
}

// --- paragraphs and text variables -----------------------------------------

void KXT_Paragraph_Out::ProcessTextRun(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, int32_t index,
                                       const char* name) {
  folder.ProcessFolder(processor, name, index);
}
bool KXT_Paragraph_In::ProcessTextRun(KXT_InFolder& folder, KXT_InFolderProcessor& processor, int32_t index,
                                      const char* name) {
  return folder.ProcessFolder(processor, name, index);
}

void KXT_TextVariables_Out::ProcessText(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, int32_t index,
                                        const char* name) {
  folder.ProcessFolder(processor, name, index);
}
bool KXT_TextVariables_In::ProcessText(KXT_InFolder& folder, KXT_InFolderProcessor& processor, int32_t index,
                                       const char* name) {
  return folder.ProcessFolder(processor, name, index);
}

// --- text runs -------------------------------------------------------------

void KXT_UnicodesRun_Out::ProcessUnicodes(KXT_OutFolder& folder, KXT_OutStreamProcessor& processor,
                                          const char* name) {
  folder.ProcessStream(processor, typeid(unsigned short), name, 0);
}
void KXT_WideMultibytesRun_Out::ProcessWideMultibytes(KXT_OutFolder& folder, KXT_OutStreamProcessor& processor,
                                                      const char* name) {
  folder.ProcessStream(processor, typeid(unsigned short), name, 0);
}
void KXT_MultibytesRun_Out::ProcessMultibytes(KXT_OutFolder& folder, KXT_OutStreamProcessor& processor,
                                              const char* name) {
  folder.ProcessStream(processor, typeid(char), name, 0);
}
void KXT_SpecialCharsRun_Out::ProcessSpecialChars(KXT_OutFolder& folder, KXT_OutBundleProcessor& processor,
                                                  const char* name) {
  folder.ProcessBundle(processor, KXT_SpecialChar_Rec(), name, 0);
}
void KXT_RefPointsRun_Out::ProcessRefPoints(KXT_OutFolder& folder, KXT_OutBundleProcessor& processor,
                                            const char* name) {
  folder.ProcessBundle(processor, KXT_RefPoint_Rec(), name, 0);
}
void KXT_PlaceHoldersRun_Out::ProcessPlaceHolders(KXT_OutFolder& folder, KXT_OutBundleProcessor& processor,
                                                  const char* name) {
  folder.ProcessBundle(processor, KXT_PlaceHolder_Rec(), name, 0);
}
void KXT_TextVariablesRun_Out::ProcessTextVariables(KXT_OutFolder& folder, KXT_OutBundleProcessor& processor,
                                                    const char* name) {
  folder.ProcessBundle(processor, KXT_TextVariables_Rec(), name, 0);
}
void KXT_ConditionalTextListRun_Out::ProcessConditionalTextListSet(KXT_OutFolder& folder,
                                                                   KXT_OutFolderProcessor& processor,
                                                                   const char* name) {
  folder.ProcessFolder(processor, name, 0);
}

bool KXT_TextRun_In::ProcessUnicodes(KXT_InFolder& folder, KXT_InStreamProcessor& processor, const char* name) {
  return folder.ProcessStream(processor, typeid(unsigned short), name, 0);
}
bool KXT_TextRun_In::ProcessMultibytes(KXT_InFolder& folder, KXT_InStreamProcessor& processor, const char* name) {
  return folder.ProcessStream(processor, typeid(char), name, 0);
}
bool KXT_TextRun_In::ProcessWideMultibytes(KXT_InFolder& folder, KXT_InStreamProcessor& processor,
                                           const char* name) {
  return folder.ProcessStream(processor, typeid(unsigned short), name, 0);
}
bool KXT_TextRun_In::ProcessSpecialChars(KXT_InFolder& folder, KXT_InBundleProcessor& processor, const char* name) {
  return folder.ProcessBundle(processor, KXT_SpecialChar_Rec(), name, 0);
}
bool KXT_TextRun_In::ProcessTextVariables(KXT_InFolder& folder, KXT_InBundleProcessor& processor,
                                          const char* name) {
  return folder.ProcessBundle(processor, KXT_TextVariables_Rec(), name, 0);
}
bool KXT_TextRun_In::ProcessRefPoints(KXT_InFolder& folder, KXT_InBundleProcessor& processor, const char* name) {
  return folder.ProcessBundle(processor, KXT_RefPoint_Rec(), name, 0);
}
bool KXT_TextRun_In::ProcessPlaceHolders(KXT_InFolder& folder, KXT_InBundleProcessor& processor, const char* name) {
  return folder.ProcessBundle(processor, KXT_PlaceHolder_Rec(), name, 0);
}
bool KXT_TextRun_In::ProcessConditionalTextListSet(KXT_InFolder& folder, KXT_InFolderProcessor& processor,
                                                   const char* name) {
  return folder.ProcessFolder(processor, name, 0);
}

// --- conditional text ------------------------------------------------------

void KXT_ConditionalTextList_Out::ProcessConditionalTextList(KXT_OutFolder& folder,
                                                             KXT_OutFolderProcessor& processor, const char* name) {
  folder.ProcessFolder(processor, name, 0);
}
void KXT_ConditionalText_Out::ProcessConditionalText(KXT_OutFolder& folder, KXT_OutBundleProcessor& processor,
                                                     const char* name) {
  folder.ProcessBundle(processor, KXT_ConditionalText_Rec(), name, 0);
}
bool KXT_ConditionalTextList_In::ProcessConditionalTextList(KXT_InFolder& folder, KXT_InFolderProcessor& processor,
                                                            const char* name) {
  return folder.ProcessFolder(processor, name, 0);
}
bool KXT_ConditionalText_In::ProcessConditionalText(KXT_InFolder& folder, KXT_InBundleProcessor& processor,
                                                    const char* name) {
  return folder.ProcessBundle(processor, KXT_ConditionalText_Rec(), name, 0);
}
