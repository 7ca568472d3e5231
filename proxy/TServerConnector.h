#pragma once

#include <chrono>
#include <string>

#include "engine/TProxyMessageProcessorInterfaceBase.h"
#include "platform/TTcpConnection.h"
#include "proxy/TPOPProxyEnvironment.h"

struct TServerConnectorOptions {
  // For the TCP connect and everything up to the end of the TLS handshake together.
  std::chrono::milliseconds ConnectTimeout = TTcpConnection::kDefaultConnectTimeout;
  // Where the warning about a plain-text account goes; empty says nothing.
  TOutputStatusEvent OutputStatus;
};

// The warning status line of a session whose account uses no TLS.
inline constexpr std::string_view rsPOPWarningNoTls =
    "The password for '%s' goes to the server unencrypted: the account uses no TLS";

// Connects to an account's server the way its TLSMode says:
//   implicit TLS - the handshake right after the TCP connect;
//   STLS         - reads the greeting in clear, sends STLS and on "+OK" does the handshake;
//                  the connection handed back returns that greeting as its first line, so
//                  the mail client sees it (and its APOP time stamp) unchanged. A greeting
//                  or answer that is not "+OK" ends it before anything else is sent;
//   none         - plain TCP, with one warning status line.
// Every failure throws ESocketError with a reason fit for the client's "-ERR" line: the
// verifier's words for a refused certificate, the server's own answer when it refused STLS.
[[nodiscard]] TServerConnector AccountServerConnector(TServerConnectorOptions options = {});
