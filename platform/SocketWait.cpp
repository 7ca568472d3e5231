#include "platform/SocketWait.h"

#include <poll.h>

#include <algorithm>
#include <cerrno>

#include "platform/ESocketError.h"
#include "platform/IConnection.h"
#include "platform/TStopSignal.h"

namespace Platform {

TWaitResult WaitForSocket(int fd, short events, std::chrono::steady_clock::time_point deadline,
                          const TStopSignal* stop) {
  using namespace std::chrono;
  for (;;) {
    if (stop != nullptr && stop->IsRequested()) {
      return TWaitResult::Stopped;
    }
    const auto now = steady_clock::now();
    if (now >= deadline) {
      return TWaitResult::TimedOut;
    }
    // Rounded up, so that a wait of less than a millisecond does not spin with poll(0).
    const auto remaining = ceil<milliseconds>(deadline - now);
    const auto slice = std::min(remaining, IConnection::kStopCheckInterval);
    pollfd fds[2] = {{fd, events, 0}, {stop != nullptr ? stop->Fd() : -1, POLLIN, 0}};
    const int ready = ::poll(fds, stop != nullptr ? 2 : 1, static_cast<int>(slice.count()));
    if (ready < 0) {
      if (errno == EINTR) {
        continue;
      }
      throw ESocketError::FromErrno(errno, "cannot wait for a socket");
    }
    if (fds[0].revents != 0) {
      return TWaitResult::Ready;
    }
  }
}

}  // namespace Platform
