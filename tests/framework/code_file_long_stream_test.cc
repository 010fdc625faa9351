// Logical streams of many segments, stored and deflated: the table holds the
// count and every pair from the last segment to the first, in one piece
// right after the last segment, and the stream reads back whole, through
// our reader and through python3-olefile.
#include <gtest/gtest.h>
#include <zlib.h>

#include <cstring>
#include <sstream>

#include "code_file_test_util.h"

namespace {

using namespace cftest;

constexpr uint32_t kSegment = 4096;

// Bytes that do not deflate, the same for the same position every time.
class Noise {
 public:
  void Fill(uint8_t* out, size_t n) {
    for (size_t i = 0; i < n; i += 8) {
      state_ ^= state_ << 13;
      state_ ^= state_ >> 7;
      state_ ^= state_ << 17;
      std::memcpy(out + i, &state_, n - i < 8 ? n - i : 8);
    }
  }

 private:
  uint64_t state_ = 0x9E3779B97F4A7C15u;
};

// Writes `length` bytes of noise in pieces of 64 KiB; returns their CRC-32.
uint32_t PutNoise(CF_OutStream& stream, size_t length) {
  Noise noise;
  std::string piece(1 << 16, '\0');
  uLong crc = crc32(0, nullptr, 0);
  for (size_t at = 0; at < length; at += piece.size()) {
    const size_t n = std::min(piece.size(), length - at);
    noise.Fill(reinterpret_cast<uint8_t*>(&piece[0]), n);
    stream.PutData(piece.data(), static_cast<uint32_t>(n));
    crc = crc32(crc, reinterpret_cast<const Bytef*>(piece.data()), static_cast<uInt>(n));
  }
  return static_cast<uint32_t>(crc);
}

// How many bytes of noise deflate (as the code file's streams do: default
// level, window bits 10, memory level 3) into about `target` bytes, by the
// rate of a sample: to the byte for a few MiB, to a few segments in 400 MiB.
size_t NoiseDeflatingTo(size_t target) {
  std::string in(1 << 20, '\0');
  Noise().Fill(reinterpret_cast<uint8_t*>(&in[0]), in.size());
  std::string out(in.size() * 2, '\0');
  z_stream z{};
  deflateInit2(&z, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 10, 3, Z_DEFAULT_STRATEGY);
  z.next_in = reinterpret_cast<Bytef*>(&in[0]);
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = reinterpret_cast<Bytef*>(&out[0]);
  z.avail_out = static_cast<uInt>(out.size());
  deflate(&z, Z_FINISH);
  const double ratio = static_cast<double>(z.total_out) / static_cast<double>(z.total_in);
  deflateEnd(&z);
  return static_cast<size_t>(static_cast<double>(target) / ratio);
}

// The stream's length and CRC-32 as python3-olefile and zlib read it from the
// format alone.
constexpr char kLengthAndCrcPy[] = R"PY(
import sys, olefile
ole = olefile.OleFileIO(sys.argv[1])
for name, sid, kind, body in code_file_streams(ole.openstream('SolvaneCodeFile').read()):
    print(kind, len(body), zlib.crc32(body))
)PY";

TEST(CodeFileLongStreams, TablesOfManySegmentsAreWholeAndReadBack) {
  struct Case {
    uint32_t segments;
    int32_t kind;
  };
  const Case cases[] = {{127, CF_Stored},     {128, CF_Stored},     {129, CF_Stored},
                        {1000, CF_Stored},    {100000, CF_Stored},  {127, CF_Compressed},
                        {128, CF_Compressed}, {129, CF_Compressed}, {1000, CF_Compressed},
                        {100000, CF_Compressed}};
  for (const Case& c : cases) {
    SCOPED_TRACE(testing::Message() << c.segments << " segments, kind " << c.kind);
    // Stored: full segments and a short last one.  Deflated: about half a
    // segment into the last one.
    const size_t length = c.kind == CF_Stored ? (c.segments - 1) * size_t{kSegment} + 100
                                              : NoiseDeflatingTo((c.segments - 1) * size_t{kSegment} + kSegment / 2);
    const std::string path = TempPath("long.ole");
    uint32_t crc = 0;
    {
      OLEStorage storage(path.c_str(), kOLECreate);
      Owned<CF_OutStorage> writer(CreateCodeFile(storage, true));
      Owned<CF_OutStream> stream(writer->CreateStream("Long", 3, c.kind));
      crc = PutNoise(*stream, length);
    }

    // The layout: segments one after the other from offset 8, the table
    // right after the last one, the directory right after the table.
    {
      const std::string bytes = StreamBytes(path, u"SolvaneCodeFile");
      const Layout layout(bytes);
      ASSERT_EQ(layout.entries.size(), 1u);
      const uint32_t table = layout.entries[0].table;
      const uint32_t count = U32(bytes, table);
      ASSERT_NEAR(count, c.segments, c.segments / 10000);
      ASSERT_LE(table + 4 + 8 * size_t{count}, bytes.size());
      EXPECT_EQ(table + 4 + 8 * count, layout.directory);
      uint32_t expected = 8;
      for (uint32_t k = 0; k < count; ++k) {
        const size_t pair = table + 4 + 8 * size_t{count - 1 - k};  // the first segment is listed last
        ASSERT_EQ(U32(bytes, pair), expected) << "segment " << k;
        const uint32_t segmentLength = U32(bytes, pair + 4);
        if (k + 1 < count) {
          ASSERT_EQ(segmentLength, kSegment) << "segment " << k;
        }
        expected += segmentLength;
      }
      EXPECT_EQ(expected, table);
    }

    // Our reader.
    {
      Owned<CF_InStorage> reader(OpenCodeFile(OLEStorage(path.c_str(), kOLERead)));
      Owned<CF_InStream> in(reader->OpenStream("Long", 3));
      ASSERT_NE(in.get(), nullptr);
      std::string piece(50000, '\0');
      uLong got = crc32(0, nullptr, 0);
      size_t total = 0;
      for (uint32_t n; (n = in->GetData(&piece[0], static_cast<uint32_t>(piece.size()))) > 0; total += n) {
        got = crc32(got, reinterpret_cast<const Bytef*>(piece.data()), n);
      }
      EXPECT_EQ(total, length);
      EXPECT_EQ(static_cast<uint32_t>(got), crc);
    }

    // An independent reader.
    std::ostringstream expected;
    expected << c.kind << " " << length << " " << crc << "\n";
    EXPECT_EQ(PythonOutput(std::string(testutil::kCodeFileReaderPy) + kLengthAndCrcPy, {path}), expected.str());
  }
}

}  // namespace
