#include "framework/code_folder_in.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "framework/cf_format.h"
#include "framework/failures.h"

namespace {

// Passes on the names that begin with the prefix and a separator and hold no
// further separator, without that beginning.
class FolderFilter : public CF_EnumerableInStorage::IdentifierReceiver {
 public:
  FolderFilter(std::string prefix, IdentifierReceiver& receiver) : prefix_(std::move(prefix)), receiver_(receiver) {}
  bool Receive(const char* name, int32_t id) override {
    if (std::strncmp(name, prefix_.data(), prefix_.size()) != 0 || name[prefix_.size()] != CF_NameComposer::kSeparator) {
      return true;
    }
    const char* rest = name + prefix_.size() + 1;
    if (!CF_NameComposer::IsPlainName(rest)) return true;
    return receiver_.Receive(rest, id);
  }

 private:
  const std::string prefix_;
  IdentifierReceiver& receiver_;
};

class UnfoldedFilter : public CF_EnumerableInStorage::IdentifierReceiver {
 public:
  explicit UnfoldedFilter(IdentifierReceiver& receiver) : receiver_(receiver) {}
  bool Receive(const char* name, int32_t id) override {
    return !CF_NameComposer::IsPlainName(name) || receiver_.Receive(name, id);
  }

 private:
  IdentifierReceiver& receiver_;
};

}  // namespace

CF_InFolder* OpenCodeFolder(CF_InStorage& reader) { return new CF_InFolderImpl(reader, std::string()); }

CF_EnumerableInFolder* OpenEnumerableCodeFolder(CF_EnumerableInStorage& reader) {
  return new CF_InFolderImpl(reader, std::string());
}

CF_InFolderImpl::CF_InFolderImpl(CF_InStorage& reader, std::string prefix, const char* expected)
    : CF_NameComposer(std::move(prefix)), reader_(&reader) {
  if (expected != nullptr) Expect(expected);
  ReadTable();
}

void CF_InFolderImpl::ReadTable() {
  std::unique_ptr<CF_InStream> table(reader_->OpenStream(ComposedTableName(), 0));
  if (!table) Error(kFailCodeFileDamaged);
  // The whole table at once (it is no longer than the bytes really there;
  // most fit the first piece), then its entries.
  uint8_t first[4096];
  std::vector<uint8_t> more;
  uint32_t size = cf::GetAll(*table, first, sizeof first);
  if (size == sizeof first) {
    more.assign(first, first + size);
    for (uint32_t got = 1; got > 0;) {
      more.resize(size + 4096);
      got = table->GetData(more.data() + size, 4096);
      size += got;
      more.resize(size);
    }
  }
  const uint8_t* p = more.empty() ? first : more.data();
  const uint8_t* const end = p + size;
  table_.Reserve(size / 13);  // an entry takes at least 13 bytes
  while (p != end) {
    if (end - p < 4) Error(kFailCodeFileDamaged);
    const uint32_t length = cf::Get32(p);
    p += 4;
    if (length == 0 || static_cast<size_t>(end - p) < uint64_t{length} + 8) Error(kFailCodeFileDamaged);
    // The last byte counts as the NUL; the name ends at the first one.
    const char* name = reinterpret_cast<const char*>(p);
    const size_t nameLength = std::find(p, p + length - 1, 0) - p;
    p += length;
    table_.Append(std::string(name, nameLength), static_cast<int32_t>(cf::Get32(p)), cf::Get32(p + 4));
    p += 8;
  }
  if (!table_.Seal()) Error(kFailCodeFileDamaged);  // the same (name, index) twice
}

CF_InFolderImpl* CF_InFolderImpl::OpenFolder(const char* name, int32_t index) {
  return OpenFolderExpecting(name, index, nullptr);
}

CF_InFolderImpl* CF_InFolderImpl::OpenFolderExpecting(const char* name, int32_t index, const char* expected) {
  const uint32_t* number = table_.Find(name ? name : "", index);
  if (number == nullptr) return nullptr;
  return new CF_InFolderImpl(*reader_, ChildPrefix(*number), expected);
}

Variant CF_InFolderImpl::GetProperty(int32_t id) { return reader_->GetProperty(id); }

CF_InStream* CF_InFolderImpl::OpenStream(const char* name, int32_t id) {
  return reader_->OpenStream(ComposedName(name ? name : ""), id);
}

void CF_InFolderImpl::Expect(const char* name) {
  if (name != nullptr) reader_->Expect(ComposedName(name));
}

bool CF_InFolderImpl::EnumerateStreams(IdentifierReceiver& receiver) {
  auto* enumerable = dynamic_cast<CF_EnumerableInStorage*>(reader_);
  if (enumerable == nullptr) return false;
  FolderFilter filter(Prefix(), receiver);
  return enumerable->EnumerateStreams(filter);
}

CF_EnumerableInStorage* CF_InFolderImpl::UnfoldedStorage() {
  auto* enumerable = dynamic_cast<CF_EnumerableInStorage*>(reader_);
  return enumerable != nullptr ? new CF_UnfoldedStorage(*enumerable) : nullptr;
}

bool CF_InFolderImpl::EnumerateFolders(IdentifierReceiver& receiver) {
  for (const CF_FolderTable::Child& child : table_.Children()) {
    if (!receiver.Receive(child.name.c_str(), child.index)) return false;
  }
  return true;
}

CF_InStream* CF_UnfoldedStorage::OpenStream(const char* name, int32_t id) {
  if (name != nullptr && !CF_NameComposer::IsPlainName(name)) return nullptr;
  return reader_->OpenStream(name, id);
}

bool CF_UnfoldedStorage::EnumerateStreams(IdentifierReceiver& receiver) {
  UnfoldedFilter filter(receiver);
  return reader_->EnumerateStreams(filter);
}
