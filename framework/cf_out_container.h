// The write cache of a code file over its OLE stream.  Writing begins at
// offset 8, behind the room kept for the header, and GetOffset() counts from
// the beginning of the OLE stream; WriteHeader puts the 8 header bytes at
// offset 0 once everything else is out.
#pragma once

#include <cstdint>

#include "framework/cached_out_stream.h"

class OLEStream;

class CF_OutContainer : public CachedOutStream {
 public:
  // Takes ownership of the stream and positions it at offset `start`.
  CF_OutContainer(OLEStream* stream, uint32_t start);

  // Flushes the cache, then writes the 8 bytes at offset 0.
  void WriteHeader(const uint8_t header[8]);

 private:
  OLEStream* stream_;  // owned through the cache
};
