#pragma once

#include <optional>
#include <span>
#include <string>

#include "config/TWebBugProvider.h"
#include "engine/HostResolver.h"
#include "engine/MessageDate.h"
#include "platform/MimeTypes.h"

// What a front end or a test may fix about how one message is processed. The defaults are
// those of the running proxy.
struct MessageProcessorInterfaceOptions {
  // The processing time: the date a message without a readable Date gets, the time in the
  // Received field and the time the message log records. Unset: the clock at construction
  // (Date and Received in the local zone's standard time, the log in local time).
  std::optional<MailParser::MessageDate> processingTime;
  // A profile name that applies to every sender, overrides and the account's default aside
  // (a front end's choice); unset: the sender chooses.
  std::optional<std::string> forcedSecurityProfile;
  // The web-bug providers known to the program.
  std::span<const TWebBugProvider> webBugProviders = knownWebBugProviders;
  // How findWebBugProvider turns a host name into an address.
  HostResolver resolver = resolveFirstIPv4Address;
  // Where findExtensionForMIMEType looks; null: the system MIME database, read once.
  const Platform::MimeExtensionMap* mimeTypes = nullptr;
};
