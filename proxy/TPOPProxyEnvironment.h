#pragma once
#include <functional>
#include <memory>
#include <string>

#include "config/TAccount.h"
#include "engine/TProxyMessageProcessorInterfaceBase.h"
#include "engine/TProxyMessageProcessorInterfaceFactory.h"
#include "logs/TMessageLogs.h"
#include "platform/IConnection.h"
#include "platform/TStopSignal.h"

// Opens the connection to an account's server. Throws ESocketError (or another
// EQuorixException) when that fails; `stop` ends a connect in progress.
using TServerConnector =
    std::function<std::unique_ptr<IConnection>(const TAccount& account, const TStopSignal& stop)>;

// What every POP3 session borrows from the program that runs it. Empty members take the
// defaults named beside them, so a test sets only what it replaces.
struct TPOPProxyEnvironment {
  TMessageLogs* MessageLogs = nullptr;  // borrowed; null logs nothing
  TOutputStatusEvent OutputStatus;      // status lines, called from session threads
  // The RETR/TOP line processor; empty passes messages through unchanged.
  TProxyMessageProcessorInterfaceFactory ProcessorFactory;
  // The host name a local IPv4 address resolves back to, "" when it has none; empty uses
  // the system resolver (Platform::HostNameOf).
  std::function<std::string(const std::string& ipv4)> HostNameOf;
  // Empty connects over plain TCP to RemoteHostname:RemotePort with the default time-out.
  TServerConnector ConnectToServer;
};
