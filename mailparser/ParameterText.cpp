#include "mailparser/ParameterText.h"

#include <array>
#include <cstdint>

#include "common/AsciiCase.h"
#include "mailparser/Charsets.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/UnicodeDecoders.h"

namespace MailParser {

namespace {

std::uint8_t byteAt(std::string_view bytes, std::size_t position) {
  return static_cast<std::uint8_t>(bytes[position]);
}

// The length of the well-formed UTF-8 sequence at `position`, or 0 when there is none. For an
// ill-formed one, `prefix` is how many of its bytes could still have begun a character: they
// are replaced together, as one U+FFFD.
std::size_t sequenceAt(std::string_view bytes, std::size_t position, std::size_t& prefix) {
  const std::uint8_t lead = byteAt(bytes, position);
  prefix = 1;
  if (lead < 0x80) {
    return 1;
  }
  std::size_t length = 0;
  std::uint8_t low = 0x80;
  std::uint8_t high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    low = lead == 0xE0 ? 0xA0 : 0x80;   // no overlong forms
    high = lead == 0xED ? 0x9F : 0xBF;  // no surrogates
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    low = lead == 0xF0 ? 0x90 : 0x80;
    high = lead == 0xF4 ? 0x8F : 0xBF;  // nothing above U+10FFFF
  } else {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    if (position + i >= bytes.size()) {
      return 0;
    }
    const std::uint8_t next = byteAt(bytes, position + i);
    if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) {
      return 0;
    }
    prefix = i + 1;
  }
  return length;
}

}  // namespace

std::optional<std::string> convertedToUTF8(std::string_view bytes, std::string_view charset) {
  const Converter* converter = findConverter(charset);
  if (converter == nullptr) {
    return std::nullopt;
  }
  // Well-formed UTF-8 stays byte for byte: the decoder's round trip would turn the
  // noncharacters U+FFFE and U+FFFF into U+FFFD, and a value must read back as the UTF-8 it
  // is written out as (a boundary must keep every byte to match its delimiter lines).
  if (converter->decode == UnicodeDecoders::decodeUTF8 && isWellFormedUTF8(bytes)) {
    return std::string(bytes);
  }
  std::string text;
  // The UTF-8 decoder takes a leading EF BB BF for a body's signature and drops it. A
  // parameter is one string, not a stream: the mark is part of the value (a boundary must
  // keep every byte to match its delimiter lines), and dropping it here would read the
  // value back different from the UTF-8 it is written out as.
  constexpr std::string_view kUTF8Mark = "\xEF\xBB\xBF";
  if (converter->decode == UnicodeDecoders::decodeUTF8 && bytes.starts_with(kUTF8Mark)) {
    text = kUTF8Mark;
  }
  encodeUTF8(text, (*converter)(bytes));
  return text;
}

namespace {

std::string withoutControls(std::string_view bytes, bool keepShiftBytes) {
  std::string kept;
  kept.reserve(bytes.size());
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t byte = byteAt(bytes, i);
    if (byte >= 0x20 || (keepShiftBytes && isShiftByte(static_cast<char>(byte)))) {
      kept += static_cast<char>(byte);
    }
  }
  return kept;
}

}  // namespace

bool isShiftByte(char c) noexcept {
  return c == '\x1B' || c == '\x0E' || c == '\x0F';
}

bool isCharsetLabel(std::string_view label) noexcept {
  constexpr std::string_view kNotAllowed = "()<>@,;:\\\"/[]?=*'%";
  if (label.empty() || label.size() > 64) {
    return false;
  }
  for (const char c : label) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte <= 0x20 || byte >= 0x7F || kNotAllowed.find(c) != std::string_view::npos) {
      return false;
    }
  }
  return true;
}

bool isWellFormedUTF8(std::string_view bytes) noexcept {
  std::size_t position = 0;
  while (position < bytes.size()) {
    std::size_t prefix = 0;
    const std::size_t length = sequenceAt(bytes, position, prefix);
    if (length == 0) {
      return false;
    }
    position += length;
  }
  return true;
}

ResolvedParameter resolveParameterText(const ParameterText& text) {
  if (!isCharsetLabel(text.charset) || caseInsensitiveEquals(text.charset, UnknownCharset)) {
    return {withoutControls(text.bytes, false), {}};
  }
  if (auto converted = convertedToUTF8(text.bytes, text.charset)) {
    return {withoutControls(*converted, false), {}};
  }
  return {withoutControls(text.bytes, true), text.charset};
}

}  // namespace MailParser
