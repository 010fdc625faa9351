#include "platform/net/socket.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <climits>

#include "platform/net/error_codes.h"

namespace net {

namespace {

struct Armed {
  std::atomic<int> left{0};  // calls to go until the failure; 0 when disarmed
  std::atomic<int> code{0};
};
Armed g_armed[static_cast<int>(Op::Count)];
std::atomic<bool> g_loopbackOnly{false};

// Counts a call of `op`; true when this call is the one to fail, with the
// code recorded as the last error.
bool Injected(Op op, int& code) {
  Armed& a = g_armed[static_cast<int>(op)];
  int left = a.left.load();
  while (left > 0 && !a.left.compare_exchange_weak(left, left - 1)) {
  }
  if (left != 1) return false;
  code = a.code.load();
  SetLastError(code);
  return true;
}

std::atomic<int> g_stop{-1};

// Records and answers the outcome of a system call: 0, or the code of errno.
int Result(bool ok) {
  int code = ok ? kNoError : CodeOfErrno(errno);
  SetLastError(code);
  return code;
}

// Polls `fd` for `events` and the stop descriptor for input, at most
// `milliseconds` (-1: no limit), restarting when a signal interrupts.  The
// poll's count, or -1 with errno (EINTR once a stop is requested).
int PollOrStop(int fd, short events, int milliseconds) {
  pollfd p[2] = {{fd, events, 0}, {g_stop.load(), POLLIN, 0}};
  const nfds_t count = p[1].fd >= 0 ? 2 : 1;
  for (;;) {
    int n = ::poll(p, count, milliseconds);
    if (n < 0 && errno == EINTR) continue;
    if (n > 0 && count == 2 && p[1].revents != 0) {
      errno = EINTR;
      return -1;
    }
    return n;
  }
}

// The socket's own receive or send timeout in milliseconds; -1 for none.
int SocketTimeout(const Socket& s, short events) {
  timeval t{};
  socklen_t length = sizeof t;
  if (::getsockopt(s.descriptor(), SOL_SOCKET, events == POLLIN ? SO_RCVTIMEO : SO_SNDTIMEO, &t, &length) != 0)
    return -1;
  const long long ms = static_cast<long long>(t.tv_sec) * 1000 + t.tv_usec / 1000;
  if (ms <= 0) return -1;
  return ms > INT_MAX ? INT_MAX : static_cast<int>(ms);
}

// Waits until the socket is ready for `events` or the deadline passes; 0
// when ready, else the code of the failure (kErrTimedOut once the time ran
// out, even with bytes ready: the exchange came too late).  A deadline that
// never passes returns at once: the blocking call that follows waits as the
// socket's timeouts allow.
int WaitUntil(const Socket& s, short events, const Deadline& by) {
  const bool watched = g_stop.load() >= 0;
  if (!by.set() && !watched) return kNoError;
  // Without a deadline the wait ends as the blocking call would have.
  const int left = by.set() ? by.MillisecondsLeft() : SocketTimeout(s, events);
  int n = left != 0 ? PollOrStop(s.descriptor(), events, left) : 0;
  if (n > 0) return kNoError;  // an error or hang-up shows in the call that follows
  if (n == 0) errno = ETIMEDOUT;
  return Result(false);
}

sockaddr_in Address(in_addr_t host, uint16_t port) {
  sockaddr_in a{};
  a.sin_family = AF_INET;
  a.sin_addr.s_addr = host;
  a.sin_port = htons(port);
  return a;
}

}  // namespace

int Deadline::MillisecondsLeft() const {
  if (!set_) return -1;
  auto left = std::chrono::duration_cast<std::chrono::milliseconds>(at_ - Clock::now()).count();
  if (left <= 0) return 0;
  return left > INT_MAX ? INT_MAX : static_cast<int>(left);
}

Socket& Socket::operator=(Socket&& other) noexcept {
  if (this != &other) {
    Close();
    fd_ = other.release();
  }
  return *this;
}

int Socket::release() {
  int fd = fd_;
  fd_ = -1;
  return fd;
}

int Socket::Close() {
  if (fd_ < 0) return kNoError;
  int fd = release();
  int code = 0;
  bool injected = Injected(Op::Close, code);
  // A close that is interrupted has still released the descriptor.
  bool ok = ::close(fd) == 0 || errno == EINTR;
  return injected ? code : Result(ok);
}

void SetStopDescriptor(int fd) { g_stop.store(fd); }

int Startup() {
  int code = 0;
  return Injected(Op::Startup, code) ? code : Result(true);
}

int Cleanup() {
  int code = 0;
  return Injected(Op::Cleanup, code) ? code : Result(true);
}

int OpenStream(Socket& out) {
  int code = 0;
  if (Injected(Op::Open, code)) return code;
  int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, IPPROTO_TCP);
  if (fd >= 0) out = Socket(fd);
  return Result(fd >= 0);
}

int BindAny(const Socket& s, uint16_t port) {
  int code = 0;
  if (Injected(Op::Bind, code)) return code;
  int on = 1;
  if (::setsockopt(s.descriptor(), SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0) return Result(false);
  sockaddr_in a = Address(g_loopbackOnly ? htonl(INADDR_LOOPBACK) : htonl(INADDR_ANY), port);
  return Result(::bind(s.descriptor(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0);
}

int Listen(const Socket& s, int backlog) {
  int code = 0;
  if (Injected(Op::Listen, code)) return code;
  return Result(::listen(s.descriptor(), backlog) == 0);
}

int Accept(const Socket& listener, Socket& client, std::string* peerAddress, uint16_t* peerPort) {
  int code = 0;
  if (Injected(Op::Accept, code)) return code;
  sockaddr_in a{};
  socklen_t length = sizeof a;
  if (g_stop.load() >= 0 && PollOrStop(listener.descriptor(), POLLIN, -1) < 0) return Result(false);
  int fd;
  do {
    fd = ::accept4(listener.descriptor(), reinterpret_cast<sockaddr*>(&a), &length, SOCK_CLOEXEC);
  } while (fd < 0 && errno == EINTR);
  if (fd < 0) return Result(false);
  client = Socket(fd);
  if (peerAddress) {
    char text[INET_ADDRSTRLEN] = "";
    ::inet_ntop(AF_INET, &a.sin_addr, text, sizeof text);
    *peerAddress = text;
  }
  if (peerPort) *peerPort = ntohs(a.sin_port);
  return Result(true);
}

int Connect(const Socket& s, const char* address, uint16_t port) {
  int code = 0;
  if (Injected(Op::Connect, code)) return code;
  sockaddr_in a = Address(0, port);
  if (::inet_pton(AF_INET, address, &a.sin_addr) != 1) {
    SetLastError(kErrInvalid);
    return kErrInvalid;
  }
  // An interrupted connect goes on in the background; wait for it there.
  if (::connect(s.descriptor(), reinterpret_cast<sockaddr*>(&a), sizeof a) == 0) return Result(true);
  if (errno != EINTR) return Result(false);
  pollfd p{s.descriptor(), POLLOUT, 0};
  while (::poll(&p, 1, -1) < 0) {
    if (errno != EINTR) return Result(false);
  }
  int error = 0;
  socklen_t length = sizeof error;
  ::getsockopt(s.descriptor(), SOL_SOCKET, SO_ERROR, &error, &length);
  errno = error;
  return Result(error == 0);
}

int LocalPort(const Socket& s, uint16_t& port) {
  sockaddr_in a{};
  socklen_t length = sizeof a;
  bool ok = ::getsockname(s.descriptor(), reinterpret_cast<sockaddr*>(&a), &length) == 0;
  if (ok) port = ntohs(a.sin_port);
  return Result(ok);
}

int SendAll(const Socket& s, const void* data, size_t size, const Deadline& by) {
  int code = 0;
  if (Injected(Op::Send, code)) return code;
  // Against a deadline each send takes only what fits at once, after a wait
  // for room that ends with the deadline.
  const int flags = MSG_NOSIGNAL | (by.set() ? MSG_DONTWAIT : 0);
  const char* p = static_cast<const char*>(data);
  while (size > 0) {
    if (int waited = WaitUntil(s, POLLOUT, by)) return waited;
    ssize_t n = ::send(s.descriptor(), p, size, flags);
    if (n < 0) {
      if (errno == EINTR) continue;
      if (by.set() && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
      // A blocking socket only stops waiting when its send timeout expires.
      if (errno == EAGAIN || errno == EWOULDBLOCK) errno = ETIMEDOUT;
      return Result(false);
    }
    p += n;
    size -= static_cast<size_t>(n);
  }
  return Result(true);
}

int Receive(const Socket& s, void* buffer, size_t size, size_t& got, const Deadline& by) {
  got = 0;
  int code = 0;
  if (Injected(Op::Receive, code)) return code;
  const int flags = by.set() ? MSG_DONTWAIT : 0;
  for (;;) {
    if (int waited = WaitUntil(s, POLLIN, by)) return waited;
    ssize_t n = ::recv(s.descriptor(), buffer, size, flags);
    if (n >= 0) {
      got = static_cast<size_t>(n);
      return Result(true);
    }
    if (errno == EINTR) continue;
    if (by.set() && (errno == EAGAIN || errno == EWOULDBLOCK)) continue;
    if (errno == EAGAIN || errno == EWOULDBLOCK) errno = ETIMEDOUT;
    return Result(false);
  }
}

int WaitReadable(const Socket& s, int milliseconds, bool& ready) {
  ready = false;
  int code = 0;
  if (Injected(Op::Wait, code)) return code;
  int n = PollOrStop(s.descriptor(), POLLIN, milliseconds);
  if (n < 0) return Result(false);
  // An error or hang-up also means the next receive answers at once.
  ready = n > 0;
  return Result(true);
}

int SetTimeouts(const Socket& s, long seconds) {
  timeval t{};
  t.tv_sec = seconds;
  bool ok = ::setsockopt(s.descriptor(), SOL_SOCKET, SO_RCVTIMEO, &t, sizeof t) == 0 &&
            ::setsockopt(s.descriptor(), SOL_SOCKET, SO_SNDTIMEO, &t, sizeof t) == 0;
  return Result(ok);
}

int ShutdownSend(const Socket& s) {
  int code = 0;
  if (Injected(Op::Shutdown, code)) return code;
  return Result(::shutdown(s.descriptor(), SHUT_WR) == 0);
}

namespace testing {

void FailNth(Op op, int nth, int code) {
  Armed& a = g_armed[static_cast<int>(op)];
  a.code = code;
  a.left = nth;
}

void ClearFailures() {
  for (Armed& a : g_armed) a.left = 0;
}

void ListenOnLoopbackOnly(bool on) { g_loopbackOnly = on; }

}  // namespace testing

}  // namespace net
