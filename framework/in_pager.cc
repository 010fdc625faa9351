#include "framework/in_pager.h"

#include <algorithm>
#include <cstring>

namespace {

constexpr uint32_t kBlock = 1024;     // pages start on these boundaries
constexpr uint32_t kMinAhead = 256;   // a page reaches at least this far past the read
constexpr uint32_t kDirectGap = 768;  // gaps this long are read straight through

uint32_t BlockOf(uint32_t offset) { return offset & ~(kBlock - 1); }

}  // namespace

InPager::InPager(InFile& source, bool own)
    : source_(&source),
      own_(own),
      position_(source.Seek(0, SeekCurrent)),
      size_(source.Seek(0, SeekEnd)) {}

InPager::~InPager() {
  if (own_) delete source_;
}

uint32_t InPager::Seek(int32_t offset, SeekOrigin origin) {
  uint32_t target;
  switch (origin) {
    case SeekBegin:
      target = static_cast<uint32_t>(offset);
      break;
    case SeekCurrent:
      target = position_ + static_cast<uint32_t>(offset);
      break;
    case SeekEnd:
      target = size_ + static_cast<uint32_t>(offset);
      break;
    default:
      return position_;
  }
  if (target <= size_) {
    position_ = target;
  } else {
    source_->Seek(static_cast<int32_t>(position_), SeekBegin);
    position_ = source_->Seek(offset, origin);
  }
  return position_;
}

uint32_t InPager::GetData(void* buffer, uint32_t n) {
  if (position_ >= size_) return 0;
  n = std::min(n, size_ - position_);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < n) {
    PageList::iterator page = FindPage(position_);
    if (page == pages_.end()) {
      const uint32_t rest = n - done;
      const auto next = by_first_.upper_bound(position_);
      const uint32_t gap =
          next == by_first_.end() ? rest : std::min(rest, next->first - position_);
      if (gap < kDirectGap) page = LoadPage(position_);
      if (page == pages_.end()) {
        const uint32_t got = ReadSource(position_, out + done, gap);
        done += got;
        position_ += got;
        if (got < gap) break;
        continue;
      }
    }
    // Copy from the page and from pages that continue it without a gap.
    for (;;) {
      const uint32_t count = std::min(n - done, page->limit - position_);
      std::memcpy(out + done, page->data + (position_ - page->first), count);
      done += count;
      position_ += count;
      if (done == n) break;
      const auto follower = by_first_.find(position_);
      if (follower == by_first_.end()) break;
      page = follower->second;
    }
    pages_.splice(pages_.begin(), pages_, page);
  }
  return done;
}

InPager::PageList::iterator InPager::FindPage(uint32_t pos) {
  auto holds = [pos](const Page& page) { return page.first <= pos && pos < page.limit; };
  // The last two pages used catch runs of small reads without a map lookup.
  auto it = pages_.begin();
  for (int i = 0; i < 2 && it != pages_.end(); ++i, ++it) {
    if (holds(*it)) return it;
  }
  auto at = by_first_.upper_bound(pos);
  if (at != by_first_.begin() && holds(*std::prev(at)->second)) return std::prev(at)->second;
  return pages_.end();
}

InPager::PageList::iterator InPager::LoadPage(uint32_t pos) {
  const auto next_at = by_first_.upper_bound(pos);
  const Page* next = next_at == by_first_.end() ? nullptr : &*next_at->second;
  const Page* prev = next_at == by_first_.begin() ? nullptr : &*std::prev(next_at)->second;

  // The range: the 1 KiB block of pos, reaching at least kMinAhead past pos;
  // when the next page starts in the following block, the range ends where
  // it starts and begins one block earlier (never below 0).
  uint32_t first = BlockOf(pos);
  uint64_t limit = uint64_t{first} + kBlock;
  if (next && BlockOf(next->first) <= limit) {
    const uint32_t b = BlockOf(next->first);
    limit = next->first;
    first = b >= kBlock ? b - kBlock : 0;
  } else if (limit < uint64_t{pos} + kMinAhead) {
    limit = uint64_t{pos} + kMinAhead;
  }
  limit = std::min<uint64_t>(limit, size_);
  if (prev && BlockOf(prev->limit) == first) {
    first = prev->limit;  // no byte is read twice
  } else if (pos - first > kMinAhead && first != 0 && limit != size_) {
    first += kMinAhead;
  }

  // A page already keyed at `first` is replaced by the new one; otherwise
  // the least recently used page is reused once there are enough.
  PageList::iterator page;
  const auto same = by_first_.find(first);
  if (same != by_first_.end()) {
    page = same->second;
    by_first_.erase(same);
  } else if (pages_.size() >= kMaxPages) {
    page = std::prev(pages_.end());
    by_first_.erase(page->first);
  } else {
    page = pages_.emplace(pages_.end());
  }
  page->first = first;
  page->limit = static_cast<uint32_t>(limit);
  const uint32_t want = page->limit - first;
  if (ReadSource(first, page->data, want) < want) {
    pages_.erase(page);
    return pages_.end();
  }
  by_first_.emplace(first, page);
  return page;
}

uint32_t InPager::ReadSource(uint32_t at, void* buffer, uint32_t n) {
  source_->Seek(static_cast<int32_t>(at), SeekBegin);
  uint8_t* out = static_cast<uint8_t*>(buffer);
  uint32_t done = 0;
  while (done < n) {
    const uint32_t got = source_->GetData(out + done, n - done);
    if (got == 0) break;
    done += got;
  }
  return done;
}
