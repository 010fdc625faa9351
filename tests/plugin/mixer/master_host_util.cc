#include "tests/plugin/mixer/master_host_util.h"

#include <gtest/gtest.h>

#include <fstream>

#include "host/document.h"
#include "host/utf.h"
#include "platform/xt/xt_entry.h"
#include "plugin/mixer/box_registries.h"
#include "support/settings.h"

namespace {

int32_t RegisterNotices(XTRegisterRec* record) {
  record->register_callback(kXTBoxPair, OnBoxPairNotice, 5, 200, 0);
  record->register_callback(kXTLinkedBox, OnLinkedBoxNotice, 5, 200, 0);
  return 0;
}

int32_t ActivateNotices(XTActivateRec* record) {
  record->handshake(kXTProductCode, 0, kXTApiVersion, 0, 0);
  return record->register_module(RegisterNotices, 5, 200, 0);
}

}  // namespace

MasterHost::MasterHost(const std::string& fail) : MixerHost(fail) {
  host().StartLinked("notices", ActivateNotices);
  EmptyBoxRegistries();
  Clear();
}

MasterHost::~MasterHost() { EmptyBoxRegistries(); }

void MasterHost::LoadSettings(int logMode, int testMode) {
  const std::string path = Path("settings.ini");
  std::ofstream(path, std::ios::binary) << "[Options]\nmasterPageMode=1\nmasterPageLogMode="
                                        << logMode << "\ntestMode=" << testMode << "\n";
  ASSERT_TRUE(Settings::Instance().Load(path, false));
  ASSERT_EQ(Settings::Instance().GetMasterPageLogMode(), logMode);
}

int32_t MasterHost::OpenLayouts() {
  document_ = Open("doc_layouts.json");
  return document_;
}

std::string MasterHost::StoryText(int32_t id) {
  const xthost::Story* story = content().FindStory(id);
  std::string text;
  if (story != nullptr) xthost::Utf16ToUtf8(story->text, &text);
  return text;
}

std::string MasterHost::StoriesWithProbe() {
  std::string ids;
  for (const xthost::Story& story : content().stories) {
    if (story.text.find(u"#$_@?&#") != std::u16string::npos) ids += std::to_string(story.id) + " ";
  }
  return ids;
}
