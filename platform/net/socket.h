// TCP sockets over IPv4: the one place the program talks to the system's
// socket calls.
//
// Socket owns one descriptor and closes it when it goes.  The operations
// block (no descriptor is ever non-blocking); each answers 0 or the Windows
// socket code of what went wrong (error_codes.h) and records that code as
// the thread's last error.  Sends never raise SIGPIPE: a vanished peer is
// the code kErrConnReset.  An expired send or receive timeout, or a
// deadline that passed, is kErrTimedOut.  Interrupted calls are restarted,
// unless the stop descriptor (SetStopDescriptor) became readable: then every
// wait for a socket ends with kErrInterrupted.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

namespace net {

// The moment by which a whole exchange (a line, a block) must be done.  The
// default one never passes: the calls then wait as the socket's own
// timeouts allow.
class Deadline {
 public:
  using Clock = std::chrono::steady_clock;
  Deadline() = default;
  static Deadline In(std::chrono::milliseconds wait) { return Deadline(Clock::now() + wait); }
  bool set() const { return set_; }
  // Milliseconds left (0 once passed); -1 when it never passes.
  int MillisecondsLeft() const;

 private:
  explicit Deadline(Clock::time_point at) : at_(at), set_(true) {}
  Clock::time_point at_{};
  bool set_ = false;
};

class Socket {
 public:
  Socket() = default;
  explicit Socket(int descriptor) : fd_(descriptor) {}
  ~Socket() { Close(); }
  Socket(Socket&& other) noexcept : fd_(other.release()) {}
  Socket& operator=(Socket&& other) noexcept;
  Socket(const Socket&) = delete;
  Socket& operator=(const Socket&) = delete;

  bool valid() const { return fd_ >= 0; }
  int descriptor() const { return fd_; }
  // Gives up ownership; the socket is then invalid.
  int release();
  // Closes the descriptor (the socket is invalid afterwards, whatever the
  // answer); 0 for an invalid socket.
  int Close();

 private:
  int fd_ = -1;
};

// A descriptor (-1: none) whose becoming readable ends the waits of Accept,
// SendAll, Receive and WaitReadable: they answer kErrInterrupted without
// their work.  A call without a deadline then waits no longer than the
// socket's own timeouts.
void SetStopDescriptor(int fd);

// Start-up and clean-up of the socket layer: nothing to do here, they
// answer 0 (or an injected failure).
int Startup();
int Cleanup();

// A new TCP socket.
int OpenStream(Socket& out);
// SO_REUSEADDR, then binds to `port` on every interface (only 127.0.0.1
// while ListenOnLoopbackOnly is set); port 0 takes a free one.
int BindAny(const Socket& s, uint16_t port);
int Listen(const Socket& s, int backlog);
// Waits for a client; its address in dotted form and its port go to
// *peerAddress and *peerPort when given.
int Accept(const Socket& listener, Socket& client, std::string* peerAddress = nullptr, uint16_t* peerPort = nullptr);
// Connects to an IPv4 address in dotted form.
int Connect(const Socket& s, const char* address, uint16_t port);
// The local port the socket is bound to.
int LocalPort(const Socket& s, uint16_t& port);

// Sends all `size` bytes, looping over partial sends; with a deadline, the
// last of them must have gone by then.
int SendAll(const Socket& s, const void* data, size_t size, const Deadline& by = Deadline());
// One receive of at most `size` bytes; *got is 0 when the peer has closed.
// With a deadline, the bytes must come by then.
int Receive(const Socket& s, void* buffer, size_t size, size_t& got, const Deadline& by = Deadline());
// Waits up to `milliseconds` for bytes (or the peer's close) to read;
// *ready tells whether they came.
int WaitReadable(const Socket& s, int milliseconds, bool& ready);
// Send and receive timeouts in whole seconds (0: wait for ever).
int SetTimeouts(const Socket& s, long seconds);
// Ends the sending direction (the peer reads its end of data).
int ShutdownSend(const Socket& s);

// Operations that the test hooks below can make fail.
enum class Op { Startup, Cleanup, Open, Bind, Listen, Accept, Connect, Send, Receive, Wait, Shutdown, Close, Count };

namespace testing {

// Makes the `nth` call (1 = the next one) of `op` from now on fail with
// `code` without doing its work (a failing Close still closes).  One
// failure per operation is armed at a time.
void FailNth(Op op, int nth, int code);
// Disarms every failure.
void ClearFailures();
// Binds listeners to 127.0.0.1 instead of every interface while set.
void ListenOnLoopbackOnly(bool on);

}  // namespace testing

}  // namespace net
