#include "app/filter/TFilterOptions.h"

#include <utility>

std::string FilterUsageText() {
  return "Usage: quorix-filter [--registry FILE] [--account HOST] [--profile NAME]\n"
         "                     [--now YYYY-MM-DDTHH:MM:SS+HHMM] [--log-dir DIR | --no-log]\n"
         "                     [--report FILE] [--crlf] [IN [OUT]]\n"
         "\n"
         "Filters one message as the proxy would deliver it: reads IN (or standard input,\n"
         "also for \"-\") and writes the filtered message to OUT (or standard output).\n"
         "\n"
         "  --registry FILE  the settings file (default: $QUORIX_REGISTRY, else\n"
         "                   $XDG_CONFIG_HOME/quorix/registry.reg)\n"
         "  --account HOST   use the settings of the account whose server is HOST\n"
         "                   (default: a local account with the profile \"Medium\")\n"
         "  --profile NAME   filter with this security profile whoever the sender is\n"
         "  --now TIME       the processing time, so that runs give the same bytes\n"
         "  --log-dir DIR    log the message in DIR instead of the configured log folder\n"
         "  --no-log         do not log the message\n"
         "  --report FILE    write the message's log record to FILE as a JSON object\n"
         "  --crlf           end the output's lines with CR LF (default: LF)\n"
         "  --help           show this text\n"
         "\n"
         "Exit status: 0 the message was filtered, 1 it could not be (the reason is on\n"
         "standard error), 2 the command line is wrong.\n";
}

std::optional<TFilterOptions> ParseFilterOptions(const std::vector<std::string_view>& arguments,
                                                 std::string& error) {
  TFilterOptions options;
  std::vector<std::string> files;
  bool onlyFiles = false;
  for (std::size_t i = 0; i < arguments.size(); ++i) {
    const std::string_view argument = arguments[i];
    if (onlyFiles || argument == "-" || !argument.starts_with("-")) {
      files.emplace_back(argument);
      continue;
    }
    if (argument == "--") {
      onlyFiles = true;
      continue;
    }
    // "--name=value" and "--name value" alike.
    std::string_view name = argument;
    std::optional<std::string> inlineValue;
    if (const auto equals = argument.find('='); equals != std::string_view::npos) {
      name = argument.substr(0, equals);
      inlineValue = std::string(argument.substr(equals + 1));
    }
    const auto flag = [&](bool& target) {
      if (inlineValue) {
        error = std::string(name) + " takes no value";
        return false;
      }
      target = true;
      return true;
    };
    const auto value = [&](std::optional<std::string>& target) {
      if (!inlineValue) {
        if (i + 1 >= arguments.size()) {
          error = std::string(name) + " needs a value";
          return false;
        }
        inlineValue = std::string(arguments[++i]);
      }
      if (inlineValue->empty()) {
        error = std::string(name) + " needs a value";
        return false;
      }
      if (target) {
        error = std::string(name) + " is given twice";
        return false;
      }
      target = std::move(inlineValue);
      return true;
    };
    bool ok = false;
    if (name == "--registry") {
      ok = value(options.RegistryFile);
    } else if (name == "--account") {
      ok = value(options.AccountHost);
    } else if (name == "--profile") {
      ok = value(options.ProfileName);
    } else if (name == "--log-dir") {
      ok = value(options.LogDirectory);
    } else if (name == "--report") {
      ok = value(options.ReportFile);
    } else if (name == "--now") {
      std::optional<std::string> text;
      ok = value(text);
      if (ok) {
        options.Now = MailParser::parseProcessingTime(*text);
        if (!options.Now) {
          error = "--now wants a time as YYYY-MM-DDTHH:MM:SS+HHMM, not '" + *text + "'";
          ok = false;
        }
      }
    } else if (name == "--no-log") {
      ok = flag(options.NoLog);
    } else if (name == "--crlf") {
      ok = flag(options.CRLF);
    } else if (name == "--help" || name == "-h") {
      ok = flag(options.Help);
    } else {
      error = "unknown option '" + std::string(argument) + "'";
    }
    if (!ok) return std::nullopt;
  }
  if (options.NoLog && options.LogDirectory) {
    error = "--log-dir and --no-log exclude each other";
    return std::nullopt;
  }
  if (files.size() > 2) {
    error = "too many files: '" + files[2] + "' (at most IN and OUT)";
    return std::nullopt;
  }
  if (!files.empty() && files[0] != "-") options.InputFile = files[0];
  if (files.size() == 2 && files[1] != "-") options.OutputFile = files[1];
  return options;
}
