// Stream objects: reading, writing, seeking, sizes, copies and clones, in
// files being written and in files read from disk.
#include <gtest/gtest.h>

#include <string>

#include "ole_test_util.h"
#include "platform/ole/ole.h"

namespace oletest {
namespace {

using namespace ole;

constexpr uint32_t kCreate = 0x1011;
constexpr uint32_t kRead = 0x10;

class StreamTest : public ::testing::Test {
 protected:
  void SetUp() override {
    file_ = dir_.File("s.ole");
    ASSERT_EQ(CreateDocfile(file_.c_str(), kCreate, root_.Out()), S_OK);
    ASSERT_EQ(root_->CreateStream(u"data", kCreate, stream_.Out()), S_OK);
  }

  void Write(Stream* s, const std::string& bytes) {
    uint32_t written = 0;
    ASSERT_EQ(s->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), &written), S_OK);
    ASSERT_EQ(written, bytes.size());
  }
  uint64_t Seek(Stream* s, int64_t offset, SeekOrigin origin) {
    uint64_t at = ~uint64_t{0};
    EXPECT_EQ(s->Seek(offset, origin, &at), S_OK);
    return at;
  }
  std::string Everything(Stream* s) {
    Seek(s, 0, STREAM_SEEK_SET);
    return ReadAll(s);
  }
  uint64_t Size(Stream* s) {
    StatStg stat;
    EXPECT_EQ(s->Stat(&stat), S_OK);
    return stat.size;
  }
  // Writes, closes and reopens the file for reading; `stream_` is then the
  // stream read from disk.
  void Reopen() {
    stream_.Reset();
    ASSERT_EQ(root_->Commit(), S_OK);
    root_.Reset();
    ASSERT_EQ(OpenDocfile(file_.c_str(), 0x20, root_.Out()), S_OK);
    ASSERT_EQ(root_->OpenStream(u"data", kRead, stream_.Out()), S_OK);
  }

  TempDir dir_;
  std::string file_;
  Ref<Storage> root_;
  Ref<Stream> stream_;
};

TEST_F(StreamTest, ReadWriteAndSeek) {
  Write(stream_.get(), "hello world");
  EXPECT_EQ(Seek(stream_.get(), 0, STREAM_SEEK_CUR), 11u);
  EXPECT_EQ(Seek(stream_.get(), -5, STREAM_SEEK_END), 6u);
  char buf[16] = {};
  uint32_t got = 0;
  ASSERT_EQ(stream_->Read(buf, sizeof buf, &got), S_OK);
  EXPECT_EQ(std::string(buf, got), "world");
  // At the end: nothing more, and no failure.
  ASSERT_EQ(stream_->Read(buf, sizeof buf, &got), S_OK);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(Seek(stream_.get(), 2, STREAM_SEEK_SET), 2u);
  Write(stream_.get(), "LLO");
  EXPECT_EQ(Everything(stream_.get()), "heLLO world");

  // Negative positions and unknown origins are refused; the position stays.
  uint64_t at = 0;
  EXPECT_EQ(stream_->Seek(-1, STREAM_SEEK_SET, &at), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream_->Seek(-12, STREAM_SEEK_END, &at), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(stream_->Seek(0, static_cast<SeekOrigin>(3), &at), STG_E_INVALIDFUNCTION);
  EXPECT_EQ(Seek(stream_.get(), 0, STREAM_SEEK_CUR), 11u);
  EXPECT_EQ(stream_->Read(nullptr, 1, &got), STG_E_INVALIDPOINTER);
  EXPECT_EQ(stream_->Write(nullptr, 1, nullptr), STG_E_INVALIDPOINTER);
}

TEST_F(StreamTest, WritingPastTheEndFillsTheGapWithZeros) {
  Write(stream_.get(), "ab");
  EXPECT_EQ(Seek(stream_.get(), 10, STREAM_SEEK_END), 12u);
  char buf[4];
  uint32_t got = 1;
  ASSERT_EQ(stream_->Read(buf, sizeof buf, &got), S_OK);  // beyond the end
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(Size(stream_.get()), 2u);  // seeking alone does not grow it
  Write(stream_.get(), "z");
  EXPECT_EQ(Everything(stream_.get()), std::string("ab") + std::string(10, '\0') + "z");
  // A gap reaching over the mini-stream cutoff and into a later chunk.
  EXPECT_EQ(Seek(stream_.get(), (1 << 20) + 100, STREAM_SEEK_SET), (1u << 20) + 100);
  Write(stream_.get(), "end");
  std::string all = Everything(stream_.get());
  ASSERT_EQ(all.size(), (1u << 20) + 103);
  EXPECT_EQ(all.substr(0, 13), std::string("ab") + std::string(10, '\0') + "z");
  EXPECT_EQ(all.find_first_not_of('\0', 13), (1u << 20) + 100);
  Reopen();
  EXPECT_TRUE(ReadAll(stream_.get()) == all);
}

TEST_F(StreamTest, SetSizeTruncatesAndExtendsWithZeros) {
  Write(stream_.get(), Pattern(5000, 1));
  ASSERT_EQ(stream_->SetSize(10), S_OK);
  EXPECT_EQ(Size(stream_.get()), 10u);
  EXPECT_EQ(Seek(stream_.get(), 0, STREAM_SEEK_CUR), 5000u);  // position kept
  ASSERT_EQ(stream_->SetSize(20), S_OK);
  EXPECT_EQ(Everything(stream_.get()), Pattern(5000, 1).substr(0, 10) + std::string(10, '\0'));
  ASSERT_EQ(stream_->SetSize(0), S_OK);
  EXPECT_EQ(Everything(stream_.get()), "");
  EXPECT_EQ(stream_->SetSize(uint64_t{1} << 32), STG_E_MEDIUMFULL);
}

// Many writes of odd sizes at odd places, across the 1 MiB chunks the bytes
// are kept in, checked against a plain string; then the same bytes read back
// from disk, where they are a view of the file.
TEST_F(StreamTest, RandomWritesMatchAModel) {
  std::string model;
  uint32_t x = 99;
  auto next = [&x](uint32_t bound) {
    x = x * 1103515245u + 12345u;
    return (x >> 8) % bound;
  };
  for (int i = 0; i < 300; ++i) {
    uint32_t at = next(static_cast<uint32_t>(model.size()) + 70000);
    std::string bytes = Pattern(next(i % 10 == 0 ? 300000 : 5000), i);
    Seek(stream_.get(), at, STREAM_SEEK_SET);
    Write(stream_.get(), bytes);
    if (model.size() < at + bytes.size()) model.resize(at + bytes.size(), '\0');
    model.replace(at, bytes.size(), bytes);
  }
  ASSERT_GT(model.size(), 1u << 20);  // more than one chunk
  EXPECT_TRUE(Everything(stream_.get()) == model);
  Reopen();
  for (int i = 0; i < 200; ++i) {
    uint32_t at = next(static_cast<uint32_t>(model.size()) + 10);
    std::string buf(next(100000), '\0');
    uint32_t got = 0;
    Seek(stream_.get(), at, STREAM_SEEK_SET);
    ASSERT_EQ(stream_->Read(&buf[0], static_cast<uint32_t>(buf.size()), &got), S_OK);
    ASSERT_EQ(got, std::min<size_t>(buf.size(), at < model.size() ? model.size() - at : 0));
    ASSERT_TRUE(buf.substr(0, got) == model.substr(std::min<size_t>(at, model.size()), got)) << at;
  }
}

TEST_F(StreamTest, ClonesShareBytesButNotPosition) {
  Write(stream_.get(), "0123456789");
  Ref<Stream> clone;
  ASSERT_EQ(stream_->Clone(clone.Out()), S_OK);
  EXPECT_EQ(Seek(clone.get(), 0, STREAM_SEEK_CUR), 10u);  // starts where the original was
  Seek(clone.get(), 2, STREAM_SEEK_SET);
  Write(clone.get(), "ab");
  EXPECT_EQ(Seek(stream_.get(), 0, STREAM_SEEK_CUR), 10u);
  Write(stream_.get(), "!");
  EXPECT_EQ(Everything(stream_.get()), "01ab456789!");
  EXPECT_EQ(Seek(clone.get(), 0, STREAM_SEEK_CUR), 4u);
  EXPECT_EQ(ReadAll(clone.get()), "456789!");
  // The clone keeps the element open and the file alive.
  stream_.Reset();
  Ref<Stream> again;
  EXPECT_EQ(root_->OpenStream(u"data", kRead, again.Out()), STG_E_ACCESSDENIED);
  root_.Reset();
  Write(clone.get(), "?");
  EXPECT_EQ(Everything(clone.get()), "01ab456789!?");
  clone.Reset();  // the last reference: the file is written now
  ASSERT_EQ(OpenDocfile(file_.c_str(), 0x20, root_.Out()), S_OK);
  ASSERT_EQ(root_->OpenStream(u"data", kRead, again.Out()), S_OK);
  EXPECT_EQ(ReadAll(again.get()), "01ab456789!?");
}

TEST_F(StreamTest, CopyTo) {
  Write(stream_.get(), "abcdefghij");
  Ref<Stream> other;
  ASSERT_EQ(root_->CreateStream(u"other", kCreate, other.Out()), S_OK);
  Write(other.get(), "XY");
  Seek(stream_.get(), 3, STREAM_SEEK_SET);
  uint64_t read = 0, written = 0;
  ASSERT_EQ(stream_->CopyTo(other.get(), 4, &read, &written), S_OK);
  EXPECT_EQ(read, 4u);
  EXPECT_EQ(written, 4u);
  EXPECT_EQ(Seek(stream_.get(), 0, STREAM_SEEK_CUR), 7u);
  EXPECT_EQ(Seek(other.get(), 0, STREAM_SEEK_CUR), 6u);
  // More than is left: what is left.
  ASSERT_EQ(stream_->CopyTo(other.get(), 100, &read, &written), S_OK);
  EXPECT_EQ(read, 3u);
  EXPECT_EQ(Everything(other.get()), "XYdefghij");

  // Within one stream, through a clone, with the ranges overlapping.
  Ref<Stream> clone;
  ASSERT_EQ(stream_->Clone(clone.Out()), S_OK);
  Seek(stream_.get(), 0, STREAM_SEEK_SET);
  Seek(clone.get(), 2, STREAM_SEEK_SET);
  ASSERT_EQ(stream_->CopyTo(clone.get(), 10, &read, &written), S_OK);
  EXPECT_EQ(Everything(stream_.get()), "ababcdefghij");

  // Large copies go through several passes.
  std::string big = Pattern(300000, 5);
  Seek(stream_.get(), 0, STREAM_SEEK_SET);
  Write(stream_.get(), big);
  Seek(stream_.get(), 0, STREAM_SEEK_SET);
  ASSERT_EQ(other->SetSize(0), S_OK);
  Seek(other.get(), 0, STREAM_SEEK_SET);
  ASSERT_EQ(stream_->CopyTo(other.get(), ~uint64_t{0}, &read, &written), S_OK);
  EXPECT_EQ(written, big.size());
  EXPECT_TRUE(Everything(other.get()) == big);
  EXPECT_EQ(stream_->CopyTo(nullptr, 1, &read, &written), STG_E_INVALIDPOINTER);
}

TEST_F(StreamTest, StatAndReadOnlyStreams) {
  Write(stream_.get(), "12345");
  StatStg stat;
  ASSERT_EQ(stream_->Stat(&stat), S_OK);
  EXPECT_TRUE(stat.name == u"data");
  EXPECT_EQ(stat.type, STGTY_STREAM);
  EXPECT_EQ(stat.size, 5u);
  EXPECT_EQ(stat.mode, kCreate);
  stream_.Reset();
  // Opened for reading inside a file being written.
  ASSERT_EQ(root_->OpenStream(u"data", kRead, stream_.Out()), S_OK);
  EXPECT_EQ(stream_->Write("x", 1, nullptr), STG_E_ACCESSDENIED);
  EXPECT_EQ(stream_->SetSize(1), STG_E_ACCESSDENIED);
  Ref<Stream> clone;
  ASSERT_EQ(stream_->Clone(clone.Out()), S_OK);
  EXPECT_EQ(clone->Write("x", 1, nullptr), STG_E_ACCESSDENIED);
  clone.Reset();
  Reopen();
  EXPECT_EQ(stream_->Write("x", 1, nullptr), STG_E_ACCESSDENIED);
  EXPECT_EQ(stream_->SetSize(0), STG_E_ACCESSDENIED);
  ASSERT_EQ(stream_->Stat(&stat), S_OK);
  EXPECT_EQ(stat.mode, kRead);
  EXPECT_EQ(ReadAll(stream_.get()), "12345");
}

TEST_F(StreamTest, SizesAroundTheMiniStreamCutoffSurviveRewriting) {
  // Streams that cross the cutoff both ways between writes.
  Write(stream_.get(), Pattern(5000, 3));
  ASSERT_EQ(root_->Commit(), S_OK);
  ASSERT_EQ(stream_->SetSize(4095), S_OK);
  Ref<Stream> grows;
  ASSERT_EQ(root_->CreateStream(u"grows", kCreate, grows.Out()), S_OK);
  Write(grows.get(), Pattern(4095, 4));
  ASSERT_EQ(root_->Commit(), S_OK);
  Write(grows.get(), "!");
  grows.Reset();
  Reopen();
  EXPECT_TRUE(ReadAll(stream_.get()) == Pattern(5000, 3).substr(0, 4095));
  ASSERT_EQ(root_->OpenStream(u"grows", kRead, grows.Out()), S_OK);
  EXPECT_TRUE(ReadAll(grows.get()) == Pattern(4095, 4) + "!");
}

}  // namespace
}  // namespace oletest

namespace oletest {
namespace {

using namespace ole;

// Streams large enough to live in the work file rather than in memory.
class LargeStreamTest : public ::testing::Test {
 protected:
  static constexpr size_t kLarge = (1u << 20) + 5000;  // past the in-memory limit

  void SetUp() override {
    file_ = dir_.File("large.ole");
    ASSERT_EQ(CreateDocfile(file_.c_str(), 0x1011, root_.Out()), S_OK);
  }
  std::string OnDisk(const char16_t* name) {
    Ref<Storage> reader;
    EXPECT_EQ(OpenDocfile(file_.c_str(), 0x20, reader.Out()), S_OK);
    Ref<Stream> s;
    if (!reader || reader->OpenStream(name, 0x10, s.Out()) != S_OK) return "<missing>";
    return ReadAll(s.get());
  }
  void WriteAt(Stream* s, uint64_t at, const std::string& bytes) {
    ASSERT_EQ(s->Seek(static_cast<int64_t>(at), STREAM_SEEK_SET, nullptr), S_OK);
    ASSERT_EQ(s->Write(bytes.data(), static_cast<uint32_t>(bytes.size()), nullptr), S_OK);
  }
  std::string Everything(Stream* s) {
    EXPECT_EQ(s->Seek(0, STREAM_SEEK_SET, nullptr), S_OK);
    return ReadAll(s);
  }

  TempDir dir_;
  std::string file_;
  Ref<Storage> root_;
};

TEST_F(LargeStreamTest, ChangesAfterACommitLeaveTheCommittedFileAlone) {
  Ref<Stream> s;
  ASSERT_EQ(root_->CreateStream(u"big", 0x1011, s.Out()), S_OK);
  std::string model = Pattern(kLarge, 1);
  WriteAt(s.get(), 0, model);
  ASSERT_EQ(root_->Commit(), S_OK);
  EXPECT_TRUE(OnDisk(u"big") == model);
  // Overwrite the middle and grow: the committed file is unchanged until the
  // next commit.
  std::string patch = Pattern(3000, 2);
  WriteAt(s.get(), 700000, patch);
  WriteAt(s.get(), kLarge + 100, "tail");
  EXPECT_TRUE(OnDisk(u"big") == model);
  model.replace(700000, patch.size(), patch);
  model += std::string(100, '\0') + "tail";
  EXPECT_TRUE(Everything(s.get()) == model);
  ASSERT_EQ(root_->Commit(), S_OK);
  EXPECT_TRUE(OnDisk(u"big") == model);
}

TEST_F(LargeStreamTest, ShrinkingAndRegrowingReadsZeros) {
  Ref<Stream> s;
  ASSERT_EQ(root_->CreateStream(u"big", 0x1011, s.Out()), S_OK);
  WriteAt(s.get(), 0, Pattern(kLarge, 3));
  ASSERT_EQ(s->SetSize(1000), S_OK);  // now below the mini-stream cutoff
  ASSERT_EQ(root_->Commit(), S_OK);
  EXPECT_TRUE(OnDisk(u"big") == Pattern(1000, 3));
  ASSERT_EQ(s->SetSize(300000), S_OK);
  std::string expected = Pattern(1000, 3) + std::string(299000, '\0');
  EXPECT_TRUE(Everything(s.get()) == expected);
  s.Reset();
  root_.Reset();
  EXPECT_TRUE(OnDisk(u"big") == expected);
}

TEST_F(LargeStreamTest, CopiesAreIndependent) {
  std::string original = Pattern(kLarge, 4);
  PutStream(root_.get(), u"a", original);
  ASSERT_EQ(root_->MoveElementTo(u"a", root_.get(), u"b", STGMOVE_COPY), S_OK);
  Ref<Stream> b;
  ASSERT_EQ(root_->OpenStream(u"b", 0x10, b.Out()), S_OK);
  EXPECT_TRUE(ReadAll(b.get()) == original);
  b.Reset();
  ASSERT_EQ(root_->DestroyElement(u"b"), S_OK);
  ASSERT_EQ(root_->CreateStream(u"b", 0x1011, b.Out()), S_OK);
  WriteAt(b.get(), 0, Pattern(kLarge, 5));
  b.Reset();
  // Into another file being written, and from a file being read.
  std::string other_file = dir_.File("other.ole");
  Ref<Storage> other;
  ASSERT_EQ(CreateDocfile(other_file.c_str(), 0x1011, other.Out()), S_OK);
  ASSERT_EQ(root_->MoveElementTo(u"a", other.get(), u"a", STGMOVE_MOVE), S_OK);
  root_.Reset();
  ASSERT_EQ(OpenDocfile(file_.c_str(), 0x20, root_.Out()), S_OK);
  ASSERT_EQ(root_->MoveElementTo(u"b", other.get(), u"b", STGMOVE_COPY), S_OK);
  other.Reset();
  ASSERT_EQ(OpenDocfile(other_file.c_str(), 0x20, other.Out()), S_OK);
  Ref<Stream> s;
  ASSERT_EQ(other->OpenStream(u"a", 0x10, s.Out()), S_OK);
  EXPECT_TRUE(ReadAll(s.get()) == original);
  ASSERT_EQ(other->OpenStream(u"b", 0x10, s.Out()), S_OK);
  EXPECT_TRUE(ReadAll(s.get()) == Pattern(kLarge, 5));
}

// What is destroyed or cut off is not left readable in the file, and the
// file shrinks.
TEST_F(LargeStreamTest, NothingDestroyedStaysInTheFile) {
  PutStream(root_.get(), u"gone", std::string(kLarge, 'S'));
  Ref<Stream> cut;
  ASSERT_EQ(root_->CreateStream(u"cut", 0x1011, cut.Out()), S_OK);
  WriteAt(cut.get(), 0, std::string(kLarge, 'C'));
  ASSERT_EQ(root_->Commit(), S_OK);
  ASSERT_GT(ReadFile(file_).size(), 2 * kLarge);
  ASSERT_EQ(root_->DestroyElement(u"gone"), S_OK);
  ASSERT_EQ(cut->SetSize(4), S_OK);
  ASSERT_EQ(root_->Commit(), S_OK);
  std::string bytes = ReadFile(file_);
  EXPECT_EQ(bytes.find("SSSSSSSS"), std::string::npos);
  EXPECT_EQ(bytes.find("CCCCCCCC"), std::string::npos);
  EXPECT_EQ(OnDisk(u"cut"), "CCCC");
  EXPECT_LT(bytes.size(), 64u * 1024);
}

}  // namespace
}  // namespace oletest
