#include "tests/plugin/mixer/mixer_host_util.h"

#include <gtest/gtest.h>

#include <fstream>

#include "host/document_ops.h"
#include "host/host.h"
#include "support/host_link.h"
#include "support/settings.h"

MixerHost::MixerHost(const std::string& fail) : DocHost("") {
  const XTRegisterRec record = xthost::MakeRegisterRec();
  HostLink& link = XT();
  AcquireSuite(record, kXTSuiteLGK2, link.lgk2);
  AcquireSuite(record, kXTSuiteLGL2, link.lgl2);
  AcquireSuite(record, kXTTableXBXa, link.boxes);
  Fail(fail);
}

int32_t MixerHost::OpenText(const std::string& name, const std::string& json) {
  std::ofstream(Path(name), std::ios::binary) << json;
  int32_t id = 0;
  std::string error;
  EXPECT_EQ(xthost::OpenDocumentFile(host(), Path(name), 31, &id, &error), kXTOk) << error;
  return id;
}

void MixerHost::SetTestMode(int value) {
  const std::string path = Path("settings.ini");
  std::ofstream(path, std::ios::binary) << "[Options]\ntestMode=" << value << "\n";
  ASSERT_TRUE(Settings::Instance().Load(path, false));
  ASSERT_EQ(Settings::Instance().GetTestMode(), value);
}

std::size_t MixerHost::OpenHandles() {
  std::size_t polygons = 0;
  for (const auto& entry : host().docs.polygons.items()) {
    if (!entry.second.host_owned) ++polygons;
  }
  return host().docs.blocks.size() + host().strings.size() + polygons;
}
