#include "platform/TMemoryConnection.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>

#include "platform/ESocketError.h"

// One direction of the pair: what side `from` wrote and side 1 - from has not read yet.
struct TMemoryDirection {
  std::deque<std::string> chunks;
  bool writerClosed = false;  // the writing end closed: the reader gets end of input
  bool writerReset = false;   // the writing end reset: the reader gets Reset
  bool readerGone = false;    // the reading end closed or reset: writes fail
  bool readerReset = false;
};

struct TMemoryConnection::TShared {
  std::mutex mutex;
  std::condition_variable changed;
  TMemoryDirection toward[2];  // toward[s]: bytes that side s reads
  TSocketAddress address[2];
  bool closed[2] = {false, false};
};

std::pair<std::unique_ptr<TMemoryConnection>, std::unique_ptr<TMemoryConnection>> TMemoryConnection::CreatePair(
    TSocketAddress firstLocal, TSocketAddress secondLocal) {
  auto shared = std::make_shared<TShared>();
  shared->address[0] = std::move(firstLocal);
  shared->address[1] = std::move(secondLocal);
  return {std::make_unique<TMemoryConnection>(shared, 0), std::make_unique<TMemoryConnection>(shared, 1)};
}

TMemoryConnection::TMemoryConnection(std::shared_ptr<TShared> shared, int side)
    : shared_(std::move(shared)), side_(side) {}

TMemoryConnection::~TMemoryConnection() {
  // The peer must not wait for bytes from an end that no longer exists. No notification:
  // the handler may refer to an owner that is being destroyed too.
  const std::lock_guard lock(shared_->mutex);
  shared_->closed[side_] = true;
  shared_->toward[1 - side_].writerClosed = true;
  shared_->toward[side_].readerGone = true;
  shared_->changed.notify_all();
}

TReadResult TMemoryConnection::ReadLine(std::chrono::milliseconds timeout) {
  const auto deadline = std::chrono::steady_clock::now() + timeout;
  std::unique_lock lock(shared_->mutex);
  TMemoryDirection& in = shared_->toward[side_];
  for (;;) {
    if (shared_->closed[side_]) {
      return {TReadStatus::Closed, {}};
    }
    if (auto piece = buffer_.TakePiece()) {
      return {StatusOf(piece->End), std::move(piece->Text)};
    }
    if (!in.chunks.empty()) {
      buffer_.Append(in.chunks.front());
      in.chunks.pop_front();
      continue;
    }
    if (in.writerReset) {
      lock.unlock();
      NotifyDisconnect(TDisconnectReason::PeerReset);
      return {TReadStatus::Reset, {}};
    }
    if (in.writerClosed) {
      if (auto piece = buffer_.TakePiece(true)) {
        return {StatusOf(piece->End), std::move(piece->Text)};
      }
      lock.unlock();
      NotifyDisconnect(TDisconnectReason::PeerClosed);
      return {TReadStatus::Closed, {}};
    }
    if (StopRequested()) {
      return {TReadStatus::Stopped, {}};
    }
    const auto now = std::chrono::steady_clock::now();
    if (now >= deadline) {
      return {TReadStatus::TimedOut, {}};
    }
    // The stop signal cannot wake a condition variable, so waits are short slices.
    shared_->changed.wait_until(lock, std::min(deadline, now + std::chrono::milliseconds(20)));
  }
}

void TMemoryConnection::Write(std::string_view bytes) {
  std::unique_lock lock(shared_->mutex);
  TMemoryDirection& out = shared_->toward[1 - side_];
  if (shared_->closed[side_]) {
    throw ESocketError(TSocketErrorKind::Closed, 0, "cannot write to a closed connection", "Connection closed");
  }
  if (out.readerGone) {
    const bool reset = out.readerReset;
    lock.unlock();
    NotifyDisconnect(reset ? TDisconnectReason::PeerReset : TDisconnectReason::PeerClosed);
    throw ESocketError(reset ? TSocketErrorKind::Reset : TSocketErrorKind::Closed, 0, "cannot write",
                       reset ? "Connection reset by peer" : "Broken pipe");
  }
  if (!bytes.empty()) {
    out.chunks.emplace_back(bytes);
    shared_->changed.notify_all();
  }
}

void TMemoryConnection::Close() noexcept {
  {
    const std::lock_guard lock(shared_->mutex);
    if (shared_->closed[side_]) {
      return;
    }
    shared_->closed[side_] = true;
    shared_->toward[1 - side_].writerClosed = true;
    shared_->toward[side_].readerGone = true;
    shared_->changed.notify_all();
  }
  NotifyDisconnect(TDisconnectReason::LocalClose);
}

void TMemoryConnection::ResetByPeer() noexcept {
  {
    const std::lock_guard lock(shared_->mutex);
    shared_->closed[side_] = true;
    shared_->toward[1 - side_].writerReset = true;
    shared_->toward[1 - side_].chunks.clear();
    shared_->toward[side_].readerGone = true;
    shared_->toward[side_].readerReset = true;
    shared_->changed.notify_all();
  }
  NotifyDisconnect(TDisconnectReason::LocalClose);
}

bool TMemoryConnection::IsConnected() const noexcept {
  const std::lock_guard lock(shared_->mutex);
  return !shared_->closed[side_];
}

TSocketAddress TMemoryConnection::LocalAddress() const { return shared_->address[side_]; }
TSocketAddress TMemoryConnection::PeerAddress() const { return shared_->address[1 - side_]; }
