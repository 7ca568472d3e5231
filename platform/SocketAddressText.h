#pragma once

#include <netinet/in.h>

#include <cstdint>
#include <string>

#include "platform/IConnection.h"

// Between sockaddr_in and dotted text, for the socket classes.
namespace Platform {

[[nodiscard]] TSocketAddress AddressOf(const sockaddr_in& address);
// False when `ipv4` is not a dotted IPv4 address.
[[nodiscard]] bool ParseIPv4(const std::string& ipv4, std::uint16_t port, sockaddr_in& address);
[[nodiscard]] std::string DescribeAddress(const std::string& ipv4, std::uint16_t port);

}  // namespace Platform
