#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// The parameter forms of RFC 2231: a long value cut into numbered pieces ("name*0", "name*1",
// ...) and a value in a named charset, percent-encoded ("name*=UTF-8'en'%C3%9C"), or both
// ("name*0*=UTF-8''...; name*1*=...").

namespace MailParser {

// What a written parameter name says about its value.
struct ParameterName {
  std::string_view base;     // the name the value belongs to
  std::optional<std::size_t> section;  // the piece number, when the value is one piece
  bool extended = false;     // the value (or piece) is percent-encoded, the first with a charset
};

// Splits "name", "name*", "name*N" and "name*N*". Nothing for any other name with a "*" in
// it ("name*x", "name**", "*", a number with a leading zero or of more than nine digits):
// no reader puts such a piece together, so it belongs to no parameter.
[[nodiscard]] std::optional<ParameterName> parseParameterName(std::string_view name) noexcept;

// "%XX" with two hexadecimal digits is the byte they encode; anything else, a broken escape
// such as "%C" or "%G1" included, stays as written.
[[nodiscard]] std::string percentDecode(std::string_view text);

// Splits "charset'language'rest" into the charset and the rest. Without two single quotes,
// the whole text is the rest and there is no charset.
void splitExtendedValue(std::string_view value, std::string_view& charset, std::string_view& rest) noexcept;

// Appends ";\r\n\t" and the parameter. A value in printable ASCII is written quoted, and so
// is one with 8-bit bytes that are not UTF-8 and carry no charset (what the sender wrote, so a
// mail program reads it as before); other values are written extended, percent-encoded, in
// UTF-8 or, when `rawCharset` is set, under that charset. A file name that a reader would
// decode as encoded words is written extended too (8-bit bytes of no charset then go under
// "unknown-8bit"), as readers take extended values as they stand. A line that would be longer than
// MaxParameterLineLength is cut into numbered pieces, each on its own line, never inside an
// escape and, in UTF-8, never inside a character. Control bytes are left out, except the
// shift bytes of raw text.
void appendParameter(std::string& text, std::string_view name, std::string_view value, std::string_view rawCharset);

}  // namespace MailParser
