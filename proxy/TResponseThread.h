#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>

#include "engine/TProxyMessageProcessorInterfaceBase.h"
#include "platform/IConnection.h"
#include "platform/TStopSignal.h"
#include "proxy/TPOPResponseHandler.h"

// Relays the server's replies to the mail client on a thread of its own: every line as it
// is, or through the response handler installed for the reply in progress. It stops when
// `stop` is raised (within one 500 ms read), when the server closes or resets, when the
// client can no longer be written, and after an unexpected error, which it reports as an
// error status line. Then it frees the handler and raises `finished`.
class TResponseThread {
 public:
  static constexpr std::chrono::milliseconds kReadTimeout{500};

  // All borrowed; they must outlive the thread. `outputStatus` may be empty.
  TResponseThread(IConnection& client, IConnection& server, const TStopSignal& stop, TStopSignal& finished,
                  TOutputStatusEvent outputStatus);
  // Joins the thread: whoever owns `stop` must have raised it (or the server must be gone).
  ~TResponseThread();
  TResponseThread(const TResponseThread&) = delete;
  TResponseThread& operator=(const TResponseThread&) = delete;

  void Start();
  // Waits for the thread to end; at once if it was never started or has been joined.
  void Join();

  // Frees the installed handler (with whatever message it had in progress) and installs
  // `handler`, which may be null. From any thread; waits while a line is being handled.
  void SetResponseHandler(std::unique_ptr<TPOPResponseHandler> handler);

  [[nodiscard]] bool Terminated() const noexcept { return terminated_.load(std::memory_order_acquire); }

 private:
  void Execute();
  void Relay(const TReadResult& piece);

  IConnection& client_;
  IConnection& server_;
  const TStopSignal& stop_;
  TStopSignal& finished_;
  TOutputStatusEvent outputStatus_;

  std::mutex handlerMutex_;
  std::unique_ptr<TPOPResponseHandler> handler_;  // guarded by handlerMutex_
  bool midLine_ = false;  // the relay thread's own: a piece of an over-long line went out raw

  std::atomic<bool> terminated_{false};
  std::thread thread_;
};
