// The code file: many named logical byte streams packed into one stream,
// "SolvaneCodeFile", of a compound-file storage, with a summary property set
// beside it.
//
// A logical stream is named by a pair (name, stream id): a NUL-free narrow
// name of at most 65535 bytes and a signed 32-bit id.  The writer hands out
// output streams, the reader input streams; the caller owns and deletes every
// object these interfaces return.  Deleting an output stream completes it;
// deleting the writer completes the file (streams still open are completed
// first and then left detached: they take no more bytes and deleting them
// later is harmless).  Deleting the reader leaves its open streams detached
// in the same way.  All failures are FilterException: 34000 for a file of a
// newer format, 34001 for a damaged one, the storage failures otherwise.
#pragma once

#include <cstdint>

#include "framework/streams.h"
#include "framework/variant.h"

class OLEStorage;

// How a written stream is kept.
enum CF_StreamKind : int32_t {
  CF_Stored = 0,
  CF_Compressed = 1,
  CF_DecideAtFirstFlush = 2,  // compressed when that pays, decided on the first 1024 bytes
};

// An open logical stream being written.  Deleting it completes it.
class CF_OutStream : public OutStream {
 public:
  ~CF_OutStream() noexcept(false) override {}
  // Gives the stream another name number and id (used by renaming).
  virtual void SetIdentifier(uint32_t nameNumber, int32_t id) = 0;
};

// An open logical stream being read; GetData delivers fewer bytes than asked
// only at its end.
class CF_InStream : public InStream {
 public:
  ~CF_InStream() override = default;
};

class CF_OutStorage {
 public:
  virtual ~CF_OutStorage() noexcept(false) {}
  // Adds a property to the summary set, replacing one with the same id.
  virtual void SetProperty(int32_t id, const Variant& value) = 0;
  // A new open stream under (name, id).  The kind is a CF_StreamKind; a
  // writer made without compression stores every stream.  A pair that is
  // already there is taken over by whichever of its streams closes last.
  // Names longer than 65535 bytes are refused (failure 33000).
  virtual CF_OutStream* CreateStream(const char* name, int32_t id, int32_t kind) = 0;
  // Moves the open stream of (oldName, oldId) to (newName, newId) and
  // returns it; 34001 when no stream of that pair is open, 33000 for a new
  // name that is too long.
  virtual CF_OutStream* RenameStream(const char* oldName, int32_t oldId, const char* newName,
                                     int32_t newId) = 0;
};

class CF_InStorage {
 public:
  virtual ~CF_InStorage() noexcept(false) {}
  // A copy of the summary property with that id; an empty value when none.
  virtual Variant GetProperty(int32_t id) = 0;
  // The stream (name, id) positioned at its first byte, or null when the
  // file holds no such stream.
  virtual CF_InStream* OpenStream(const char* name, int32_t id) = 0;
  // A hint that a stream of that name is about to be opened: a reader may
  // start loading what finding it takes.  Changes nothing that is read.
  virtual void Expect(const char* /*name*/) {}
};

class CF_EnumerableInStorage : public virtual CF_InStorage {
 public:
  class IdentifierReceiver {
   public:
    virtual ~IdentifierReceiver() = default;
    // Return false to stop the enumeration.
    virtual bool Receive(const char* name, int32_t id) = 0;
  };
  // Reports every stream's (name, id) in directory order: by id (signed),
  // then by name number.  False as soon as the receiver returns false.
  virtual bool EnumerateStreams(IdentifierReceiver& receiver) = 0;
};

// A new writer over the storage: creates "SolvaneCodeFile" and completes it,
// with the summary property set, when deleted.  With compress false every
// stream is stored.
CF_OutStorage* CreateCodeFile(OLEStorage storage, bool compress);
// A new reader of the code file in the storage; reads its directory and names
// at once.
CF_EnumerableInStorage* OpenEnumerableCodeFile(OLEStorage storage);
CF_InStorage* OpenCodeFile(OLEStorage storage);
