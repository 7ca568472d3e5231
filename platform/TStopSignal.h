#pragma once

#include <atomic>

// A stop request that a waiting socket call notices at once: besides a flag it owns an
// eventfd that becomes readable, for good, on Request(), so every poll that includes Fd()
// wakes up. One signal may be shared by many connections and threads (a listener's stop
// reaches all its sessions). It cannot be reset: a new run takes a new signal.
class TStopSignal {
 public:
  TStopSignal();
  ~TStopSignal();
  TStopSignal(const TStopSignal&) = delete;
  TStopSignal& operator=(const TStopSignal&) = delete;

  void Request() noexcept;
  [[nodiscard]] bool IsRequested() const noexcept { return requested_.load(std::memory_order_acquire); }
  // For poll(POLLIN); never read from it.
  [[nodiscard]] int Fd() const noexcept { return fd_; }

 private:
  std::atomic<bool> requested_{false};
  int fd_;
};
