// Decodes arbitrary bytes as a base64 block; checks the group-fast path against a
// character-at-a-time reading and that pieces cut at a group boundary decode like the whole.

#include <cstdint>
#include <string>
#include <string_view>

#include "fuzz/FuzzCheck.h"
#include "mailparser/TransferCodings.h"

namespace {

int sextet(char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  if (c == '=') return 64;
  return -1;
}

std::string reference(std::string_view s, std::size_t& characters) {
  std::string out;
  unsigned group = 0;
  int collected = 0;
  int padding = 0;
  characters = 0;
  for (const char c : s) {
    int value = sextet(c);
    if (value < 0) continue;
    ++characters;
    if (value == 64) {
      ++padding;
      value = 0;
    }
    group = (group << 6) | static_cast<unsigned>(value);
    if (++collected == 4) {
      out.push_back(static_cast<char>(group >> 16));
      if (padding < 2) out.push_back(static_cast<char>(group >> 8));
      if (padding == 0) out.push_back(static_cast<char>(group));
      group = 0;
      collected = 0;
      padding = 0;
    }
  }
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string_view block(reinterpret_cast<const char*>(data), size);
  const std::string decoded = MailParser::decodeBase64(block);
  std::size_t characters = 0;
  check(decoded == reference(block, characters), "result differs from the character-at-a-time reading");
  const std::size_t groups = characters / 4;
  check(decoded.size() >= groups && decoded.size() <= 3 * groups, "not one to three bytes per group");

  // Cut after the middle group and decode both pieces on their own.
  const std::size_t cutAfter = (groups / 2) * 4;
  std::size_t seen = 0;
  std::size_t cut = 0;
  while (cut < block.size() && seen < cutAfter) {
    if (sextet(block[cut++]) >= 0) ++seen;
  }
  check(
      MailParser::decodeBase64(block.substr(0, cut)) + MailParser::decodeBase64(block.substr(cut)) == decoded,
      "pieces cut at a group boundary decode differently");
  return 0;
}
