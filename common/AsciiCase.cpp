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
  return foldedCompare(a, b, asciiToLower);
}

bool caseInsensitiveEquals(std::string_view a, std::string_view b) noexcept {
  return a.size() == b.size() && caseInsensitiveCompare(a, b) == 0;
}

bool caseInsensitiveStartsWith(std::string_view text, std::string_view prefix) noexcept {
  return text.size() >= prefix.size() && caseInsensitiveEquals(text.substr(0, prefix.size()), prefix);
}
