#include "shared/server/connection.h"

#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/net/error_codes.h"
#include "shared/server/winsock_errors.h"
#include "support/program_log.h"

namespace {

void WriteStdout(const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = ::write(STDOUT_FILENO, text.data() + done, text.size() - done);
    if (n <= 0) return;
    done += static_cast<size_t>(n);
  }
}

}  // namespace

bool GracefulClose(net::Socket& socket, int waitMilliseconds) {
  if (net::ShutdownSend(socket) != 0) {
    int code = net::LastError();  // the shut-down's, for the caller's report
    socket.Close();
    net::SetLastError(code);
    return false;
  }
  using Clock = std::chrono::steady_clock;
  const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(waitMilliseconds);
  char buffer[1024];
  // One line for the whole close, however many reads the peer's bytes take:
  // a peer that keeps sending must not make the output grow with it.
  uint64_t unexpected = 0;
  for (;;) {
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    bool ready = false;
    if (left <= 0 || net::WaitReadable(socket, static_cast<int>(left), ready) != 0 || !ready) break;
    size_t got = 0;
    if (net::Receive(socket, buffer, sizeof buffer, got) != 0 || got == 0) break;
    unexpected += got;
  }
  if (unexpected > 0)
    WriteStdout("\nFYI, received " + std::to_string(unexpected) + " unexpected bytes during shutdown.\n");
  return socket.Close() == 0;
}

ct_Connection::ct_Connection()
    : m_limits(ServerLimits::FromEnvironment()), m_received(new char[kReceiveBufferSize]) {
  Initialize();
}

ct_Connection::~ct_Connection() {
  m_client.Close();
  m_server.Close();
  Cleanup();
}

void ct_Connection::socketError(const std::string& location, const std::string& reason) {
  LogMessage(location.empty() ? BRENIX_LOCATION("ct_Connection::socketError") : location,
             "SOCKET ERROR - " + (reason.empty() ? std::string("UNKNOWN REASON") : reason), 6);
}

void ct_Connection::callFailed(const std::string& location, const char* reason) {
  socketError(location, SocketErrorText(reason, ""));
}

bool ct_Connection::Initialize() {
  int result = net::Startup();
  if (result == 0) return true;
  socketError(BRENIX_LOCATION("ct_Connection::Initialize"),
              SocketErrorText("WSAStartup()", "WSAStartup() returned error code: " + std::to_string(result) + "\n"));
  return false;
}

bool ct_Connection::Cleanup() {
  const std::string where = BRENIX_LOCATION("ct_Connection::Cleanup");
  LogMessage(where, "Cleaning up...", 4);
  if (net::Cleanup() == 0) return true;
  callFailed(where, "WSACleanup()");
  return false;
}

bool ct_Connection::IsServerOk() {
  if (m_status >= ec_ServerUp && m_server.valid()) return true;
  LogMessage(BRENIX_LOCATION("ct_Connection::IsServerOk"),
             std::string("STATUS: ") + (m_status < ec_ServerUp ? "DOWN!" : "up") + "\t(SERVER: " +
                 (m_server.valid() ? "ok" : "NOT ok!") + ")",
             4);
  return false;
}

bool ct_Connection::IsConnected() {
  if (m_status >= ec_ClientConnected && m_server.valid() && m_client.valid()) return true;
  LogMessage(BRENIX_LOCATION("ct_Connection::IsConnected"),
             std::string("STATUS: ") + (m_status < ec_ClientConnected ? "NOT connected!" : "connected") +
                 "\t(CLIENT: " + (m_client.valid() ? "connected" : "NOT connected!") +
                 "\tSERVER: " + (m_server.valid() ? "ok" : "NOT ok!") + ")",
             4);
  return false;
}

uint16_t ct_Connection::startServer(uint16_t port) {
  const std::string where = BRENIX_LOCATION("ct_Connection::startServer");
  LogMessage(where, "Starting server...", 5);
  Cleanup();
  Initialize();
  net::Socket listener;
  if (net::OpenStream(listener) != 0) {
    callFailed(where, "Failed socket()");
    m_status = ec_ServerDown;
    return 1;
  }
  m_server = std::move(listener);
  m_port = port > 0 ? port : kDefaultPort;
  if (net::BindAny(m_server, m_port) != 0) {
    callFailed(where, "Failed bind()");
    haltServer();
    return 1;
  }
  if (net::Listen(m_server, 1) != 0) {
    callFailed(where, "Failed listen()");
    haltServer();
    return 1;
  }
  m_status = ec_ServerUp;
  return 0;
}

uint16_t ct_Connection::waitForClient() {
  const std::string where = BRENIX_LOCATION("ct_Connection::waitForClient");
  if (m_status < ec_ServerUp) {
    socketError(where, "Server not started yet!");
    return 1;
  }
  if (IsConnected())
    LogMessage(where, "Warning: already connected!", 5);
  else
    LogMessage(where, "Not already connected -> OK", 4);
  // A client left over would otherwise be dropped without a word.
  if (m_client.valid()) closeClient();
  m_status = ec_Accepting;
  LogMessage(where, "Waiting for a connection...", 5);
  net::Socket client;
  std::string address;
  uint16_t port = 0;
  if (net::Accept(m_server, client, &address, &port) != 0) {
    callFailed(where, "Accept connection");
    closeClient();
    return 1;
  }
  TakeClient(std::move(client));
  LogMessage(where, "Accepted connection from " + address + ":" + std::to_string(port), 7);
  m_status = ec_ClientConnected;
  return 0;
}

void ct_Connection::clientCallFailed(const std::string& location, const char* reason) {
  const bool outOfTime = net::LastError() == net::kErrTimedOut;
  callFailed(location, reason);
  closeClientWithin(outOfTime ? kDropWaitMilliseconds : kCloseWaitMilliseconds);
}

net::Deadline ct_Connection::ExchangeDeadline() const {
  if (m_limits.timeoutSeconds <= 0) return net::Deadline();
  return net::Deadline::In(std::chrono::seconds(m_limits.timeoutSeconds));
}

uint16_t ct_Connection::closeClientWithin(int waitMilliseconds) {
  const std::string where = BRENIX_LOCATION("ct_Connection::closeClient");
  if (!IsConnected()) LogMessage(where, "Warning: not connected!", 5);
  if (!m_client.valid()) return 1;
  LogMessage(where, "Shutting connection down...", 5);
  bool graceful = GracefulClose(m_client, waitMilliseconds);
  if (graceful)
    LogMessage(where, "Connection is down", 5);
  else
    callFailed(where, "Shutdown connection");
  m_client.Close();
  m_receivedBegin = m_receivedEnd = 0;
  m_status = ec_ServerUp;
  return graceful ? 0 : 1;
}

uint16_t ct_Connection::haltServer() {
  const std::string where = BRENIX_LOCATION("ct_Connection::haltServer");
  if (!IsConnected()) LogMessage(where, "Warning: not connected!", 5);
  closeClient();
  if (!IsServerOk()) LogMessage(where, "Warning: server not ok!", 5);
  m_server.Close();
  m_status = ec_ServerDown;
  return Cleanup() ? 0 : 1;
}

void ct_Connection::Adopt(net::Socket listener, net::Socket client) {
  m_server = std::move(listener);
  m_port = 0;
  if (m_server.valid()) net::LocalPort(m_server, m_port);
  m_status = m_server.valid() ? ec_ServerUp : ec_Initial;
  if (client.valid()) {
    TakeClient(std::move(client));
    m_status = ec_ClientConnected;
  }
}

void ct_Connection::SetTimeout(long seconds) {
  m_limits.timeoutSeconds = seconds;
  if (m_client.valid()) net::SetTimeouts(m_client, seconds);
}

void ct_Connection::TakeClient(net::Socket client) {
  m_client = std::move(client);
  m_receivedBegin = m_receivedEnd = 0;
  net::SetTimeouts(m_client, m_limits.timeoutSeconds);
}

size_t ct_Connection::TakeBuffered(void* out, size_t size) {
  size_t n = std::min(size, m_receivedEnd - m_receivedBegin);
  std::memcpy(out, m_received.get() + m_receivedBegin, n);
  m_receivedBegin += n;
  if (m_receivedBegin == m_receivedEnd) m_receivedBegin = m_receivedEnd = 0;
  return n;
}

std::string ct_Connection::readLine(bool strip, char terminator, bool secret) {
  const std::string where = BRENIX_LOCATION("ct_Connection::readLine");
  const auto logRead = [&where, secret](const std::string& line) {
    LogMessage(where, "READ:\t" + (secret ? std::string(kMaskedText) : line), 4);
  };
  if (m_status < ec_ClientConnected) {
    socketError(where, "Not connected to client!");
    return std::string();
  }
  const net::Deadline by = ExchangeDeadline();
  size_t lineLength = 0;  // bytes of the buffer that make the line
  for (;;) {
    const char* begin = m_received.get() + m_receivedBegin;
    size_t buffered = m_receivedEnd - m_receivedBegin;
    const void* end = std::memchr(begin, terminator, buffered);
    size_t before = end ? static_cast<size_t>(static_cast<const char*>(end) - begin) : buffered;
    if (before > kMaxLineLength) {
      socketError(where, "Line too long!");
      closeClient();
      return std::string();
    }
    if (end) {
      lineLength = before + 1;
      break;
    }
    if (buffered > 0) {
      // Bytes without a terminator: a line of their own unless more follow.
      bool more = false;
      if (net::WaitReadable(m_client, kLineWaitMilliseconds, more) != 0) {
        clientCallFailed(where, "Failed recv()");
        return std::string();
      }
      if (!more) {
        lineLength = buffered;
        break;
      }
    }
    // Room for a whole line behind what is buffered.
    std::memmove(m_received.get(), begin, buffered);
    m_receivedBegin = 0;
    m_receivedEnd = buffered;
    size_t got = 0;
    if (net::Receive(m_client, m_received.get() + m_receivedEnd, kReceiveBufferSize - m_receivedEnd, got, by) != 0) {
      clientCallFailed(where, "Failed recv()");
      return std::string();
    }
    if (got == 0) {
      if (buffered > 0) {  // the peer's last line, sent without a terminator
        lineLength = buffered;
        break;
      }
      closeClient();
      logRead(std::string());
      return std::string();
    }
    m_receivedEnd += got;
  }
  const char* begin = m_received.get() + m_receivedBegin;
  std::string line(begin, strnlen(begin, lineLength));
  m_receivedBegin += lineLength;
  if (m_receivedBegin == m_receivedEnd) m_receivedBegin = m_receivedEnd = 0;
  if (strip && !line.empty() && line.back() == terminator) line.pop_back();
  logRead(line);
  return line;
}

bool ct_Connection::writeLine(const std::string& line, bool add, char terminator) {
  const std::string where = BRENIX_LOCATION("ct_Connection::writeLine");
  if (m_status < ec_ClientConnected) {
    socketError(where, "Not connected to client!");
    return false;
  }
  std::string copy = line;
  if (add && !copy.empty() && copy.back() != terminator) copy += terminator;
  if (net::SendAll(m_client, copy.data(), copy.size(), ExchangeDeadline()) != 0) {
    clientCallFailed(where, "Failed send()");
    return false;
  }
  LogMessage(where, "WRITE:\t" + copy, 4);
  return true;
}
