#pragma once

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

// The values are those of the status log's colours: black, orange, red.
enum class TStatusKind { Information = 0, Warning = 1, Error = 2 };

struct TStatusMessage {
  TStatusKind Kind = TStatusKind::Information;
  std::string Text;
  std::chrono::system_clock::time_point Time;
};

// Status lines from session threads to the one thread that shows them (the UI thread, or
// standard output when headless). Bounded: a flood (a server sending thousands of
// one-line messages, each logged) must not eat memory, so past the capacity new lines are
// dropped and counted, and the next drain ends with one warning line that says how many.
class TStatusQueue {
 public:
  static constexpr std::size_t kDefaultCapacity = 10000;

  explicit TStatusQueue(std::size_t capacity = kDefaultCapacity);

  // From any thread. Stamps the message with the current time.
  void Push(TStatusKind kind, std::string text);

  // Everything waiting, oldest first, and the count line if some were dropped.
  [[nodiscard]] std::vector<TStatusMessage> Drain();

  // Waits until a message is waiting or `timeout` has passed; true when one is.
  [[nodiscard]] bool WaitForMessages(std::chrono::milliseconds timeout);

  // Called on the pushing thread, outside the lock, whenever a push finds the queue empty:
  // a UI posts itself a drain from here. Set it before the first push.
  void SetWakeUp(std::function<void()> wakeUp) { wakeUp_ = std::move(wakeUp); }

  // The text of the count line for `dropped` lost messages.
  [[nodiscard]] static std::string DroppedText(std::size_t dropped);

 private:
  const std::size_t capacity_;
  std::mutex mutex_;
  std::condition_variable pushed_;
  std::deque<TStatusMessage> messages_;
  std::size_t dropped_ = 0;
  std::chrono::system_clock::time_point firstDropped_;
  std::function<void()> wakeUp_;
};
