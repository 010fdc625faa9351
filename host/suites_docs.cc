// Suites of document access: memory blocks, story text, text attributes,
// the application's tool mode, current box and selection, the current
// document, fonts.
#include <algorithm>
#include <array>
#include <cstring>
#include <limits>

#include "host/document_ops.h"
#include "host/host.h"
#include "host/story_changes.h"
#include "host/suites_docs.h"
#include "host/transcript.h"
#include "host/utf.h"
#include "platform/win/code_pages.h"

namespace xthost {
namespace {

// Blocks larger than this are refused.
constexpr uint32_t kMaxBlock = 256u << 20;
// Font-list entries: id, 0, offset of the name in units, its length.
constexpr int32_t kFontEntrySize = 12;

// Where a call works: a document, its content and, for text, the story.
struct Place {
  int32_t document = 0;
  DocumentContent* content = nullptr;
  Story* story = nullptr;
};

// The current document and its content; kXTErrNoDocument without one.
int32_t Current(Host& host, Place* at) {
  at->content = CurrentContent(host);
  if (at->content == nullptr) return kXTErrNoDocument;
  at->document = host.app().current_document;
  return kXTOk;
}

// What a text reference names, as it is now.
int32_t Resolve(Host& host, XTTextRef ref, Place* at) {
  DocumentSpace::TextTarget target;
  if (!host.docs.Lookup(ref, &target)) return kXTErrParam;
  at->content = ContentOf(host, target.document);
  at->story = at->content != nullptr ? at->content->FindStory(target.story) : nullptr;
  if (at->story == nullptr || at->story->version != target.version) return kXTErrStaleText;
  at->document = target.document;
  return kXTOk;
}

// Whether a story is locked (option kXTStoryLocked): its text, attributes
// and formats stay as they are.
bool Locked(const Story& story) { return ((story.options >> kXTStoryLocked) & 1) != 0; }

// A box of the current document by handle.
Box* CurrentBox(Host& host, XTBox handle, DocumentContent** content) {
  Place at;
  if (Current(host, &at) != kXTOk || (handle >> 16) != at.document) return nullptr;
  *content = at.content;
  return at.content->FindBox(handle & 0xFFFF);
}

void PutWord(std::vector<uint8_t>& block, std::size_t word, int32_t value) {
  std::memcpy(block.data() + word * 4, &value, 4);
}

// --- LGE2: memory blocks ---

int32_t NewHandle(uint32_t size, XTHandle* handle) {
  Host& host = Host::Current();
  if (host.Fails("new_handle")) return kXTErrInjected;
  if (handle == nullptr || size > kMaxBlock) return kXTErrParam;
  *handle = host.docs.blocks.Add(std::vector<uint8_t>(size, 0));
  return kXTOk;
}

int32_t DisposeHandle(XTHandle handle) {
  Host& host = Host::Current();
  if (host.Fails("dispose_handle")) return kXTErrInjected;
  return host.docs.blocks.Remove(handle) ? kXTOk : kXTErrParam;
}

int32_t HandleSize(XTHandle handle, uint32_t* size) {
  Host& host = Host::Current();
  if (host.Fails("handle_size")) return kXTErrInjected;
  const std::vector<uint8_t>* block = host.docs.blocks.Find(handle);
  if (block == nullptr || size == nullptr) return kXTErrParam;
  *size = static_cast<uint32_t>(block->size());
  return kXTOk;
}

int32_t HandleData(XTHandle handle, void** data) {
  Host& host = Host::Current();
  if (host.Fails("handle_data")) return kXTErrInjected;
  std::vector<uint8_t>* block = host.docs.blocks.Find(handle);
  if (block == nullptr || data == nullptr) return kXTErrParam;
  *data = block->empty() ? nullptr : block->data();
  return kXTOk;
}

// --- LGF2: story text ---

int32_t StoryText(int32_t story_id, XTTextRef* ref, int32_t* length, int32_t* first_box,
                  int32_t* document) {
  Host& host = Host::Current();
  if (host.Fails("story_text")) return kXTErrInjected;
  if (ref == nullptr || length == nullptr || first_box == nullptr || document == nullptr) {
    return kXTErrParam;
  }
  Place at;
  if (const int32_t result = Current(host, &at); result != kXTOk) return result;
  const Story* story = at.content->FindStory(story_id);
  if (story == nullptr) return kXTErrParam;
  *ref = host.docs.RefOf(at.document, *story);
  *length = story->length();
  const Box* first = at.content->FirstOfChain(story_id);
  *first_box = first == nullptr ? 0 : BoxHandle(at.document, first->id);
  *document = at.document;
  ++host.docs.text_requests;
  return kXTOk;
}

// Fills the block `table` with one row of `words` words for each element of
// the story's `runs` that the text `ref` names (none for reference 0), the
// words of a row the first of `row(element)` (called in order), and sets *count to the rows.
template <class Table, class Row>
int32_t RunTable(Host& host, XTTextRef ref, XTHandle table, uint32_t* count,
                 Table Story::*runs, std::size_t words, Row row) {
  Place at;
  if (ref != 0) {
    if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  }
  std::vector<uint8_t>* block = host.docs.blocks.Find(table);
  if (block == nullptr || count == nullptr) return kXTErrParam;
  const Table none{};
  const Table& list = at.story != nullptr ? at.story->*runs : none;
  block->assign(list.size() * words * 4, 0);
  for (std::size_t i = 0; i < list.size(); ++i) {
    const std::array<int32_t, 3> values = row(list[i]);
    for (std::size_t w = 0; w < words && w < values.size(); ++w) {
      PutWord(*block, i * words + w, values[w]);
    }
  }
  *count = static_cast<uint32_t>(list.size());
  return kXTOk;
}

int32_t ParagraphRuns(XTTextRef ref, XTHandle table, uint32_t* count) {
  Host& host = Host::Current();
  if (host.Fails("paragraph_runs")) return kXTErrInjected;
  int32_t start = 0;  // where the paragraph starts
  return RunTable(host, ref, table, count, &Story::paragraphs, kXTParagraphRunWords,
                  [&](const ParagraphRun& paragraph) {
                    const std::array<int32_t, 3> row{paragraph.format, paragraph.length, start};
                    start += paragraph.length;
                    return row;
                  });
}

int32_t ParagraphFormatAt(XTTextRef ref, int32_t position, int32_t* format) {
  Host& host = Host::Current();
  if (host.Fails("paragraph_format_at")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  if (format == nullptr || position < 0 || position > at.story->length()) return kXTErrParam;
  if (at.story->paragraphs.empty()) return kXTErrNoItem;
  int32_t start = 0;
  *format = at.story->paragraphs[at.story->ParagraphAt(position, &start)].format;
  return kXTOk;
}

int32_t CharacterRuns(XTTextRef ref, XTHandle table, uint32_t* count) {
  Host& host = Host::Current();
  if (host.Fails("character_runs")) return kXTErrInjected;
  return RunTable(host, ref, table, count, &Story::runs, kXTCharacterRunWords,
                  [](const CharacterRun& run) {
                    return std::array<int32_t, 3>{run.attributes, run.length, 0};
                  });
}

int32_t ReadText(XTTextRef ref, int32_t start, int32_t count, char16_t* out) {
  Host& host = Host::Current();
  if (host.Fails("read_text")) return kXTErrInjected;
  if (ref == 0 && count == 0) return kXTOk;  // nothing of no text
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  if (start < 0 || count < 0 || start > at.story->length() - count ||
      (out == nullptr && count > 0)) {
    return kXTErrParam;
  }
  at.story->text.copy_to(static_cast<std::size_t>(start), static_cast<std::size_t>(count), out);
  return kXTOk;
}

int32_t InsertText(XTTextRef ref, int32_t position, const char16_t* text, int32_t count) {
  Host& host = Host::Current();
  if (host.Fails("insert_text")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  if (Locked(*at.story)) return kXTErrRefused;
  if (count < 0 || (text == nullptr && count > 0) ||
      count > std::numeric_limits<int32_t>::max() - at.story->length() ||
      !at.story->Insert(position,
                        std::u16string(text ? text : u"", static_cast<std::size_t>(count)))) {
    return kXTErrParam;
  }
  PlainTypedUnits(*at.content, *at.story, position, position + count);
  host.docs.Follow(ref, *at.story);
  at.content->flags |= 1;
  AfterStoryChange(host, at.document, at.story->id,
                   {StoryChange::kInsert, position, position + count});
  return kXTOk;
}

int32_t DeleteText(XTTextRef ref, int32_t start, int32_t end) {
  Host& host = Host::Current();
  if (host.Fails("delete_text")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  if (Locked(*at.story)) return kXTErrRefused;
  // Items anchored in the deleted units go with them.
  const int32_t story_id = at.story->id;
  const std::vector<int32_t> anchored = AnchoredIn(*at.content, story_id, start, end);
  if (!at.story->Delete(start, end)) return kXTErrParam;
  for (const int32_t id : anchored) {
    if (at.content->FindBox(id) != nullptr) RemoveAnchoredItem(host, at.document, *at.content, id);
  }
  // Removing a text item removes its story, which moves the stories after
  // it: this one is looked up again.
  at.story = at.content->FindStory(story_id);
  if (at.story == nullptr) return kXTErrParam;
  host.transcript().Line("delete text " + std::to_string(at.story->id) + " " +
                         std::to_string(start) + " " + std::to_string(end));
  host.docs.Follow(ref, *at.story);
  at.content->flags |= 1;
  // A selection in the story keeps within it.
  if (at.content->SelectedStory() == at.story) {
    at.content->selection_start = std::min(at.content->selection_start, at.story->length());
    at.content->selection_end = std::min(at.content->selection_end, at.story->length());
  }
  AfterStoryChange(host, at.document, at.story->id, {StoryChange::kDelete, start, end});
  return kXTOk;
}

// Sets one attribute in a copy of `record`; false for an unknown attribute
// or a value it cannot take.
bool SetAttribute(XTCharAttrRecord& record, int32_t attribute, int32_t value) {
  switch (attribute) {
    case kXTAttrColor:
      if (value < 0 || value > 0xFFFF) return false;
      record.color = static_cast<uint16_t>(value);
      return true;
    case kXTAttrFont:
      if (value < 0 || value > 0xFFFF) return false;
      record.font = static_cast<uint16_t>(value);
      return true;
    case kXTAttrFaces:
      record.faces = static_cast<uint16_t>(value & ~kXTFacesNonBreaking);
      record.flags = (value & kXTFacesNonBreaking) != 0 ? record.flags | kXTCharNonBreaking
                                                        : record.flags & ~kXTCharNonBreaking;
      return true;
    case kXTAttrPrivate:
      record.mark = value;
      return true;
    case kXTAttrSize:
      if (value <= 0) return false;
      record.size = value;
      return true;
    case kXTAttrKerning:
      record.kerning = value;
      return true;
    case kXTAttrTracking:
      record.tracking = value;
      return true;
    case kXTAttrShift:
      record.shift = value;
      return true;
    default:
      return false;
  }
}

int32_t SetTextAttribute(XTTextRef ref, int32_t attribute, int32_t value, int32_t) {
  Host& host = Host::Current();
  if (host.Fails("set_text_attribute")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  if (Locked(*at.story)) return kXTErrRefused;
  XTCharAttrRecord probe = DefaultAttributes();
  if (at.content->SelectedStory() != at.story || !SetAttribute(probe, attribute, value)) {
    return kXTErrParam;
  }
  at.story->ChangeAttributes(
      at.content->selection_start, at.content->selection_end, [&](int32_t old) {
        XTCharAttrRecord record = at.content->attributes[static_cast<std::size_t>(old)];
        SetAttribute(record, attribute, value);
        return at.content->AttributeIndex(record);
      });
  if (at.content->selection_start != at.content->selection_end) {
    at.content->flags |= 1;
    AfterStoryChange(host, at.document, at.story->id,
                     {StoryChange::kAttributes, at.content->selection_start,
                      at.content->selection_end});
  }
  return kXTOk;
}

// Copies a range of one story into another (entries 47 and 35).  A copy
// never splits a character: a range that ends between the halves of a
// surrogate pair takes the second half too.
int32_t CopyRange(Host& host, int32_t document, int32_t story, int32_t start, int32_t end,
                  int32_t to_document, int32_t to_story, int32_t position) {
  DocumentContent* source = ContentOf(host, document);
  DocumentContent* target = ContentOf(host, to_document);
  Story* destination = target != nullptr ? target->FindStory(to_story) : nullptr;
  if (source == nullptr || destination == nullptr) return kXTErrParam;
  if (const Story* from = source->FindStory(story);
      from != nullptr && start < end && end > 0 && end < from->length()) {
    const char16_t last = from->text[static_cast<std::size_t>(end - 1)];
    const char16_t next = from->text[static_cast<std::size_t>(end)];
    if (last >= 0xD800 && last <= 0xDBFF && next >= 0xDC00 && next <= 0xDFFF) ++end;
  }
  if (position == -1) position = destination->length();
  if (Locked(*destination)) return kXTErrRefused;
  if (!CopyStoryText(*source, story, start, end, *target, to_story, position, true)) {
    return kXTErrParam;
  }
  host.transcript().Line("copy text " + std::to_string(story) + " " + std::to_string(start) +
                         " " + std::to_string(end) + " to " + std::to_string(to_story) + " " +
                         std::to_string(position));
  AfterStoryChange(host, host.app().FindLayoutDocument(to_document, nullptr)->id, to_story,
                   {StoryChange::kInsert, position, position + (end - start)});
  return kXTOk;
}

int32_t CopyText(int32_t document, int32_t story, int32_t start, int32_t end,
                 int32_t to_document, int32_t to_story, int32_t position) {
  Host& host = Host::Current();
  if (host.Fails("copy_text")) return 0;
  if (position < 0) return 0;
  return CopyRange(host, document, story, start, end, to_document, to_story, position) == kXTOk
             ? 1
             : 0;
}

int32_t CopyStoryRange(int32_t story, int32_t start, int32_t end, int32_t to_story,
                       int32_t position) {
  Host& host = Host::Current();
  if (host.Fails("copy_story_text")) return kXTErrInjected;
  const int32_t current = host.app().current_document;
  if (current == 0) return kXTErrNoDocument;
  return CopyRange(host, current, story, start, end, current, to_story, position);
}

int32_t StoryOption(int32_t story_id, int32_t option, uint8_t* on) {
  Host& host = Host::Current();
  if (host.Fails("story_option")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Current(host, &at); result != kXTOk) return result;
  const Story* story = at.content->FindStory(story_id);
  if (story == nullptr || option < 0 || option > 31 || on == nullptr) return kXTErrParam;
  *on = (story->options >> option) & 1;
  return kXTOk;
}

int32_t SetStoryOption(int32_t story_id, int32_t option, uint8_t on) {
  Host& host = Host::Current();
  if (host.Fails("set_story_option")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Current(host, &at); result != kXTOk) return result;
  Story* story = at.content->FindStory(story_id);
  if (story == nullptr || option < 0 || option > 31) return kXTErrParam;
  const uint32_t bit = uint32_t{1} << option;
  const uint32_t before = story->options;
  story->options = on ? story->options | bit : story->options & ~bit;
  if (option == kXTStoryLocked && before != story->options) {
    host.transcript().Line(std::string(on ? "lock" : "unlock") + " story " +
                           std::to_string(story_id));
  }
  return kXTOk;
}

int32_t Recompose(XTTextRef ref, int32_t, int32_t, int32_t) {
  Host& host = Host::Current();
  if (host.Fails("recompose")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  ++host.docs.recompose_requests;
  return kXTOk;
}

int32_t BeginTextOperation(XTTextRef ref, int32_t first, int32_t last) {
  Host& host = Host::Current();
  if (host.Fails("begin_text_operation")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  if (first < 0 || first > last || last > at.story->length()) return kXTErrParam;
  host.transcript().Line("text operation begin " + std::to_string(at.story->id) + " " +
                         std::to_string(first) + " " + std::to_string(last));
  return kXTOk;
}

int32_t EndTextOperation(XTTextRef ref) {
  Host& host = Host::Current();
  if (host.Fails("end_text_operation")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  host.transcript().Line("text operation end " + std::to_string(at.story->id));
  return kXTOk;
}


// The unit an object of `code` begins with; 0 for a code the host does not
// insert.
char16_t ObjectUnit(uint32_t code) {
  switch (code) {
    case kXTOpUniqueIdTag: return u'#';
    case kXTOpPageLast: return u'\x01';
    case kXTOpPageCurrent: return u'\x02';
    case kXTOpPageNext: return u'\x03';
    default: return 0;
  }
}

int32_t InsertTextObject(XTTextRef ref, int32_t position, uint32_t code, const char16_t* payload,
                         int32_t length) {
  Host& host = Host::Current();
  if (host.Fails("insert_text_object")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  if (Locked(*at.story)) return kXTErrRefused;
  const char16_t unit = ObjectUnit(code);
  const bool payloadFits = code == kXTOpUniqueIdTag ? length >= 0 && length <= 64 : length == 0;
  if (unit == 0 || !payloadFits || (payload == nullptr && length > 0)) return kXTErrParam;
  std::u16string units(1, unit);
  units.append(payload != nullptr ? payload : u"", static_cast<std::size_t>(length));
  const int32_t end = position + static_cast<int32_t>(units.size());
  if (!at.story->Insert(position, units)) return kXTErrParam;
  at.story->ChangeAttributes(position, end, [&](int32_t old) {
    XTCharAttrRecord record = at.content->attributes[static_cast<std::size_t>(old)];
    record.opcode = code;
    record.object = 0;
    return at.content->AttributeIndex(record);
  });
  host.transcript().Line("insert object " + std::to_string(code) + " story " +
                         std::to_string(at.story->id) + " at " + std::to_string(position) +
                         " length " + std::to_string(units.size()));
  host.docs.Follow(ref, *at.story);
  at.content->flags |= 1;
  AfterStoryChange(host, at.document, at.story->id, {StoryChange::kInsert, position, end});
  return kXTOk;
}

int32_t TextObject(XTTextRef ref, int32_t position, uint32_t* code, char16_t* payload,
                   int32_t capacity, int32_t* length) {
  Host& host = Host::Current();
  if (host.Fails("text_object")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  if (code == nullptr || length == nullptr || capacity < 0 || (payload == nullptr && capacity > 0))
    return kXTErrParam;
  // Only the run holding the position can start there with characters.
  int32_t start = 0;
  const std::size_t index = at.story->RunAt(position, &start);
  if (index >= at.story->runs.size()) return kXTErrParam;
  const CharacterRun& run = at.story->runs[index];
  const XTCharAttrRecord& record = at.content->attributes[static_cast<std::size_t>(run.attributes)];
  if (start == position && run.length > 0 && ObjectUnit(record.opcode) != 0) {
    *code = record.opcode;
    *length = run.length - 1;
    const int32_t kept = std::min(*length, capacity);
    at.story->text.copy_to(static_cast<std::size_t>(position) + 1, static_cast<std::size_t>(kept), payload);
    return kXTOk;
  }
  return kXTErrParam;
}

// Gives the paragraphs the selection touches the format `change` makes of
// their present one.
template <class Change>
int32_t ChangeSelectedFormats(Host& host, XTTextRef ref, Change change) {
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  if (Locked(*at.story)) return kXTErrRefused;
  if (at.content->SelectedStory() != at.story) return kXTErrParam;
  std::vector<ParagraphRun>& paragraphs = at.story->paragraphs;
  // The paragraphs the selection touches: from the one holding its start
  // (and the empty ones ending there) on to the one holding its end.
  int32_t start = 0;
  std::size_t index = at.story->ParagraphAt(at.content->selection_start, &start);
  while (index > 0 && start == at.content->selection_start && paragraphs[index - 1].length == 0) --index;
  at.story->Touch(false);  // formats change in place
  for (; index < paragraphs.size() && start <= at.content->selection_end; ++index) {
    ParagraphRun& paragraph = paragraphs[index];
    const int32_t end = start + paragraph.length;
    const bool touched = end > at.content->selection_start || paragraph.length == 0 ||
                         index + 1 == paragraphs.size();
    if (touched && end >= at.content->selection_start) {
      XTParaFormatRecord format = at.content->formats[static_cast<std::size_t>(paragraph.format)];
      if (!change(format)) return kXTErrParam;
      paragraph.format = at.content->FormatIndex(format);
    }
    start = end;
  }
  at.content->flags |= 1;
  return kXTOk;
}

int32_t SetParagraphAttribute(XTTextRef ref, int32_t code, int32_t value) {
  Host& host = Host::Current();
  if (host.Fails("set_paragraph_attribute")) return kXTErrInjected;
  return ChangeSelectedFormats(host, ref, [&](XTParaFormatRecord& format) {
    uint16_t* narrow = nullptr;
    int32_t* wide = nullptr;
    if (XTParaAttributeField(format, code, &narrow, &wide)) {
      if (narrow != nullptr) *narrow = static_cast<uint16_t>(value);
      if (wide != nullptr) *wide = value;
    }
    return true;
  });
}

int32_t ApplyStyleSheet(XTTextRef ref, uint16_t id, int32_t value) {
  Host& host = Host::Current();
  if (host.Fails("apply_style_sheet")) return kXTErrInjected;
  const DocumentContent* content = CurrentContent(host);
  if (content == nullptr) return kXTErrNoDocument;
  // Id 0 is "no style sheet": the paragraphs leave their sheet and keep
  // their format, as the host's own "No Style" does.
  if (id == 0) {
    return ChangeSelectedFormats(host, ref, [](XTParaFormatRecord& format) {
      format.style = 0;
      return true;
    });
  }
  const StyleSheet* sheet = nullptr;
  for (const StyleSheet& candidate : content->style_sheets) {
    if (candidate.id == id && candidate.kind == kParagraphStyle) sheet = &candidate;
  }
  if (sheet == nullptr || sheet->record < 0 ||
      static_cast<std::size_t>(sheet->record) >= content->formats.size()) {
    return kXTErrParam;
  }
  const XTParaFormatRecord styled = content->formats[static_cast<std::size_t>(sheet->record)];
  return ChangeSelectedFormats(host, ref, [&](XTParaFormatRecord& format) {
    if (value == 1) format = styled;
    format.style = id;
    return true;
  });
}

int32_t SetParagraphTabs(XTTextRef ref, const XTTabStop* tabs, int32_t count) {
  Host& host = Host::Current();
  if (host.Fails("set_paragraph_tabs")) return kXTErrInjected;
  if (count < 0 || count > kXTMaxTabs || (tabs == nullptr && count > 0)) return kXTErrParam;
  return ChangeSelectedFormats(host, ref, [&](XTParaFormatRecord& format) {
    format.tab_count = static_cast<uint16_t>(count);
    std::fill(std::begin(format.tabs), std::end(format.tabs), XTTabStop{});
    std::copy_n(tabs, count, format.tabs);
    return true;
  });
}

// --- LGG2: text attributes ---

int32_t AttributeContext(XTTextRef ref, XTAttrContext* context) {
  Host& host = Host::Current();
  if (host.Fails("attribute_context")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Resolve(host, ref, &at); result != kXTOk) return result;
  if (context == nullptr) return kXTErrParam;
  *context = at.document;
  return kXTOk;
}

int32_t ParagraphFormat(XTAttrContext context, int32_t index, XTParaFormatRecord* record,
                        uint16_t* word) {
  Host& host = Host::Current();
  if (host.Fails("paragraph_format")) return kXTErrInjected;
  const DocumentContent* content = ContentOf(host, context);
  if (content == nullptr || record == nullptr || index < 0 ||
      static_cast<std::size_t>(index) >= content->formats.size()) {
    return kXTErrParam;
  }
  *record = content->formats[static_cast<std::size_t>(index)];
  if (word != nullptr) *word = record->style;
  ++host.docs.format_requests;
  return kXTOk;
}

int32_t CharacterAttributes(XTAttrContext context, int32_t index, XTCharAttrRecord* record,
                            uint16_t* word) {
  Host& host = Host::Current();
  if (host.Fails("character_attributes")) return kXTErrInjected;
  const DocumentContent* content = ContentOf(host, context);
  if (content == nullptr || record == nullptr || index < 0 ||
      static_cast<std::size_t>(index) >= content->attributes.size()) {
    return kXTErrParam;
  }
  *record = content->attributes[static_cast<std::size_t>(index)];
  if (word != nullptr && record->style != 0) *word = record->style;
  return kXTOk;
}

int32_t SelectionAttributes(XTCharAttrRecord* record) {
  Host& host = Host::Current();
  if (host.Fails("selection_attributes")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Current(host, &at); result != kXTOk) return result;
  const Story* story = at.content->SelectedStory();
  if (story == nullptr || record == nullptr) return kXTErrParam;
  int32_t position = at.content->selection_start;
  if (at.content->selection_start == at.content->selection_end && position > 0) --position;
  *record = at.content->attributes[static_cast<std::size_t>(story->AttributesAt(position))];
  return kXTOk;
}

int32_t BaselineShift(int32_t size, int32_t shift, int32_t* absolute) {
  Host& host = Host::Current();
  if (host.Fails("baseline_shift")) return kXTErrInjected;
  if (absolute == nullptr) return kXTErrParam;
  // Rounded half away from zero; a product of two 32-bit values divided by
  // 2^16 always fits 48 bits, and is then brought into 32.
  const int64_t product = int64_t{shift} * size;
  const int64_t rounded = product >= 0 ? (product + 0x8000) >> 16 : -((-product + 0x8000) >> 16);
  *absolute = static_cast<int32_t>(std::clamp<int64_t>(rounded, std::numeric_limits<int32_t>::min(),
                                                       std::numeric_limits<int32_t>::max()));
  return kXTOk;
}

// --- LGH2: the application ---

int32_t ToolMode(int32_t* mode) {
  Host& host = Host::Current();
  if (host.Fails("tool_mode")) return kXTErrInjected;
  if (mode == nullptr) return kXTErrParam;
  *mode = host.docs.tool_mode;
  return kXTOk;
}

int32_t SetToolMode(int32_t mode) {
  Host& host = Host::Current();
  if (host.Fails("set_tool_mode")) return kXTErrInjected;
  host.docs.tool_mode = mode;
  return kXTOk;
}

int32_t CurrentBoxOf(XTBox* box) {
  Host& host = Host::Current();
  if (host.Fails("current_box")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Current(host, &at); result != kXTOk) return result;
  if (box == nullptr) return kXTErrParam;
  *box = at.content->current_box != 0 ? BoxHandle(at.document, at.content->current_box) : 0;
  return kXTOk;
}

int32_t SetCurrentBox(XTBox handle) {
  Host& host = Host::Current();
  if (host.Fails("set_current_box")) return kXTErrInjected;
  if (handle == 0) {
    // No box current any more.
    Place at;
    if (const int32_t result = Current(host, &at); result != kXTOk) return result;
    at.content->current_box = 0;
    at.content->text_open = false;
    at.content->selection_start = at.content->selection_end = 0;
    return kXTOk;
  }
  DocumentContent* content = nullptr;
  const Box* box = CurrentBox(host, handle, &content);
  if (box == nullptr) return kXTErrParam;
  if (content->current_box != box->id) {
    content->current_box = box->id;
    content->text_open = false;
    content->selection_start = content->selection_end = 0;
  }
  return kXTOk;
}

int32_t BoxOfStory(int32_t story_id, XTBox* box) {
  Host& host = Host::Current();
  if (host.Fails("box_of_story")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Current(host, &at); result != kXTOk) return result;
  if (box == nullptr) return kXTErrParam;
  // The story's first box in the document's order, from the walk cache
  // (a search of every box made each story's import linear in the boxes).
  const Box* first = at.content->FirstOfChain(story_id);
  if (first == nullptr) return kXTErrParam;
  *box = BoxHandle(at.document, first->id);
  return kXTOk;
}

int32_t StoryOfBox(XTBox handle, int32_t* story) {
  Host& host = Host::Current();
  if (host.Fails("story_of_box")) return kXTErrInjected;
  DocumentContent* content = nullptr;
  const Box* box = CurrentBox(host, handle, &content);
  if (box == nullptr || story == nullptr) return kXTErrParam;
  *story = box->story;
  return kXTOk;
}

int32_t TextOpen(XTBox handle, uint8_t* open) {
  Host& host = Host::Current();
  if (host.Fails("text_open")) return kXTErrInjected;
  DocumentContent* content = nullptr;
  const Box* box = CurrentBox(host, handle, &content);
  if (box == nullptr || open == nullptr) return kXTErrParam;
  *open = content->current_box == box->id && content->text_open ? 1 : 0;
  return kXTOk;
}

int32_t OpenText(XTBox handle) {
  Host& host = Host::Current();
  if (host.Fails("open_text")) return kXTErrInjected;
  DocumentContent* content = nullptr;
  const Box* box = CurrentBox(host, handle, &content);
  if (box == nullptr || box->story == 0 || content->current_box != box->id) return kXTErrParam;
  content->text_open = true;
  return kXTOk;
}

int32_t SelectText(XTBox handle, int32_t start, int32_t end) {
  Host& host = Host::Current();
  if (host.Fails("select_text")) return kXTErrInjected;
  DocumentContent* content = nullptr;
  const Box* box = CurrentBox(host, handle, &content);
  const Story* story = box != nullptr ? content->FindStory(box->story) : nullptr;
  if (story == nullptr || start < 0 || start > end || end > story->length()) return kXTErrParam;
  content->current_box = box->id;
  content->text_open = true;
  content->selection_start = start;
  content->selection_end = end;
  return kXTOk;
}

int32_t ReleaseObject(int32_t object, int32_t flags) {
  Host& host = Host::Current();
  if (host.Fails("release_object")) return kXTErrInjected;
  DocumentContent* content = ContentOf(host, object >> 16);
  const int32_t box_id = object & 0xFFFF;
  if (content == nullptr || content->FindBox(box_id) == nullptr) return kXTErrParam;
  content->boxes.erase(std::remove_if(content->boxes.begin(), content->boxes.end(),
                                      [&](const Box& box) { return box.id == box_id; }),
                       content->boxes.end());
  content->ItemsChanged();
  if (content->current_box == box_id) {
    content->current_box = 0;
    content->text_open = false;
    content->selection_start = content->selection_end = 0;
  }
  content->flags |= 2;
  host.transcript().Line("release object " + std::to_string(object) + " flags " +
                         std::to_string(flags));
  return kXTOk;
}

int32_t Refresh(int32_t, int32_t, int32_t) {
  Host& host = Host::Current();
  if (host.Fails("refresh")) return kXTErrInjected;
  ++host.docs.refresh_requests;
  return kXTOk;
}

int32_t TextSelection(int32_t* story_id, int32_t* start, int32_t* end) {
  Host& host = Host::Current();
  if (host.Fails("text_selection")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Current(host, &at); result != kXTOk) return result;
  if (story_id == nullptr || start == nullptr || end == nullptr) return kXTErrParam;
  const Story* story = at.content->SelectedStory();
  *story_id = story != nullptr ? story->id : 0;
  *start = story != nullptr ? at.content->selection_start : 0;
  *end = story != nullptr ? at.content->selection_end : 0;
  return kXTOk;
}

// --- LGI2: the current document ---

int32_t CurrentDocument(int16_t* id) {
  Host& host = Host::Current();
  if (host.Fails("current_document")) return kXTErrInjected;
  if (id == nullptr) return kXTErrParam;
  const int32_t current = host.app().current_document;
  // Each layout is a document of its own: the current layout's id.
  const DocumentContent* content = CurrentContent(host);
  const int32_t layout = content != nullptr ? std::max(content->current_layout, 0) : 0;
  *id = static_cast<int16_t>(current == 0 ? -1 : current + layout);
  return current == 0 ? kXTErrNoDocument : kXTOk;
}

int32_t SetCurrentDocument(int16_t id) {
  Host& host = Host::Current();
  if (host.Fails("set_current_document")) return kXTErrInjected;
  int32_t layout = 0;
  Document* document = id > 0 ? host.app().FindLayoutDocument(id, &layout) : nullptr;
  if (document == nullptr) return kXTErrParam;
  host.app().current_document = document->id;
  if (document->content != nullptr && !document->content->layouts.empty()) {
    document->content->current_layout = layout;
  }
  return kXTOk;
}

int32_t DocumentCount(int32_t* count) {
  Host& host = Host::Current();
  if (host.Fails("document_count")) return kXTErrInjected;
  if (count == nullptr) return kXTErrParam;
  *count = static_cast<int32_t>(host.app().documents.size());
  return kXTOk;
}

// A byte of the current document's state.
int32_t StateByte(const char* name, bool DocumentContent::*field, uint8_t* answer) {
  Host& host = Host::Current();
  if (host.Fails(name)) return kXTErrInjected;
  Place at;
  if (const int32_t result = Current(host, &at); result != kXTOk) return result;
  if (answer == nullptr) return kXTErrParam;
  *answer = at.content->*field ? 1 : 0;
  return kXTOk;
}

int32_t IsUntitled(uint8_t* answer) {
  return StateByte("is_untitled", &DocumentContent::untitled, answer);
}

int32_t IsMacDocument(uint8_t* answer) {
  return StateByte("is_mac_document", &DocumentContent::mac, answer);
}

int32_t StateFlags(uint32_t* flags) {
  Host& host = Host::Current();
  if (host.Fails("state_flags")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Current(host, &at); result != kXTOk) return result;
  if (flags == nullptr) return kXTErrParam;
  *flags = at.content->flags;
  return kXTOk;
}

int32_t SetStateFlags(uint32_t flags) {
  Host& host = Host::Current();
  if (host.Fails("set_state_flags")) return kXTErrInjected;
  Place at;
  if (const int32_t result = Current(host, &at); result != kXTOk) return result;
  at.content->flags = flags;
  return kXTOk;
}

int32_t DoCommand(int32_t command) {
  Host& host = Host::Current();
  if (host.Fails("do_command")) return kXTErrInjected;
  if (command != kXTCommandSave) return kXTErrRefused;
  if (CurrentContent(host) == nullptr) return kXTErrNoDocument;
  std::string error;
  return SaveDocument(host, host.app().current_document, "", &error);
}

int32_t ProjectFileSpec(XTProject project, XTFileSpec* spec) {
  Host& host = Host::Current();
  if (host.Fails("project_file_spec")) return kXTErrInjected;
  const Document* document = host.app().FindDocument(project);
  if (document == nullptr || document->content == nullptr || spec == nullptr) return kXTErrParam;
  if (document->content->untitled) return kXTErrNotFound;
  XTFileSpec made{};
  const int32_t result = host.folders().MakeSpec(0, 0, document->path, &made);
  if (result == kXTOk) *spec = made;
  return result;
}

int32_t CurrentLayout(XTProject project, XTLayout* layout) {
  Host& host = Host::Current();
  if (host.Fails("current_layout")) return kXTErrInjected;
  const DocumentContent* content = ContentOf(host, project);
  if (content == nullptr || layout == nullptr || content->layouts.empty()) return kXTErrParam;
  *layout = LayoutHandle(project, content->current_layout);
  return kXTOk;
}

int32_t LayoutModified(XTLayout layout, uint8_t* modified) {
  Host& host = Host::Current();
  if (host.Fails("layout_modified")) return kXTErrInjected;
  const DocumentContent* content = ContentOf(host, layout >> 16);
  const int32_t index = (layout & 0xFFFF) - 1;
  if (content == nullptr || modified == nullptr || index < 0 ||
      static_cast<std::size_t>(index) >= content->layouts.size()) {
    return kXTErrParam;
  }
  *modified = content->layouts[static_cast<std::size_t>(index)].modified ? 1 : 0;
  return kXTOk;
}

int32_t DocumentWindow(int32_t* window) {
  Host& host = Host::Current();
  if (host.Fails("document_window")) return kXTErrInjected;
  if (window == nullptr) return kXTErrParam;
  if (host.app().current_document == 0) return kXTErrNoDocument;
  *window = host.app().current_document;
  return kXTOk;
}

int32_t CloseWindow(int32_t window) {
  Host& host = Host::Current();
  if (host.Fails("close_window")) return kXTErrInjected;
  return CloseDocument(host, window, "window") ? kXTOk : kXTErrParam;
}

// The current document saved at the location of `file` (0: at its own
// file), or a copy of it written there.
int32_t SaveCurrent(Host& host, XTFile file, bool copy) {
  if (CurrentContent(host) == nullptr) return kXTErrNoDocument;
  std::string path;
  if (file != 0 || copy) {
    const FileObject* object = host.files.Find(file);
    if (object == nullptr || object->path.empty()) return kXTErrParam;
    path = object->path;
  }
  std::string error;
  const int32_t id = host.app().current_document;
  return copy ? SaveDocumentCopy(host, id, path, &error) : SaveDocument(host, id, path, &error);
}

int32_t SaveCurrentDocumentAt(XTFile file, uint32_t) {
  Host& host = Host::Current();
  if (host.Fails("save_document")) return kXTErrInjected;
  return SaveCurrent(host, file, false);
}

// Counted as a save_document call (qualifier "copy") by the fail plan, so
// that the saves of a run are numbered alike whatever they write.
int32_t SaveCurrentDocumentCopy(XTFile file, uint32_t) {
  Host& host = Host::Current();
  if (host.Fails("save_document", "copy")) return kXTErrInjected;
  return SaveCurrent(host, file, true);
}

// --- LGJ2: fonts ---

int32_t CheckFonts(XTProject project) {
  Host& host = Host::Current();
  if (host.Fails("check_fonts")) return kXTErrInjected;
  return ContentOf(host, project) != nullptr ? kXTOk : kXTErrParam;
}

int32_t FontList(XTProject project, XTHandle* list, int32_t* owner) {
  Host& host = Host::Current();
  if (host.Fails("font_list")) return kXTErrInjected;
  const DocumentContent* content = ContentOf(host, project);
  if (content == nullptr || list == nullptr || owner == nullptr || content->fonts.size() > 0xFFFF) {
    return kXTErrParam;
  }
  // A 16-bit count and 16 bits of padding, the entries (id, script, name
  // offset and length), then the names.
  const std::size_t entries = content->fonts.size();
  std::size_t names = 0;
  for (const Font& font : content->fonts) names += font.name.size();
  std::vector<uint8_t> block(4 + entries * kFontEntrySize + names * 2, 0);
  if (block.size() > kMaxBlock) return kXTErrParam;
  const uint16_t count = static_cast<uint16_t>(entries);
  std::memcpy(block.data(), &count, 2);
  uint32_t offset = 0;
  for (std::size_t i = 0; i < entries; ++i) {
    const Font& font = content->fonts[i];
    uint8_t* entry = block.data() + 4 + i * kFontEntrySize;
    const uint32_t length = static_cast<uint32_t>(font.name.size());
    std::memcpy(entry, &font.id, 2);
    std::memcpy(entry + 2, &font.script, 2);
    std::memcpy(entry + 4, &offset, 4);
    std::memcpy(entry + 8, &length, 4);
    std::memcpy(block.data() + 4 + entries * kFontEntrySize + offset * 2, font.name.data(),
                length * 2);
    offset += length;
  }
  *list = host.docs.blocks.Add(std::move(block));
  *owner = project;
  return kXTOk;
}

int32_t FontEntry(XTHandle list, int32_t index, uint16_t* id, char16_t* name, int32_t capacity,
                  int32_t entry_size, int32_t) {
  Host& host = Host::Current();
  if (host.Fails("font_entry")) return kXTErrInjected;
  const std::vector<uint8_t>* block = host.docs.blocks.Find(list);
  if (block == nullptr || block->size() < 4 || id == nullptr || name == nullptr || capacity < 1 ||
      entry_size != kFontEntrySize) {
    return kXTErrParam;
  }
  uint16_t count = 0;
  std::memcpy(&count, block->data(), 2);
  const std::size_t names = 4 + std::size_t{count} * kFontEntrySize;
  if (index < 1 || index > count || block->size() < names) return kXTErrParam;
  const uint8_t* entry = block->data() + 4 + static_cast<std::size_t>(index - 1) * kFontEntrySize;
  uint32_t offset = 0;
  uint32_t length = 0;
  std::memcpy(id, entry, 2);
  std::memcpy(&offset, entry + 4, 4);
  std::memcpy(&length, entry + 8, 4);
  if ((uint64_t{offset} + length) * 2 > block->size() - names) return kXTErrParam;
  const uint32_t kept = std::min<uint32_t>(length, static_cast<uint32_t>(capacity - 1));
  std::memcpy(name, block->data() + names + std::size_t{offset} * 2, std::size_t{kept} * 2);
  name[kept] = u'\0';
  return kXTOk;
}

int32_t FontScript(XTHandle list, int32_t index, uint16_t* script) {
  Host& host = Host::Current();
  if (host.Fails("font_script")) return kXTErrInjected;
  const std::vector<uint8_t>* block = host.docs.blocks.Find(list);
  if (block == nullptr || block->size() < 4 || script == nullptr) return kXTErrParam;
  uint16_t count = 0;
  std::memcpy(&count, block->data(), 2);
  if (index < 1 || index > count || block->size() < 4 + std::size_t{count} * kFontEntrySize) return kXTErrParam;
  std::memcpy(script, block->data() + 4 + static_cast<std::size_t>(index - 1) * kFontEntrySize + 2, 2);
  return kXTOk;
}

int32_t FindFontByName(const char* name, int32_t length, uint16_t* id) {
  Host& host = Host::Current();
  if (host.Fails("find_font_by_name")) return kXTErrInjected;
  if (name == nullptr || length < 0 || id == nullptr) return kXTErrParam;
  const DocumentContent* content = CurrentContent(host);
  if (content == nullptr) return kXTErrNoDocument;
  std::u16string wanted;
  std::string shown;
  if (win::MultiByteToWide(win::kCodePageWestern, name, static_cast<std::size_t>(length), wanted)) {
    Utf16ToUtf8(wanted, &shown);
  } else {
    wanted.clear();
    shown = "(not Windows-1252)";
  }
  const auto font = std::find_if(content->fonts.begin(), content->fonts.end(),
                                 [&wanted](const Font& f) { return !wanted.empty() && f.name == wanted; });
  if (font == content->fonts.end()) {
    host.transcript().Line("font " + Transcript::Quote(shown) + " not found");
    return kXTErrNotFound;
  }
  host.transcript().Line("font " + Transcript::Quote(shown) + " found " + std::to_string(font->id));
  *id = font->id;
  return kXTOk;
}

}  // namespace

const XTMemorySuite kMemorySuite = {kXTSuiteLGE2, NewHandle, DisposeHandle, HandleSize,
                                    HandleData};
const XTStoryTextSuite kStoryTextSuite = {
    kXTSuiteLGF2,       StoryText,        ParagraphRuns,    CharacterRuns,    ParagraphFormatAt,
    ReadText,           InsertText,       DeleteText,       SetTextAttribute,
    StoryOption,        SetStoryOption,   Recompose,        BeginTextOperation,
    EndTextOperation,   CopyText,         CopyStoryRange,   InsertTextObject,
    TextObject,         SetParagraphAttribute, ApplyStyleSheet, SetParagraphTabs,
};
const XTTextAttributeSuite kTextAttributeSuite = {kXTSuiteLGG2,        AttributeContext,
                                                  ParagraphFormat,     CharacterAttributes,
                                                  SelectionAttributes, BaselineShift};
const XTSelectionSuite kSelectionSuite = {
    kXTSuiteLGH2, ToolMode, SetToolMode, CurrentBoxOf,  SetCurrentBox, BoxOfStory,
    StoryOfBox,   TextOpen, OpenText,    SelectText,    ReleaseObject, Refresh,
    TextSelection,
};
const XTDocumentStateSuite kDocumentStateSuite = {
    kXTSuiteLGI2,    CurrentDocument, SetCurrentDocument, DocumentCount,
    IsUntitled,      IsMacDocument,   StateFlags,         SetStateFlags,
    DoCommand,       ProjectFileSpec, CurrentLayout,      LayoutModified,
    DocumentWindow,  CloseWindow,     SaveCurrentDocumentAt, SaveCurrentDocumentCopy,
};
const XTFontSuite kFontSuite = {kXTSuiteLGJ2, CheckFonts, FontList, FontEntry, FontScript, FindFontByName};

}  // namespace xthost
