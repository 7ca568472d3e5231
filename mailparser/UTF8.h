#pragma once

#include <string>
#include <string_view>

// UTF-8 encoding of wide text (16-bit code units).
//
// Wide text can hold what no UTF-8 reader accepts: lone surrogates and the non-characters
// U+FFFE and U+FFFF. Each of those is written as U+FFFD, so the output is always valid UTF-8.

namespace MailParser {

// Appends one code unit as one, two or three bytes. A surrogate (0xD800..0xDFFF) cannot be
// written on its own and becomes U+FFFD; callers with whole text use the overload below, which
// joins surrogate pairs.
void encodeUTF8(std::string& out, char16_t unit);

// Appends the text. A high surrogate directly followed by a low one is one character above
// U+FFFF and is written as one four-byte sequence; every other unit goes as above.
void encodeUTF8(std::string& out, std::u16string_view text);

}  // namespace MailParser
