// Encodes arbitrary bytes as quoted-printable and checks what the rest of the system relies on:
// the output sent as body lines (each followed by CR LF) decodes to the input exactly; without
// that closing line break it does too unless the input ends in CR LF; lines stay within 75
// characters of printable 7-bit text; and the output ends in CR LF only if the input does.
// It also compares the output with a byte-at-a-time reading of the encoding rules, which the
// run-copying encoder must match exactly.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "mailparser/TransferCodings.h"

namespace {

std::string reference(std::string_view s) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  std::size_t column = 0;
  std::size_t i = 0;
  while (i < s.size()) {
    if (column >= 72) {
      out += "=\r\n";
      column = 0;
    }
    const auto byte = static_cast<unsigned char>(s[i]);
    if (byte >= 0x21 && byte <= 0x7E && byte != '=') {
      out.push_back(s[i++]);
      ++column;
      continue;
    }
    if (byte == '\r' && i + 1 < s.size() && s[i + 1] == '\n') {
      out += "\r\n";
      column = 0;
      i += 2;
      continue;
    }
    if (byte == ' ' || byte == '\t') {
      const std::size_t following = s.size() - i - 1;
      const bool escape = following == 0 || s[i + 1] == '\r' || (following >= 2 && s[i + 2] == '\n');
      if (following == 1 || !escape) {
        out.push_back(s[i++]);
        ++column;
        continue;
      }
    }
    out.push_back('=');
    out.push_back(kHex[byte >> 4]);
    out.push_back(kHex[byte & 15]);
    column += 3;
    ++i;
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char*>(data), size);
  const std::string encoded = MailParser::encodeQuotedPrintable(bytes);
  check(encoded == reference(bytes), "result differs from the byte-at-a-time reading");

  check(MailParser::decodeQuotedPrintable(encoded + "\r\n") == bytes,
        "body lines do not decode to the input");
  const bool endsInLineBreak = bytes.ends_with("\r\n");
  check(std::string_view(encoded).ends_with("\r\n") == endsInLineBreak,
        "line break at the end added or lost");
  if (!endsInLineBreak) {
    check(MailParser::decodeQuotedPrintable(encoded) == bytes,
          "the encoded block does not decode to the input");
  }

  std::size_t lineStart = 0;
  for (std::size_t i = 0; i < encoded.size(); ++i) {
    const auto byte = static_cast<unsigned char>(encoded[i]);
    if (byte == '\r') {
      check(i + 1 < encoded.size() && encoded[i + 1] == '\n', "CR without LF in the output");
      check(i - lineStart <= 75, "output line longer than 75 characters");
      lineStart = i + 2;
      ++i;
    } else {
      check((byte >= 0x20 && byte <= 0x7E) || byte == '\t',
            "byte outside printable 7-bit text in the output");
    }
  }
  check(encoded.size() - lineStart <= 75, "last output line longer than 75 characters");
  return 0;
}
