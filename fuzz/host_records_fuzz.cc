// The plug-in's readers of host records over blocks as a host hands them:
// the input is everything the host answers (a story's text reference and
// length, its paragraph-run and character-run tables with counts that need
// not fit, the text, the paragraph-format and character-attribute records,
// baseline shifts, the font list block and its entries, and a host file
// spec).  The plug-in walks the story as the export does, builds each run's
// character context with its font, takes its size and shift as attributes, lists the
// fonts and reads the file spec's name.  Nothing may crash or read outside
// what the host handed over.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <map>
#include <new>
#include <string>
#include <vector>

#include "fuzz/quiet.h"
#include "plugin/qapi/attr_sets.h"
#include "plugin/qapi/host_text.h"
#include "plugin/qapi/q_font_list.h"
#include "plugin/qapi/size_shift.h"
#include "plugin/qapi/story_runs.h"
#include "support/host_file_spec.h"
#include "support/host_link.h"

namespace {

// The host's answers, taken from the input in the order they are asked for;
// past its end every answer is made of zeros and every call fails.
class Answers {
 public:
  void Reset(const uint8_t* data, size_t size) {
    data_ = data;
    size_ = size;
    at_ = 0;
  }
  void Bytes(void* out, size_t n) {
    auto* bytes = static_cast<uint8_t*>(out);
    for (size_t i = 0; i < n; ++i) bytes[i] = at_ < size_ ? data_[at_++] : 0;
  }
  template <class T>
  T Take() {
    T value{};
    Bytes(&value, sizeof value);
    return value;
  }
  // A result: mostly success, sometimes a failure; once the input is used
  // up, every call fails.
  int32_t Result() { return at_ < size_ && Take<uint8_t>() < 240 ? kXTOk : kXTErrParam; }

 private:
  const uint8_t* data_ = nullptr;
  size_t size_ = 0;
  size_t at_ = 0;
};

Answers answers;
std::map<XTHandle, std::vector<uint8_t>> blocks;
XTHandle nextBlock = 1;

// Memory blocks, as the host keeps them.
int32_t NewHandle(uint32_t size, XTHandle* handle) {
  if (size > (1u << 20)) return kXTErrParam;
  blocks[nextBlock].assign(size, 0);
  *handle = nextBlock++;
  return kXTOk;
}
int32_t DisposeHandle(XTHandle handle) { return blocks.erase(handle) ? kXTOk : kXTErrParam; }
int32_t HandleSize(XTHandle handle, uint32_t* size) {
  auto found = blocks.find(handle);
  if (found == blocks.end()) return kXTErrParam;
  *size = static_cast<uint32_t>(found->second.size());
  return kXTOk;
}
int32_t HandleData(XTHandle handle, void** data) {
  auto found = blocks.find(handle);
  if (found == blocks.end()) return kXTErrParam;
  *data = found->second.empty() ? nullptr : found->second.data();
  return kXTOk;
}

// A block resized to what the input says, filled from it.
int32_t FillBlock(XTHandle handle, uint32_t* count) {
  auto found = blocks.find(handle);
  if (found == blocks.end()) return kXTErrParam;
  const uint16_t size = answers.Take<uint16_t>() % 4096;
  found->second.resize(size);
  answers.Bytes(found->second.data(), size);
  *count = answers.Take<uint32_t>();
  return answers.Result();
}

int32_t StoryText(int32_t, XTTextRef* ref, int32_t* length, int32_t* box, int32_t* document) {
  *ref = 7;
  *length = answers.Take<int16_t>();  // negative too: the host may say anything
  *box = answers.Take<int32_t>();
  *document = answers.Take<int32_t>();
  return answers.Result();
}
int32_t ParagraphRuns(XTTextRef, XTHandle table, uint32_t* count) { return FillBlock(table, count); }
int32_t CharacterRuns(XTTextRef, XTHandle table, uint32_t* count) { return FillBlock(table, count); }
int32_t ReadText(XTTextRef, int32_t, int32_t count, char16_t* out) {
  if (count < 0) return kXTErrParam;
  answers.Bytes(out, static_cast<size_t>(count) * sizeof(char16_t));
  return answers.Result();
}

int32_t AttributeContext(XTTextRef, XTAttrContext* context) {
  *context = 3;
  return answers.Result();
}
int32_t ParagraphFormat(XTAttrContext, int32_t, XTParaFormatRecord* record, uint16_t* word) {
  answers.Bytes(record, sizeof *record);
  *word = answers.Take<uint16_t>();
  return answers.Result();
}
int32_t CharacterAttributes(XTAttrContext, int32_t, XTCharAttrRecord* record, uint16_t* word) {
  answers.Bytes(record, sizeof *record);
  *word = answers.Take<uint16_t>();
  return answers.Result();
}
int32_t SelectionAttributes(XTCharAttrRecord* record) {
  answers.Bytes(record, sizeof *record);
  return answers.Result();
}
int32_t BaselineShift(int32_t, int32_t, int32_t* absolute) {
  *absolute = answers.Take<int32_t>();
  return answers.Result();
}

int32_t ToolMode(int32_t* mode) {
  *mode = 1;
  return kXTOk;
}
int32_t SetToolMode(int32_t) { return kXTOk; }

int32_t CurrentProject(XTProject* project) {
  *project = 1;
  return kXTOk;
}
int32_t CloseProject(XTProject, int32_t) { return kXTOk; }

int32_t CheckFonts(XTProject) { return answers.Result(); }
int32_t FontList(XTProject, XTHandle* list, int32_t* owner) {
  // A host that fails keeps its block.
  if (answers.Result() != kXTOk || NewHandle(0, list) != kXTOk) return kXTErrParam;
  uint32_t ignored = 0;
  *owner = answers.Take<uint8_t>() % 8 == 0 ? 0 : 1;
  FillBlock(*list, &ignored);
  return kXTOk;
}
int32_t FontEntry(XTHandle, int32_t, uint16_t* id, char16_t* name, int32_t capacity, int32_t, int32_t) {
  *id = answers.Take<uint16_t>() % 64;
  // Names as long as the host likes, up to the room given, and not always
  // ended.
  const int32_t units = answers.Take<uint8_t>() % 2 ? capacity : answers.Take<uint8_t>() % (capacity + 1);
  answers.Bytes(name, static_cast<size_t>(units) * sizeof(char16_t));
  return answers.Result();
}

const XTMemorySuite kMemory = {kXTSuiteLGE2, NewHandle, DisposeHandle, HandleSize, HandleData};
// Only the reading entries; the rest stay null.
XTStoryTextSuite MakeStories() {
  XTStoryTextSuite suite{};
  suite.code = kXTSuiteLGF2;
  suite.story_text = StoryText;
  suite.paragraph_runs = ParagraphRuns;
  suite.character_runs = CharacterRuns;
  suite.read_text = ReadText;
  return suite;
}
const XTStoryTextSuite kStories = MakeStories();
const XTTextAttributeSuite kAttributes = {kXTSuiteLGG2,        AttributeContext, ParagraphFormat,
                                          CharacterAttributes, SelectionAttributes, BaselineShift};
XTSelectionSuite MakeSelection() {
  XTSelectionSuite suite{};
  suite.code = kXTSuiteLGH2;
  suite.tool_mode = ToolMode;
  suite.set_tool_mode = SetToolMode;
  return suite;
}
const XTSelectionSuite kSelection = MakeSelection();
const XTProjectSuite kProjects = {kXTTableXPJc, CurrentProject, CloseProject, nullptr};
const XTFontSuite kFonts = {kXTSuiteLGJ2, CheckFonts, FontList, FontEntry, nullptr, nullptr};

// Collects attributes, as an element's attribute set would.
struct Collected : AttrWriter {
  int count = 0;
  bool SetAttr(const char16_t* name, const char16_t* value) override {
    if (name == nullptr || value == nullptr) __builtin_trap();
    ++count;
    return true;
  }
};

void WalkStory(QFontList& fonts) {
  try {
    StoryRunIterator it(1);
    StoryRunPosition position;
    StoryRunIterator::Begin(position, it);
    const size_t copy = std::strlen(it.Text());
    if (copy > static_cast<size_t>(std::max(it.runs.walkLength, 0))) __builtin_trap();
    for (int steps = 0; steps < 256 && it.HasMore(position); ++steps) {
      const int32_t boundary = it.NextBoundary(position);
      if (boundary < position.boundary || boundary > position.limit) __builtin_trap();
      it.CurrentStyle(position);
      it.RunEndsInParagraph(position);
      const HostTextRecord record = MakeHostTextRecord(position, fonts, steps, steps % 2 == 0);
      Collected attrs;
      GetSizeShiftAttrs(record.attributes, attrs);
      it.Advance(position);
    }
  } catch (const std::bad_alloc&) {
    // A table the host would not give.
  }
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
  QuietFuzzTarget(argc, argv);
  DiscardProgramLog();
  // The diagnostics go nowhere.
  if (!std::freopen("/dev/null", "w", stdout)) return 0;
  HostLink& link = XT();
  link.lge2 = &kMemory;
  link.lgf2 = &kStories;
  link.lgg2 = &kAttributes;
  link.lgh2 = &kSelection;
  link.projects = &kProjects;
  link.lgj2 = &kFonts;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  answers.Reset(data, size);
  {
    QFontList fonts;
    for (uint16_t id = 0; id < 64; id += 7) fonts.Find(id);
    fonts.FindByName(u"Arial");
    WalkStory(fonts);
  }
  // Every block the plug-in was handed or made went back.
  if (!blocks.empty()) __builtin_trap();

  // A host file spec: its name need not be ended within the record.
  XTFileSpec spec;
  answers.Bytes(&spec, sizeof spec);
  std::string name;
  GetRecordName(spec, name);
  if (name.size() >= sizeof spec.name) __builtin_trap();
  ChangeSpecExtension(spec, ".kxt");
  GetRecordName(spec, name);
  return 0;
}
