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

}  // namespace Platform
