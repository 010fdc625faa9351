// The version-1 book: the caller derives from KXT_Book_Out / KXT_Book_In
// and implements Call, which runs while the book's "Book/" folder and its
// "ObjectsPool/" folder are open.
//
// Writing: "Book/" and "ObjectsPool/" are created, the book's attributes get
// the eighteen defaults, "release_number" "1" and "build_number" "2", the
// caller's Call writes the book (and stores AttrsSet() as "Attrs{}" if it
// wants it stored), then the strings map is stored as "StringsMap{}".
// Reading: the strings map is restored, "ObjectsPool/" opened, the defaults
// set and "Attrs{}" restored over them, then the caller's Call runs.  A
// container without "Book/" (or without "ObjectsPool/") never calls Call.
#pragma once

#include "kxt/kxt_folder.h"
#include "kxt/strings_map.h"
#include "kxt/v1_elements.h"

class OLEStorage;

class KXT_Book_Out : public KXT_ProcessorWithAttrs_Out {
 public:
  virtual KXT_StringsMap& StringsMap() { return strings_; }
  // The "ObjectsPool/" folder; null outside the book's Call.
  virtual KXT_OutFolder* ObjectsPool() { return pool_; }

 protected:
  // The child `name` ("DocumentsSet/") of the "Book/" folder, whatever
  // folder is given.
  virtual void ProcessDocumentsSet(KXT_OutFolder& folder, KXT_OutFolderProcessor& processor, const char* name);

 private:
  friend class KXT_Book_Out_Processor;
  // Called with "Book/" and, nested, with "ObjectsPool/".
  virtual void Process(KXT_OutFolder& folder);

  KXT_StringsMap_Out strings_;
  KXT_OutFolder* book_ = nullptr;
  KXT_OutFolder* pool_ = nullptr;
};

class KXT_Book_In : public KXT_ProcessorWithAttrs_In {
 public:
  virtual KXT_StringsMap& StringsMap() { return strings_; }
  // The "ObjectsPool/" folder; null outside the book's Call.
  virtual KXT_InFolder* ObjectsPool() { return pool_; }

 protected:
  // The child `name` of the "Book/" folder, whatever folder is given; false
  // when it is missing.
  virtual bool ProcessDocumentsSet(KXT_InFolder& folder, KXT_InFolderProcessor& processor, const char* name);

 private:
  friend class KXT_Book_In_Processor;
  virtual void Process(KXT_InFolder& folder);

  KXT_StringsMap_In strings_;
  KXT_InFolder* book_ = nullptr;
  KXT_InFolder* pool_ = nullptr;
};

// Root processors that run a whole book over a container's root folder:
// they open "Book/" (index 0) and hand it to the book.  The container
// storage runs them in KXT_OutStorage::CreateKXTFolder and
// KXT_InStorage::OpenKXTFolder, the way callers run a version-1 book.
class KXT_Book_Out_Creator : public KXT_OutFolderProcessor {
 public:
  explicit KXT_Book_Out_Creator(KXT_Book_Out& book) : book_(book) {}
  void Call(KXT_OutFolder& root) override;

 private:
  KXT_Book_Out& book_;
};

class KXT_Book_In_Opener : public KXT_InFolderProcessor {
 public:
  explicit KXT_Book_In_Opener(KXT_Book_In& book) : book_(book) {}
  void Call(KXT_InFolder& root) override;

 private:
  KXT_Book_In& book_;
};

// Whether the storage holds a container ("SolvaneTextAndCode").
bool IsKXT(OLEStorage& storage);
