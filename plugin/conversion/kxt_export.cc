#include "plugin/conversion/kxt_export.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <atomic>
#include <memory>
#include <new>
#include <stdexcept>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "framework/lz_stream.h"
#include "framework/mem_file.h"
#include "framework/ole_functions.h"
#include "framework/ole_stream.h"
#include "kxt/book.h"
#include "kxt/element_model.h"
#include "kxt/kxt_bundle.h"
#include "kxt/kxt_completion.h"
#include "kxt/kxt_storage.h"
#include "kxt/typed_stream.h"

namespace BX_KXT {
namespace Export {
namespace {

std::u16string Widen(const std::string& text) { return std::u16string(text.begin(), text.end()); }

enum State : int32_t { kNew = 0, kOpen = 1, kClosed = 2 };

// True when the set holds no entry (EnumAttrs stops at the first).
bool IsEmpty(const KXT_AttrsSet& set, const KXT_StringsMap& map) {
  struct First final : KXT_AttrsSet::AttrsReceiver {
    bool any = false;
    bool Receive(const char16_t*, const char16_t*) override {
      any = true;
      return false;
    }
  } first;
  set.EnumAttrs(first, map, nullptr);
  return !first.any;
}

// Whether two texts are equal; a missing text equals none.
bool SameText(const char16_t* a, const char16_t* b) {
  if (a == nullptr || b == nullptr) return false;
  for (; *a == *b; ++a, ++b) {
    if (*a == u'\0') return true;
  }
  return false;
}

// The first four units of a text, or all of it with its end when shorter,
// packed in one word: texts with different keys differ, and a key with a
// zero unit holds its whole text, so equal keys then mean equal texts.
// Comparing keys spares loading texts that lie far apart in memory.
uint64_t KeyOf(const char16_t* text) {
  uint64_t key = 0;
  for (int i = 0; i < 4; ++i) {
    key |= uint64_t{text[i]} << (16 * i);
    if (text[i] == u'\0') break;
  }
  return key;
}

bool HoldsWholeText(uint64_t key) {
  for (int i = 0; i < 4; ++i) {
    if (((key >> (16 * i)) & 0xFFFF) == 0) return true;
  }
  return false;
}

// Small dense numbers for the attribute names in use, so that each set can
// keep its values in a short array.  A name is known by its number in the
// strings map, which keeps its strings and their numbers while it lives, so
// an entry never goes stale.  Names the map does not know are not kept (they
// may come).  Callers name attributes with the same few constants, so the
// answers for recent addresses are tried first (a few places per address),
// checked against the text.
class NameNumbers {
 public:
  explicit NameNumbers(const KXT_StringsMap& map) : map_(map) {}

  // The number of the name; -1 when the strings map does not know it.
  int32_t Find(const char16_t* name) {
    const std::size_t first = Slot(name);
    Recent* place = nullptr;  // where the answer goes: the address's, else a free one
    for (std::size_t i = 0; i < kWays; ++i) {
      Recent& recent = recent_[(first + i) % kRecent];
      if (recent.name == name) {
        if (SameText(recent.copied ? recent.copy : recent.text, name)) return recent.id;
        place = &recent;
        break;
      }
      if (place == nullptr && recent.name == nullptr) place = &recent;
    }
    const int32_t ref = map_.find(name);
    if (ref == -1) return -1;
    const int32_t id = OfRef(ref);
    Recent& recent = *(place != nullptr ? place : &recent_[first]);
    recent = Recent{name, map_[ref], id, false, {}};
    // A short name is checked against a copy kept here, close at hand.
    std::size_t length = 0;
    while (recent.text[length] != u'\0' && length + 1 < kCopy) ++length;
    if (recent.text[length] == u'\0') {
      std::copy(recent.text, recent.text + length + 1, recent.copy);
      recent.copied = true;
    }
    return id;
  }
  // The number of the name the strings map numbers `ref`.
  int32_t OfRef(int32_t ref) {
    const std::size_t at = static_cast<std::size_t>(ref);
    if (at >= ids_.size()) ids_.resize(at + 1, -1);
    if (ids_[at] == -1) ids_[at] = count_++;
    return ids_[at];
  }
  std::size_t size() const { return static_cast<std::size_t>(count_); }

 private:
  static constexpr std::size_t kCopy = 20;  // units of the copy, its end included
  struct Recent {
    const char16_t* name = nullptr;  // as the caller passed it
    const char16_t* text = nullptr;  // the map's own copy
    int32_t id = -1;
    bool copied = false;   // the text fits in the copy
    char16_t copy[kCopy];  // the text, when it fits
  };
  static constexpr std::size_t kRecent = 256;
  static constexpr std::size_t kWays = 4;

  static std::size_t Slot(const char16_t* name) {
    const auto at = static_cast<uint64_t>(reinterpret_cast<std::uintptr_t>(name));
    return static_cast<std::size_t>((at * 0x9E3779B97F4A7C15u) >> 56);  // the top 8 bits
  }

  const KXT_StringsMap& map_;
  std::vector<int32_t> ids_;  // by the map's number: the dense number, -1 for none yet
  int32_t count_ = 0;
  std::array<Recent, kRecent> recent_{};
};

// What the sets of one tree share: the name numbers; a count of changes to
// sets that have children, after which the in-force tables are checked
// again; the open sets, and whether they all came from one Open call.
class AttrSet;
struct SetTree {
  explicit SetTree(const KXT_StringsMap& map) : names(map) {}
  NameNumbers names;
  uint64_t changes = 1;
  int32_t open = 0;
  const AttrSet* openLeaf = nullptr;  // the set whose Open opened them all
  int32_t openSpan = 0;            // how many that Open opened
  // Remembered series (IAttrs::Replay) for the in-force table `remembered`:
  // each addition with the set it went to, counted up from the run.
  struct Addition {
    int32_t up;
    std::u16string name, value;
  };
  using Additions = std::vector<Addition>;
  uint64_t remembered = 0;
  static constexpr int32_t kSpans = 4;  // series are kept for up to this many open sets
  std::unordered_map<std::string, Additions> series[kSpans];  // by open sets less one
  // The series being noted: the set it is noted for, its open sets, the
  // table above them, its additions so far, and whether one was refused or
  // went elsewhere.
  struct Notes {
    const AttrSet* leaf = nullptr;
    int32_t span = 0;
    uint64_t above = 0;
    Additions additions;
    bool spoilt = false;
  };
  std::unique_ptr<Notes> notes;
};

// Numbers in-force tables as they are made, in every tree: a table's number
// names its values for as long as the process runs (atomic, so that exports
// on several threads never share a number).
uint64_t NextStamp() {
  static std::atomic<uint64_t> stamps{0};
  return stamps.fetch_add(1, std::memory_order_relaxed) + 1;
}

// The attribute set of one element: the element writer it owns, the book's
// strings map and a reference to the parent's set.
//
// Every run asks its chain of sets for each of its attributes, so each set
// keeps a copy of its values by name number; the copy is read again from
// the element's set after something was added to it (an addition may define
// more names than the one given).  A set with children also keeps the values
// in force at it, so that a run asks its parent once instead of each
// ancestor in turn.
class AttrSet : public virtual IAttrs {
 public:
  // `parent` (null for none) is held until this set is finished.
  template <class Element>
  AttrSet(KXT_StringsMap* map, KXT_Owned<Element>& element, AttrSet* parent)
      : element_(element.release()), map_(map), base_(parent != nullptr ? parent->Self() : nullptr), parent_(parent) {
    empty_ = IsEmpty(element_->AttrsSet(), *map_);
    if (parent_ != nullptr) {
      tree_ = parent_->tree_;
      depth_ = parent_->depth_ + 1;
      parent_->hasChildren_ = true;
    } else {
      tree_ = std::make_shared<SetTree>(*map_);
    }
  }

  void AddAttr(const char16_t* name, const char16_t* value) override {
    changed_ = true;
    empty_ = false;
    stale_ = true;
    ++version_;
    if (hasChildren_) ++tree_->changes;
    if (tree_->notes != nullptr) Note(name, value);
    element_->AttrsSet().AddAttr(name, value, *map_);
  }
  void Open() override {
    if (state_ != kNew) return;
    const int32_t before = tree_->open;
    for (AttrSet* set = this; set != nullptr && set->state_ == kNew; set = set->parent_) {
      set->state_ = kOpen;
      ++tree_->open;
    }
    tree_->openLeaf = before == 0 ? this : nullptr;
    tree_->openSpan = tree_->open - before;
  }
  void Close() override {
    if (tree_->notes != nullptr && tree_->notes->leaf == this) tree_->notes.reset();
    for (AttrSet* set = this; set != nullptr && set->state_ == kOpen; set = set->parent_) {
      set->state_ = kClosed;
      --tree_->open;
    }
  }
  bool SetAttr(const char16_t* name, const char16_t* value) override {
    if (name == nullptr || value == nullptr) return false;
    // A name the strings map does not know is defined by no set.
    const bool stored = SetAttr(name, tree_->names.Find(name), value);
    if (!stored && tree_->notes != nullptr) tree_->notes->spoilt = true;
    return stored;
  }
  bool Replay(const std::string& key) override {
    tree_->notes.reset();
    int32_t span = 0;
    const uint64_t above = Above(&span);
    if (above == 0) return false;
    if (tree_->remembered != above) {
      for (auto& kept : tree_->series) kept.clear();
      tree_->remembered = above;
    }
    if (span > SetTree::kSpans) return false;
    const auto& kept = tree_->series[span - 1];
    const auto found = kept.find(key);
    if (found != kept.end()) {
      for (const SetTree::Addition& addition : found->second) {
        Up(addition.up)->AddAttr(addition.name.c_str(), addition.value.c_str());
      }
      return true;
    }
    tree_->notes = std::make_unique<SetTree::Notes>();
    tree_->notes->leaf = this;
    tree_->notes->span = span;
    tree_->notes->above = above;
    return false;
  }
  void Remember(const std::string& key) override {
    std::unique_ptr<SetTree::Notes> notes = std::move(tree_->notes);
    if (notes == nullptr || notes->leaf != this) return;
    // Only a series noted under the same open sets all along, whose
    // additions all went to them and above which nothing changed, is kept.
    int32_t span = 0;
    if (!notes->spoilt && notes->above == tree_->remembered && tree_->open == notes->span &&
        tree_->openLeaf == this && Above(&span, false) == notes->above) {
      tree_->series[span - 1].emplace(key, std::move(notes->additions));
    }
  }
  int32_t Intern(const char16_t* text) override { return text == nullptr ? -1 : (*map_)[text]; }

 protected:
  // Writes "Attrs{}" when something was added, finishes the element, then
  // lets go of the parent.
  ~AttrSet() noexcept(false) override {
    if (state_ == kOpen) --tree_->open;
    if (tree_->notes != nullptr && tree_->notes->leaf == this) tree_->notes.reset();
    if (tree_->openLeaf == this) tree_->openLeaf = nullptr;
    KXT_Completion done;
    if (changed_) done.Run([this] { element_->SaveAttrsSet("Attrs{}"); });
    done.RunDelete(element_);
    done.Run([this] { base_.reset(); });
    done.Finish();
  }

  KXT_StringsMap* map() const { return map_; }
  // A reference to this set.
  Ref<IAttrs> Self() {
    AddRef();
    return Ref<IAttrs>(this);
  }

 private:
  // The hoisting store with the name's number already looked up (-1: no
  // set defines it): up the chain to the first set that defines the name;
  // when none holds the value, the highest open set below that one takes it.
  bool SetAttr(const char16_t* name, int32_t id, const char16_t* value) {
    const uint64_t key = KeyOf(value);
    // The open sets are known when none is open or when one Open from this
    // set opened them all (this set and the next openSpan - 1 above it):
    // then the parent's in-force table answers for all the sets above.
    const int32_t span = tree_->open == 0 ? 0 : tree_->openLeaf == this ? tree_->openSpan : -1;
    if (span == tree_->open) {
      if (const Value* own = Lookup(id)) return own->key == key && (HoldsWholeText(key) || SameText(own->text, value));
      int32_t definer = -1;
      if (const Force* force = parent_ != nullptr ? parent_->InForce(id) : nullptr) {
        if (force->value.key == key && (HoldsWholeText(key) || SameText(force->value.text, value))) return true;
        definer = force->depth;
      }
      const int32_t target = std::max(depth_ - span + 1, definer + 1);
      if (span == 0 || target > depth_) return false;
      AttrSet* set = this;
      for (int32_t d = depth_; d > target; --d) set = set->parent_;
      set->AddAttr(name, value);
      return true;
    }
    AttrSet* open = nullptr;
    for (AttrSet* set = this;;) {
      if (const Value* own = set->Lookup(id)) {
        if (own->key == key && (HoldsWholeText(key) || SameText(own->text, value))) return true;
        break;
      }
      if (set->state_ == kOpen) open = set;
      if (set->parent_ == nullptr) break;
      set = set->parent_;
    }
    if (open == nullptr) return false;
    open->AddAttr(name, value);
    return true;
  }

  // A value as a set keeps it: the map's copy of the text and its key.
  struct Value {
    const char16_t* text = nullptr;
    uint64_t key = 0;
  };
  // A value in force below a set, with the depth of the set defining it.
  struct Force {
    Value value;
    int32_t depth = -1;
  };

  // The set `up` sets above this one.
  AttrSet* Up(int32_t up) {
    AttrSet* set = this;
    for (; up > 0; --up) set = set->parent_;
    return set;
  }
  // The number of the in-force table above the open sets while this set's
  // Open opened them all, with their number in *span; with `empty` they must
  // also define nothing.  0 otherwise.
  uint64_t Above(int32_t* span, bool empty = true) {
    if (tree_->open == 0 || tree_->openLeaf != this || tree_->open != tree_->openSpan) return 0;
    *span = tree_->open;
    AttrSet* top = this;
    for (int32_t i = 0; i < *span; ++i) {
      if (top == nullptr || (empty && !top->empty_)) return 0;
      if (i + 1 < *span) top = top->parent_;
    }
    return top != nullptr && top->parent_ != nullptr ? Stamp(*top->parent_) : 0;
  }
  // Notes an addition to this set for the series being noted.
  void Note(const char16_t* name, const char16_t* value) {
    SetTree::Notes& notes = *tree_->notes;
    const AttrSet* set = notes.leaf;
    for (int32_t up = 0; up < notes.span && set != nullptr; ++up, set = set->parent_) {
      if (set == this) {
        notes.additions.push_back(SetTree::Addition{up, name, value});
        return;
      }
    }
    notes.spoilt = true;
  }
  static uint64_t Stamp(AttrSet& set) {
    set.Refresh();
    return set.stamp_;
  }

  // The value in force of the name at this set (its own, else its
  // ancestors'); null when none defines it.
  const Force* InForce(int32_t id) {
    if (id < 0) return nullptr;
    if (checked_ != tree_->changes) Refresh();
    const std::size_t at = static_cast<std::size_t>(id);
    return at < force_->size() && (*force_)[at].value.text != nullptr ? &(*force_)[at] : nullptr;
  }

  // Makes force_ current: a set without values of its own shares its
  // parent's table and its number; a table is made again only when the
  // set's own values or the parent's table changed since it was made.
  void Refresh() {
    if (checked_ == tree_->changes) return;
    if (parent_ != nullptr) parent_->Refresh();
    const uint64_t parentStamp = parent_ != nullptr ? parent_->stamp_ : 0;
    if (stamp_ == 0 || parentStamp != madeFrom_ || version_ != madeAt_) {
      if (empty_) {
        force_ = parent_ != nullptr ? parent_->force_ : &ownForce_;
        stamp_ = parent_ != nullptr ? parentStamp : NextStamp();
      } else {
        if (stale_) Reread();
        if (parent_ != nullptr) {
          ownForce_ = *parent_->force_;
        } else {
          ownForce_.clear();
        }
        if (ownForce_.size() < values_.size()) ownForce_.resize(values_.size());
        for (std::size_t i = 0; i < values_.size(); ++i) {
          if (values_[i].text != nullptr) ownForce_[i] = Force{values_[i], depth_};
        }
        force_ = &ownForce_;
        stamp_ = NextStamp();
      }
      madeFrom_ = parentStamp;
      madeAt_ = version_;
    }
    checked_ = tree_->changes;
  }

  // This set's own value of the name; null when it defines none.
  const Value* Lookup(int32_t id) {
    if (empty_ || id < 0) return nullptr;
    if (stale_) Reread();
    const std::size_t at = static_cast<std::size_t>(id);
    return at < values_.size() && values_[at].text != nullptr ? &values_[at] : nullptr;
  }

  // Copies the element's own values (entries the map cannot name are left
  // out, as the set's enumeration leaves them out).
  void Reread() {
    values_.assign(tree_->names.size(), Value{});
    for (const auto& entry : element_->AttrsSet().OwnEntries()) {
      if (entry.first < 0 || (*map_)[entry.first] == nullptr) continue;
      const char16_t* value = (*map_)[entry.second];
      if (value == nullptr) continue;
      const std::size_t at = static_cast<std::size_t>(tree_->names.OfRef(entry.first));
      if (at >= values_.size()) values_.resize(tree_->names.size());
      values_[at] = Value{value, KeyOf(value)};
    }
    stale_ = false;
  }

  KXT_ProcessorWithAttrs_Out2* element_;
  KXT_StringsMap* map_;
  Ref<IAttrs> base_;  // the parent's reference
  AttrSet* parent_;
  std::shared_ptr<SetTree> tree_;  // one for the book's tree
  std::vector<Value> values_;  // by name number, unless stale_
  // The values in force at this set by name number: ownForce_, or the
  // parent's table while this set has none of its own.
  std::vector<Force> ownForce_;
  const std::vector<Force>* force_ = &ownForce_;
  uint64_t checked_ = 0;   // tree_->changes when force_ was last checked
  uint64_t stamp_ = 0;     // the number of force_ as last made
  uint64_t madeFrom_ = 0;  // the parent's stamp it was made from
  uint64_t version_ = 0;   // counts additions to this set
  uint64_t madeAt_ = 0;    // version_ it was made at
  int32_t depth_ = 0;      // the book's set is 0
  bool hasChildren_ = false;

  int32_t state_ = kNew;
  bool changed_ = false;
  bool empty_ = false;
  bool stale_ = true;
};

// A style info, or a text run: a set and nothing else.
class PlainSet final : public AttrSet {
 public:
  using AttrSet::AttrSet;
};

template <class T>
struct RunKind;
template <>
struct RunKind<CF_PlaceHolder> {
  using Writer = KXT_PlaceHoldersRun_Out2;
  using Record = KXT_PlaceHolder_Rec_Out;
  static constexpr const char* kItem = "!1:PlaceHolders{}";
  static KXT_Handle<KXT_OutBundle2> Create(Writer& w) { return w.CreatePlaceHolders(kItem); }
};
template <>
struct RunKind<CF_SpecialChar> {
  using Writer = KXT_SpecialCharsRun_Out2;
  using Record = KXT_SpecialChar_Rec_Out;
  static constexpr const char* kItem = "!1:SpecialChars{}";
  static KXT_Handle<KXT_OutBundle2> Create(Writer& w) { return w.CreateSpecialChars(kItem); }
};
template <>
struct RunKind<CF_RefPoint> {
  using Writer = KXT_RefPointsRun_Out2;
  using Record = KXT_RefPoint_Rec_Out;
  static constexpr const char* kItem = "!1:RefPoints{}";
  static KXT_Handle<KXT_OutBundle2> Create(Writer& w) { return w.CreateRefPoints(kItem); }
};

template <class T>
class Run final : public IRun<T>, public AttrSet {
 public:
  Run(KXT_StringsMap* map, KXT_Owned<typename RunKind<T>::Writer>& element, KXT_Handle<KXT_OutBundle2> bundle,
      AttrSet* parent)
      : AttrSet(map, element, parent), bundle_(std::move(bundle)) {}
  void Put(const T& record) override {
    typename RunKind<T>::Record row;
    static_cast<T&>(row) = record;
    bundle_->PutRecord(row);
  }

 private:
  ~Run() noexcept(false) override { bundle_.reset(); }
  KXT_Handle<KXT_OutBundle2> bundle_;
};

// Runs whose content is one typed stream written at once.
template <class Writer, class Unit>
Ref<IAttrs> TextRun(KXT_StringsMap* map, const KXT_Handle<KXT_OutFolder2>& folder, const void* data, uint32_t units,
                    int32_t styleRef, KXT_Handle<KXT_OutStream2> (Writer::*create)(const char*), const char* item,
                    AttrSet* parent) {
  KXT_Owned<Writer> element(new Writer(folder));
  {
    KXT_Handle<KXT_OutStream2> stream(((*element.get()).*create)(item));
    if (units > 0) dynamic_cast<KXT_Out<Unit>&>(*stream).PutData(static_cast<const Unit*>(data), units);
  }
  if (styleRef != -1) element->SaveStyleRef(styleRef, "StyleRef");
  return Ref<IAttrs>(new PlainSet(map, element, parent));
}

class Para final : public IPara, public AttrSet {
 public:
  Para(KXT_StringsMap* map, KXT_Owned<KXT_Paragraph_Out2>& element, AttrSet* parent)
      : Para(map, element.get(), element, parent) {}

  Ref<IRun<CF_PlaceHolder>> NewPlaceHoldersRun(int32_t styleRef) override { return NewRun<CF_PlaceHolder>(styleRef); }
  Ref<IRun<CF_SpecialChar>> NewSpecialCharsRun(int32_t styleRef) override { return NewRun<CF_SpecialChar>(styleRef); }
  Ref<IRun<CF_RefPoint>> NewRefPointsRun(int32_t styleRef) override { return NewRun<CF_RefPoint>(styleRef); }
  Ref<IAttrs> NewUnicodesRun(const void* data, uint32_t byteCount, int32_t styleRef) override {
    return TextRun<KXT_UnicodesRun_Out2, unsigned short>(map(), NextRun(), data, byteCount / 2, styleRef,
                                                         &KXT_UnicodesRun_Out2::CreateUnicodes, "!1:Unicodes", this);
  }
  Ref<IAttrs> NewMultibytesRun(const void* data, uint32_t byteCount, int32_t styleRef) override {
    return TextRun<KXT_MultibytesRun_Out2, char>(map(), NextRun(), data, byteCount, styleRef,
                                                 &KXT_MultibytesRun_Out2::CreateMultibytes, "!1:Multibytes", this);
  }
  Ref<IAttrs> NewWideMultibytesRun(const void* data, uint32_t unitCount, int32_t styleRef) override {
    return TextRun<KXT_WideMultibytesRun_Out2, unsigned short>(map(), NextRun(), data, unitCount, styleRef,
                                                               &KXT_WideMultibytesRun_Out2::CreateWideMultibytes,
                                                               "!1:WideMultibytes", this);
  }


 private:
  Para(KXT_StringsMap* map, KXT_Paragraph_Out2* paragraph, KXT_Owned<KXT_Paragraph_Out2>& element,
       AttrSet* parent)
      : AttrSet(map, element, parent), paragraph_(paragraph) {}
  KXT_Handle<KXT_OutFolder2> NextRun() { return paragraph_->CreateTextRun(runs_++, "TextRun[]/"); }
  template <class T>
  Ref<IRun<T>> NewRun(int32_t styleRef) {
    KXT_Owned<typename RunKind<T>::Writer> element(new typename RunKind<T>::Writer(NextRun()));
    KXT_Handle<KXT_OutBundle2> bundle(RunKind<T>::Create(*element.get()));
    if (styleRef != -1) element->SaveStyleRef(styleRef, "StyleRef");
    return Ref<IRun<T>>(new Run<T>(map(), element, std::move(bundle), this));
  }

  KXT_Paragraph_Out2* paragraph_;
  int32_t runs_ = 0;
};

class Story final : public IStory, public AttrSet {
 public:
  Story(KXT_StringsMap* map, KXT_Owned<KXT_Story_Out2>& element, AttrSet* parent)
      : Story(map, element.get(), element, parent) {}

  Ref<IPara> NewParagraph(int32_t /*index*/, int32_t styleRef) override {
    KXT_Owned<KXT_Paragraph_Out2> element(new KXT_Paragraph_Out2(paragraphs_->CreateElement(count_++)));
    if (styleRef != -1) element->SaveStyleRef(styleRef, "StyleRef");
    return Ref<IPara>(new Para(map(), element, this));
  }

 private:
  Story(KXT_StringsMap* map, KXT_Story_Out2* story, KXT_Owned<KXT_Story_Out2>& element, AttrSet* parent)
      : AttrSet(map, element, parent),
        paragraphs_(new KXT_ParagraphsSet_Out2(story->CreateParagraphsSet("ParagraphsSet/"), "Paragraph[]/")) {}
  ~Story() noexcept(false) override {
    KXT_Completion done;
    done.RunDelete(paragraphs_);
    done.Finish();
  }

  KXT_ParagraphsSet_Out2* paragraphs_;
  int32_t count_ = 0;
};

class Doc final : public IDoc, public AttrSet {
 public:
  Doc(KXT_StringsMap* map, KXT_Owned<KXT_Document_Out2>& element, AttrSet* parent)
      : Doc(map, element.get(), element, parent) {}

  Ref<IAttrs> NewStyle(int32_t /*index*/, int32_t thisStyleRef, int32_t baseStyleRef) override {
    KXT_Owned<KXT_StyleInfo_Out2> element(new KXT_StyleInfo_Out2(styles_->CreateElement(styleCount_++)));
    element->SaveThisStyleRef(thisStyleRef, "ThisStyleRef");
    if (baseStyleRef != -1) element->SaveBaseStyleRef(baseStyleRef, "BaseStyleRef");
    return Ref<IAttrs>(new PlainSet(map(), element, nullptr));
  }
  Ref<IStory> NewStory(int32_t /*index*/) override {
    KXT_Owned<KXT_Story_Out2> element(new KXT_Story_Out2(stories_->CreateElement(storyCount_++)));
    return Ref<IStory>(new Story(map(), element, this));
  }

 private:
  Doc(KXT_StringsMap* map, KXT_Document_Out2* doc, KXT_Owned<KXT_Document_Out2>& element, AttrSet* parent)
      : AttrSet(map, element, parent) {
    KXT_Completion done;  // a failure here leaves nothing behind
    styles_ = new KXT_StylesSet_Out2(doc->CreateStylesSet("StylesSet/"), "StyleInfo[]/");
    try {
      stories_ = new KXT_StoriesSet_Out2(doc->CreateStoriesSet("StoriesSet/"), "Story[]/");
    } catch (...) {
      done.RunDelete(styles_);
      throw;
    }
  }
  ~Doc() noexcept(false) override {
    KXT_Completion done;
    done.RunDelete(stories_);
    done.RunDelete(styles_);
    done.Finish();
  }

  KXT_StylesSet_Out2* styles_ = nullptr;
  KXT_StoriesSet_Out2* stories_ = nullptr;
  int32_t styleCount_ = 0;
  int32_t storyCount_ = 0;
};

class Book final : public IBook, public AttrSet {
 public:
  Book(KXT_Owned<KXT_Book_Out2>& element, OLEStorage& privateData)
      : Book(element.get(), element, privateData) {}

  Ref<IDoc> NewDocument(int32_t /*index*/) override {
    KXT_Owned<KXT_Document_Out2> element(new KXT_Document_Out2(documents_->CreateElement(count_++)));
    return Ref<IDoc>(new Doc(map(), element, this));
  }
  void StoreQXP(int32_t number, BXInStream* source) override;
  void StoreDeflated(int32_t number, const std::string& deflated) override;

 private:
  Book(KXT_Book_Out2* book, KXT_Owned<KXT_Book_Out2>& element, OLEStorage& privateData)
      : AttrSet(&book->StringsMap(), element, nullptr) {
    documents_ = new KXT_DocumentsSet_Out2(book->CreateDocumentsSet("DocumentsSet/"), "Document[]/");
    try {
      templates_ = new OLEStorage(privateData, u"BrenixExportTemplates", kOLECreate);
    } catch (...) {
      KXT_Completion done;
      done.RunDelete(documents_);
      throw;
    }
    // Closed from the outset: the book's defaults are never overwritten by
    // hoisting.
    Open();
    Close();
  }
  ~Book() noexcept(false) override {
    KXT_Completion done;
    done.RunDelete(templates_);
    done.RunDelete(documents_);
    done.Finish();
  }

  KXT_DocumentsSet_Out2* documents_ = nullptr;
  OLEStorage* templates_ = nullptr;
  int32_t count_ = 0;
};

// The source as the copy's input.
class SourceStream final : public InStream {
 public:
  explicit SourceStream(BXInStream& source) : source_(source) {}
  uint32_t GetData(void* buffer, uint32_t n) override { return source_.GetData(buffer, n); }

 private:
  BXInStream& source_;
};

// Copies every byte of `in` to `out`, `bufferSize` at a time.  A stream
// holds at most 4 GiB less one byte (the copy's count is 32 bits): a larger
// source is refused (std::length_error), never stored cut short.
void CopyWhole(SourceStream& in, OutStream& out, uint32_t bufferSize) {
  constexpr uint32_t kMost = 0xFFFFFFFFu;
  uint8_t more = 0;
  if (CopyStreamData(in, out, kMost, bufferSize) == kMost && in.GetData(&more, 1) != 0) {
    throw std::length_error("the document to store is larger than 4 GiB; it is not stored");
  }
}

// The compression of a stored document.
constexpr LZ_CompressionLevel kTemplateLevel = LZ_DefaultCompression;
constexpr LZ_WindowBits kTemplateWindow = LZ_MaxWindowBits;
constexpr LZ_MemoryLevel kTemplateMemory = LZ_DefaultMemoryLevel;

// Writes stream `number` of the templates storage with `write`; when that
// fails, no stream of that name remains that reads as a whole document.
template <class Write>
void StoreTemplate(OLEStorage& templates, int32_t number, Write write) {
  const std::u16string name = Widen(FormatTemplateStreamName(number));
  try {
    OLEStream stream(templates, name.c_str(), kOLECreate);
    write(stream);
  } catch (...) {
    try {
      templates.DestroyItem(name.c_str());
    } catch (...) {
    }
    throw;
  }
}

// Puts `bytes` into `out` in pieces its PutData takes.
void PutAll(OutStream& out, const std::string& bytes) {
  constexpr std::size_t kPiece = 1 << 20;
  for (std::size_t at = 0; at < bytes.size(); at += kPiece) {
    out.PutData(bytes.data() + at, static_cast<uint32_t>(std::min(kPiece, bytes.size() - at)));
  }
}

void Book::StoreQXP(int32_t number, BXInStream* source) {
  StoreTemplate(*templates_, number, [source](OutStream& stream) {
    LZ_OutStream_Impl compressor(stream, kTemplateLevel, kTemplateWindow, kTemplateMemory);
    if (source != nullptr) {
      SourceStream in(*source);
      CopyWhole(in, compressor, 1024);
    }
  });
}

void Book::StoreDeflated(int32_t number, const std::string& deflated) {
  StoreTemplate(*templates_, number, [&deflated](OutStream& stream) { PutAll(stream, deflated); });
}

}  // namespace

std::string DeflateTemplate(BXInStream& source) {
  MemOutFile out;
  {
    LZ_OutStream_Impl compressor(out, kTemplateLevel, kTemplateWindow, kTemplateMemory);
    SourceStream in(source);
    CopyWhole(in, compressor, 0x10000);
  }
  return std::string(static_cast<const char*>(out.Data()), out.Size());
}

void PutPlaceHolder(Ref<IRun<CF_PlaceHolder>> run, int32_t objectId, const char16_t* type) {
  CF_PlaceHolder record;
  record.m_ObjectFolderID = objectId;
  record.m_ObjectTypeRef = run->Intern(type);
  run->Put(record);
}

void PutRefPoint(Ref<IRun<CF_RefPoint>> run, int32_t objectId, const char16_t* refType) {
  CF_RefPoint record;
  record.m_ObjectFolderID = objectId;
  record.m_ObjectTypeRef = run->Intern(nullptr);
  record.m_RefTypeRef = run->Intern(refType);
  run->Put(record);
}

void PutSpecialChar(Ref<IRun<CF_SpecialChar>> run, const char16_t* name, const char16_t* data) {
  CF_SpecialChar record;
  record.m_NameRef = run->Intern(name);
  record.m_DataRef = run->Intern(data);
  run->Put(record);
}

Ref<IBook> CreateExportBook(const char* path) { return NewExportBook(OLEStorage(path, kOLECreate)); }

Ref<IBook> NewExportBook(OLEStorage storage) {
  KXT_Handle<KXT_OutStorage2> container(CreateKXT2(storage, false));
  KXT_Owned<KXT_Book_Out2> writer(new KXT_Book_Out2(container->CreateKXTFolder2()));
  return Ref<IBook>(new Book(writer, *container->PrivateData()));
}

std::string FormatTemplateStreamName(int32_t number) { return std::to_string(number); }

}  // namespace Export
}  // namespace BX_KXT
