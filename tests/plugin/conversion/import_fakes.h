// A container story held in memory for the import tests: documents,
// stories, paragraphs and runs with their attributes and a strings map,
// behind the reader interfaces the importer walks.
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

// Attribute lookups that fall back to the parent's.
class FakeCommon : public virtual ICommon {
 public:
  FakeCommon(Attrs attrs, const Strings* strings, FakeCommon* parent)
      : attrs_(std::move(attrs)), strings_(strings), parent_(parent) {}
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
    std::string digits(text, text + std::char_traits<char16_t>::length(text));
    try {
      size_t used = 0;
      value = std::stoi(digits, &used);
      return used == digits.size();
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

 private:
  Attrs attrs_;
  const Strings* strings_;
  FakeCommon* parent_;
};

// A run: units (kinds 1, 2, 3) or records of up to three numbers (4, 5, 6).
struct RunSpec {
  ImportRunKind kind = kRunUnicodes;
  std::u16string units;
  std::string bytes;
  std::vector<std::array<int32_t, 3>> records;
  Attrs attrs;
};

class FakeRun : public IRun, public FakeCommon {
 public:
  FakeRun(const RunSpec& spec, const Strings* strings, FakeCommon* parent)
      : FakeCommon(spec.attrs, strings, parent), spec_(spec) {}
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

struct ParaSpec {
  std::vector<RunSpec> runs;
  Attrs attrs;
};

struct StorySpec {
  std::vector<ParaSpec> paragraphs;
  Attrs attrs;
};

// A story; its strings map serves every element below it.
class FakeStory : public IStory, public FakeCommon {
 public:
  FakeStory(const StorySpec& spec, const Strings* strings, FakeCommon* parent = nullptr)
      : FakeCommon(spec.attrs, strings, parent), spec_(spec), strings_(strings) {}
  Handle<IPara> OpenPara(int32_t index) override {
    if (index < 0 || static_cast<size_t>(index) >= spec_.paragraphs.size()) return {};
    return Handle<IPara>::Adopt(
        new FakeParaOf(spec_.paragraphs[static_cast<size_t>(index)], strings_, this));
  }

 private:
  // A paragraph whose runs share the story's strings map.
  class FakeParaOf : public IPara, public FakeCommon {
   public:
    FakeParaOf(const ParaSpec& spec, const Strings* strings, FakeCommon* parent)
        : FakeCommon(spec.attrs, strings, parent), spec_(spec), strings_(strings) {}
    Handle<IRun> OpenRun(int32_t index) override {
      if (index < 0 || static_cast<size_t>(index) >= spec_.runs.size()) return {};
      return Handle<IRun>::Adopt(new FakeRun(spec_.runs[static_cast<size_t>(index)], strings_, this));
    }

   private:
    ParaSpec spec_;
    const Strings* strings_;
  };

  StorySpec spec_;
  const Strings* strings_;
};

class FakeDoc : public IDoc, public FakeCommon {
 public:
  FakeDoc(std::vector<StorySpec> stories, Strings strings)
      : FakeCommon({}, &strings_, nullptr), stories_(std::move(stories)), strings_(std::move(strings)) {}
  Handle<IStory> OpenStory(int32_t index) override {
    if (index < 0 || static_cast<size_t>(index) >= stories_.size()) return {};
    return Handle<IStory>::Adopt(new FakeStory(stories_[static_cast<size_t>(index)], &strings_, this));
  }

 private:
  std::vector<StorySpec> stories_;
  Strings strings_;
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
