#pragma once

#include <cstddef>
#include <mutex>
#include <string>
#include <string_view>

#include "platform/IConnection.h"

// The session's borrowed connection to the mail client, shared by its two threads.
//
// Writes are collected and sent in large pieces: a message relayed line by line would
// otherwise cost one system call and one packet per line (660,000 for a 50 MB message). What
// is collected goes out when the buffer is full and whenever Flush() is called; the relay
// flushes each time it would have to wait for the server, so nothing waits in the buffer for
// more than the time it takes to read what the server has already sent.
//
// Writes are serialised under one lock, so two threads' lines never mix. Everything else
// passes straight to the wrapped connection.
class TBufferedWriteConnection final : public IConnection {
 public:
  static constexpr std::size_t kFlushSize = std::size_t{64} * 1024;

  explicit TBufferedWriteConnection(IConnection& connection) noexcept : connection_(connection) {}

  [[nodiscard]] TReadResult ReadLine(std::chrono::milliseconds timeout) override {
    return connection_.ReadLine(timeout);
  }
  void Write(std::string_view bytes) override {
    const std::lock_guard lock(writeMutex_);
    if (pending_.size() + bytes.size() > kFlushSize) {
      SendPending();
      if (bytes.size() >= kFlushSize) {
        connection_.Write(bytes);
        return;
      }
    }
    pending_.append(bytes);
  }
  void Flush() override {
    const std::lock_guard lock(writeMutex_);
    SendPending();
  }
  // What was collected is dropped: a connection closed on purpose takes no more data.
  void Close() noexcept override { connection_.Close(); }
  [[nodiscard]] bool IsConnected() const noexcept override { return connection_.IsConnected(); }
  [[nodiscard]] TSocketAddress LocalAddress() const override { return connection_.LocalAddress(); }
  [[nodiscard]] TSocketAddress PeerAddress() const override { return connection_.PeerAddress(); }
  [[nodiscard]] std::string SecurityDescription() const override { return connection_.SecurityDescription(); }
  void SetMaxLineLength(std::size_t maxLineLength) override { connection_.SetMaxLineLength(maxLineLength); }
  void SetWriteTimeout(std::chrono::milliseconds timeout) override { connection_.SetWriteTimeout(timeout); }
  void SetStopSignal(const TStopSignal* stop) override { connection_.SetStopSignal(stop); }
  void SetDisconnectHandler(TDisconnectHandler handler) override {
    connection_.SetDisconnectHandler(std::move(handler));
  }

 private:
  // The buffer is emptied first, so after a failed write nothing is sent twice.
  void SendPending() {
    if (pending_.empty()) {
      return;
    }
    std::string out;
    out.swap(pending_);
    connection_.Write(out);
    if (pending_.capacity() == 0) {
      out.clear();
      pending_.swap(out);  // keep the allocation for the next round
    }
  }

  IConnection& connection_;
  std::mutex writeMutex_;
  std::string pending_;
};
