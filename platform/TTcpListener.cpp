#include "platform/TTcpListener.h"

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>

#include "platform/ESocketError.h"
#include "platform/SocketAddressText.h"
#include "platform/SocketWait.h"
#include "platform/TTcpConnection.h"

TTcpListener::TTcpListener(const std::string& ipv4, std::uint16_t port, int backlog) : fd_(-1) {
  const std::string context = "cannot listen on " + Platform::DescribeAddress(ipv4, port);
  sockaddr_in address{};
  if (!Platform::ParseIPv4(ipv4, port, address)) {
    throw ESocketError(TSocketErrorKind::Other, 0, context, "not an IPv4 address");
  }
  fd_ = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd_ < 0) {
    throw ESocketError::FromErrno(errno, context);
  }
  const int on = 1;
  if (::setsockopt(fd_, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on) != 0 ||
      ::bind(fd_, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 || ::listen(fd_, backlog) != 0) {
    const int error = errno;
    ::close(fd_);
    throw ESocketError::FromErrno(error, context);
  }
  socklen_t length = sizeof address;
  if (::getsockname(fd_, reinterpret_cast<sockaddr*>(&address), &length) != 0) {
    const int error = errno;
    ::close(fd_);
    throw ESocketError::FromErrno(error, context);
  }
  address_ = Platform::AddressOf(address);
}

TTcpListener::~TTcpListener() { ::close(fd_); }

std::unique_ptr<TTcpConnection> TTcpListener::Accept(std::chrono::milliseconds timeout, const TStopSignal* stop) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  for (;;) {
    const int fd = ::accept4(fd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd >= 0) {
      return std::make_unique<TTcpConnection>(fd);
    }
    switch (errno) {
      case EAGAIN:
      case EINTR:
      // A connection that died in the queue, and the network errors that accept(2) says
      // Linux passes on from the new socket, concern that connection only.
      case ECONNABORTED:
      case EPROTO:
      case ENETDOWN:
      case ENOPROTOOPT:
      case EHOSTDOWN:
      case ENONET:
      case EHOSTUNREACH:
      case EOPNOTSUPP:
      case ENETUNREACH:
        break;
      default:
        throw ESocketError::FromErrno(errno, "cannot accept on " +
                                                 Platform::DescribeAddress(address_.Ip, address_.Port));
    }
    if (Platform::WaitForSocket(fd_, POLLIN, deadline, stop) != Platform::TWaitResult::Ready) {
      return nullptr;
    }
  }
}
