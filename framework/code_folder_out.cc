#include "framework/code_folder_out.h"

#include <cstring>

#include "framework/cf_format.h"
#include "framework/failures.h"
#include "framework/finish_in_destructor.h"

namespace {

const char* Checked(const char* name) {
  if (name == nullptr) return "";
  if (!CF_NameComposer::IsPlainName(name)) Error(cf::kFailBadName);
  return name;
}

}  // namespace

CF_OutFolder* CreateCodeFolder(CF_OutStorage& writer) { return new CF_OutFolderImpl(writer, std::string()); }

CF_OutFolderImpl::CF_OutFolderImpl(CF_OutStorage& writer, std::string prefix)
    : CF_NameComposer(std::move(prefix)), writer_(&writer) {}

CF_OutFolderImpl::CF_OutFolderImpl(CF_OutStorage& writer, const CF_NameComposer& parent, uint32_t number)
    : CF_NameComposer(parent, number), writer_(&writer) {}

CF_OutFolderImpl::~CF_OutFolderImpl() noexcept(false) {
  FinishInDestructor([this] { WriteTable(); });
}

CF_OutFolder* CF_OutFolderImpl::CreateFolder(const char* name, int32_t index) {
  // Room for a few children at once rather than growing one by one.
  if (table_.size() == 0) table_.Reserve(8);
  const uint32_t number = table_.Add(Checked(name), index, static_cast<uint32_t>(table_.size()));
  return new CF_OutFolderImpl(*writer_, *this, number);
}

void CF_OutFolderImpl::SetProperty(int32_t id, const Variant& value) { writer_->SetProperty(id, value); }

CF_OutStream* CF_OutFolderImpl::CreateStream(const char* name, int32_t id, int32_t kind) {
  const char* composed = ComposedPlainName(name ? name : "");
  if (composed == nullptr) Error(cf::kFailBadName);
  return writer_->CreateStream(composed, id, kind);
}

CF_OutStream* CF_OutFolderImpl::RenameStream(const char* oldName, int32_t oldId, const char* newName,
                                             int32_t newId) {
  const std::string from = StreamName(oldName ? oldName : "");
  const std::string to = StreamName(Checked(newName));
  return writer_->RenameStream(from.c_str(), oldId, to.c_str(), newId);
}

void CF_OutFolderImpl::WriteTable() {
  // Entries: u32 name length + 1, the name and a NUL, i32 index, u32 number.
  // They are gathered here and handed to the stream a buffer at a time.
  CF_OutStream* table = writer_->CreateStream(ComposedTableName(), 0, CF_DecideAtFirstFlush);
  try {
    uint8_t buffer[1024];
    uint32_t fill = 0;
    const auto put = [&](const void* data, uint32_t n) {
      if (fill + n > sizeof buffer) {
        table->PutData(buffer, fill);
        fill = 0;
      }
      if (n > sizeof buffer) {
        table->PutData(data, n);
      } else {
        std::memcpy(buffer + fill, data, n);
        fill += n;
      }
    };
    for (const CF_FolderTable::Child& child : table_.Children()) {
      uint8_t word[4];
      cf::Put32(word, static_cast<uint32_t>(child.name.size() + 1));
      put(word, 4);
      put(child.name.c_str(), static_cast<uint32_t>(child.name.size() + 1));
      uint8_t tail[8];
      cf::Put32(tail, static_cast<uint32_t>(child.index));
      cf::Put32(tail + 4, child.number);
      put(tail, 8);
    }
    if (fill > 0) table->PutData(buffer, fill);
  } catch (...) {
    try {
      delete table;
    } catch (...) {
    }
    throw;
  }
  delete table;  // completes it in the code file
}
