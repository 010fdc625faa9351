// Helpers for the transport tests: data to send, a server end on a loopback
// listener, and the Python client of tests/common running beside the test.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "shared/server/connection.h"
#include "shared/server/tree_util.h"
#include "tests/common/child_process.h"
#include "tests/common/loopback.h"
#include "tests/common/sample_data.h"

using testutil::RandomBytes;
using testutil::TextBytes;

// Whether the payload area is exactly full after the file's last deflate
// call without flushing, done the way the block sender does it (level 1,
// 319430-byte pieces into a 31943-byte area): the files on which the
// finishing deflate finds no room.
bool EndsWithFullArea(const std::string& data);

// A test with a server end: a connection that adopts a loopback listener,
// a catcher for its log records, a scratch folder, and one Python client.
class TransportTest : public testing::Test {
 protected:
  TransportTest();
  ~TransportTest() override;

  // Starts the client program `body` (Python, with the client module
  // imported and `port` set; `args` in sys.argv[1:]) and hands its first
  // connection to the server end; a later client is accepted there.
  void StartClient(const std::string& body, const std::vector<std::string>& args = {});
  // Waits for the client's end (a few seconds at most), expects status 0
  // and answers its output.
  std::string FinishClient();

  LogCatcher log_{0};
  TempDir dir_;
  ct_Connection conn_;
  uint16_t port_ = 0;

 private:
  net::Socket listener_;
  std::unique_ptr<testutil::ChildProcess> client_;
};
