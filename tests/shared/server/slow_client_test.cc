// The whole server with a 3 s timeout against clients that are slow on
// purpose: one that sends its upload a byte at a time, one that reads its
// download a byte at a time, five that connect and say nothing.  Each is
// dropped in about the timeout and the client behind it is served; an
// honest client on a slow but steady link still moves 100 MB each way.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <algorithm>
#include <future>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include "shared/server/conversion_runner.h"
#include "shared/server/server_job_util.h"
#include "shared/server/server_loops.h"
#include "shared/server/tree_util.h"
#include "tests/common/child_process.h"
#include "tests/common/loopback.h"

namespace {

// What every client program below starts with: connecting while the server
// comes up, a client behind the current one that sends the password at once
// and notes when it is answered, and the halt at the end.
const char kPrelude[] = R"PY(
import select, socket, sys, threading, time
def connect(rcvbuf=None):
    deadline = time.time() + 10
    while True:
        try:
            return Client(port, timeout=120, rcvbuf=rcvbuf)
        except OSError:
            if time.time() > deadline:
                raise
            time.sleep(0.02)
class Behind(threading.Thread):
    def __init__(self):
        super().__init__()
        self.result = None
        self.start()
    def run(self):
        started = time.time()
        c = connect()
        c.send_line(PASSWORD)
        line = c.read_line()
        self.result = '%s %.1f' % (line.replace(' ', '_'), time.time() - started)
        c.send_line('quit')
        c.close()
    def answer(self):
        self.join()
        return self.result
def halt():
    c = connect()
    login(c)
    print('halt', ask(c, 'haltServer').replace(' ', '_'))
)PY";

const char kSlowClients[] = R"PY(
# An upload sent one byte every 2 s.
u = connect()
assert login(u) == 'password ok' and ask(u, 'exportpdf') == 'export pdf'
u.send_line(SOCKET_TRANSFER)
u.expect('file_sock_transfer ok')
for line, answer in (('file_transfer_start', 'file_transfer_start ok'), ('doc.qxp', 'filename ok'), ('9', 'size ok')):
    u.send_line(line)
    u.expect(answer)
started = time.time()
behind = Behind()
dropped = 'never'
for i in range(8):
    try:
        u.sock.send(b'\0')
        if select.select([u.sock], [], [], 2.0)[0] and not u.sock.recv(100):
            dropped = '%.1f' % (time.time() - started)
            break
    except OSError:
        dropped = '%.1f' % (time.time() - started)
        break
print('upload_dropped', dropped)
print('upload_behind', behind.answer())
u.close()

# A download read one byte every 2 s through a small receive buffer.
d = connect(rcvbuf=4096)
assert login(d) == 'password ok' and ask(d, 'exportpdf') == 'export pdf'
d.send_line(SOCKET_TRANSFER)
d.expect('file_sock_transfer ok')
upload(d, 'doc.qxp', b'source')
assert ask(d, 'r') == 'target name ok' and ask(d, 'wait_for_file') == 'file_transfer_start'
d.send_line('file_transfer_start ok')
d.read_line()
d.send_line('filename ok')
d.read_line()
d.send_line('size ok')
behind = Behind()
for i in range(8):
    behind.join(2.0)
    if not behind.is_alive():
        break
    d.sock.recv(1)
print('download_behind', behind.answer())
d.close()

# Five connections that say nothing, ahead of a real client.
silent = []
def hold():
    silent.append(socket.create_connection(('127.0.0.1', port), timeout=120))
holders = []
for i in range(5):
    holders.append(threading.Thread(target=hold))
    holders[-1].start()
    time.sleep(0.05)
time.sleep(0.5)
print('silent_behind', Behind().answer())
for h in holders:
    h.join()
for s in silent:
    s.close()
halt()
)PY";

// argv: megabytes, megabytes per second.  The source goes up and its copy
// comes down at that rate.
const char kSteadyClient[] = R"PY(
import hashlib
size, rate = int(sys.argv[1]) << 20, float(sys.argv[2]) * (1 << 20)
data = os.urandom(size)
class Paced(Client):
    def __init__(self, *args, **kwargs):
        super().__init__(*args, **kwargs)
        self.began, self.moved = time.time(), 0
    def pace(self, n):
        self.moved += n
        ahead = self.moved / rate - (time.time() - self.began)
        if ahead > 0:
            time.sleep(ahead)
    def _fill(self):
        chunk = self.sock.recv(65536)
        if not chunk:
            return False
        self.pending += chunk
        self.pace(len(chunk))
        return True
c = Paced(port, timeout=120)
assert login(c) == 'password ok' and ask(c, 'exportpdf') == 'export pdf'
c.send_line(SOCKET_TRANSFER)
c.expect('file_sock_transfer ok')
for line, answer in (('file_transfer_start', 'file_transfer_start ok'), ('big.qxp', 'filename ok'),
                     (str(size), 'size ok')):
    c.send_line(line)
    c.expect(answer)
c.began, c.moved = time.time(), 0
for b in plain_blocks(data):
    c.send_raw(b)
    c.pace(len(b))
for line, answer in (None, 'file ok'), ('0', 'hash ok'), ('r', 'target name ok'), ('wait_for_file', 'file_transfer_start'):
    if line is not None:
        c.send_line(line)
    c.expect(answer)
c.began, c.moved = time.time(), 0
got = receive_announced(c)
print('copy', got['name'], hashlib.sha256(got['data']).hexdigest() == hashlib.sha256(data).hexdigest())
print('end', ask(c, 'wait_for_file'), ask(c, 'no_more_files ok').replace(' ', '_'))
c.close()
halt()
)PY";

// The whole server on a free loopback port with a 3 s timeout, its
// conversions done by `convert`, against the client program `body`; the
// client's output as words by the first word of each line.
std::map<std::string, std::vector<std::string>> Serve(const std::string& body, const std::vector<std::string>& args,
                                                      ConversionRunner convert) {
  testutil::TempDir dir("slow_clients");
  mkdir(dir.File("jobs").c_str(), 0777);
  LoadServerSettings(dir.path(), "clearTempFiles = True\n", "TemporaryPath = " + dir.File("jobs") + "\n");
  setenv("BRENIX_SERVER_TIMEOUT", "3", 1);
  GetServerFlags() = ServerFlags();
  ConversionRunner previous = SetConversionRunner(convert);
  uint16_t port = 0;
  {
    net::Socket probe = testutil::LoopbackListener();
    port = testutil::PortOf(probe);
  }
  alarm(170);
  std::future<bool> server = std::async(std::launch::async, [port] { return DoStartServer(port); });
  std::vector<std::string> argv = {BRENIX_PYTHON, "-c",
                                   "import os, sys, json\nsys.path.insert(0, '" BRENIX_TEST_DATA "/../common')\n"
                                   "from conversion_client import *\nport = " + std::to_string(port) + "\n" + kPrelude +
                                       body};
  argv.insert(argv.end(), args.begin(), args.end());
  testutil::ChildProcess client(argv);
  EXPECT_EQ(client.Wait(150), 0) << client.Output();
  EXPECT_EQ(server.wait_for(std::chrono::seconds(10)), std::future_status::ready);
  if (server.valid()) {
    EXPECT_TRUE(server.get());
  }
  alarm(0);
  SetConversionRunner(previous);
  unsetenv("BRENIX_SERVER_TIMEOUT");
  std::map<std::string, std::vector<std::string>> lines;
  std::istringstream in(client.Output());
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string key, word;
    words >> key;
    while (words >> word) lines[key].push_back(word);
  }
  return lines;
}

// Word i as a number of seconds; "never" and missing words are for ever.
double Seconds(const std::vector<std::string>& words, size_t i) {
  if (words.size() <= i || words[i].find_first_not_of("0123456789.") != std::string::npos) return 1e9;
  return std::stod(words[i]);
}

TEST(SlowClients, AreDroppedAfterTheTimeoutAndTheNextClientIsServed) {
  LogCatcher log;
  auto lines = Serve(kSlowClients, {},
                     [](const std::string&, const std::string& target, FileKind, FileKind) {
                       // More than the socket buffers of both ends hold.
                       testutil::WriteFile(target, std::string(16 << 20, 'r'));
                       return true;
                     });
  // The trickled upload goes about 3 s after its block began (and a short
  // close); the well-behaved clients behind are answered soon after.
  EXPECT_GE(Seconds(lines["upload_dropped"], 0), 2.5);
  EXPECT_LE(Seconds(lines["upload_dropped"], 0), 5.5);
  for (const char* behind : {"upload_behind", "download_behind", "silent_behind"}) {
    SCOPED_TRACE(behind);
    ASSERT_EQ(lines[behind].size(), 2u);
    EXPECT_EQ(lines[behind][0], "password_ok");
    std::cout << behind << ": answered after " << lines[behind][1] << " s\n";
  }
  EXPECT_LT(Seconds(lines["upload_behind"], 1), 10);
  EXPECT_LT(Seconds(lines["download_behind"], 1), 10);
  std::cout << "upload dropped after " << Seconds(lines["upload_dropped"], 0) << " s\n";
  // Five silent clients of about 4 s each (timeout and close).
  EXPECT_LT(Seconds(lines["silent_behind"], 1), 5 * 4 + 6);
  EXPECT_EQ(lines["halt"], std::vector<std::string>{"halt_server"});

  // Each was dropped as a call that timed out.
  const std::string timedOut = ": Connection timed out (10060)";
  EXPECT_EQ(log.Messages("ct_Connection::ReceiveFileTransferBlock"),
            std::vector<std::string>{"SOCKET ERROR - Failed recv()" + timedOut});
  EXPECT_EQ(log.Messages("ct_Connection::SendFileTransferBlock"),
            std::vector<std::string>{"SOCKET ERROR - Failed send()" + timedOut});
  std::vector<std::string> reads = log.Messages("ct_Connection::readLine");
  EXPECT_EQ(std::count(reads.begin(), reads.end(), "SOCKET ERROR - Failed recv()" + timedOut), 5);
}

TEST(SlowClients, ASteadyClientAt20MegabytesASecondMoves100MegabytesEachWay) {
  LogCatcher log(7);
  auto lines = Serve(kSteadyClient, {"100", "20"},
                     [](const std::string& source, const std::string& target, FileKind, FileKind) {
                       testutil::WriteFile(target, testutil::ReadFile(source));
                       return true;
                     });
  EXPECT_EQ(lines["copy"], (std::vector<std::string>{"r.pdf", "True"}));
  EXPECT_EQ(lines["end"], (std::vector<std::string>{"no_more_files", "export_finished"}));
  EXPECT_EQ(lines["halt"], std::vector<std::string>{"halt_server"});
}

}  // namespace
