#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "platform/TConnectionBase.h"
#include "platform/TTcpConnection.h"

// How a TLS client checks its server. With no CA file the system's trusted roots are used;
// with one, only the certificates in that file (an account whose server has a private CA).
struct TTlsClientOptions {
  std::string CAFile;
};

// A TLS client connection over a TCP socket (OpenSSL underneath, not visible here). Reads,
// writes, time-outs, the stop signal, line splitting and the disconnect notification behave
// as on TTcpConnection. The server must present a chain to a trusted root that is valid now
// and names the host that was dialled (or its IP address, when an address was dialled);
// TLS 1.2 is the oldest protocol accepted.
//
// Failures of the handshake throw ESocketError: CertificateRejected with the verifier's own
// words as Reason() ("certificate has expired", "Hostname mismatch", "self-signed
// certificate", "unable to get local issuer certificate"), TlsHandshake for any other
// failure (the server closed or reset the connection, spoke no TLS, offered nothing we
// accept), TimedOut or Stopped when the handshake did not finish within the time-out or the
// stop signal came, TlsSetup when the CA file cannot be used.
class TTlsConnection final : public TConnectionBase {
 public:
  // Connects over TCP, then does the handshake, all within `timeout`. TCP failures are
  // those of TTcpConnection::Connect.
  [[nodiscard]] static std::unique_ptr<TTlsConnection> Connect(
      const std::string& host, std::uint16_t port, std::chrono::milliseconds timeout, const TStopSignal* stop,
      const TTlsClientOptions& options);

  // Does the handshake over `tcp`, connected to `host`, after the plain-text dialogue that
  // agreed on it (POP3's STLS). Unread plain-text bytes on `tcp` fail it (TlsHandshake):
  // they were not sent under encryption, so they cannot be trusted as if they were.
  [[nodiscard]] static std::unique_ptr<TTlsConnection> StartTls(
      std::unique_ptr<TTcpConnection> tcp, const std::string& host, std::chrono::milliseconds timeout,
      const TStopSignal* stop, const TTlsClientOptions& options);

  ~TTlsConnection() override;

  [[nodiscard]] TReadResult ReadLine(std::chrono::milliseconds timeout) override;
  void Write(std::string_view bytes) override;
  void Close() noexcept override;
  [[nodiscard]] bool IsConnected() const noexcept override { return !closed_.load(std::memory_order_acquire); }
  [[nodiscard]] TSocketAddress LocalAddress() const override { return tcp_->LocalAddress(); }
  [[nodiscard]] TSocketAddress PeerAddress() const override { return tcp_->PeerAddress(); }
  [[nodiscard]] std::string SecurityDescription() const override { return description_; }

  // Puts `bytes` before anything the server sends, for the reads to return first (the
  // greeting read in clear before STLS). Only before the first read.
  void ReplayInput(std::string_view bytes) { buffer_.Append(bytes); }

  struct TSession;  // the OpenSSL objects

 private:
  TTlsConnection(std::unique_ptr<TTcpConnection> tcp, std::unique_ptr<TSession> session);

  std::unique_ptr<TTcpConnection> tcp_;  // owns the socket; Close() shuts it down
  std::unique_ptr<TSession> session_;
  std::string description_;
  std::atomic<bool> closed_{false};
  bool endOfInput_ = false;  // the server's close was read; belongs to the reading thread
};
