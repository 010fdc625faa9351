// The reading side of one logical stream of a code file: its segments, read
// from first to last, deliver the stored bytes, or the deflate stream that a
// compressed stream inflates from.
#pragma once

#include <cstdint>

#include "framework/cf_format.h"
#include "framework/code_file.h"
#include "framework/recycled_blocks.h"

class CF_OLEInStream;
class LZ_InStream;

// What a stream needs of the code file it reads from.
class CF_Reader : public InStream {
 public:
  // Reads n bytes at the position (kNoOffset: where the last read ended);
  // raises 34001 when fewer arrive.
  virtual uint32_t ReadAt(void* buffer, uint32_t n, uint32_t position) = 0;
  // The same, but fewer bytes where the code file ends are no failure;
  // returns how many arrived.
  virtual uint32_t ReadUpTo(void* buffer, uint32_t n, uint32_t position) = 0;
  // The stream is being deleted and forgets the reader.
  virtual void StreamClosed(CF_OLEInStream* stream) = 0;
};

class CF_OLEInStream : public CF_InStream {
 public:
  // Reads the segment table of the entry (34001 when it is cut short).
  CF_OLEInStream(CF_Reader& reader, const CF_DirectoryEntry& entry);
  ~CF_OLEInStream() override;
  CF_OLEInStream(const CF_OLEInStream&) = delete;
  CF_OLEInStream& operator=(const CF_OLEInStream&) = delete;
  // Made and deleted once per stream read: the blocks are reused.
  RECYCLED_ALLOCATION(CF_OLEInStream)

  // Raises 34001 once the reader is gone.
  uint32_t GetData(void* buffer, uint32_t n) override;
  // Forgets the reader; later reads fail.
  void Detach() { impl_.Detach(); }

  const CF_DirectoryEntry& Entry() const { return entry_; }
  // Where the reader keeps this stream among its open ones; the reader's to
  // set and read.
  uint32_t Ticket() const { return ticket_; }
  void SetTicket(uint32_t ticket) { ticket_ = ticket; }

  class InImpl : public InStream {
   public:
    InImpl(CF_Reader& reader, const CF_DirectoryEntry& entry);
    uint32_t GetData(void* buffer, uint32_t n) override;
    void Detach() { reader_ = nullptr; }
    CF_Reader* Reader() const { return reader_; }

   private:
    CF_Reader* reader_;
    cf::SegmentList segments_;  // last segment first: read from the back
    size_t left_ = 0;           // segments not yet read through
    uint32_t consumed_ = 0;     // bytes read from segment left_ - 1
  };

 private:
  CF_DirectoryEntry entry_;
  uint32_t ticket_ = 0;
  InImpl impl_;
  LZ_InStream* inflater_ = nullptr;  // owned; made on the first read of a compressed stream
};
