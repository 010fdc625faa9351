// The version-2 book: the top element of a container, the folder "Book/" of
// the container's root folder, with the empty "ObjectsPool/" folder, the
// book's strings map ("StringsMap{}") and its attribute set ("Attrs{}").
//
// The book writer is made just after the root folder and destroyed after
// every other element writer has finished and before the container is
// closed: its destructor stores the strings map, so strings interned after
// that are lost.
#pragma once

#include "kxt/element_base.h"
#include "kxt/strings_map.h"

class KXT_Book_Out2 : public KXT_ProcessorWithAttrs_Out2 {
 public:
  // Creates "Book/" and its "ObjectsPool/" in the root folder and gives the
  // attribute set the eighteen defaults, "release_number" "1" and
  // "build_number" "2".
  explicit KXT_Book_Out2(const KXT_Handle<KXT_OutFolder2>& root);
  // Stores the strings map as "StringsMap{}" in "Book/", then lets go of the
  // folders.
  ~KXT_Book_Out2() noexcept(false) override;

  // The "Book/" folder.
  KXT_OutFolder2& Folder() override { return *book_; }
  // The book's strings map: every attribute of the container is numbered in it.
  virtual KXT_StringsMap& StringsMap() { return strings_; }
  virtual const KXT_Handle<KXT_OutFolder2>& ObjectsPool() { return pool_; }
  // The child `name` ("DocumentsSet/") of "Book/".
  virtual KXT_Handle<KXT_OutFolder2> CreateDocumentsSet(const char* name) { return book_->CreateFolder2(name, 0); }

 private:
  KXT_Handle<KXT_OutFolder2> book_;
  KXT_Handle<KXT_OutFolder2> pool_;
  KXT_StringsMap_Out strings_;
};

class KXT_Book_In2 : public KXT_ProcessorWithAttrs_In2 {
 public:
  // Opens "Book/" of the root folder (a null root is allowed).  When it is
  // there: restores the strings map, opens "ObjectsPool/", sets the default
  // attributes and restores "Attrs{}" over them.  Otherwise the book is not
  // Valid and stays empty (no defaults).
  explicit KXT_Book_In2(const KXT_Handle<KXT_InFolder2>& root);
  ~KXT_Book_In2() noexcept(false) override {}

  // Whether "Book/" was found.
  bool Valid() const override { return static_cast<bool>(book_); }
  // The "Book/" folder; only when Valid.
  KXT_InFolder2& Folder() override { return *book_; }
  virtual KXT_StringsMap& StringsMap() { return strings_; }
  // Null when not Valid or when "ObjectsPool/" is missing.
  virtual const KXT_Handle<KXT_InFolder2>& ObjectsPool() { return pool_; }
  // The child `name` of "Book/"; null when missing or not Valid.
  virtual KXT_Handle<KXT_InFolder2> OpenDocumentsSet(const char* name) {
    return Valid() ? book_->OpenFolder2(name, 0) : nullptr;
  }

 private:
  KXT_Handle<KXT_InFolder2> book_;
  KXT_Handle<KXT_InFolder2> pool_;
  KXT_StringsMap_In strings_;
};
