// OLEStorageEnumerator: walks the elements of one storage, opens them, and
// writes or reads whole storage trees as a flat byte record:
//
//   u8  kind: 0 stream, 1 storage (0xFF ends the item list of a storage)
//   u32 name length N in UTF-16 units, its NUL included
//   N × u16 the name, NUL included
//   stream:  u32 data size S, then S bytes
//   storage: 16-byte class id, one record per element, then the byte 0xFF
//
// all little-endian.  A storage opened for writing cannot be enumerated: its
// enumerator has no elements (Next and Seek find none), but it can read
// records into the storage.
#pragma once

#include <cstdint>
#include <string>

#include "framework/ole_object.h"
#include "framework/ole_storage.h"
#include "framework/ole_stream.h"
#include "framework/streams.h"
#include "platform/ole/ole.h"

class OLEStorageEnumerator : public OLEObject {
 public:
  // Storages nest at most this deep in a record, and in a tree that is
  // written or measured.  Deeper trees fail with STG_E_CANTSAVE (33011).
  static constexpr unsigned kMaxTreeDepth = 128;

  explicit OLEStorageEnumerator(OLEStorage& storage);
  // Continues from the same place independently.
  OLEStorageEnumerator(const OLEStorageEnumerator& other);
  OLEStorageEnumerator& operator=(const OLEStorageEnumerator&) = delete;
  ~OLEStorageEnumerator() noexcept(false) override;

  // Back before the first element; no current item.
  virtual void Rewind();
  // n = 0 does nothing and returns true.  Otherwise skips n - 1 elements and
  // makes the next one the current item; false (and no current item) when
  // the elements ran out.
  virtual bool Next(uint32_t n = 1);
  // The current item; null / false when there is none.
  virtual const char16_t* ItemName() const { return has_item_ ? item_.name.c_str() : nullptr; }
  virtual bool ItemIsStorage() const { return has_item_ && item_.type == ole::STGTY_STORAGE; }
  // Rewinds and moves to the element whose name equals `name` exactly (unit
  // by unit); false when there is none.
  virtual bool Seek(const char16_t* name);
  // Open the current item (no current item raises STG_E_INVALIDPOINTER).
  virtual OLEStorage OpenStorage(CD_OpenMode mode);
  virtual OLEStream OpenStream(CD_OpenMode mode);
  // Writes the current item and, for a storage, everything below it as a
  // record.
  virtual void operator>>(OutStream& out);
  // Reads one record and creates its element (and everything below it) in the
  // enumerated storage, replacing elements of the same names.  False, with
  // nothing created, when the record's kind byte, name or stream size is
  // missing or invalid (a list end 0xFF included).  A stream whose bytes
  // come short raises STG_E_CANTSAVE (33011) after creating it with the bytes
  // that arrived.
  virtual bool operator<<(InStream& in);
  // The current item's size: a stream's length, a storage's GetSize.
  virtual uint32_t GetItemSize();

 private:
  friend class OLEStorage;
  static uint32_t StorageSize(OLEStorage& storage, unsigned depth);
  void WriteItem(OutStream& out, unsigned depth);
  static bool ReadItem(OLEStorage& into, InStream& in, unsigned depth);
  void RequireItem() const;
  void Forget();

  OLEStorage storage_;
  ole::ElementEnum* elements_ = nullptr;  // null for a storage opened for writing
  bool has_item_ = false;
  ole::StatStg item_;
};
