// A server connection whose client sends the fuzz input: a loopback pair,
// the far end written by a thread of its own that then reads until the
// server closes, so neither end can block the other.  With `listening` the
// connection also holds a listener of its own, as a served client's does.
#pragma once

#include <cstddef>
#include <cstdint>
#include <thread>

#include "shared/server/connection.h"
#include "tests/common/loopback.h"

class ConnectionFeed {
 public:
  ConnectionFeed(const uint8_t* data, size_t size, bool listening = false) {
    static const net::Socket listener = testutil::LoopbackListener();
    auto [near, far] = testutil::ConnectedPair(listener);
    far_ = std::move(far);
    conn.Adopt(listening ? testutil::LoopbackListener() : net::Socket(), std::move(near));
    conn.SetTimeout(2);
    writer_ = std::thread([this, data, size] {
      net::SendAll(far_, data, size);
      net::ShutdownSend(far_);
      char sink[4096];
      size_t got = 0;
      while (net::Receive(far_, sink, sizeof sink, got) == 0 && got > 0) {
      }
    });
  }
  ~ConnectionFeed() {
    conn.closeClient();
    writer_.join();
  }
  ConnectionFeed(const ConnectionFeed&) = delete;
  ConnectionFeed& operator=(const ConnectionFeed&) = delete;

  ct_Connection conn;

 private:
  net::Socket far_;
  std::thread writer_;
};
