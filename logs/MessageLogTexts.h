#pragma once

#include <string>
#include <string_view>

// The user-visible texts of the message-log store.
namespace MessageLogTexts {

inline constexpr std::string_view rsMessageLogStatsUnavailable =
    "Message log statistics cannot be viewed as there was an error during or after the initialisation of the "
    "message logger.";

inline constexpr std::string_view rsLoggingStops =
    "Message logging will now stop.\r\nqx will need to be restarted for logging to begin again.";

[[nodiscard]] inline std::string DirectoryFailed(const std::string& directory, const std::string& error) {
  return "qx failed to create the message logs directory (\"" + directory +
         "\"), this will prevent qx from logging message processing information.\r\n" +
         "Exception is: " + error +
         "\r\nPlease check that your user account has sufficient permission to create directories on this "
         "computer.\r\nqx will need to be restarted for logging to begin again.";
}

// `verb` is "open" or "create" for the summary file.
[[nodiscard]] inline std::string SummaryFailed(std::string_view verb, const std::string& path,
                                               const std::string& error) {
  return "Unable to " + std::string(verb) + " summary file(\"" + path +
         "\"), please check your user permissions.\r\n" + "Exception is: " + error + "\r\n" +
         std::string(rsLoggingStops);
}

[[nodiscard]] inline std::string WriteFailed(const std::string& path, const std::string& error) {
  return "Unable to write to the message logs (\"" + path +
         "\"), please check your user permissions and the free " + "disk space.\r\nException is: " + error +
         "\r\n" + std::string(rsLoggingStops);
}

[[nodiscard]] inline std::string FileDamaged(const std::string& path, const std::string& detail) {
  return "The message log file(\"" + path + "\") is damaged: " + detail +
         ".\r\nIt is left as it is, so that nothing in it is lost.\r\n" + std::string(rsLoggingStops);
}

}  // namespace MessageLogTexts
