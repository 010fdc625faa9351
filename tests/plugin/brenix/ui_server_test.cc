// The conversion server as a launcher and a client meet it: xthost in server
// mode on a free port, driven by the Python client written from the
// protocol.  Password, status commands, unknown commands, closing and
// halting; jobs in both modes before the conversions exist; the heartbeat;
// a silent client dropped; the "serve" command; a port held elsewhere.
#include <gtest/gtest.h>

#include <memory>

#include "server_client_util.h"
#include "tests/common/child_process.h"
#include "ui_run_util.h"

namespace {

using namespace ui_run;

struct ServedRun {
  HostRun host;
  std::string client;  // what the client printed
};

// Runs the client program (a Python function main(), the argument after
// the port in sys.argv[2:]) beside xthost serving on `port`.
ServedRun Serve(const Installation& install, uint16_t port, const std::string& main,
                const std::vector<std::string>& hostArgs, const std::vector<std::string>& env = {},
                const std::vector<std::string>& clientArgs = {}) {
  setenv("CLIENT_DIR", BRENIX_TEST_DATA "/../common", 1);
  std::vector<std::string> argv = {BRENIX_PYTHON, "-c", main + kPrelude, std::to_string(port)};
  argv.insert(argv.end(), clientArgs.begin(), clientArgs.end());
  testutil::ChildProcess client(argv);
  ServedRun run;
  run.host = RunHost(install, hostArgs, env);
  EXPECT_EQ(client.Wait(10), 0) << client.Output();
  run.client = client.Output();
  return run;
}

std::string Settings(uint16_t port, const std::string& more = "") {
  return "[Server]\nserverMode = True\nlistenPort = " + std::to_string(port) + "\n" + more;
}

std::string ServerLog(const fs::path& folder) {
  std::string log;
  for (const auto& entry : fs::directory_iterator(folder)) {
    if (entry.path().filename().string().rfind("PELMO_", 0) == 0) log = ReadFile(entry.path() / "BX9_srv.log");
  }
  return log;
}

TEST(ServerRun, AnswersPasswordsAndCommandsAndQuitsWhenHalted) {
  Installation install;
  const uint16_t port = FreePort();
  install.WriteSettings(Settings(port, "activateServerLog = True\nkeepServerLog = True\nserverLogMinPriority = 0\n") +
                        "[Path]\nLogPath = " + install.root().string() + "\n");
  const ServedRun run = Serve(install, port, R"PY(
def main():
    out = []
    c = connect(); out += [login(c, 'amberquietlodgE'), c.read_line()]; c.close()
    c = connect(); out += [login(c), ask(c, 'serveralive'), ask(c, 'get_server_version'),
                           ask(c, 'get_transfer_mode'), ask(c, 'exportJPGS'), c.read_line()]; c.close()
    for word in ('quit', 'closeConnection'):
        c = connect(); login(c); c.send_line(word); out.append(c.read_line()); c.close()
    out += halt()
    print(json.dumps(out))
)PY",
                              {"start", "idle", "1"});
  ASSERT_TRUE(Clean(run.host)) << run.host.errors;
  EXPECT_EQ(run.client,
            "[\"Wrong password.\", null, \"password ok\", \"server alive v2\", \"3\", \"socket_can_compr\", "
            "\"Unknown command 'exportJPGS'.\", null, null, null, \"halt server\", null]\n");
  EXPECT_EQ(Only(run.host, {"idle", "quit"}),
            (std::vector<std::string>{"idle 1", "quit requested", "quit"}));
  const std::string& log = run.host.errors;
  for (const char* record :
       {"ConversionBase[", "]:checkPassword():\nPassword (wrong): '(masked)'",
        "]:commandLoopRun():\nError: execution failed for command: exportJPGS",
        "]:commandLoopRun():\nHalt server!", "]:DoStartServer():\nServer shutdown started ...",
        "Server successfully halted.", "Quark shutdown started ..."}) {
    EXPECT_NE(log.find(record), std::string::npos) << record;
  }
  EXPECT_LT(log.find("Server successfully halted."), log.find("Quark shutdown started ..."));
  // The five passwords read are masked in both logs; the line after one is whole.
  for (const std::string& said : {log, ServerLog(install.root())}) {
    EXPECT_EQ(said.find("amberquietlodge"), std::string::npos) << said;
    EXPECT_EQ(Count(said, "READ:\t(masked)"), 5u) << said;
    EXPECT_EQ(Count(said, "READ:\tserveralive"), 1u) << said;
  }
  // Five clients: the first had the wrong password, and the loop stays in
  // error for the clients after it.
  EXPECT_EQ(Count(log, "Command loop finished: ERROR"), 5u) << log;
  EXPECT_EQ(Count(log, "Automatic server restart"), 0u);
}

TEST(ServerRun, TellsTheTransferModeOfItsSettings) {
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"socketTransferMode = False\n[Options]\nsockXferCanCompress = True\n", "file"},
      {"socketTransferMode = True\n[Options]\nsockXferCanCompress = False\n", "socket"},
      {"socketTransferMode = True\n[Options]\nsockXferCanCompress = True\n", "socket_can_compr"},
  };
  for (const auto& [settings, mode] : cases) {
    Installation install;
    const uint16_t port = FreePort();
    install.WriteSettings(Settings(port, settings));
    const ServedRun run = Serve(install, port, R"PY(
def main():
    c = connect(); login(c); print(ask(c, 'get_transfer_mode')); c.close(); halt()
)PY",
                                {"start", "idle", "1"});
    ASSERT_TRUE(Clean(run.host)) << run.host.errors;
    EXPECT_EQ(run.client, mode + "\n");
  }
}

TEST(ServerRun, RunsJobsInBothModesBeforeTheConversionsExist) {
  Installation install;
  const uint16_t port = FreePort();
  const fs::path root = install.root();
  for (const char* folder : {"tmp", "alive", "out"}) fs::create_directory(root / folder);
  install.WriteSettings(Settings(port, "clearTempFiles = False\n") + "[Path]\nTemporaryPath = " +
                        (root / "tmp").string() + "\nServerAlivePath = " + (root / "alive").string() + "\n");
  std::string upload;
  for (int i = 0; i < 100000; ++i) upload.push_back(static_cast<char>((i * 7919) >> 3));
  WriteFile(root / "doc.qxp", upload);
  const ServedRun run = Serve(install, port, R"PY(
def main():
    out = []
    data = open(sys.argv[2], 'rb').read()
    c = connect(); login(c)
    out.append(shared_folder_job(c, 'exportkxt', sys.argv[2], sys.argv[3], 'doc') + [c.read_line()])
    for compress in (False, True):
        c = connect(); login(c)
        job = socket_job(c, 'exportpdf', 'doc.qxp', data, 'doc', compress)
        out.append([job['text'], len(job['results']), job['end'], c.read_line()])
    c = connect(); login(c); time.sleep(2.5); out.append(c.read_line())
    print(json.dumps(out))
)PY",
                              {"start", "idle", "1"}, {"BRENIX_SERVER_TIMEOUT=1"},
                              {(root / "doc.qxp").string(), (root / "out").string()});
  ASSERT_TRUE(Clean(run.host)) << run.host.errors;
  EXPECT_EQ(run.client,
            "[[\"export kxt\", \"filename ok\", \"target folder ok\", \"target name ok\", \"export finished\", "
            "null], [\"export pdf\", 0, \"export finished\", null], [\"export pdf\", 0, \"export finished\", null], "
            "null]\n");
  // Each task reached the conversion, which failed: the upload is no host
  // document, and no PDF is made.
  EXPECT_EQ(Count(run.host.errors, " - AFTER FolderUtils::ProcessConversion()"), 3u) << run.host.errors;
  // The program log says why, with each upload's full path.
  EXPECT_EQ(Count(run.host.log, "\nThe host cannot open \"" + root.string() + "/"), 3u) << run.host.log;
  EXPECT_EQ(Count(run.host.log, "/doc.qxp\": host result -5005 (the file is not a host document)\n"), 3u)
      << run.host.log;
  // With clearTempFiles off the job folders stay, each with its upload.
  int jobs = 0;
  for (const auto& entry : fs::directory_iterator(root / "tmp")) {
    ++jobs;
    EXPECT_EQ(ReadFile(entry.path() / "incoming" / "doc.qxp"), upload);
  }
  EXPECT_EQ(jobs, 2);
  EXPECT_TRUE(fs::is_empty(root / "out"));
  EXPECT_EQ(ReadFile(root / "alive" / "ServerAlive"), "2024-03-07 09:05:01\n");
  EXPECT_NE(run.host.errors.find("File mode: socket transfer\tCompression: on"), std::string::npos);
}

TEST(ServerRun, ServeDeliversIdleTimeUntilAClientHaltsTheServer) {
  Installation install;
  const uint16_t port = FreePort();
  install.WriteSettings(Settings(port));
  const ServedRun run = Serve(install, port, R"PY(
def main():
    print(json.dumps(halt()))
)PY",
                              {"start", "serve"});
  ASSERT_TRUE(Clean(run.host)) << run.host.errors;
  EXPECT_EQ(run.client, "[\"halt server\", null]\n");
  EXPECT_EQ(Only(run.host, {"serve", "quit"}),
            (std::vector<std::string>{"serve", "quit requested", "serve stopped: quit requested", "quit"}));
}

TEST(ServerRun, APortHeldElsewhereLeavesTheServerDownAndRelaunchesIt) {
  Installation install;
  Listener held;
  install.WriteSettings(Settings(held.port(), "activateServerLog = True\nkeepServerLog = True\n") +
                        "[Path]\nLogPath = " + install.root().string() + "\n");
  const HostRun run = RunHost(install, {"start", "idle", "3"});
  ASSERT_TRUE(Clean(run)) << run.errors;
  EXPECT_EQ(Count(run.errors, "Server not ok!\t - AFTER conn.startServer() -"), 3u) << run.errors;
  EXPECT_EQ(Count(run.errors, "Server DOWN"), 3u);
  EXPECT_TRUE(Only(run, {"quit requested"}).empty());
  // The server log keeps the records of level 7 and above.
  const std::string serverLog = ServerLog(install.root());
  EXPECT_EQ(Count(serverLog, "\tServer DOWN\n"), 3u) << serverLog;
  EXPECT_EQ(serverLog.find("Server not ok!"), std::string::npos);
}

}  // namespace
