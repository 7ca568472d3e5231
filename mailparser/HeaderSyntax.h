#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "mailparser/Header.h"
#include "mailparser/HeaderField.h"

namespace MailParser {

// The type a MIME entity has when its header names none.
inline constexpr std::string_view DefaultContentType = "text/plain";

// Space, TAB, CR and LF.
[[nodiscard]] constexpr bool isHeaderWhitespace(char c) noexcept {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

// A byte of 0x21..0x7F that is none of ()<>@,;:"/[]?= (the backslash is allowed, as some
// mailers leave it unquoted in file names).
[[nodiscard]] bool isTokenChar(char c) noexcept;

// Collects token characters from `position` on and leaves `position` at the first other byte.
// The result may be empty.
[[nodiscard]] std::string_view scanToken(std::string_view text, std::size_t& position) noexcept;

// Reads the inside of a quoted string; `position` is just past the opening quote. Collects
// bytes up to the end of the text, a double quote, or a CR or LF that is not part of a fold,
// and leaves `position` at the byte that stopped it. 8-bit bytes and other control bytes are
// part of the string: a raw UTF-8 file name is still a name. A backslash is dropped and the
// byte after it taken as it is. A line fold (CR LF followed by a space or TAB) does not end
// the string: the CR LF is dropped, the whitespace kept, as unfolding prescribes.
[[nodiscard]] std::string scanQuotedString(std::string_view text, std::size_t& position);

// The value in `quote` characters, each backslash and quote escaped with a backslash. Bytes
// below 0x20 are left out, so the result is always one line; 8-bit bytes are kept.
[[nodiscard]] std::string quoteParameterValue(std::string_view value, char quote = '"');

// Appends one byte of a value as quoteParameterValue writes it between the quotes.
void appendQuotedByte(std::string& out, char c, char quote = '"');

// Removes the comments "(...)" from the field's value, nested ones included; quoted strings
// are copied unchanged, parentheses inside them kept. A ")" without its "(" is dropped too.
// Returns whether the value became shorter.
bool stripComments(HeaderField& field);

// True when the header has a MIME-Version field or any field whose name starts with
// "content-" (letter case ignored).
[[nodiscard]] bool isMIME(const Header& header);

// `text` less leading and trailing header whitespace.
[[nodiscard]] std::string_view trimHeaderWhitespace(std::string_view text) noexcept;

}  // namespace MailParser
