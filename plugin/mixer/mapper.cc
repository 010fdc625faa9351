#include "plugin/mixer/mapper.h"

#include "plugin/mixer/brenix_box.h"

Mapper::Mapper() = default;
Mapper::~Mapper() {
  mPrivateBox.reset();
  if (mProgress) mProgress->Close();
}

int32_t Mapper::Analyze() { return 0; }
bool Mapper::Connect() { return false; }
XTItem Mapper::FindBox(int32_t) { return 0; }
void Mapper::UnInstall() { mStoryCount = mNextStoryId = mAnchorFailures = 0; mCounter1 = mCounter2 = 0; }
void Mapper::MasterPatch() {}
void Mapper::FindBoxFromUnusedMP(bool) {}
XTItem Mapper::FindSlugFromMP(uint32_t, uint16_t) { return 0; }
void Mapper::Link(XTItem, int32_t) {}
void Mapper::Unlink(XTItem) {}
void Mapper::SetCurrentBoxes() {}
HiddenRun Mapper::CollectHidden(StoryRunIterator&, StoryRunPosition&) { return {}; }
bool Mapper::LookupHidden(StoryRunIterator&, StoryRunPosition&, int32_t*) { return false; }
bool Mapper::AnaliseText(XTItem, int32_t, int16_t) { return false; }
bool Mapper::AnaliseAnchored(XTItem, int32_t, int16_t) { return false; }
uint16_t Mapper::MasterSpreadOf(int32_t id) const {
  auto found = mStoryMasterPages.find(id);
  return found == mStoryMasterPages.end() ? 0 : found->second;
}
void Mapper::EnterMasterPage(int32_t id, uint16_t spread) { mStoryMasterPages.emplace(id, spread); }
void Mapper::SetProgress(uint32_t) {}
void Mapper::MakeProgress() {}
