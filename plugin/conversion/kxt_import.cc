#include "plugin/conversion/kxt_import.h"

#include <cstdint>
#include <cstring>
#include <string>

#include "framework/lz_stream.h"
#include "framework/ole_functions.h"
#include "framework/ole_stream.h"
#include "kxt/book.h"
#include "kxt/element_model.h"
#include "kxt/kxt_completion.h"
#include "kxt/kxt_records.h"
#include "kxt/kxt_storage.h"
#include "kxt/typed_stream.h"
#include "platform/win/code_pages.h"
#include "plugin/conversion/kxt_export.h"
#include "support/error_record.h"

namespace BX_KXT {
namespace Import {
namespace {

using Element = KXT_ProcessorWithAttrs_In2;

constexpr uint16_t kErrorFileRead = 1009;
constexpr uint16_t kErrorDamaged = 1004;

[[noreturn]] void RaiseDamage(const std::string& what) {
  throw ErrorRecord{kErrorDamaged, MsgString::Create(what.c_str())};
}

// A folder name from the container as a log shows it: printable ASCII, every
// other byte as \xNN, at most 48 bytes.
std::string Shown(const char* name) {
  std::string out;
  for (size_t i = 0; name[i] != '\0' && i < 48; ++i) {
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte >= 0x20 && byte < 0x7F && byte != '"' && byte != '\\') {
      out += static_cast<char>(byte);
    } else {
      static const char kHex[] = "0123456789ABCDEF";
      out += {'\\', 'x', kHex[byte >> 4], kHex[byte & 15]};
    }
  }
  return out;
}

// The child folders the container's structure allows in a folder: the
// elements of a set (its pattern name, indices 0, 1, 2 ... without a gap)
// and named children at index 0.  Every element the export writes, and
// what a folder may hold besides ("Attrs{}"), is listed; a child of any
// other name is an element renamed or damaged, whose content the walk
// would miss without a word.
struct Shape {
  const char* pattern;   // null: no elements
  const char* named[4];  // the rest null
};

// Finds the first child folder that a folder of `shape` cannot hold.
class ShapeCheck final : public CF_EnumerableInStorage::IdentifierReceiver {
 public:
  explicit ShapeCheck(const Shape& shape) : shape_(shape) {}
  bool Receive(const char* name, int32_t index) override {
    // The table lists a set's elements in index order.
    if (shape_.pattern != nullptr && std::strcmp(name, shape_.pattern) == 0 && index == elements_) {
      ++elements_;
      return true;
    }
    for (const char* allowed : shape_.named) {
      if (allowed != nullptr && index == 0 && std::strcmp(name, allowed) == 0) return true;
    }
    bad_ = "\"" + Shown(name) + "\" (" + std::to_string(index) + ")";
    return false;
  }
  // The child found out of place ("" when none).
  const std::string& bad() const { return bad_; }

 private:
  const Shape& shape_;
  int32_t elements_ = 0;
  std::string bad_;
};

// Raises the damage failure when `folder` holds a child folder its shape
// does not allow; `where` names the folder for the message.
template <class Where>
void CheckShape(KXT_InFolder2& folder, const Shape& shape, const Where& where) {
  ShapeCheck check(shape);
  folder.EnumerateFolders(check);
  if (!check.bad().empty()) RaiseDamage(where() + " holds the unknown element " + check.bad());
}

// The shared part of every element: its reader, the reader of its child
// set (when it has one), the book's reader and a reference to its parent,
// whose attribute sets are the bases of its own.
class Common : public virtual ICommon {
 public:
  const char16_t* GetString(int32_t number) override { return book_->StringsMap()[number]; }
  const char16_t* GetAttr(const char16_t* name) override {
    if (name == nullptr) return nullptr;
    const KXT_StringsMap& strings = book_->StringsMap();
    const char16_t* value = LowestSet().GetAttrValue(name, strings);
    // An attribute whose value is no string of the map: the container is
    // damaged, and the attribute would read as missing.
    if (value == nullptr && LowestSet().Defines(name, strings)) {
      throw ErrorRecord{1004, MsgString::Create("an attribute value outside the strings map")};
    }
    return value;
  }
  bool GetNumericAttr(const char16_t* name, int32_t& value) override {
    return KXT_AttrsSet::GetNumericValue(GetAttr(name), value);
  }
  int32_t FindString(const char16_t* text) override { return book_->StringsMap().find(text); }

  // The element as a message names it: "document 0, story 3, paragraph 2,
  // run 1"; "the book" for the book.
  std::string Where() const {
    return parentSets_ == nullptr ? "the book" : Path(*parentSets_, kind_, index_);
  }
  // The same for child `index` of kind `kind` of `parent`.
  static std::string Path(const Common& parent, const char* kind, int32_t index) {
    const std::string own = std::string(kind) + " " + std::to_string(index);
    return parent.parentSets_ == nullptr ? own : parent.Where() + ", " + own;
  }

  // The set a child's own set falls back to.
  KXT_AttrsSet& LowestSet() {
    LoadSets();
    return children_.get() != nullptr ? children_->AttrsSet() : element_->AttrsSet();
  }

 protected:
  // Adopts `element` and `children` (may be null).  `book` null: the
  // element is the book.  `kind` and `index` name the element (Where).
  Common(Element* element, KXT_Set_In2* children, KXT_Book_In2* book, Common* parent,
         const char* kind = "", int32_t index = 0)
      : element_(element), children_(children), book_(book ? book : static_cast<KXT_Book_In2*>(element)),
        parentSets_(parent), kind_(kind), index_(index) {
    if (parent != nullptr) {
      parent->AddRef();
      parent_ = Ref<ICommon>(parent);
    }
  }
  ~Common() noexcept(false) override {}

  Element* element() const { return element_.get(); }
  KXT_Book_In2* book() const { return book_; }

  // Loads the attribute sets on their first use and chains them: the
  // element's set under the parent's lowest set, the child set's under the
  // element's.  Walking a story's structure alone never reads them.
  void LoadSets() {
    if (setsLoaded_) return;
    element_->LoadAttrsSet("Attrs{}");
    if (parentSets_ != nullptr) element_->AttrsSet().DefineBaseAttrsSet(&parentSets_->LowestSet());
    if (children_.get() != nullptr) {
      children_->LoadAttrsSet("Attrs{}");
      children_->AttrsSet().DefineBaseAttrsSet(&element_->AttrsSet());
    }
    setsLoaded_ = true;
  }

  // Element `index` of the child set; null past the end or without a set.
  KXT_Handle<KXT_InFolder2> ChildFolder(int32_t index) {
    if (index < 0 || children_.get() == nullptr || !children_->Valid()) return nullptr;
    return children_->OpenElement(index);
  }

 private:
  // Declared first, destroyed last: the parent's sets stay while this
  // element's sets refer to them.
  Ref<ICommon> parent_;
  KXT_Owned<Element> element_;
  KXT_Owned<KXT_Set_In2> children_;
  KXT_Book_In2* book_;
  Common* parentSets_;  // parent_, whose sets this element's fall back to
  const char* kind_;
  int32_t index_;
  bool setsLoaded_ = false;
};

// Child element `index` of type Object over `folder` with a reader of type
// Reader; empty when the folder is missing or the reader is not valid.  The
// element's folder, and its child set's, must have the shapes Object gives
// (Object::kShape, Object::kSetShape); an element whose child set the
// export always writes (Object::kSetName) must have it.  Otherwise the
// damage failure.
template <class Object, class Reader>
Ref<Object> MakeChild(KXT_Handle<KXT_InFolder2> folder, Common* parent, KXT_Book_In2* book, int32_t index) {
  if (!folder) return nullptr;
  KXT_Owned<Reader> reader(new Reader(folder));
  if (!reader->Valid()) return nullptr;
  auto where = [parent, index] { return Common::Path(*parent, Object::kKind, index); };
  CheckShape(*folder, Object::kShape, where);
  KXT_Owned<KXT_Set_In2> children(Object::OpenChildSet(*reader.get()));
  if (Object::kSetName != nullptr) {
    if (children.get() == nullptr || !children->Valid()) {
      RaiseDamage(where() + " has no \"" + Object::kSetName + "\"");
    }
    CheckShape(children->Folder(), Object::kSetShape, [&where] { return where() + ", " + Object::kSetName; });
  }
  return Ref<Object>(new Object(reader.release(), children.release(), book, parent, index));
}

// --- runs -------------------------------------------------------------------

// The reader of one run's content: Next delivers one unit.
class RunImpl {
 public:
  virtual ~RunImpl() noexcept(false) {}
  virtual bool Next(void* unit) = 0;
  // False when the content lost part of itself (a record field's stream
  // missing, or shorter than the others).
  virtual bool Whole() { return true; }
};

// A character stream read through a buffer of 1000 units.
template <class T>
class TRunStr final : public RunImpl {
 public:
  explicit TRunStr(KXT_Handle<KXT_InStream2> stream)
      : stream_(std::move(stream)), in_(dynamic_cast<KXT_In<T>*>(static_cast<KXT_InStream*>(stream_.get()))) {}
  bool Next(void* unit) override {
    if (position_ == count_) {
      count_ = in_ != nullptr ? in_->GetData(buffer_, kSize) : 0;
      position_ = 0;
    }
    if (position_ >= count_) return false;
    *static_cast<T*>(unit) = buffer_[position_++];
    return true;
  }

 private:
  static constexpr uint32_t kSize = 1000;
  T buffer_[kSize];
  uint32_t count_ = 0;
  uint32_t position_ = 0;
  KXT_Handle<KXT_InStream2> stream_;
  KXT_In<T>* in_;
};

// What a bundle record delivers, in the order of ImportRunKind's units.
void CopyUnit(const CF_SpecialChar& r, void* unit) {
  *static_cast<SpecialCharUnit*>(unit) = SpecialCharUnit{r.m_NameRef, r.m_DataRef};
}
void CopyUnit(const CF_RefPoint& r, void* unit) {
  *static_cast<RefPointUnit*>(unit) = RefPointUnit{r.m_RefTypeRef, r.m_ObjectTypeRef, r.m_ObjectFolderID};
}
void CopyUnit(const CF_PlaceHolder& r, void* unit) {
  *static_cast<PlaceHolderUnit*>(unit) = PlaceHolderUnit{r.m_ObjectTypeRef, r.m_ObjectFolderID};
}

// A record bundle, one record per Next.
template <class Record>
class TRunBun final : public RunImpl {
 public:
  explicit TRunBun(KXT_Handle<KXT_InBundle2> bundle) : bundle_(std::move(bundle)) {}
  bool Next(void* unit) override {
    Record record;
    if (!bundle_->GetRecord(record)) return false;
    CopyUnit(record, unit);
    return true;
  }
  bool Whole() override {
    Record scratch;
    return bundle_->Whole(scratch);
  }

 private:
  KXT_Handle<KXT_InBundle2> bundle_;
};

class Run final : public IRun, public Common {
 public:
  static constexpr const char* kKind = "run";
  static constexpr Shape kShape{nullptr, {"!1:SpecialChars{}", "!1:RefPoints{}", "!1:PlaceHolders{}", "Attrs{}"}};
  static constexpr const char* kSetName = nullptr;
  static constexpr Shape kSetShape{nullptr, {}};
  static KXT_Set_In2* OpenChildSet(KXT_TextRun_In2&) { return nullptr; }
  Run(KXT_TextRun_In2* reader, KXT_Set_In2* children, KXT_Book_In2* book, Common* parent, int32_t index)
      : Common(reader, children, book, parent, kKind, index) {
    reader->LoadStyleRef(styleRef_, "StyleRef");
    // Unicodes before Multibytes: a run holding both keeps its full text.
    if (Take<TRunStr<unsigned short>>(reader->OpenUnicodes("!1:Unicodes"), kRunUnicodes)) return;
    if (Take<TRunStr<char>>(reader->OpenMultibytes("!1:Multibytes"), kRunMultibytes)) return;
    if (Take<TRunBun<KXT_SpecialChar_Rec_In>>(reader->OpenSpecialChars("!1:SpecialChars{}"), kRunSpecialChars)) return;
    if (Take<TRunBun<KXT_RefPoint_Rec_In>>(reader->OpenRefPoints("!1:RefPoints{}"), kRunRefPoints)) return;
    if (Take<TRunBun<KXT_PlaceHolder_Rec_In>>(reader->OpenPlaceHolders("!1:PlaceHolders{}"), kRunPlaceHolders)) return;
    Take<TRunStr<unsigned short>>(reader->OpenWideMultibytes("!1:WideMultibytes"), kRunWideMultibytes);
  }

  // A record run that lost part of its records would hand out records
  // with fields of their defaults, or stop early: the damage failure.
  bool Read(void* unit) override {
    if (impl_ == nullptr) return false;
    const bool read = impl_->Next(unit);
    if (!impl_->Whole()) RaiseDamage(Where() + ": its records are damaged");
    return read;
  }
  ImportRunKind Kind() override { return kind_; }
  int32_t StyleRef() override { return styleRef_; }
  // Every run the export writes holds one of the six: a run without any
  // (its stream gone, or of another type) lost its content.
  bool Damaged() override { return kind_ == kRunNone; }

 private:
  ~Run() noexcept(false) override { delete impl_; }

  template <class Impl, class Handle>
  bool Take(Handle handle, ImportRunKind kind) {
    if (!handle) return false;
    impl_ = new Impl(std::move(handle));
    kind_ = kind;
    return true;
  }

  int32_t styleRef_ = -1;
  RunImpl* impl_ = nullptr;
  ImportRunKind kind_ = kRunNone;
};

// --- paragraphs, stories, documents -------------------------------------------

class Para final : public IPara, public Common {
 public:
  static constexpr const char* kKind = "paragraph";
  static constexpr Shape kShape{"TextRun[]/", {"Attrs{}"}};
  static constexpr const char* kSetName = nullptr;
  static constexpr Shape kSetShape{nullptr, {}};
  static KXT_Set_In2* OpenChildSet(KXT_Paragraph_In2&) { return nullptr; }
  Para(KXT_Paragraph_In2* reader, KXT_Set_In2* children, KXT_Book_In2* book, Common* parent, int32_t index)
      : Common(reader, children, book, parent, kKind, index), reader_(reader) {
    reader->LoadStyleRef(styleRef_, "StyleRef");
  }

  Ref<IRun> OpenChild(int32_t index) override {
    if (index < 0) return nullptr;
    return MakeChild<Run, KXT_TextRun_In2>(reader_->OpenTextRun(index, "TextRun[]/"), this, book(), index);
  }
  int32_t StyleRef() override { return styleRef_; }

 private:
  ~Para() noexcept(false) override {}
  KXT_Paragraph_In2* reader_;
  int32_t styleRef_ = -1;
};

class Story final : public IStory, public Common {
 public:
  static constexpr const char* kKind = "story";
  static constexpr Shape kShape{nullptr, {"Attrs{}", "ParagraphsSet/"}};
  // Every story has its paragraphs set, an empty story an empty one.
  static constexpr const char* kSetName = "ParagraphsSet/";
  static constexpr Shape kSetShape{"Paragraph[]/", {"Attrs{}"}};
  static KXT_Set_In2* OpenChildSet(KXT_Story_In2& story) {
    return new KXT_ParagraphsSet_In2(story.OpenParagraphsSet(kSetName), "Paragraph[]/");
  }
  Story(KXT_Story_In2* reader, KXT_Set_In2* children, KXT_Book_In2* book, Common* parent, int32_t index)
      : Common(reader, children, book, parent, kKind, index) {}
  Ref<IPara> OpenChild(int32_t index) override {
    return MakeChild<Para, KXT_Paragraph_In2>(ChildFolder(index), this, book(), index);
  }

 private:
  ~Story() noexcept(false) override {}
};

class Doc final : public IDoc, public Common {
 public:
  static constexpr const char* kKind = "document";
  static constexpr Shape kShape{nullptr, {"Attrs{}", "StoriesSet/", "StylesSet/"}};
  static constexpr const char* kSetName = "StoriesSet/";
  static constexpr Shape kSetShape{"Story[]/", {"Attrs{}"}};
  static KXT_Set_In2* OpenChildSet(KXT_Document_In2& doc) {
    return new KXT_StoriesSet_In2(doc.OpenStoriesSet(kSetName), "Story[]/");
  }
  Doc(KXT_Document_In2* reader, KXT_Set_In2* children, KXT_Book_In2* book, Common* parent, int32_t index)
      : Common(reader, children, book, parent, kKind, index) {}
  Ref<IStory> OpenChild(int32_t index) override {
    return MakeChild<Story, KXT_Story_In2>(ChildFolder(index), this, book(), index);
  }

 private:
  ~Doc() noexcept(false) override {}
};

// --- the book -----------------------------------------------------------------

class Book final : public IBook, public Common {
 public:
  static KXT_Set_In2* OpenChildSet(KXT_Book_In2& book) {
    return new KXT_DocumentsSet_In2(book.OpenDocumentsSet("DocumentsSet/"), "Document[]/");
  }
  Book(KXT_Book_In2* reader, KXT_Set_In2* children, KXT_Handle<KXT_InStorage2> storage)
      : Common(reader, children, nullptr, nullptr), storage_(std::move(storage)) {
    templates_ = new OLEStorage(*storage_->PrivateData(), u"BrenixExportTemplates", kOLERead);
  }

  Ref<IDoc> OpenChild(int32_t index) override {
    return MakeChild<Doc, KXT_Document_In2>(ChildFolder(index), this, book(), index);
  }
  void LoadQXP(int32_t index, BXOutStream* out) override;

 private:
  ~Book() noexcept(false) override {
    KXT_Completion done;
    done.RunDelete(templates_);
    done.Run([this] { storage_.reset(); });
    done.Finish();
  }

  KXT_Handle<KXT_InStorage2> storage_;
  OLEStorage* templates_ = nullptr;
};

// Forwards the copy's output to the caller's sink.
class Strm final : public OutStream {
 public:
  explicit Strm(BXOutStream* out) : out_(out) {}
  void PutData(const void* data, uint32_t n) override {
    if (out_ != nullptr && n > 0) out_->PutData(data, n);
  }

 private:
  BXOutStream* out_;
};

void Book::LoadQXP(int32_t index, BXOutStream* out) {
  const std::string name = Export::FormatTemplateStreamName(index);
  const std::u16string wide(name.begin(), name.end());
  OLEStream stream(*templates_, wide.c_str(), kOLERead);
  const uint64_t limit = kStoredDocumentMaxSize;
  LZ_InStream_Impl inflater(stream, LZ_MaxWindowBits);
  Strm sink(out);
  uint8_t buffer[1024];
  uint64_t total = 0;
  for (uint32_t got; (got = inflater.GetData(buffer, sizeof buffer)) > 0;) {
    total += got;
    if (total > limit) {
      throw ErrorRecord{kErrorFileRead, MsgString::Create(("stored document " + name +
                                                           " inflates to more than " +
                                                           std::to_string(limit) + " bytes")
                                                              .c_str())};
    }
    sink.PutData(buffer, got);
  }
  // A stream cut short ends without zlib's end and checksum.
  if (!inflater.Ended()) {
    throw ErrorRecord{kErrorFileRead,
                      MsgString::Create(("stored document " + name + " is cut short").c_str())};
  }
}

}  // namespace

Ref<IBook> OpenImportBook(const char* path) { return ReadImportBook(OLEStorage(path, kOLERead)); }

Ref<IBook> ReadImportBook(OLEStorage storage) {
  KXT_Handle<KXT_InStorage2> container(OpenKXT2(storage));
  if (!container) return nullptr;
  KXT_Owned<KXT_Book_In2> reader(new KXT_Book_In2(container->OpenKXTFolder2()));
  if (!reader->Valid()) return nullptr;
  KXT_Owned<KXT_Set_In2> documents(Book::OpenChildSet(*reader.get()));
  return Ref<IBook>(new Book(reader.release(), documents.release(), std::move(container)));
}

uint32_t RunCodePage(IRun& run) {
  int32_t value = 0;
  if (!run.GetNumericAttr(u"codepage", value) || value == 0xFFFF) return win::kCodePageWestern;
  return static_cast<uint32_t>(value);
}

bool ReadMultibytesText(IRun& run, std::u16string& text) {
  text.clear();
  std::string bytes;
  char unit = 0;
  while (run.Read(&unit)) bytes.push_back(unit);
  return win::MultiByteToWide(RunCodePage(run), bytes.data(), bytes.size(), text);
}

}  // namespace Import
}  // namespace BX_KXT
