#pragma once

#include <cstdint>
#include <string_view>

namespace MailParser {

// The Content-Transfer-Encoding of an entity, stored in one byte.
enum class TransferEncoding : std::uint8_t {
  SevenBit = 0,
  EightBit = 1,
  QuotedPrintable = 2,
  Base64 = 3,
  UUEncode = 4,
  Unknown = 5,
};

// The name written in a Content-Transfer-Encoding field: "7bit", "8bit", "quoted-printable",
// "base64", "x-uuencode"; any other value prints as "unknown".
[[nodiscard]] std::string_view transferEncodingName(TransferEncoding encoding) noexcept;

// Maps a field value (trimmed, letter case ignored) to an encoding. An empty value, "8bit"
// and "binary" are EightBit; unrecognised names are Unknown.
[[nodiscard]] TransferEncoding parseTransferEncoding(std::string_view value) noexcept;

}  // namespace MailParser
