#include "plugin/conversion/importer.h"

#include <new>
#include <optional>
#include <string>
#include <ostream>
#include <set>

#include "plugin/conversion/box_fitting.h"
#include "plugin/conversion/digger.h"
#include "plugin/conversion/import_anchors.h"
#include "plugin/mixer/api_failure.h"
#include "plugin/mixer/brenix_box.h"
#include "plugin/mixer/doc_view.h"
#include "plugin/mixer/host_pages.h"
#include "plugin/mixer/master_class.h"
#include "plugin/mixer/master_trace.h"
#include "plugin/mixer/mixer_boxes.h"
#include "plugin/mixer/story_units.h"
#include "plugin/qapi/mixer_services.h"
#include "plugin/qapi/qapi_trace.h"
#include "plugin/qapi/story_runs.h"
#include "plugin/qapi/ui_host.h"
#include "support/brenix_interface.h"
#include "support/error_names.h"
#include "support/error_record.h"
#include "support/host_link.h"
#include "support/host_result.h"
#include "support/program_log.h"
#include "support/settings.h"

namespace {

const char kSource[] = "Importer";

// Documents imported in one MultiDoc run.
uint32_t gImportedDocuments = 0;

int32_t StoryOfBox(XTItem box) {
  int32_t story = 0;
  if (box == 0 || XT().lgk2 == nullptr || XT().lgk2->item_story(box, &story) != kXTOk) return 0;
  return story;
}

bool MultiDocMode() { return BrenixInterface::Instance()->multiDocMode; }

// The working boxes of a layout just connected, made again from its
// stories when the document was saved without them.
void MakePalette(Mapper& mapper) {
  if (auto* box = dynamic_cast<BrenixBoxImp*>(mapper.PrivateBox())) box->MakePalette();
}

void Beep() {
  if (const XTApplicationSuite* application = XT().application) application->message_beep(0);
}

// The layouts of the current project; -1 when the host cannot tell.
int32_t LayoutCount() {
  XTProject project = -1;
  int32_t count = -1;
  if (XT().projects == nullptr || XT().lgk2 == nullptr ||
      HostCall("current_project", XT().projects->current_project(&project), kXTErrNoDocument) != kXTOk ||
      HostCall("layout_count", XT().lgk2->layout_count(project, &count)) != kXTOk) {
    return -1;
  }
  return count;
}

// Story option 0 of the host: the story is locked.  A failed call is
// counted: a story left locked keeps its translation out, one left unlocked
// loses the user's lock.
bool ReadLock(int32_t story, bool* locked) {
  uint8_t on = 0;
  const XTStoryTextSuite* text = XT().lgf2;
  if (text == nullptr || HostCall("story_option", text->story_option(story, kXTStoryLocked, &on)) != kXTOk)
    return false;
  *locked = on != 0;
  return true;
}

bool SetLock(int32_t story, bool on) {
  const XTStoryTextSuite* text = XT().lgf2;
  return text != nullptr &&
         HostCall("set_story_option", text->set_story_option(story, kXTStoryLocked, on ? 1 : 0)) == kXTOk;
}

}  // namespace

int32_t ParseStoryLayout(const std::u16string& storyType) {
  static const char16_t* const kWords[] = {u"layout_prn", u"layout_web", u"layout_cur"};
  constexpr size_t kWordLength = 10;
  if (storyType.size() <= kWordLength || storyType.size() > kWordLength + 6) return -1;
  bool known = false;
  for (const char16_t* word : kWords) known = known || storyType.compare(0, kWordLength, word) == 0;
  if (!known) return -1;
  int32_t number = 0;
  for (size_t i = kWordLength; i < storyType.size(); ++i) {
    if (storyType[i] < u'0' || storyType[i] > u'9') return -1;
    number = number * 10 + (storyType[i] - u'0');
  }
  return number;
}

// --- FixedStory ---

FixedStory::FixedStory(XTItem box, Mapper& mapper, const std::deque<Segment>* plan, bool keepObjects) {
  const int32_t story = StoryOfBox(box);
  if (story <= 0) return;
  std::set<int32_t> named;
  // Whether the container carries words between hidden-text markers (an
  // export with SkipProcessHidden leaves them out).
  bool hiddenWords = false;
  if (plan != nullptr) {
    int32_t open = 0;
    for (const Segment& record : *plan) {
      if (record.kind >= 0) named.insert(record.kind);
      if (record.kind >= 0 && record.value == kAnchorStart) ++open;
      if (record.kind >= 0 && record.value == kAnchorEnd && open > 0) --open;
      hiddenWords = hiddenWords || (record.kind == kTextSegment && open > 0);
    }
  }
  StoryRunIterator iterator(story);
  StoryRunPosition position;
  StoryRunIterator::Begin(position, iterator);
  int32_t pending = 0;
  int32_t previous = 0;
  int32_t depth = 0;  // open hidden-text markers that stay in the story
  auto addText = [&](int32_t end) {
    if (end > pending) segments.push_back({!hiddenWords && depth > 0 ? kKeptSegment : kTextSegment, 0, pending, end});
  };
  while (iterator.HasMore(position)) {
    const int32_t start = position.boundary;
    const int32_t end = iterator.NextBoundary(position);
    if (start < previous || end <= start) {
      // An empty run holds nothing to import: reported and stepped over.
      QuarkInternalError("FixedStory", 31);
      iterator.Advance(position);
      if (position.boundary < start) break;
      continue;
    }
    previous = start;
    const uint32_t opcode = iterator.CurrentOpcode(position);
    if (opcode == kXTOpText) {
      // Only the return that ends a host paragraph run ends a paragraph; a
      // column or frame break inside one is text.
      const int32_t paragraphEnd =
          position.paragraphIndex < iterator.paragraphs.count()
              ? position.paragraphStart + iterator.paragraphs.Length(position.paragraphIndex)
              : -1;
      if (end == paragraphEnd && iterator.Text()[end - 1] == '\r' &&
          ReadStoryUnits(iterator.runs, end - 1, end) == u"\r") {
        addText(end - 1);
        segments.push_back({kParagraphEnd, 0, end - 1, end});
        pending = end;
      }
    } else if (opcode < kXTOpPageLast || opcode > kXTOpPageNext) {
      // The key may reach past the object's run: the walk goes on right
      // after that run.
      const StoryRunPosition here = position;
      const HiddenRun hidden = mapper.CollectHidden(iterator, position);
      position = here;
      if (hidden.id != -1) {
        int32_t id = hidden.id;
        if (opcode == kXTOpAnchoredBox && named.count(id) == 0) {
          const int32_t first = Hidden::FirstIdOfTexts(mapper.HiddenRuns(), hidden);
          if (named.count(first) != 0) id = first;
        }
        addText(start);
        // A marker or object the container does not name was left out by
        // an export with SkipProcessHidden before it named them: it stays.
        const bool kept = keepObjects && named.count(id) == 0 && opcode != kXTOpAnchoredBox &&
                          opcode != kXTOpUniqueIdTag;
        segments.push_back({kept ? kKeptSegment : id, StyleFlags::HiddenKind(opcode), start, end});
        pending = end;
        if (kept || named.count(id) != 0) {
          if (StyleFlags::HiddenKind(opcode) == 1) ++depth;
          if (StyleFlags::HiddenKind(opcode) == 0 && depth > 0) --depth;
        }
      }
    }
    iterator.Advance(position);
  }
  addText(iterator.runs.walkLength);
}

// --- Importer ---

std::unique_ptr<Importer> CreateImporter(RefHandle<QuarkDoc> document,
                                         BX_KXT::Import::Ref<BX_KXT::Import::IDoc> container,
                                         bool resizeBoxes, bool testParagraphStyle,
                                         bool uniqueIds, bool newMasterPages) {
  try {
    return std::make_unique<Importer>(std::move(document), std::move(container), resizeBoxes,
                                      testParagraphStyle, uniqueIds, newMasterPages);
  } catch (const std::bad_alloc&) {
    // A block the host did not give (or memory): counted as a failed call,
    // so that the command saves nothing.
    NoteHostFailure();
    return nullptr;
  }
}

Importer::Importer(RefHandle<QuarkDoc> document,
                   BX_KXT::Import::Ref<BX_KXT::Import::IDoc> container, bool resizeBoxes,
                   bool testParagraphStyle, bool uniqueIds, bool newMasterPages)
    : mDocument(std::move(document)),
      mContainer(std::move(container)),
      mResizeBoxes(resizeBoxes),
      mTestParagraphStyle(testParagraphStyle),
      mUniqueIds(uniqueIds),
      mNewMasterPages(newMasterPages) {
  if (mDocument) mDocument->MakeCurrent();
  ResetCurrentDocumentState();
  Connect();
  MakePalette(*this);
  mConnected = GetCurrentDocumentId();
  mInitialLayout = mConnected;
  mApplier = std::make_unique<XAttribs>(GetImportAttribKind());
}

Importer::~Importer() {
  if (mApplier) mApplier->map.Clear();
}

void Importer::OpenProgress() {
  if (!MultiDocMode()) {
    mProgress.reset();
    const int32_t stories = StoryCount() > 0 ? StoryCount() : 1;
    mProgress = std::make_unique<ProgressBar>("Importing document", static_cast<uint32_t>(stories));
  } else if (!mProgress) {
    ++gImportedDocuments;
    mProgress = std::make_unique<ProgressBar>("Importing document", gImportedDocuments);
  } else {
    const uint32_t steps = gImportedDocuments;
    mProgress.reset();
    mProgress = std::make_unique<ProgressBar>("Importing next document", steps);
  }
}

void Importer::CloseProgress() {
  if (MultiDocMode() || !mProgress) return;
  mProgress->Close();
  mProgress.reset();
}

void Importer::SwitchLayout(int16_t document) {
  if (document == mConnected || XT().lgi2 == nullptr) return;
  // Each layout has its own tags and working boxes.  Those of the layout
  // left stay until the end of the run: its stories may not be in yet
  // (the layout current when the import began is connected first).
  Disconnect();
  HostCall("set_current_document", XT().lgi2->set_current_document(document));
  Connect();
  MakePalette(*this);
  mConnected = document;
}

void Importer::UnInstallLayouts(int16_t layoutBase, int32_t layouts) {
  if (layoutBase < 0 || layouts <= 0 || XT().lgi2 == nullptr) {
    UnInstall();
    return;
  }
  for (int32_t k = 0; k < layouts; ++k) {
    const auto document = static_cast<int16_t>(layoutBase + k);
    if (document != mConnected &&
        HostCall("set_current_document", XT().lgi2->set_current_document(document)) != kXTOk) {
      continue;
    }
    mConnected = document;
    UnInstall();
  }
  if (mInitialLayout >= 0 && mInitialLayout != mConnected &&
      HostCall("set_current_document", XT().lgi2->set_current_document(mInitialLayout)) == kXTOk) {
    mConnected = mInitialLayout;
  }
}

void Importer::NoBox(int32_t index, const char* why) {
  ProgramLog() << "####box for story " << index << why << std::endl;
  Beep();
  mStoryWithoutBox = true;
}

void Importer::Run() {
  mStoryWithoutBox = false;
  mLockedGroups = LockedGroups();
  OpenProgress();
  DebugCheckApiErr(0);

  // The document of layout 0, which the layout numbers count from.
  int16_t layoutBase = -1;
  XTProject project = -1;
  XTLayout layout = 0;
  if (XT().projects != nullptr && XT().lgk2 != nullptr &&
      HostCall("current_project", XT().projects->current_project(&project), kXTErrNoDocument) == kXTOk &&
      project != -1 && HostCall("layout_at", XT().lgk2->layout_at(project, 0, &layout)) == kXTOk &&
      HostCall("layout_document", XT().lgk2->layout_document(layout, &layoutBase)) == kXTOk) {
    SwitchLayout(layoutBase);
  }
  const int32_t layouts = LayoutCount();

  int32_t k = 0;
  int32_t previousLayout = -1;
  for (int32_t i = 0;; ++i, ++k) {
    const BX_KXT::Import::Ref<BX_KXT::Import::IStory> story = mContainer->OpenStory(i);
    if (!story) {
      // A story missing between others: the container is damaged.
      if (mContainer->OpenStory(i + 1)) {
        throw ErrorRecord{1004, MsgString::Create(("story " + std::to_string(i) + " is missing").c_str())};
      }
      break;
    }
    if (const char16_t* type = story->GetAttr(u"story_type"); type != nullptr && *type != u'\0') {
      const int32_t number = ParseStoryLayout(type);
      if (number >= 0 && number != previousLayout) {
        if (layoutBase < 0 || (layouts >= 0 && number >= layouts)) {
          NoBox(i, " is not found. Its layout is not in the document");
          continue;
        }
        SwitchLayout(static_cast<int16_t>(layoutBase + number));
        k = 0;
        previousLayout = number;
      }
    }
    const XTItem box = FindBox(k);
    if (box == 0) {
      NoBox(i, " is not found. Trying to import into new created box");
      continue;
    }
    int32_t kind = 0;
    uint16_t spread = 0;
    bool haveSpread = false;
    if (mNewMasterPages) {
      kind = ClassifyBox(box, &spread);
      haveSpread = kind == kMasterBoxNotUsed || kind == kMasterBoxUsed;
    }
    if (kind == kAutotextBoxLinked) {
      LogMasterPageTrace(box, "Import => skipping autotext box", -1);
      continue;
    }
    const AnchorCollector plan(*story);
    Enlargement enlargement;
    Enlarge(plan, box, enlargement);
    if (!MultiDocMode() && mProgress) mProgress->Step(1);
    if (!ImportBox(*story, plan, box, kind, haveSpread ? spread : 0xFFFF, enlargement)) {
      // A view that could not be switched (a counted failure): nothing more
      // is imported.
      Restore(box, enlargement);
      break;
    }
    Restore(box, enlargement);
  }

  CloseProgress();
  UnInstallLayouts(layoutBase, layouts);
  SendDocumentRequest(3);
  SendDocumentRequest(1);
}

bool Importer::ImportBox(BX_KXT::Import::IStory& story, const AnchorCollector& plan, XTItem box,
                         int32_t kind, uint16_t spread, Enlargement& enlargement) {
  if (kind != kMasterBoxUsed) {
    ImportStory(story, plan, box, &enlargement);
    return true;
  }
  int32_t view = xt_getdocviewref();
  const int32_t master = spread == 0xFFFF ? -1 : spread;
  if (master < 0) {
    LogMasterPageTrace(box, "WARNING: Spread number invalid for masterpage box", master);
    ImportStory(story, plan, box, &enlargement);
    return true;
  }
  if (xt_viewgotomaster(view, master) != 0) {
    ReportApiFailure(ApiPolicy::kReturnEmpty, kSource, 273, "Importer::Run");
    return false;
  }
  ImportStory(story, plan, box, &enlargement);
  LogMasterPageTrace(box, "SWITCH VIEW TO LAYOUT [BEFORE] => Masterpage box (used)", -1);
  if (xt_viewgotomaster(view, 0) != 0) {
    ReportApiFailure(ApiPolicy::kReturnEmpty, kSource, 309, "Importer::Run");
    return false;
  }
  LogMasterPageTrace(box, "SWITCH VIEW TO LAYOUT [AFTER] => Masterpage box (used)", -1);
  return true;
}

void Importer::Enlarge(const AnchorCollector& plan, XTItem box, Enlargement& enlargement) {
  const int32_t mode = Settings::Instance().GetTempBoxMaximizeMode();
  if (mode == 0 || XT().lgk2 == nullptr) return;
  uint8_t textBox = 0;
  if (XT().lgk2->is_text_box(box, &textBox) != kXTOk || textBox == 0) return;
  if (mode != 2 && !plan.HasAnchors()) return;
  // Enlarged, a box whose own record the host refuses would keep the page's
  // bounds: it keeps its own, as when boxes are never enlarged.
  if (const char* why = UnusableBoxShape(box)) {
    ProgramLog() << "WARNING: " << BoxName(box) << " is not enlarged for the import (" << why << ")" << std::endl;
    return;
  }
  int32_t page[4] = {0, 0, 0, 0};
  int32_t* own = enlargement.bounds;
  if (GetBoxBounds(box, &own[0], &own[1], &own[2], &own[3]) != 0 ||
      GetBoxPageBounds(box, &page[0], &page[1], &page[2], &page[3]) != 0) {
    return;
  }
  enlargement.active = FixComplexBoxShape(box, page[0], page[1], page[2], page[3],
                                          &enlargement.savedWord, &enlargement.savedShape,
                                          false) == 0;
}

void Importer::Restore(XTItem box, Enlargement& enlargement) {
  if (!enlargement.active) return;
  enlargement.active = false;
  const int32_t* own = enlargement.bounds;
  if (FixComplexBoxShape(box, own[0], own[1], own[2], own[3], &enlargement.savedWord,
                         &enlargement.savedShape, true) != 0) {
    // The box keeps the page's bounds or shape: the import must not be done.
    ProgramLog() << "ERROR: " << BoxName(box)
                 << " did not get its own bounds and shape back: the host refused its record" << std::endl;
    NoteHostFailure();
  }
}

void Importer::ProcessStory(BX_KXT::Import::IStory& story, XTItem box) {
  ImportStory(story, AnchorCollector(story), box, nullptr);
}

void Importer::ImportStory(BX_KXT::Import::IStory& story, const AnchorCollector& plan, XTItem box,
                           Enlargement* enlargement) {
  const uint32_t failures = HostFailureCount();
  const ImpSentry guard(box, *this);
  const FixedStory host(box, *this, &plan, Settings::Instance().IsSkipProcessHidden());
  std::optional<Digger> digger;
  digger.emplace(box, *this, *mApplier, host.segments, mTestParagraphStyle);
  const int32_t storyId = digger->StoryId();

  bool locked = false;
  if (ReadLock(storyId, &locked) && locked && !SetLock(storyId, false)) {
    TraceLevel(kXTErrRefused, "Importer::ProcessStory(): ERROR - Temporary unlock of current story failed!");
  }

  int32_t p = -1;
  bool unitPut = false;
  BX_KXT::Import::Ref<BX_KXT::Import::IPara> para;
  for (size_t n = 0; n < plan.size(); ++n) {
    const Segment& record = plan[n];
    if (record.kind == kParagraphEnd) {
      digger->Next();
      unitPut = false;
    } else if (record.kind >= 0) {
      if (!digger->Locate(record, true)) {
        ProgramLog() << "*** Object(s) not been imported: para=" << p << "  ref=" << record.kind
                     << std::endl;
      }
    } else {
      bool firstOfParagraph = false;
      if (record.a != p) {
        p = record.a;
        para = story.OpenPara(p);
        firstOfParagraph = true;
      }
      if (!para) continue;
      int32_t uniqueId = -1;
      if (firstOfParagraph && mUniqueIds && para->GetAttr(u"uniqID") != nullptr) {
        // A unique id that is no number: its tag would be lost unseen.
        if (!para->GetNumericAttr(u"uniqID", uniqueId)) {
          throw ErrorRecord{1004, MsgString::Create(("paragraph " + std::to_string(p) + ": its unique id is damaged").c_str())};
        }
        if (uniqueId != -1) digger->InsertHidden(uniqueId);
      }
      const BX_KXT::Import::Ref<BX_KXT::Import::IRun> run = para->OpenRun(record.b);
      const bool last = n + 1 < plan.size() && plan[n + 1].kind == kParagraphEnd;
      if (run) digger->PutUnit(*run, unitPut, last);
    }
  }

  // The untranslated text goes first, so that fitting sees the story as it
  // stays.
  if (!digger->Finish() || digger->Failed()) {
    // The story is half made: the import fails and saves nothing.  A
    // deletion refused before any host call (ranges out of order) is
    // counted here.
    ProgramLog() << "ERROR: Importer::ProcessStory(): a host text call failed in story " << storyId
                 << std::endl;
    if (!HostFailedSince(failures)) NoteHostFailure();
  }
  digger.reset();
  if (enlargement != nullptr) Restore(box, *enlargement);
  MakeBoxCurrent(box);
  if (mResizeBoxes && BoxOverflows(mLockedGroups)) EnlargeBox(p, mLockedGroups);
  if (locked && !SetLock(storyId, true)) {
    TraceLevel(kXTErrRefused,
               "Importer::ProcessStory(): ERROR - Relocking temporary unlock of current story failed!");
  }
}
