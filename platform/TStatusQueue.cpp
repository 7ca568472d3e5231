#include "platform/TStatusQueue.h"

#include <stdexcept>

TStatusQueue::TStatusQueue(std::size_t capacity) : capacity_(capacity) {
  if (capacity == 0) {
    throw std::invalid_argument("a status queue needs room for at least one message");
  }
}

void TStatusQueue::Push(TStatusKind kind, std::string text) {
  const auto now = std::chrono::system_clock::now();
  bool wasEmpty = false;
  {
    const std::lock_guard lock(mutex_);
    wasEmpty = messages_.empty() && dropped_ == 0;
    if (messages_.size() >= capacity_) {
      if (dropped_++ == 0) {
        firstDropped_ = now;
      }
      return;
    }
    messages_.push_back({kind, std::move(text), now});
  }
  pushed_.notify_all();
  if (wasEmpty && wakeUp_) {
    wakeUp_();
  }
}

std::vector<TStatusMessage> TStatusQueue::Drain() {
  const std::lock_guard lock(mutex_);
  std::vector<TStatusMessage> drained(std::make_move_iterator(messages_.begin()),
                                      std::make_move_iterator(messages_.end()));
  messages_.clear();
  // Every dropped message came after the ones kept (it was dropped because they filled the
  // queue), so the count line belongs at the end.
  if (dropped_ > 0) {
    drained.push_back({TStatusKind::Warning, DroppedText(dropped_), firstDropped_});
    dropped_ = 0;
  }
  return drained;
}

bool TStatusQueue::WaitForMessages(std::chrono::milliseconds timeout) {
  std::unique_lock lock(mutex_);
  return pushed_.wait_for(lock, timeout, [this] { return !messages_.empty() || dropped_ > 0; });
}

std::string TStatusQueue::DroppedText(std::size_t dropped) {
  return std::to_string(dropped) + (dropped == 1 ? " status message was" : " status messages were") +
         " dropped because they came faster than they could be shown";
}
