#pragma once

#include <string>
#include <string_view>
#include <vector>

// Comma text: a list of strings in one line, as the settings of earlier versions stored it.
//
// Joining separates the items by ","; an item containing a blank (any byte up to the space,
// NUL included), "," or '"' is enclosed in double quotes with inner quotes doubled; a list
// of one empty item is "\"\"", so that it differs from the empty list.
//
// Splitting reads the same form and anything else without failing: blanks around items are
// skipped, an unquoted item ends at a blank or ",", a quoted item ends at its closing quote
// (or at the end of an unterminated text), and a trailing "," adds an empty item.
// SplitCommaText(JoinCommaText(items)) == items for every list of byte strings.
[[nodiscard]] std::string JoinCommaText(const std::vector<std::string>& items);
[[nodiscard]] std::vector<std::string> SplitCommaText(std::string_view text);
