// The code-file writer: hands out logical streams, keeps the directory and
// the names, and completes the file (summary properties, directory, names,
// header) when deleted.
#pragma once

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/cf_directory.h"
#include "framework/cf_name_table.h"
#include "framework/cf_out_container.h"
#include "framework/cf_out_stream.h"
#include "framework/code_file.h"
#include "framework/ole_storage.h"
#include "framework/property_set.h"

class CF_OLEOutStorage : public CF_OutStorage, public CF_Writer {
 public:
  CF_OLEOutStorage(const OLEStorage& storage, bool compress);
  // Completes the file; streams still open are completed first and left
  // detached.
  ~CF_OLEOutStorage() noexcept(false) override;
  CF_OLEOutStorage(const CF_OLEOutStorage&) = delete;
  CF_OLEOutStorage& operator=(const CF_OLEOutStorage&) = delete;

  void SetProperty(int32_t id, const Variant& value) override;
  CF_OutStream* CreateStream(const char* name, int32_t id, int32_t kind) override;
  CF_OutStream* RenameStream(const char* oldName, int32_t oldId, const char* newName,
                             int32_t newId) override;

 private:
  using Entry = CF_Directory::Entry;
  // An open stream, the entry (number, id) it is registered on, and when it
  // was registered there.
  struct OpenStream {
    CF_OLEOutStream* stream;
    uint32_t number;
    int32_t id;
    uint64_t order;
  };

  // The newest stream is numbered only when the next call comes (or
  // anything else needs its number): by then the slot of its name, asked
  // for when it was made, has come into the cache.
  struct Pending {
    bool active = false;
    // Its name, copied: the caller's buffer may change before the number
    // is given.
    std::unique_ptr<char[]> name;
    size_t length = 0;
    size_t room = 0;  // bytes at `name`
    uint32_t hash = 0;
    int32_t id = 0;
    uint8_t kind = 0;
    CF_OLEOutStream* stream = nullptr;  // null once it closed or failed
    bool dropped = false;               // it failed while closing
    CF_DirectoryEntry closed;           // what it reported when it closed
  };

  void StreamClosed(CF_OLEOutStream* stream, const CF_DirectoryEntry& entry) override;
  void StreamDropped(CF_OLEOutStream* stream) override;
  uint32_t WriteBlock(const void* data, uint32_t n) override;

  // The name's number, given out in order of first use; refuses names that
  // do not fit their 16-bit length.
  uint32_t NumberOf(const char* name);
  // Numbers the pending stream's name and enters it in the directory.
  void Resolve();
  // Takes the stream out of the open ones.
  OpenStream Unregister(CF_OLEOutStream* stream);
  void Close();
  void Register(CF_OLEOutStream* stream, uint32_t number, int32_t id, uint8_t kind);
  // Takes the stream off its entry; returns that entry, or null.
  Entry* Forget(CF_OLEOutStream* stream, uint32_t* number = nullptr, int32_t* id = nullptr);
  void DetachAll();
  void WriteNames(const std::vector<bool>& used);

  OLEStorage storage_;
  PropertySet summary_;
  CF_OutContainer* container_;  // owned; owns the OLE stream
  CF_NameTable names_;  // each name's value is its number
  CF_Directory directory_;
  // Open streams; each stream's ticket is its place here.
  std::vector<OpenStream> open_;
  uint64_t registered_ = 0;
  Pending pending_;
  bool compress_;
};
