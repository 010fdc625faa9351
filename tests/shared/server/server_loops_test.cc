// The server's loops in process: one client's command loop against the
// Python client (password, commands, how its connection ends), and the
// whole server on a free loopback port: an injected accept failure, the
// restart on the same port, a halt that stops it, and no second server
// inside the first.
#include <gtest/gtest.h>

#include <future>
#include <string>
#include <vector>

#include "shared/server/conversion.h"
#include "shared/server/server_job_util.h"
#include "shared/server/server_loops.h"
#include "shared/server/transport_util.h"

namespace {

// argv: the lines to send; then the sending side closes and every answer
// up to the server's close is printed.
const char kLines[] = R"PY(
c = Client(port)
for line in sys.argv[1:]:
    c.send_raw(line.encode('utf-8', 'surrogateescape') + b'\n')
c.sock.shutdown(socket.SHUT_WR)
out = []
while True:
    line = c.read_line()
    if line is None:
        break
    out.append(line)
print(json.dumps(out))
)PY";

class CommandLoop : public TransportTest {
 protected:
  CommandLoop() { StartClient("import socket\nClient(port).close()\n", {}); }
};

struct LoopCase {
  std::vector<std::string> lines;
  const char* answers;
  bool result;
  bool halt;
};

TEST_F(CommandLoop, EndsAsTheClientEndsIt) {
  FinishClient();  // the fixture's first client only hands the listener over
  const std::vector<LoopCase> cases = {
      {{"amberquietlodge", "serveralive"}, R"(["password ok", "server alive v2"])", true, false},
      {{"amberquietlodge", "get_server_version"}, R"(["password ok", "3"])", false, false},
      {{"amberquietlodge\r"}, R"(["Wrong password."])", false, false},
      {{"", "amberquietlodge"}, R"(["Wrong password."])", false, false},
      {{"AMBERQUIETLODGE", "serveralive"}, R"(["Wrong password."])", false, false},
      {{"amberquietlodge", "quit", "serveralive"}, R"(["password ok"])", true, false},
      {{"amberquietlodge", "closeConnection"}, R"(["password ok"])", true, false},
      {{"amberquietlodge", "quit "}, R"(["password ok", "Unknown command 'quit '."])", false, false},
      {{"amberquietlodge", "exportJPGS", "serveralive"}, R"(["password ok", "Unknown command 'exportJPGS'."])",
       false, false},
      {{"amberquietlodge", ""}, R"(["password ok", "Unknown command ''."])", false, false},
      {{"amberquietlodge", "serveralive", "haltServer", "serveralive"},
       R"(["password ok", "server alive v2", "halt server"])", true, true},
  };
  for (const LoopCase& c : cases) {
    SCOPED_TRACE(c.lines.back());
    StartClient(kLines, c.lines);
    bool halt = false;
    EXPECT_EQ(commandLoopRun(conn_, halt), c.result);
    EXPECT_EQ(halt, c.halt);
    // However it ended, the client is gone: the server closed it.
    EXPECT_FALSE(conn_.IsConnected());
    EXPECT_EQ(FinishClient(), std::string(c.answers) + "\n");
  }
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ServerDown);
}

TEST_F(CommandLoop, QuitReportsTheCloseConnectionItRunsThenItself) {
  FinishClient();
  StartClient(kLines, {"amberquietlodge", "quit"});
  testing::internal::CaptureStdout();
  bool halt = false;
  EXPECT_TRUE(commandLoopRun(conn_, halt));
  const std::string console = testing::internal::GetCapturedStdout();
  EXPECT_EQ(FinishClient(), "[\"password ok\"]\n");
  const std::string rule(36, '-');
  EXPECT_EQ(console, "\n" + rule + "\nCommand 'closeConnection' done\n" + rule + "\n\n" + "\n" + rule +
                         "\nCommand 'quit' done\n" + rule + "\n\n");
}

// A client of the whole server: connects (again and again while the server
// is not up), runs a shared-folder PDF job of argv[1] into argv[2], leaves,
// and halts the server as the next client.
const char kJobThenHalt[] = R"PY(
def connect():
    deadline = time.time() + 5
    while True:
        try:
            return Client(port)
        except OSError:
            if time.time() > deadline:
                raise
            time.sleep(0.02)
c = connect()
out = [login(c)] + shared_folder_job(c, 'exportpdf', sys.argv[1], sys.argv[2], 'r')
c.close()
c = connect()
out += [login(c), ask(c, 'haltServer'), c.read_line()]
print(json.dumps(out))
)PY";

TEST(Server, RestartsAfterAnAcceptFailureOnTheSamePortAndStopsWhenHalted) {
  LogCatcher log;
  testutil::TempDir dir("server");
  testutil::WriteFile(dir.File("doc.qxp"), "document\n");
  GetServerFlags() = ServerFlags();
  net::testing::ListenOnLoopbackOnly(true);
  uint16_t port = 0;
  {
    net::Socket probe = testutil::LoopbackListener();
    port = testutil::PortOf(probe);
  }
  // Inside the server another server does not start.
  std::vector<bool> nested;
  ConversionRunner previous = SetConversionRunner(
      [&](const std::string& source, const std::string& target, FileKind, FileKind) {
        nested.push_back(DoStartServer(port));
        testutil::WriteFile(target, ConvertedBytes(source, kFileKindPdf));
        return true;
      });
  net::testing::FailNth(net::Op::Accept, 1, 10054);
  alarm(30);
  std::future<bool> server = std::async(std::launch::async, [port] { return DoStartServer(port); });
  testutil::ChildProcess client(
      {BRENIX_PYTHON, "-c",
       "import sys, time, json\nsys.path.insert(0, '" BRENIX_TEST_DATA "/../common')\n"
       "from conversion_client import *\nport = " + std::to_string(port) + "\n" + kJobThenHalt,
       dir.File("doc.qxp"), dir.path()});
  EXPECT_EQ(client.Wait(10), 0) << client.Output();
  ASSERT_EQ(server.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  EXPECT_TRUE(server.get());
  alarm(0);
  SetConversionRunner(previous);
  net::testing::ClearFailures();
  EXPECT_EQ(client.Output(),
            R"(["password ok", "export pdf", "filename ok", "target folder ok", "target name ok", )"
            R"("export finished", "password ok", "halt server", null])"
            "\n");
  EXPECT_EQ(nested, std::vector<bool>{false});
  EXPECT_EQ(testutil::ReadFile(dir.File("r.pdf")), ConvertedBytes(dir.File("doc.qxp"), kFileKindPdf));
  std::vector<std::string> server_records;
  for (const auto& [name, message] : log.records())
    if (name.rfind("ConversionBase[", 0) == 0 && name.find("DoStartServer") != std::string::npos)
      server_records.push_back(message);
  EXPECT_EQ(server_records,
            (std::vector<std::string>{"Server has been started ...", "Server is going to be shut down!",
                                      "Automatic server restart (on error only) ...", "Server has been started ...",
                                      "Server is running already!", "Server is going to be shut down!",
                                      "Server shutdown started ..."}));
  EXPECT_EQ(log.Messages("clientLoopRun")[2], "Socket not ok (client loop)!");
}

}  // namespace
