// OLEStorage, OLEStream and the handler chain over real compound files, read
// back by python3-olefile; the root's final write and its failures over a
// stand-in storage.
#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <cstring>
#include <filesystem>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/failures.h"
#include "framework/mem_file.h"
#include "framework/ole_enumerator.h"
#include "framework/ole_object.h"
#include "framework/ole_storage.h"
#include "framework/ole_stream.h"
#include "tests/common/failure_of.h"
#include "tests/common/files.h"
#include "tests/common/hex.h"
#include "tests/common/ole_streams.h"
#include "tests/common/python.h"
#include "tests/common/temp_dir.h"

namespace {

using testutil::FailureOf;
using testutil::RunPython;
using testutil::PutStreamBytes;
using testutil::StreamBytes;
using testutil::TempDir;

std::string Pattern(size_t size, int seed) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 131 + seed) >> 3);
  return bytes;
}

// Prints "path size hex" for every stream of the file, sorted by path.
const char* kOlefileListing =
    "import olefile, sys\n"
    "ole = olefile.OleFileIO(sys.argv[1])\n"
    "assert not ole.parsing_issues, ole.parsing_issues\n"
    "for e in sorted(ole.listdir()):\n"
    "    data = ole.openstream(e).read()\n"
    "    print(\"/\".join(e), len(data), data.hex())\n";

std::string Line(const std::string& path, const std::string& bytes) {
  return path + " " + std::to_string(bytes.size()) + " " + testutil::Hex(bytes) + "\n";
}

TEST(OLEStorageTest, WrittenFileReadsBackHereAndInOlefile) {
  TempDir dir;
  std::string path = dir.File("a.kxt");
  std::string big = Pattern(5000, 1);
  std::string small = Pattern(63, 2);
  {
    OLEStorage root(path.c_str(), kOLECreate);
    PutStreamBytes(root, u"Big", big);
    OLEStorage sub(root, u"Sub", kOLECreate);
    PutStreamBytes(sub, u"Small", small);
    PutStreamBytes(sub, u"Empty", "");
  }
  EXPECT_TRUE(OLEObject::IsStorage(path.c_str()));

  OLEStorage root(path.c_str(), kOLERead);
  EXPECT_EQ(root.GetSize(), 5063u);
  EXPECT_EQ(StreamBytes(root, u"Big"), big);
  OLEStorage sub = root.OpenStorage(u"Sub", kOLERead);
  EXPECT_EQ(std::u16string(sub.Name()), u"Sub");
  EXPECT_EQ(StreamBytes(sub, u"Small"), small);
  EXPECT_EQ(StreamBytes(sub, u"Empty"), "");
  EXPECT_EQ(FailureOf([&] { root.GetSize(); }), 33007);  // measuring opens Sub, which is open

  int status = 0;
  std::string listing = RunPython(kOlefileListing, {path}, &status);
  ASSERT_EQ(status, 0) << listing;
  EXPECT_EQ(listing, Line("Big", big) + Line("Sub/Empty", "") + Line("Sub/Small", small));
}

TEST(OLEStorageTest, PlainFileIsNotAStorage) {
  TempDir dir;
  std::string path = dir.File("plain.txt");
  testutil::WriteFile(path, std::string(2048, 'x'));
  EXPECT_EQ(FailureOf([&] { OLEStorage root(path.c_str(), kOLERead); }), 33005);
  EXPECT_FALSE(OLEObject::IsStorage(path.c_str()));

  std::string missing = dir.File("missing.kxt");
  EXPECT_EQ(FailureOf([&] { OLEStorage root(missing.c_str(), kOLERead); }), 33006);
  EXPECT_FALSE(OLEObject::IsStorage(missing.c_str()));
}

TEST(OLEStorageTest, NonAsciiPathIsUsedByteForByte) {
  TempDir dir;
  std::string path = dir.File("Gr\xC3\xBC\xC3\x9F" "e \xE2\x82\xAC.kxt");
  { OLEStorage root(path.c_str(), kOLECreate); }
  EXPECT_TRUE(std::filesystem::exists(std::filesystem::u8path(path)));
  EXPECT_TRUE(OLEObject::IsStorage(path.c_str()));
  OLEStorage root(path.c_str(), kOLERead);
}

TEST(OLEStorageTest, StreamKeepsItsRootAliveAndTheLastWrapperWritesTheFile) {
  TempDir dir;
  std::string path = dir.File("alive.kxt");
  std::unique_ptr<OLEStream> stream;
  {
    OLEStorage root(path.c_str(), kOLECreate);
    OLEStorage sub(root, u"Sub", kOLECreate);
    stream = std::make_unique<OLEStream>(sub, u"Data", kOLECreate);
  }
  stream->PutData("late", 4);
  {
    OLEStream clone(*stream);  // same bytes, its own position
    EXPECT_EQ(clone.Seek(0, SeekEnd), 4u);
    clone.PutData("r", 1);
  }
  EXPECT_EQ(stream->Seek(0, SeekCurrent), 4u);
  stream.reset();

  OLEStorage root(path.c_str(), kOLERead);
  OLEStorage sub(root, u"Sub", kOLERead);
  EXPECT_EQ(StreamBytes(sub, u"Data"), "later");
}

TEST(OLEStorageTest, ElementsExistCopyMoveRenameAndGo) {
  TempDir dir;
  std::string path = dir.File("items.kxt");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    PutStreamBytes(root, u"Stream", "abc");
    PutStreamBytes(root, u"Doomed", "x");
    {
      OLEStorage from(root, u"From", kOLECreate);
      PutStreamBytes(from, u"Inner", "inner bytes");
    }
    OLEStorage to(root, u"To", kOLECreate);

    EXPECT_TRUE(root.StreamExists(u"Stream"));
    EXPECT_TRUE(root.StreamExists(u"STREAM"));  // names compare without case
    EXPECT_FALSE(root.StorageExists(u"Stream"));
    EXPECT_TRUE(root.StorageExists(u"From"));
    EXPECT_FALSE(root.StreamExists(u"From"));
    EXPECT_FALSE(root.StreamExists(u"Nothing"));
    EXPECT_EQ(FailureOf([&] { root.StorageExists(u"To"); }), 33007);  // open above

    root.CopyItem(u"Stream", to, nullptr, false);  // same name
    root.CopyItem(u"From", to, u"Copied", false);  // a whole storage
    root.CopyItem(u"Stream", to, u"Moved", true);
    EXPECT_FALSE(root.StreamExists(u"Stream"));
    EXPECT_EQ(FailureOf([&] { root.CopyItem(u"Stream", to, nullptr, false); }), 33006);

    root.RenameItem(u"Doomed", u"Renamed");
    EXPECT_EQ(FailureOf([&] { root.RenameItem(u"Renamed", u"From"); }), 33008);
    root.DestroyItem(u"Renamed");
    EXPECT_EQ(FailureOf([&] { root.DestroyItem(u"Renamed"); }), 33006);

    EXPECT_EQ(FailureOf([&] { OLEStream s(root, u"abcdefghijklmnopqrstuvwxyz012345", kOLECreate); }), 33000);
    EXPECT_EQ(FailureOf([&] { OLEStream s(root, u"Missing", kOLERead); }), 33006);
    EXPECT_EQ(FailureOf([&] { OLEStorage s(root, u"Missing", kOLERead); }), 33006);
    {
      OLEStream open(to, u"Moved", kOLERead);
      EXPECT_EQ(FailureOf([&] { OLEStream again(to, u"Moved", kOLERead); }), 33007);
    }
  }
  int status = 0;
  std::string listing = RunPython(kOlefileListing, {path}, &status);
  ASSERT_EQ(status, 0) << listing;
  EXPECT_EQ(listing, Line("From/Inner", "inner bytes") + Line("To/Copied/Inner", "inner bytes") +
                         Line("To/Moved", "abc") + Line("To/Stream", "abc"));
}

TEST(OLEStreamTest, ReadsWritesSeeksAndResizes) {
  TempDir dir;
  std::string path = dir.File("stream.kxt");
  OLEStorage root(path.c_str(), kOLECreate);
  OLEStream stream(root, u"S", kOLECreate);
  EXPECT_EQ(std::u16string(stream.Name()), u"S");
  stream.PutData("0123456789", 10);
  EXPECT_EQ(stream.GetSize(), 10u);
  EXPECT_EQ(stream.Seek(0, SeekCurrent), 10u);  // GetSize leaves the position

  EXPECT_EQ(stream.Seek(-4, SeekCurrent), 6u);
  char buffer[16] = {};
  EXPECT_EQ(stream.GetData(buffer, 16), 4u);  // short at the end
  EXPECT_EQ(std::string(buffer, 4), "6789");
  EXPECT_EQ(stream.GetData(nullptr, 0), 0u);
  EXPECT_EQ(stream.Seek(-3, SeekEnd), 7u);
  EXPECT_NE(FailureOf([&] { stream.Seek(-11, SeekEnd); }), 0);  // before the beginning

  // Past the end: the gap reads as zeros.
  EXPECT_EQ(stream.Seek(12, SeekBegin), 12u);
  stream.PutData("Z", 1);
  stream.Seek(0, SeekBegin);
  char all[13];
  EXPECT_EQ(stream.GetData(all, 13), 13u);
  EXPECT_EQ(std::string(all, 13), std::string("0123456789\0\0Z", 13));

  stream.Resize(3);
  EXPECT_EQ(stream.GetSize(), 3u);
  stream.Resize(5);
  stream.Seek(0, SeekBegin);
  EXPECT_EQ(stream.GetData(all, 13), 5u);
  EXPECT_EQ(std::string(all, 5), std::string("012\0\0", 5));

  OLEStream target(root, u"T", kOLECreate);
  stream.Seek(1, SeekBegin);
  EXPECT_EQ(stream.CopyData(target, 100), 4u);
  EXPECT_EQ(target.GetSize(), 4u);
}

TEST(OLEStatTest, ClassIdIsWrittenAndRead) {
  TempDir dir;
  std::string path = dir.File("class.kxt");
  const uint8_t clsid[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16};
  {
    OLEStorage root(path.c_str(), kOLECreate);
    OLEStorage sub(root, u"Sub", kOLECreate);
    MemFile in;
    in.PutData(clsid, 16);
    in.Seek(0, SeekBegin);
    EXPECT_TRUE(sub.Stat().ReadClass(in));
    MemFile shorter;
    shorter.PutData(clsid, 15);
    shorter.Seek(0, SeekBegin);
    EXPECT_FALSE(sub.Stat().ReadClass(shorter));
  }
  OLEStorage root(path.c_str(), kOLERead);
  OLEStorage sub(root, u"Sub", kOLERead);
  MemFile out;
  sub.Stat().WriteClass(out);
  ASSERT_EQ(out.Size(), 16u);
  EXPECT_EQ(std::memcmp(out.Data(), clsid, 16), 0);

  std::string clsid_text = testutil::PythonOutput(
      "import olefile, sys; print(olefile.OleFileIO(sys.argv[1]).getclsid(\"Sub\"))", {path});
  EXPECT_EQ(clsid_text, "04030201-0605-0807-090A-0B0C0D0E0F10\n");
}

// A stand-in root storage that counts references and answers Commit with a
// chosen result.
class FakeRoot : public ole::Storage {
 public:
  uint32_t AddRef() override { return ++refs; }
  uint32_t Release() override { return --refs; }
  ole::Result CreateStream(const char16_t*, uint32_t, ole::Stream**) override { return ole::STG_E_INVALIDFUNCTION; }
  ole::Result OpenStream(const char16_t*, uint32_t, ole::Stream**) override { return ole::STG_E_INVALIDFUNCTION; }
  ole::Result CreateStorage(const char16_t*, uint32_t, ole::Storage**) override { return ole::STG_E_INVALIDFUNCTION; }
  ole::Result OpenStorage(const char16_t*, uint32_t, ole::Storage**) override { return ole::STG_E_INVALIDFUNCTION; }
  ole::Result MoveElementTo(const char16_t*, ole::Storage*, const char16_t*, ole::MoveMode) override {
    return ole::STG_E_INVALIDFUNCTION;
  }
  ole::Result DestroyElement(const char16_t*) override { return ole::STG_E_INVALIDFUNCTION; }
  ole::Result RenameElement(const char16_t*, const char16_t*) override { return ole::STG_E_INVALIDFUNCTION; }
  ole::Result EnumElements(ole::ElementEnum**) override { return ole::STG_E_INVALIDFUNCTION; }
  ole::Result SetClass(const ole::Clsid&) override { return ole::STG_E_INVALIDFUNCTION; }
  ole::Result Stat(ole::StatStg* stat) override {
    stat->name = u"fake.kxt";
    stat->type = ole::STGTY_ROOT;
    stat->mode = ole::STGM_CREATE | ole::STGM_WRITE | ole::STGM_SHARE_EXCLUSIVE;
    return ole::S_OK;
  }
  ole::Result Commit() override {
    ++commits;
    return commit_result;
  }

  uint32_t refs = 1;
  int commits = 0;
  ole::Result commit_result = ole::S_OK;
};

TEST(OLEStorageTest, OnlyTheLastWrapperOfARootCommits) {
  FakeRoot fake;
  auto* root = new OLEStorage(&fake);
  auto* copy = new OLEStorage(*root);
  delete root;
  EXPECT_EQ(fake.commits, 0);
  delete copy;
  EXPECT_EQ(fake.commits, 1);
  EXPECT_EQ(fake.refs, 0u);
}

TEST(OLEStorageTest, FailingFinalWriteIsRaisedEveryTime) {
  for (ole::Result result : {ole::STG_E_MEDIUMFULL, ole::STG_E_MEDIUMFULL, ole::STG_E_WRITEFAULT}) {
    FakeRoot fake;
    fake.commit_result = result;
    auto* root = new OLEStorage(&fake);
    EXPECT_EQ(FailureOf([&] { delete root; }), result == ole::STG_E_MEDIUMFULL ? 33012 : 33013);
    EXPECT_EQ(fake.refs, 0u);  // released all the same
  }
}

std::vector<std::string> g_logged;
void Capture(const char* line) { g_logged.push_back(line); }

TEST(OLEStorageTest, FailingFinalWriteWhileUnwindingIsLogged) {
  FakeRoot fake;
  fake.commit_result = ole::STG_E_MEDIUMFULL;
  g_logged.clear();
  SetOLEFailureLogger(Capture);
  try {
    OLEStorage root(&fake);
    throw std::runtime_error("first");
  } catch (const std::runtime_error&) {
  }
  SetOLEFailureLogger(nullptr);
  EXPECT_EQ(fake.refs, 0u);
  ASSERT_EQ(g_logged.size(), 1u);
  EXPECT_NE(g_logged[0].find("33012"), std::string::npos);
  EXPECT_NE(g_logged[0].find("fake.kxt"), std::string::npos);
}

// Runs `finish` while files may not grow past 10 KB; returns the failure.
int FailureWithFileLimit(const std::function<void()>& finish) {
  struct rlimit saved;
  if (getrlimit(RLIMIT_FSIZE, &saved) != 0) return -1;
  struct rlimit limited = saved;
  limited.rlim_cur = 10000;
  auto old_handler = std::signal(SIGXFSZ, SIG_IGN);
  if (setrlimit(RLIMIT_FSIZE, &limited) != 0) return -1;
  int failure = FailureOf(finish);
  setrlimit(RLIMIT_FSIZE, &saved);
  std::signal(SIGXFSZ, old_handler);
  return failure;
}

TEST(OLEStorageTest, WriteErrorOfTheRealFileReachesTheCaller) {
  TempDir dir;
  std::string path = dir.File("limited.kxt");
  auto* root = new OLEStorage(path.c_str(), kOLECreate);
  PutStreamBytes(*root, u"Data", Pattern(100000, 3));
  EXPECT_EQ(FailureWithFileLimit([&] { delete root; }), 33013);
  EXPECT_TRUE(OLEObject::IsStorage(path.c_str()));  // the file made at creation is still whole

  // The last wrapper of the root is a stream.
  root = new OLEStorage(path.c_str(), kOLECreate);
  auto* stream = new OLEStream(*root, u"Data", kOLECreate);
  delete root;
  stream->PutData(Pattern(100000, 4).data(), 100000);
  EXPECT_EQ(FailureWithFileLimit([&] { delete stream; }), 33013);
}

}  // namespace
