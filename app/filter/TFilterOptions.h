#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/MessageDate.h"

// The command line of quorix-filter, checked for form only: whether a profile exists or a
// file can be read is found out later, when the settings are loaded.
struct TFilterOptions {
  std::optional<std::string> RegistryFile;
  std::optional<std::string> AccountHost;
  std::optional<std::string> ProfileName;
  std::optional<MailParser::MessageDate> Now;
  std::optional<std::string> LogDirectory;
  bool NoLog = false;
  std::optional<std::string> ReportFile;
  bool CRLF = false;
  bool Help = false;
  // Absent or "-": standard input / standard output.
  std::optional<std::string> InputFile;
  std::optional<std::string> OutputFile;
};

// The usage text, ending with a line break.
[[nodiscard]] std::string FilterUsageText();

// The options of `arguments` (without the program name), or the reason they are not a valid
// command line in `error` ("unknown option '--x'", "--now needs a value", ...).
[[nodiscard]] std::optional<TFilterOptions> ParseFilterOptions(const std::vector<std::string_view>& arguments,
                                                              std::string& error);
