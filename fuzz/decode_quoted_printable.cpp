// Decodes arbitrary bytes as a quoted-printable block and compares the result with a plain
// byte-at-a-time reading of the decoding rules, which the bulk-copying decoder must match.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "mailparser/TransferCodings.h"

namespace {

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  return -1;
}

bool isBlank(char c) {
  return c == ' ' || c == '\t';
}

bool crlfAt(std::string_view s, std::size_t i) {
  return i + 1 < s.size() && s[i] == '\r' && s[i + 1] == '\n';
}

std::string reference(std::string_view s) {
  std::string out;
  std::size_t i = 0;
  while (i < s.size()) {
    const char c = s[i];
    if (c == '=') {
      if (i + 2 < s.size() && hexValue(s[i + 1]) >= 0 && hexValue(s[i + 2]) >= 0) {
        out.push_back(static_cast<char>(hexValue(s[i + 1]) * 16 + hexValue(s[i + 2])));
        i += 3;
        continue;
      }
      std::size_t j = i + 1;
      while (j < s.size() && isBlank(s[j])) ++j;
      if (crlfAt(s, j)) {
        i = j + 2;
        continue;
      }
      out.push_back('=');
      ++i;
    } else if (isBlank(c)) {
      std::size_t j = i;
      while (j < s.size() && isBlank(s[j])) ++j;
      if (!crlfAt(s, j)) out.append(s.substr(i, j - i));
      i = j;
    } else if (crlfAt(s, i) && i + 2 == s.size()) {
      i += 2;
    } else {
      out.push_back(c);
      ++i;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  const std::string decoded = MailParser::decodeQuotedPrintable(block);
  check(decoded.size() <= block.size(), "decoding made the text longer");
  check(decoded == reference(block), "result differs from the byte-at-a-time reading");
  return 0;
}
