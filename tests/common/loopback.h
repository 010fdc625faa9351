// TCP sockets on 127.0.0.1 for tests, fuzz targets and benchmarks: a
// listener on a free port and pairs of connected sockets.
#pragma once

#include <stdexcept>
#include <utility>

#include "platform/net/socket.h"

namespace testutil {

// A listener on 127.0.0.1 on a port the system picks.
inline net::Socket LoopbackListener() {
  net::testing::ListenOnLoopbackOnly(true);
  net::Socket s;
  if (net::OpenStream(s) != 0 || net::BindAny(s, 0) != 0 || net::Listen(s, 8) != 0)
    throw std::runtime_error("no loopback listener");
  return s;
}

inline uint16_t PortOf(const net::Socket& s) {
  uint16_t port = 0;
  net::LocalPort(s, port);
  return port;
}

// The next client of `listener`, or an invalid socket when none came
// within `milliseconds`.
inline net::Socket AcceptWithin(const net::Socket& listener, int milliseconds) {
  bool ready = false;
  net::Socket client;
  if (net::WaitReadable(listener, milliseconds, ready) == 0 && ready) net::Accept(listener, client);
  return client;
}

// A socket connected to `port` on 127.0.0.1.
inline net::Socket ConnectTo(uint16_t port) {
  net::Socket s;
  if (net::OpenStream(s) != 0 || net::Connect(s, "127.0.0.1", port) != 0) throw std::runtime_error("no connection");
  return s;
}

// Two connected sockets: (the accepted end, the connecting end).
inline std::pair<net::Socket, net::Socket> ConnectedPair(const net::Socket& listener) {
  net::Socket far = ConnectTo(PortOf(listener));
  net::Socket near = AcceptWithin(listener, 5000);
  if (!near.valid()) throw std::runtime_error("no client accepted");
  return {std::move(near), std::move(far)};
}

}  // namespace testutil
