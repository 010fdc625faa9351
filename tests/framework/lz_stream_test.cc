#include "framework/lz_stream.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <stdexcept>
#include <string>
#include <vector>

#include "framework/failures.h"
#include "framework/mem_file.h"
#include "tests/common/files.h"
#include "tests/common/python.h"
#include "tests/common/temp_dir.h"

namespace {

using Bytes = std::string;

// Words, spaces, punctuation and line breaks: compresses like prose.
Bytes TextLike(size_t n, std::mt19937& rng) {
  static const char* const kWords[] = {"the",    "story", "box",   "paragraph", "style",
                                       "master", "page",  "text",  "layout",    "run",
                                       "of",     "and",   "to",    "export",    "Solvane"};
  Bytes out;
  while (out.size() < n) {
    out += kWords[rng() % 15];
    const unsigned r = rng() % 20;
    out += r == 0 ? ".\n" : r == 1 ? ", " : " ";
    if (rng() % 50 == 0) out += std::to_string(rng());
  }
  out.resize(n);
  return out;
}

Bytes Noise(size_t n, std::mt19937& rng) {
  Bytes out(n, '\0');
  for (char& c : out) c = static_cast<char>(rng());
  return out;
}

// Writes `input` to a file, runs a Python script on it and returns what the
// script wrote.  The script sees the paths as sys.argv[1] and sys.argv[2].
Bytes RunPython(const std::string& script, const Bytes& input) {
  const testutil::TempDir dir;
  testutil::WriteFile(dir.File("in"), input);
  int status = 0;
  const std::string printed = testutil::RunPython(script, {dir.File("in"), dir.File("out")}, &status);
  if (status != 0) throw std::runtime_error("python failed: " + printed + script);
  return testutil::ReadFile(dir.File("out"));
}

Bytes PythonInflate(const Bytes& compressed, int wbits) {
  return RunPython(
      "import sys, zlib\n"
      "data = open(sys.argv[1], 'rb').read()\n"
      "d = zlib.decompressobj(" + std::to_string(wbits) + ")\n"
      "out = d.decompress(data)\n"
      "assert d.eof and not d.unused_data, 'incomplete or trailing data'\n"
      "open(sys.argv[2], 'wb').write(out)\n",
      compressed);
}

Bytes PythonDeflate(const Bytes& plain, const std::string& args) {
  return RunPython(
      "import sys, zlib\n"
      "data = open(sys.argv[1], 'rb').read()\n"
      "c = zlib.compressobj(" + args + ")\n"
      "open(sys.argv[2], 'wb').write(c.compress(data) + c.flush())\n",
      plain);
}

// An OutStream collecting bytes; can be told to fail.
struct Sink : OutStream {
  Bytes bytes;
  bool fail = false;
  void PutData(const void* data, uint32_t n) override {
    if (fail) Error(777);
    bytes.append(static_cast<const char*>(data), n);
  }
};

// An InStream over bytes that hands them out in pieces of at most `piece`.
struct Source : InStream {
  Bytes bytes;
  size_t at = 0;
  uint32_t piece;
  explicit Source(Bytes b, uint32_t p = 1u << 30) : bytes(std::move(b)), piece(p) {}
  uint32_t GetData(void* buffer, uint32_t n) override {
    const size_t count = std::min<size_t>({n, piece, bytes.size() - at});
    bytes.copy(static_cast<char*>(buffer), count, at);
    at += count;
    return static_cast<uint32_t>(count);
  }
};

Bytes Deflate(const Bytes& plain, LZ_CompressionLevel level, LZ_WindowBits window,
              LZ_MemoryLevel memory, const std::function<uint32_t()>& chunk = nullptr) {
  Sink sink;
  LZ_OutStream* out = LZ_OutStream::New(sink, level, window, memory);
  for (size_t at = 0; at < plain.size();) {
    const uint32_t n =
        std::min<uint32_t>(chunk ? chunk() : 1u << 30, static_cast<uint32_t>(plain.size() - at));
    out->PutData(plain.data() + at, n);
    at += n;
  }
  delete out;
  return sink.bytes;
}

Bytes Inflate(const Bytes& compressed, LZ_WindowBits window,
              const std::function<uint32_t()>& chunk = nullptr, uint32_t piece = 1u << 30) {
  Source source(compressed, piece);
  LZ_InStream_Impl in(source, window);
  Bytes out;
  std::vector<char> buffer(70000);
  for (;;) {
    const uint32_t want = chunk ? chunk() : 65536;
    const uint32_t got = in.GetData(buffer.data(), want);
    out.append(buffer.data(), got);
    if (got < want) break;
  }
  return out;
}

int FailureId(const std::function<void()>& action) {
  try {
    action();
  } catch (const FilterException& e) {
    return e.Id();
  }
  return 0;
}

TEST(LZStream, PythonInflatesWhatLZ_OutStreamWrites) {
  std::mt19937 rng(1);
  const Bytes plain = TextLike(150000, rng) + Noise(3000, rng) + TextLike(20000, rng);
  struct Case {
    LZ_CompressionLevel level;
    LZ_WindowBits window;
    LZ_MemoryLevel memory;
  };
  for (const Case& c : {Case{LZ_DefaultCompression, LZ_MaxWindowBits, LZ_DefaultMemoryLevel},
                        Case{LZ_DefaultCompression, LZ_SmallWindowBits, LZ_SmallMemoryLevel},
                        Case{LZ_NoCompression, LZ_MaxWindowBits, LZ_DefaultMemoryLevel},
                        Case{LZ_BestCompression, LZ_MinWindowBits, LZ_MinMemoryLevel}}) {
    const Bytes compressed = Deflate(plain, c.level, c.window, c.memory, [&] { return rng() % 3000; });
    if (c.level != LZ_NoCompression) {
      EXPECT_LT(compressed.size(), plain.size() / 2);
    }
    EXPECT_EQ(PythonInflate(compressed, c.window == 8 ? 9 : c.window), plain)
        << c.level << " " << c.window << " " << c.memory;
  }
  // Deleting a stream that was given nothing still writes a whole stream.
  const Bytes empty = Deflate("", LZ_DefaultCompression, LZ_MaxWindowBits, LZ_DefaultMemoryLevel);
  EXPECT_GT(empty.size(), 6u);
  EXPECT_EQ(PythonInflate(empty, 15), "");
}

TEST(LZStream, LZ_InStreamReadsWhatPythonWrites) {
  std::mt19937 rng(2);
  const Bytes plain = TextLike(120000, rng) + Noise(5000, rng);
  struct Case {
    std::string args;
    LZ_WindowBits window;
  };
  for (const Case& c : {Case{"", LZ_MaxWindowBits},
                        Case{"wbits=10, memLevel=3", LZ_SmallWindowBits},
                        Case{"9, wbits=8, memLevel=1", LZ_MinWindowBits},
                        Case{"1, wbits=12", LZ_WindowBits(12)}}) {
    const Bytes compressed = PythonDeflate(plain, c.args);
    EXPECT_EQ(Inflate(compressed, c.window, [&] { return rng() % 5000 + 1; }), plain) << c.args;
    // A source that gives a few bytes at a time makes no difference.
    EXPECT_EQ(Inflate(compressed, c.window, nullptr, 7), plain) << c.args;
  }
}

TEST(LZStream, RandomSizesAndChunkingsRoundTrip) {
  std::mt19937 rng(3);
  for (int i = 0; i < 60; ++i) {
    const size_t size = i < 10 ? i : rng() % 4 == 0 ? rng() % 400000 : rng() % 5000;
    const Bytes plain = rng() % 3 == 0 ? Noise(size, rng) : TextLike(size, rng);
    const auto level = LZ_CompressionLevel(int(rng() % 11) - 1);
    const auto window = LZ_WindowBits(8 + rng() % 8);
    const auto memory = LZ_MemoryLevel(1 + rng() % 9);
    const uint32_t write_max = 1 + rng() % 9000;
    const uint32_t read_max = 1 + rng() % 9000;
    const Bytes compressed = Deflate(plain, level, window, memory, [&] {
      return rng() % 10 == 0 ? 0 : rng() % write_max;
    });
    ASSERT_EQ(Inflate(compressed, window, [&] { return rng() % read_max + 1; }), plain)
        << "size " << size << " level " << level << " window " << window << " memory " << memory;
  }
}

TEST(LZStream, EveryLengthAroundTheOutputAreaRoundTrips) {
  // Stored and fast levels turn the same input size into predictable output
  // sizes, so writes end with the 1024-byte area full, part full and just
  // past full; each length passes through one PutData.
  std::mt19937 rng(4);
  const Bytes noise = Noise(5000, rng);
  for (auto level : {LZ_NoCompression, LZ_BestSpeed}) {
    for (uint32_t n = 1; n <= 5000; n += (n < 1200 ? 1 : 7)) {
      Sink sink;
      {
        LZ_OutStream_Impl out(sink, level, LZ_MaxWindowBits, LZ_DefaultMemoryLevel);
        out.PutData(noise.data(), n);
        out.PutData(noise.data(), n);
      }
      ASSERT_EQ(Inflate(sink.bytes, LZ_MaxWindowBits), noise.substr(0, n) + noise.substr(0, n))
          << level << " " << n;
    }
  }
}

TEST(LZStream, LevelChangesMidStream) {
  std::mt19937 rng(5);
  const Bytes a = Noise(200000, rng), b = TextLike(300000, rng), c = Noise(100000, rng);
  Sink sink;
  LZ_OutStream* out = LZ_OutStream::New(sink, LZ_BestSpeed, LZ_MaxWindowBits, LZ_DefaultMemoryLevel);
  EXPECT_EQ(out->Level(), LZ_BestSpeed);
  out->PutData(a.data(), static_cast<uint32_t>(a.size()));
  out->SetLevel(LZ_BestCompression);
  EXPECT_EQ(out->Level(), LZ_BestCompression);
  out->PutData(b.data(), static_cast<uint32_t>(b.size()));
  out->SetLevel(LZ_NoCompression);
  out->PutData(c.data(), static_cast<uint32_t>(c.size()));
  delete out;
  EXPECT_EQ(PythonInflate(sink.bytes, 15), a + b + c);

  // zlib compresses what it holds before it switches; when that fills a
  // block, the output takes more than one area.
  for (uint32_t n = 16300; n < 16800; n += 5) {
    Sink held;
    {
      LZ_OutStream_Impl stream(held, LZ_BestSpeed, LZ_MaxWindowBits, LZ_DefaultMemoryLevel);
      stream.PutData(a.data(), n);
      stream.SetLevel(LZ_BestCompression);
      stream.PutData(b.data(), 1000);
    }
    ASSERT_EQ(Inflate(held.bytes, LZ_MaxWindowBits), a.substr(0, n) + b.substr(0, 1000)) << n;
  }
}

TEST(LZStream, EndOfStreamAndEndOfSource) {
  std::mt19937 rng(6);
  const Bytes plain = TextLike(50000, rng);
  const Bytes compressed = Deflate(plain, LZ_DefaultCompression, LZ_SmallWindowBits, LZ_SmallMemoryLevel);

  // Past the end: 0 on every later call, even with bytes after the stream.
  Source source(compressed + "trailing bytes");
  LZ_InStream_Impl in(source, LZ_SmallWindowBits);
  Bytes buffer(60000, '\0');
  EXPECT_EQ(in.GetData(&buffer[0], 60000), 50000u);
  EXPECT_EQ(buffer.substr(0, 50000), plain);
  for (int i = 0; i < 3; ++i) EXPECT_EQ(in.GetData(&buffer[0], 100), 0u);
  EXPECT_EQ(in.GetData(&buffer[0], 0), 0u);

  // A source that ends early gives fewer bytes, without a failure.
  for (size_t cut : {size_t{0}, size_t{1}, size_t{2}, compressed.size() / 3, compressed.size() - 4,
                     compressed.size() - 1}) {
    const Bytes got = Inflate(compressed.substr(0, cut), LZ_SmallWindowBits);
    if (cut < compressed.size() - 4) {
      EXPECT_LT(got.size(), plain.size()) << cut;
    }
    EXPECT_EQ(got, plain.substr(0, got.size())) << cut;
  }
}

TEST(LZStream, CorruptInputRaisesTheMappedFailures) {
  std::mt19937 rng(7);
  const Bytes plain = TextLike(20000, rng);
  const Bytes good = PythonDeflate(plain, "");
  auto read = [](const Bytes& compressed, LZ_WindowBits window) {
    return FailureId([&] { Inflate(compressed, window); });
  };
  EXPECT_EQ(read(good, LZ_MaxWindowBits), 0);

  Bytes bad_header = good;
  bad_header[1] = static_cast<char>(bad_header[1] ^ 1);
  EXPECT_EQ(read(bad_header, LZ_MaxWindowBits), 44006);

  Bytes bad_block = good;
  bad_block[2] = 0x07;  // final block of the reserved type
  EXPECT_EQ(read(bad_block, LZ_MaxWindowBits), 44006);

  Bytes bad_check = good;
  bad_check.back() = static_cast<char>(bad_check.back() ^ 0x55);
  EXPECT_EQ(read(bad_check, LZ_MaxWindowBits), 44006);

  // A stream made with a larger window than the reader's.
  EXPECT_EQ(read(good, LZ_SmallWindowBits), 44006);

  // A stream that needs a preset dictionary.
  EXPECT_EQ(read(PythonDeflate(plain, "zdict=b'paragraph style'"), LZ_MaxWindowBits), 44005);

  // The failure stays: a stream that failed fails again.
  Source source(bad_block);
  LZ_InStream_Impl in(source, LZ_MaxWindowBits);
  char byte;
  EXPECT_EQ(FailureId([&] { in.GetData(&byte, 1); }), 44006);
  EXPECT_EQ(FailureId([&] { in.GetData(&byte, 1); }), 44006);
}

TEST(LZStream, ParametersZlibRefusesRaise44003) {
  Sink sink;
  auto make = [&](int level, int window, int memory) {
    return FailureId([&] {
      delete LZ_OutStream::New(sink, LZ_CompressionLevel(level), LZ_WindowBits(window),
                               LZ_MemoryLevel(memory));
    });
  };
  EXPECT_EQ(make(10, 15, 8), 44003);
  EXPECT_EQ(make(-1, 16, 8), 44003);
  EXPECT_EQ(make(-1, 7, 8), 44003);
  EXPECT_EQ(make(-1, 15, 0), 44003);
  EXPECT_EQ(make(-1, 15, 10), 44003);
  EXPECT_EQ(make(-1, -15, 8), 44003);  // raw deflate: not the zlib format
  EXPECT_EQ(make(-1, 31, 8), 44003);   // gzip
  EXPECT_TRUE(sink.bytes.empty());
  Source source("");
  EXPECT_EQ(FailureId([&] { delete LZ_InStream::New(source, LZ_WindowBits(16)); }), 44003);
  EXPECT_EQ(FailureId([&] { delete LZ_InStream::New(source, LZ_WindowBits(7)); }), 44003);
  EXPECT_EQ(FailureId([&] { delete LZ_InStream::New(source, LZ_WindowBits(0)); }), 44003);
  EXPECT_EQ(FailureId([&] { delete LZ_InStream::New(source, LZ_WindowBits(-15)); }), 44003);
}

TEST(LZStream, TargetFailuresWhileFinishing) {
  // Not unwinding: deleting the stream raises the target's failure.
  Sink sink;
  LZ_OutStream* out = LZ_OutStream::New(sink, LZ_DefaultCompression, LZ_MaxWindowBits,
                                        LZ_DefaultMemoryLevel);
  out->PutData("abc", 3);
  sink.fail = true;
  EXPECT_EQ(FailureId([&] { delete out; }), 777);

  // Unwinding: the first exception arrives, the process goes on.
  Sink failing;
  try {
    LZ_OutStream_Impl stream(failing, LZ_DefaultCompression, LZ_MaxWindowBits,
                             LZ_DefaultMemoryLevel);
    stream.PutData("abc", 3);
    failing.fail = true;
    throw std::runtime_error("first");
  } catch (const std::runtime_error& e) {
    EXPECT_STREQ(e.what(), "first");
  }
}

}  // namespace
