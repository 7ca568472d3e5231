#pragma once

#include <filesystem>
#include <string>
#include <utility>

#include "common/EQuorixException.h"

// Raised by the hosts file manager. Every text names the hosts file; File() gives it to a
// caller that words its own advice (which command to run with privileges, for example).
class EHostsFileException : public EQuorixException {
 public:
  EHostsFileException(std::filesystem::path file, const std::string& what)
      : EQuorixException(what), file_(std::move(file)) {}

  [[nodiscard]] const std::filesystem::path& File() const noexcept { return file_; }

 private:
  std::filesystem::path file_;
};
