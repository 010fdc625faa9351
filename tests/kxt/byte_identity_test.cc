// Written files keep their exact bytes.  The sample book through both
// versions of the element classes, a code file that takes every writer path,
// a generated book of 2,000 stories and a code file of streams of several MiB
// are written here and compared with files (and, for the large book and the
// long streams, SHA-256 digests) that an earlier build wrote
// into tests/data/bytes.  Both the whole compound file and its code-file
// stream must match.
//
// With BRENIX_SAVE_BYTES=<folder> the test writes its reference files into
// that folder instead of comparing (this is how tests/data/bytes was made).
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "element_model_util.h"
#include "framework/cf_name.h"
#include "framework/code_file.h"
#include "framework/code_folder.h"
#include "tests/common/big_book.h"
#include "tests/common/files.h"
#include "tests/common/owned.h"
#include "tests/common/python.h"
#include "tests/common/temp_dir.h"

namespace {

using testutil::Owned;

const char* SaveFolder() {
  const char* folder = std::getenv("BRENIX_SAVE_BYTES");
  return folder != nullptr && *folder != '\0' ? folder : nullptr;
}

std::string Reference(const std::string& name) { return std::string(BRENIX_TEST_DATA) + "/bytes/" + name; }

void Put(CF_OutStorage& writer, const std::string& name, int32_t id, int32_t kind, const std::string& bytes) {
  Owned<CF_OutStream> stream(writer.CreateStream(name.c_str(), id, kind));
  stream->PutData(bytes.data(), static_cast<uint32_t>(bytes.size()));
}

// Bytes that differ from stream to stream; text-like, so they deflate.
std::string Body(uint32_t n, uint32_t length) {
  std::string body;
  while (body.size() < length) body += "stream " + std::to_string(n) + " of the code file; ";
  body.resize(length);
  return body;
}

// A code file through every path of the writer: names whose hashes collide,
// the empty name, negative ids, one pair written twice, a rename, a dropped
// name, streams of several segments of every kind, streams still open when
// the writer goes, and folders.
void WriteCodeFile(const std::string& path) {
  OLEStorage root(path.c_str(), kOLECreate);
  Owned<CF_OutStorage> writer(CreateCodeFile(root, true));
  writer->SetProperty(2, Variant(static_cast<int32_t>(7)));
  const int32_t kinds[] = {CF_Stored, CF_Compressed, CF_DecideAtFirstFlush};
  for (uint32_t i = 0; i < 300; ++i) {
    // "..A0" and "..B " hash alike: one more in the last but one byte is
    // sixteen less in the last.
    const std::string stem = "Story" + std::to_string(i % 37) + "/Item";
    Put(*writer, stem + "A0", static_cast<int32_t>(i) - 150, kinds[i % 3], Body(i, (i * 97) % 700));
    Put(*writer, stem + "B ", static_cast<int32_t>(i % 5), kinds[(i + 1) % 3], Body(i + 1000, i % 40));
  }
  Put(*writer, "", 0, CF_Stored, "empty name");
  Put(*writer, "large", 1, CF_Compressed, Body(5, 20000));
  Put(*writer, "large", 2, CF_Stored, Body(6, 9000));
  std::mt19937 random(3);
  std::string noise(3000, '\0');
  for (char& c : noise) c = static_cast<char>(random());
  Put(*writer, "large", 3, CF_DecideAtFirstFlush, noise);  // does not deflate
  Put(*writer, "twice", 4, CF_Stored, "first");
  {
    Owned<CF_OutStream> older(writer->CreateStream("twice", 5, CF_Stored));
    Owned<CF_OutStream> newer(writer->CreateStream("twice", 5, CF_Compressed));
    older->PutData("older", 5);
    newer->PutData("newer", 5);
    newer.reset();  // the older stream closes last and takes the pair
  }
  {
    Owned<CF_OutStream> stream(writer->CreateStream("before rename", 6, CF_Stored));
    stream->PutData("renamed", 7);
    writer->RenameStream("before rename", 6, "after rename", -6);
  }
  {
    Owned<CF_OutFolder> folders(CreateCodeFolder(*writer));
    for (int32_t f = 0; f < 3; ++f) {
      Owned<CF_OutFolder> folder(folders->CreateFolder("Folder", f));
      Owned<CF_OutFolder> sub(folder->CreateFolder(f % 2 ? "Odd" : "Even", -f));
      for (uint32_t i = 0; i < 20; ++i) {
        Put(*sub, "m_Text" + std::to_string(i), 0, CF_DecideAtFirstFlush, Body(i, 30 + 50 * i));
      }
    }
  }
  CF_OutStream* open = writer->CreateStream("left open", 7, CF_Compressed);
  open->PutData("completed by the writer", 23);
  writer.reset();
  delete open;
}

struct Fixture {
  const char* name;
  std::function<void(const std::string&)> write;
};

std::vector<Fixture> Fixtures() {
  using element_test::SampleBook;
  std::vector<Fixture> fixtures;
  for (bool compress : {false, true}) {
    for (unsigned seed : {1u, 2u}) {
      static const char* names[2][2] = {{"v2_stored_1.kxt", "v2_stored_2.kxt"},
                                        {"v2_compressed_1.kxt", "v2_compressed_2.kxt"}};
      fixtures.push_back({names[compress][seed - 1], [compress, seed](const std::string& path) {
                            element_test::WriteV2(SampleBook(), path, compress, seed);
                          }});
    }
    fixtures.push_back({compress ? "v1_compressed.kxt" : "v1_stored.kxt",
                        [compress](const std::string& path) { element_test::v1::Write(SampleBook(), path, compress); }});
  }
  fixtures.push_back({"code_file.ole", WriteCodeFile});
  return fixtures;
}

TEST(ByteIdentityTest, TheConstructedNamesCollide) {
  // Guards the code-file fixture: its pairs of names share their hash.
  for (int i = 0; i < 37; ++i) {
    const std::string stem = "Story" + std::to_string(i) + "/Item";
    EXPECT_EQ(CF_NameHash(stem + "A0"), CF_NameHash(stem + "B ")) << stem;
  }
}

TEST(ByteIdentityTest, FilesMatchThoseOfTheEarlierBuild) {
  testutil::TempDir dir;
  for (const Fixture& fixture : Fixtures()) {
    SCOPED_TRACE(fixture.name);
    const std::string path = SaveFolder() ? std::string(SaveFolder()) + "/" + fixture.name : dir.File(fixture.name);
    fixture.write(path);
    if (SaveFolder()) continue;
    const std::string reference = testutil::ReadFile(Reference(fixture.name));
    ASSERT_FALSE(reference.empty()) << "no reference file";
    const std::string written = testutil::ReadFile(path);
    // The code-file stream first, which tells where a difference lies.
    const bool kxt = std::string(fixture.name).find(".kxt") != std::string::npos;
    if (kxt) {
      EXPECT_TRUE(element_test::CodeFileBytes(path) == element_test::CodeFileBytes(Reference(fixture.name)));
    }
    EXPECT_EQ(written.size(), reference.size());
    EXPECT_TRUE(written == reference);
  }
}

// SHA-256 of the whole file and of its code-file stream, by olefile.
constexpr char kDigestsPy[] = R"PY(
import hashlib, sys, olefile
with open(sys.argv[1], 'rb') as f:
    print(hashlib.sha256(f.read()).hexdigest() + '  file')
ole = olefile.OleFileIO(sys.argv[1])
stream = [e for e in ole.listdir() if e[-1] == 'SolvaneCodeFile'][0]
print(hashlib.sha256(ole.openstream(stream).read()).hexdigest() + '  SolvaneCodeFile')
)PY";

// The digests of the file written at `path` against those kept as `name`
// (or kept there, with BRENIX_SAVE_BYTES).
void ExpectDigests(const std::string& path, const std::string& name) {
  const std::string digests = testutil::PythonOutput(kDigestsPy, {path});
  if (SaveFolder()) {
    testutil::WriteFile(std::string(SaveFolder()) + "/" + name, digests);
    return;
  }
  EXPECT_EQ(digests, testutil::ReadFile(Reference(name)));
}

TEST(ByteIdentityTest, ALargeBookMatchesTheDigestsOfTheEarlierBuild) {
  testutil::TempDir dir;
  const std::string path = dir.File("book.kxt");
  testutil::WriteBigBook(path, 2000);
  ExpectDigests(path, "big_book_2000.sha256");
}

// Streams of several MiB written side by side: stored, deflated into over a
// thousand segments, and decided at the first flush.
TEST(ByteIdentityTest, LongStreamsMatchTheDigestsOfTheEarlierBuild) {
  testutil::TempDir dir;
  const std::string path = dir.File("long.ole");
  {
    OLEStorage root(path.c_str(), kOLECreate);
    Owned<CF_OutStorage> writer(CreateCodeFile(root, true));
    std::mt19937 random(11);
    std::string letters(5 << 20, '\0');  // six bits a byte: deflates to about 3.8 MiB
    for (char& c : letters) c = static_cast<char>('0' + random() % 64);
    const std::string text = Body(1, 3 << 20);
    Owned<CF_OutStream> stored(writer->CreateStream("stored", 1, CF_Stored));
    Owned<CF_OutStream> deflated(writer->CreateStream("deflated", 2, CF_Compressed));
    Owned<CF_OutStream> decided(writer->CreateStream("decided", 3, CF_DecideAtFirstFlush));
    for (size_t at = 0, piece = 5000; at < letters.size(); at += piece) {
      const uint32_t n = static_cast<uint32_t>(std::min(piece, letters.size() - at));
      deflated->PutData(letters.data() + at, n);
      if (at < text.size()) {
        const uint32_t m = static_cast<uint32_t>(std::min(piece, text.size() - at));
        stored->PutData(text.data() + at, m);
        decided->PutData(text.data() + at, m);
      }
    }
  }
  ExpectDigests(path, "long_streams.sha256");
}

}  // namespace
