#pragma once

#include <filesystem>
#include <string>

namespace Platform {

// A file or folder as every error text shows it: its path in single quotes.
[[nodiscard]] inline std::string QuotedPath(const std::filesystem::path& path) {
  return "'" + path.string() + "'";
}

}  // namespace Platform
