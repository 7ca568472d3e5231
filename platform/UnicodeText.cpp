#include "platform/UnicodeText.h"

#include <cstdint>

namespace Platform {
namespace {

constexpr char16_t kEscapedByteBase = 0xDC00;

bool IsContinuation(unsigned char byte) noexcept {
  return (byte & 0xC0) == 0x80;
}

// Length of the well-formed sequence at text[pos] and its code point; 0 if the byte there
// does not start one.
std::size_t DecodeSequence(std::string_view text, std::size_t pos, char32_t& codePoint) noexcept {
  const auto lead = static_cast<unsigned char>(text[pos]);
  if (lead < 0x80) {
    codePoint = lead;
    return 1;
  }
  std::size_t length = 0;
  // The allowed range of the second byte excludes overlong forms, surrogates and values
  // above U+10FFFF in one check.
  unsigned char low = 0x80;
  unsigned char high = 0xBF;
  if (lead >= 0xC2 && lead <= 0xDF) {
    length = 2;
    codePoint = lead & 0x1F;
  } else if (lead >= 0xE0 && lead <= 0xEF) {
    length = 3;
    codePoint = lead & 0x0F;
    if (lead == 0xE0) {
      low = 0xA0;
    } else if (lead == 0xED) {
      high = 0x9F;
    }
  } else if (lead >= 0xF0 && lead <= 0xF4) {
    length = 4;
    codePoint = lead & 0x07;
    if (lead == 0xF0) {
      low = 0x90;
    } else if (lead == 0xF4) {
      high = 0x8F;
    }
  } else {
    return 0;
  }
  if (pos + length > text.size()) {
    return 0;
  }
  const auto second = static_cast<unsigned char>(text[pos + 1]);
  if (second < low || second > high) {
    return 0;
  }
  for (std::size_t i = 1; i < length; ++i) {
    const auto byte = static_cast<unsigned char>(text[pos + i]);
    if (!IsContinuation(byte)) {
      return 0;
    }
    codePoint = (codePoint << 6) | (byte & 0x3F);
  }
  return length;
}

void AppendUtf8(std::string& out, char32_t codePoint) {
  if (codePoint < 0x80) {
    out += static_cast<char>(codePoint);
  } else if (codePoint < 0x800) {
    out += static_cast<char>(0xC0 | (codePoint >> 6));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else if (codePoint < 0x10000) {
    out += static_cast<char>(0xE0 | (codePoint >> 12));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (codePoint >> 18));
    out += static_cast<char>(0x80 | ((codePoint >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((codePoint >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (codePoint & 0x3F));
  }
}

}  // namespace

bool IsValidUtf8(std::string_view text) noexcept {
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t codePoint = 0;
    const std::size_t length = DecodeSequence(text, pos, codePoint);
    if (length == 0) {
      return false;
    }
    pos += length;
  }
  return true;
}

std::u16string NarrowToUtf16(std::string_view text) {
  std::u16string out;
  out.reserve(text.size());
  std::size_t pos = 0;
  while (pos < text.size()) {
    char32_t codePoint = 0;
    const std::size_t length = DecodeSequence(text, pos, codePoint);
    if (length == 0) {
      out += static_cast<char16_t>(kEscapedByteBase + static_cast<unsigned char>(text[pos]));
      ++pos;
      continue;
    }
    if (codePoint >= 0x10000) {
      const char32_t offset = codePoint - 0x10000;
      out += static_cast<char16_t>(0xD800 + (offset >> 10));
      out += static_cast<char16_t>(0xDC00 + (offset & 0x3FF));
    } else {
      out += static_cast<char16_t>(codePoint);
    }
    pos += length;
  }
  return out;
}

std::string Utf16ToNarrow(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    const char16_t unit = text[i];
    if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      const char32_t codePoint = 0x10000 + ((static_cast<char32_t>(unit - 0xD800) << 10) |
                                            static_cast<char32_t>(text[i + 1] - 0xDC00));
      AppendUtf8(out, codePoint);
      ++i;
    } else if (unit >= kEscapedByteBase + 0x80 && unit <= kEscapedByteBase + 0xFF) {
      // NarrowToUtf16 never puts an escaped byte right after a lone high surrogate, so this
      // cannot be the second half of a pair that the branch above missed.
      out += static_cast<char>(unit - kEscapedByteBase);
    } else {
      AppendUtf8(out, unit);
    }
  }
  return out;
}

std::u16string Utf16LeUnits(std::span<const std::uint8_t> bytes) {
  std::u16string units(bytes.size() / 2, u'\0');
  for (std::size_t i = 0; i < units.size(); ++i) {
    units[i] = static_cast<char16_t>(bytes[2 * i] | (bytes[2 * i + 1] << 8));
  }
  return units;
}

std::u16string TerminatedUtf16LeUnits(std::span<const std::uint8_t> bytes) {
  std::u16string units = Utf16LeUnits(bytes);
  if (!units.empty() && units.back() == u'\0') {
    units.pop_back();
  }
  return units;
}

std::vector<std::uint8_t> TerminatedUtf16LeBytes(std::u16string_view units) {
  std::vector<std::uint8_t> bytes;
  bytes.reserve((units.size() + 1) * 2);
  for (const char16_t unit : units) {
    bytes.push_back(static_cast<std::uint8_t>(unit & 0xFF));
    bytes.push_back(static_cast<std::uint8_t>(unit >> 8));
  }
  bytes.push_back(0);
  bytes.push_back(0);
  return bytes;
}

}  // namespace Platform
