#include "platform/TRegNameLess.h"

#include "common/AsciiCase.h"

int CompareRegNames(std::string_view a, std::string_view b) noexcept {
  return upperCaseFoldedCompare(a, b);
}

bool TRegNameLess::operator()(std::string_view a, std::string_view b) const noexcept {
  return CompareRegNames(a, b) < 0;
}
