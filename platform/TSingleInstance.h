#pragma once

#include <chrono>
#include <filesystem>
#include <functional>
#include <memory>
#include <thread>

#include "platform/TStopSignal.h"

// Makes sure that one copy of the program runs per user. The first copy holds an flock on
// "quorix.lock" in the runtime folder for as long as it lives and serves the Unix-domain
// socket "quorix.sock" beside it; a second copy finds the lock taken and asks the first,
// over the socket, to come forward. The kernel drops the lock when a process dies however
// it dies, so a killed copy never blocks the next start; the socket file it leaves behind
// is removed by the next copy that takes the lock (only the lock holder serves the socket,
// so with the lock in hand any socket file there is stale).
class TSingleInstance {
 public:
  using TComeForward = std::function<void()>;

  // $XDG_RUNTIME_DIR when it is set to an absolute path; otherwise /tmp/quorix-<uid>,
  // created with mode 0700 if missing. Throws EQuorixException if that folder is not a
  // real folder of this user closed to everyone else (someone could then take the lock or
  // the socket in our place).
  [[nodiscard]] static std::filesystem::path DefaultFolder();

  // Takes the lock in `folder` and starts serving come-forward requests, calling
  // `onComeForward` on a thread of its own for each (a UI posts itself the work from
  // there). Returns nullptr when another copy holds the lock. Throws EQuorixException when
  // the lock file or socket cannot be made.
  [[nodiscard]] static std::unique_ptr<TSingleInstance> TryAcquire(const std::filesystem::path& folder,
                                                                   TComeForward onComeForward);

  // Asks the copy that holds the lock in `folder` to come forward; true when it confirmed
  // within `timeout`. False also when nobody answers (no copy runs, or it hangs).
  [[nodiscard]] static bool AskToComeForward(const std::filesystem::path& folder,
                                             std::chrono::milliseconds timeout = std::chrono::seconds(5));

  // Stops serving, removes the socket file and releases the lock.
  ~TSingleInstance();
  TSingleInstance(const TSingleInstance&) = delete;
  TSingleInstance& operator=(const TSingleInstance&) = delete;

  static constexpr const char* kLockFileName = "quorix.lock";
  static constexpr const char* kSocketFileName = "quorix.sock";

 private:
  TSingleInstance(std::filesystem::path folder, int lockFd, int socketFd, TComeForward onComeForward);
  void Serve();

  std::filesystem::path folder_;
  int lockFd_;
  int socketFd_;
  TComeForward onComeForward_;
  TStopSignal stop_;
  std::thread server_;
};
