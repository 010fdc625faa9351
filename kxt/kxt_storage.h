// Container storage and entry points.
//
// A container lives inside an OLE storage the caller has created or opened
// (usually the root of a compound file), as two direct children of it:
//   "SolvaneTextAndCode"        storage: the code file ("SolvaneCodeFile" and
//                               the summary set "\x05SolvaneSummaryInformation")
//                               that the folder tree writes;
//   "SolvanePluginPrivateData"  storage: whatever the caller keeps there.
//
// The storage objects are counted: CreateKXT2 and OpenKXT2 return a plain
// pointer holding one reference, which the caller gives back with Release.
// The code file is completed when the last handle into the folder tree is
// released, not when the storage object goes; both hold their own handles to
// the OLE storages, so they may be released in either order.  The last
// Release of a storage object closes the private-data storage, then
// "SolvaneTextAndCode", then its handle to the caller's storage.
#pragma once

#include "framework/ole_storage.h"
#include "kxt/kxt_folder.h"
#include "kxt/kxt_handle.h"
#include "kxt/referred_object.h"

class KXT_Book_Out;
class KXT_Book_In;

// Version-1 interfaces.
class KXT_OutStorage : public ReferredObject {
 public:
  // The storage "SolvanePluginPrivateData", created on the first call and
  // kept by this object; every call returns the same object.
  virtual OLEStorage* PrivateData() = 0;
  // The version-1 way to write the container: makes the root folder (as
  // KXT_OutStorage2::CreateKXTFolder2 does) and runs the book over it (see
  // kxt/v1_book.h); the code file is complete when this returns.
  virtual void CreateKXTFolder(KXT_Book_Out& book) = 0;

 protected:
  ~KXT_OutStorage() noexcept(false) override {}
};

class KXT_InStorage : public ReferredObject {
 public:
  // Whether the caller's storage holds "SolvanePluginPrivateData".
  virtual bool HasPrivateData() = 0;
  // That storage, opened for reading on the first call and kept; raises the
  // storage failure (33006) when it is missing: ask HasPrivateData first.
  virtual OLEStorage* PrivateData() = 0;
  // The version-1 way to read the container: runs the book over the root
  // folder.  False when no root folder comes back; true otherwise, also
  // when the container holds no "Book/".
  virtual bool OpenKXTFolder(KXT_Book_In& book) = 0;

 protected:
  ~KXT_InStorage() noexcept(false) override {}
};

class KXT_OutStorage2 : public KXT_OutStorage {
 public:
  // The root folder of a new code file in "SolvaneTextAndCode", made afresh
  // on each call.  While the tree of an earlier call is still open (its code
  // file not yet complete) a second call raises 33007 instead of making a
  // second writer over the same stream.
  virtual KXT_Handle<KXT_OutFolder2> CreateKXTFolder2() = 0;

 protected:
  ~KXT_OutStorage2() noexcept(false) override {}
};

class KXT_InStorage2 : public KXT_InStorage {
 public:
  // The root folder of the container's tree (see OpenKXTFolder2).
  virtual KXT_Handle<KXT_InFolder2> OpenKXTFolder2() = 0;

 protected:
  ~KXT_InStorage2() noexcept(false) override {}
};

// A new container in the storage: creates "SolvaneTextAndCode" (replacing
// one that is there).  With compress false every logical stream of the code
// file is stored uncompressed.  Storage failures are raised and nothing is
// left behind.
KXT_OutStorage2* CreateKXT2(OLEStorage& storage, bool compress);
// The container in the storage, opened for reading.  A storage without
// "SolvaneTextAndCode" is no container: that raises the storage failure
// (33006), it does not return null; nothing is left behind.
KXT_InStorage2* OpenKXT2(OLEStorage& storage);

// Version 1: the same objects seen through the version-1 interfaces.
KXT_OutStorage* CreateKXT(OLEStorage& storage);
KXT_OutStorage* CreateKXT(OLEStorage& storage, bool compress);
KXT_InStorage* OpenKXT(OLEStorage& storage);
