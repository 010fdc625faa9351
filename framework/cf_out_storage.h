// The code-file writer: hands out logical streams, keeps the directory and
// the names, and completes the file (summary properties, directory, names,
// header) when deleted.
#pragma once

#include <cstdint>
#include <map>
#include <unordered_map>
#include <vector>

#include "framework/cf_name.h"
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
  // A directory entry and the streams open on it, oldest first.
  struct Slot {
    CF_DirectoryEntry entry;
    std::vector<CF_OLEOutStream*> open;
  };

  void StreamClosed(CF_OLEOutStream* stream, const CF_DirectoryEntry& entry) override;
  void StreamDropped(CF_OLEOutStream* stream) override;
  uint32_t WriteBlock(const void* data, uint32_t n) override;

  // The name's number, given out in order of first use; refuses names that
  // do not fit their 16-bit length.
  uint32_t NumberOf(const char* name);
  void Close();
  void Register(CF_OLEOutStream* stream, const CF_DirectoryEntry& entry);
  // Takes the stream off its entry; returns that entry, or null.
  Slot* Forget(CF_OLEOutStream* stream);
  void DetachAll();

  OLEStorage storage_;
  PropertySet summary_;
  CF_OutContainer* container_;  // owned; owns the OLE stream
  std::map<cf::DirKey, Slot> directory_;
  // Where each open stream is registered (its own entry may say otherwise
  // until it closes).
  std::unordered_map<CF_OLEOutStream*, cf::DirKey> open_;
  std::map<CF_NameKey, uint32_t> names_;
  bool compress_;
};
