#pragma once

#include <string_view>
#include <vector>

// The whole of quorix: the command line (without the program name) in, the exit status out.
[[nodiscard]] int RunQuorix(const std::vector<std::string_view>& arguments);
