#pragma once

#include <cstddef>
#include <stdexcept>
#include <string>

// A fault in a settings file's text, at a line counted from 1. The readers of the text do not
// know the file; RegFileFormat::Parse turns this into ERegistryFileDamaged naming it.
class RegLineError : public std::runtime_error {
 public:
  RegLineError(std::size_t line, const std::string& what) : std::runtime_error(what), line_(line) {}

  [[nodiscard]] std::size_t Line() const noexcept { return line_; }

 private:
  std::size_t line_;
};
