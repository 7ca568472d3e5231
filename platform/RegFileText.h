#pragma once

#include <string_view>

// Blanks around the parts of a settings file's lines: spaces and tabs, and at the end of a
// part also a CR (a lone CR before the line end of a file that mixes line ends).
namespace RegFileText {

inline constexpr std::string_view kBlanks = " \t";
inline constexpr std::string_view kTrailingBlanks = " \t\r";

[[nodiscard]] inline std::string_view TrimLeft(std::string_view text) noexcept {
  const std::size_t start = text.find_first_not_of(kBlanks);
  return start == std::string_view::npos ? std::string_view() : text.substr(start);
}

[[nodiscard]] inline std::string_view TrimRight(std::string_view text) noexcept {
  const std::size_t end = text.find_last_not_of(kTrailingBlanks);
  return end == std::string_view::npos ? std::string_view() : text.substr(0, end + 1);
}

[[nodiscard]] inline std::string_view Trim(std::string_view text) noexcept {
  return TrimRight(TrimLeft(text));
}

}  // namespace RegFileText
