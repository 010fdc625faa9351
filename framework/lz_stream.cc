#include "framework/lz_stream.h"

#include "framework/failures.h"
#include "framework/finish_in_destructor.h"

namespace {

// The failure id of a zlib result, or 0 when the result passes.  A preset
// dictionary request and corrupt data only occur when inflating.
int FailureOf(int result, bool inflating) {
  switch (result) {
    case Z_MEM_ERROR:
      return 44001;
    case Z_VERSION_ERROR:
      return 44002;
    case Z_STREAM_ERROR:
      return 44003;
    case Z_BUF_ERROR:
      return 44004;
    case Z_NEED_DICT:
      return inflating ? 44005 : 0;
    case Z_DATA_ERROR:
      return inflating ? 44006 : 0;
    default:
      return 0;
  }
}

void RaiseFailure(int result, bool inflating) {
  if (const int id = FailureOf(result, inflating)) Error(id);
}

// zlib reads other window values as raw deflate or gzip; only the zlib
// format is spoken here, so they are refused as bad parameters.
void CheckWindow(int windowBits) {
  if (windowBits < 8 || windowBits > 15) RaiseFailure(Z_STREAM_ERROR, false);
}

}  // namespace

LZ_OutStream* LZ_OutStream::New(OutStream& target, LZ_CompressionLevel level,
                                LZ_WindowBits windowBits, LZ_MemoryLevel memLevel) {
  return new LZ_OutStream_Impl(target, level, windowBits, memLevel);
}

LZ_OutStream_Impl::LZ_OutStream_Impl(OutStream& target, LZ_CompressionLevel level,
                                     LZ_WindowBits windowBits, LZ_MemoryLevel memLevel)
    : target_(target), level_(level) {
  CheckWindow(windowBits);
  // On failure zlib keeps no state, so there is nothing to release.
  RaiseFailure(deflateInit2(&zs_, level, Z_DEFLATED, windowBits, memLevel, Z_DEFAULT_STRATEGY),
               false);
  usable_ = true;
}

LZ_OutStream_Impl::~LZ_OutStream_Impl() noexcept(false) {
  // zlib's state goes on every path out of here.
  struct End {
    z_stream* zs;
    ~End() { deflateEnd(zs); }
  } end{&zs_};
  if (usable_) FinishInDestructor([this] { Finish(); });
}

void LZ_OutStream_Impl::Check(int result) {
  usable_ = false;
  RaiseFailure(result, false);
  usable_ = true;
}

void LZ_OutStream_Impl::Emit() {
  const uint32_t produced = kOutSize - zs_.avail_out;
  if (produced > 0) target_.PutData(out_, produced);
}

void LZ_OutStream_Impl::PutData(const void* data, uint32_t n) {
  if (n == 0) return;
  zs_.next_in = static_cast<Bytef*>(const_cast<void*>(data));
  zs_.avail_in = n;
  do {
    zs_.next_out = out_;
    zs_.avail_out = kOutSize;
    const int result = deflate(&zs_, Z_NO_FLUSH);
    // After an area that came back exactly full with all input taken, zlib
    // may have nothing more to give yet: that is the end of this write.
    if (result == Z_BUF_ERROR && zs_.avail_in == 0) break;
    Check(result);
    Emit();
  } while (zs_.avail_out == 0 || zs_.avail_in > 0);
}

void LZ_OutStream_Impl::SetLevel(LZ_CompressionLevel level) {
  // zlib compresses what it holds with the old level before switching, and
  // refuses (Z_BUF_ERROR) while that does not fit the area: hand each full
  // area on and ask again.
  int result;
  do {
    zs_.next_out = out_;
    zs_.avail_out = kOutSize;
    result = deflateParams(&zs_, level, Z_DEFAULT_STRATEGY);
    if (!(result == Z_BUF_ERROR && zs_.avail_out == 0)) Check(result);
    Emit();
  } while (result == Z_BUF_ERROR);
  level_ = level;
}

void LZ_OutStream_Impl::Finish() {
  int result;
  do {
    zs_.next_out = out_;
    zs_.avail_out = kOutSize;
    result = deflate(&zs_, Z_FINISH);
    Check(result);
    Emit();
  } while (result != Z_STREAM_END);
}

LZ_InStream* LZ_InStream::New(InStream& source, LZ_WindowBits windowBits) {
  return new LZ_InStream_Impl(source, windowBits);
}

LZ_InStream_Impl::LZ_InStream_Impl(InStream& source, LZ_WindowBits windowBits)
    : source_(source) {
  CheckWindow(windowBits);
  // zlib writes a window of 8 as 9 in the stream header; reading it needs 9.
  const int bits = windowBits == 8 ? 9 : windowBits;
  RaiseFailure(inflateInit2(&zs_, bits), true);
}

LZ_InStream_Impl::~LZ_InStream_Impl() { inflateEnd(&zs_); }

uint32_t LZ_InStream_Impl::GetData(void* buffer, uint32_t n) {
  zs_.next_out = static_cast<Bytef*>(buffer);
  zs_.avail_out = n;
  while (zs_.avail_out > 0) {
    if (zs_.avail_in == 0) {
      const uint32_t got = source_.GetData(in_, kInSize);
      if (got == 0) break;
      zs_.next_in = in_;
      zs_.avail_in = got;
    }
    const int result = inflate(&zs_, Z_NO_FLUSH);
    RaiseFailure(result, true);
    if (result == Z_STREAM_END) {
      ended_ = true;
      break;
    }
  }
  return n - zs_.avail_out;
}
