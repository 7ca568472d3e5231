#include "platform/TTlsConnection.h"

#include <arpa/inet.h>
#include <openssl/bio.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509_vfy.h>
#include <openssl/x509v3.h>
#include <poll.h>
#include <sys/socket.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <optional>
#include <utility>

#include "platform/ESocketError.h"
#include "platform/SocketAddressText.h"
#include "platform/SocketWait.h"

namespace {

using Clock = std::chrono::steady_clock;

// OpenSSL's socket BIO writes with write(2), which raises SIGPIPE on a connection the peer
// has closed and would end the whole program. This one sends with MSG_NOSIGNAL instead and
// borrows everything else from the socket BIO.
int SendNoSignal(BIO* bio, const char* data, int length) {
  const int fd = static_cast<int>(BIO_get_fd(bio, nullptr));
  errno = 0;
  const ssize_t sent = ::send(fd, data, static_cast<std::size_t>(length), MSG_NOSIGNAL);
  BIO_clear_retry_flags(bio);
  if (sent <= 0 && BIO_sock_should_retry(static_cast<int>(sent)) != 0) {
    BIO_set_retry_write(bio);
  }
  return static_cast<int>(sent);
}

const BIO_METHOD* NoSignalSocketMethod() {
  static BIO_METHOD* const method = [] {
    const BIO_METHOD* socket = BIO_s_socket();
    BIO_METHOD* created = BIO_meth_new(BIO_TYPE_SOCKET, "socket without SIGPIPE");
    if (created != nullptr) {
      BIO_meth_set_write(created, SendNoSignal);
      BIO_meth_set_read(created, BIO_meth_get_read(socket));
      BIO_meth_set_puts(created, BIO_meth_get_puts(socket));
      BIO_meth_set_ctrl(created, BIO_meth_get_ctrl(socket));
      BIO_meth_set_create(created, BIO_meth_get_create(socket));
      BIO_meth_set_destroy(created, BIO_meth_get_destroy(socket));
    }
    return created;
  }();
  return method;
}

// The words of OpenSSL's error queue for the last failure, or `fallback`.
std::string OpenSslReason(unsigned long error, const char* fallback) {
  if (error != 0) {
    if (const char* reason = ERR_reason_error_string(error)) {
      return reason;
    }
    char text[256];
    ERR_error_string_n(error, text, sizeof text);
    return text;
  }
  return fallback;
}

bool IsIpAddress(const std::string& host) {
  unsigned char address[16];
  return ::inet_pton(AF_INET, host.c_str(), address) == 1 || ::inet_pton(AF_INET6, host.c_str(), address) == 1;
}

bool IsUnexpectedEof(unsigned long error) {
  return error != 0 && ERR_GET_LIB(error) == ERR_LIB_SSL && ERR_GET_REASON(error) == SSL_R_UNEXPECTED_EOF_WHILE_READING;
}

}  // namespace

struct TTlsConnection::TSession {
  TSession() = default;
  TSession(const TSession&) = delete;
  TSession& operator=(const TSession&) = delete;
  ~TSession() {
    SSL_free(Ssl);
    SSL_CTX_free(Context);
  }

  SSL_CTX* Context = nullptr;
  SSL* Ssl = nullptr;
  // One SSL object may not be used by two threads at once, and a session reads on one
  // thread while it writes on another. Each SSL call is short (the socket is non-blocking);
  // the waits for the socket happen outside it.
  std::mutex Mutex;
  bool Broken = false;  // a fatal error happened: no close_notify may be sent
};

namespace {

// The result of one SSL call, taken while the lock was held.
struct TCallResult {
  int Returned = 0;
  int Error = SSL_ERROR_NONE;
  int SystemError = 0;
  unsigned long Queued = 0;
};

// Runs one SSL read or write under the session's lock and takes its error state before the
// lock is given up, when another thread's call could overwrite it. A fatal error marks the
// session broken, so that Close() sends no goodbye over it.
template <typename TCall>
TCallResult CallLocked(TTlsConnection::TSession& session, TCall&& call) {
  TCallResult result;
  const std::lock_guard lock(session.Mutex);
  ERR_clear_error();
  errno = 0;
  result.Returned = std::forward<TCall>(call)(session.Ssl);
  if (result.Returned <= 0) {
    result.Error = SSL_get_error(session.Ssl, result.Returned);
    result.SystemError = errno;
    result.Queued = ERR_peek_last_error();
    if (result.Error == SSL_ERROR_SSL || result.Error == SSL_ERROR_SYSCALL) {
      session.Broken = true;
    }
  }
  return result;
}

std::unique_ptr<TTlsConnection::TSession> NewSession(int fd, const std::string& host, const TTlsClientOptions& options,
                                                     const std::string& context) {
  auto session = std::make_unique<TTlsConnection::TSession>();
  ERR_clear_error();
  session->Context = SSL_CTX_new(TLS_client_method());
  if (session->Context == nullptr) {
    throw ESocketError(TSocketErrorKind::TlsSetup, 0, context, OpenSslReason(ERR_get_error(), "cannot set up TLS"));
  }
  SSL_CTX* ctx = session->Context;
  SSL_CTX_set_min_proto_version(ctx, TLS1_2_VERSION);
  SSL_CTX_set_verify(ctx, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_mode(ctx, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  if (options.CAFile.empty()) {
    if (SSL_CTX_set_default_verify_paths(ctx) != 1) {
      throw ESocketError(TSocketErrorKind::TlsSetup, 0, context,
                         "cannot load the system's trusted certificates: " +
                             OpenSslReason(ERR_get_error(), "unknown error"));
    }
  } else {
    // Unreadable and unusable are told apart: one is a path or permission to fix, the
    // other a file to replace.
    if (FILE* file = std::fopen(options.CAFile.c_str(), "rb")) {  // NOLINT(cppcoreguidelines-owning-memory)
      std::fclose(file);
    } else {
      throw ESocketError(TSocketErrorKind::TlsSetup, errno, context,
                         "cannot read the CA file '" + options.CAFile + "': " + std::strerror(errno));
    }
    if (SSL_CTX_load_verify_locations(ctx, options.CAFile.c_str(), nullptr) != 1) {
      throw ESocketError(TSocketErrorKind::TlsSetup, 0, context,
                         "the CA file '" + options.CAFile + "' holds no usable certificate (" +
                             OpenSslReason(ERR_get_error(), "unknown error") + ")");
    }
  }
  session->Ssl = SSL_new(ctx);
  BIO* bio = session->Ssl != nullptr ? BIO_new(NoSignalSocketMethod()) : nullptr;
  if (bio == nullptr) {
    throw ESocketError(TSocketErrorKind::TlsSetup, 0, context, OpenSslReason(ERR_get_error(), "cannot set up TLS"));
  }
  BIO_set_fd(bio, fd, BIO_NOCLOSE);
  SSL_set_bio(session->Ssl, bio, bio);
  X509_VERIFY_PARAM* param = SSL_get0_param(session->Ssl);
  if (IsIpAddress(host)) {
    X509_VERIFY_PARAM_set1_ip_asc(param, host.c_str());
  } else {
    X509_VERIFY_PARAM_set_hostflags(param, X509_CHECK_FLAG_NO_PARTIAL_WILDCARDS);
    X509_VERIFY_PARAM_set1_host(param, host.c_str(), 0);
    SSL_set_tlsext_host_name(session->Ssl, host.c_str());
  }
  return session;
}

void Handshake(TTlsConnection::TSession& session, int fd, Clock::time_point deadline, const TStopSignal* stop,
               const std::string& context) {
  for (;;) {
    ERR_clear_error();
    errno = 0;
    const int returned = SSL_connect(session.Ssl);
    if (returned == 1) {
      return;
    }
    const int error = SSL_get_error(session.Ssl, returned);
    const int systemError = errno;
    const unsigned long queued = ERR_peek_last_error();
    if (error == SSL_ERROR_WANT_READ || error == SSL_ERROR_WANT_WRITE) {
      switch (Platform::WaitForSocket(fd, error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline, stop)) {
        case Platform::TWaitResult::Ready:
          continue;
        case Platform::TWaitResult::TimedOut:
          throw ESocketError(TSocketErrorKind::TimedOut, ETIMEDOUT, context,
                             "the server did not complete the TLS handshake in time");
        case Platform::TWaitResult::Stopped:
          throw ESocketError(TSocketErrorKind::Stopped, 0, context, "stop requested");
      }
    }
    session.Broken = true;
    if (const long verified = SSL_get_verify_result(session.Ssl); verified != X509_V_OK) {
      throw ESocketError(TSocketErrorKind::CertificateRejected, 0, context, X509_verify_cert_error_string(verified));
    }
    if (error == SSL_ERROR_SYSCALL && systemError == ECONNRESET) {
      throw ESocketError(TSocketErrorKind::TlsHandshake, ECONNRESET, context,
                         "the server reset the connection during the TLS handshake");
    }
    if ((error == SSL_ERROR_SYSCALL && queued == 0) || error == SSL_ERROR_ZERO_RETURN || IsUnexpectedEof(queued)) {
      throw ESocketError(TSocketErrorKind::TlsHandshake, 0, context,
                         "the server closed the connection during the TLS handshake");
    }
    if (error == SSL_ERROR_SYSCALL && systemError != 0) {
      throw ESocketError(TSocketErrorKind::TlsHandshake, systemError, context,
                         std::string("TLS handshake failed: ") + std::strerror(systemError));
    }
    throw ESocketError(TSocketErrorKind::TlsHandshake, 0, context,
                       "TLS handshake failed: " + OpenSslReason(queued, "unknown error"));
  }
}

std::string DescribeSession(SSL* ssl) {
  std::string text = SSL_get_version(ssl);
  if (const char* cipher = SSL_get_cipher_name(ssl); cipher != nullptr && *cipher != '\0') {
    text.append(", ").append(cipher);
  }
  return text;
}

}  // namespace

TTlsConnection::TTlsConnection(std::unique_ptr<TTcpConnection> tcp, std::unique_ptr<TSession> session)
    : tcp_(std::move(tcp)), session_(std::move(session)), description_(DescribeSession(session_->Ssl)) {}

TTlsConnection::~TTlsConnection() = default;

std::unique_ptr<TTlsConnection> TTlsConnection::Connect(const std::string& host, std::uint16_t port,
                                                        std::chrono::milliseconds timeout, const TStopSignal* stop,
                                                        const TTlsClientOptions& options) {
  const auto deadline = Clock::now() + timeout;
  auto tcp = TTcpConnection::Connect(host, port, timeout, stop);
  return StartTls(std::move(tcp), host, std::max(std::chrono::milliseconds(0),
                                                 std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now())),
                  stop, options);
}

std::unique_ptr<TTlsConnection> TTlsConnection::StartTls(std::unique_ptr<TTcpConnection> tcp, const std::string& host,
                                                         std::chrono::milliseconds timeout, const TStopSignal* stop,
                                                         const TTlsClientOptions& options) {
  const TSocketAddress peer = tcp->PeerAddress();
  const std::string context = "cannot start TLS with '" + host + "' port " + std::to_string(peer.Port);
  if (tcp->HasUnreadInput()) {
    throw ESocketError(TSocketErrorKind::TlsHandshake, 0, context,
                       "the server sent data in clear before the TLS handshake");
  }
  const auto deadline = Clock::now() + timeout;
  auto session = NewSession(tcp->NativeHandle(), host, options, context);
  Handshake(*session, tcp->NativeHandle(), deadline, stop, context);
  return std::unique_ptr<TTlsConnection>(new TTlsConnection(std::move(tcp), std::move(session)));
}

TReadResult TTlsConnection::ReadLine(std::chrono::milliseconds timeout) {
  Platform::TLazyDeadline deadline(timeout);
  char chunk[16384];
  return ReadLineWith(closed_, endOfInput_, [&]() -> std::optional<TReadResult> {
    const TCallResult call =
        CallLocked(*session_, [&](SSL* ssl) { return SSL_read(ssl, chunk, static_cast<int>(sizeof chunk)); });
    if (call.Returned > 0) {
      buffer_.Append({chunk, static_cast<std::size_t>(call.Returned)});
      return std::nullopt;
    }
    switch (call.Error) {
      case SSL_ERROR_ZERO_RETURN:
        endOfInput_ = true;
        return std::nullopt;
      case SSL_ERROR_WANT_READ:
      case SSL_ERROR_WANT_WRITE:
        return ResultOfWait(Platform::WaitForSocket(
            tcp_->NativeHandle(), call.Error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline.At(), stop_));
      default:
        break;
    }
    if (closed_.load(std::memory_order_acquire)) {
      return TReadResult{TReadStatus::Closed, {}};
    }
    if (call.Error == SSL_ERROR_SYSCALL && call.SystemError == EINTR) {
      return std::nullopt;
    }
    if (call.Error == SSL_ERROR_SYSCALL && call.SystemError == ECONNRESET) {
      NotifyDisconnect(TDisconnectReason::PeerReset);
      return TReadResult{TReadStatus::Reset, {}};
    }
    // Many servers close without TLS's closing message. POP3 has its own end markers, so a
    // cut-off reply is still seen as one; the close itself is an ordinary end.
    if ((call.Error == SSL_ERROR_SYSCALL && call.Queued == 0 && call.SystemError == 0) ||
        IsUnexpectedEof(call.Queued)) {
      endOfInput_ = true;
      return std::nullopt;
    }
    const std::string context = "cannot read from " + Platform::DescribeAddress(PeerAddress().Ip, PeerAddress().Port);
    if (call.Error == SSL_ERROR_SYSCALL && call.SystemError != 0) {
      throw ESocketError::FromErrno(call.SystemError, context);
    }
    throw ESocketError(TSocketErrorKind::Other, 0, context, "TLS error: " + OpenSslReason(call.Queued, "unknown error"));
  });
}

void TTlsConnection::Write(std::string_view bytes) {
  const std::string context = "cannot write to " + Platform::DescribeAddress(PeerAddress().Ip, PeerAddress().Port);
  if (closed_.load(std::memory_order_acquire)) {
    throw ESocketError(TSocketErrorKind::Closed, 0, context, "the connection is closed");
  }
  const auto deadline = Clock::now() + writeTimeout_;
  while (!bytes.empty()) {
    const TCallResult call = CallLocked(*session_, [&](SSL* ssl) {
      return SSL_write(ssl, bytes.data(), static_cast<int>(std::min<std::size_t>(bytes.size(), INT_MAX)));
    });
    if (call.Returned > 0) {
      bytes.remove_prefix(static_cast<std::size_t>(call.Returned));
      continue;
    }
    if (call.Error == SSL_ERROR_WANT_WRITE || call.Error == SSL_ERROR_WANT_READ) {
      ThrowUnlessWriteReady(Platform::WaitForSocket(tcp_->NativeHandle(),
                                                    call.Error == SSL_ERROR_WANT_READ ? POLLIN : POLLOUT, deadline,
                                                    stop_),
                            context);
      continue;
    }
    if (closed_.load(std::memory_order_acquire)) {
      throw ESocketError(TSocketErrorKind::Closed, 0, context, "the connection is closed");
    }
    if (call.Error == SSL_ERROR_SYSCALL && call.SystemError == EINTR) {
      continue;
    }
    if (call.Error == SSL_ERROR_SYSCALL && call.SystemError != 0) {
      if (call.SystemError == EPIPE) {
        NotifyDisconnect(TDisconnectReason::PeerClosed);
      } else if (call.SystemError == ECONNRESET) {
        NotifyDisconnect(TDisconnectReason::PeerReset);
      }
      throw ESocketError::FromErrno(call.SystemError, context);
    }
    if (call.Error == SSL_ERROR_ZERO_RETURN) {
      NotifyDisconnect(TDisconnectReason::PeerClosed);
      throw ESocketError(TSocketErrorKind::Closed, 0, context, "the server closed the connection");
    }
    throw ESocketError(TSocketErrorKind::Other, 0, context, "TLS error: " + OpenSslReason(call.Queued, "unknown error"));
  }
}

void TTlsConnection::Close() noexcept {
  if (closed_.exchange(true, std::memory_order_acq_rel)) {
    return;
  }
  {
    // A courtesy to the server: TLS's own goodbye, if it fits into the socket right away.
    const std::lock_guard lock(session_->Mutex);
    if (!session_->Broken) {
      ERR_clear_error();
      SSL_shutdown(session_->Ssl);
      ERR_clear_error();
    }
  }
  tcp_->Close();
  NotifyDisconnect(TDisconnectReason::LocalClose);
}
