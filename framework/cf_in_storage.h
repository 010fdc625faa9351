// The code-file reader: reads the version, the header, the directory and the
// names at opening, then opens logical streams by (name, id) and reads their
// segments through a page cache.
#pragma once

#include <cstdint>
#include <memory>
#include <unordered_map>
#include <vector>

#include "framework/cf_in_stream.h"
#include "framework/cf_directory.h"
#include "framework/cf_name_table.h"
#include "framework/code_file.h"
#include "framework/in_pager.h"
#include "framework/ole_storage.h"
#include "framework/property_set.h"

class CF_OLEInStorage : public CF_EnumerableInStorage, public CF_Reader {
 public:
  // 34000 for a newer format, 34001 when the header or directory is cut
  // short or inconsistent; a damaged names section simply ends.
  explicit CF_OLEInStorage(const OLEStorage& storage);
  // Streams still open are left detached.
  ~CF_OLEInStorage() noexcept(false) override;
  CF_OLEInStorage(const CF_OLEInStorage&) = delete;
  CF_OLEInStorage& operator=(const CF_OLEInStorage&) = delete;

  Variant GetProperty(int32_t id) override;
  CF_InStream* OpenStream(const char* name, int32_t id) override;
  // Starts loading the slot of the name's look-up: a name the file does not
  // hold has no record ahead of it to have it loaded early.
  void Expect(const char* name) override;
  bool EnumerateStreams(IdentifierReceiver& receiver) override;

 private:
  uint32_t GetData(void* buffer, uint32_t n) override;
  uint32_t ReadAt(void* buffer, uint32_t n, uint32_t position) override;
  uint32_t ReadUpTo(void* buffer, uint32_t n, uint32_t position) override;
  void StreamClosed(CF_OLEInStream* stream) override;

  // Version test: (major, minor) of the summary set, absent values as 0.
  void CheckVersion(uint32_t& minor);
  uint32_t VersionProperty(int32_t id);
  void ReadDirectory(uint32_t count, uint32_t offset, uint32_t minor);
  void AddEntry(uint32_t number, int32_t id, uint8_t kind, uint32_t tableOffset);
  void ReadNames();

  PropertySet summary_;
  std::unique_ptr<InPager> pager_;  // owns the OLE stream
  uint32_t size_ = 0;
  CF_Directory directory_;
  // Each name once, its value the number the file gives it (the first one
  // read).
  CF_NameTable names_;
  // Streams still open; each stream's ticket is its place here.
  std::vector<CF_OLEInStream*> open_;
  // Made on the first enumeration: the pairs in directory order, and where
  // the name of each number lies in the table.
  std::vector<uint64_t> order_;
  std::unordered_map<uint32_t, uint32_t> nameOfNumber_;
};
