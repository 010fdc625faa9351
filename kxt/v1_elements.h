// The version-1 element model: the callback form of the elements of
// element_model.h, plus text variables and conditional text, which only this
// form has.  The caller derives from an element class and implements its
// Call (the element is a folder processor through a virtual base); the
// library hands each element the folder it is to write or read while that
// folder is open.  The container layout is the one of version 2.
//
// Each protected Process operation asks the given folder for the named
// child (index 0 unless the operation takes an index; a set uses its
// pattern name with the index) and hands it to the given processor, whose
// Call writes or reads it; the child is valid only during that Call.  The
// readers return what the folder returns: false for a missing child (the
// processor is then not called).
#pragma once

#include <cstdint>
#include <string>

#include "kxt/attrs_set.h"
#include "kxt/element_style.h"
#include "kxt/kxt_folder.h"
#include "kxt/kxt_processors.h"

// --- attribute bearers -----------------------------------------------------

class KXT_ProcessorWithAttrs_Out : public virtual KXT_OutFolderProcessor {
 public:
  KXT_ProcessorWithAttrs_Out() = default;
  KXT_ProcessorWithAttrs_Out(const KXT_ProcessorWithAttrs_Out&) = delete;
  KXT_ProcessorWithAttrs_Out& operator=(const KXT_ProcessorWithAttrs_Out&) = delete;

  // The element's attribute set; the caller stores it ("Attrs{}") in Call.
  virtual KXT_AttrsSet_Out& AttrsSet() { return attrs_; }

 private:
  KXT_AttrsSet_Out attrs_;
};

class KXT_ProcessorWithAttrs_In : public virtual KXT_InFolderProcessor {
 public:
  KXT_ProcessorWithAttrs_In() = default;
  KXT_ProcessorWithAttrs_In(const KXT_ProcessorWithAttrs_In&) = delete;
  KXT_ProcessorWithAttrs_In& operator=(const KXT_ProcessorWithAttrs_In&) = delete;

  // The element's attribute set; the caller restores it in Call.
  virtual KXT_AttrsSet_In& AttrsSet() { return attrs_; }

 private:
  KXT_AttrsSet_In attrs_;
};

// --- documents, style infos, stories ---------------------------------------

class KXT_Document_Out : public KXT_ProcessorWithAttrs_Out {
 protected:
  // The child `name` of the folder ("StylesSet/", "StoriesSet/", ...).
  virtual void ProcessStylesSet(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, const char* name);
  virtual void ProcessStoriesSet(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, const char* name);
  virtual void ProcessTextVariablesSet(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, const char* name);
};

class KXT_Document_In : public KXT_ProcessorWithAttrs_In {
 protected:
  virtual bool ProcessStylesSet(KXT_InFolder& folder, KXT_InFolderProcessor& processor, const char* name);
  virtual bool ProcessStoriesSet(KXT_InFolder& folder, KXT_InFolderProcessor& processor, const char* name);
  virtual bool ProcessTextVariablesSet(KXT_InFolder& folder, KXT_InFolderProcessor& processor, const char* name);
};

class KXT_StyleInfo_Out : public KXT_ProcessorWithStyle_Out, public KXT_ProcessorWithAttrs_Out {
 protected:
  // "ThisStyleRef" and "BaseStyleRef": StoreStyleRef under another name.
  virtual void StoreThisStyleRef(KXT_OutFolder& folder, int32_t ref, const char* name);
  virtual void StoreBaseStyleRef(KXT_OutFolder& folder, int32_t ref, const char* name);
};

class KXT_StyleInfo_In : public KXT_ProcessorWithStyle_In, public KXT_ProcessorWithAttrs_In {
 protected:
  virtual bool RestoreThisStyleRef(KXT_InFolder& folder, int32_t& ref, const char* name);
  virtual bool RestoreBaseStyleRef(KXT_InFolder& folder, int32_t& ref, const char* name);
};

class KXT_Story_Out : public KXT_ProcessorWithAttrs_Out {
 protected:
  virtual void ProcessParagraphsSet(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, const char* name);
};

class KXT_Story_In : public KXT_ProcessorWithAttrs_In {
 protected:
  virtual bool ProcessParagraphsSet(KXT_InFolder& folder, KXT_InFolderProcessor& processor, const char* name);
};

// --- sets ------------------------------------------------------------------

class KXT_Set_Out : public KXT_ProcessorWithAttrs_Out {
 public:
  // Keeps its own copy of the elements' pattern name; null raises 33000.
  explicit KXT_Set_Out(const char* pattern);

 protected:
  // Element `index`: the child (pattern, index) of the folder.
  virtual void ProcessElement(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, int32_t index);

 private:
  std::string pattern_;
};

class KXT_Set_In : public KXT_ProcessorWithAttrs_In {
 public:
  explicit KXT_Set_In(const char* pattern);

 protected:
  virtual bool ProcessElement(KXT_InFolder& folder, KXT_InFolderProcessor& processor, int32_t index);

 private:
  std::string pattern_;
};

// The sets of each kind, with their default pattern names.
class KXT_DocumentsSet_Out : public KXT_Set_Out {
 public:
  explicit KXT_DocumentsSet_Out(const char* pattern = "Document[]/") : KXT_Set_Out(pattern) {}
};
class KXT_DocumentsSet_In : public KXT_Set_In {
 public:
  explicit KXT_DocumentsSet_In(const char* pattern = "Document[]/") : KXT_Set_In(pattern) {}
};
class KXT_StylesSet_Out : public KXT_Set_Out {
 public:
  explicit KXT_StylesSet_Out(const char* pattern = "StyleInfo[]/") : KXT_Set_Out(pattern) {}
};
class KXT_StylesSet_In : public KXT_Set_In {
 public:
  explicit KXT_StylesSet_In(const char* pattern = "StyleInfo[]/") : KXT_Set_In(pattern) {}
};
class KXT_StoriesSet_Out : public KXT_Set_Out {
 public:
  explicit KXT_StoriesSet_Out(const char* pattern = "Story[]/") : KXT_Set_Out(pattern) {}
};
class KXT_StoriesSet_In : public KXT_Set_In {
 public:
  explicit KXT_StoriesSet_In(const char* pattern = "Story[]/") : KXT_Set_In(pattern) {}
};
class KXT_ParagraphsSet_Out : public KXT_Set_Out {
 public:
  explicit KXT_ParagraphsSet_Out(const char* pattern = "Paragraph[]/") : KXT_Set_Out(pattern) {}
};
class KXT_ParagraphsSet_In : public KXT_Set_In {
 public:
  explicit KXT_ParagraphsSet_In(const char* pattern = "Paragraph[]/") : KXT_Set_In(pattern) {}
};
class KXT_TextVariablesSet_Out : public KXT_Set_Out {
 public:
  explicit KXT_TextVariablesSet_Out(const char* pattern = "TextVariablesDec[]/") : KXT_Set_Out(pattern) {}
};
class KXT_TextVariablesSet_In : public KXT_Set_In {
 public:
  explicit KXT_TextVariablesSet_In(const char* pattern = "TextVariablesDec[]/") : KXT_Set_In(pattern) {}
};
class KXT_ConditionalTextListSet_Out : public KXT_Set_Out {
 public:
  explicit KXT_ConditionalTextListSet_Out(const char* pattern = "ConditionalTextList[]/") : KXT_Set_Out(pattern) {}
};
class KXT_ConditionalTextListSet_In : public KXT_Set_In {
 public:
  explicit KXT_ConditionalTextListSet_In(const char* pattern = "ConditionalTextList[]/") : KXT_Set_In(pattern) {}
};

// --- paragraphs and text variables -----------------------------------------

class KXT_Paragraph_Out : public KXT_ProcessorWithStyle_Out, public KXT_ProcessorWithAttrs_Out {
 protected:
  // Run `index`: the child (name, index) of the paragraph's folder, name
  // "TextRun[]/".
  virtual void ProcessTextRun(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, int32_t index,
                              const char* name);
};

class KXT_Paragraph_In : public KXT_ProcessorWithStyle_In, public KXT_ProcessorWithAttrs_In {
 protected:
  virtual bool ProcessTextRun(KXT_InFolder& folder, KXT_InFolderProcessor& processor, int32_t index,
                              const char* name);
};

// A text-variables declaration ("TextVariablesDec[]/" element) with its
// text pieces: the children (name, index) of its folder.
class KXT_TextVariables_Out : public KXT_ProcessorWithStyle_Out, public KXT_ProcessorWithAttrs_Out {
 protected:
  virtual void ProcessText(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, int32_t index,
                           const char* name);
};

class KXT_TextVariables_In : public KXT_ProcessorWithStyle_In, public KXT_ProcessorWithAttrs_In {
 protected:
  virtual bool ProcessText(KXT_InFolder& folder, KXT_InFolderProcessor& processor, int32_t index,
                           const char* name);
};

// --- text runs -------------------------------------------------------------

class KXT_TextRun_Out : public KXT_ProcessorWithStyle_Out, public KXT_ProcessorWithAttrs_Out {};

// Each writer makes its run's one content item: a typed stream of unsigned
// short (Unicodes, WideMultibytes) or char (Multibytes), a bundle of its
// record class, or a sub-folder (conditional-text list).
class KXT_UnicodesRun_Out : public virtual KXT_TextRun_Out {
 protected:
  virtual void ProcessUnicodes(KXT_OutFolder& folder, KXT_OutStreamProcessor& processor, const char* name);
};
class KXT_WideMultibytesRun_Out : public virtual KXT_TextRun_Out {
 protected:
  virtual void ProcessWideMultibytes(KXT_OutFolder& folder, KXT_OutStreamProcessor& processor, const char* name);
};
class KXT_MultibytesRun_Out : public virtual KXT_TextRun_Out {
 protected:
  virtual void ProcessMultibytes(KXT_OutFolder& folder, KXT_OutStreamProcessor& processor, const char* name);
};
class KXT_SpecialCharsRun_Out : public virtual KXT_TextRun_Out {
 protected:
  virtual void ProcessSpecialChars(KXT_OutFolder& folder, KXT_OutBundleProcessor& processor, const char* name);
};
class KXT_RefPointsRun_Out : public virtual KXT_TextRun_Out {
 protected:
  virtual void ProcessRefPoints(KXT_OutFolder& folder, KXT_OutBundleProcessor& processor, const char* name);
};
class KXT_PlaceHoldersRun_Out : public virtual KXT_TextRun_Out {
 protected:
  virtual void ProcessPlaceHolders(KXT_OutFolder& folder, KXT_OutBundleProcessor& processor, const char* name);
};
class KXT_TextVariablesRun_Out : public virtual KXT_TextRun_Out {
 protected:
  virtual void ProcessTextVariables(KXT_OutFolder& folder, KXT_OutBundleProcessor& processor, const char* name);
};
class KXT_ConditionalTextListRun_Out : public virtual KXT_TextRun_Out {
 protected:
  virtual void ProcessConditionalTextListSet(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor,
                                             const char* name);
};

// The run reader carries the readers of every kind of item.
class KXT_TextRun_In : public KXT_ProcessorWithStyle_In, public KXT_ProcessorWithAttrs_In {
 protected:
  virtual bool ProcessUnicodes(KXT_InFolder& folder, KXT_InStreamProcessor& processor, const char* name);
  virtual bool ProcessMultibytes(KXT_InFolder& folder, KXT_InStreamProcessor& processor, const char* name);
  virtual bool ProcessWideMultibytes(KXT_InFolder& folder, KXT_InStreamProcessor& processor, const char* name);
  virtual bool ProcessSpecialChars(KXT_InFolder& folder, KXT_InBundleProcessor& processor, const char* name);
  virtual bool ProcessTextVariables(KXT_InFolder& folder, KXT_InBundleProcessor& processor, const char* name);
  virtual bool ProcessRefPoints(KXT_InFolder& folder, KXT_InBundleProcessor& processor, const char* name);
  virtual bool ProcessPlaceHolders(KXT_InFolder& folder, KXT_InBundleProcessor& processor, const char* name);
  virtual bool ProcessConditionalTextListSet(KXT_InFolder& folder, KXT_InFolderProcessor& processor,
                                             const char* name);
};

// --- conditional text ------------------------------------------------------

// A conditional-text list: a sub-folder of its own; a conditional text: a
// bundle of KXT_ConditionalText_Rec (m_UIDRef, m_ValueRef).
class KXT_ConditionalTextList_Out : public KXT_ConditionalTextListRun_Out {
 protected:
  virtual void ProcessConditionalTextList(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor,
                                          const char* name);
};

class KXT_ConditionalText_Out : public KXT_ConditionalTextList_Out {
 protected:
  virtual void ProcessConditionalText(KXT_OutFolder& folder, KXT_OutBundleProcessor& processor, const char* name);
};

class KXT_ConditionalTextList_In : public KXT_TextRun_In {
 protected:
  virtual bool ProcessConditionalTextList(KXT_InFolder& folder, KXT_InFolderProcessor& processor,
                                          const char* name);
};

class KXT_ConditionalText_In : public KXT_ConditionalTextList_In {
 protected:
  virtual bool ProcessConditionalText(KXT_InFolder& folder, KXT_InBundleProcessor& processor, const char* name);
};
