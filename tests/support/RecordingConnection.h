#pragma once

#include <chrono>
#include <cstddef>
#include <string>
#include <string_view>

#include "platform/IConnection.h"

// A client end that keeps every byte exactly as written, so a lone CR or LF is seen as it
// went out. It never has input, is always connected and ignores its settings.
class RecordingConnection final : public IConnection {
 public:
  [[nodiscard]] TReadResult ReadLine(std::chrono::milliseconds /*timeout*/) override { return {}; }
  void Write(std::string_view bytes) override { written.append(bytes); }
  void Close() noexcept override {}
  [[nodiscard]] bool IsConnected() const noexcept override { return true; }
  [[nodiscard]] TSocketAddress LocalAddress() const override { return {}; }
  [[nodiscard]] TSocketAddress PeerAddress() const override { return {}; }
  void SetMaxLineLength(std::size_t /*maxLineLength*/) override {}
  void SetWriteTimeout(std::chrono::milliseconds /*timeout*/) override {}
  void SetStopSignal(const TStopSignal* /*stop*/) override {}
  void SetDisconnectHandler(TDisconnectHandler /*handler*/) override {}

  std::string written;
};
