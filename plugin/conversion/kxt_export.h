// The export's writer over the exchange container: a book, its documents,
// their styles and stories, the paragraphs of a story and the runs of a
// paragraph, each a counted object with an attribute set, written through the
// container's version-2 element classes.  The book also keeps compressed
// copies of host documents in the container's private data.
//
// Attributes are stored once, at the highest level where they hold: while a
// chain of sets is open (Open climbs from a run to the first ancestor opened
// before), SetAttr stores a name at the highest open set that does not
// define it yet and nothing when an ancestor already holds the same value.
//
// Counting: every object starts with one reference held by its creator
// (take it into a Ref).  A child holds its parent, so the container file is
// complete when the book's last reference goes; that release may raise the
// container's failure (it goes to the container's failure logger instead
// while another exception unwinds).  Host thread only.
#pragma once

#include <cstdint>
#include <string>

#include "framework/ole_storage.h"
#include "kxt/kxt_handle.h"
#include "kxt/kxt_records.h"
#include "kxt/referred_object.h"
#include "plugin/qapi/attr_sets.h"

namespace BX_KXT {

// A source of bytes for StoreQXP: GetData delivers up to n bytes (0 at the
// end); Length is the source's size (0 when unknown).
class BXInStream {
 public:
  virtual uint32_t GetData(void* buffer, uint32_t n) = 0;
  virtual uint32_t Length() = 0;

 protected:
  ~BXInStream() = default;
};

namespace Export {

// A counted reference; releasing the last one finishes the object's output
// and may raise.
template <class T>
using Ref = KXT_Handle<T>;

class IAttrs : public ReferredObject, public AttrWriter {
 public:
  // Stores name = value in this object's set whatever its state.
  virtual void AddAttr(const char16_t* name, const char16_t* value) = 0;
  virtual void Open() = 0;
  virtual void Close() = 0;
  // Hoisting store (see the top of this file): true when the value is now in
  // force for this object.
  bool SetAttr(const char16_t* name, const char16_t* value) override = 0;
  // The number of `text` in the book's strings map (added when new); -1 for
  // null, which adds nothing.
  virtual int32_t Intern(const char16_t* text) = 0;
  // Remembered series of SetAttr calls: while the sets this set's Open
  // opened are the only open ones and define nothing, what a series adds
  // depends only on the values in force above them.  Replay(key) then makes
  // the additions kept under `key` for those values and returns true; else
  // it returns false and notes the additions until Remember(key) keeps them
  // (Close ends the noting; a refused SetAttr, or a change of the open sets
  // or above them, spoils it).  Sets that remember nothing replay nothing.
  virtual bool Replay(const std::string& /*key*/) { return false; }
  virtual void Remember(const std::string& /*key*/) {}

 protected:
  ~IAttrs() noexcept(false) override {}
};

template <class T>
class IRun : public virtual IAttrs {
 public:
  // Appends one record to the run's bundle.
  virtual void Put(const T& record) = 0;
};

class IPara : public virtual IAttrs {
 public:
  virtual Ref<IRun<CF_PlaceHolder>> NewPlaceHoldersRun(int32_t styleRef) = 0;
  virtual Ref<IRun<CF_SpecialChar>> NewSpecialCharsRun(int32_t styleRef) = 0;
  virtual Ref<IRun<CF_RefPoint>> NewRefPointsRun(int32_t styleRef) = 0;
  // Writes byteCount / 2 UTF-16 units of `data`.
  virtual Ref<IAttrs> NewUnicodesRun(const void* data, uint32_t byteCount, int32_t styleRef) = 0;
  // Writes byteCount bytes.
  virtual Ref<IAttrs> NewMultibytesRun(const void* data, uint32_t byteCount, int32_t styleRef) = 0;
  // Writes unitCount 16-bit units.
  virtual Ref<IAttrs> NewWideMultibytesRun(const void* data, uint32_t unitCount, int32_t styleRef) = 0;
};

class IStory : public virtual IAttrs {
 public:
  // The next paragraph ("Paragraph[]/" 0, 1, ... whatever `index`); its
  // "StyleRef" unless styleRef is -1.
  virtual Ref<IPara> NewParagraph(int32_t index, int32_t styleRef) = 0;
};

class IDoc : public virtual IAttrs {
 public:
  // The next style info: "ThisStyleRef" always, "BaseStyleRef" unless -1.
  // Its set has no base.
  virtual Ref<IAttrs> NewStyle(int32_t index, int32_t thisStyleRef, int32_t baseStyleRef) = 0;
  virtual Ref<IStory> NewStory(int32_t index) = 0;
};

class IBook : public virtual IAttrs {
 public:
  virtual Ref<IDoc> NewDocument(int32_t index) = 0;
  // Stores the bytes of `source`, zlib-compressed (level -1, window 15,
  // memory 8), as stream FormatTemplateStreamName(number) of
  // "SolvanePluginPrivateData/BrenixExportTemplates", replacing one of that
  // name.  A failure of the source or the container, or a source larger
  // than 4 GiB less one byte, is raised, and then no stream of that name is
  // left.
  virtual void StoreQXP(int32_t number, BXInStream* source) = 0;
  // Stores `deflated`, bytes DeflateTemplate made, as StoreQXP stores a
  // source, replacing a stream of that name.  A failure of the container is
  // raised, and then no stream of that name is left.
  virtual void StoreDeflated(int32_t number, const std::string& deflated) = 0;
};

// Every byte of `source` compressed as StoreQXP compresses a source, byte
// for byte; a failure of the source is raised, and so is a source larger
// than a stream holds (4 GiB less one byte: std::length_error), which is
// never stored cut short.  It touches nothing but its
// argument, so it may run on any thread that may read `source`.
std::string DeflateTemplate(BXInStream& source);

// SetNumericAttr (plugin/qapi/attr_sets.h) formats numbers for SetAttr.
using ::SetNumericAttr;

// Records of the bundle runs; the run reference is the caller's and is
// released at the end.
void PutPlaceHolder(Ref<IRun<CF_PlaceHolder>> run, int32_t objectId, const char16_t* type);
void PutRefPoint(Ref<IRun<CF_RefPoint>> run, int32_t objectId, const char16_t* refType);
void PutSpecialChar(Ref<IRun<CF_SpecialChar>> run, const char16_t* name, const char16_t* data);

// A new compound file at `path` (replacing one there) holding a new book.
Ref<IBook> CreateExportBook(const char* path);
// A new book in the container made in `storage`.
Ref<IBook> NewExportBook(OLEStorage storage);

// The stream name of stored host document `number`: decimal, '-' for a
// negative number ("0", "12", "-3").
std::string FormatTemplateStreamName(int32_t number);

}  // namespace Export
}  // namespace BX_KXT
