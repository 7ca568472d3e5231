#include <array>
#include <cstdint>

#include "mailparser/TransferCodings.h"

namespace MailParser {

namespace {

constexpr std::uint8_t kPadding = 64;
constexpr std::uint8_t kSkipped = 0xFF;

constexpr std::array<std::uint8_t, 256> makeSextets() {
  std::array<std::uint8_t, 256> sextets{};
  sextets.fill(kSkipped);
  constexpr std::string_view kAlphabet = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/";
  for (std::size_t value = 0; value < kAlphabet.size(); ++value) {
    sextets[static_cast<std::uint8_t>(kAlphabet[value])] = static_cast<std::uint8_t>(value);
  }
  sextets['='] = kPadding;
  return sextets;
}

constexpr std::array<std::uint8_t, 256> kSextets = makeSextets();

constexpr std::uint8_t sextetAt(std::string_view text, std::size_t position) noexcept {
  return kSextets[static_cast<std::uint8_t>(text[position])];
}

}  // namespace

std::string decodeBase64(std::string_view block) {
  const std::size_t size = block.size();
  // At most three bytes come from every four input bytes; the buffer is sized once and
  // trimmed at the end so that the hot loop writes through a pointer.
  std::string decoded(size / 4 * 3 + 8, '\0');
  char* out = decoded.data();

  std::uint32_t group = 0;
  int collected = 0;
  int padding = 0;
  std::size_t position = 0;
  while (position < size) {
    if (collected == 0 && position + 4 <= size) {
      // Most of a body is whole groups of four alphabet characters between line breaks;
      // take those in one step and leave everything else to the general path below.
      const std::uint8_t a = sextetAt(block, position);
      const std::uint8_t b = sextetAt(block, position + 1);
      const std::uint8_t c = sextetAt(block, position + 2);
      const std::uint8_t d = sextetAt(block, position + 3);
      if ((a | b | c | d) < kPadding) {
        const std::uint32_t bits =
            (std::uint32_t{a} << 18) | (std::uint32_t{b} << 12) | (std::uint32_t{c} << 6) | std::uint32_t{d};
        out[0] = static_cast<char>(bits >> 16);
        out[1] = static_cast<char>(bits >> 8);
        out[2] = static_cast<char>(bits);
        out += 3;
        position += 4;
        continue;
      }
    }

    std::uint8_t sextet = sextetAt(block, position++);
    if (sextet == kSkipped) {
      continue;
    }
    if (sextet == kPadding) {
      // Padding in the middle does not end the data: some mailers concatenate separately
      // encoded pieces, and dropping the rest would lose them.
      ++padding;
      sextet = 0;
    }
    group = (group << 6) | sextet;
    if (++collected == 4) {
      *out++ = static_cast<char>(group >> 16);
      if (padding < 2) {
        *out++ = static_cast<char>(group >> 8);
      }
      if (padding == 0) {
        *out++ = static_cast<char>(group);
      }
      group = 0;
      collected = 0;
      padding = 0;
    }
  }
  decoded.resize(static_cast<std::size_t>(out - decoded.data()));
  return decoded;
}

}  // namespace MailParser
