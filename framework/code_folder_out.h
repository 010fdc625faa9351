// The writing side of a code folder: composes its children's prefixes and its
// streams' names, and writes its table of children when deleted.
#pragma once

#include <cstdint>
#include <string>

#include "framework/cf_folder_table.h"
#include "framework/cf_name_composer.h"
#include "framework/code_folder.h"
#include "framework/recycled_blocks.h"

class CF_OutFolderImpl : public CF_OutFolder, private CF_NameComposer {
 public:
  // The writer is shared with the parent and children and not owned.
  CF_OutFolderImpl(CF_OutStorage& writer, std::string prefix);
  // Writes the table stream "prefix 0x02" (id 0), even when empty.
  ~CF_OutFolderImpl() noexcept(false) override;
  CF_OutFolderImpl(const CF_OutFolderImpl&) = delete;
  CF_OutFolderImpl& operator=(const CF_OutFolderImpl&) = delete;
  // Folders are made and deleted by the hundred thousand: their blocks are
  // reused.
  RECYCLED_ALLOCATION(CF_OutFolderImpl)

  CF_OutFolder* CreateFolder(const char* name, int32_t index) override;
  void SetProperty(int32_t id, const Variant& value) override;
  CF_OutStream* CreateStream(const char* name, int32_t id, int32_t kind) override;
  CF_OutStream* RenameStream(const char* oldName, int32_t oldId, const char* newName,
                             int32_t newId) override;

 private:
  // The parent's child folder `number`.
  CF_OutFolderImpl(CF_OutStorage& writer, const CF_NameComposer& parent, uint32_t number);
  void WriteTable();

  CF_OutStorage* writer_;
  CF_FolderTable table_;
};
