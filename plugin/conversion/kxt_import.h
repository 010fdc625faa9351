// The import's reader over the exchange container: a book, its documents,
// their stories, the paragraphs of a story and the runs of a paragraph, each
// a counted object whose attribute lookups fall back along its ancestors.
// A run reads its one stream unit by unit.  Handles are counted; a child is
// used only while its ancestors' handles are held.  Host thread only.
//
// (Interface only here: the reader's bodies come with the container side of
// the import.)
#pragma once

#include <cstdint>

#include "support/ref_object.h"

namespace BX_KXT {
namespace Import {

// What a run holds, by the stream found in its folder.
enum ImportRunKind : int32_t {
  kRunNone = 0,
  kRunUnicodes = 1,        // "!1:Unicodes": one 16-bit unit per Read
  kRunMultibytes = 2,      // "!1:Multibytes": one byte per Read
  kRunWideMultibytes = 3,  // "!1:WideMultibytes": one 16-bit unit per Read
  kRunSpecialChars = 4,    // "!1:SpecialChars{}": name number, data number
  kRunRefPoints = 5,       // "!1:RefPoints{}": reference type, object type, folder id
  kRunPlaceHolders = 6,    // "!1:PlaceHolders{}": object type, folder id
};

template <class T>
using Handle = RefHandle<T>;

class ICommon : public virtual RefObject {
 public:
  // The text of string `number` of the book's strings map; null for none.
  virtual const char16_t* GetString(int32_t number) = 0;
  // The value of attribute `name` as this element sees it; null when absent.
  virtual const char16_t* GetAttr(const char16_t* name) = 0;
  // The same as a whole number; false when absent or not numeric.
  virtual bool GetNumericAttr(const char16_t* name, int32_t& value) = 0;
  // The number of `text` in the strings map, -1 when absent (never adds).
  virtual int32_t FindString(const char16_t* text) = 0;
};

class IRun : public virtual ICommon {
 public:
  // The next unit of the run's stream into `unit` (sized by Kind); false at
  // the end.
  virtual bool Read(void* unit) = 0;
  virtual ImportRunKind Kind() = 0;
  virtual int32_t StyleRef() = 0;
};

class IPara : public virtual ICommon {
 public:
  virtual Handle<IRun> OpenRun(int32_t index) = 0;
};

class IStory : public virtual ICommon {
 public:
  virtual Handle<IPara> OpenPara(int32_t index) = 0;
};

class IDoc : public virtual ICommon {
 public:
  virtual Handle<IStory> OpenStory(int32_t index) = 0;
};

}  // namespace Import
}  // namespace BX_KXT
