#pragma once

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
