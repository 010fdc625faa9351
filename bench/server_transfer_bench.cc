// Files over loopback TCP through the server's transfer blocks, both ends in
// the project's code (one thread sends, one receives), against two floors:
//   plain blocks:      a plain copy file -> socket -> file with 64 KiB buffers;
//                      the target is at least 50% of its rate;
//   compressed blocks: zlib alone at level 1, deflating then inflating the
//                      same bytes in memory on one thread; the target is at
//                      least 75% of its rate.
// 64 MiB of random and of text-like data; every figure is the median of five
// rounds, the measurements of a round interleaved.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "shared/server/connection.h"
#include "tests/common/bench_timing.h"
#include "tests/common/files.h"
#include "tests/common/loopback.h"
#include "tests/common/sample_data.h"
#include "tests/common/temp_dir.h"

namespace {

constexpr size_t kSize = 64u << 20;
constexpr size_t kCopyBuffer = 64u << 10;
constexpr int kRounds = 5;

using testutil::Median;
using testutil::Require;
using testutil::Seconds;

// Runs `send` on one end of a fresh loopback pair and `receive` on the
// other, each on a thread of its own.
void OverLoopback(const std::function<void(net::Socket&)>& send, const std::function<void(net::Socket&)>& receive) {
  static const net::Socket listener = testutil::LoopbackListener();
  std::pair<net::Socket, net::Socket> ends = testutil::ConnectedPair(listener);
  std::thread sender([&] { send(ends.first); });
  receive(ends.second);
  sender.join();
}

void PlainCopy(const std::string& from, const std::string& to) {
  OverLoopback(
      [&](net::Socket& s) {
        std::FILE* in = std::fopen(from.c_str(), "rb");
        std::vector<char> buffer(kCopyBuffer);
        size_t n;
        while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) Require(net::SendAll(s, buffer.data(), n) == 0, "send");
        std::fclose(in);
        net::ShutdownSend(s);
      },
      [&](net::Socket& s) {
        std::FILE* out = std::fopen(to.c_str(), "wb");
        std::vector<char> buffer(kCopyBuffer);
        size_t n = 0;
        while (net::Receive(s, buffer.data(), buffer.size(), n) == 0 && n > 0) std::fwrite(buffer.data(), 1, n, out);
        std::fclose(out);
      });
}

void Blocks(const std::string& from, const std::string& to, bool compress) {
  OverLoopback(
      [&](net::Socket& s) {
        ct_Connection conn;
        conn.Adopt(net::Socket(), std::move(s));
        Require(compress ? conn.SendFileDataCompressed(from, 1) : conn.SendFileData(from), "send blocks");
      },
      [&](net::Socket& s) {
        ct_Connection conn;
        conn.Adopt(net::Socket(), std::move(s));
        bool compressed = false;
        Require(conn.ReceiveFileData(to, compressed) && compressed == compress, "receive blocks");
      });
}

void ZlibFloor(const std::string& data) {
  std::string packed(compressBound(data.size()), '\0');
  z_stream d{};
  deflateInit(&d, 1);
  d.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
  d.avail_in = static_cast<uInt>(data.size());
  d.next_out = reinterpret_cast<Bytef*>(&packed[0]);
  d.avail_out = static_cast<uInt>(packed.size());
  Require(deflate(&d, Z_FINISH) == Z_STREAM_END, "deflate");
  packed.resize(d.total_out);
  deflateEnd(&d);
  std::string plain(data.size(), '\0');
  z_stream i{};
  inflateInit(&i);
  i.next_in = reinterpret_cast<Bytef*>(&packed[0]);
  i.avail_in = static_cast<uInt>(packed.size());
  i.next_out = reinterpret_cast<Bytef*>(&plain[0]);
  i.avail_out = static_cast<uInt>(plain.size());
  Require(inflate(&i, Z_FINISH) == Z_STREAM_END, "inflate");
  inflateEnd(&i);
}

double MiBps(double seconds) { return testutil::MiBps(kSize, seconds); }

}  // namespace

int main() {
  testutil::TempDir dir("server_transfer_bench");
  const std::string source = dir.File("source"), target = dir.File("target");
  bool pass = true;
  std::printf("%-8s %12s %12s %8s %12s %12s %8s\n", "data", "copy MiB/s", "plain MiB/s", "ratio", "zlib MiB/s",
              "compr MiB/s", "ratio");
  for (const char* kind : {"random", "text"}) {
    const std::string data = std::string(kind) == "random" ? testutil::RandomBytes(1, kSize) : testutil::TextBytes(kSize);
    testutil::WriteFile(source, data);
    std::vector<double> copy, plain, floor, compressed;
    for (int round = 0; round < kRounds; ++round) {
      copy.push_back(Seconds([&] { PlainCopy(source, target); }));
      plain.push_back(Seconds([&] { Blocks(source, target, false); }));
      Require(testutil::ReadFile(target) == data, "plain blocks changed the data");
      floor.push_back(Seconds([&] { ZlibFloor(data); }));
      compressed.push_back(Seconds([&] { Blocks(source, target, true); }));
      Require(testutil::ReadFile(target) == data, "compressed blocks changed the data");
    }
    double c = MiBps(Median(copy)), p = MiBps(Median(plain)), z = MiBps(Median(floor)), k = MiBps(Median(compressed));
    std::printf("%-8s %12.0f %12.0f %7.0f%% %12.0f %12.0f %7.0f%%\n", kind, c, p, 100 * p / c, z, k, 100 * k / z);
    pass = pass && p >= 0.5 * c && k >= 0.75 * z;
  }
  std::printf("%s: plain blocks >= 50%% of the copy, compressed blocks >= 75%% of zlib\n", pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}
