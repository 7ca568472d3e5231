#include "app/filter/JsonText.h"

#include <array>
#include <cstddef>

namespace {

// The length of the valid UTF-8 sequence at the start of `text`, or 0.
std::size_t validSequenceLength(std::string_view text) {
  const auto byte = [&](std::size_t i) { return static_cast<unsigned char>(text[i]); };
  const unsigned char lead = byte(0);
  std::size_t length = 0;
  unsigned char low = 0x80;
  unsigned char high = 0xBF;  // the range of the second byte; the others are always 80-BF
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    if (lead == 0xE0) low = 0xA0;   // overlong
    if (lead == 0xED) high = 0x9F;  // surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    if (lead == 0xF0) low = 0x90;   // overlong
    if (lead == 0xF4) high = 0x8F;  // above U+10FFFF
  } else {
    return 0;
  }
  if (text.size() < length || byte(1) < low || byte(1) > high) return 0;
  for (std::size_t i = 2; i < length; ++i) {
    if (byte(i) < 0x80 || byte(i) > 0xBF) return 0;
  }
  return length;
}

}  // namespace

std::string JsonString(std::string_view bytes) {
  static constexpr std::array<char, 16> hex{'0', '1', '2', '3', '4', '5', '6', '7',
                                            '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
  std::string out;
  out.reserve(bytes.size() + 2);
  out += '"';
  while (!bytes.empty()) {
    const auto c = static_cast<unsigned char>(bytes.front());
    std::size_t used = 1;
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c == '\n') {
      out += "\\n";
    } else if (c == '\r') {
      out += "\\r";
    } else if (c == '\t') {
      out += "\\t";
    } else if (c < 0x20 || c == 0x7F) {
      out += "\\u00";
      out += hex[c >> 4];
      out += hex[c & 0xF];
    } else if (c < 0x80) {
      out += static_cast<char>(c);
    } else if ((used = validSequenceLength(bytes)) != 0) {
      out.append(bytes.substr(0, used));
    } else {
      used = 1;
      out += "\\ufffd";
    }
    bytes.remove_prefix(used);
  }
  out += '"';
  return out;
}
