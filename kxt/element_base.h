// Bases of the version-2 element classes: an element is a thin object over
// one container folder (a counted handle, see folder_handler.h) with its own
// attribute set, empty and without a base at construction.  All content is
// in the container once created; nothing is cached, so two element objects
// over one folder see the same content.
//
// Writers are made over the non-null handle of their output folder, readers
// over the handle that opening their folder gave, null when it was missing:
// such a reader is not Valid, and its operations give null handles and
// false without touching any folder.
#pragma once

#include <cstdint>

#include "kxt/attrs_set.h"
#include "kxt/element_style.h"
#include "kxt/folder_handler.h"

class KXT_ProcessorWithAttrs_Out2 : public KXT_FolderHandler_Out2 {
 public:
  explicit KXT_ProcessorWithAttrs_Out2(const KXT_Handle<KXT_OutFolder2>& folder) : KXT_FolderHandler_Out2(folder) {}
  KXT_ProcessorWithAttrs_Out2(const KXT_ProcessorWithAttrs_Out2&) = delete;

  // The element's own attribute set, filled with the book's strings map.
  virtual KXT_AttrsSet& AttrsSet() { return attrs_; }
  // Stores the attribute set as the bundle `name` ("Attrs{}") of the folder.
  // Nothing stores it unless this is called.
  virtual void SaveAttrsSet(const char* name) { attrs_.Store(Folder(), name); }

 private:
  KXT_AttrsSet_Out attrs_;
};

class KXT_ProcessorWithAttrs_In2 : public KXT_FolderHandler_In2 {
 public:
  explicit KXT_ProcessorWithAttrs_In2(const KXT_Handle<KXT_InFolder2>& folder) : KXT_FolderHandler_In2(folder) {}
  KXT_ProcessorWithAttrs_In2(const KXT_ProcessorWithAttrs_In2&) = delete;

  // The element's attribute set; link it to the parent's set with
  // DefineBaseAttrsSet so that look-ups fall back along the tree.
  virtual KXT_AttrsSet& AttrsSet() { return attrs_; }
  // Restores the bundle `name` of the folder into the set; false when the
  // bundle is missing or the element is not Valid.
  virtual bool LoadAttrsSet(const char* name) { return Valid() && attrs_.Restore(Folder(), name); }

 private:
  KXT_AttrsSet_In attrs_;
};

// Version-2 style bearers (paragraphs, text runs).  Their version-1 Call
// does nothing.
class KXT_ProcessorWithStyle_Out2 : public KXT_ProcessorWithStyle_Out, public KXT_ProcessorWithAttrs_Out2 {
 public:
  explicit KXT_ProcessorWithStyle_Out2(const KXT_Handle<KXT_OutFolder2>& folder)
      : KXT_ProcessorWithAttrs_Out2(folder) {}

  // Writes the style-reference stream `name` ("StyleRef") with ref.
  virtual void SaveStyleRef(int32_t ref, const char* name) { StoreStyleRef(Folder(), ref, name); }

 private:
  void Call(KXT_OutFolder&) override {}
};

class KXT_ProcessorWithStyle_In2 : public KXT_ProcessorWithStyle_In, public KXT_ProcessorWithAttrs_In2 {
 public:
  explicit KXT_ProcessorWithStyle_In2(const KXT_Handle<KXT_InFolder2>& folder) : KXT_ProcessorWithAttrs_In2(folder) {}

  // Reads the style-reference stream `name` into ref (-1 when it is empty);
  // false, ref untouched, when it is missing or the element is not Valid.
  virtual bool LoadStyleRef(int32_t& ref, const char* name) { return Valid() && RestoreStyleRef(Folder(), ref, name); }

 private:
  void Call(KXT_InFolder&) override {}
};
