#include "engine/TProxyMessageProcessorInterfaceBase.h"

#include <stdexcept>
#include <utility>

TProxyMessageProcessorInterfaceBase::TProxyMessageProcessorInterfaceBase(TConfigRef config, const TAccount& account,
                                                                         TOutputLineEvent outputLine,
                                                                         TOutputStatusEvent outputStatus,
                                                                         TMessageLogs* messageLogs)
    : config_(std::move(config)),
      account_(account),
      outputLine_(std::move(outputLine)),
      outputStatus_(std::move(outputStatus)),
      messageLogs_(messageLogs) {
  if (!config_) {
    throw std::invalid_argument("a message processor bridge needs a configuration");
  }
}

TProxyMessageProcessorInterfaceBase::~TProxyMessageProcessorInterfaceBase() = default;

void TProxyMessageProcessorInterfaceBase::ProcessLine(std::string_view line) { OutputLine(line); }

void TProxyMessageProcessorInterfaceBase::Finish() {}

void TProxyMessageProcessorInterfaceBase::OutputLine(std::string_view line) {
  if (outputLine_) outputLine_(line);
}

void TProxyMessageProcessorInterfaceBase::OutputStatusMessage(int kind, std::string_view text) {
  if (outputStatus_) outputStatus_(kind, text);
}
