#include "framework/code_folder_in.h"

#include <cstring>
#include <memory>

#include "framework/cf_format.h"
#include "framework/failures.h"

namespace {

// Reads exactly n bytes of a table; true when none at all arrived (the end),
// 34001 when only some did.
bool ReadOrEnd(InStream& in, void* buffer, uint32_t n) {
  uint8_t* p = static_cast<uint8_t*>(buffer);
  uint32_t got = 0;
  while (got < n) {
    const uint32_t step = in.GetData(p + got, n - got);
    if (step == 0) break;
    got += step;
  }
  if (got == 0 && n > 0) return true;
  if (got < n) Error(kFailCodeFileDamaged);
  return false;
}

void ReadAll(InStream& in, void* buffer, uint32_t n) {
  if (n > 0 && ReadOrEnd(in, buffer, n)) Error(kFailCodeFileDamaged);
}

// Passes on the names that begin with the prefix and a separator and hold no
// further separator, without that beginning.
class FolderFilter : public CF_EnumerableInStorage::IdentifierReceiver {
 public:
  FolderFilter(const std::string& prefix, IdentifierReceiver& receiver) : prefix_(prefix), receiver_(receiver) {}
  bool Receive(const char* name, int32_t id) override {
    if (std::strncmp(name, prefix_.data(), prefix_.size()) != 0 || name[prefix_.size()] != CF_NameComposer::kSeparator) {
      return true;
    }
    const char* rest = name + prefix_.size() + 1;
    if (!CF_NameComposer::IsPlainName(rest)) return true;
    return receiver_.Receive(rest, id);
  }

 private:
  const std::string& prefix_;
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

CF_InFolderImpl::CF_InFolderImpl(CF_InStorage& reader, std::string prefix)
    : CF_NameComposer(std::move(prefix)), reader_(&reader) {
  ReadTable();
}

void CF_InFolderImpl::ReadTable() {
  std::unique_ptr<CF_InStream> table(reader_->OpenStream(TableName().c_str(), 0));
  if (!table) Error(kFailCodeFileDamaged);
  std::string name;
  for (;;) {
    uint8_t word[4];
    if (ReadOrEnd(*table, word, 4)) break;
    const uint32_t length = cf::Get32(word);
    if (length == 0) Error(kFailCodeFileDamaged);
    // The name arrives in pieces, so a damaged length costs no more memory
    // than the bytes that are really there.
    name.clear();
    char piece[256];
    for (uint32_t left = length; left > 0;) {
      const uint32_t n = left < sizeof piece ? left : static_cast<uint32_t>(sizeof piece);
      ReadAll(*table, piece, n);
      name.append(piece, n);
      left -= n;
    }
    name.resize(length - 1);  // the last byte counts as the NUL
    name.resize(std::strlen(name.c_str()));
    uint8_t tail[8];
    ReadAll(*table, tail, 8);
    CF_FolderKey key{name, static_cast<int32_t>(cf::Get32(tail))};
    if (!table_.emplace(std::move(key), cf::Get32(tail + 4)).second) Error(kFailCodeFileDamaged);
  }
}

CF_InFolderImpl* CF_InFolderImpl::OpenFolder(const char* name, int32_t index) {
  auto child = table_.find(CF_FolderKey{name ? name : "", index});
  if (child == table_.end()) return nullptr;
  return new CF_InFolderImpl(*reader_, ChildPrefix(child->second));
}

Variant CF_InFolderImpl::GetProperty(int32_t id) { return reader_->GetProperty(id); }

CF_InStream* CF_InFolderImpl::OpenStream(const char* name, int32_t id) {
  return reader_->OpenStream(StreamName(name ? name : "").c_str(), id);
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
  for (const auto& child : table_) {
    if (!receiver.Receive(child.first.name.c_str(), child.first.index)) return false;
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
