#include <algorithm>
#include <array>
#include <bit>
#include <cstdint>
#include <cstring>

#include "common/HexDigits.h"
#include "mailparser/TransferCodings.h"

namespace MailParser {

namespace {

constexpr std::uint8_t byteAt(std::string_view text, std::size_t position) noexcept {
  return static_cast<std::uint8_t>(text[position]);
}

constexpr bool isBlank(char c) noexcept {
  return c == ' ' || c == '\t';
}

constexpr bool isLineBreakAt(std::string_view text, std::size_t position) noexcept {
  return position + 1 < text.size() && text[position] == '\r' && text[position + 1] == '\n';
}

constexpr std::size_t skipBlanks(std::string_view text, std::size_t position) noexcept {
  while (position < text.size() && isBlank(text[position])) {
    ++position;
  }
  return position;
}

// --- decoding

constexpr std::uint8_t kNotHex = 0xFF;

constexpr std::array<std::uint8_t, 256> makeHexValues() {
  std::array<std::uint8_t, 256> values{};
  values.fill(kNotHex);
  for (int digit = 0; digit < 10; ++digit) {
    values['0' + digit] = static_cast<std::uint8_t>(digit);
  }
  for (int letter = 0; letter < 6; ++letter) {
    values['A' + letter] = static_cast<std::uint8_t>(10 + letter);
    values['a' + letter] = static_cast<std::uint8_t>(10 + letter);
  }
  return values;
}

constexpr std::array<std::uint8_t, 256> kHexValues = makeHexValues();

// The bytes at which a decoded run cannot simply be copied on: everything else is copied in
// bulk, which is what keeps decoding close to the speed of a plain copy. Blanks are copied
// too and taken back if a line break follows them.
constexpr std::array<bool, 256> makeRunStops() {
  std::array<bool, 256> stops{};
  stops['='] = true;
  stops['\r'] = true;
  return stops;
}

constexpr std::array<bool, 256> kRunStops = makeRunStops();

// The high bit of each byte of `word` that equals `wanted`, and no other bit. The additions
// stay within their bytes, so unlike the usual borrow trick no match marks its neighbours.
constexpr std::uint64_t matchingBytes(std::uint64_t word, char wanted) noexcept {
  constexpr std::uint64_t kOnes = 0x0101010101010101ULL;
  constexpr std::uint64_t kLowBits = 0x7F7F7F7F7F7F7F7FULL;
  const std::uint64_t matched = word ^ (kOnes * static_cast<std::uint8_t>(wanted));
  return ~(((matched & kLowBits) + kLowBits) | matched | kLowBits);
}

// Index, in memory order, of the first byte marked by matchingBytes (marks must not be 0).
constexpr std::size_t firstMatchingByte(std::uint64_t marks) noexcept {
  if constexpr (std::endian::native == std::endian::little) {
    return static_cast<std::size_t>(std::countr_zero(marks)) / 8;
  } else {
    return static_cast<std::size_t>(std::countl_zero(marks)) / 8;
  }
}

// Each step below starts at `position`, writes what it decodes through `out` (moving it on)
// and returns the position at which the next step starts.

// Copies the bytes from `position` up to the next "=" or CR (or the end) and returns that
// position. Plain text is copied eight bytes at a time, each word stored whole even when a
// byte in it needs a look: the output never runs ahead of the input, so the word fits, and
// the bytes from the first "=" or CR on are overwritten by what follows.
std::size_t copyPlainRun(std::string_view block, std::size_t position, char*& out) noexcept {
  const std::size_t size = block.size();
  while (position + 8 <= size) {
    std::uint64_t word;
    std::memcpy(&word, block.data() + position, 8);
    std::memcpy(out, &word, 8);
    const std::uint64_t stops = matchingBytes(word, '=') | matchingBytes(word, '\r');
    if (stops != 0) {
      const std::size_t plain = firstMatchingByte(stops);
      out += plain;
      return position + plain;
    }
    out += 8;
    position += 8;
  }
  while (position < size && !kRunStops[byteAt(block, position)]) {
    *out++ = block[position++];
  }
  return position;
}

// At a CR. A CR LF drops the blanks that directly precede it, which may have been added in
// transport and carry no data; they can only belong to the run that started at `runStart`,
// since no run starts right after a blank. The CR LF that ends the block closed the last
// body line and is not data. A CR on its own is copied.
std::size_t decodeCarriageReturn(std::string_view block, std::size_t runStart, std::size_t position,
                                 char*& out) noexcept {
  if (!isLineBreakAt(block, position)) {
    *out++ = '\r';
    return position + 1;
  }
  std::size_t blanks = position;
  while (blanks > runStart && isBlank(block[blanks - 1])) {
    --blanks;
  }
  out -= position - blanks;
  if (position + 2 == block.size()) {
    return block.size();
  }
  *out++ = '\r';
  *out++ = '\n';
  return position + 2;
}

// At an "=": an escape "=XX", a soft line break (some encoders leave blanks between the "="
// and the line end), or a broken escape ("=" at the end, "=4", "=G1"), which is kept as
// written: showing the odd text loses less than guessing what was meant.
std::size_t decodeEquals(std::string_view block, std::size_t position, char*& out) noexcept {
  if (position + 2 < block.size()) {
    const std::uint8_t high = kHexValues[byteAt(block, position + 1)];
    const std::uint8_t low = kHexValues[byteAt(block, position + 2)];
    if (high != kNotHex && low != kNotHex) {
      *out++ = static_cast<char>((high << 4) | low);
      return position + 3;
    }
  }
  const std::size_t afterBlanks = skipBlanks(block, position + 1);
  if (isLineBreakAt(block, afterBlanks)) {
    return afterBlanks + 2;
  }
  *out++ = '=';
  return position + 1;
}

// --- encoding

// Width at which the encoder breaks a line; an "=XX" started just before it and the "=" of
// the soft break make the longest line 75 characters.
constexpr std::size_t kSoftBreakColumn = 72;


// The bytes that stand for themselves in encoded text: printable ASCII other than "=".
constexpr std::array<bool, 256> makeLiterals() {
  std::array<bool, 256> literals{};
  for (int byte = 0x21; byte <= 0x7E; ++byte) {
    literals[byte] = byte != '=';
  }
  return literals;
}

constexpr std::array<bool, 256> kLiteral = makeLiterals();

std::uint64_t wordAt(std::string_view text, std::size_t position) noexcept {
  std::uint64_t word;
  std::memcpy(&word, text.data() + position, sizeof word);
  return word;
}

// Whether all eight bytes of `word` are in 0x20..0x7E and none is "=". Bytes below 0x80 stay
// within their byte when 0x60 or 1 is added, so each high bit answers for its own byte.
constexpr bool isPlainWord(std::uint64_t word) noexcept {
  constexpr std::uint64_t kHighBits = 0x8080808080808080ULL;
  const bool sevenBit = (word & kHighBits) == 0;
  const bool noControls = ((word + 0x6060606060606060ULL) & kHighBits) == kHighBits;
  const bool noDelete = ((word + 0x0101010101010101ULL) & kHighBits) == 0;
  return sevenBit && noControls && noDelete && matchingBytes(word, '=') == 0;
}

// Whether the byte at `position` is written as it is: printable ASCII other than "=", and a
// blank that cannot end up at the end of a line, where a decoder would drop it. A blank
// counts as possibly last when it ends the input or comes before a CR or two bytes before an
// LF, except directly before the input's last byte: that byte is not a CR LF, so the blank
// cannot end a line there.
constexpr bool staysLiteral(std::string_view bytes, std::size_t position) noexcept {
  const std::uint8_t byte = byteAt(bytes, position);
  if (kLiteral[byte]) {
    return true;
  }
  if (!isBlank(static_cast<char>(byte))) {
    return false;
  }
  const std::size_t following = bytes.size() - position - 1;
  if (following == 1) {
    return true;
  }
  return following != 0 && bytes[position + 1] != '\r' && !(following >= 2 && bytes[position + 2] == '\n');
}

}  // namespace

std::string decodeQuotedPrintable(std::string_view block) {
  // Decoding never lengthens the text, so the output is sized once and trimmed at the end.
  std::string decoded(block.size(), '\0');
  char* out = decoded.data();
  std::size_t position = 0;
  while (position < block.size()) {
    const std::size_t runStart = position;
    position = copyPlainRun(block, position, out);
    if (position == block.size()) {
      break;
    }
    position = block[position] == '\r' ? decodeCarriageReturn(block, runStart, position, out)
                                        : decodeEquals(block, position, out);
  }
  decoded.resize(static_cast<std::size_t>(out - decoded.data()));
  return decoded;
}

std::string encodeQuotedPrintable(std::string_view bytes) {
  std::string encoded;
  encoded.reserve(2 * bytes.size());
  const std::size_t size = bytes.size();
  std::size_t column = 0;
  std::size_t position = 0;
  while (position < size) {
    if (column >= kSoftBreakColumn) {
      encoded.append("=\r\n");
      column = 0;
    }
    const std::uint8_t byte = byteAt(bytes, position);
    if (staysLiteral(bytes, position)) {
      // Text that needs no escape goes out in one piece, up to the break column.
      const std::size_t limit = std::min(size, position + (kSoftBreakColumn - column));
      std::size_t runEnd = position + 1;
      // Eight bytes at a time while they and the two after them are printable ASCII without
      // "=": then every blank among the eight is followed by neither CR nor LF and stays.
      while (runEnd + 8 <= limit && runEnd + 10 <= size && isPlainWord(wordAt(bytes, runEnd)) &&
             isPlainWord(wordAt(bytes, runEnd + 2))) {
        runEnd += 8;
      }
      while (runEnd < limit && staysLiteral(bytes, runEnd)) {
        ++runEnd;
      }
      encoded.append(bytes.data() + position, runEnd - position);
      column += runEnd - position;
      position = runEnd;
      continue;
    }
    if (isLineBreakAt(bytes, position)) {
      encoded.append("\r\n");
      column = 0;
      position += 2;
      continue;
    }
    encoded.push_back('=');
    encoded.push_back(kUpperHexDigits[byte >> 4]);
    encoded.push_back(kUpperHexDigits[byte & 0x0F]);
    column += 3;
    ++position;
  }
  return encoded;
}

}  // namespace MailParser
