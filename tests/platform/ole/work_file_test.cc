// The work file gathers consecutive writes of large streams: whatever order
// the writes, seeks and reads come in, a stream reads back what was written
// last, before and after the file is committed and opened again.
#include <gtest/gtest.h>

#include <random>
#include <string>

#include "ole_test_util.h"
#include "platform/ole/ole.h"

namespace oletest {
namespace {

using namespace ole;

constexpr uint32_t kCreate = 0x1011;
constexpr uint32_t kRead = 0x10;

void WriteAt(Stream* stream, uint64_t at, const std::string& bytes) {
  uint64_t position = 0;
  ASSERT_EQ(stream->Seek(static_cast<int64_t>(at), STREAM_SEEK_SET, &position), S_OK);
  uint32_t written = 0;
  ASSERT_EQ(stream->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written), S_OK);
  ASSERT_EQ(written, bytes.size());
}

std::string ReadAt(Stream* stream, uint64_t at, size_t n) {
  uint64_t position = 0;
  EXPECT_EQ(stream->Seek(static_cast<int64_t>(at), STREAM_SEEK_SET, &position), S_OK);
  std::string bytes(n, '\0');
  uint32_t read = 0;
  EXPECT_EQ(stream->Read(&bytes[0], static_cast<uint32_t>(n), &read), S_OK);
  bytes.resize(read);
  return bytes;
}

TEST(WorkFile, GatheredWritesReadBackInEveryOrder) {
  TempDir dir;
  const std::string file = dir.File("w.ole");
  Ref<Storage> root;
  ASSERT_EQ(CreateDocfile(file.c_str(), kCreate, root.Out()), S_OK);
  Ref<Stream> stream;
  ASSERT_EQ(root->CreateStream(u"data", kCreate, stream.Out()), S_OK);

  // 3 MiB in small appends (past the size kept in memory), with reads of
  // earlier bytes, overwrites behind the end and appends of every size in
  // between.
  std::string expected;
  std::mt19937 random(7);
  for (uint32_t piece = 0; expected.size() < (3u << 20); ++piece) {
    const std::string bytes = Pattern(1 + random() % (piece % 7 == 6 ? 70000 : 2000), piece);
    WriteAt(stream.get(), expected.size(), bytes);
    expected += bytes;
    if (piece % 50 == 0) {
      const uint64_t at = random() % expected.size();
      ASSERT_EQ(ReadAt(stream.get(), at, 3000), expected.substr(at, 3000));
    }
    if (piece % 97 == 0) {
      const uint64_t at = random() % expected.size();
      const std::string over = Pattern(1 + random() % 5000, piece + 1000000);
      WriteAt(stream.get(), at, over);
      expected.replace(at, over.size(), over);  // may reach past the end
    }
  }
  ASSERT_EQ(ReadAt(stream.get(), 0, expected.size()), expected);

  stream.Reset();
  ASSERT_EQ(root->Commit(), S_OK);
  root.Reset();
  ASSERT_EQ(OpenDocfile(file.c_str(), 0x20, root.Out()), S_OK);
  ASSERT_EQ(root->OpenStream(u"data", kRead, stream.Out()), S_OK);
  EXPECT_EQ(ReadAll(stream.get()), expected);
}

}  // namespace
}  // namespace oletest
