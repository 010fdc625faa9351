// The import's reader over the exchange container: a book, its documents,
// their stories, the paragraphs of a story and the runs of a paragraph, each
// a counted object opened by index through the container's version-2 reader
// classes.  Every element answers attribute look-ups through the book's
// strings map; a look-up that misses at an element continues upwards (run,
// paragraph, paragraphs set, story, stories set, document, documents set,
// book).  A run hides its content kind behind Read, which delivers one unit
// per call.  The book also reads back the compressed host documents that
// the export stored in the container's private data.  It writes nothing.
//
// Counting: every object starts with one reference held by its creator
// (take it into a Ref).  A child holds a reference to its parent, whose
// attribute sets its own look-ups fall back to, so handles may be released
// in any order.  Opening a child past the end, or one whose folder or
// reader is missing, gives an empty handle.  Opening an element whose
// folder holds a child folder the container's structure does not allow
// there (a set's elements out of their 0, 1, 2 ... order among them), or
// a story or document without the child set the export always writes,
// raises ErrorRecord 1004 naming the element; so does reading a record run
// one of whose field streams is missing or ends before the others.  Host
// thread only.
#pragma once

#include <cstdint>
#include <string>

#include "framework/ole_storage.h"
#include "kxt/kxt_handle.h"
#include "kxt/referred_object.h"

namespace BX_KXT {

// What a stored host document may inflate to: the largest document the
// host opens (64 MiB), which the host writes no copy beyond and the export
// stores no copy beyond.  Whatever the export stored comes back, however
// well it compressed; more is a damaged or hostile container, which the
// import could not open anyway.
constexpr uint64_t kStoredDocumentMaxSize = uint64_t{64} << 20;

// A sink of bytes for LoadQXP.
class BXOutStream {
 public:
  virtual void PutData(const void* data, uint32_t n) = 0;

 protected:
  ~BXOutStream() = default;
};

namespace Import {

template <class T>
using Ref = KXT_Handle<T>;

// What a run holds, and what one Read delivers into the caller's place:
enum ImportRunKind : int32_t {
  kRunNone = 0,            // nothing: Read is always false
  kRunUnicodes = 1,        // "!1:Unicodes": one uint16_t UTF-16 unit
  kRunMultibytes = 2,      // "!1:Multibytes": one char (see RunCodePage)
  kRunWideMultibytes = 3,  // "!1:WideMultibytes": one uint16_t
  kRunSpecialChars = 4,    // "!1:SpecialChars{}": int32_t[2] = SpecialCharUnit
  kRunRefPoints = 5,       // "!1:RefPoints{}": int32_t[3] = RefPointUnit
  kRunPlaceHolders = 6,    // "!1:PlaceHolders{}": int32_t[2] = PlaceHolderUnit
};

// The record units of the bundle runs, field for field in Read's order.
struct SpecialCharUnit {
  int32_t nameRef;
  int32_t dataRef;
};
struct RefPointUnit {
  int32_t refTypeRef;
  int32_t objectTypeRef;
  int32_t objectFolderId;
};
struct PlaceHolderUnit {
  int32_t objectTypeRef;
  int32_t objectFolderId;
};

class ICommon : public ReferredObject {
 public:
  // Text of string `number` of the book's strings map; null when none.
  virtual const char16_t* GetString(int32_t number) = 0;
  // The attribute's value in force for this element (the element's child
  // set first when it has one, then up the chain); null when absent.
  // Throws ErrorRecord 1004 when its value is no string of the map.
  virtual const char16_t* GetAttr(const char16_t* name) = 0;
  // GetAttr parsed as a number (decimal or "0x" hexadecimal); false, value
  // untouched, when absent or not numeric.
  virtual bool GetNumericAttr(const char16_t* name, int32_t& value) = 0;
  // The number of `text` in the strings map, -1 when absent; never adds.
  virtual int32_t FindString(const char16_t* text) = 0;

 protected:
  ~ICommon() noexcept(false) override {}
};

// An element with children of type Child, opened by index from 0.
template <class Child>
class TCommon : public virtual ICommon {
 public:
  virtual Ref<Child> OpenChild(int32_t index) = 0;
};

class IRun : public virtual ICommon {
 public:
  // The next unit of the run into `unit` (sized as ImportRunKind says);
  // false at the end.
  virtual bool Read(void* unit) = 0;
  virtual ImportRunKind Kind() = 0;
  // The run's "StyleRef", -1 when it has none.
  virtual int32_t StyleRef() = 0;
  // Whether the run lost its content: it holds none of the six streams
  // (one is missing, or has another type tag or none).
  virtual bool Damaged() { return false; }
};

class IPara : public TCommon<IRun> {
 public:
  Ref<IRun> OpenRun(int32_t index) { return OpenChild(index); }
  // The paragraph's "StyleRef", -1 when it has none.
  virtual int32_t StyleRef() = 0;
};

class IStory : public TCommon<IPara> {
 public:
  Ref<IPara> OpenPara(int32_t index) { return OpenChild(index); }
};

class IDoc : public TCommon<IStory> {
 public:
  Ref<IStory> OpenStory(int32_t index) { return OpenChild(index); }
};

class IBook : public TCommon<IDoc> {
 public:
  Ref<IDoc> OpenDoc(int32_t index) { return OpenChild(index); }
  // Streams stored host document `index` (Export::FormatTemplateStreamName)
  // inflated to `out` in pieces of at most 1024 bytes.  A missing stream
  // raises the storage failure, a corrupt one (a wrong checksum among them)
  // the inflater's failure; a stream that ends before zlib's end, or that
  // inflates to more than kStoredDocumentMaxSize bytes, raises an
  // ErrorRecord 1009 ("File Read") naming the stream.  `out` may then have
  // had part of the document.
  virtual void LoadQXP(int32_t index, BXOutStream* out) = 0;
};

// The book of the container file at `path`, read-only.  Empty when the file
// holds a container without a book; a file that is no container, or one
// without the stored host documents storage, raises the storage failure.
Ref<IBook> OpenImportBook(const char* path);
// The same over a storage the caller opened for reading.
Ref<IBook> ReadImportBook(OLEStorage storage);

// The Windows code page of a run's 8-bit text: its "codepage" attribute;
// 0xFFFF, absent or not numeric give 1252.
uint32_t RunCodePage(IRun& run);

// Reads the rest of a "!1:Multibytes" run and decodes it by RunCodePage
// into `text`.  False (text empty) when the code page is unknown or the
// bytes are invalid in it; the run is read to its end either way.
bool ReadMultibytesText(IRun& run, std::u16string& text);

}  // namespace Import
}  // namespace BX_KXT
