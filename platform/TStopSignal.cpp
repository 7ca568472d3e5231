#include "platform/TStopSignal.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

TStopSignal::TStopSignal() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
  if (fd_ < 0) {
    throw std::system_error(errno, std::generic_category(), "cannot create an eventfd for a stop signal");
  }
}

TStopSignal::~TStopSignal() { ::close(fd_); }

void TStopSignal::Request() noexcept {
  if (requested_.exchange(true, std::memory_order_acq_rel)) {
    return;
  }
  const std::uint64_t one = 1;
  // The counter cannot overflow on a single write; a failure would leave only the flag,
  // which the polling loops also check.
  [[maybe_unused]] const ssize_t written = ::write(fd_, &one, sizeof one);
}
