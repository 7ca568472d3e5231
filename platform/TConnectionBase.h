#pragma once

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstddef>
#include <optional>
#include <string>
#include <utility>

#include "platform/ESocketError.h"
#include "platform/IConnection.h"
#include "platform/SocketWait.h"
#include "platform/TLineBuffer.h"
#include "platform/TStopSignal.h"

// What every connection shares: the line buffer, the settings and the once-only disconnect
// notification. A transport adds only how bytes move.
class TConnectionBase : public IConnection {
 public:
  void SetMaxLineLength(std::size_t maxLineLength) override { buffer_.SetMaxLineLength(maxLineLength); }
  void SetWriteTimeout(std::chrono::milliseconds timeout) override { writeTimeout_ = timeout; }
  void SetStopSignal(const TStopSignal* stop) override { stop_ = stop; }
  void SetDisconnectHandler(TDisconnectHandler handler) override { handler_ = std::move(handler); }

 protected:
  // Runs the handler if no end was noticed before. What the handler throws is dropped: it
  // runs inside Close(), which must not throw, and inside reads that report the end anyway.
  void NotifyDisconnect(TDisconnectReason reason) noexcept {
    if (disconnected_.exchange(true, std::memory_order_acq_rel)) {
      return;
    }
    if (handler_) {
      try {
        handler_(reason);
      } catch (...) {  // NOLINT(bugprone-empty-catch): see above
      }
    }
  }
  [[nodiscard]] bool StopRequested() const noexcept { return stop_ != nullptr && stop_->IsRequested(); }
  // The line loop of every socket transport; `readMore` says how the transport's bytes
  // arrive. Each call of it appends what came to buffer_ or sets `endOfInput` at the peer's
  // end, and gives back nothing to go on, or the result the read ends with. `closed` is the
  // transport's Close() flag: a read that Close() interrupts reports Closed.
  template <typename TReadMore>
  [[nodiscard]] TReadResult ReadLineWith(const std::atomic<bool>& closed, const bool& endOfInput,
                                         TReadMore&& readMore) {
    for (;;) {
      if (closed.load(std::memory_order_acquire)) {
        return {TReadStatus::Closed, {}};
      }
      if (auto piece = buffer_.TakePiece(endOfInput)) {
        return {StatusOf(piece->End), std::move(piece->Text)};
      }
      if (endOfInput) {
        NotifyDisconnect(TDisconnectReason::PeerClosed);
        return {TReadStatus::Closed, {}};
      }
      if (StopRequested()) {
        return {TReadStatus::Stopped, {}};
      }
      if (std::optional<TReadResult> result = readMore()) {
        return std::move(*result);
      }
    }
  }
  // A read's wait for its socket: nothing after Ready (read again), else the read's result.
  [[nodiscard]] static std::optional<TReadResult> ResultOfWait(Platform::TWaitResult wait) {
    switch (wait) {
      case Platform::TWaitResult::Ready:
        break;
      case Platform::TWaitResult::TimedOut:
        return TReadResult{TReadStatus::TimedOut, {}};
      case Platform::TWaitResult::Stopped:
        return TReadResult{TReadStatus::Stopped, {}};
    }
    return std::nullopt;
  }
  // A write's wait for its socket: returns when it may go on, else throws with `context`.
  static void ThrowUnlessWriteReady(Platform::TWaitResult wait, const std::string& context) {
    switch (wait) {
      case Platform::TWaitResult::Ready:
        return;
      case Platform::TWaitResult::TimedOut:
        throw ESocketError(TSocketErrorKind::TimedOut, ETIMEDOUT, context, "the peer takes no data");
      case Platform::TWaitResult::Stopped:
        throw ESocketError(TSocketErrorKind::Stopped, 0, context, "stop requested");
    }
  }
  [[nodiscard]] static TReadStatus StatusOf(TLineEnd end) noexcept {
    switch (end) {
      case TLineEnd::LineFeed:
        return TReadStatus::Line;
      case TLineEnd::Split:
        return TReadStatus::Split;
      case TLineEnd::EndOfInput:
        break;
    }
    return TReadStatus::Unterminated;
  }

  TLineBuffer buffer_{kDefaultMaxLineLength};
  std::chrono::milliseconds writeTimeout_ = kDefaultWriteTimeout;
  const TStopSignal* stop_ = nullptr;

 private:
  TDisconnectHandler handler_;
  std::atomic<bool> disconnected_{false};
};
