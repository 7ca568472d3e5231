#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/TConnectionBase.h"

// A connected TCP socket (IPv4). The socket is non-blocking; every wait is a poll that the
// stop signal interrupts. Close() shuts the socket down so that a thread blocked in a read
// or write returns at once; the descriptor itself is closed by the destructor only, so it
// can never be reused under a thread that still polls it.
class TTcpConnection final : public TConnectionBase {
 public:
  static constexpr std::chrono::milliseconds kDefaultConnectTimeout{std::chrono::seconds(30)};

  // Adopts `fd`, a connected stream socket.
  explicit TTcpConnection(int fd);
  ~TTcpConnection() override;

  // Resolves `host` (a name or a dotted address) and connects to the first of its IPv4
  // addresses that answers, all within `timeout`. Throws ESocketError whose what() names
  // host and port: Refused, Unreachable, TimedOut, NameNotFound, ResolverFailure, Stopped
  // or Other (the error of the last address tried; a time-out wins over it, as it ends the
  // attempt).
  [[nodiscard]] static std::unique_ptr<TTcpConnection> Connect(const std::string& host, std::uint16_t port,
                                                               std::chrono::milliseconds timeout = kDefaultConnectTimeout,
                                                               const TStopSignal* stop = nullptr);

  [[nodiscard]] TReadResult ReadLine(std::chrono::milliseconds timeout) override;
  void Write(std::string_view bytes) override;
  void Close() noexcept override;
  [[nodiscard]] bool IsConnected() const noexcept override { return !closed_.load(std::memory_order_acquire); }
  [[nodiscard]] TSocketAddress LocalAddress() const override { return local_; }
  [[nodiscard]] TSocketAddress PeerAddress() const override { return peer_; }

  // For a TLS layer that takes the socket over (after STLS): the descriptor, still owned by
  // this object, and whether bytes were received that no read has returned yet. Such bytes
  // arrived in clear after the last line read and must not be taken for encrypted data.
  [[nodiscard]] int NativeHandle() const noexcept { return fd_; }
  [[nodiscard]] bool HasUnreadInput() const noexcept { return !buffer_.Empty(); }

 private:
  int fd_;
  std::atomic<bool> closed_{false};
  bool endOfInput_ = false;  // the peer's FIN was read; belongs to the reading thread
  // Taken at the start: after a reset getpeername() no longer answers.
  TSocketAddress local_;
  TSocketAddress peer_;
};
