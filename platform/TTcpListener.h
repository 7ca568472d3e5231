#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/IConnection.h"

class TStopSignal;
class TTcpConnection;

// A listening TCP socket on one IPv4 address. SO_REUSEADDR is set, so a restart does not
// wait for the last run's connections in TIME_WAIT; two live listeners on one port still
// collide.
class TTcpListener {
 public:
  // Binds `ipv4`:`port` (0 picks a free port, see Address()) and listens. Throws
  // ESocketError whose what() names address and port: AddressInUse when another socket has
  // the port, AccessDenied when the port needs privileges, Other for the rest.
  TTcpListener(const std::string& ipv4, std::uint16_t port, int backlog = 128);
  ~TTcpListener();
  TTcpListener(const TTcpListener&) = delete;
  TTcpListener& operator=(const TTcpListener&) = delete;

  // The address bound, with the port the system chose for port 0.
  [[nodiscard]] TSocketAddress Address() const noexcept { return address_; }

  // The next connection, or nullptr when none came within `timeout` or `stop` was raised
  // (the stop wakes the wait at once). Connections that fail before they are taken are
  // skipped. Throws ESocketError when accepting is impossible (out of descriptors); the
  // caller may wait and try again.
  [[nodiscard]] std::unique_ptr<TTcpConnection> Accept(std::chrono::milliseconds timeout,
                                                       const TStopSignal* stop = nullptr);

 private:
  int fd_;
  TSocketAddress address_;
};
