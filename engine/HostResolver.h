#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>

// Finds the IPv4 address of a host name: the first one the resolver gives, in network byte
// order, or nullopt when the name cannot be resolved. Replaceable so that tests need no DNS.
using HostResolver = std::function<std::optional<std::uint32_t>(const std::string& hostName)>;

// The system resolver (getaddrinfo, which consults the hosts file), asked for IPv4 only.
[[nodiscard]] std::optional<std::uint32_t> resolveFirstIPv4Address(const std::string& hostName);
