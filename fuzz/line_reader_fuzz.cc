// Reads lines from a client that sends arbitrary bytes: every line must come
// back without a crash or a hang, and the reader ends with the client
// closed.
#include <cstddef>
#include <cstdint>

#include "fuzz/connection_feed.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  ConnectionFeed feed(data, size);
  // Every line takes at least one byte, the peer's close one more call.
  for (size_t i = 0; i <= size + 1 && feed.conn.GetCurrentStatus() == ct_Connection::ec_ClientConnected; ++i) {
    std::string line = feed.conn.readLine(true, '\n');
    if (line.size() > 4096) __builtin_trap();
  }
  if (feed.conn.GetCurrentStatus() == ct_Connection::ec_ClientConnected) __builtin_trap();
  return 0;
}
