#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mailparser/ConvertersMap.h"
#include "mailparser/UTF8.h"

// Conversion of a body's bytes to wide text (16-bit code units) by its charset name.
//
// No conversion fails: what a decoder cannot decode becomes U+FFFD, and a name that no
// decoder knows decodes as windows-1252, as browsers do with unlabelled or mislabelled text.
// Characters above U+FFFF become surrogate pairs; no decoder writes a lone surrogate.

namespace MailParser {

// The byte-order marks that select a Unicode decoder regardless of the charset name.
enum class ByteOrderMark : std::uint8_t {
  None = 0,
  UTF7 = 1,
  UTF8 = 2,
  UTF16LittleEndian = 3,
  UTF16BigEndian = 4,
  UTF32LittleEndian = 5,
  UTF32BigEndian = 6,
};

// The mark the bytes start with: "+/v8", 00 00 FE FF, FF FE 00 00, EF BB BF, FF FE, FE FF,
// tried in this order (so FF FE 00 00 is UTF-32, not UTF-16 followed by U+0000).
[[nodiscard]] ByteOrderMark detectByteOrderMark(std::string_view bytes) noexcept;

// Decodes `bytes`. With `detectByteOrderMark` on, a byte-order mark overrides the name.
// The name is trimmed of whitespace and ASCII-lower-cased; "unicode-1-1-utf-8" and other
// names starting "unicode-" lose their first twelve characters, so they name the format.
[[nodiscard]] std::u16string toWide(std::string_view bytes, std::string_view charset,
                                    bool detectByteOrderMark);

}  // namespace MailParser
