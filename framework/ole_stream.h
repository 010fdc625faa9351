// OLEStream: an owning wrapper over one stream of a compound file, usable as
// a seekable byte stream for reading and writing.  A copy is a clone: the
// same bytes with a seek position of its own.  Every failing call raises
// through OLEObject::Abort with the stream's name.
#pragma once

#include <cstdint>
#include <string>

#include "framework/ole_handler.h"
#include "framework/ole_object.h"
#include "framework/streams.h"
#include "platform/ole/ole.h"

class OLEStorage;

class OLEStream : public OLEObject, public InOutFile {
 public:
  // Opens (mode 0) or creates (mode 0x1001, replacing a stream of that name)
  // the stream `name` of storage.
  OLEStream(OLEStorage& storage, const char16_t* name, CD_OpenMode mode);
  OLEStream(const OLEStream& other);
  OLEStream& operator=(const OLEStream&) = delete;
  // The last wrapper of a root storage may be this stream: its going writes
  // the file, and a write failure is raised (see OLEHandler).
  ~OLEStream() noexcept(false) override;

  // Copies up to n bytes from this stream's position to destination's;
  // returns the bytes copied.  A failure names the destination.
  virtual uint32_t CopyData(OLEStream& destination, uint32_t n);
  virtual void Resize(uint32_t size);
  virtual const char16_t* Name() const { return name_.c_str(); }
  // The stream's length (the position stays).
  virtual uint32_t GetSize();

  // Bytes read; short at the end of the stream.
  uint32_t GetData(void* buffer, uint32_t n) override;
  // Writes all n bytes (a position past the end fills the gap with zeros);
  // a short write raises STG_E_CANTSAVE (33011).
  void PutData(const void* data, uint32_t n) override;
  // SeekBegin takes the offset as unsigned, the others as signed.  Returns
  // the new position (low 32 bits).
  uint32_t Seek(int32_t offset, SeekOrigin origin) override;

  OLEHandler<ole::Stream>* Handler() const { return handler_; }

 private:
  OLEHandler<ole::Stream>* handler_;
  std::u16string name_;
};
