// Socket error numbers as the server prints them: the Windows socket codes.
//
// Every socket operation of this layer answers 0 or one of these codes and
// records it as the calling thread's last error, the way the server reads
// errors after a failed call.
#pragma once

namespace net {

enum : int {
  kNoError = 0,
  kErrInterrupted = 10004,        // EINTR
  kErrBadFile = 10009,            // EBADF
  kErrAccess = 10013,             // EACCES, EPERM
  kErrFault = 10014,              // EFAULT
  kErrInvalid = 10022,            // EINVAL and anything without a closer match
  kErrTooManySockets = 10024,     // EMFILE, ENFILE
  kErrWouldBlock = 10035,         // EWOULDBLOCK outside a timed wait
  kErrInProgress = 10036,         // EINPROGRESS
  kErrAlready = 10037,            // EALREADY
  kErrNotSocket = 10038,          // ENOTSOCK
  kErrDestAddrRequired = 10039,   // EDESTADDRREQ
  kErrMessageSize = 10040,        // EMSGSIZE
  kErrProtoType = 10041,          // EPROTOTYPE
  kErrNoProtoOpt = 10042,         // ENOPROTOOPT
  kErrProtoNoSupport = 10043,     // EPROTONOSUPPORT
  kErrSockTypeNoSupport = 10044,  // ESOCKTNOSUPPORT
  kErrOpNotSupported = 10045,     // EOPNOTSUPP
  kErrPfNoSupport = 10046,        // EPFNOSUPPORT
  kErrAfNoSupport = 10047,        // EAFNOSUPPORT
  kErrAddrInUse = 10048,          // EADDRINUSE
  kErrAddrNotAvail = 10049,       // EADDRNOTAVAIL
  kErrNetDown = 10050,            // ENETDOWN
  kErrNetUnreach = 10051,         // ENETUNREACH
  kErrNetReset = 10052,           // ENETRESET
  kErrConnAborted = 10053,        // ECONNABORTED
  kErrConnReset = 10054,          // ECONNRESET, EPIPE
  kErrNoBufs = 10055,             // ENOBUFS, ENOMEM
  kErrIsConn = 10056,             // EISCONN
  kErrNotConn = 10057,            // ENOTCONN
  kErrShutdown = 10058,           // ESHUTDOWN
  kErrTooManyRefs = 10059,        // ETOOMANYREFS
  kErrTimedOut = 10060,           // ETIMEDOUT; an expired send or receive timeout
  kErrConnRefused = 10061,        // ECONNREFUSED
  kErrLoop = 10062,               // ELOOP
  kErrNameTooLong = 10063,        // ENAMETOOLONG
  kErrHostDown = 10064,           // EHOSTDOWN
  kErrHostUnreach = 10065,        // EHOSTUNREACH
};

// The socket code of a system error number.
int CodeOfErrno(int error);

// The code of the calling thread's last failed operation (0 after start-up).
int LastError();
void SetLastError(int code);

}  // namespace net
