#include "common/AsciiCase.h"

#include <algorithm>

std::string asciiLowerCase(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), asciiToLower);
  return result;
}

std::string asciiUpperCase(std::string_view text) {
  std::string result(text);
  std::transform(result.begin(), result.end(), result.begin(), asciiToUpper);
  return result;
}

int caseInsensitiveCompare(std::string_view a, std::string_view b) noexcept {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    // Compare as unsigned bytes so that 8-bit names order the same on every platform.
    const auto ca = static_cast<unsigned char>(asciiToLower(a[i]));
    const auto cb = static_cast<unsigned char>(asciiToLower(b[i]));
    if (ca != cb) {
      return ca < cb ? -1 : 1;
    }
  }
  if (a.size() == b.size()) {
    return 0;
  }
  return a.size() < b.size() ? -1 : 1;
}

bool caseInsensitiveEquals(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && caseInsensitiveCompare(a, b) == 0;
}

bool caseInsensitiveStartsWith(std::string_view text, std::string_view prefix) noexcept {
  return text.size() >= prefix.size() && caseInsensitiveEquals(text.substr(0, prefix.size()), prefix);
}
