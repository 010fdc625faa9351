// Container folders: the counted face of one code folder.  A container is a
// tree of folders over one code file; a folder makes (or opens) child
// folders, typed value streams and bundles inside itself.
//
// Every folder, typed stream and bundle holds one reference to the tree's
// container, which owns the code file; the handles a folder gives out do not
// keep the folder itself alive.  So the code file is completed when the last
// folder, stream and bundle of the tree is released, in whatever order that
// happens: releasing a stream completes it, releasing a folder writes its
// table of children, releasing the last of them completes the code file.
//
// Names pass through unchanged (the code folder adds its prefix).  By
// convention "X/" names a child folder at index 0, "X[]/" the elements of a
// set (element i is the child (name, i)), "X{}" a bundle, "!1:..." the
// content of a text run, anything else a typed stream.  A null name, or one
// holding the byte 0x01 or 0x02 (which the code folders reserve), is refused
// with failure 33000 on both sides.
//
// Failures of the code file and code folders (34000, 34001, the storage
// failures) pass through.  On the reading side a missing child, stream or
// bundle is no failure: the version-2 operations give a null handle, the
// version-1 operations false (without calling the processor).
#pragma once

#include <cstdint>
#include <typeinfo>

#include "framework/code_file.h"
#include "kxt/kxt_bundle.h"
#include "kxt/kxt_handle.h"
#include "kxt/kxt_processors.h"
#include "kxt/referred_object.h"
#include "kxt/typed_stream.h"

class OLEStorage;

// Failure of a name the folders cannot hold.
constexpr int kKXTFailBadName = 33000;

// Version 1: each operation creates the child through the version-2
// operation of the same name, hands it to the processor and releases it.
class KXT_OutFolder {
 public:
  virtual void ProcessFolder(KXT_OutFolderProcessor& processor, const char* name, int32_t index) = 0;
  virtual void ProcessStream(KXT_OutStreamProcessor& processor, const std::type_info& type, const char* name,
                             int32_t id) = 0;
  virtual void ProcessBundle(KXT_OutBundleProcessor& processor, const KXT_FieldsEnumerator& prototype,
                             const char* name, int32_t index) = 0;

 protected:
  virtual ~KXT_OutFolder() noexcept(false) {}
};

class KXT_InFolder {
 public:
  // False when the child is missing (the processor is not called).
  virtual bool ProcessFolder(KXT_InFolderProcessor& processor, const char* name, int32_t index) = 0;
  // False also when the stream's type is not `type`.
  virtual bool ProcessStream(KXT_InStreamProcessor& processor, const std::type_info& type, const char* name,
                             int32_t id) = 0;
  virtual bool ProcessBundle(KXT_InBundleProcessor& processor, const KXT_FieldsEnumerator& prototype,
                             const char* name, int32_t index) = 0;

 protected:
  virtual ~KXT_InFolder() noexcept(false) {}
};

class KXT_OutFolder2 : public ReferredObject, public virtual KXT_OutFolder {
 public:
  // The child folder (name, index); the same pair again is the same child.
  virtual KXT_Handle<KXT_OutFolder2> CreateFolder2(const char* name, int32_t index) = 0;
  // A new typed stream (name, id) whose tag is already written; never null.
  virtual KXT_Handle<KXT_OutStream2> CreateStream2(const std::type_info& type, const char* name, int32_t id) = 0;
  // The child folder (name, index) as a bundle with one typed stream per
  // field of the prototype; never null.
  virtual KXT_Handle<KXT_OutBundle2> CreateBundle2(const KXT_FieldsEnumerator& prototype, const char* name,
                                                   int32_t index) = 0;

 protected:
  ~KXT_OutFolder2() noexcept(false) override {}
};

class KXT_InFolder2 : public ReferredObject, public virtual KXT_InFolder {
 public:
  // Null when the folder has no child (name, index).
  virtual KXT_Handle<KXT_InFolder2> OpenFolder2(const char* name, int32_t index) = 0;
  // The same, with a hint that the child's stream `expected` is about to be
  // opened; what is read does not change.
  virtual KXT_Handle<KXT_InFolder2> OpenFolderExpecting(const char* name, int32_t index, const char* /*expected*/) {
    return OpenFolder2(name, index);
  }
  // Null when the stream is missing, its tag cannot be read or is not the
  // tag of `type`.
  virtual KXT_Handle<KXT_InStream2> OpenStream2(const std::type_info& type, const char* name, int32_t id) = 0;
  // Null when the child folder (name, index) is missing; otherwise a bundle
  // over the field streams of the prototype that could be opened.
  virtual KXT_Handle<KXT_InBundle2> OpenBundle2(const KXT_FieldsEnumerator& prototype, const char* name,
                                                int32_t index) = 0;
  // Reports every child folder (name, index) of the folder's table, by name
  // (unsigned bytes) then index, whatever its name; false as soon as the
  // receiver returns false.  A folder without a table reports none.
  virtual bool EnumerateFolders(CF_EnumerableInStorage::IdentifierReceiver& receiver) = 0;

 protected:
  ~KXT_InFolder2() noexcept(false) override {}
};

// The root folder of a new container tree in the storage: a new code file
// ("SolvaneCodeFile" and its summary set, replacing any there) whose streams
// are all stored uncompressed when compress is false.
KXT_Handle<KXT_OutFolder2> CreateKXTFolder2(OLEStorage& storage, bool compress);
// The root folder of the container tree in the storage; 34000 for a code
// file of a newer format, 34001 for a damaged one or a missing root table,
// the storage failure when there is no code file.
KXT_Handle<KXT_InFolder2> OpenKXTFolder2(OLEStorage& storage);

// Version 1: the root folder handed to the processor, released afterwards.
void CreateKXTFolder(KXT_OutFolderProcessor& processor, OLEStorage& storage, bool compress);
// False when no root folder comes back.
bool OpenKXTFolder(KXT_InFolderProcessor& processor, OLEStorage& storage);
