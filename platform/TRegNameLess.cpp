#include "platform/TRegNameLess.h"

#include <algorithm>
#include <cstddef>

#include "common/AsciiCase.h"

int CompareRegNames(std::string_view a, std::string_view b) noexcept {
  const std::size_t common = std::min(a.size(), b.size());
  for (std::size_t i = 0; i < common; ++i) {
    // Upper-cased, not lower-cased: that is what puts "[\\]^_`" after the letters.
    const auto ca = static_cast<unsigned char>(asciiToUpper(a[i]));
    const auto cb = static_cast<unsigned char>(asciiToUpper(b[i]));
    if (ca != cb) {
      return ca < cb ? -1 : 1;
    }
  }
  if (a.size() == b.size()) {
    return 0;
  }
  return a.size() < b.size() ? -1 : 1;
}

bool TRegNameLess::operator()(std::string_view a, std::string_view b) const noexcept {
  return CompareRegNames(a, b) < 0;
}
