#include "platform/TRegNameLess.h"

#include "common/AsciiCase.h"

int CompareRegNames(std::string_view a, std::string_view b) noexcept {
  // Upper-cased, not lower-cased: that is what puts "[\]^_`" after the letters.
  return foldedCompare(a, b, asciiToUpper);
}

bool TRegNameLess::operator()(std::string_view a, std::string_view b) const noexcept {
  return CompareRegNames(a, b) < 0;
}
