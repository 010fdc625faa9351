#include "framework/ole_stream.h"

#include <utility>

#include "framework/ole_storage.h"

namespace {

// Opens or creates the stream and takes its name; on failure releases what
// was obtained and raises through Abort with `name`.
ole::Stream* OpenStream(OLEStorage& storage, const char16_t* name, CD_OpenMode mode, std::u16string& actual) {
  uint32_t flags = mode | ole::STGM_SHARE_EXCLUSIVE;
  ole::Storage* in = (*storage.Handler())();
  ole::Stream* stream = nullptr;
  ole::Result result =
      (mode & ole::STGM_CREATE) ? in->CreateStream(name, flags, &stream) : in->OpenStream(name, flags, &stream);
  if (!ole::Succeeded(result)) OLEObject::Abort(result, name);
  ole::StatStg stat;
  result = stream->Stat(&stat);
  if (!ole::Succeeded(result)) {
    stream->Release();
    OLEObject::Abort(result, name);
  }
  actual = std::move(stat.name);
  return stream;
}

ole::Stream* Clone(const OLEStream& other) {
  ole::Stream* clone = nullptr;
  ole::Result result = (*other.Handler())()->Clone(&clone);
  if (!ole::Succeeded(result)) OLEObject::Abort(result, other.Name());
  return clone;
}

}  // namespace

OLEStream::OLEStream(OLEStorage& storage, const char16_t* name, CD_OpenMode mode)
    : handler_(nullptr) {
  ole::Stream* stream = OpenStream(storage, name, mode, name_);
  handler_ = OLEHandler<ole::Stream>::Adopt(stream, storage.Handler());
}

OLEStream::OLEStream(const OLEStream& other)
    : InStream(), SeekMethod(), OutStream(), OLEObject(other), InOutFile(other),
      handler_(OLEHandler<ole::Stream>::Adopt(Clone(other), other.handler_->Parent())),
      name_(other.name_) {}

OLEStream::~OLEStream() noexcept(false) { handler_->Release(); }

uint32_t OLEStream::GetData(void* buffer, uint32_t n) {
  if (n == 0) return 0;
  uint32_t read = 0;
  ole::Result result = (*handler_)()->Read(buffer, n, &read);
  if (!ole::Succeeded(result)) Abort(result, Name());
  return read;
}

void OLEStream::PutData(const void* data, uint32_t n) {
  if (n == 0) return;
  uint32_t written = 0;
  ole::Result result = (*handler_)()->Write(data, n, &written);
  if (!ole::Succeeded(result)) Abort(result, Name());
  if (written < n) Abort(ole::STG_E_CANTSAVE, Name());
}

uint32_t OLEStream::Seek(int32_t offset, SeekOrigin origin) {
  int64_t move = origin == SeekBegin ? static_cast<int64_t>(static_cast<uint32_t>(offset)) : offset;
  uint64_t position = 0;
  ole::Result result = (*handler_)()->Seek(move, static_cast<ole::SeekOrigin>(origin), &position);
  if (!ole::Succeeded(result)) Abort(result, Name());
  return static_cast<uint32_t>(position);
}

uint32_t OLEStream::CopyData(OLEStream& destination, uint32_t n) {
  uint64_t read = 0;
  uint64_t written = 0;
  ole::Result result = (*handler_)()->CopyTo((*destination.handler_)(), n, &read, &written);
  if (!ole::Succeeded(result)) Abort(result, destination.Name());
  return static_cast<uint32_t>(written);
}

void OLEStream::Resize(uint32_t size) {
  ole::Result result = (*handler_)()->SetSize(size);
  if (!ole::Succeeded(result)) Abort(result, Name());
}

uint32_t OLEStream::GetSize() {
  OLEStream end(*this);
  return end.Seek(0, SeekEnd);
}
