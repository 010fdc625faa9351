// Inflates arbitrary bytes through LZ_InStream.  The first byte picks the
// window (15 or 10) and the read sizes; the rest is the compressed input.
// Bad data must end in the system's own failure, never a crash or a hang.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include "framework/failures.h"
#include "framework/lz_stream.h"

namespace {

struct BytesSource : InStream {
  const uint8_t* data;
  size_t left;
  uint32_t piece;
  uint32_t GetData(void* buffer, uint32_t n) override {
    const size_t count = std::min<size_t>({n, piece, left});
    std::memcpy(buffer, data, count);
    data += count;
    left -= count;
    return static_cast<uint32_t>(count);
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  const uint8_t control = data[0];
  const LZ_WindowBits window = (control & 1) ? LZ_SmallWindowBits : LZ_MaxWindowBits;
  const uint32_t read_size = 1u + ((control >> 1) & 7) * 997;  // 1 to 6980 bytes per call
  BytesSource source;
  source.data = data + 1;
  source.left = size - 1;
  source.piece = (control & 0x80) ? 3 : 512;
  std::vector<uint8_t> buffer(read_size);
  try {
    LZ_InStream_Impl in(source, window);
    // Bounded output: a small input may inflate a thousandfold.
    for (size_t total = 0; total < (8u << 20);) {
      const uint32_t got = in.GetData(buffer.data(), read_size);
      if (got == 0) break;
      total += got;
    }
  } catch (const FilterException& failure) {
    if (failure.Id() < 44001 || failure.Id() > 44006) __builtin_trap();
  }
  return 0;
}
