#include "engine/networkaddrrange.h"

#include <arpa/inet.h>

#include <array>
#include <cstddef>

namespace {

std::string_view trimBlanks(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t')) text.remove_suffix(1);
  return text;
}

// One part of an address; values above 2^32 are cut off as soon as they pass it, so an
// over-long run of digits cannot overflow.
std::optional<std::uint64_t> parseNumber(std::string_view part) {
  if (part.empty()) return std::nullopt;
  unsigned base = 10;
  if (part.size() >= 2 && part[0] == '0' && (part[1] == 'x' || part[1] == 'X')) {
    base = 16;
    part.remove_prefix(2);
  } else if (part.size() >= 2 && part[0] == '0') {
    base = 8;
    part.remove_prefix(1);
  }
  constexpr std::uint64_t kTooBig = std::uint64_t{1} << 32;
  std::uint64_t value = 0;
  for (const char c : part) {
    unsigned digit = 0;
    if (c >= '0' && c <= '9') {
      digit = static_cast<unsigned>(c - '0');
    } else if (base == 16 && c >= 'a' && c <= 'f') {
      digit = static_cast<unsigned>(c - 'a' + 10);
    } else if (base == 16 && c >= 'A' && c <= 'F') {
      digit = static_cast<unsigned>(c - 'A' + 10);
    } else {
      return std::nullopt;
    }
    if (digit >= base) return std::nullopt;
    value = value * base + digit;
    if (value >= kTooBig) return kTooBig;
  }
  return value;
}

}  // namespace

std::optional<std::uint32_t> parseIPv4Address(std::string_view text) noexcept {
  if (!text.empty() && text.back() == '.') text.remove_suffix(1);
  if (text.empty()) return std::nullopt;
  std::array<std::uint64_t, 4> parts{};
  std::size_t count = 0;
  while (true) {
    if (count == parts.size()) return std::nullopt;
    const auto dot = text.find('.');
    const auto value = parseNumber(text.substr(0, dot));
    if (!value) return std::nullopt;
    parts[count++] = *value;
    if (dot == std::string_view::npos) break;
    text.remove_prefix(dot + 1);
  }
  std::uint64_t address = 0;
  for (std::size_t i = 0; i + 1 < count; ++i) {
    if (parts[i] > 0xFF) return std::nullopt;
    address |= parts[i] << (8 * (3 - i));
  }
  const std::size_t lastBits = 8 * (5 - count);
  if (parts[count - 1] >= (std::uint64_t{1} << lastBits)) return std::nullopt;
  address |= parts[count - 1];
  return htonl(static_cast<std::uint32_t>(address));
}

bool endsInNumber(std::string_view host) noexcept {
  if (!host.empty() && host.back() == '.') host.remove_suffix(1);
  const auto dot = host.rfind('.');
  const std::string_view last = dot == std::string_view::npos ? host : host.substr(dot + 1);
  if (last.empty()) return false;
  if (last.find_first_not_of("0123456789") == std::string_view::npos) return true;
  return parseNumber(last).has_value() && last.size() >= 2 && last[0] == '0' && (last[1] == 'x' || last[1] == 'X');
}

std::optional<networkaddrrange> parseNetworkAddressRange(std::string_view text, std::string provider) {
  const auto slash = text.find('/');
  if (slash == std::string_view::npos) return std::nullopt;
  const std::string_view addressText = trimBlanks(text.substr(0, slash));
  const std::string_view maskText = trimBlanks(text.substr(slash + 1));
  const auto address = parseIPv4Address(addressText);
  if (!address || maskText.empty()) return std::nullopt;
  std::uint32_t mask = 0;
  if (maskText.find_first_not_of("0123456789") == std::string_view::npos && maskText.size() <= 2) {
    // A prefix length: "/24" read as a dotted address would be the mask 0.0.0.24.
    const int bits = std::stoi(std::string(maskText));
    if (bits > 32) return std::nullopt;
    mask = bits == 0 ? 0 : htonl(~std::uint32_t{0} << (32 - bits));
  } else if (const auto dotted = parseIPv4Address(maskText)) {
    mask = *dotted;
  } else {
    return std::nullopt;
  }
  return networkaddrrange{*address, mask, std::move(provider)};
}
