#include "platform/net/error_codes.h"

#include <cerrno>

namespace net {

namespace {
thread_local int t_lastError = 0;
}

int CodeOfErrno(int error) {
  switch (error) {
    case 0: return kNoError;
    case EINTR: return kErrInterrupted;
    case EBADF: return kErrBadFile;
    case EACCES:
    case EPERM: return kErrAccess;
    case EFAULT: return kErrFault;
    case EMFILE:
    case ENFILE: return kErrTooManySockets;
    case EWOULDBLOCK: return kErrWouldBlock;
    case EINPROGRESS: return kErrInProgress;
    case EALREADY: return kErrAlready;
    case ENOTSOCK: return kErrNotSocket;
    case EDESTADDRREQ: return kErrDestAddrRequired;
    case EMSGSIZE: return kErrMessageSize;
    case EPROTOTYPE: return kErrProtoType;
    case ENOPROTOOPT: return kErrNoProtoOpt;
    case EPROTONOSUPPORT: return kErrProtoNoSupport;
    case ESOCKTNOSUPPORT: return kErrSockTypeNoSupport;
    case EOPNOTSUPP: return kErrOpNotSupported;
    case EPFNOSUPPORT: return kErrPfNoSupport;
    case EAFNOSUPPORT: return kErrAfNoSupport;
    case EADDRINUSE: return kErrAddrInUse;
    case EADDRNOTAVAIL: return kErrAddrNotAvail;
    case ENETDOWN: return kErrNetDown;
    case ENETUNREACH: return kErrNetUnreach;
    case ENETRESET: return kErrNetReset;
    case ECONNABORTED: return kErrConnAborted;
    case ECONNRESET:
    case EPIPE: return kErrConnReset;
    case ENOBUFS:
    case ENOMEM: return kErrNoBufs;
    case EISCONN: return kErrIsConn;
    case ENOTCONN: return kErrNotConn;
    case ESHUTDOWN: return kErrShutdown;
    case ETOOMANYREFS: return kErrTooManyRefs;
    case ETIMEDOUT: return kErrTimedOut;
    case ECONNREFUSED: return kErrConnRefused;
    case ELOOP: return kErrLoop;
    case ENAMETOOLONG: return kErrNameTooLong;
    case EHOSTDOWN: return kErrHostDown;
    case EHOSTUNREACH: return kErrHostUnreach;
    default: return kErrInvalid;
  }
}

int LastError() { return t_lastError; }

void SetLastError(int code) { t_lastError = code; }

}  // namespace net
