#include "framework/code_folder_out.h"

#include <cstring>
#include <vector>

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

CF_OutFolderImpl::~CF_OutFolderImpl() noexcept(false) {
  FinishInDestructor([this] { WriteTable(); });
}

CF_OutFolder* CF_OutFolderImpl::CreateFolder(const char* name, int32_t index) {
  const uint32_t number = table_.Add(Checked(name), index, static_cast<uint32_t>(table_.size()));
  return new CF_OutFolderImpl(*writer_, ChildPrefix(number));
}

void CF_OutFolderImpl::SetProperty(int32_t id, const Variant& value) { writer_->SetProperty(id, value); }

CF_OutStream* CF_OutFolderImpl::CreateStream(const char* name, int32_t id, int32_t kind) {
  return writer_->CreateStream(ComposedName(Checked(name)), id, kind);
}

CF_OutStream* CF_OutFolderImpl::RenameStream(const char* oldName, int32_t oldId, const char* newName,
                                             int32_t newId) {
  const std::string from = StreamName(oldName ? oldName : "");
  const std::string to = StreamName(Checked(newName));
  return writer_->RenameStream(from.c_str(), oldId, to.c_str(), newId);
}

void CF_OutFolderImpl::WriteTable() {
  // Entries: u32 name length + 1, the name and a NUL, i32 index, u32 number.
  std::vector<uint8_t> bytes;
  for (const CF_FolderTable::Child& child : table_.Children()) {
    const std::string& name = child.name;
    const size_t at = bytes.size();
    bytes.resize(at + 4 + name.size() + 1 + 8);
    uint8_t* p = bytes.data() + at;
    cf::Put32(p, static_cast<uint32_t>(name.size() + 1));
    std::memcpy(p + 4, name.data(), name.size());
    p += 4 + name.size();
    *p++ = 0;
    cf::Put32(p, static_cast<uint32_t>(child.index));
    cf::Put32(p + 4, child.number);
  }
  CF_OutStream* table = writer_->CreateStream(TableName().c_str(), 0, CF_DecideAtFirstFlush);
  try {
    table->PutData(bytes.data(), static_cast<uint32_t>(bytes.size()));
  } catch (...) {
    try {
      delete table;
    } catch (...) {
    }
    throw;
  }
  delete table;  // completes it in the code file
}
