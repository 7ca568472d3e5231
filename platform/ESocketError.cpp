#include "platform/ESocketError.h"

#include <cerrno>
#include <cstring>

TSocketErrorKind ESocketError::KindOfErrno(int errorNumber) noexcept {
  switch (errorNumber) {
    case EPIPE:
    case ENOTCONN:
    case EBADF:
    case ENOTSOCK:
    case ESHUTDOWN:
      return TSocketErrorKind::Closed;
    case ECONNRESET:
    case ECONNABORTED:
      return TSocketErrorKind::Reset;
    case ETIMEDOUT:
      return TSocketErrorKind::TimedOut;
    case ECONNREFUSED:
      return TSocketErrorKind::Refused;
    case ENETUNREACH:
    case EHOSTUNREACH:
    case ENETDOWN:
    case EHOSTDOWN:
      return TSocketErrorKind::Unreachable;
    case EADDRINUSE:
      return TSocketErrorKind::AddressInUse;
    case EACCES:
    case EPERM:
      return TSocketErrorKind::AccessDenied;
    default:
      return TSocketErrorKind::Other;
  }
}

ESocketError ESocketError::FromErrno(int errorNumber, const std::string& context) {
  return {KindOfErrno(errorNumber), errorNumber, context, std::strerror(errorNumber)};
}
