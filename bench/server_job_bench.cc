// One socket-mode conversion job over loopback TCP: a 64 MiB source goes
// up, a conversion that copies the file makes a 64 MiB result, and the
// result comes down; the client is the project's own connection code on a
// thread of its own.  The floor is the same work done plainly: a copy file
// -> socket -> file with 64 KiB buffers up, a file copy, the same copy down.
// The target: the job runs at least at 50% of the floor's rate.  Every
// figure is the median of five rounds, the two measurements of a round
// interleaved.
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

#include "shared/server/connection.h"
#include "shared/server/conversion.h"
#include "shared/server/conversion_runner.h"
#include "support/settings.h"
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

void FileCopy(const std::string& from, const std::string& to) {
  std::FILE* in = std::fopen(from.c_str(), "rb");
  std::FILE* out = std::fopen(to.c_str(), "wb");
  Require(in && out, "open for copying");
  std::vector<char> buffer(kCopyBuffer);
  size_t n;
  while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0) std::fwrite(buffer.data(), 1, n, out);
  std::fclose(in);
  std::fclose(out);
}

// A file sent plainly over a fresh loopback pair into another file.
void LoopbackCopy(const std::string& from, const std::string& to) {
  static const net::Socket listener = testutil::LoopbackListener();
  auto ends = testutil::ConnectedPair(listener);
  std::thread sender([&] {
    std::FILE* in = std::fopen(from.c_str(), "rb");
    std::vector<char> buffer(kCopyBuffer);
    size_t n;
    while ((n = std::fread(buffer.data(), 1, buffer.size(), in)) > 0)
      Require(net::SendAll(ends.first, buffer.data(), n) == 0, "send");
    std::fclose(in);
    net::ShutdownSend(ends.first);
  });
  std::FILE* out = std::fopen(to.c_str(), "wb");
  std::vector<char> buffer(kCopyBuffer);
  size_t n = 0;
  while (net::Receive(ends.second, buffer.data(), buffer.size(), n) == 0 && n > 0) std::fwrite(buffer.data(), 1, n, out);
  std::fclose(out);
  sender.join();
}

// The client's side of a socket-mode "exportkxt" job: uploads `from`,
// downloads the one result into `to`.
void Client(ct_Connection& c, const std::string& from, const std::string& to) {
  auto say = [&](const std::string& line) { Require(c.writeLine(line, true, '\n'), "client write"); };
  auto hear = [&](const char* expected) { Require(c.readLine(true, '\n') == expected, expected); };
  say("exportkxt");
  hear("export kxt");
  say("///file_sock_transfer///");
  hear("file_sock_transfer ok");
  say("file_transfer_start");
  hear("file_transfer_start ok");
  say("doc.qxp");
  hear("filename ok");
  say(std::to_string(kSize));
  hear("size ok");
  Require(c.SendFileData(from), "upload");
  hear("file ok");
  say("0");
  hear("hash ok");
  say("doc");
  hear("target name ok");
  say("wait_for_file");
  hear("file_transfer_start");
  say("file_transfer_start ok");
  hear("doc.kxq");
  say("filename ok");
  hear(std::to_string(kSize).c_str());
  say("size ok");
  bool compressed = true;
  Require(c.ReceiveFileData(to, compressed) && !compressed, "download");
  say("file ok");
  hear("0");
  say("hash ok");
  hear("file_transfer_end");
  say("wait_for_file");
  hear("no_more_files");
  say("no_more_files ok");
  hear("export finished");
}

void Job(const std::string& from, const std::string& to) {
  static const net::Socket listener = testutil::LoopbackListener();
  auto ends = testutil::ConnectedPair(listener);
  std::thread client([&] {
    ct_Connection c;
    c.Adopt(net::Socket(), std::move(ends.second));
    Client(c, from, to);
  });
  ct_Connection server;
  server.Adopt(testutil::LoopbackListener(), std::move(ends.first));
  Require(server.readLine(true, '\n') == "exportkxt", "command");
  ct_Conversion job(&server, 3);
  Require(job.Run(), "job");
  client.join();
}

double MiBps(double seconds) { return testutil::MiBps(kSize, seconds); }

}  // namespace

int main() {
  testutil::TempDir dir("server_job_bench");
  const std::string source = dir.File("source"), middle = dir.File("middle"), copied = dir.File("copied"),
                    target = dir.File("target");
  testutil::WriteFile(dir.File("settings.ini"), "[Path]\nTemporaryPath = " + dir.path() + "\n");
  Require(Settings::Instance().Load(dir.File("settings.ini"), false), "settings");
  SetConversionRunner([](const std::string& from, const std::string& to, FileKind, FileKind) {
    FileCopy(from, to);
    return true;
  });
  const std::string data = testutil::RandomBytes(3, kSize);
  testutil::WriteFile(source, data);
  std::vector<double> floor, job;
  for (int round = 0; round < kRounds; ++round) {
    floor.push_back(Seconds([&] {
      LoopbackCopy(source, middle);
      FileCopy(middle, copied);
      LoopbackCopy(copied, target);
    }));
    job.push_back(Seconds([&] { Job(source, target); }));
    Require(testutil::ReadFile(target) == data, "the job changed the data");
  }
  const double f = MiBps(Median(floor)), j = MiBps(Median(job));
  std::printf("%14s %14s %8s\n", "floor MiB/s", "job MiB/s", "ratio");
  std::printf("%14.0f %14.0f %7.0f%%\n", f, j, 100 * j / f);
  const bool pass = j >= 0.5 * f;
  std::printf("%s: the job runs at >= 50%% of the floor's rate\n", pass ? "PASS" : "FAIL");
  return pass ? 0 : 1;
}
