#pragma once

#include <cstddef>
#include <string_view>

// Hexadecimal digits as the mail codings write them: "=XX", "%XX" and the like.

inline constexpr char kUpperHexDigits[] = "0123456789ABCDEF";

// The value of a hexadecimal digit in either letter case, or -1 for any other byte.
[[nodiscard]] constexpr int hexDigitValue(char c) noexcept {
  if (c >= '0' && c <= '9') {
    return c - '0';
  }
  if (c >= 'A' && c <= 'F') {
    return c - 'A' + 10;
  }
  if (c >= 'a' && c <= 'f') {
    return c - 'a' + 10;
  }
  return -1;
}

// The byte that `introducer` and two hexadecimal digits at `position` stand for ("=4A" in
// quoted-printable words, "%4A" in RFC 2231 values), or -1 when there is no such escape.
[[nodiscard]] constexpr int hexEscapeAt(std::string_view text, std::size_t position,
                                        char introducer) noexcept {
  if (text[position] != introducer || position + 2 >= text.size()) {
    return -1;
  }
  const int high = hexDigitValue(text[position + 1]);
  const int low = hexDigitValue(text[position + 2]);
  return high < 0 || low < 0 ? -1 : high * 16 + low;
}
