#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

// The command line of `quorix`.
struct TQuorixOptions {
  bool Help = false;
  bool Headless = false;
  std::optional<std::string> RegistryFile;
  std::optional<int> Port;
  std::optional<std::string> Profile;
  std::optional<std::string> Tls;     // account add: none, stls or implicit
  std::optional<std::string> CaFile;  // account add: the CA certificates to trust for the server
  // The words that are no option: "account", its sub-command and its arguments, or the
  // windowed program's switches ("/minimize").
  std::vector<std::string> Words;

  [[nodiscard]] bool IsAccountCommand() const { return !Words.empty() && Words[0] == "account"; }
};

// Parses the arguments (without the program name). On a usage error returns the options
// read so far and sets `error` to what was wrong.
[[nodiscard]] TQuorixOptions ParseQuorixOptions(const std::vector<std::string_view>& arguments, std::string& error);

[[nodiscard]] std::string QuorixUsageText();
