#pragma once

#include <string>
#include <string_view>

// The decoders of the Unicode transformation formats. Each skips its own byte-order mark at
// the start, writes a character above U+FFFF as a surrogate pair, and writes U+FFFD for
// whatever does not encode a character: a malformed or truncated sequence, a surrogate
// that is not half of a pair, a value above U+10FFFF. The output never has more code units
// than the input has bytes.
//
// Each takes the converter parameter of ConvertersMap and ignores it.

namespace MailParser::UnicodeDecoders {

// RFC 2152: "+" starts a base64 run of UTF-16 code units, "+-" is "+"; a run ends at the
// first byte outside the base64 alphabet, which is dropped if it is "-"; the bits left over
// at the end of a run are dropped. Every other byte is the character of the same value.
std::u16string decodeUTF7(std::string_view bytes, const void* unused);
// Malformed input is replaced the way browsers do: one U+FFFD for each maximal prefix of a
// valid sequence, so a byte that cannot continue a sequence is decoded afresh. Over-long
// forms, encoded surrogates and values above U+10FFFF are malformed.
std::u16string decodeUTF8(std::string_view bytes, const void* unused);
// A final odd byte gives U+FFFD.
std::u16string decodeUTF16LittleEndian(std::string_view bytes, const void* unused);
std::u16string decodeUTF16BigEndian(std::string_view bytes, const void* unused);
// One to three bytes left at the end give one U+FFFD.
std::u16string decodeUTF32LittleEndian(std::string_view bytes, const void* unused);
std::u16string decodeUTF32BigEndian(std::string_view bytes, const void* unused);

}  // namespace MailParser::UnicodeDecoders
