#pragma once

#include <string_view>

// Orders registry key and value names the way Windows enumerates them: both names are
// upper-cased (ASCII letters only; other bytes stay) and compared byte by byte, unsigned.
// Equality is the same as with the lower-casing comparison of common/, but the order is not:
// upper-casing puts the six characters between 'Z' and 'a' ("[\]^_`") after the letters, so
// "Mail_Old" enumerates after "MailNew", as on Windows.
struct TRegNameLess {
  using is_transparent = void;

  [[nodiscard]] bool operator()(std::string_view a, std::string_view b) const noexcept;
};

// Three-way form of the same order: negative, zero (same name, letter case ignored) or positive.
[[nodiscard]] int CompareRegNames(std::string_view a, std::string_view b) noexcept;
