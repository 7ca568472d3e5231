#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace MailParser {

// A parameter value as a sender wrote it once its transfer form (quotes, percent signs,
// encoded words) is undone: bytes, and the charset the sender named for them (empty when none
// was named, as for a plain quoted string).
struct ParameterText {
  std::string bytes;
  std::string charset;
};

// What a parameter holds once its text is resolved: `value` is UTF-8 whenever the charset
// could be converted, or the text carried no label and its bytes are whatever the sender put
// in a header; `rawCharset` is then empty. Text in a charset that is not converted here keeps
// its bytes in `value` and names the charset in `rawCharset`, so that ASCII in it (an
// extension, say) still reads as ASCII and the bytes can go back under the same label.
struct ResolvedParameter {
  std::string value;
  std::string rawCharset;
};

// RFC 1428's label for 8-bit bytes of a charset nobody named: text under it is read as text
// without a label.
inline constexpr std::string_view UnknownCharset = "unknown-8bit";

// Converts what can be converted and drops the control bytes (below 0x20) that mail programs
// drop or stop at, so the value holds what a program shows: a NUL inside "a.ex\0e" cannot hide
// the extension it would show. Raw text keeps ESC, SO and SI, the shift bytes of the ISO 2022
// charsets.
//
// Every charset the body decoders know is converted, exactly as a body in it would be (an
// invalid sequence becomes U+FFFD; US-ASCII and ISO-8859-1 read as windows-1252, as mail
// programs and browsers read them), except that a UTF-8 byte-order mark at the start is kept
// as part of the value. Text with no label, an unusable one or UnknownCharset
// is taken as it is; text under a label no decoder knows is kept raw.
[[nodiscard]] ResolvedParameter resolveParameterText(const ParameterText& text);

// The bytes as UTF-8 when a decoder knows their charset; otherwise nothing. Controls are left
// as they are.
[[nodiscard]] std::optional<std::string> convertedToUTF8(std::string_view bytes, std::string_view charset);

// ESC, SO and SI: the control bytes that text in an ISO 2022 charset is made of.
[[nodiscard]] bool isShiftByte(char c) noexcept;

// A charset name as RFC 2231 allows it in an extended value: 1 to 64 bytes of printable ASCII
// other than the tspecials, "*", "'" and "%".
[[nodiscard]] bool isCharsetLabel(std::string_view label) noexcept;

// Whether the bytes are well-formed UTF-8 (no overlong forms, no surrogates, nothing above
// U+10FFFF). Empty text and ASCII are.
[[nodiscard]] bool isWellFormedUTF8(std::string_view bytes) noexcept;

}  // namespace MailParser
