// Compressed streams over zlib: LZ_OutStream deflates what is written to it
// into another OutStream, LZ_InStream inflates from another InStream.  Both
// speak the zlib format (RFC 1950: header, deflate data, Adler-32 trailer).
//
// zlib failures are raised with Error(): 44001 out of memory, 44002 version
// mismatch, 44003 bad parameters or state, 44004 no progress possible; when
// inflating also 44005 (a preset dictionary is needed) and 44006 (corrupt
// data).
#pragma once

#include <zlib.h>

#include <cstdint>

#include "framework/streams.h"

// Values are zlib's; any value from -1 to 9 may be passed.
enum LZ_CompressionLevel : int {
  LZ_DefaultCompression = -1,
  LZ_NoCompression = 0,
  LZ_BestSpeed = 1,
  LZ_BestCompression = 9,
};

// Base-2 logarithm of the window, 8 to 15.
enum LZ_WindowBits : int {
  LZ_MinWindowBits = 8,
  LZ_SmallWindowBits = 10,
  LZ_MaxWindowBits = 15,
};

// zlib's memory level, 1 to 9.
enum LZ_MemoryLevel : int {
  LZ_MinMemoryLevel = 1,
  LZ_SmallMemoryLevel = 3,
  LZ_DefaultMemoryLevel = 8,
  LZ_MaxMemoryLevel = 9,
};

class LZ_OutStream : public OutStream {
 public:
  // A new deflating stream over target (not owned), owned by the caller.
  // Deleting it writes the rest of the data and the trailer: the output is
  // complete only then.  Delete it explicitly or hold LZ_OutStream_Impl by
  // value: its destructor may raise, which std::unique_ptr does not allow.
  static LZ_OutStream* New(OutStream& target, LZ_CompressionLevel level,
                           LZ_WindowBits windowBits, LZ_MemoryLevel memLevel);

  // Changes the level for the data written from now on.
  virtual void SetLevel(LZ_CompressionLevel level) = 0;
  virtual LZ_CompressionLevel Level() const = 0;
};

class LZ_OutStream_Impl : public LZ_OutStream {
 public:
  // Raises per the failure table when zlib refuses the parameters.
  LZ_OutStream_Impl(OutStream& target, LZ_CompressionLevel level, LZ_WindowBits windowBits,
                    LZ_MemoryLevel memLevel);
  LZ_OutStream_Impl(const LZ_OutStream_Impl&) = delete;
  LZ_OutStream_Impl& operator=(const LZ_OutStream_Impl&) = delete;
  // Finishes the stream unless an earlier zlib failure left it unusable, and
  // always releases zlib's state.  A failure is raised only when no other
  // exception is unwinding.
  ~LZ_OutStream_Impl() noexcept(false) override;

  // Deflates the bytes, handing the output to the target 1024 bytes at most
  // at a time.
  void PutData(const void* data, uint32_t n) override;
  void SetLevel(LZ_CompressionLevel level) override;
  LZ_CompressionLevel Level() const override { return level_; }

 private:
  static constexpr uint32_t kOutSize = 1024;

  // Raises the failure of a zlib result; the stream is unusable after one.
  void Check(int result);
  // Hands what zlib put in the output area to the target.
  void Emit();
  void Finish();

  OutStream& target_;
  LZ_CompressionLevel level_;
  z_stream zs_{};
  uint8_t out_[kOutSize];
  bool usable_ = false;
};

class LZ_InStream : public InStream {
 public:
  // A new inflating stream over source (not owned), owned by the caller.
  static LZ_InStream* New(InStream& source, LZ_WindowBits windowBits);
};

class LZ_InStream_Impl : public LZ_InStream {
 public:
  // Raises per the failure table when zlib refuses the window.
  LZ_InStream_Impl(InStream& source, LZ_WindowBits windowBits);
  LZ_InStream_Impl(const LZ_InStream_Impl&) = delete;
  LZ_InStream_Impl& operator=(const LZ_InStream_Impl&) = delete;
  // Releases zlib's state; raises nothing.
  ~LZ_InStream_Impl() override;

  // Inflates into buffer, reading the source 512 bytes at a time.  Returns n
  // unless the compressed stream ends (then 0 on every later call) or the
  // source ends before it does.  Corrupt data raises 44006.
  uint32_t GetData(void* buffer, uint32_t n) override;
  // Whether the compressed stream's end (with its checksum, which zlib
  // checks there) was reached: false after a source that ended early.
  bool Ended() const { return ended_; }

 private:
  static constexpr uint32_t kInSize = 512;

  InStream& source_;
  bool ended_ = false;
  z_stream zs_{};
  uint8_t in_[kInSize];
};
