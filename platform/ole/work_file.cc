#include "platform/ole/work_file.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cstring>
#include <cerrno>
#include <iterator>
#include <new>
#include <vector>

#include "platform/win/replacing_file.h"

namespace ole {

Result WorkFile::CreateTemp(const std::string& target, std::string* path, int* fd) {
  const int raw = win::CreateFileBeside(target, O_RDWR, path);
  if (raw < 0) return CreateErrorResult(errno);
  // The target's mode; its group's bits only where the file got its group.
  struct stat st;
  struct stat own;
  if (::stat(target.c_str(), &st) == 0 && S_ISREG(st.st_mode) && ::fstat(raw, &own) == 0)
    ::fchmod(raw, st.st_mode & (own.st_gid == st.st_gid ? 07777 : 07707));
  *fd = raw;
  return S_OK;
}

Result WorkFile::Create(const std::string& target, std::shared_ptr<WorkFile>* work) {
  std::string path;
  int fd = -1;
  if (Result r = CreateTemp(target, &path, &fd); !Succeeded(r)) return r;
  try {
    work->reset(new WorkFile(target, path, fd));
  } catch (const std::bad_alloc&) {
    ::close(fd);
    ::unlink(path.c_str());
    return STG_E_INSUFFICIENTMEMORY;
  }
  return S_OK;
}

WorkFile::~WorkFile() {
  if (!published_) ::unlink(path_.c_str());
}

bool WorkFile::ReadAt(uint64_t offset, void* out, size_t n) const {
  if (!Succeeded(FlushPending())) return false;
  return ReadFully(fd_.get(), offset, out, n) == 0;
}

Result WorkFile::FlushPending() const {
  if (pending_size_ == 0) return S_OK;
  int error = WriteFully(fd_.get(), pending_at_, pending_.get(), pending_size_);
  if (error != 0) return WriteErrorResult(error);
  pending_size_ = 0;
  return S_OK;
}

Result WorkFile::Allocate(uint64_t n, std::vector<uint32_t>* sectors) {
  size_t before = sectors->size();
  while (n > 0 && !free_.empty()) {
    auto run = free_.begin();
    uint32_t first = run->first, length = run->second;
    uint32_t take = static_cast<uint32_t>(std::min<uint64_t>(n, length));
    for (uint32_t i = 0; i < take; ++i) sectors->push_back(first + i);
    free_.erase(run);
    if (take < length) free_.emplace(first + take, length - take);
    n -= take;
  }
  uint32_t first = 0;
  if (Result r = AllocateAtEnd(n, &first); !Succeeded(r)) {
    Free(sectors->data() + before, sectors->size() - before);
    sectors->resize(before);
    return r;
  }
  for (uint64_t i = 0; i < n; ++i) sectors->push_back(static_cast<uint32_t>(first + i));
  return S_OK;
}

Result WorkFile::AllocateAtEnd(uint64_t n, uint32_t* first) {
  if (n > kMaxSectors - count_) return STG_E_MEDIUMFULL;
  *first = count_;
  count_ += static_cast<uint32_t>(n);
  return S_OK;
}

void WorkFile::Free(const uint32_t* sectors, size_t n) noexcept {
  for (size_t i = 0; i < n;) {
    size_t j = i;
    while (j + 1 < n && sectors[j + 1] == sectors[j] + 1) ++j;
    try {
      FreeRun(sectors[i], static_cast<uint32_t>(j - i + 1));
    } catch (const std::bad_alloc&) {
      // Out of memory: these sectors are not used again in this session.
    }
    i = j + 1;
  }
}

void WorkFile::FreeRun(uint32_t first, uint32_t length) {
  auto next = free_.lower_bound(first);
  if (next != free_.end() && next->first == first + length) {  // joins the run after
    length += next->second;
    next = free_.erase(next);
  }
  if (next != free_.begin()) {
    auto before = std::prev(next);
    if (before->first + before->second == first) {  // joins the run before
      before->second += length;
      return;
    }
  }
  free_.emplace_hint(next, first, length);
}

void WorkFile::TrimFreeTail() {
  if (free_.empty()) return;
  auto last = std::prev(free_.end());
  if (uint64_t{last->first} + last->second == count_) {
    count_ = last->first;
    free_.erase(last);
  }
}

Result WorkFile::Truncate() {
  if (Result r = Fork(); !Succeeded(r)) return r;
  if (Result r = FlushPending(); !Succeeded(r)) return r;
  return ::ftruncate(fd_.get(), static_cast<off_t>(size())) == 0 ? S_OK : WriteErrorResult(errno);
}

Result WorkFile::WriteAt(uint64_t offset, const void* data, size_t n) {
  if (Result r = Fork(); !Succeeded(r)) return r;
  if (pending_size_ > 0 && offset == pending_at_ + pending_size_ && n <= kPendingSize - pending_size_) {
    std::memcpy(pending_.get() + pending_size_, data, n);
    pending_size_ += n;
    return S_OK;
  }
  if (Result r = FlushPending(); !Succeeded(r)) return r;
  if (n < kPendingSize) {
    if (!pending_) pending_.reset(new (std::nothrow) uint8_t[kPendingSize]);
    if (pending_) {
      std::memcpy(pending_.get(), data, n);
      pending_at_ = offset;
      pending_size_ = n;
      return S_OK;
    }
  }
  int error = WriteFully(fd_.get(), offset, data, n);
  return error == 0 ? S_OK : WriteErrorResult(error);
}

Result WorkFile::WriteZeros(uint64_t offset, uint64_t n) {
  // Static storage: no allocation here, whatever the heap looks like when a
  // commit comes.
  static const uint8_t zeros[size_t{1} << 16] = {};
  while (n > 0) {
    size_t take = static_cast<size_t>(std::min<uint64_t>(n, sizeof zeros));
    if (Result r = WriteAt(offset, zeros, take); !Succeeded(r)) return r;
    offset += take;
    n -= take;
  }
  return S_OK;
}

Result WorkFile::Fork() {
  if (!published_) return S_OK;
  std::string path;
  int raw = -1;
  if (Result r = CreateTemp(target_, &path, &raw); !Succeeded(r)) return r;
  Fd fresh(raw);
  // Copy the published bytes from our own descriptor: the path may name
  // another file by now.
  struct stat st;
  if (::fstat(fd_.get(), &st) != 0) {
    ::unlink(path.c_str());
    return STG_E_WRITEFAULT;
  }
  uint64_t total = static_cast<uint64_t>(st.st_size);
  std::vector<uint8_t> buffer;
  try {
    buffer.resize(std::min<uint64_t>(total, uint64_t{1} << 20));
  } catch (const std::bad_alloc&) {
    ::unlink(path.c_str());
    return STG_E_INSUFFICIENTMEMORY;
  }
  for (uint64_t at = 0; at < total;) {
    size_t take = static_cast<size_t>(std::min<uint64_t>(total - at, buffer.size()));
    int error = ReadFully(fd_.get(), at, buffer.data(), take);
    if (error == 0) error = WriteFully(fresh.get(), at, buffer.data(), take);
    if (error != 0) {
      ::unlink(path.c_str());
      return WriteErrorResult(error);
    }
    at += take;
  }
  fd_.Reset(fresh.Release());
  path_ = std::move(path);
  published_ = false;
  Free(commit_sectors_.data(), commit_sectors_.size());
  commit_sectors_.clear();
  return S_OK;
}

void WorkFile::Restore(const Mark& mark) {
  // Gathered writes go out first where they can; those that cannot stay
  // owed.
  FlushPending();
  count_ = mark.count;
  free_ = mark.free;
  if (::ftruncate(fd_.get(), static_cast<off_t>(size())) != 0) {
    // The file keeps some bytes past its last sector; readers ignore them.
  }
}

Result WorkFile::Publish(std::vector<uint32_t> commit_sectors) {
  if (Result r = FlushPending(); !Succeeded(r)) return r;
  // When a regular file is there, the two names are swapped in one step and
  // the old file removed: readers always find one complete file.  (A plain
  // rename over it would also do; on ext4 it starts writing the whole file
  // back to the disk at once, which costs as much as writing it.)
  struct stat st;
  bool swapped = false;
  if (::lstat(target_.c_str(), &st) == 0 && S_ISREG(st.st_mode)) {
    if (::renameat2(AT_FDCWD, path_.c_str(), AT_FDCWD, target_.c_str(), RENAME_EXCHANGE) == 0) {
      swapped = true;
      ::unlink(path_.c_str());
    }
  }
  if (!swapped && ::rename(path_.c_str(), target_.c_str()) != 0) {
    int error = errno;
    if (error == EISDIR || error == EACCES || error == EPERM || error == EROFS) return STG_E_ACCESSDENIED;
    return WriteErrorResult(error);
  }
  published_ = true;
  commit_sectors_ = std::move(commit_sectors);
  return S_OK;
}

}  // namespace ole
