#include "shared/server/transport_util.h"

#include <unistd.h>
#include <zlib.h>


bool EndsWithFullArea(const std::string& data) {
  z_stream z{};
  deflateInit(&z, 1);
  std::string area(ct_Connection::kPayloadSize, '\0');
  auto reset = [&] {
    z.next_out = reinterpret_cast<Bytef*>(&area[0]);
    z.avail_out = static_cast<uInt>(area.size());
  };
  reset();
  for (size_t at = 0; at < data.size(); at += ct_Connection::kReadPieceSize) {
    std::string piece = data.substr(at, ct_Connection::kReadPieceSize);
    z.next_in = reinterpret_cast<Bytef*>(&piece[0]);
    z.avail_in = static_cast<uInt>(piece.size());
    while (z.avail_in != 0) {
      if (z.avail_out == 0) reset();
      deflate(&z, Z_NO_FLUSH);
    }
  }
  bool full = z.avail_out == 0;
  deflateEnd(&z);
  return full;
}

TransportTest::TransportTest() : listener_(testutil::LoopbackListener()) {
  port_ = testutil::PortOf(listener_);
  conn_.SetTimeout(5);
  // A client that never comes must not leave the test blocked in accept.
  alarm(60);
}

TransportTest::~TransportTest() { alarm(0); }

void TransportTest::StartClient(const std::string& body, const std::vector<std::string>& args) {
  std::string program = "import sys, os, json, time, zlib\nsys.path.insert(0, " "'" BRENIX_TEST_DATA "/../common')\n"
                        "from conversion_client import *\nport = " +
                        std::to_string(port_) + "\n" + body;
  std::vector<std::string> argv = {BRENIX_PYTHON, "-c", program};
  argv.insert(argv.end(), args.begin(), args.end());
  client_ = std::make_unique<testutil::ChildProcess>(argv);
  if (!listener_.valid()) {
    // The connection holds the listener since the first client.
    ASSERT_EQ(conn_.waitForClient(), 0) << client_->Output();
    return;
  }
  net::Socket first = testutil::AcceptWithin(listener_, 5000);
  ASSERT_TRUE(first.valid()) << client_->Output();
  conn_.Adopt(std::move(listener_), std::move(first));
}

std::string TransportTest::FinishClient() {
  int status = client_->Wait(10);
  std::string output = client_->Output();
  EXPECT_EQ(status, 0) << output;
  return output;
}
