// Whole files between the server end and the independent Python client:
// downloads and uploads, plain and compressed, at the block edges, and
// hostile clients.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "shared/server/file_transfer.h"
#include "shared/server/transport_util.h"
#include "tests/common/files.h"

namespace {

using testutil::ReadFile;
using testutil::WriteFile;

struct Sample {
  std::string name;
  std::string data;
  // The plain blocks as [flags, payload length] pairs; empty: not checked.
  std::string plainBlocks;
};

std::vector<Sample> Samples() {
  std::vector<Sample> s = {
      {"one.bin", RandomBytes(11, 1), "[[0, 1], [2, 0]]"},
      {"b31941.bin", RandomBytes(12, 31941), "[[0, 31941], [2, 0]]"},
      {"b31942.bin", RandomBytes(13, 31942), "[[0, 31941], [2, 1]]"},
      {"b31943.bin", RandomBytes(14, 31943), "[[1, 31943], [2, 0]]"},
      {"b31944.bin", RandomBytes(15, 31944), "[[1, 31943], [0, 1], [2, 0]]"},
      {"b63886.bin", RandomBytes(16, 63886), "[[1, 31943], [1, 31943], [2, 0]]"},
      {"random1.bin", RandomBytes(1, 1150001), ""},
      {"random2.bin", RandomBytes(2, 1300002), ""},  // the payload area is full when deflating ends
      {"random9.bin", RandomBytes(9, 2350009), ""},
      {"text.txt", TextBytes(1700000), ""},
      {"small.txt", TextBytes(5000), "[[0, 5000], [2, 0]]"},
  };
  return s;
}

// The flags of the blocks in `json` (a list of [flags, length] pairs).
std::string FlagText(const std::string& json) {
  std::string out;
  std::regex pair(R"(\[(\d+), (\d+)\])");
  for (std::sregex_iterator it(json.begin(), json.end(), pair), end; it != end; ++it) out += (*it)[1].str() + " ";
  return out;
}

const char kDownloads[] = R"PY(
c = Client(port)
out = sys.argv[1]
for i in range(int(sys.argv[2])):
    try:
        got = download(c)
    except ProtocolError as e:
        print(json.dumps({'error': str(e)}))
        continue
    open(os.path.join(out, got['name']), 'wb').write(got['data'])
    print(json.dumps({'name': got['name'], 'size': got['size'], 'hash': got['hash'],
                      'blocks': json.dumps(got['blocks'])}))
c.close()
)PY";

class Downloads : public TransportTest, public testing::WithParamInterface<bool> {};

TEST_P(Downloads, ArriveWholeWithTheirBlocks) {
  const bool compress = GetParam();
  ASSERT_TRUE(EndsWithFullArea(RandomBytes(2, 1300002)));  // so the sample reaches that case
  std::vector<Sample> samples = Samples();
  testutil::TempDir received("received");
  WriteFile(dir_.File("empty.bin"), "");
  for (const Sample& s : samples) WriteFile(dir_.File(s.name), s.data);

  StartClient(kDownloads, {received.path(), std::to_string(samples.size() + 1)});
  EXPECT_FALSE(FileTransfer::Send(conn_, dir_.File("empty.bin"), compress));
  for (const Sample& s : samples) EXPECT_TRUE(FileTransfer::Send(conn_, dir_.File(s.name), compress)) << s.name;
  std::string output = FinishClient();

  std::vector<std::string> lines;
  for (size_t at = 0, end; (end = output.find('\n', at)) != std::string::npos; at = end + 1)
    lines.push_back(output.substr(at, end - at));
  ASSERT_EQ(lines.size(), samples.size() + 1) << output;
  EXPECT_EQ(lines[0], "{\"error\": \"size line 'File transfer error: non-existing or empty file: " +
                          dir_.File("empty.bin") + "'\"}");
  for (size_t i = 0; i < samples.size(); ++i) {
    const Sample& s = samples[i];
    SCOPED_TRACE(s.name);
    EXPECT_NE(lines[i + 1].find("\"name\": \"" + s.name + "\", \"size\": \"" + std::to_string(s.data.size()) +
                                "\", \"hash\": \"0\""),
              std::string::npos)
        << lines[i + 1];
    EXPECT_TRUE(ReadFile(received.File(s.name)) == s.data);
    std::string blocks = lines[i + 1].substr(lines[i + 1].find("\"blocks\""));
    if (!compress && !s.plainBlocks.empty()) {
      EXPECT_NE(blocks.find(s.plainBlocks), std::string::npos) << blocks;
    }
    if (compress) {
      // Full blocks, then at most a length block split in two, then the
      // empty last block.
      EXPECT_TRUE(std::regex_match(FlagText(blocks), std::regex("(9 )*(8 ){0,2}2 "))) << blocks;
      EXPECT_NE(blocks.find("[2, 0]]"), std::string::npos) << blocks;
    }
  }
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ClientConnected);
}

INSTANTIATE_TEST_SUITE_P(PlainAndCompressed, Downloads, testing::Bool());

const char kUploads[] = R"PY(
c = Client(port)
src = sys.argv[1]
for name in sys.argv[3:]:
    data = open(os.path.join(src, name), 'rb').read()
    upload(c, name, data, compress=sys.argv[2] == '1')
print('uploaded')
c.close()
)PY";

class Uploads : public TransportTest, public testing::WithParamInterface<bool> {};

TEST_P(Uploads, ArriveWhole) {
  const bool compress = GetParam();
  std::vector<Sample> samples = Samples();
  samples.push_back({"empty.bin", "", ""});
  testutil::TempDir sources("sources");
  std::vector<std::string> args = {sources.path(), compress ? "1" : "0"};
  for (const Sample& s : samples) {
    WriteFile(sources.File(s.name), s.data);
    args.push_back(s.name);
  }
  StartClient(kUploads, args);
  for (const Sample& s : samples) {
    bool compressed = !compress;
    std::vector<std::string> named;
    EXPECT_EQ(FileTransfer::Receive(conn_, dir_.path(), compressed, [&](const std::string& n) { named.push_back(n); }),
              dir_.File(s.name));
    EXPECT_EQ(compressed, compress);
    EXPECT_EQ(named, std::vector<std::string>{s.name});
    EXPECT_TRUE(ReadFile(dir_.File(s.name)) == s.data) << s.name;
  }
  EXPECT_EQ(FinishClient(), "uploaded\n");
}

INSTANTIATE_TEST_SUITE_P(PlainAndCompressed, Uploads, testing::Bool());

// An upload takes its target's place when whole: a link there is replaced,
// never followed, and the longest names still fit.
TEST_F(TransportTest, UploadsReplaceLinksAtTheTargetAndTakeLongNames) {
  const std::string in = dir_.File("in");
  ASSERT_EQ(mkdir(in.c_str(), 0777), 0);
  WriteFile(dir_.File("outside"), "keep me");
  ASSERT_EQ(symlink(dir_.File("outside").c_str(), (in + "/linked.bin").c_str()), 0);
  ASSERT_EQ(symlink(dir_.File("nowhere").c_str(), (in + "/dangling.bin").c_str()), 0);
  testutil::TempDir sources("sources");
  const std::vector<std::string> names = {"linked.bin", "dangling.bin", std::string(250, 'n')};
  std::vector<std::string> args = {sources.path(), "0"};
  for (const std::string& name : names) {
    WriteFile(sources.File(name), "data of " + name.substr(0, 12));
    args.push_back(name);
  }
  StartClient(kUploads, args);
  for (const std::string& name : names) {
    bool compressed = true;
    EXPECT_EQ(FileTransfer::Receive(conn_, in, compressed), in + "/" + name);
    EXPECT_TRUE(testutil::IsRegularFile(in + "/" + name)) << name;
    EXPECT_EQ(ReadFile(in + "/" + name), "data of " + name.substr(0, 12));
  }
  EXPECT_EQ(FinishClient(), "uploaded\n");
  EXPECT_EQ(ReadFile(dir_.File("outside")), "keep me");
  EXPECT_FALSE(testutil::Exists(dir_.File("nowhere")));
  EXPECT_EQ(testutil::Entries(in), std::set<std::string>(names.begin(), names.end()));
}

// A hostile first client, then a second one with a plain upload, which the
// server must still serve.
struct Hostile {
  const char* what;
  const char* client;       // Python, on the connection c
  std::string logged;       // the expected last error under `operation`
  const char* operation;
  bool received;            // whether the first upload arrives after all
};

const char kSecondClient[] = R"PY(
c2.send_line('file_transfer_start'); c2.expect('file_transfer_start ok')
upload2 = b'second client' * 100
c2.send_line('next.bin'); c2.expect('filename ok'); c2.send_line(str(len(upload2))); c2.expect('size ok')
c2.send_raw(b''.join(plain_blocks(upload2))); c2.expect('file ok'); c2.send_line('0'); c2.expect('hash ok')
print('second served')
)PY";

void PrintTo(const Hostile& h, std::ostream* os) { *os << h.what; }

std::vector<Hostile> HostileCases() {
  const std::string receiveData = "ct_Connection::ReceiveFileData";
  return {
      {"cancel flag", R"PY(
start(c, 'a.bin'); c.send_raw(block(CANCEL | LAST, b'abc'))
assert c.closed_by_server(); c.close()
)PY",
       "Failed receive: file transfer canceled by user!", "ct_Connection::ReceiveFileData", false},
      {"length 31942", R"PY(
start(c, 'a.bin'); c.send_raw(block(0, b'', length=31942))
assert c.closed_by_server(); c.close()
)PY",
       "Failed receive: file transfer error! (Header: bytes to write invalid!)", "ct_Connection::ReceiveFileData",
       false},
      {"truncated zlib stream", R"PY(
start(c, 'a.bin'); c.send_raw(b''.join(compressed_blocks(None, stream=zlib.compress(os.urandom(3000), 1)[:-9])))
assert c.closed_by_server(); c.close()
)PY",
       "Failed receive: DeCompression error!", "ct_Connection::ReceiveFileData", false},
      {"upload over the cap", R"PY(
start(c, 'a.bin'); c.send_raw(b''.join(compressed_blocks(bytes(5000))))
assert c.closed_by_server(); c.close()
)PY",
       "Failed receive: file too large!", "ct_Connection::ReceiveFileData", false},
      {"path in the name", R"PY(
c.send_line('file_transfer_start'); c.expect('file_transfer_start ok')
c.send_line('../x'); c.expect('target file name missing.')
c.close()
)PY",
       "Target file name refused (holds a path separator): '../x'", "ct_ConversionBase::ReceiveFile", false},
      {"silence past the timeout", R"PY(
assert c.closed_by_server(); c.close()
)PY",
       "SOCKET ERROR - Failed recv(): Connection timed out (10060)", "ct_Connection::readLine", false},
      {"close mid-block", R"PY(
start(c, 'a.bin'); c.send_raw(block(0, b'x' * 100)[:20000]); c.close()
)PY",
       "", "ct_Connection::ReceiveFileData", false},
      {"two lines in one packet", R"PY(
c.send_raw(b'file_transfer_start\na.bin\n'); c.expect('file_transfer_start ok'); c.expect('filename ok')
c.send_line('3'); c.expect('size ok'); c.send_raw(block(LAST, b'abc')); c.expect('file ok')
c.send_line('0'); c.expect('hash ok'); c.close()
)PY",
       "", "ct_ConversionBase::ReceiveFile", true},
      {"line split across packets", R"PY(
c.send_raw(b'file_trans'); time.sleep(0.2); c.send_raw(b'fer_start\n'); c.expect('file_transfer_start ok')
c.send_raw(b'a.b'); time.sleep(0.2); c.send_raw(b'in\n3\n'); c.expect('filename ok'); c.expect('size ok')
c.send_raw(block(LAST, b'abc')); c.expect('file ok'); c.send_line('0'); c.expect('hash ok'); c.close()
)PY",
       "", "ct_ConversionBase::ReceiveFile", true},
      {"5000-byte line", R"PY(
c.send_line('x' * 5000)
assert c.closed_by_server(); c.close()
)PY",
       "SOCKET ERROR - Line too long!", "ct_Connection::readLine", false},
  };
}

class HostileClients : public TransportTest, public testing::WithParamInterface<Hostile> {};

TEST_P(HostileClients, AreRefusedAndTheNextIsServed) {
  const Hostile& h = GetParam();
  conn_.SetTimeout(1);
  conn_.SetMaxFileSize(4000);
  // A failed transfer says why in a server log of the default minimum priority.
  if (std::string(h.operation) == "ct_Connection::ReceiveFileData")
    SetLogPriorityProvider([] { return LogPrioritySetting{7, true}; });
  std::string body = std::string(R"PY(
c = Client(port)
c2 = Client(port)
def start(c, name):
    c.send_line('file_transfer_start'); c.expect('file_transfer_start ok')
    c.send_line(name); c.expect('filename ok'); c.send_line('100'); c.expect('size ok')
)PY") + h.client + kSecondClient;
  StartClient(body);
  // Received files go to a folder of their own, so that anything written
  // beside it shows.
  const std::string in = dir_.File("in");
  ASSERT_EQ(mkdir(in.c_str(), 0777), 0);
  bool compressed = false;
  std::string got = FileTransfer::Receive(conn_, in, compressed);
  EXPECT_EQ(got, h.received ? in + "/a.bin" : "");
  if (h.received) {
    EXPECT_EQ(ReadFile(in + "/a.bin"), "abc");
  }
  if (!h.logged.empty()) {
    std::vector<std::string> messages = log_.Messages(h.operation);
    ASSERT_FALSE(messages.empty());
    EXPECT_NE(std::find(messages.begin(), messages.end(), h.logged), messages.end())
        << testing::PrintToString(messages);
  }
  // A refused upload leaves nothing behind, not even in part.
  EXPECT_EQ(testutil::Entries(in), h.received ? std::set<std::string>{"a.bin"} : std::set<std::string>{});
  EXPECT_EQ(testutil::Entries(dir_.path()), std::set<std::string>{"in"});

  ASSERT_EQ(conn_.waitForClient(), 0);
  EXPECT_EQ(FileTransfer::Receive(conn_, in, compressed), in + "/next.bin");
  std::string second(13 * 100, '\0');
  for (size_t i = 0; i < second.size(); ++i) second[i] = "second client"[i % 13];
  EXPECT_EQ(ReadFile(in + "/next.bin"), second);
  EXPECT_EQ(FinishClient(), "second served\n");
  EXPECT_EQ(signal(SIGPIPE, SIG_DFL), SIG_DFL);  // the server never needed to ignore it
}

INSTANTIATE_TEST_SUITE_P(Cases, HostileClients, testing::ValuesIn(HostileCases()),
                         [](const testing::TestParamInfo<Hostile>& info) {
                           std::string name;
                           for (const char* p = info.param.what; *p; ++p) name += std::isalnum(*p) ? *p : '_';
                           return name;
                         });

// A client that leaves in the middle of a download: the send fails with a
// socket error, the client is closed and the process lives on.
TEST_F(TransportTest, ClientGoneDuringDownload) {
  WriteFile(dir_.File("big.bin"), RandomBytes(3, 12000000));
  StartClient(R"PY(
c = Client(port)
c.send_line('wait_for_file'); c.expect('file_transfer_start'); c.send_line('file_transfer_start ok')
c.read_line(); c.send_line('filename ok'); c.read_line()
c.sock.setsockopt(socket.SOL_SOCKET, socket.SO_RCVBUF, 4096)
c.send_line('size ok'); c.read_exact(10)
c.sock.setsockopt(socket.SOL_SOCKET, socket.SO_LINGER, b'\1\0\0\0\0\0\0\0')
c.close()
print('gone')
)PY");
  EXPECT_FALSE(FileTransfer::Send(conn_, dir_.File("big.bin"), false));
  EXPECT_EQ(FinishClient(), "gone\n");
  std::vector<std::string> errors = log_.Messages("ct_Connection::SendFileTransferBlock");
  ASSERT_FALSE(errors.empty());
  EXPECT_EQ(errors[0], "SOCKET ERROR - Failed send(): Connection reset by peer (10054)");
  EXPECT_EQ(conn_.GetCurrentStatus(), ct_Connection::ec_ServerUp);
}

// Sizes past 32 bits are announced as they are.
TEST_F(TransportTest, SizeLineOfAFileOver4GiB) {
  const std::string path = dir_.File("huge.bin");
  WriteFile(path, "");
  ASSERT_EQ(truncate(path.c_str(), (int64_t{1} << 32) + 5), 0);  // sparse: nothing is written
  StartClient(R"PY(
c = Client(port)
c.send_line('wait_for_file'); c.expect('file_transfer_start'); c.send_line('file_transfer_start ok')
c.expect('huge.bin'); c.send_line('filename ok'); print(c.read_line()); c.send_line('SIZE OK')
print(c.read_line())
c.close()
)PY");
  EXPECT_FALSE(FileTransfer::Send(conn_, path, false));
  EXPECT_EQ(FinishClient(), "4294967301\nFile Transfer Command unknown: SIZE OK\n");
}

}  // namespace
