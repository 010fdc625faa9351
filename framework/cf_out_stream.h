// The writing side of one logical stream of a code file.
//
// Bytes are staged 1024 at a time; each full staging buffer (and the rest at
// the close) is stored as it is or passed through a deflater, and what comes
// out is cut into segments of 4096 bytes that are appended to the code file
// as they fill.  A stream stored from the start skips the staging.  Closing
// the stream emits its last segment (even when empty) and its segment table,
// and reports both to the writer.
#pragma once

#include <cstdint>

#include "framework/cf_format.h"
#include "framework/code_file.h"
#include "framework/recycled_blocks.h"

class CF_OLEOutStream;
class LZ_OutStream;

// What a stream needs of the code file it belongs to.
class CF_Writer {
 public:
  virtual ~CF_Writer() noexcept(false) {}
  // The stream is complete: its table lies at `entry.tableOffset` and its
  // kind is final; the directory entry (number, id) takes them.
  virtual void StreamClosed(CF_OLEOutStream* stream, const CF_DirectoryEntry& entry) = 0;
  // The stream failed while closing and forgets the writer; nothing of it
  // is recorded.
  virtual void StreamDropped(CF_OLEOutStream* stream) = 0;
  // Returns the current end offset of the code file, then appends n bytes.
  virtual uint32_t WriteBlock(const void* data, uint32_t n) = 0;
};

class CF_OLEOutStream : public CF_OutStream {
 public:
  // The entry gives number, id and the requested kind (already forced to
  // stored for a writer without compression).
  CF_OLEOutStream(CF_Writer& writer, const CF_DirectoryEntry& entry);
  // Completes the stream unless the writer did already.
  ~CF_OLEOutStream() noexcept(false) override;
  CF_OLEOutStream(const CF_OLEOutStream&) = delete;
  CF_OLEOutStream& operator=(const CF_OLEOutStream&) = delete;
  // Its 5 KiB of buffers are reused from stream to stream.
  RECYCLED_ALLOCATION(CF_OLEOutStream)

  // Raises 34001 once the stream is complete or its code file is gone.
  void PutData(const void* data, uint32_t n) override;
  void SetIdentifier(uint32_t nameNumber, int32_t id) override;

  // Writes what remains, the last segment and the table, and reports to the
  // writer; the stream then takes no more bytes.  Does nothing the second
  // time.
  void Finish();
  // Forgets the writer without writing anything more (its code file is
  // being torn down after a failure).
  void Detach();

  const CF_DirectoryEntry& Entry() const { return entry_; }
  // Where the writer keeps this stream among its open ones; the writer's to
  // set and read.
  uint32_t Ticket() const { return ticket_; }
  void SetTicket(uint32_t ticket) { ticket_ = ticket; }

  // Segments go to the code file through this; it also keeps the list.
  class OutImpl : public OutStream {
   public:
    explicit OutImpl(CF_Writer& writer) : writer_(&writer) {}
    void PutData(const void* data, uint32_t n) override;
    // Emits the last segment and the table; returns the table's offset.
    uint32_t Close();
    // Drops every later byte (the stream is abandoned).
    void Abandon() { writer_ = nullptr; }

   private:
    void EmitSegment();

    CF_Writer* writer_;
    cf::SegmentList segments_;
    uint32_t fill_ = 0;
    uint8_t buffer_[cf::kSegmentSize];
  };

 private:
  void FlushStaging();
  void DeleteDeflater();

  CF_DirectoryEntry entry_;
  uint32_t ticket_ = 0;
  CF_Writer* writer_;  // null once complete or detached
  OutImpl impl_;
  LZ_OutStream* deflater_ = nullptr;  // owned; made on first compressed flush
  uint32_t fill_ = 0;
  uint8_t staging_[cf::kStagingSize];
};
