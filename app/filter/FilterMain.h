#pragma once

#include <string_view>
#include <vector>

// The whole of quorix-filter: the command line (without the program name) in, the exit status
// out (0 filtered, 1 could not be filtered, 2 usage error). Reads standard input or IN,
// writes standard output or OUT, and writes every reason and status line to standard error.
[[nodiscard]] int RunFilter(const std::vector<std::string_view>& arguments);
