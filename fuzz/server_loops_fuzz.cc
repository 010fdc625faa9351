// A client that sends arbitrary bytes to a served connection: the password,
// commands, export jobs in both modes with their file transfers, halting.
// A fake conversion writes its targets inside the scratch folder only.  Bad
// input must end in the server's own answers, never a crash or a hang, and
// every socket-mode job folder must be gone afterwards.
#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

#include "fuzz/connection_feed.h"
#include "shared/server/conversion_runner.h"
#include "shared/server/server_loops.h"
#include "support/settings.h"
#include "tests/common/files.h"
#include "tests/common/temp_dir.h"

namespace {

const testutil::TempDir& Root() {
  static testutil::TempDir root("fuzz_server");
  return root;
}

void Setup() {
  const std::string jobs = Root().File("jobs");
  std::filesystem::create_directory(jobs);
  testutil::WriteFile(Root().File("doc.qxp"), "document\n");
  testutil::WriteFile(Root().File("settings.ini"), "[Path]\nTemporaryPath = " + jobs + "\n");
  Settings::Instance().Load(Root().File("settings.ini"), false);
  SetConversionRunner([](const std::string&, const std::string& target, FileKind, FileKind) {
    // Inside the scratch folder only, and never loose among the job folders.
    if (target.compare(0, Root().path().size() + 1, Root().path() + "/") != 0) return false;
    if (target.substr(0, target.rfind('/')) == Root().File("jobs")) return false;
    testutil::WriteFile(target, "converted\n");
    return true;
  });
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  static const bool ready = (Setup(), true);
  (void)ready;
  {
    ConnectionFeed feed(data, size, true);
    feed.conn.SetMaxFileSize(1 << 20);
    bool halt = false;
    commandLoopRun(feed.conn, halt);
  }
  if (!std::filesystem::is_empty(Root().File("jobs"))) __builtin_trap();
  return 0;
}
