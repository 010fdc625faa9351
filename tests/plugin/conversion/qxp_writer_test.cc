// The saved document's reader: its bytes through the host's file API into a
// stored copy, and the failures that must stop the copy.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "plugin/conversion/qxp_writer.h"
#include "plugin/xtension/brenix_exception.h"
#include "support/host_link.h"
#include "tests/common/files.h"
#include "tests/common/python.h"
#include "tests/common/sample_data.h"
#include "tests/plugin/qapi/doc_host_util.h"

namespace {

using namespace BX_KXT::Export;

// "<stream> <first two bytes in hex> <inflates to the file given>" for each
// stored document.
const char kStoredPy[] = R"PY(
import sys, zlib, olefile
ole = olefile.OleFileIO(sys.argv[1])
want = open(sys.argv[2], 'rb').read()
for e in sorted(ole.listdir()):
    if e[:2] == ['SolvanePluginPrivateData', 'BrenixExportTemplates']:
        data = ole.openstream(e).read()
        print(e[2], data[:2].hex(), zlib.decompress(data) == want)
)PY";

class WriterTest : public ::testing::Test {
 protected:
  void SetUp() override {
    static XTRegisterRec record = xthost::MakeRegisterRec();
    XT().registration = &record;
  }
  XTFileSpec Spec(const std::string& path) {
    XTFileSpec spec{};
    const int32_t result = XT().files->make_spec(0, 0, path.c_str(), &spec);
    EXPECT_TRUE(result == kXTOk || result == kXTErrNotFound) << result;
    return spec;
  }
  // Stores `source` as document 0 of a new book; the failure it raised
  // (code 0 for none).
  uint16_t Store(const std::string& path) {
    try {
      Ref<IBook> book = CreateExportBook(book_.c_str());
      Writer writer(Spec(path), nullptr);
      book->StoreQXP(0, &writer);
    } catch (const BrenixException& e) {
      EXPECT_STREQ(e.what(), Spec(path).name);
      return e.Record().code;
    }
    return 0;
  }

  DocHost host_;
  std::string book_ = host_.Path("book.kxq");
};

TEST_F(WriterTest, StoresTheFileByteForByte) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{1024}, size_t{1} << 20}) {
    const std::string path = host_.Path("saved.qxp");
    testutil::WriteFile(path, testutil::RandomBytes(static_cast<uint32_t>(size), size));
    {
      Writer writer(Spec(path), nullptr);
      EXPECT_EQ(writer.Length(), size);
    }
    EXPECT_EQ(Store(path), 0);
    EXPECT_EQ(testutil::PythonOutput(kStoredPy, {book_, path}), "0 789c True\n") << size;
  }
}

TEST_F(WriterTest, FailedOpensAndReadsRaiseWithTheFileName) {
  const std::string path = host_.Path("saved.qxp");
  testutil::WriteFile(path, testutil::RandomBytes(5, 5000));
  EXPECT_EQ(Store(host_.Path("missing.qxp")), 1008);
  host_.Fail("open_file:1");
  EXPECT_EQ(Store(path), 1008);
  host_.Fail("read_file:3");
  EXPECT_EQ(Store(path), 1009);
  EXPECT_EQ(testutil::PythonOutput(kStoredPy, {book_, path}), "");  // nothing cut is stored
  host_.Fail("");
  EXPECT_EQ(Store(path), 0);
}

// A file table that answers reads from a script.
struct Script {
  std::vector<std::pair<int32_t, int32_t>> reads;  // (result, count)
  size_t next = 0;
  int closes = 0;
};
Script* g_script = nullptr;

const XTFileDataSuite kScripted = {
    kXTTableXFRd,
    [](int16_t, int32_t, const char*, int32_t, int16_t* file) -> int32_t {
      *file = 1;
      return kXTOk;
    },
    [](int16_t, int32_t* count, void* buffer) -> int32_t {
      const auto& step = g_script->reads.at(g_script->next++);
      std::memset(buffer, 'a', static_cast<size_t>(step.second));
      *count = step.second;
      return step.first;
    },
    [](int16_t, int32_t*) -> int32_t { return kXTErrIo; },
    [](int16_t) -> int32_t {
      ++g_script->closes;
      return kXTOk;
    },
    nullptr,
};

TEST_F(WriterTest, EndOfFileWithBytesDeliversThemAndAnEmptyReadBeforeItFails) {
  const XTFileDataSuite* saved = XT().file_data;
  XT().file_data = &kScripted;
  Script script;
  g_script = &script;
  XTFileSpec spec{};
  std::strcpy(spec.name, "scripted");
  {
    script.reads = {{kXTOk, 4}, {kXTErrEndOfFile, 2}, {kXTErrEndOfFile, 0}};
    Writer writer(spec, nullptr);
    char buffer[8];
    EXPECT_EQ(writer.GetData(buffer, 4), 4u);
    EXPECT_EQ(writer.GetData(buffer, 4), 2u);
    EXPECT_EQ(writer.GetData(buffer, 4), 0u);
    EXPECT_EQ(writer.GetData(buffer, 4), 0u);  // no read after the end
    EXPECT_EQ(script.next, 3u);
    EXPECT_EQ(writer.Length(), 0u);            // the host cannot tell
  }
  EXPECT_EQ(script.closes, 1);
  for (const auto& failing : {std::make_pair(kXTOk, 0), std::make_pair(kXTErrIo, 3)}) {
    script.reads = {{kXTOk, 4}, failing};
    script.next = 0;
    Writer writer(spec, nullptr);
    char buffer[8];
    EXPECT_EQ(writer.GetData(buffer, 4), 4u);
    try {
      writer.GetData(buffer, 4);
      ADD_FAILURE() << "no failure";
    } catch (const BrenixException& e) {
      EXPECT_EQ(e.Record().code, 1009);
      EXPECT_STREQ(e.what(), "scripted");
    }
  }
  XT().file_data = saved;
  g_script = nullptr;
}

}  // namespace
