// What the server tests share: a free port, and the Python prelude that
// wraps a client program (its function main()) with connecting while the
// server starts and halting the server at the end.
#pragma once

#include <arpa/inet.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdint>

namespace ui_run {

// A listening socket on 127.0.0.1 on a port the system picked.
class Listener {
 public:
  Listener() : fd_(socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    if (bind(fd_, reinterpret_cast<sockaddr*>(&address), size) != 0 || listen(fd_, 1) != 0 ||
        getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &size) != 0) {
      ADD_FAILURE() << "no listener";
    }
    port_ = ntohs(address.sin_port);
  }
  ~Listener() { close(fd_); }
  Listener(const Listener&) = delete;
  Listener& operator=(const Listener&) = delete;
  uint16_t port() const { return port_; }

 private:
  int fd_;
  uint16_t port_ = 0;
};

// A port that was free a moment ago.
inline uint16_t FreePort() { return Listener().port(); }

// Connects with retries while the host starts; whatever goes wrong, the
// server is halted at the end so that the host ends.
inline constexpr char kPrelude[] = R"PY(
import sys, os, json, time
sys.path.insert(0, os.environ['CLIENT_DIR'])
from conversion_client import *
port = int(sys.argv[1])
def connect():
    deadline = time.time() + 10
    while True:
        try:
            return Client(port, timeout=5)
        except OSError:
            if time.time() > deadline:
                raise
            time.sleep(0.05)
halted = False
def halt():
    global halted
    c = connect()
    login(c)
    answer = [ask(c, 'haltServer'), c.read_line()]
    halted = answer[0] == 'halt server'
    return answer
try:
    main()
finally:
    if not halted:
        halt()
)PY";

}  // namespace ui_run
