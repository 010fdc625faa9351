// A stream element opened in a storage: a seek position over the element's
// bytes.  Clones share the bytes and keep their own position.
#pragma once

#include <memory>

#include "platform/ole/open_element.h"
#include "platform/ole/ref_counted.h"

namespace ole {

class StreamObject final : public RefCounted<Stream> {
 public:
  StreamObject(std::shared_ptr<Docfile> file, std::shared_ptr<Entry> entry, uint32_t mode, uint64_t position = 0)
      : element_(std::move(file), std::move(entry), mode), position_(position) {}

  Result Read(void* buffer, uint32_t n, uint32_t* read) override;
  Result Write(const void* data, uint32_t n, uint32_t* written) override;
  Result Seek(int64_t offset, SeekOrigin origin, uint64_t* position) override;
  Result SetSize(uint64_t size) override;
  Result CopyTo(Stream* destination, uint64_t n, uint64_t* read, uint64_t* written) override;
  Result Clone(Stream** clone) override;
  Result Stat(StatStg* stat) override;

 private:
  OpenElement element_;
  uint64_t position_;
};

}  // namespace ole
