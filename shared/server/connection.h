// The server's TCP connection: one listening socket, at most one client, a
// status value, the line exchange the protocol rides on, and the transfer
// blocks that carry whole files.
//
// Everything blocks the calling thread.  Every socket failure is logged
// ("SOCKET ERROR - " + reason, level 6) and, on a client operation, closes
// the client; reads and writes never throw.  Waiting for a client has no
// time limit; everything a client does has (ServerLimits): a whole line,
// read or written, and a whole transfer block, sent or received, must be
// done within the timeout from the moment the server starts on it, so a
// slow or silent client holds the thread no longer than that.  A client
// that runs out of time is logged as a timed-out call (10060) and closed
// with a short graceful close.
//
// Lines: a line is the bytes up to and including the terminator, cut at the
// first NUL; bytes after it wait in the connection's buffer for the next
// readLine or transfer block.  Bytes without a terminator count as a line
// once the peer closes or 500 ms pass without more.  A line of more than
// 4095 bytes before its terminator closes the client ("Line too long!").
//
// Transfer blocks are always 31944 bytes on the wire: a flag byte, then
// either 31943 payload bytes (full block) or a 16-bit little-endian length
// and up to 31941 payload bytes (length block).
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "platform/net/socket.h"
#include "shared/server/server_limits.h"

class ct_Connection {
 public:
  enum ec_Status : int32_t {
    ec_Initial = 0,
    ec_ServerDown = 1,
    ec_ServerUp = 2,
    ec_Accepting = 3,
    ec_ClientConnected = 4,
  };

  static constexpr uint16_t kDefaultPort = 8226;
  static constexpr int32_t kBlockSize = 31944;
  static constexpr int32_t kPayloadSize = 31943;      // of a full block
  static constexpr int32_t kLengthPayloadSize = 31941;  // at most, of a length block
  static constexpr int32_t kSendBufferSize = 31946;    // 3 header bytes, then the payload area
  static constexpr int32_t kReadPieceSize = 10 * kPayloadSize;
  static constexpr int32_t kInflateWindowSize = 4 * kBlockSize;

  enum BlockFlags : uint8_t {
    kFullFlag = 0x01,
    kLastFlag = 0x02,
    kCancelFlag = 0x04,
    kCompressedFlag = 0x08,
  };

  // No sockets, port 0, status ec_Initial; the socket layer is started and
  // the limits are read from the environment.
  ct_Connection();
  // Closes the sockets it still holds (without the graceful wait), then
  // cleans up the socket layer.
  ~ct_Connection();
  ct_Connection(const ct_Connection&) = delete;
  ct_Connection& operator=(const ct_Connection&) = delete;

  bool Initialize();
  bool Cleanup();
  // Listens on every interface on `port` (0: 8226), backlog 1.  0 when
  // listening, 1 when it failed (status 1).
  uint16_t startServer(uint16_t port);
  // Closes a client still connected, then waits for the next.  0 when one
  // is connected (status 4), 1 when none could be accepted.
  uint16_t waitForClient();
  // Shuts the client down gracefully (waiting at most 5 s for its close).
  // 0 when that went well; 1 without a client or when it failed.
  uint16_t closeClient() { return closeClientWithin(kCloseWaitMilliseconds); }
  // Closes client and listener (status 1); 0 when the clean-up succeeded.
  uint16_t haltServer();
  // Status checks that log the state when they answer false.
  bool IsServerOk();
  bool IsConnected();
  int32_t GetCurrentStatus() const { return m_status; }
  uint16_t GetPort() const { return m_port; }

  // The next line, its terminator removed when `strip`; the empty line
  // when none could be read (see the header comment).  Each read is logged
  // ("READ:\t" + the line, level 4); a `secret` one (a password) as
  // "READ:\t" + kMaskedText, whatever it holds.
  std::string readLine(bool strip, char terminator, bool secret = false);
  static constexpr const char* kMaskedText = "(masked)";
  // Sends the line, with the terminator appended when `add` and it does not
  // end in one already; the empty line sends nothing and answers true.
  bool writeLine(const std::string& line, bool add, char terminator);
  // Logs "SOCKET ERROR - " + reason under `location` (its own when empty).
  void socketError(const std::string& location, const std::string& reason);

  // Sends one block of the first `count` bytes of the payload area of
  // `buffer` (kSendBufferSize bytes; the payload starts at position 3).
  // A count of 31942 sends 31941 bytes and moves the last one to the start
  // of the payload area: the answer is then 1 (the carried count), unless
  // `last` or `flush` sent it at once.  -1 when sending failed.
  int32_t SendFileTransferBlock(uint8_t* buffer, int32_t count, bool last, bool compressed, bool flush);
  // Fills `block` (kBlockSize bytes) with the next block; false when the
  // peer closed (client left open) or receiving failed (client closed).
  bool ReceiveFileTransferBlock(uint8_t* block);
  // Sends the file as plain blocks, ending with a block with the last flag.
  bool SendFileData(const std::string& path);
  // Sends the file as one zlib stream at `level` in blocks, then an empty
  // block with the last flag.
  bool SendFileDataCompressed(const std::string& path, int32_t level);
  // Receives blocks up to the one with the last flag into a new file beside
  // `path`, inflating from the first block with the compressed flag on, and
  // puts the file at `path` once it is whole; on any failure it is removed
  // and `path` stays as it was (also when it grows past the limit).
  // `compressed` tells whether it inflated (untouched when the file could
  // not be made).
  bool ReceiveFileData(const std::string& path, bool& compressed);

  // Takes over a listening socket and a connected client (either may be
  // invalid): status 4 with a client, else 2 with a listener.
  void Adopt(net::Socket listener, net::Socket client);
  // The time limit of each line and block, and of each call on client
  // sockets, in seconds, now and later.
  void SetTimeout(long seconds);
  long GetTimeout() const { return m_limits.timeoutSeconds; }
  void SetMaxFileSize(uint64_t bytes) { m_limits.maxFileBytes = bytes; }
  uint64_t GetMaxFileSize() const { return m_limits.maxFileBytes; }

 private:
  static constexpr size_t kReceiveBufferSize = 65536;
  static constexpr size_t kMaxLineLength = 4095;
  static constexpr int kLineWaitMilliseconds = 500;
  static constexpr int kCloseWaitMilliseconds = 5000;
  static constexpr int kDropWaitMilliseconds = 1000;  // for a client out of time

  uint16_t closeClientWithin(int waitMilliseconds);
  // The deadline of a line or block that starts now.
  net::Deadline ExchangeDeadline() const;
  // Starts serving `client`: its timeouts, an empty receive buffer.
  void TakeClient(net::Socket client);
  // Moves up to `size` buffered bytes to `out`; answers how many.
  size_t TakeBuffered(void* out, size_t size);
  // Logs a failed socket call: reason with the last socket error's text.
  void callFailed(const std::string& location, const char* reason);
  // callFailed, then closes the client (briefly when it ran out of time).
  void clientCallFailed(const std::string& location, const char* reason);
  // The file-level failures of the transfers: logged at level 7, which the
  // server log keeps at its default minimum, then the client closed.
  void transferFailed(const std::string& location, const char* message);

  net::Socket m_server;
  net::Socket m_client;
  uint16_t m_port = 0;
  int32_t m_status = ec_Initial;
  ServerLimits m_limits;
  std::unique_ptr<char[]> m_received;  // bytes read but not yet handed out
  size_t m_receivedBegin = 0;
  size_t m_receivedEnd = 0;
};

// Shuts the sending direction down, reads what the peer still sends until it
// closes, at most `waitMilliseconds` (less once a stop is requested), and
// closes the socket; bytes that came are reported on standard output in one
// line with their total.  False when the shut-down or the close failed.
bool GracefulClose(net::Socket& socket, int waitMilliseconds = 5000);
