// OLEStorage: an owning wrapper over one storage of a compound file (a root
// file or a storage inside one).  Copies share the storage; the interface is
// released by the last wrapper that uses it, and streams and sub-storages
// opened in it keep it alive.  Every failing call raises through
// OLEObject::Abort with the element or file name.
//
// A root opened for writing writes its file when the last wrapper of it goes
// (see OLEHandler): that destructor raises a write failure (33012, 33013)
// unless another exception is unwinding.
#pragma once

#include <cstdint>

#include "framework/ole_handler.h"
#include "framework/ole_object.h"
#include "framework/ole_stat.h"
#include "platform/ole/ole.h"

class OLEStorageEnumerator;
class OLEStream;

class OLEStorage : public OLEObject {
 public:
  // Takes over `storage` (no AddRef) as a root.
  explicit OLEStorage(ole::Storage* storage);
  // Opens (mode 0, sharing deny-write) or creates (mode 0x1001, replacing any
  // file, sharing exclusive) the compound file at `path` (system encoding).
  // A file that is not a compound file fails with 33005.
  OLEStorage(const char* path, CD_OpenMode mode);
  // Opens (mode 0) or creates (mode 0x1001) the sub-storage `name` of parent.
  OLEStorage(OLEStorage& parent, const char16_t* name, CD_OpenMode mode);
  // Shares the storage, with a snapshot of its own.
  OLEStorage(const OLEStorage& other);
  OLEStorage& operator=(const OLEStorage&) = delete;
  ~OLEStorage() noexcept(false) override;

  virtual OLEStorageEnumerator CreateEnumerator();
  // Whether an element of that kind and name exists (it is opened and
  // released to find out; an element open elsewhere raises 33007).
  virtual bool StorageExists(const char16_t* name);
  virtual bool StreamExists(const char16_t* name);
  virtual OLEStorage OpenStorage(const char16_t* name, CD_OpenMode mode);
  virtual OLEStream OpenStream(const char16_t* name, CD_OpenMode mode);
  // Copies (or moves) the element `name` into destination under newName
  // (under its own name when newName is null).  A failure because the target
  // exists or is in use names the target, any other the source.
  virtual void CopyItem(const char16_t* name, OLEStorage& destination, const char16_t* newName, bool move);
  virtual void DestroyItem(const char16_t* name);
  // A failure because newName exists names newName, any other oldName.
  virtual void RenameItem(const char16_t* oldName, const char16_t* newName);
  virtual const char16_t* Name() const { return stat_.Name(); }
  virtual OLEStat_Impl& Stat() { return stat_; }
  virtual const OLEStat_Impl& Stat() const { return stat_; }
  // The bytes of all streams below this storage.  A storage opened for
  // writing cannot be enumerated and counts 0.
  virtual uint32_t GetSize();

  // The handler of this storage's interface (the parent of what is opened in
  // it).
  OLEHandler<ole::Storage>* Handler() const { return handler_; }

 private:
  struct Opened {
    ole::Storage* storage;
    ole::StatStg stat;
  };
  // Takes the snapshot of a storage just obtained; on failure releases it and
  // raises through Abort with `name`.
  static Opened Snapshot(ole::Storage* storage, const char16_t* name);
  static Opened OpenRoot(const char* path, CD_OpenMode mode);
  static Opened OpenChild(OLEStorage& parent, const char16_t* name, CD_OpenMode mode);
  OLEStorage(Opened opened, OLEHandler<ole::Storage>* parent);

  OLEHandler<ole::Storage>* handler_;
  OLEStat_Impl stat_;
};
