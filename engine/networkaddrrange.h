#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// An IPv4 network that belongs to a web-bug provider. Addresses and masks are kept in network
// byte order, as the resolver hands them out, so no conversion stands between a looked-up
// address and the comparison.
struct networkaddrrange {
  std::uint32_t address = 0;
  std::uint32_t mask = 0;
  std::string provider;

  [[nodiscard]] bool contains(std::uint32_t networkOrderAddress) const noexcept {
    return (networkOrderAddress & mask) == (address & mask);
  }
};

// Reads an IPv4 address the way browsers read the host of a URL (and inet_aton reads its
// argument): one to four parts separated by "."; each part decimal, hexadecimal after "0x"
// or "0X" (no digits: 0), or octal after a leading "0"; every part but the last is one byte,
// the last fills the bytes left ("127.1" is 127.0.0.1, "2130706433" and "0x7f.1" too). One
// trailing "." is allowed. nullopt for anything else, including values that do not fit.
// The result is in network byte order.
[[nodiscard]] std::optional<std::uint32_t> parseIPv4Address(std::string_view text) noexcept;

// Whether the host's last label is a number (decimal or "0x..."): browsers take such a host
// as an IPv4 address or reject it, and never look it up by name.
[[nodiscard]] bool endsInNumber(std::string_view host) noexcept;

// "a.b.c.d/m.m.m.m" (or "a.b.c.d/n" with a prefix length 0 to 32), blanks around the parts
// allowed; nullopt when either part cannot be read.
[[nodiscard]] std::optional<networkaddrrange> parseNetworkAddressRange(std::string_view text,
                                                                       std::string provider);
