#pragma once

#include <chrono>

class TStopSignal;

// The one wait of every socket call: poll on `fd` for `events` until `deadline`, waking at
// once on the stop signal (when given) and looking at its flag at least every
// IConnection::kStopCheckInterval. Ready also covers POLLERR and POLLHUP: the next socket
// call tells what happened.
namespace Platform {

enum class TWaitResult { Ready, TimedOut, Stopped };

[[nodiscard]] TWaitResult WaitForSocket(int fd, short events, std::chrono::steady_clock::time_point deadline,
                                        const TStopSignal* stop);

// The end of a read's time-out, read from the clock only when the read first has to wait.
// Most reads of a relay find their line already buffered, and taking the time for each of
// them was a tenth of the relay's work.
class TLazyDeadline {
 public:
  explicit TLazyDeadline(std::chrono::milliseconds timeout) noexcept : timeout_(timeout) {}
  [[nodiscard]] std::chrono::steady_clock::time_point At() {
    if (!taken_) {
      at_ = std::chrono::steady_clock::now() + timeout_;
      taken_ = true;
    }
    return at_;
  }

 private:
  std::chrono::milliseconds timeout_;
  std::chrono::steady_clock::time_point at_{};
  bool taken_ = false;
};

}  // namespace Platform
