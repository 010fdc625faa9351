// A client that sends arbitrary bytes to the receiving side of the file
// transfer: with the first byte even, to the whole dialogue (lines, then
// blocks, plain or compressed); odd, straight to the block receiver.  Bad
// input must end in the server's own refusal, never a crash or a hang, and
// no file may appear outside the target folder.
#include <sys/stat.h>

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/connection_feed.h"
#include "shared/server/file_transfer.h"
#include "tests/common/temp_dir.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static testutil::TempDir root("fuzz_receive");
  static const std::string folder = [] {
    std::string f = root.File("in");
    mkdir(f.c_str(), 0777);
    return f;
  }();
  if (size == 0) return 0;
  {
    ConnectionFeed feed(data + 1, size - 1);
    feed.conn.SetMaxFileSize(1 << 20);
    bool compressed = false;
    if (data[0] & 1) {
      feed.conn.ReceiveFileData(folder + "/direct", compressed);
    } else {
      std::string path = FileTransfer::Receive(feed.conn, folder, compressed);
      if (!path.empty() && path.compare(0, folder.size() + 1, folder + "/") != 0) __builtin_trap();
    }
  }
  // Nothing may have been written beside the target folder.
  for (const auto& entry : std::filesystem::directory_iterator(root.path()))
    if (entry.path().filename() != "in") __builtin_trap();
  testutil::RemoveTree(folder);
  mkdir(folder.c_str(), 0777);
  return 0;
}
