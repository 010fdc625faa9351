// The connection on its own: statuses, error texts, the line reader and
// writer, the block receiver, and every injected socket failure, with the
// far end a plain socket of the test.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <memory>

#include <string>
#include <vector>

#include "platform/net/error_codes.h"
#include "shared/server/connection.h"
#include "shared/server/tree_util.h"
#include "tests/common/loopback.h"
#include "shared/server/winsock_errors.h"
#include "tests/common/files.h"
#include "tests/common/hex.h"
#include "tests/common/temp_dir.h"
#include "tests/common/le_bytes.h"
#include "tests/common/loopback.h"

namespace {

using net::Op;

// A connection with a loopback listener and a connected client whose far
// end the test holds.
class Connected : public testing::Test {
 protected:
  Connected() : listener_(testutil::LoopbackListener()) {
    auto [near, far] = testutil::ConnectedPair(listener_);
    far_ = std::move(far);
    net::SetTimeouts(far_, 5);  // a test that waits for bytes in vain fails, and soon
    conn_.Adopt(std::move(listener_), std::move(near));
    conn_.SetTimeout(5);
  }
  ~Connected() override { net::testing::ClearFailures(); }

  void Send(const std::string& bytes) { ASSERT_EQ(net::SendAll(far_, bytes.data(), bytes.size()), 0); }
  // What the far end can read within 500 ms, up to the server's close.
  std::string Received() {
    std::string out;
    char buffer[4096];
    bool ready = false;
    while (net::WaitReadable(far_, 500, ready) == 0 && ready) {
      size_t got = 0;
      if (net::Receive(far_, buffer, sizeof buffer, got) != 0 || got == 0) break;
      out.append(buffer, got);
    }
    return out;
  }
  std::string Last(const std::string& operation) {
    std::vector<std::string> m = log_.Messages(operation);
    return m.empty() ? "(nothing)" : m.back();
  }

  LogCatcher log_{0};
  net::Socket listener_;
  ct_Connection conn_;
  net::Socket far_;
};

TEST(WinsockErrorText, KnownUnknownAndCut) {
  EXPECT_STREQ(WinsockErrorText("Failed bind()", 10048), "Failed bind(): Address already in use (10048)");
  EXPECT_STREQ(WinsockErrorText("x", 11004), "x: No host data of that type was found (11004)");
  EXPECT_STREQ(WinsockErrorText("x", 10000), "x: unknown error (10000)");
  EXPECT_STREQ(WinsockErrorText("x", -5), "x: unknown error (-5)");
  net::SetLastError(net::kErrTimedOut);
  EXPECT_STREQ(WinsockErrorText("last", 0), "last: Connection timed out (10060)");
  std::string cut = WinsockErrorText(std::string(300, 'p').c_str(), 10054);
  EXPECT_EQ(cut, std::string(255, 'p'));
  std::string edge = WinsockErrorText(std::string(225, 'q').c_str(), 10054);
  EXPECT_EQ(edge, std::string(225, 'q') + ": Connection reset by peer (10");  // 255 characters
  net::SetLastError(net::kErrConnReset);
  EXPECT_EQ(SocketErrorText("", "gone"), "UNKNOWN REASON: Connection reset by peer (10054)\tCOMMENT: gone");
  EXPECT_EQ(SocketErrorText("Failed recv()", ""), "Failed recv(): Connection reset by peer (10054)");
}

TEST(WinsockErrorTable, SortedWithFiftyRows) {
  for (size_t i = 1; i < 50; ++i) EXPECT_LT(WinsockErrorTable[i - 1].code, WinsockErrorTable[i].code);
  EXPECT_STREQ(WinsockErrorTable[0].text, "No error");
  EXPECT_EQ(WinsockErrorTable[49].code, 11004);
}

TEST(ServerLimits, EnvironmentValues) {
  struct Case {
    const char* timeout;
    const char* maxFile;
    long wantTimeout;
    uint64_t wantMax;
    size_t logged;
  } cases[] = {
      {nullptr, nullptr, 300, uint64_t{2} << 30, 0},
      {"12", "1000", 12, 1000, 0},
      {"0", "-5", 300, uint64_t{2} << 30, 2},
      {"1.5", "abc", 300, uint64_t{2} << 30, 2},
      {"", "99999999999999999999999", 300, uint64_t{2} << 30, 2},
      {"+7", "18446744073709551615", 300, UINT64_MAX, 1},
  };
  for (const Case& c : cases) {
    LogCatcher log(0);
    c.timeout ? setenv("BRENIX_SERVER_TIMEOUT", c.timeout, 1) : unsetenv("BRENIX_SERVER_TIMEOUT");
    c.maxFile ? setenv("BRENIX_SERVER_MAX_FILE", c.maxFile, 1) : unsetenv("BRENIX_SERVER_MAX_FILE");
    ServerLimits limits = ServerLimits::FromEnvironment();
    EXPECT_EQ(limits.timeoutSeconds, c.wantTimeout) << c.timeout;
    EXPECT_EQ(limits.maxFileBytes, c.wantMax) << c.maxFile;
    EXPECT_EQ(log.Messages("ServerLimits::FromEnvironment").size(), c.logged);
  }
  unsetenv("BRENIX_SERVER_TIMEOUT");
  unsetenv("BRENIX_SERVER_MAX_FILE");
  LogCatcher log(0);
  setenv("BRENIX_SERVER_TIMEOUT", "soon", 1);
  ServerLimits::FromEnvironment();
  unsetenv("BRENIX_SERVER_TIMEOUT");
  EXPECT_EQ(log.Messages("ServerLimits::FromEnvironment"),
            std::vector<std::string>{"Ignoring BRENIX_SERVER_TIMEOUT='soon': not a positive decimal number; using 300"});
}

TEST(Connection, StartHaltAndStartAgain) {
  LogCatcher log(0);
  ct_Connection conn;
  EXPECT_EQ(conn.GetCurrentStatus(), ct_Connection::ec_Initial);
  EXPECT_EQ(conn.waitForClient(), 1);
  EXPECT_EQ(log.Messages("ct_Connection::waitForClient").back(), "SOCKET ERROR - Server not started yet!");

  net::testing::ListenOnLoopbackOnly(true);
  uint16_t port = testutil::PortOf(testutil::LoopbackListener());  // free a moment ago
  ASSERT_EQ(conn.startServer(port), 0);
  EXPECT_EQ(conn.GetPort(), port);
  EXPECT_EQ(conn.GetCurrentStatus(), ct_Connection::ec_ServerUp);
  EXPECT_TRUE(conn.IsServerOk());
  net::Socket far = testutil::ConnectTo(port);
  ASSERT_EQ(conn.waitForClient(), 0);
  EXPECT_EQ(conn.GetCurrentStatus(), ct_Connection::ec_ClientConnected);
  uint16_t farPort = testutil::PortOf(far);
  EXPECT_EQ(log.Messages("ct_Connection::waitForClient").back(),
            "Accepted connection from 127.0.0.1:" + std::to_string(farPort));

  net::ShutdownSend(far);
  EXPECT_EQ(conn.haltServer(), 0);
  EXPECT_EQ(conn.GetCurrentStatus(), ct_Connection::ec_ServerDown);
  EXPECT_FALSE(conn.IsServerOk());
  EXPECT_EQ(log.Messages("ct_Connection::IsServerOk").back(), "STATUS: DOWN!\t(SERVER: NOT ok!)");
  ASSERT_EQ(conn.startServer(port), 0);  // again, on the same object
  EXPECT_EQ(conn.GetCurrentStatus(), ct_Connection::ec_ServerUp);
  EXPECT_FALSE(conn.IsConnected());
  EXPECT_EQ(log.Messages("ct_Connection::IsConnected").back(),
            "STATUS: NOT connected!\t(CLIENT: NOT connected!\tSERVER: ok)");
}

// Each injected failure of a socket call: the answer, the status after and
// the logged line.
TEST(Connection, InjectedStartFailures) {
  struct Case {
    Op op;
    int code;
    int32_t status;
    const char* operation;
    std::string logged;
  } cases[] = {
      {Op::Open, 10024, 1, "ct_Connection::startServer", "SOCKET ERROR - Failed socket(): Too many open sockets (10024)"},
      {Op::Bind, 10048, 1, "ct_Connection::startServer", "SOCKET ERROR - Failed bind(): Address already in use (10048)"},
      {Op::Listen, 10022, 1, "ct_Connection::startServer", "SOCKET ERROR - Failed listen(): Invalid argument (10022)"},
  };
  for (const Case& c : cases) {
    LogCatcher log(0);
    ct_Connection conn;
    // Up to a failed bind nothing is bound, so port 0 (meaning 8226) is safe
    // to ask for; a listen failure comes after a real bind: take a free port.
    uint16_t port = 0;
    if (c.op == Op::Listen) {
      const net::Socket probe = testutil::LoopbackListener();
      port = testutil::PortOf(probe);
    }
    net::testing::FailNth(c.op, 1, c.code);
    EXPECT_EQ(conn.startServer(port), 1);
    net::testing::ClearFailures();
    EXPECT_EQ(conn.GetCurrentStatus(), c.status);
    std::vector<std::string> m = log.Messages(c.operation);
    EXPECT_NE(std::find(m.begin(), m.end(), c.logged), m.end()) << c.logged;
    if (c.op == Op::Bind) {  // port 0 means 8226
      EXPECT_EQ(conn.GetPort(), ct_Connection::kDefaultPort);
    }
  }
}

TEST(Connection, InjectedStartupAndCleanupFailures) {
  LogCatcher log(0);
  net::testing::FailNth(Op::Startup, 1, 10091);
  {
    ct_Connection conn;
    EXPECT_EQ(log.Messages("ct_Connection::Initialize").back(),
              "SOCKET ERROR - WSAStartup(): Network system is unavailable (10091)\tCOMMENT: WSAStartup() returned "
              "error code: 10091\n");
    net::testing::FailNth(Op::Cleanup, 1, 10093);
    EXPECT_EQ(conn.haltServer(), 1);
    EXPECT_EQ(log.Messages("ct_Connection::Cleanup").back(),
              "SOCKET ERROR - WSACleanup(): WSAStartup not yet called (10093)");
    EXPECT_EQ(conn.GetCurrentStatus(), ct_Connection::ec_ServerDown);
  }
  net::testing::ClearFailures();
}

TEST_F(Connected, AcceptFailureKeepsWaitingStatus) {
  net::Socket second = testutil::ConnectTo(conn_.GetPort());
  net::ShutdownSend(far_);
  net::testing::FailNth(Op::Accept, 1, 10053);
  EXPECT_EQ(conn_.waitForClient(), 1);
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_Accepting);
  EXPECT_EQ(Last("ct_Connection::waitForClient"),
            "SOCKET ERROR - Accept connection: Software caused connection abort (10053)");
  // The leftover client was closed first: its far end reads the end.
  EXPECT_EQ(Received(), "");
  ASSERT_EQ(conn_.waitForClient(), 0);  // and the next one is taken
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ClientConnected);
}

TEST_F(Connected, LeftoverClientIsClosedBeforeAccepting) {
  net::Socket second = testutil::ConnectTo(conn_.GetPort());
  net::ShutdownSend(far_);
  ASSERT_EQ(conn_.waitForClient(), 0);
  std::vector<std::string> m = log_.Messages("ct_Connection::waitForClient");
  EXPECT_NE(std::find(m.begin(), m.end(), "Warning: already connected!"), m.end());
  size_t got = 7;
  char c;
  EXPECT_EQ(net::Receive(far_, &c, 1, got), 0);
  EXPECT_EQ(got, 0u);  // the first client saw the end
}

TEST_F(Connected, LinesAsTheyArrive) {
  struct Case {
    std::vector<std::string> chunks;  // sent one after the other, 100 ms apart
    bool strip;
    std::vector<std::string> lines;
  } cases[] = {
      {{"abc\n"}, true, {"abc"}},
      {{"abc\n\n"}, true, {"abc", ""}},
      {{"abc\ndef\n"}, true, {"abc", "def"}},
      {{"ab", "c\n"}, true, {"abc"}},
      {{"abc"}, true, {"abc"}},  // no line feed: a line after 500 ms
      {{"abc\n"}, false, {"abc\n"}},
      {{"ab", "c\nd", "ef\n"}, false, {"abc\n", "def\n"}},
      {{std::string("ab\0c\n", 5), "x\n"}, true, {"ab", "x"}},
      {{"pass\r\n"}, true, {"pass\r"}},
      {{std::string(4095, 'L') + "\nok\n"}, true, {std::string(4095, 'L'), "ok"}},
  };
  for (const Case& c : cases) {
    for (size_t i = 0; i < c.chunks.size(); ++i) {
      if (i) usleep(100000);
      Send(c.chunks[i]);
    }
    for (const std::string& line : c.lines) EXPECT_EQ(conn_.readLine(c.strip, '\n'), line);
    EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ClientConnected);
  }
  EXPECT_EQ(Last("ct_Connection::readLine"), "READ:\tok");
}

TEST_F(Connected, LastLineBeforeTheCloseThenTheEnd) {
  Send("quit");
  net::ShutdownSend(far_);
  EXPECT_EQ(conn_.readLine(true, '\n'), "quit");
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ClientConnected);
  EXPECT_EQ(conn_.readLine(true, '\n'), "");
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ServerUp);
  EXPECT_EQ(conn_.readLine(true, '\n'), "");
  EXPECT_EQ(Last("ct_Connection::readLine"), "SOCKET ERROR - Not connected to client!");
}

TEST_F(Connected, TooLongLineClosesTheClient) {
  Send(std::string(4096, 'L') + "\n");
  net::ShutdownSend(far_);
  EXPECT_EQ(conn_.readLine(true, '\n'), "");
  EXPECT_EQ(Last("ct_Connection::readLine"), "SOCKET ERROR - Line too long!");
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ServerUp);
}

TEST_F(Connected, WrittenLines) {
  EXPECT_TRUE(conn_.writeLine("ok", true, '\n'));
  EXPECT_TRUE(conn_.writeLine("ok\n", true, '\n'));
  EXPECT_TRUE(conn_.writeLine("", true, '\n'));
  EXPECT_TRUE(conn_.writeLine("raw", false, '\n'));
  EXPECT_EQ(Received(), "ok\nok\nraw");
  EXPECT_EQ(Last("ct_Connection::writeLine"), "WRITE:\traw");
}

// Failures of the client's socket calls close the client.
TEST_F(Connected, InjectedClientFailures) {
  net::ShutdownSend(far_);
  net::testing::FailNth(Op::Receive, 1, 10054);
  EXPECT_EQ(conn_.readLine(true, '\n'), "");
  EXPECT_EQ(Last("ct_Connection::readLine"), "SOCKET ERROR - Failed recv(): Connection reset by peer (10054)");
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ServerUp);

  net::Socket far = testutil::ConnectTo(conn_.GetPort());
  EXPECT_EQ(conn_.waitForClient(), 0);  // the next client is served
}

TEST_F(Connected, InjectedSendAndShutdownFailures) {
  net::ShutdownSend(far_);
  net::testing::FailNth(Op::Send, 1, 10054);
  EXPECT_FALSE(conn_.writeLine("ok", true, '\n'));
  EXPECT_EQ(Last("ct_Connection::writeLine"), "SOCKET ERROR - Failed send(): Connection reset by peer (10054)");
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ServerUp);
  EXPECT_EQ(conn_.closeClient(), 1);  // no client any more
  EXPECT_EQ(Last("ct_Connection::closeClient"), "Warning: not connected!");

  net::Socket far = testutil::ConnectTo(conn_.GetPort());
  ASSERT_EQ(conn_.waitForClient(), 0);
  net::testing::FailNth(Op::Shutdown, 1, 10057);
  EXPECT_EQ(conn_.closeClient(), 1);
  EXPECT_EQ(Last("ct_Connection::closeClient"), "SOCKET ERROR - Shutdown connection: Socket is not connected (10057)");
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ServerUp);
}

TEST_F(Connected, FailedCloseOfTheClient) {
  net::ShutdownSend(far_);
  net::testing::FailNth(Op::Close, 1, 10038);
  EXPECT_EQ(conn_.closeClient(), 1);
  EXPECT_EQ(Last("ct_Connection::closeClient"),
            "SOCKET ERROR - Shutdown connection: Socket operation on non-socket (10038)");
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ServerUp);
}

// The blocks of an empty file as the sender puts them on the wire.
TEST_F(Connected, EmptyFileBlocks) {
  testutil::TempDir dir("empty");
  testutil::WriteFile(dir.File("e"), "");
  std::string wire;
  auto take = [&](size_t size) {
    wire.clear();
    char buffer[65536];
    size_t got = 0;
    while (wire.size() < size && net::Receive(far_, buffer, sizeof buffer, got) == 0 && got) wire.append(buffer, got);
  };
  ASSERT_TRUE(conn_.SendFileData(dir.File("e")));
  ASSERT_TRUE(conn_.writeLine("end", true, '\n'));
  take(ct_Connection::kBlockSize + 4u);
  ASSERT_EQ(wire.size(), ct_Connection::kBlockSize + 4u);  // one block, then the line
  EXPECT_EQ(testutil::Hex(wire.substr(0, 3)), "020000");
  EXPECT_EQ(wire.substr(ct_Connection::kBlockSize), "end\n");

  ASSERT_TRUE(conn_.SendFileDataCompressed(dir.File("e"), 1));
  take(2u * ct_Connection::kBlockSize);
  ASSERT_EQ(wire.size(), 2u * ct_Connection::kBlockSize);
  EXPECT_EQ(testutil::Hex(wire.substr(0, 11)), "080800" "7801030000000001");  // an empty zlib stream
  EXPECT_EQ(testutil::Hex(wire.substr(ct_Connection::kBlockSize, 3)), "020000");
}

TEST_F(Connected, GracefulCloseReportsBytesStillComing) {
  Send("late bytes");
  testing::internal::CaptureStdout();
  net::ShutdownSend(far_);
  EXPECT_EQ(conn_.closeClient(), 0);
  EXPECT_EQ(testing::internal::GetCapturedStdout(), "\nFYI, received 10 unexpected bytes during shutdown.\n");
  EXPECT_EQ(Last("ct_Connection::closeClient"), "Connection is down");
}

TEST_F(Connected, DestructionClosesWhatItHolds) {
  auto [near, far] = testutil::ConnectedPair(testutil::LoopbackListener());
  auto other = std::make_unique<ct_Connection>();
  other->Adopt(testutil::LoopbackListener(), std::move(near));
  other.reset();
  size_t got = 7;
  char c;
  EXPECT_EQ(net::Receive(far, &c, 1, got), 0);
  EXPECT_EQ(got, 0u);  // the far end reads the end at once
}

// The block receiver over hand-made blocks.
std::string LengthBlock(uint8_t flags, const std::string& payload) {
  std::string b = std::string(1, static_cast<char>(flags)) + testutil::LE16(static_cast<uint16_t>(payload.size())) + payload;
  return b + std::string(ct_Connection::kBlockSize - b.size(), '\xEE');
}
std::string FullBlock(uint8_t flags, char fill) {
  return std::string(1, static_cast<char>(flags)) + std::string(ct_Connection::kPayloadSize, fill);
}

TEST_F(Connected, ReceivedBlocks) {
  struct Case {
    std::string wire;
    bool ok;
    std::string file;
    bool compressed;
  } cases[] = {
      {FullBlock(0x03, 'f'), true, std::string(ct_Connection::kPayloadSize, 'f'), false},
      {LengthBlock(0x00, "ab") + LengthBlock(0x02, "c"), true, "abc", false},
      // Once compressed, every later payload is inflated; bytes after the
      // stream's end are ignored.
      {LengthBlock(0x08, testutil::Bytes("789c4b4c4c")) + LengthBlock(0x00, testutil::Bytes("0200024a0125")) +
           LengthBlock(0x02, "junk"),
       true, "aab", true},
      // A failed transfer leaves the file as the case before left it.
      {LengthBlock(0x08, testutil::Bytes("789c4b4c4c020002")) + LengthBlock(0x02, ""), false, "aab", true},
      {LengthBlock(0x06, "abc"), false, "aab", false},
  };
  testutil::TempDir dir("blocks");
  for (const Case& c : cases) {
    Send(c.wire);
    if (!c.ok) net::ShutdownSend(far_);
    bool compressed = !c.compressed;
    EXPECT_EQ(conn_.ReceiveFileData(dir.File("f"), compressed), c.ok);
    EXPECT_EQ(compressed, c.compressed);
    EXPECT_EQ(testutil::ReadFile(dir.File("f")), c.file);
    if (!c.ok) {
      net::Socket far = testutil::ConnectTo(conn_.GetPort());
      ASSERT_EQ(conn_.waitForClient(), 0);
      far_ = std::move(far);
    }
  }
}

}  // namespace
