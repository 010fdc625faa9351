// A batch run (the launcher's registry flag, claimed by this process) saves
// nothing interactively; pending host objects are released all the same.
#include <gtest/gtest.h>

#include "plugin/qapi/file_spec.h"
#include "plugin/qapi/quark_doc.h"
#include "support/reg_key.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

TEST(QuarkDocBatch, SaveIfInteractiveSavesNothingInABatchRun) {
  {
    // The launcher's flag, made before anything asks for it.
    RegKey maker = RegKey::OpenMakerKey();
    RegKey flag(maker.Handle(), kBatchModeKeyName, 0, win::kKeyAllAccess);
  }
  DocHost host;
  const int32_t id = host.Open("doc_brochure.json");
  CurrentRequest().Reset();
  CurrentRequest().source.fullPath = host.Path("doc_brochure.json");
  RefHandle<QuarkDoc> doc = RefHandle<QuarkDoc>::Adopt(new QuarkDoc());
  PendingHostObjects() = {id << 16 | 4};
  host.Clear();
  EXPECT_TRUE(doc->SaveIfInteractive());
  EXPECT_TRUE(IsBatchMode());
  EXPECT_EQ(host.Lines(), (std::vector<std::string>{"release object " +
                                                    std::to_string(id << 16 | 4) + " flags 1"}));
  EXPECT_TRUE(doc->Save());  // an explicit save still saves
  ClearBatchModeFlag();
}

}  // namespace
