#pragma once

#include <string_view>

#include "common/AsciiCase.h"

// Orders case-insensitive maps and sets of names, types, parameters and host names: both
// operands are ASCII-lower-cased, then compared byte by byte. Transparent, so lookups can
// use a string_view without building a std::string.
struct caseinsensitive_string_less {
  using is_transparent = void;

  [[nodiscard]] bool operator()(std::string_view a, std::string_view b) const noexcept {
    return caseInsensitiveCompare(a, b) < 0;
  }
};
