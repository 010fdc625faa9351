#include "plugin/qapi/story_runs.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "plugin/qapi/host_text_services.h"
#include "plugin/qapi/qapi_trace.h"
#include "support/host_link.h"
#include "support/host_result.h"

uint32_t gTextChangeCounter = 0;

namespace {

// The host's tool mode, or 1 (nothing to change) when it cannot be read.
int32_t ToolMode() {
  int32_t mode = 1;
  const XTSelectionSuite* selection = XT().lgh2;
  if (selection == nullptr || selection->tool_mode(&mode) != kXTOk) return 1;
  return mode;
}

void SetToolMode(int32_t mode) {
  if (XT().lgh2 != nullptr) XT().lgh2->set_tool_mode(mode);
}

}  // namespace

// --- StoryRuns ---

StoryRuns::StoryRuns(int32_t id) : storyId(id) {
  if (ToolMode() != 1) SetToolMode(1);
  Fetch();
  walkLength = textLength;
  firstBoxAtStart = firstBox;
  documentAtStart = document;
}

void StoryRuns::Refresh() {
  const int32_t first = ToolMode();
  if (first != 1 && ToolMode() != 1) SetToolMode(1);
  Fetch();
  if (first != 1 && ToolMode() != first) SetToolMode(first);
}

void StoryRuns::Fetch() {
  counted_ = false;
  textRef = 0;
  textLength = 0;
  firstBox = 0;
  document = 0;
  stamp = gTextChangeCounter;
  const XTStoryTextSuite* story = XT().lgf2;
  if (storyId <= 0 || story == nullptr) return;
  XTTextRef ref = 0;
  int32_t length = 0;
  int32_t box = 0;
  int32_t doc = 0;
  if (HostCall("story_text", story->story_text(storyId, &ref, &length, &box, &doc)) != kXTOk) return;
  textRef = ref;
  textLength = std::max(length, 0);
  firstBox = box;
  document = doc;
}

const StoryRuns::RunCounts& StoryRuns::Counts() {
  if (counted_) return counts_;
  counted_ = true;
  counts_ = RunCounts{};
  const XTStoryTextSuite* story = XT().lgf2;
  if (story == nullptr || textRef == 0) return counts_;
  QHandle table;
  if (QHandle::TryAllocate(0, &table) != kXTOk) return counts_;
  uint32_t count = 0;
  if (story->paragraph_runs(textRef, table.Get(), &count) == kXTOk) counts_.paragraphs = count;
  count = 0;
  if (story->character_runs(textRef, table.Get(), &count) == kXTOk) counts_.characters = count;
  return counts_;
}

int32_t StoryRuns::GetText(const StoryRunPosition& position, XTCharAttrRecord* record,
                           uint16_t* word) {
  RefreshIfStale();
  const XTTextAttributeSuite* attributes = XT().lgg2;
  if (attributes == nullptr) return kXTErrNoSuite;
  if (position.characters == nullptr ||
      position.characterIndex >= position.characters->count()) {
    return kXTErrParam;
  }
  XTAttrContext context = 0;
  int32_t result = HostCall("attribute_context", attributes->attribute_context(textRef, &context));
  if (result != kXTOk) return result;
  uint16_t copy = position.word;
  const uint16_t index =
      static_cast<uint16_t>(position.characters->Index(position.characterIndex));
  result = HostCall("character_attributes", attributes->character_attributes(context, index, record, &copy));
  if (result == kXTOk && word != nullptr) *word = copy;
  return result;
}

// --- RunTable ---

RunTable::RunTable(int32_t storyId, Kind kind)
    : handle_(0), words_(kind == kParagraphs ? kXTParagraphRunWords : kXTCharacterRunWords) {
  StoryRuns snapshot(storyId);
  snapshot.RefreshIfStale();
  const XTStoryTextSuite* story = XT().lgf2;
  if (story == nullptr) throw std::bad_alloc();
  uint32_t count = 0;
  const int32_t result = kind == kParagraphs
                             ? story->paragraph_runs(snapshot.textRef, handle_.Get(), &count)
                             : story->character_runs(snapshot.textRef, handle_.Get(), &count);
  if (static_cast<int16_t>(result) != 0) {
    LogHostFailure(kind == kParagraphs ? "paragraph_runs" : "character_runs", result);
    throw std::bad_alloc();
  }
  // Never trust a count the block cannot hold.
  const uint32_t room = handle_.Size() / (words_ * 4);
  count_ = std::min(count, room);
  data_ = static_cast<const unsigned char*>(handle_.Data());
  if (data_ == nullptr && count_ > 0) throw std::bad_alloc();
  while (count_ > 0 && Length(count_ - 1) == 0) --count_;
  for (uint32_t i = 0; i < count_; ++i) {
    if (Length(i) == 0) QuarkInternalError("plugin\\qapi\\QHandle", 119);
  }
}

// --- StoryRunIterator ---

StoryRunIterator::StoryRunIterator(int32_t storyId)
    : runs(storyId),
      paragraphs(storyId, RunTable::kParagraphs),
      characters(storyId, RunTable::kCharacters) {
  const int32_t length = runs.walkLength;
  text_ = std::make_unique<char[]>(static_cast<std::size_t>(length) + 1);  // zeroed
  if (length > 0) GetStoryTextNarrow(runs.textRef, 0, length, text_.get());
  text_[static_cast<std::size_t>(length)] = '\0';
}

void StoryRunIterator::Begin(StoryRunPosition& position, StoryRunIterator& iterator) {
  position.format = XTParaFormatRecord{};
  position.paragraphs = &iterator.paragraphs;
  position.characters = &iterator.characters;
  position.paragraphStart = 0;
  position.paragraphIndex = 0;
  position.characterStart = 0;
  position.characterIndex = 0;
  position.boundary = 0;
  position.limit = iterator.runs.walkLength;
  position.iterator = &iterator;
  if (iterator.paragraphs.count() > 0) {
    iterator.runs.RefreshIfStale();
    FetchParagraphFormat(iterator.runs.textRef, iterator.paragraphs.Index(0), &position.format,
                         &position.word);
  }
}

bool StoryRunIterator::HasMore(const StoryRunPosition& position) const {
  return position.characterStart < position.limit &&
         position.characterIndex < characters.count();
}

namespace {

// The end of a run that starts at `start`, never past the walk limit.
int32_t RunEnd(int32_t start, int32_t length, int32_t limit) {
  return static_cast<int32_t>(std::min<int64_t>(int64_t{start} + length, limit));
}

}  // namespace

int32_t StoryRunIterator::ParagraphEnd(const StoryRunPosition& position) const {
  // Past its table the paragraph runs on to the end of the text.
  if (position.paragraphIndex >= paragraphs.count()) return position.limit;
  return RunEnd(position.paragraphStart, paragraphs.Length(position.paragraphIndex),
                position.limit);
}

int32_t StoryRunIterator::CharacterEnd(const StoryRunPosition& position) const {
  if (position.characterIndex >= characters.count()) return position.limit;
  return RunEnd(position.characterStart, characters.Length(position.characterIndex),
                position.limit);
}

int32_t StoryRunIterator::NextBoundary(const StoryRunPosition& position) const {
  return std::min(ParagraphEnd(position), CharacterEnd(position));
}

void StoryRunIterator::Advance(StoryRunPosition& position) {
  position.boundary = NextBoundary(position);
  // One of the two runs ends at the boundary, so every step moves on.
  if (position.characterIndex < characters.count() &&
      CharacterEnd(position) == position.boundary) {
    position.characterStart = position.boundary;
    if (++position.characterIndex >= characters.count()) return;
  }
  if (position.paragraphIndex >= paragraphs.count()) return;
  const int32_t format = paragraphs.Index(position.paragraphIndex);
  if (ParagraphEnd(position) == position.boundary) {
    position.paragraphStart = position.boundary;
    ++position.paragraphIndex;
    if (position.paragraphIndex < paragraphs.count() &&
        paragraphs.Index(position.paragraphIndex) != format) {
      runs.RefreshIfStale();
      FetchParagraphFormat(runs.textRef, paragraphs.Index(position.paragraphIndex),
                           &position.format, &position.word);
    }
  }
}

bool StoryRunIterator::RunEndsInParagraph(const StoryRunPosition& position) const {
  return ParagraphEnd(position) <= CharacterEnd(position);
}

uint16_t StoryRunIterator::CurrentStyle(const StoryRunPosition& position) const {
  if (position.characterIndex >= characters.count()) return 0;
  return static_cast<uint16_t>(characters.Index(position.characterIndex));
}

uint32_t StoryRunIterator::CurrentText(const StoryRunPosition& position) {
  XTCharAttrRecord record{};
  runs.GetText(position, &record, nullptr);
  return record.opcode;
}
