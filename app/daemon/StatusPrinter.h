#pragma once

#include <cstdio>
#include <string>

#include "platform/TStatusQueue.h"

// Writes status lines as "2026-12-11 14:03:07 info  text" (local time; levels "info",
// "warn", "error"), one line each: line breaks inside a text become blanks. Errors go to
// the error stream too, so that a service manager that logs only standard error sees them.
class TStatusPrinter {
 public:
  TStatusPrinter(std::FILE* out, std::FILE* err) : out_(out), err_(err) {}

  void Print(const TStatusMessage& message) const;
  [[nodiscard]] static std::string Format(const TStatusMessage& message);

 private:
  std::FILE* out_;
  std::FILE* err_;
};
