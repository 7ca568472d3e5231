#pragma once

#include <filesystem>
#include <string>
#include <vector>

// A log file that a reader could not use completely.
struct TMessageLogProblem {
  enum class TKind {
    Damaged,     // read, but its contents are wrong from some point on (what is before is used)
    Unreadable,  // could not be opened or read at all
  };
  TKind Kind = TKind::Damaged;
  std::filesystem::path File;
  std::string Detail;

  // One line for the user: "The message log file '<path>' is damaged: <detail>".
  [[nodiscard]] std::string Text() const;
};

struct TMessageLogReadReport {
  std::vector<TMessageLogProblem> Problems;
  bool Stopped = false;  // the callback asked to stop
};
