#include "framework/cf_out_container.h"

#include "framework/ole_stream.h"

CF_OutContainer::CF_OutContainer(OLEStream* stream, uint32_t start)
    : CachedOutStream(*stream, true), stream_(stream) {
  stream_->Seek(static_cast<int32_t>(start), SeekBegin);
  SetFlushedCount(start);
}

void CF_OutContainer::WriteHeader(const uint8_t header[8]) {
  Flush();
  stream_->Seek(0, SeekBegin);
  stream_->PutData(header, 8);
}
