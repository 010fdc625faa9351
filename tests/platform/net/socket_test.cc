// The sockets layer on 127.0.0.1: codes, whole sends, timeouts, a vanished
// peer, and the failure hook.
#include <gtest/gtest.h>
#include <signal.h>

#include <cerrno>
#include <string>
#include <thread>

#include "platform/net/error_codes.h"
#include "platform/net/socket.h"
#include "tests/common/loopback.h"

namespace {

TEST(ErrorCodes, WindowsCodesOfSystemErrors) {
  struct Case {
    int error;
    int code;
  } cases[] = {
      {0, 0},          {EINTR, 10004},       {EBADF, 10009},      {EACCES, 10013},     {EINVAL, 10022},
      {EMFILE, 10024}, {EAGAIN, 10035},      {ENOTSOCK, 10038},   {EADDRINUSE, 10048}, {EADDRNOTAVAIL, 10049},
      {ENETUNREACH, 10051}, {ECONNABORTED, 10053}, {ECONNRESET, 10054}, {EPIPE, 10054}, {ENOBUFS, 10055},
      {ENOTCONN, 10057}, {ETIMEDOUT, 10060},  {ECONNREFUSED, 10061}, {EHOSTUNREACH, 10065}, {EIO, 10022},
  };
  for (const Case& c : cases) EXPECT_EQ(net::CodeOfErrno(c.error), c.code) << c.error;
  EXPECT_EQ(net::Startup(), 0);
  EXPECT_EQ(net::Cleanup(), 0);
}

TEST(Sockets, PeerAddressAndWholeSends) {
  net::Socket listener = testutil::LoopbackListener();
  net::Socket far = testutil::ConnectTo(testutil::PortOf(listener));
  net::Socket near;
  std::string address;
  uint16_t port = 0;
  ASSERT_EQ(net::Accept(listener, near, &address, &port), 0);
  EXPECT_EQ(address, "127.0.0.1");
  EXPECT_EQ(port, testutil::PortOf(far));

  // More than the socket buffers hold: the send must loop while the far
  // end reads.
  std::string data(16 << 20, '\0');
  for (size_t i = 0; i < data.size(); ++i) data[i] = static_cast<char>(i * 7 + (i >> 13));
  std::thread sender([&] { EXPECT_EQ(net::SendAll(near, data.data(), data.size()), 0); near.Close(); });
  std::string got;
  char buffer[65536];
  for (;;) {
    size_t n = 0;
    ASSERT_EQ(net::Receive(far, buffer, sizeof buffer, n), 0);
    if (n == 0) break;
    got.append(buffer, n);
  }
  sender.join();
  EXPECT_TRUE(got == data);
}

TEST(Sockets, TimeoutsAndAVanishedPeer) {
  net::Socket listener = testutil::LoopbackListener();
  auto [near, far] = testutil::ConnectedPair(listener);
  ASSERT_EQ(net::SetTimeouts(near, 1), 0);
  char c;
  size_t n = 0;
  EXPECT_EQ(net::Receive(near, &c, 1, n), net::kErrTimedOut);
  EXPECT_EQ(net::LastError(), net::kErrTimedOut);
  bool ready = true;
  EXPECT_EQ(net::WaitReadable(near, 50, ready), 0);
  EXPECT_FALSE(ready);

  far.Close();
  std::string block(1 << 20, 'x');
  int code = 0;
  for (int i = 0; i < 8 && code == 0; ++i) code = net::SendAll(near, block.data(), block.size());
  EXPECT_EQ(code, net::kErrConnReset);  // no SIGPIPE: the process is still here
  EXPECT_EQ(signal(SIGPIPE, SIG_DFL), SIG_DFL);
}

// A deadline bounds a whole exchange, not each call: bytes that come after
// it do not count, and a send the peer does not take ends with it.
TEST(Sockets, DeadlinesEndWholeExchanges) {
  using std::chrono::milliseconds;
  net::Socket listener = testutil::LoopbackListener();
  auto [near, far] = testutil::ConnectedPair(listener);
  ASSERT_EQ(net::SendAll(far, "abc", 3), 0);
  char buffer[8];
  size_t n = 0;
  ASSERT_EQ(net::Receive(near, buffer, 1, n, net::Deadline::In(milliseconds(5000))), 0);
  EXPECT_EQ(std::string(buffer, n), "a");
  EXPECT_EQ(net::Receive(near, buffer, sizeof buffer, n, net::Deadline::In(milliseconds(0))), net::kErrTimedOut);
  EXPECT_EQ(net::LastError(), net::kErrTimedOut);
  ASSERT_EQ(net::Receive(near, buffer, sizeof buffer, n, net::Deadline()), 0);
  EXPECT_EQ(std::string(buffer, n), "bc");

  // The far end reads nothing: the socket buffers fill, and the send stops
  // at its deadline although the socket itself has no timeout.
  std::string block(64 << 20, 'x');
  EXPECT_EQ(net::SendAll(near, block.data(), block.size(), net::Deadline::In(milliseconds(300))), net::kErrTimedOut);
  EXPECT_EQ(net::LastError(), net::kErrTimedOut);
  EXPECT_EQ(net::Deadline().MillisecondsLeft(), -1);
}

TEST(Sockets, RefusedAndInvalid) {
  uint16_t port = testutil::PortOf(testutil::LoopbackListener());  // closed again
  net::Socket s;
  ASSERT_EQ(net::OpenStream(s), 0);
  EXPECT_EQ(net::Connect(s, "127.0.0.1", port), net::kErrConnRefused);
  net::Socket t;
  ASSERT_EQ(net::OpenStream(t), 0);
  EXPECT_EQ(net::Connect(t, "not an address", port), net::kErrInvalid);
  net::Socket none;
  size_t n = 0;
  char c;
  EXPECT_EQ(net::Receive(none, &c, 1, n), net::kErrBadFile);
  EXPECT_EQ(none.Close(), 0);
}

TEST(FailureHook, TheNthCallFailsOnce) {
  net::testing::FailNth(net::Op::Startup, 2, net::kErrNetDown);
  EXPECT_EQ(net::Startup(), 0);
  EXPECT_EQ(net::Startup(), net::kErrNetDown);
  EXPECT_EQ(net::LastError(), net::kErrNetDown);
  EXPECT_EQ(net::Startup(), 0);

  net::Socket listener = testutil::LoopbackListener();
  auto [near, far] = testutil::ConnectedPair(listener);
  net::testing::FailNth(net::Op::Send, 1, net::kErrConnAborted);
  EXPECT_EQ(net::SendAll(near, "abc", 3), net::kErrConnAborted);
  EXPECT_EQ(net::SendAll(near, "def", 3), 0);
  char buffer[8];
  size_t n = 0;
  EXPECT_EQ(net::Receive(far, buffer, sizeof buffer, n), 0);
  EXPECT_EQ(std::string(buffer, n), "def");  // the failed send sent nothing

  // A failing close still releases the descriptor.
  net::testing::FailNth(net::Op::Close, 1, net::kErrInterrupted);
  EXPECT_EQ(far.Close(), net::kErrInterrupted);
  EXPECT_FALSE(far.valid());
  EXPECT_EQ(net::Receive(near, buffer, sizeof buffer, n), 0);
  EXPECT_EQ(n, 0u);
  net::testing::ClearFailures();
}

}  // namespace
