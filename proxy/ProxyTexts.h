#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

// The user-visible texts of the POP3 session and its relay. Setup failures are shown twice
// in the same words, as an error status line and as the "-ERR" line of the mail program.
namespace ProxyTexts {

inline constexpr std::string_view rsPOPErrorNotLocalIP =
    "Connections are allowed only from the local host (%s is not a local address)";
inline constexpr std::string_view rsPOPErrorCantFindLocalHostname =
    "Can't find host name for '%s' - please check your account settings in the Options dialog";
inline constexpr std::string_view rsPOPErrorCantFindAccount =
    "Can't find the account for '%s' - please check your account settings in the Options dialog";
inline constexpr std::string_view rsPOPErrorCantMakeOutgoingConnection = "Can't make outgoing connection to '%s': %s";

inline constexpr std::string_view rsPOPStatusIncoming = "Connecting to '%s' on port %d";
inline constexpr std::string_view rsPOPStatusIncomingDisconnected = "Dropping connection to '%s'";
inline constexpr std::string_view rsPOPStatusOutgoingDisconnected = "Connection to '%s' closed";
inline constexpr std::string_view rsPOPDownloadingMessage = "Downloading message from '%s'";

inline constexpr std::string_view rsStatusIncomingConnection = "Incoming connection...";
inline constexpr std::string_view rsStatusConnectingTo = "Connected to %s";
inline constexpr std::string_view rsStatusConnectedTo = "Connected to %s";

// The loopback range from which the hosts file gives accounts their addresses.
inline constexpr std::string_view LocalAddressPrefix = "127.84.3.";
// Appended to the status line of every reply the proxy rewrites.
inline constexpr std::string_view ProcessedSuffix = " (processed by QX)";
// After "-ERR " and the upper-cased command word of a refused command.
inline constexpr std::string_view CommandBlockedSuffix = " command blocked by qx";
inline constexpr std::string_view UnknownRemoteHostname = "unknown";

// Written into the message text, before the client is dropped, when the engine fails.
inline constexpr std::string_view rsInternalProcessingError =
    "An internal error occurred (\"%s\").  Please contact technical support.";
inline constexpr std::string_view NonStandardException = "a non-standard exception was thrown";

// Error status lines of unexpected failures; the session ends after each.
inline constexpr std::string_view rsInternalSocketErrorClient =
    "An internal socket error has occurred while communicating with the mail client (%s: %d).  Please contact "
    "technical support with a full description of the problem.";
inline constexpr std::string_view rsInternalErrorClient =
    "An internal error has occurred while communicating with the mail client (%s: %s).  Please contact technical "
    "support with a full description of the problem.";
inline constexpr std::string_view rsInternalUnknownErrorClient =
    "An internal error has occurred while communicating with the mail client.  Please contact technical support "
    "with a full description of the problem.";
inline constexpr std::string_view rsInternalSocketErrorServer =
    "An internal socket error has occurred while communicating with the mail server (%s: %d).  Please contact "
    "technical support with a full description of the problem.";
inline constexpr std::string_view rsInternalErrorServer =
    "An internal error has occurred while communicating with the mail server (%s: %s).  Please contact technical "
    "support with a full description of the problem.";
inline constexpr std::string_view rsInternalUnknownErrorServer =
    "An internal error has occurred while communicating with the mail server.  Please contact technical support "
    "with a full description of the problem.";

// `pattern` with each "%s" or "%d", in order, replaced by the next argument (numbers are
// passed as their decimal text). A placeholder without an argument stays as it is.
[[nodiscard]] inline std::string Format(std::string_view pattern, std::initializer_list<std::string_view> arguments) {
  std::string result;
  result.reserve(pattern.size() + 64);
  const auto* argument = arguments.begin();
  for (std::size_t i = 0; i < pattern.size(); ++i) {
    if (pattern[i] == '%' && i + 1 < pattern.size() && (pattern[i + 1] == 's' || pattern[i + 1] == 'd') &&
        argument != arguments.end()) {
      result.append(*argument++);
      ++i;
    } else {
      result.push_back(pattern[i]);
    }
  }
  return result;
}

}  // namespace ProxyTexts
