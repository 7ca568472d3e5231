#pragma once

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

// Three-way comparison of the ASCII-lower-cased operands, byte by byte (unsigned).
[[nodiscard]] int caseInsensitiveCompare(std::string_view a, std::string_view b) noexcept;

[[nodiscard]] bool caseInsensitiveEquals(std::string_view a, std::string_view b) noexcept;

// True when `text` begins with `prefix`, letter case ignored.
[[nodiscard]] bool caseInsensitiveStartsWith(std::string_view text, std::string_view prefix) noexcept;
