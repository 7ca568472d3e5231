#include "integration/HostName.h"

#include <array>

namespace HostName {
namespace {

constexpr std::size_t kMaxOctetDigits = 3;
constexpr int kOctetLimit = 256;

bool IsDigit(char c) noexcept { return c >= '0' && c <= '9'; }

bool IsNameCharacter(char c) noexcept {
  return IsDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '-' || c == '_' || c == '.';
}

std::string Hex(unsigned char c) {
  constexpr std::array<char, 16> kDigits = {'0', '1', '2', '3', '4', '5', '6', '7',
                                            '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
  return std::string("\\x") + kDigits[c >> 4U] + kDigits[c & 0x0FU];
}

}  // namespace

bool IsValidIpv4(std::string_view text) noexcept {
  int parts = 0;
  std::size_t i = 0;
  while (true) {
    std::size_t digits = 0;
    int value = 0;
    while (i < text.size() && IsDigit(text[i]) && digits < kMaxOctetDigits + 1) {
      value = value * 10 + (text[i] - '0');
      ++digits;
      ++i;
    }
    if (digits == 0 || digits > kMaxOctetDigits || value >= kOctetLimit) {
      return false;
    }
    ++parts;
    if (parts == 4) {
      return i == text.size();
    }
    if (i >= text.size() || text[i] != '.') {
      return false;
    }
    ++i;
  }
}

std::string Problem(std::string_view name) {
  if (name.empty()) {
    return "it is empty";
  }
  for (const char c : name) {
    const auto byte = static_cast<unsigned char>(c);
    if (c == ' ' || c == '\t') {
      return "it contains a blank or a tab, which would start a second name on the line";
    }
    if (c == '#') {
      return "it contains \"#\", which starts a comment in the hosts file";
    }
    if (byte < 0x20 || byte == 0x7F) {
      return "it contains the control character " + Hex(byte);
    }
    if (byte >= 0x80) {
      return "it contains the byte " + Hex(byte) +
             " outside ASCII; write an international name in its ASCII (\"xn--\") form";
    }
    if (!IsNameCharacter(c)) {
      return std::string("it contains \"") + c + "\"; a host name has only letters, digits, \"-\", \"_\" and dots";
    }
  }
  if (name.size() > kMaxNameLength) {
    return "it is " + std::to_string(name.size()) + " characters long, longer than the " +
           std::to_string(kMaxNameLength) + " a host name may have";
  }
  std::size_t start = 0;
  while (true) {
    const std::size_t dot = name.find('.', start);
    const std::size_t length = (dot == std::string_view::npos ? name.size() : dot) - start;
    if (length == 0) {
      return "it has an empty part between dots, or a dot at its start or end";
    }
    if (length > kMaxLabelLength) {
      return "the part \"" + std::string(name.substr(start, length)) + "\" is longer than the " +
             std::to_string(kMaxLabelLength) + " characters a part between dots may have";
    }
    if (dot == std::string_view::npos) {
      return {};
    }
    start = dot + 1;
  }
}

std::string Shown(std::string_view name) {
  constexpr std::size_t kShownLimit = kMaxNameLength + 16;
  std::string shown;
  for (std::size_t i = 0; i < name.size(); ++i) {
    if (i == kShownLimit) {
      shown += "...";
      break;
    }
    const auto byte = static_cast<unsigned char>(name[i]);
    if (byte < 0x20 || byte >= 0x7F || name[i] == '\\') {
      shown += Hex(byte);
    } else {
      shown += name[i];
    }
  }
  return shown;
}

}  // namespace HostName
