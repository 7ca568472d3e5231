#include <algorithm>
#include <cstdint>
#include <cstring>
#include <stdexcept>

#include "mailparser/TransferCodings.h"

namespace MailParser {

namespace {

// A count character yields at most 63, and 63 bytes need 21 groups of four characters.
constexpr std::size_t kMaxEncodedCharacters = std::size_t{(63 + 2) / 3} * 4;

constexpr std::uint8_t sixBits(char c) noexcept {
  return (static_cast<std::uint8_t>(c) - 32) & 63;
}

void decodeLine(std::string_view line, std::string& decoded) {
  if (line.empty()) {
    return;
  }
  const std::size_t count = sixBits(line[0]);
  if (count == 0) {
    return;  // "`" or " ": the empty last line of an encoded file
  }
  const std::size_t needed = (count + 2) / 3 * 4;

  // Mailers and editors strip trailing spaces, which in this coding are data (zero bits);
  // padding them back restores the line instead of losing its last bytes.
  char padded[kMaxEncodedCharacters];
  const std::string_view encoded = line.substr(1);
  const std::size_t present = std::min(encoded.size(), needed);
  std::memcpy(padded, encoded.data(), present);
  std::memset(padded + present, ' ', needed - present);

  std::size_t remaining = count;
  for (std::size_t group = 0; remaining > 0; group += 4) {
    if (group + 4 > needed) {
      throw std::runtime_error("iterated past end of input line doing uudecode!");
    }
    const std::uint8_t c1 = sixBits(padded[group]);
    const std::uint8_t c2 = sixBits(padded[group + 1]);
    const std::uint8_t c3 = sixBits(padded[group + 2]);
    const std::uint8_t c4 = sixBits(padded[group + 3]);
    const char bytes[3] = {
        static_cast<char>((c1 << 2) | (c2 >> 4)),
        static_cast<char>(((c2 << 4) | (c3 >> 2)) & 0xFF),
        static_cast<char>(((c3 << 6) | c4) & 0xFF),
    };
    const std::size_t taken = std::min<std::size_t>(remaining, 3);
    decoded.append(bytes, taken);
    remaining -= taken;
  }
}

}  // namespace

std::string decodeUUEncoded(std::string_view block) {
  std::string decoded;
  decoded.reserve(block.size() / 4 * 3);
  std::size_t lineStart = 0;
  // A last piece without CR LF is not a complete line and is left out.
  for (std::size_t lineEnd = block.find("\r\n"); lineEnd != std::string_view::npos;
       lineEnd = block.find("\r\n", lineStart)) {
    decodeLine(block.substr(lineStart, lineEnd - lineStart), decoded);
    lineStart = lineEnd + 2;
  }
  return decoded;
}

}  // namespace MailParser
