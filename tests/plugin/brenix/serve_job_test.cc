// The conversion server as tools/serve.sh runs it (tools/serve_job.sh over
// this build): its settings written beside the lines already there, then a
// socket-mode "exportkxt" of a fixture and an "exportqxp" of the container
// that came back, by the Python client written from the protocol.  The
// container is read by python3-olefile, the document opened by xthost.
#include <gtest/gtest.h>
#include <stdlib.h>

#include <string>
#include <vector>

#include "server_client_util.h"
#include "tests/common/child_process.h"
#include "tests/common/python.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

// Runs both jobs; saves what came back as FOLDER/doc.kxq and FOLDER/doc.qxp
// and prints, per job, its text, its end and the names it sent back.
const char kRoundTrip[] = R"PY(
def main():
    source, folder = sys.argv[2], sys.argv[3]
    out = []
    data = open(source, 'rb').read()
    for command, name, target in (('exportkxt', 'doc.qxp', 'doc.kxq'), ('exportqxp', 'doc.kxq', 'doc.qxp')):
        c = connect(); login(c)
        job = socket_job(c, command, name, data, 'doc', compress=True)
        out.append([job['text'], job['end'], [r['name'] for r in job['results']]])
        c.close()
        if not job['results']:
            break
        data = job['results'][0]['data']
        open(os.path.join(folder, target), 'wb').write(data)
    print(json.dumps(out))
)PY";

TEST(ServeJob, ExportsAFixtureAndMakesADocumentOfTheContainerItSentBack) {
  testutil::TempDir dir("brenix-serve-job");
  const fs::path root = dir.path(), out = root / "out";
  const fs::path build = fs::path(XTHOST_PROGRAM).parent_path().parent_path();
  fs::create_directories(out / "XTensions");
  WriteFile(out / "XTensions" / "brenix.ini", "[Server]\nserverMode = False\nclearTempFiles = True\n");
  const uint16_t port = FreePort();
  const std::string fixture = std::string(BRENIX_TEST_DATA) + "/doc_brochure.json";
  setenv("CLIENT_DIR", BRENIX_TEST_DATA "/../common", 1);
  testutil::ChildProcess server(
      {std::string(BRENIX_TOP) + "/tools/serve_job.sh", build.string(), out.string(), std::to_string(port)});
  testutil::ChildProcess client({BRENIX_PYTHON, "-c", kRoundTrip + std::string(kPrelude), std::to_string(port),
                                 fixture, root.string()});
  ASSERT_EQ(client.Wait(120), 0) << client.Output() << server.Output();
  ASSERT_EQ(server.Wait(30), 0) << server.Output();
  EXPECT_EQ(client.Output(),
            "[[\"export kxt\", \"export finished\", [\"doc.kxq\"]], "
            "[\"export indd\", \"export finished\", [\"doc.qxp\"]]]\n")
      << server.Output();

  // The settings file as it was; the server's copy with the script's settings, the other lines kept.
  EXPECT_EQ(ReadFile(out / "XTensions" / "brenix.ini"), "[Server]\nserverMode = False\nclearTempFiles = True\n");
  EXPECT_EQ(ReadFile(out / "server" / "XTensions" / "brenix.ini"),
            "[Server]\nserverMode = True\nclearTempFiles = True\nlistenPort = " + std::to_string(port) + "\n");
  EXPECT_NE(server.Output().find("serve stopped: quit requested"), std::string::npos) << server.Output();

  // The container as an independent reader sees it: a compound file with
  // the stored host document that inflates to a document of the host format.
  EXPECT_EQ(testutil::PythonOutput("import sys, zlib, olefile\n"
                                   "ole = olefile.OleFileIO(sys.argv[1])\n"
                                   "data = ole.openstream('SolvanePluginPrivateData/BrenixExportTemplates/0').read()\n"
                                   "print(b'xthost document' in zlib.decompress(data))\n",
                                   {(root / "doc.kxq").string()}),
            "True\n");

  // The document the second job made opens in the host with as many
  // stories as the fixture, and its texts.
  Installation install;
  std::vector<HostRun> opened;
  for (const std::string& document : {fixture, (root / "doc.qxp").string()}) {
    opened.push_back(RunHost(install, {"open", document, "stories"}));
    ASSERT_TRUE(Clean(opened.back())) << opened.back().errors;
  }
  EXPECT_EQ(Only(opened[1], {"story "}).size(), Only(opened[0], {"story "}).size());
  const std::vector<std::string> paragraphs = Only(opened[1], {"  paragraph "});
  std::string texts;
  for (const std::string& line : paragraphs) texts += line + "\n";
  for (const char* text : {" \"Brenix Brochure\\x0d\"\n", " \"Last words\\x0d\"\n"}) {
    EXPECT_NE(texts.find(text), std::string::npos) << text << texts;
  }
}

}  // namespace
