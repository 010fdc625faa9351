// A container held in memory for the import tests: documents, stories,
// paragraphs and runs with their attributes and one strings map, behind the
// reader interfaces the importer walks.
#pragma once

#include <array>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "plugin/conversion/kxt_import.h"

namespace import_test {

using namespace BX_KXT::Import;

using Attrs = std::map<std::u16string, std::u16string>;
using Strings = std::map<int32_t, std::u16string>;

// A run: units (kinds 1, 3), bytes (kind 2) or records of up to three
// numbers (kinds 4, 5, 6).
struct RunSpec {
  ImportRunKind kind = kRunUnicodes;
  std::u16string units;
  std::string bytes;
  std::vector<std::array<int32_t, 3>> records;
  Attrs attrs;
};

struct ParaSpec {
  std::vector<RunSpec> runs;
  Attrs attrs;
};

struct StorySpec {
  std::vector<ParaSpec> paragraphs;
  Attrs attrs;
};

// Attribute look-ups that fall back to the parent's; the strings map is
// shared by the whole tree.
template <class Interface>
class Fake : public Interface {
 public:
  Fake(Attrs attrs, const Strings* strings, ICommon* parent)
      : strings_(strings), attrs_(std::move(attrs)), parent_(parent) {}
  const char16_t* GetString(int32_t number) override {
    const auto found = strings_->find(number);
    return found == strings_->end() ? nullptr : found->second.c_str();
  }
  const char16_t* GetAttr(const char16_t* name) override {
    const auto found = attrs_.find(name);
    if (found != attrs_.end()) return found->second.c_str();
    return parent_ != nullptr ? parent_->GetAttr(name) : nullptr;
  }
  bool GetNumericAttr(const char16_t* name, int32_t& value) override {
    const char16_t* text = GetAttr(name);
    if (text == nullptr || *text == u'\0') return false;
    const std::string digits(text, text + std::char_traits<char16_t>::length(text));
    try {
      size_t used = 0;
      const int32_t parsed = std::stoi(digits, &used);
      if (used != digits.size()) return false;
      value = parsed;
      return true;
    } catch (...) {
      return false;
    }
  }
  int32_t FindString(const char16_t* text) override {
    for (const auto& [number, value] : *strings_) {
      if (value == text) return number;
    }
    return -1;
  }

 protected:
  const Strings* strings_;

 private:
  Attrs attrs_;
  ICommon* parent_;
};

class FakeRun : public Fake<IRun> {
 public:
  FakeRun(const RunSpec& spec, const Strings* strings, ICommon* parent)
      : Fake(spec.attrs, strings, parent), spec_(spec) {}
  bool Read(void* unit) override {
    switch (spec_.kind) {
      case kRunUnicodes:
      case kRunWideMultibytes:
        if (next_ >= spec_.units.size()) return false;
        *static_cast<uint16_t*>(unit) = spec_.units[next_++];
        return true;
      case kRunMultibytes:
        if (next_ >= spec_.bytes.size()) return false;
        *static_cast<char*>(unit) = spec_.bytes[next_++];
        return true;
      case kRunNone:
        return false;
      default: {
        if (next_ >= spec_.records.size()) return false;
        const size_t fields = spec_.kind == kRunRefPoints ? 3 : 2;
        for (size_t i = 0; i < fields; ++i) static_cast<int32_t*>(unit)[i] = spec_.records[next_][i];
        ++next_;
        return true;
      }
    }
  }
  ImportRunKind Kind() override { return spec_.kind; }
  int32_t StyleRef() override { return -1; }

 private:
  RunSpec spec_;
  size_t next_ = 0;
};

class FakePara : public Fake<IPara> {
 public:
  FakePara(const ParaSpec& spec, const Strings* strings, ICommon* parent)
      : Fake(spec.attrs, strings, parent), spec_(spec) {}
  Ref<IRun> OpenChild(int32_t index) override {
    if (index < 0 || static_cast<size_t>(index) >= spec_.runs.size()) return nullptr;
    return Ref<IRun>(new FakeRun(spec_.runs[static_cast<size_t>(index)], strings_, this));
  }
  int32_t StyleRef() override { return -1; }

 private:
  ParaSpec spec_;
};

class FakeStory : public Fake<IStory> {
 public:
  FakeStory(const StorySpec& spec, const Strings* strings, ICommon* parent = nullptr)
      : Fake(spec.attrs, strings, parent), spec_(spec) {}
  Ref<IPara> OpenChild(int32_t index) override {
    if (index < 0 || static_cast<size_t>(index) >= spec_.paragraphs.size()) return nullptr;
    return Ref<IPara>(new FakePara(spec_.paragraphs[static_cast<size_t>(index)], strings_, this));
  }

 private:
  StorySpec spec_;
};

class FakeDoc : public Fake<IDoc> {
 public:
  FakeDoc(std::vector<StorySpec> stories, const Strings* strings)
      : Fake({}, strings, nullptr), stories_(std::move(stories)) {}
  Ref<IStory> OpenChild(int32_t index) override {
    if (index < 0 || static_cast<size_t>(index) >= stories_.size()) return nullptr;
    return Ref<IStory>(new FakeStory(stories_[static_cast<size_t>(index)], strings_, this));
  }

 private:
  std::vector<StorySpec> stories_;
};

inline RunSpec Text(const std::u16string& units, Attrs attrs = {}) {
  RunSpec run;
  run.units = units;
  run.attrs = std::move(attrs);
  return run;
}

inline RunSpec Records(ImportRunKind kind, std::vector<std::array<int32_t, 3>> records) {
  RunSpec run;
  run.kind = kind;
  run.records = std::move(records);
  return run;
}

}  // namespace import_test
