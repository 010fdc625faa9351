// The outputs of long stories keep their bytes: a story linked through 200
// boxes, one a page, and a story of 20,000 units in 100-unit paragraphs
// that runs overset in its one box (tests/common/long_story_document.h) are
// exported through the test harness (the container), the coordinates
// exporter and the XTags exporter, and the SHA-256 digest of each file,
// taken by Python's hashlib, is the one recorded below.  Work on the speed
// of long chains and stories must not change a byte.
//
// Regenerating: a change that alters these outputs on purpose runs this
// test, takes the digests its failures report (each printed in the table's
// form) into the table, and says in its commit why the outputs changed.
#include <gtest/gtest.h>

#include <fstream>
#include <memory>
#include <set>
#include <sstream>
#include <string>

#include "plugin/conversion/exporter_coord.h"
#include "plugin/conversion/exporter_krm.h"
#include "tests/common/long_story_document.h"
#include "tests/common/python.h"
#include "tests/plugin/conversion/export_harness.h"
#include "tests/plugin/conversion/side_output_util.h"
#include "tests/plugin/mixer/mixer_host_util.h"

namespace {

struct Outputs {
  std::string container, coordinates, tags;  // paths
};

// Exports the open document's three outputs under `name`.
Outputs ExportAll(MixerHost& host, const std::string& name) {
  Outputs out{host.Path(name + ".kxq"), host.Path(name + ".coo"), host.Path(name + ".krm")};
  EXPECT_TRUE(export_test::ExportCurrentProject(out.container).stored) << name;
  std::set<int32_t> ids;
  {
    std::ofstream file(out.coordinates, std::ios::binary | std::ios::trunc);
    WriteCoordinatesHeader(file, "/source.qxp");
    side_test::ForEachLayout([&](const RefHandle<QuarkDoc>& document, int32_t) {
      EXPECT_EQ(ExporterCoord::Create(document, &file, &ids)->Run(), 0) << name;
    });
  }
  ids.clear();
  {
    std::ofstream file(out.tags, std::ios::binary | std::ios::trunc);
    WideTextStream stream(file);
    WriteKrmHeader(stream, "/source.qxp");
    side_test::ForEachLayout([&](const RefHandle<QuarkDoc>& document, int32_t) {
      ExporterKrm::Create(document, &stream, &ids)->WriteFile();
    });
    EXPECT_TRUE(stream.Flush()) << name;
  }
  return out;
}

std::string Sha256(const std::string& path) {
  std::string digest = testutil::PythonOutput(
      "import hashlib, sys\nprint(hashlib.sha256(open(sys.argv[1], 'rb').read()).hexdigest())", {path});
  while (!digest.empty() && (digest.back() == '\n' || digest.back() == '\r')) digest.pop_back();
  return digest;
}

TEST(LongStoryIdentity, ChainedAndLongStoriesGiveTheRecordedOutputs) {
  struct Case {
    const char* name;
    std::string document;
    const char* container;  // SHA-256 of each output
    const char* coordinates;
    const char* tags;
  };
  const Case cases[] = {
      {"chained", testutil::ChainedDocument(200, true),
       "8760b660529cd475a7e134c7c7ae6196d2fd7fd36bce5995e16e9621b6fd81b7",
       "8590b87f94cfcb316805282de70b7ad91aa23c9da4567f674fdbd2e7ae6acec9",
       "9de7a46ee13549cfc2ffc11f61f26df33366bc79fb54af18eb0598add0b49dc3"},
      {"long", testutil::LongStoryDocument(200, 1),
       "5440cde5bb613d1f8a478a9e4b2b364e531e76eb6e84ab812eefeeeb970fd872",
       "64d0da08f60c730aa49837b5e6582d7065bfd336a60f75134441ac90421bd6dc",
       "87915ac01f057368620e47a3c84f7b5c63da772fab3628b9180943ad7879192e"},
  };
  for (const Case& c : cases) {
    MixerHost host;
    static XTRegisterRec record = xthost::MakeRegisterRec();
    XT().registration = &record;
    host.OpenText(std::string(c.name) + ".qxp", c.document);
    LogCapture log;
    const Outputs out = ExportAll(host, c.name);
    const std::string digests[3] = {Sha256(out.container), Sha256(out.coordinates), Sha256(out.tags)};
    EXPECT_EQ(digests[0], c.container) << c.name << " container: \"" << digests[0] << "\",";
    EXPECT_EQ(digests[1], c.coordinates) << c.name << " coordinates: \"" << digests[1] << "\",";
    EXPECT_EQ(digests[2], c.tags) << c.name << " XTags: \"" << digests[2] << "\"},";
  }
}

}  // namespace
