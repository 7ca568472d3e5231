#pragma once

#include <functional>
#include <memory>

#include "engine/MessageProcessorInterfaceOptions.h"
#include "engine/TProxyMessageProcessorInterfaceBase.h"

// Makes the line processor of one RETR or TOP reply. The code that builds a POP3 session is
// handed one; which one decides whether messages pass through or are filtered.
using TProxyMessageProcessorInterfaceFactory = std::function<std::unique_ptr<TProxyMessageProcessorInterfaceBase>(
    TConfigRef config, const TAccount& account, TOutputLineEvent outputLine, TOutputStatusEvent outputStatus,
    TMessageLogs* messageLogs)>;

// Messages pass through unchanged and nothing is logged.
[[nodiscard]] TProxyMessageProcessorInterfaceFactory PassThroughMessageProcessorFactory();

// Messages go through the message engine. Every bridge it makes gets a copy of `options`
// (so a fixed processing time applies to every message).
[[nodiscard]] TProxyMessageProcessorInterfaceFactory EngineMessageProcessorFactory(
    MessageProcessorInterfaceOptions options = {});
