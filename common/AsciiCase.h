#pragma once

#include <cstddef>
#include <string>
#include <string_view>

// Letter case in mail and settings names is ASCII only: A-Z and a-z are folded, every other
// byte (including 0x80 and above) is left as it is, so the result never depends on a locale.

[[nodiscard]] constexpr char asciiToLower(char c) noexcept {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

[[nodiscard]] constexpr char asciiToUpper(char c) noexcept {
  return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c;
}

[[nodiscard]] std::string asciiLowerCase(std::string_view text);
[[nodiscard]] std::string asciiUpperCase(std::string_view text);

// Three-way comparison of the operands with every byte passed through `fold` first, byte by
// byte (unsigned, so that 8-bit names order the same on every platform); a shorter operand
// that is a prefix of the other sorts first. The orders of names below are built on it.
template <class Fold>
[[nodiscard]] constexpr int foldedCompare(std::string_view a, std::string_view b, Fold fold) noexcept {
  const std::size_t common = a.size() < b.size() ? a.size() : b.size();
  for (std::size_t i = 0; i < common; ++i) {
    const auto ca = static_cast<unsigned char>(fold(a[i]));
    const auto cb = static_cast<unsigned char>(fold(b[i]));
    if (ca != cb) {
      return ca < cb ? -1 : 1;
    }
  }
  if (a.size() == b.size()) {
    return 0;
  }
  return a.size() < b.size() ? -1 : 1;
}

// Three-way comparison of the ASCII-lower-cased operands, byte by byte (unsigned).
[[nodiscard]] int caseInsensitiveCompare(std::string_view a, std::string_view b) noexcept;

[[nodiscard]] bool caseInsensitiveEquals(std::string_view a, std::string_view b) noexcept;

// True when `text` begins with `prefix`, letter case ignored.
[[nodiscard]] bool caseInsensitiveStartsWith(std::string_view text, std::string_view prefix) noexcept;
