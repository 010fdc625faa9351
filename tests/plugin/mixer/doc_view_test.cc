// The document and view wrappers against the stand-in host, and the exact
// API-failure reports they write with testMode bit 0 on.
#include "plugin/mixer/doc_view.h"

#include <gtest/gtest.h>

#include <string>
#include <type_traits>
#include <vector>

#include "plugin/mixer/api_failure.h"
#include "plugin/mixer/host_pages.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

static_assert(!std::is_convertible_v<int32_t, XTDocRef>, "a document reference is not an id");
static_assert(!std::is_convertible_v<XTDocRef, int32_t>, "nor the other way round");

const std::string kRule(80, ':');

// Two layouts, the first with one user master.
const char kTwoLayouts[] = R"({"format": "xthost document", "version": 1,
  "layouts": [{"name": "Print", "spreads": [{"pages": [{}, {}]}, {"pages": [{"master": 3}]}],
               "masters": [{"name": "A-Master"}]},
              {"name": "Web", "type": "XWEB"}],
  "boxes": [{"id": 1, "story": 1, "bounds": [36, 36, 300, 300]}],
  "stories": [{"id": 1, "text": "Text", "paragraphs": [[0, 4]], "runs": [[0, 4]]}]})";

TEST(ApiFailure, BlockAndPolicyWords) {
  const struct {
    ApiPolicy policy;
    const char* word;
  } cases[] = {{ApiPolicy::kReturnError, "RETURN_ERROR"},
               {ApiPolicy::kReturnValue, "RETURN_VALUE"},
               {ApiPolicy::kReturnEmpty, "RETURN_EMPTY"},
               {ApiPolicy::kCheckOnly, "CHECK_ONLY"}};
  for (const auto& c : cases) {
    EXPECT_STREQ(ApiPolicyWord(c.policy), c.word);
    EXPECT_EQ(ApiFailureText(c.policy, "Filter_BX", 671, "Mapper::FindBox"),
              "\n" + kRule + "\nAPI_FAILURE<" + c.word + ">:\tFilter_BX[671]:Mapper::FindBox()\n" +
                  kRule + "\n");
  }
}

TEST(DocView, NoDocumentReportsOnlyInTestMode) {
  for (const int testMode : {1, 3, 0, 2}) {
    MixerHost host;
    host.SetTestMode(testMode);
    LogCapture log;
    EXPECT_EQ(xt_getdocref(), XTDocRef(-1));
    const std::string expected =
        testMode & 1 ? "\n" + kRule + "\nAPI_FAILURE<RETURN_VALUE>:\tMixer[116]:xt_getdocref()\n" +
                           kRule + "\n"
                     : "";
    EXPECT_EQ(log.Text(), expected) << testMode;
  }
}

TEST(DocView, ViewReferenceAndDocumentReference) {
  MixerHost host;
  host.SetTestMode(1);
  const int32_t doc = host.OpenText("layouts.json", kTwoLayouts);
  LogCapture log;
  EXPECT_EQ(xt_getdocref(), XTDocRef(doc));
  uint32_t reference = 77;
  const int32_t view = xt_getdocviewref(&reference);
  EXPECT_NE(view, 0);
  EXPECT_EQ(reference, static_cast<uint32_t>(doc));
  EXPECT_EQ(xt_getdocviewref(nullptr), view);

  // A failing view query stores nothing and reports once.
  host.Fail("view_of:1");
  reference = 77;
  EXPECT_EQ(xt_getdocviewref(&reference), 0);
  EXPECT_EQ(reference, 77u);
  EXPECT_EQ(log.Text(), "\n" + kRule +
                            "\nAPI_FAILURE<RETURN_VALUE>:\tMixer[139]:xt_getdocviewref()\n" +
                            kRule + "\n");
}

TEST(DocView, SwitchingTheView) {
  MixerHost host;
  host.SetTestMode(1);
  host.OpenText("layouts.json", kTwoLayouts);
  int32_t view = xt_getdocviewref();
  bool masters = true;
  ASSERT_EQ(IsMasterView(&masters), kXTOk);
  EXPECT_FALSE(masters);
  LogCapture log;
  EXPECT_EQ(xt_viewgotomaster(view, 1), kXTOk);
  ASSERT_EQ(IsMasterView(&masters), kXTOk);
  EXPECT_TRUE(masters);
  // Master page 1 is spread 3, the only user master; 2 would be spread 4.
  EXPECT_EQ(xt_viewgotomaster(view, 2), kXTErrParam);
  EXPECT_EQ(log.Text(), "\n" + kRule +
                            "\nAPI_FAILURE<RETURN_ERROR>:\tMixer[161]:xt_viewgotomaster()\n" +
                            kRule + "\n");
  EXPECT_EQ(xt_viewgotomaster(view, 0), kXTOk);
  ASSERT_EQ(IsMasterView(&masters), kXTOk);
  EXPECT_FALSE(masters);
  int32_t state = -1;
  EXPECT_EQ(QueryDocumentState(&state), kXTOk);
  EXPECT_EQ(state, 0);
}

TEST(DocView, MakeCurrentSwitchesLayoutsAndDocuments) {
  MixerHost host;
  const int32_t first = host.OpenText("layouts.json", kTwoLayouts);
  const int32_t second =
      host.OpenText("other.json", R"({"format": "xthost document", "version": 1})");
  ASSERT_EQ(xt_getdocref(), XTDocRef(second));
  ASSERT_EQ(XT().lgh2->set_tool_mode(2), kXTOk);

  // The first document's window is behind the second's: its view is busy
  // until MakeCurrent brings it to the front, once.
  int32_t state = -1;
  ASSERT_EQ(XT().lgk2->view_state(first, &state), kXTOk);
  EXPECT_EQ(state, 1);
  ASSERT_EQ(XT().lgk2->view_state(second, &state), kXTOk);
  EXPECT_EQ(state, 0);
  host.Clear();
  // The web layout of the first document has the id after the print one.
  EXPECT_EQ(Mixer::MakeCurrent(XTDocRef(first + 1)), XTDocRef(second));
  EXPECT_EQ(xt_getdocref(), XTDocRef(first + 1));
  ASSERT_EQ(XT().lgk2->view_state(first, &state), kXTOk);
  EXPECT_EQ(state, 0);
  int32_t mode = 0;
  ASSERT_EQ(XT().lgh2->tool_mode(&mode), kXTOk);
  EXPECT_EQ(mode, 1);
  EXPECT_EQ(Mixer::MakeCurrent(XTDocRef(first)), XTDocRef(first + 1));
  EXPECT_EQ(Mixer::MakeCurrent(XTDocRef(first)), XTDocRef(first));
  EXPECT_EQ(xt_getdocref(), XTDocRef(first));
  std::vector<std::string> fronts;
  for (const std::string& line : host.Lines()) {
    if (line.find(" to front") != std::string::npos) fronts.push_back(line);
  }
  EXPECT_EQ(fronts, (std::vector<std::string>{"window of document " + std::to_string(first) + " to front"}));
  // Back to the second document: its window comes to the front again.
  EXPECT_EQ(Mixer::MakeCurrent(XTDocRef(second)), XTDocRef(first));
  ASSERT_EQ(XT().lgk2->view_state(second, &state), kXTOk);
  EXPECT_EQ(state, 0);
}

TEST(HostPages, PageReferencesFollowTheView) {
  MixerHost host;
  const int32_t doc = host.OpenText("layouts.json", kTwoLayouts);
  int32_t view = xt_getdocviewref();
  // Layout page 1 comes after the three master pages.
  XTPageRef expected = 0;
  ASSERT_EQ(XT().lgk2->page_reference(4, &expected), kXTOk);
  EXPECT_EQ(GetPageRef(XTDocRef(doc), 1), expected);
  EXPECT_EQ(GetPageRef(XTDocRef(doc), 0), 0);
  EXPECT_EQ(GetDataOwner(1, 2), expected);
  ASSERT_EQ(xt_viewgotomaster(view, 1), kXTOk);
  ASSERT_EQ(XT().lgk2->page_reference(1, &expected), kXTOk);
  EXPECT_EQ(GetPageRef(XTDocRef(doc), 1), expected);
  EXPECT_EQ(GetPageRef(XTDocRef(-1), 1), 0);
}

TEST(HostPages, DataOwnersByKind) {
  MixerHost host;
  const int32_t doc = host.OpenText("layouts.json", kTwoLayouts);
  ASSERT_EQ(XT().lgh2->set_current_box(ItemHandle(doc, 1)), kXTOk);
  const struct {
    int32_t object, kind, owner;
  } cases[] = {
      {ItemHandle(doc, 1), 0, ItemHandle(doc, 1)},
      {0, 0, ItemHandle(doc, 1)},
      {0, 1, ItemHandle(doc, 1)},
      {0, 3, ItemHandle(doc, 1)},
      {ItemHandle(doc, 1), 1, ItemHandle(doc, 1)},
      {99, 4, doc},
      {1234, 6, 1234},
      {1234, 5, 0},
      {1234, 7, 0},
  };
  for (const auto& c : cases) EXPECT_EQ(GetDataOwner(c.object, c.kind), c.owner) << c.kind;
}

TEST(HostPages, ErrorRecordsAndConstants) {
  EXPECT_EQ(GetImportAttribKind(), 2);
  const ErrorRecord many = MakeTooManyErrorsRecord();
  EXPECT_EQ(many.code, 1014);
  EXPECT_STREQ(many.message.Text(), "");
  const ErrorRecord create = MakeCreateKxtError("/tmp/a.kxq");
  EXPECT_EQ(create.code, 1005);
  EXPECT_STREQ(create.message.Text(), "/tmp/a.kxq");
  const ErrorRecord open = MakeOpenKxtError("/tmp/b.kxq");
  EXPECT_EQ(open.code, 1006);
  EXPECT_STREQ(open.message.Text(), "/tmp/b.kxq");
}

}  // namespace
