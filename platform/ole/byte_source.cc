#include "platform/ole/byte_source.h"

#include <fcntl.h>
#include <sys/stat.h>

#include <cerrno>
#include <cstring>

namespace ole {

MemorySource::MemorySource(const void* data, size_t size)
    : bytes_(static_cast<const uint8_t*>(data), static_cast<const uint8_t*>(data) + size) {}

bool MemorySource::ReadAt(uint64_t offset, void* out, size_t n) const {
  if (offset > bytes_.size() || n > bytes_.size() - offset) return false;
  if (n > 0) std::memcpy(out, bytes_.data() + offset, n);
  return true;
}

Result FileSource::Open(const std::string& path, std::shared_ptr<FileSource>* source) {
  // Non-blocking, so opening a FIFO cannot wait for a writer.
  Fd fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
  if (fd.get() < 0) return OpenErrorResult(errno);
  struct stat st;
  if (::fstat(fd.get(), &st) != 0) return STG_E_READFAULT;
  if (S_ISDIR(st.st_mode)) return STG_E_ACCESSDENIED;
  if (!S_ISREG(st.st_mode)) return STG_E_FILEALREADYEXISTS;
  source->reset(new FileSource(fd.Release(), static_cast<uint64_t>(st.st_size)));
  return S_OK;
}

bool FileSource::ReadAt(uint64_t offset, void* out, size_t n) const {
  return ReadFully(fd_.get(), offset, out, n) == 0;
}

}  // namespace ole
