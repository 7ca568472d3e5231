#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "platform/RegFileLines.h"
#include "platform/TRegDataType.h"

// The parts of a settings file's value line ("Name"=data); faults raise RegLineError. The
// forms read are listed in RegFileFormat.h.
namespace RegValueReader {

// The quoted string that starts at text[pos] == '"', its "\\" and "\"" escapes resolved;
// pos is left after the closing quote. Faults name `lineNumber`.
[[nodiscard]] std::string QuotedString(std::string_view text, std::size_t& pos, std::size_t lineNumber);

// The value written after "=" on the line that `lines` returned last; `data` is the rest of
// that line, leading blanks removed. A hex list whose line ends with "\" continues on the
// following lines: it takes them from `lines`, which then stands on the last one it used.
[[nodiscard]] TRegValue ValueData(std::string_view data, RegFileLines& lines);

}  // namespace RegValueReader
