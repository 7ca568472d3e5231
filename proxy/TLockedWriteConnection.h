#pragma once

#include <mutex>

#include "platform/IConnection.h"

// A borrowed connection whose writes are serialised: one Write (and so one WriteLine) goes
// out whole before another thread's may start. The session's two threads both answer the
// mail client; without this, two lines could mix inside a socket's partial writes.
// Everything else passes straight to the wrapped connection.
class TLockedWriteConnection final : public IConnection {
 public:
  explicit TLockedWriteConnection(IConnection& connection) noexcept : connection_(connection) {}

  [[nodiscard]] TReadResult ReadLine(std::chrono::milliseconds timeout) override {
    return connection_.ReadLine(timeout);
  }
  void Write(std::string_view bytes) override {
    const std::lock_guard lock(writeMutex_);
    connection_.Write(bytes);
  }
  void Close() noexcept override { connection_.Close(); }
  [[nodiscard]] bool IsConnected() const noexcept override { return connection_.IsConnected(); }
  [[nodiscard]] TSocketAddress LocalAddress() const override { return connection_.LocalAddress(); }
  [[nodiscard]] TSocketAddress PeerAddress() const override { return connection_.PeerAddress(); }
  void SetMaxLineLength(std::size_t maxLineLength) override { connection_.SetMaxLineLength(maxLineLength); }
  void SetWriteTimeout(std::chrono::milliseconds timeout) override { connection_.SetWriteTimeout(timeout); }
  void SetStopSignal(const TStopSignal* stop) override { connection_.SetStopSignal(stop); }
  void SetDisconnectHandler(TDisconnectHandler handler) override {
    connection_.SetDisconnectHandler(std::move(handler));
  }

 private:
  IConnection& connection_;
  std::mutex writeMutex_;
};
