#pragma once

#include <string>
#include <string_view>

// The user-visible texts of the processor bridge and the settings interface.
namespace EngineTexts {

inline constexpr std::string_view rsPlainTextFooter =
    "----------------------------------------------------\r\n"
    "This message has been processed by Vantorell Quorix.";

inline constexpr std::string_view rsHTMLFooter =
    "<div style=\"color: #333333; background-color: #EEEEEE; margin-top: 8px; padding: 4px; "
    "font: 8pt Verdana, Arial, Helvetica; text-align: left;\">This message has been processed by "
    "<a href=\"https://www.vantorell.com/quorix/\" style=\"color: #E20A16; font: 8pt Verdana, Arial, "
    "Helvetica;\">Vantorell Quorix</a>.</div>\r\n";

[[nodiscard]] inline std::string EntireMessageBlocked(std::string_view typeName) {
  return "The contents of this message has been blocked because the security profile associated with this "
         "message lists the message body as a blocked attachment type (" +
         std::string(typeName) + ").";
}

// In place of a multipart whose every part was removed: MIME wants at least one part, and the
// reader should learn why there is nothing.
inline constexpr std::string_view rsAllPartsRemoved =
    "The contents of this part of the message have been blocked because the security profile associated with "
    "this message lists them as blocked attachment types.";

inline constexpr std::string_view rsProcessingLineFailed =
    "An internal error occurred processing a message line: ";
inline constexpr std::string_view rsProcessingMessageFailed =
    "An internal error occurred processing a message: ";
inline constexpr std::string_view rsNonStandardException = "a non-standard exception was thrown";

[[nodiscard]] inline std::string InvalidHTMLHandling(std::string_view profile, std::string_view option,
                                                     int value) {
  return "The security profile '" + std::string(profile) + "' has an invalid " + std::string(option) + " (" +
         std::to_string(value) + "); its HTML is filtered.";
}

[[nodiscard]] inline std::string UnknownAttachmentAction(std::string_view profile, std::string_view mimeType,
                                                         int action) {
  return "The security profile '" + std::string(profile) + "' gives the attachment type '" +
         std::string(mimeType) + "' an unknown action (" + std::to_string(action) +
         "); such attachments are blocked.";
}

[[nodiscard]] inline std::string MissingProfile(std::string_view missing, std::string_view used) {
  return "The security profile '" + std::string(missing) +
         "' does not exist; the message was filtered with '" + std::string(used) +
         "' instead. Choose an existing profile in the options.";
}

[[nodiscard]] inline std::string LoggingFailed(std::string_view reason) {
  return "The message could not be logged: " + std::string(reason);
}

}  // namespace EngineTexts
