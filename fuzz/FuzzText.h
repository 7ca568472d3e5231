#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

// Fuzz input as the text an HTML parser meets: bytes read as UTF-8, surrogates encoded in it
// included, and every byte that starts no sequence as a Latin-1 character, so the fuzzer
// reaches every code unit: ASCII markup, characters from 128 to 255, wide ones, pairs and
// lone surrogates.
inline std::u16string fuzzTextAsWide(const std::uint8_t* data, std::size_t size) {
  std::u16string wide;
  for (std::size_t i = 0; i < size;) {
    const std::uint8_t b = data[i];
    const std::size_t length = b >= 0xF0 && b < 0xF5   ? 4
                               : b >= 0xE0 && b < 0xF0 ? 3
                               : b >= 0xC2 && b < 0xE0 ? 2
                                                       : 1;
    char32_t code = b;
    bool valid = length == 1 || i + length <= size;
    if (length > 1 && valid) {
      code = b & (0x3F >> (length - 1));
      for (std::size_t k = 1; k < length && valid; ++k) {
        valid = (data[i + k] & 0xC0) == 0x80;
        code = (code << 6) | (data[i + k] & 0x3F);
      }
      valid = valid && code <= 0x10FFFF;
    }
    if (!valid) {
      wide.push_back(b);
      ++i;
      continue;
    }
    if (code > 0xFFFF) {
      wide.push_back(static_cast<char16_t>(0xD800 + ((code - 0x10000) >> 10)));
      wide.push_back(static_cast<char16_t>(0xDC00 + ((code - 0x10000) & 0x3FF)));
    } else {
      wide.push_back(static_cast<char16_t>(code));
    }
    i += length;
  }
  return wide;
}
