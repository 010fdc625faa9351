// The reading side of code folders: a folder reads its table of children
// when it is made, opens children and streams by composing their names, and
// filters the code file's enumeration down to its own streams.
#pragma once

#include <cstdint>
#include <string>

#include "framework/cf_folder_table.h"
#include "framework/cf_name_composer.h"
#include "framework/code_folder.h"

class CF_InFolderImpl : public CF_EnumerableInFolder, private CF_NameComposer {
 public:
  // Reads the table "prefix 0x02" (id 0): 34001 when it is missing, cut
  // short, holds an entry of length 0 or the same (name, index) twice.  The
  // reader is not owned.  `expected`, when given, is the name of a stream of
  // this folder about to be opened, announced to the reader first.
  CF_InFolderImpl(CF_InStorage& reader, std::string prefix, const char* expected = nullptr);
  CF_InFolderImpl(const CF_InFolderImpl&) = delete;
  CF_InFolderImpl& operator=(const CF_InFolderImpl&) = delete;

  CF_InFolderImpl* OpenFolder(const char* name, int32_t index) override;
  CF_InFolderImpl* OpenFolderExpecting(const char* name, int32_t index, const char* expected) override;
  Variant GetProperty(int32_t id) override;
  CF_InStream* OpenStream(const char* name, int32_t id) override;
  void Expect(const char* name) override;
  // These two need a reader that enumerates (every code-file reader does);
  // over any other reader they report nothing and give false or null.
  bool EnumerateStreams(IdentifierReceiver& receiver) override;
  CF_EnumerableInStorage* UnfoldedStorage() override;
  bool EnumerateFolders(IdentifierReceiver& receiver) override;

 private:
  void ReadTable();

  CF_InStorage* reader_;
  CF_FolderTable table_;
};

// The streams of a code file that belong to no folder.
class CF_UnfoldedStorage : public CF_EnumerableInStorage {
 public:
  explicit CF_UnfoldedStorage(CF_EnumerableInStorage& reader) : reader_(&reader) {}

  Variant GetProperty(int32_t id) override { return reader_->GetProperty(id); }
  // Null for a name holding 0x01 or 0x02.
  CF_InStream* OpenStream(const char* name, int32_t id) override;
  bool EnumerateStreams(IdentifierReceiver& receiver) override;

 private:
  CF_EnumerableInStorage* reader_;
};
