// The version-2 element model: sets, documents, style infos, stories,
// paragraphs and text runs, each a writer (_Out2) or reader (_In2) over one
// container folder.  Creating an element is two steps: ask the parent for
// the child folder, then make the element over the returned handle.
//
//   "Book/"                       (book.h)
//     "DocumentsSet/"             set, elements "Document[]/" i
//       "StylesSet/"              set, elements "StyleInfo[]/" i: streams
//                                 "ThisStyleRef" and "BaseStyleRef"
//       "StoriesSet/"             set, elements "Story[]/" i
//         "ParagraphsSet/"        set, elements "Paragraph[]/" i: "StyleRef"
//           "TextRun[]/" i        in the paragraph's own folder: "StyleRef"
//                                 and one content item, "!1:Unicodes",
//                                 "!1:Multibytes", "!1:WideMultibytes",
//                                 "!1:SpecialChars{}", "!1:RefPoints{}" or
//                                 "!1:PlaceHolders{}"
//
// Any element or set folder may hold its own "Attrs{}".  Plain children are
// at index 0; elements of a set and runs are numbered from 0.
#pragma once

#include <cstdint>
#include <string>

#include "kxt/element_base.h"

// --- sets ------------------------------------------------------------------

class KXT_Set_Out2 : public KXT_ProcessorWithAttrs_Out2 {
 public:
  // Keeps its own copy of the elements' pattern name (e.g. "Story[]/"); a
  // null pattern raises 33000.
  KXT_Set_Out2(const KXT_Handle<KXT_OutFolder2>& folder, const char* pattern);
  // Element `index`: the child (pattern, index) of the set folder.
  virtual KXT_Handle<KXT_OutFolder2> CreateElement(int32_t index);

 private:
  std::string pattern_;
};

class KXT_Set_In2 : public KXT_ProcessorWithAttrs_In2 {
 public:
  KXT_Set_In2(const KXT_Handle<KXT_InFolder2>& folder, const char* pattern);
  // Null past the end, or when the set is not Valid.
  virtual KXT_Handle<KXT_InFolder2> OpenElement(int32_t index);

 private:
  std::string pattern_;
};

// The sets of each kind of element; the pattern names the system uses are
// "Document[]/", "StyleInfo[]/", "Story[]/" and "Paragraph[]/".
class KXT_DocumentsSet_Out2 : public KXT_Set_Out2 {
 public:
  using KXT_Set_Out2::KXT_Set_Out2;
};
class KXT_DocumentsSet_In2 : public KXT_Set_In2 {
 public:
  using KXT_Set_In2::KXT_Set_In2;
};
class KXT_StylesSet_Out2 : public KXT_Set_Out2 {
 public:
  using KXT_Set_Out2::KXT_Set_Out2;
};
class KXT_StylesSet_In2 : public KXT_Set_In2 {
 public:
  using KXT_Set_In2::KXT_Set_In2;
};
class KXT_StoriesSet_Out2 : public KXT_Set_Out2 {
 public:
  using KXT_Set_Out2::KXT_Set_Out2;
};
class KXT_StoriesSet_In2 : public KXT_Set_In2 {
 public:
  using KXT_Set_In2::KXT_Set_In2;
};
class KXT_ParagraphsSet_Out2 : public KXT_Set_Out2 {
 public:
  using KXT_Set_Out2::KXT_Set_Out2;
};
class KXT_ParagraphsSet_In2 : public KXT_Set_In2 {
 public:
  using KXT_Set_In2::KXT_Set_In2;
};
class KXT_TextVariablesSet_Out2 : public KXT_Set_Out2 {
 public:
  using KXT_Set_Out2::KXT_Set_Out2;
};
class KXT_TextVariablesSet_In2 : public KXT_Set_In2 {
 public:
  using KXT_Set_In2::KXT_Set_In2;
};
class KXT_ConditionalTextListSet_In2 : public KXT_Set_In2 {
 public:
  using KXT_Set_In2::KXT_Set_In2;
};

// --- documents, style infos, stories ---------------------------------------

class KXT_Document_Out2 : public KXT_ProcessorWithAttrs_Out2 {
 public:
  using KXT_ProcessorWithAttrs_Out2::KXT_ProcessorWithAttrs_Out2;
  // The child `name` ("StylesSet/", "StoriesSet/", ...) of the document.
  virtual KXT_Handle<KXT_OutFolder2> CreateStylesSet(const char* name) { return Folder().CreateFolder2(name, 0); }
  virtual KXT_Handle<KXT_OutFolder2> CreateVariablesTextSet(const char* name) {
    return Folder().CreateFolder2(name, 0);
  }
  virtual KXT_Handle<KXT_OutFolder2> CreateStoriesSet(const char* name) { return Folder().CreateFolder2(name, 0); }
};

class KXT_Document_In2 : public KXT_ProcessorWithAttrs_In2 {
 public:
  using KXT_ProcessorWithAttrs_In2::KXT_ProcessorWithAttrs_In2;
  // Null when missing or not Valid.
  virtual KXT_Handle<KXT_InFolder2> OpenStylesSet(const char* name) { return OpenChild(name); }
  virtual KXT_Handle<KXT_InFolder2> OpenTextVariablesSet(const char* name) { return OpenChild(name); }
  virtual KXT_Handle<KXT_InFolder2> OpenStoriesSet(const char* name) { return OpenChild(name); }

 private:
  KXT_Handle<KXT_InFolder2> OpenChild(const char* name) { return Valid() ? Folder().OpenFolder2(name, 0) : nullptr; }
};

// A style info: its own style number ("ThisStyleRef") and, for a style with
// a base style, the base style's number ("BaseStyleRef").
class KXT_StyleInfo_Out2 : public KXT_ProcessorWithStyle_Out, public KXT_ProcessorWithAttrs_Out2 {
 public:
  explicit KXT_StyleInfo_Out2(const KXT_Handle<KXT_OutFolder2>& folder) : KXT_ProcessorWithAttrs_Out2(folder) {}
  virtual void SaveThisStyleRef(int32_t ref, const char* name) { StoreStyleRef(Folder(), ref, name); }
  virtual void SaveBaseStyleRef(int32_t ref, const char* name) { StoreStyleRef(Folder(), ref, name); }

 private:
  void Call(KXT_OutFolder&) override {}
};

class KXT_StyleInfo_In2 : public KXT_ProcessorWithStyle_In, public KXT_ProcessorWithAttrs_In2 {
 public:
  explicit KXT_StyleInfo_In2(const KXT_Handle<KXT_InFolder2>& folder) : KXT_ProcessorWithAttrs_In2(folder) {}
  // False, ref untouched, when the stream is missing or not Valid.
  virtual bool LoadThisStyleRef(int32_t& ref, const char* name) { return Valid() && RestoreStyleRef(Folder(), ref, name); }
  virtual bool LoadBaseStyleRef(int32_t& ref, const char* name) { return Valid() && RestoreStyleRef(Folder(), ref, name); }

 private:
  void Call(KXT_InFolder&) override {}
};

class KXT_Story_Out2 : public KXT_ProcessorWithAttrs_Out2 {
 public:
  using KXT_ProcessorWithAttrs_Out2::KXT_ProcessorWithAttrs_Out2;
  // The child `name` ("ParagraphsSet/") of the story.
  virtual KXT_Handle<KXT_OutFolder2> CreateParagraphsSet(const char* name) { return Folder().CreateFolder2(name, 0); }
};

class KXT_Story_In2 : public KXT_ProcessorWithAttrs_In2 {
 public:
  using KXT_ProcessorWithAttrs_In2::KXT_ProcessorWithAttrs_In2;
  virtual KXT_Handle<KXT_InFolder2> OpenParagraphsSet(const char* name) {
    return Valid() ? Folder().OpenFolder2(name, 0) : nullptr;
  }
};

// --- paragraphs and text runs ----------------------------------------------

class KXT_Paragraph_Out2 : public KXT_ProcessorWithStyle_Out2 {
 public:
  using KXT_ProcessorWithStyle_Out2::KXT_ProcessorWithStyle_Out2;
  // Run `index`: the child (name, index) of the paragraph's own folder,
  // name "TextRun[]/"; every paragraph counts its runs from 0.
  virtual KXT_Handle<KXT_OutFolder2> CreateTextRun(int32_t index, const char* name) {
    return Folder().CreateFolder2(name, index);
  }
};

class KXT_Paragraph_In2 : public KXT_ProcessorWithStyle_In2 {
 public:
  using KXT_ProcessorWithStyle_In2::KXT_ProcessorWithStyle_In2;
  // Null past the last run or when not Valid.  Runs often have no style
  // reference, so its look-up is announced as the run is opened.
  virtual KXT_Handle<KXT_InFolder2> OpenTextRun(int32_t index, const char* name) {
    return Valid() ? Folder().OpenFolderExpecting(name, index, "StyleRef") : nullptr;
  }
};

// A text run writer holds exactly one content item, made through the one
// operation of its kind's class below.
class KXT_TextRun_Out2 : public KXT_ProcessorWithStyle_Out2 {
 public:
  using KXT_ProcessorWithStyle_Out2::KXT_ProcessorWithStyle_Out2;
};

// UTF-16 text: a typed stream of unsigned short ("!1:Unicodes").
class KXT_UnicodesRun_Out2 : public virtual KXT_TextRun_Out2 {
 public:
  explicit KXT_UnicodesRun_Out2(const KXT_Handle<KXT_OutFolder2>& folder) : KXT_TextRun_Out2(folder) {}
  virtual KXT_Handle<KXT_OutStream2> CreateUnicodes(const char* name);
};

// Wide multi-byte text: a typed stream of unsigned short ("!1:WideMultibytes").
class KXT_WideMultibytesRun_Out2 : public virtual KXT_TextRun_Out2 {
 public:
  explicit KXT_WideMultibytesRun_Out2(const KXT_Handle<KXT_OutFolder2>& folder) : KXT_TextRun_Out2(folder) {}
  virtual KXT_Handle<KXT_OutStream2> CreateWideMultibytes(const char* name);
};

// 8-bit text: a typed stream of char ("!1:Multibytes").
class KXT_MultibytesRun_Out2 : public virtual KXT_TextRun_Out2 {
 public:
  explicit KXT_MultibytesRun_Out2(const KXT_Handle<KXT_OutFolder2>& folder) : KXT_TextRun_Out2(folder) {}
  virtual KXT_Handle<KXT_OutStream2> CreateMultibytes(const char* name);
};

// A bundle of KXT_SpecialChar_Rec ("!1:SpecialChars{}").
class KXT_SpecialCharsRun_Out2 : public virtual KXT_TextRun_Out2 {
 public:
  explicit KXT_SpecialCharsRun_Out2(const KXT_Handle<KXT_OutFolder2>& folder) : KXT_TextRun_Out2(folder) {}
  virtual KXT_Handle<KXT_OutBundle2> CreateSpecialChars(const char* name);
};

// A bundle of KXT_RefPoint_Rec ("!1:RefPoints{}").
class KXT_RefPointsRun_Out2 : public virtual KXT_TextRun_Out2 {
 public:
  explicit KXT_RefPointsRun_Out2(const KXT_Handle<KXT_OutFolder2>& folder) : KXT_TextRun_Out2(folder) {}
  virtual KXT_Handle<KXT_OutBundle2> CreateRefPoints(const char* name);
};

// A bundle of KXT_PlaceHolder_Rec ("!1:PlaceHolders{}").
class KXT_PlaceHoldersRun_Out2 : public virtual KXT_TextRun_Out2 {
 public:
  explicit KXT_PlaceHoldersRun_Out2(const KXT_Handle<KXT_OutFolder2>& folder) : KXT_TextRun_Out2(folder) {}
  virtual KXT_Handle<KXT_OutBundle2> CreatePlaceHolders(const char* name);
};

// A bundle of KXT_TextVariables_Rec; its one operation bears the name of
// the place-holder writer's.
class KXT_TextVariablesRun_Out2 : public virtual KXT_TextRun_Out2 {
 public:
  explicit KXT_TextVariablesRun_Out2(const KXT_Handle<KXT_OutFolder2>& folder) : KXT_TextRun_Out2(folder) {}
  virtual KXT_Handle<KXT_OutBundle2> CreatePlaceHolders(const char* name);
};

// The run reader opens whichever item the run holds; an opener whose item
// is missing or of another type (or a reader that is not Valid) gives null.
class KXT_TextRun_In2 : public KXT_ProcessorWithStyle_In2 {
 public:
  using KXT_ProcessorWithStyle_In2::KXT_ProcessorWithStyle_In2;
  // Typed streams of unsigned short, char and unsigned short.
  virtual KXT_Handle<KXT_InStream2> OpenUnicodes(const char* name);
  virtual KXT_Handle<KXT_InStream2> OpenMultibytes(const char* name);
  virtual KXT_Handle<KXT_InStream2> OpenWideMultibytes(const char* name);
  // Bundles of KXT_SpecialChar_Rec, KXT_RefPoint_Rec, KXT_PlaceHolder_Rec
  // and KXT_TextVariables_Rec.
  virtual KXT_Handle<KXT_InBundle2> OpenSpecialChars(const char* name);
  virtual KXT_Handle<KXT_InBundle2> OpenRefPoints(const char* name);
  virtual KXT_Handle<KXT_InBundle2> OpenPlaceHolders(const char* name);
  virtual KXT_Handle<KXT_InBundle2> OpenTextVariables(const char* name);

 private:
  KXT_Handle<KXT_InStream2> OpenStream(const std::type_info& type, const char* name);
  KXT_Handle<KXT_InBundle2> OpenBundle(const KXT_FieldsEnumerator& prototype, const char* name);
};
