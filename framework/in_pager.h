// A read cache with pages in front of a seekable source, for many small,
// scattered reads (the code-file reader).  Up to 32 pages of at most 2048
// bytes each hold aligned ranges of the source; a read that would leave a
// gap of 768 bytes or more before the next page goes straight to the source.
#pragma once

#include <cstdint>
#include <list>
#include <map>

#include "framework/streams.h"

class InPager : public InFile {
 public:
  // Starts at the source's current position and measures its size once
  // (leaving the source at its end).  With `own` set the pager deletes the
  // source when it is destroyed.
  InPager(InFile& source, bool own);
  InPager(const InPager&) = delete;
  InPager& operator=(const InPager&) = delete;
  ~InPager() override;

  // Never delivers bytes past the size measured at construction; fewer than
  // n only at that end or when the source ends early.
  uint32_t GetData(void* buffer, uint32_t n) override;
  // A target within [0, size] becomes the position; a target beyond is left
  // to the source (put back at the pager's position first), whose answer
  // becomes the position.
  uint32_t Seek(int32_t offset, SeekOrigin origin) override;

 private:
  static constexpr uint32_t kMaxPages = 32;
  static constexpr uint32_t kPageSize = 2048;

  // Holds the source bytes [first, limit).
  struct Page {
    uint32_t first = 0;
    uint32_t limit = 0;
    uint8_t data[kPageSize];
  };
  using PageList = std::list<Page>;  // most recently used first

  PageList::iterator FindPage(uint32_t pos);
  // Loads the page for pos; end() when the source did not give the range.
  PageList::iterator LoadPage(uint32_t pos);
  // Reads n bytes at `at` from the source; fewer only where it ends.
  uint32_t ReadSource(uint32_t at, void* buffer, uint32_t n);

  InFile* source_;
  bool own_;
  uint32_t position_;
  uint32_t size_;
  PageList pages_;
  std::map<uint32_t, PageList::iterator> by_first_;
};
