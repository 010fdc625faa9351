#include "platform/ole/docfile.h"

#include <new>

#include "platform/ole/byte_source.h"
#include "platform/ole/reader.h"
#include "platform/ole/storage_object.h"
#include "platform/ole/writer.h"

namespace ole {

Docfile::~Docfile() {
  if (dirty_) Save();
}

Result Docfile::Save(bool force) {
  if (!writable() || (!dirty_ && !force)) return S_OK;
  Result r = CommitDocfile(*root_, work_);
  if (Succeeded(r)) dirty_ = false;
  return r;
}

namespace {

Result OpenSource(const std::shared_ptr<const ByteSource>& source, const std::string& path, Storage** root) {
  std::shared_ptr<Entry> tree;
  Result r = ParseDocfile(source, &tree);
  if (!Succeeded(r)) return r;
  auto file = std::make_shared<Docfile>(nullptr, tree);
  *root = new StorageObject(file, tree, kRootReadMode, Utf8ToUtf16(path));
  return S_OK;
}

}  // namespace

Result CreateDocfile(const char* path, uint32_t mode, Storage** root) {
  if (root == nullptr) return STG_E_INVALIDPOINTER;
  *root = nullptr;
  if (path == nullptr) return STG_E_INVALIDPOINTER;
  if (mode != kRootCreateMode) return STG_E_INVALIDFLAG;
  try {
    std::shared_ptr<WorkFile> work;
    if (Result r = WorkFile::Create(path, &work); !Succeeded(r)) return r;
    auto tree = std::make_shared<Entry>(u"Root Entry", STGTY_ROOT);
    auto file = std::make_shared<Docfile>(work, tree);
    // Written at once, so the file exists (replacing any old one) from now on.
    if (Result r = file->Save(true); !Succeeded(r)) return r;
    *root = new StorageObject(file, tree, mode, Utf8ToUtf16(path));
    return S_OK;
  } catch (const std::bad_alloc&) {
    return STG_E_INSUFFICIENTMEMORY;
  }
}

Result OpenDocfile(const char* path, uint32_t mode, Storage** root) {
  if (root == nullptr) return STG_E_INVALIDPOINTER;
  *root = nullptr;
  if (path == nullptr) return STG_E_INVALIDPOINTER;
  if (mode != kRootReadMode) return STG_E_INVALIDFLAG;
  try {
    std::shared_ptr<FileSource> source;
    if (Result r = FileSource::Open(path, &source); !Succeeded(r)) return r;
    return OpenSource(source, path, root);
  } catch (const std::bad_alloc&) {
    return STG_E_INSUFFICIENTMEMORY;
  }
}

Result OpenDocfileFromBytes(const void* data, size_t size, Storage** root) {
  if (root == nullptr) return STG_E_INVALIDPOINTER;
  *root = nullptr;
  if (data == nullptr && size > 0) return STG_E_INVALIDPOINTER;
  try {
    return OpenSource(std::make_shared<MemorySource>(data, size), std::string(), root);
  } catch (const std::bad_alloc&) {
    return STG_E_INSUFFICIENTMEMORY;
  }
}

}  // namespace ole
