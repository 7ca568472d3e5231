#include "platform/TTcpConnection.h"

#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <optional>
#include <utility>
#include <vector>

#include "platform/ESocketError.h"
#include "platform/Resolver.h"
#include "platform/SocketAddressText.h"
#include "platform/SocketWait.h"

namespace {

using Clock = std::chrono::steady_clock;

TSocketAddress EndOf(int fd, bool peer) {
  sockaddr_in address{};
  socklen_t length = sizeof address;
  auto* raw = reinterpret_cast<sockaddr*>(&address);
  const int result = peer ? ::getpeername(fd, raw, &length) : ::getsockname(fd, raw, &length);
  if (result != 0 || address.sin_family != AF_INET) {
    return {};
  }
  return Platform::AddressOf(address);
}

// The descriptor closes with the object unless Release() hands it on.
class TFdOwner {
 public:
  explicit TFdOwner(int fd) : fd_(fd) {}
  ~TFdOwner() {
    if (fd_ >= 0) {
      ::close(fd_);
    }
  }
  TFdOwner(const TFdOwner&) = delete;
  TFdOwner& operator=(const TFdOwner&) = delete;
  [[nodiscard]] int Get() const noexcept { return fd_; }
  int Release() noexcept { return std::exchange(fd_, -1); }

 private:
  int fd_;
};

// One attempt on one address; returns 0 or the errno that ended it (ETIMEDOUT for the
// deadline, ECANCELED for the stop signal).
int ConnectOnce(const sockaddr_in& address, Clock::time_point deadline, const TStopSignal* stop, int& connected) {
  const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_NONBLOCK | SOCK_CLOEXEC, 0);
  if (fd < 0) {
    return errno;
  }
  TFdOwner owner(fd);
  if (::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    if (errno != EINPROGRESS && errno != EINTR) {
      return errno;
    }
    switch (Platform::WaitForSocket(fd, POLLOUT, deadline, stop)) {
      case Platform::TWaitResult::Ready:
        break;
      case Platform::TWaitResult::TimedOut:
        return ETIMEDOUT;
      case Platform::TWaitResult::Stopped:
        return ECANCELED;
    }
    int error = 0;
    socklen_t length = sizeof error;
    if (::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &length) != 0) {
      return errno;
    }
    if (error != 0) {
      return error;
    }
  }
  connected = owner.Release();
  return 0;
}

}  // namespace

TTcpConnection::TTcpConnection(int fd) : fd_(fd) {
  const int flags = ::fcntl(fd_, F_GETFL);
  if (flags >= 0 && (flags & O_NONBLOCK) == 0) {
    ::fcntl(fd_, F_SETFL, flags | O_NONBLOCK);
  }
  // POP3 is a conversation of short lines: waiting to fill segments only adds delay.
  const int on = 1;
  ::setsockopt(fd_, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
  local_ = EndOf(fd_, false);
  peer_ = EndOf(fd_, true);
}

TTcpConnection::~TTcpConnection() { ::close(fd_); }

std::unique_ptr<TTcpConnection> TTcpConnection::Connect(const std::string& host, std::uint16_t port,
                                                        std::chrono::milliseconds timeout, const TStopSignal* stop) {
  const std::string context = "cannot connect to '" + host + "' port " + std::to_string(port);
  const auto deadline = Clock::now() + timeout;
  std::vector<std::string> addresses;
  try {
    addresses = Platform::ResolveIPv4(host);
  } catch (const ESocketError& error) {
    throw ESocketError(error.Kind(), error.ErrorNumber(), context, error.Reason());
  }
  int lastError = 0;
  for (const std::string& ip : addresses) {
    sockaddr_in address{};
    if (!Platform::ParseIPv4(ip, port, address)) {
      continue;
    }
    int connected = -1;
    lastError = ConnectOnce(address, deadline, stop, connected);
    if (lastError == 0) {
      return std::make_unique<TTcpConnection>(connected);
    }
    if (lastError == ETIMEDOUT || lastError == ECANCELED) {
      break;
    }
  }
  if (lastError == ECANCELED) {
    throw ESocketError(TSocketErrorKind::Stopped, 0, context, "stop requested");
  }
  if (lastError == ETIMEDOUT) {
    throw ESocketError(TSocketErrorKind::TimedOut, ETIMEDOUT, context, "Connection timed out");
  }
  throw ESocketError::FromErrno(lastError, context);
}

TReadResult TTcpConnection::ReadLine(std::chrono::milliseconds timeout) {
  Platform::TLazyDeadline deadline(timeout);
  char chunk[16384];
  return ReadLineWith(closed_, endOfInput_, [&]() -> std::optional<TReadResult> {
    const ssize_t received = ::recv(fd_, chunk, sizeof chunk, 0);
    if (received > 0) {
      buffer_.Append({chunk, static_cast<std::size_t>(received)});
      return std::nullopt;
    }
    if (received == 0) {
      endOfInput_ = true;
      return std::nullopt;
    }
    const int error = errno;
    if (error == EINTR) {
      return std::nullopt;
    }
    if (error == EAGAIN || error == EWOULDBLOCK) {
      return ResultOfWait(Platform::WaitForSocket(fd_, POLLIN, deadline.At(), stop_));
    }
    if (closed_.load(std::memory_order_acquire)) {
      return TReadResult{TReadStatus::Closed, {}};
    }
    if (error == ECONNRESET) {
      NotifyDisconnect(TDisconnectReason::PeerReset);
      return TReadResult{TReadStatus::Reset, {}};
    }
    throw ESocketError::FromErrno(error, "cannot read from " + Platform::DescribeAddress(peer_.Ip, peer_.Port));
  });
}

void TTcpConnection::Write(std::string_view bytes) {
  const std::string context = "cannot write to " + Platform::DescribeAddress(peer_.Ip, peer_.Port);
  if (closed_.load(std::memory_order_acquire)) {
    throw ESocketError(TSocketErrorKind::Closed, 0, context, "the connection is closed");
  }
  const auto deadline = Clock::now() + writeTimeout_;
  while (!bytes.empty()) {
    const ssize_t sent = ::send(fd_, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    if (sent >= 0) {
      bytes.remove_prefix(static_cast<std::size_t>(sent));
      continue;
    }
    const int error = errno;
    if (error == EINTR) {
      continue;
    }
    if (error == EAGAIN || error == EWOULDBLOCK) {
      ThrowUnlessWriteReady(Platform::WaitForSocket(fd_, POLLOUT, deadline, stop_), context);
      continue;
    }
    if (closed_.load(std::memory_order_acquire)) {
      throw ESocketError(TSocketErrorKind::Closed, 0, context, "the connection is closed");
    }
    if (error == EPIPE) {
      NotifyDisconnect(TDisconnectReason::PeerClosed);
    } else if (error == ECONNRESET) {
      NotifyDisconnect(TDisconnectReason::PeerReset);
    }
    throw ESocketError::FromErrno(error, context);
  }
}

void TTcpConnection::Close() noexcept {
  if (closed_.exchange(true, std::memory_order_acq_rel)) {
    return;
  }
  ::shutdown(fd_, SHUT_RDWR);
  NotifyDisconnect(TDisconnectReason::LocalClose);
}
