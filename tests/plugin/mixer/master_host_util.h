// The mixer's test host with the plug-in's two box notices registered by a
// linked plug-in, the registries emptied, the settings of the master-page
// code written by the test, and the layout fixture at hand.
#pragma once

#include <cstdint>
#include <string>

#include "tests/plugin/mixer/mixer_host_util.h"

class MasterHost : public MixerHost {
 public:
  // Registers OnBoxPairNotice (kind 501) and OnLinkedBoxNotice (kind 106)
  // and empties both registries.
  explicit MasterHost(const std::string& fail = "");
  ~MasterHost();

  // Loads a settings file with the two master-page modes and testMode.
  void LoadSettings(int logMode, int testMode = 0);
  // Opens tests/data/doc_layouts.json; its document id.
  int32_t OpenLayouts();
  // The item handle of item `id` of the document opened last.
  XTItem Item(int32_t id) const { return ItemHandle(document_, id); }
  // The text of story `id` of the current document as UTF-8.
  std::string StoryText(int32_t id);
  // Every story of the current document that holds "#$_@?&#", by id.
  std::string StoriesWithProbe();

 private:
  int32_t document_ = 0;
};
