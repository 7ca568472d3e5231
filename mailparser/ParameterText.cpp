#include "mailparser/ParameterText.h"

#include <array>
#include <cstdint>

#include "common/AsciiCase.h"
#include "mailparser/HeaderSyntax.h"

namespace MailParser {

namespace {

enum class Conversion { UTF8, ASCII, Latin1, None };

constexpr std::array<std::string_view, 5> kUTF8Names = {"utf-8", "utf8", "unicode-1-1-utf-8", "unicode-2-0-utf-8",
                                                         "x-unicode-2-0-utf-8"};
constexpr std::array<std::string_view, 11> kASCIINames = {
    "us-ascii", "ascii",  "iso646-us", "iso_646.irv:1991", "iso-ir-6", "ansi_x3.4-1968",
    "ansi_x3.4-1986", "cp367", "ibm367", "us", "csascii"};
constexpr std::array<std::string_view, 12> kLatin1Names = {
    "iso-8859-1", "iso_8859-1", "iso_8859-1:1987", "latin1", "l1",          "iso-ir-100",
    "cp819",      "ibm819",     "csisolatin1",     "windows-1252", "cp1252", "x-cp1252"};

template <std::size_t N>
bool listed(const std::array<std::string_view, N>& names, std::string_view name) {
  for (const auto candidate : names) {
    if (candidate == name) {
      return true;
    }
  }
  return false;
}

Conversion conversionFor(std::string_view charset) {
  const std::string name = asciiLowerCase(trimHeaderWhitespace(charset));
  if (listed(kUTF8Names, name)) {
    return Conversion::UTF8;
  }
  if (listed(kASCIINames, name)) {
    return Conversion::ASCII;
  }
  if (listed(kLatin1Names, name)) {
    return Conversion::Latin1;
  }
  return Conversion::None;
}

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

std::string repairedUTF8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size());
  std::size_t position = 0;
  while (position < bytes.size()) {
    std::size_t prefix = 0;
    const std::size_t length = sequenceAt(bytes, position, prefix);
    if (length == 0) {
      text += "\xEF\xBF\xBD";
      position += prefix;
    } else {
      text.append(bytes, position, length);
      position += length;
    }
  }
  return text;
}

bool hasByteIn(std::string_view bytes, std::uint8_t low, std::uint8_t high) {
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (byteAt(bytes, i) >= low && byteAt(bytes, i) <= high) {
      return true;
    }
  }
  return false;
}

std::string latin1AsUTF8(std::string_view bytes) {
  std::string text;
  text.reserve(bytes.size() * 2);
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    const std::uint8_t byte = byteAt(bytes, i);
    if (byte < 0x80) {
      text += static_cast<char>(byte);
    } else {
      text += static_cast<char>(0xC0 | (byte >> 6));
      text += static_cast<char>(0x80 | (byte & 0x3F));
    }
  }
  return text;
}

}  // namespace

std::optional<std::string> convertedToUTF8(std::string_view bytes, std::string_view charset) {
  switch (conversionFor(charset)) {
    case Conversion::UTF8:
      return repairedUTF8(bytes);
    case Conversion::ASCII:
      if (hasByteIn(bytes, 0x80, 0xFF)) {
        return std::nullopt;
      }
      return std::string(bytes);
    case Conversion::Latin1:
      if (hasByteIn(bytes, 0x80, 0x9F)) {
        return std::nullopt;
      }
      return latin1AsUTF8(bytes);
    case Conversion::None:
      break;
  }
  return std::nullopt;
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
