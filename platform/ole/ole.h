// Compound files (structured storage): our own implementation of the
// compound-file binary format, shaped after the storage and stream
// interfaces the framework's wrappers call.
//
// Objects are reference counted: every object handed out through an out
// parameter carries one reference that the receiver owns and gives back with
// Release().  A sub-element keeps its file alive.
//
// Reading: opening a file reads and checks its header, allocation tables and
// directory at once; element bytes are read from the open file when asked
// for.  Writing: a root opened for writing works in a temporary file beside
// the target (large streams go there as they are written, the rest is held in
// memory) and puts it in the target's place on Commit(), and on the release
// of its last reference when Commit() was not called after the last change.
// A release cannot report a failure, so callers that care call Commit()
// first: that is where disk-full (STG_E_MEDIUMFULL) and other write errors
// (STG_E_WRITEFAULT) surface.  Until then the target keeps its last committed
// content.
//
// Every call returns a 32-bit result code: S_OK (0) or S_FALSE (1) for
// success, the STG_E_* / E_* values below for failures.  Opening a file that
// is not a compound file (shorter than a header, or without the signature)
// gives STG_E_FILEALREADYEXISTS; one that carries the signature but is
// damaged (bad counts, chains that loop, leave the file or overlap, streams
// longer than their chains, directory links out of range or in cycles,
// duplicate names) or of an unknown version gives STG_E_OLDFORMAT.  A file
// that cannot be read gives STG_E_READFAULT.
#pragma once

#include <cstdint>
#include <string>

namespace ole {

using Result = int32_t;

constexpr Result S_OK = 0;
constexpr Result S_FALSE = 1;
constexpr Result E_UNEXPECTED = static_cast<Result>(0x8000FFFFu);
constexpr Result E_OUTOFMEMORY = static_cast<Result>(0x8007000Eu);
constexpr Result E_INVALIDARG = static_cast<Result>(0x80070057u);
constexpr Result STG_E_INVALIDFUNCTION = static_cast<Result>(0x80030001u);
constexpr Result STG_E_FILENOTFOUND = static_cast<Result>(0x80030002u);
constexpr Result STG_E_PATHNOTFOUND = static_cast<Result>(0x80030003u);
constexpr Result STG_E_TOOMANYOPENFILES = static_cast<Result>(0x80030004u);
constexpr Result STG_E_ACCESSDENIED = static_cast<Result>(0x80030005u);
constexpr Result STG_E_INSUFFICIENTMEMORY = static_cast<Result>(0x80030008u);
constexpr Result STG_E_INVALIDPOINTER = static_cast<Result>(0x80030009u);
constexpr Result STG_E_WRITEFAULT = static_cast<Result>(0x8003001Du);
constexpr Result STG_E_READFAULT = static_cast<Result>(0x8003001Eu);
constexpr Result STG_E_SHAREVIOLATION = static_cast<Result>(0x80030020u);
constexpr Result STG_E_LOCKVIOLATION = static_cast<Result>(0x80030021u);
constexpr Result STG_E_FILEALREADYEXISTS = static_cast<Result>(0x80030050u);
constexpr Result STG_E_INVALIDPARAMETER = static_cast<Result>(0x80030057u);
constexpr Result STG_E_MEDIUMFULL = static_cast<Result>(0x80030070u);
constexpr Result STG_E_INVALIDNAME = static_cast<Result>(0x800300FCu);
constexpr Result STG_E_INVALIDFLAG = static_cast<Result>(0x800300FFu);
constexpr Result STG_E_REVERTED = static_cast<Result>(0x80030102u);
constexpr Result STG_E_CANTSAVE = static_cast<Result>(0x80030103u);
constexpr Result STG_E_OLDFORMAT = static_cast<Result>(0x80030104u);
constexpr Result STG_E_OLDDLL = static_cast<Result>(0x80030105u);

inline bool Succeeded(Result r) { return r >= 0; }

// Open modes (bit flags).  The system uses read (0) and create-for-writing
// (STGM_CREATE | STGM_WRITE), with STGM_SHARE_EXCLUSIVE on elements and on
// roots opened for writing, STGM_SHARE_DENY_WRITE on roots opened for
// reading.  Other combinations are refused with STG_E_INVALIDFLAG.  Objects
// opened for writing may also be read; changes through objects opened for
// reading give STG_E_ACCESSDENIED.
enum : uint32_t {
  STGM_READ = 0x0,
  STGM_WRITE = 0x1,
  STGM_READWRITE = 0x2,
  STGM_SHARE_EXCLUSIVE = 0x10,
  STGM_SHARE_DENY_WRITE = 0x20,
  STGM_SHARE_DENY_READ = 0x30,
  STGM_SHARE_DENY_NONE = 0x40,
  STGM_CREATE = 0x1000,
};

enum ElementType : uint32_t { STGTY_STORAGE = 1, STGTY_STREAM = 2, STGTY_ROOT = 5 };
enum SeekOrigin : uint32_t { STREAM_SEEK_SET = 0, STREAM_SEEK_CUR = 1, STREAM_SEEK_END = 2 };
enum MoveMode : uint32_t { STGMOVE_MOVE = 0, STGMOVE_COPY = 1 };

// The longest element name in UTF-16 units, without its terminating NUL.
constexpr size_t kMaxNameLength = 31;

struct Clsid {
  uint8_t bytes[16] = {};
  bool operator==(const Clsid& o) const;
};

// What Stat() reports of an element.
struct StatStg {
  std::u16string name;  // a root's is its path
  ElementType type = STGTY_STREAM;
  uint64_t size = 0;  // streams: byte length; storages: 0
  uint32_t mode = 0;  // the mode the element was opened with
  Clsid clsid;        // storages only
  uint32_t state_bits = 0;
};

class Unknown {
 public:
  // Adds a reference; returns the new count.
  virtual uint32_t AddRef() = 0;
  // Gives a reference back; the object goes away with its last one.  Returns
  // the count left.
  virtual uint32_t Release() = 0;

 protected:
  virtual ~Unknown() = default;
};

class Stream : public Unknown {
 public:
  // Reads up to n bytes at the seek position; *read (may be null) gets the
  // count, short at the end of the stream.  STG_E_READFAULT when the file
  // cannot deliver them.
  virtual Result Read(void* buffer, uint32_t n, uint32_t* read) = 0;
  // Writes n bytes at the seek position; a position past the end first fills
  // the gap with zero bytes.  Large streams are written to disk at once, so
  // STG_E_MEDIUMFULL and STG_E_WRITEFAULT may come here too; a stream cannot
  // grow past 0xFFFFFFFF bytes (STG_E_MEDIUMFULL).
  virtual Result Write(const void* data, uint32_t n, uint32_t* written) = 0;
  // Moves the seek position (offset is signed for CUR and END); *position
  // (may be null) gets the new one.  A negative result position is refused.
  virtual Result Seek(int64_t offset, SeekOrigin origin, uint64_t* position) = 0;
  virtual Result SetSize(uint64_t size) = 0;
  // Copies up to n bytes from this stream's position to the destination's.
  virtual Result CopyTo(Stream* destination, uint64_t n, uint64_t* read, uint64_t* written) = 0;
  // A new stream object over the same data with its own seek position.
  virtual Result Clone(Stream** clone) = 0;
  virtual Result Stat(StatStg* stat) = 0;
};

class ElementEnum : public Unknown {
 public:
  // Fetches up to n elements into stats; *fetched gets how many.  S_FALSE
  // when fewer than n were left.
  virtual Result Next(uint32_t n, StatStg* stats, uint32_t* fetched) = 0;
  virtual Result Skip(uint32_t n) = 0;
  virtual Result Reset() = 0;
  virtual Result Clone(ElementEnum** clone) = 0;
};

// Element names: 1 to kMaxNameLength UTF-16 units without '/', '\\', ':' or
// '!' (else STG_E_INVALIDNAME).  Names that differ only in case are the same
// name; the format orders names by length, then by their upper-cased units.
// A missing element, or one of the other kind, gives STG_E_FILENOTFOUND; an
// element that is already open cannot be opened, created over, renamed or
// moved (STG_E_ACCESSDENIED); destroying an open element makes its objects
// answer STG_E_REVERTED.
class Storage : public Unknown {
 public:
  // Creating replaces an element of that name, of either kind.
  virtual Result CreateStream(const char16_t* name, uint32_t mode, Stream** stream) = 0;
  virtual Result OpenStream(const char16_t* name, uint32_t mode, Stream** stream) = 0;
  virtual Result CreateStorage(const char16_t* name, uint32_t mode, Storage** storage) = 0;
  virtual Result OpenStorage(const char16_t* name, uint32_t mode, Storage** storage) = 0;
  // Copies or moves an element (a whole sub-tree for a storage) into the
  // destination under newName, also into another file.  STG_E_FILEALREADYEXISTS
  // when the destination has that name; a storage cannot go into itself.
  virtual Result MoveElementTo(const char16_t* name, Storage* destination, const char16_t* newName,
                               MoveMode mode) = 0;
  virtual Result DestroyElement(const char16_t* name) = 0;
  // STG_E_FILEALREADYEXISTS when another element has the new name; a name
  // differing only in case changes the element's case.
  virtual Result RenameElement(const char16_t* oldName, const char16_t* newName) = 0;
  // The elements as they are now, in the directory's order.
  virtual Result EnumElements(ElementEnum** elements) = 0;
  virtual Result SetClass(const Clsid& clsid) = 0;
  virtual Result Stat(StatStg* stat) = 0;
  // Root opened for writing: writes the whole file to disk now.  Other
  // elements: S_OK, nothing to do.  Disk full gives STG_E_MEDIUMFULL, other
  // write errors STG_E_WRITEFAULT.
  virtual Result Commit() = 0;
};

// Creates (replacing any file of that name at once) or opens a compound
// file.  A file that is not a compound file opens with
// STG_E_FILEALREADYEXISTS; a missing one with STG_E_FILENOTFOUND; a damaged
// one with STG_E_OLDFORMAT, never a crash.  Paths are narrow text in the
// system's encoding (UTF-8), used byte for byte.
Result CreateDocfile(const char* path, uint32_t mode, Storage** root);
Result OpenDocfile(const char* path, uint32_t mode, Storage** root);

// The system's error behind the last STG_E_MEDIUMFULL of a file's create or
// write on this thread (ENOSPC or EDQUOT); ENOSPC before any.
int LastMediumFullError();

// The task allocator of the platform: plain heap memory.
class Allocator : public Unknown {
 public:
  virtual void* Alloc(size_t bytes) = 0;
  virtual void Free(void* p) = 0;
};
Result GetAllocator(Allocator** allocator);

// Process-wide initialisation of the storage layer.  Initialize answers S_OK
// the first time and S_FALSE when already initialised; each successful call
// is matched by one Uninitialize.
Result Initialize();
void Uninitialize();
// For tests: the next call of Initialize answers `failure` and initialises
// nothing (so no Uninitialize is owed for it).
void FailNextInitialize(Result failure);

}  // namespace ole
