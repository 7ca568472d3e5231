#pragma once

#include <string>

// Narrow strings are byte strings: all mail text, header names and values and file names
// travel as narrow strings and keep 8-bit bytes unchanged. Wide strings hold 16-bit code
// units and are used only between character-set conversion and the HTML code.
using narrow_string = std::string;
using wide_string = std::u16string;
