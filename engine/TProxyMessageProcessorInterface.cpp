#include "engine/TProxyMessageProcessorInterface.h"

#include <exception>
#include <string>
#include <utility>

#include "common/EQuorixException.h"
#include "engine/EngineTexts.h"

TProxyMessageProcessorInterface::TProxyMessageProcessorInterface(TConfigRef config, const TAccount& account,
                                                                 TOutputLineEvent outputLine,
                                                                 TOutputStatusEvent outputStatus,
                                                                 TMessageLogs* messageLogs,
                                                                 MessageProcessorInterfaceOptions options)
    : TProxyMessageProcessorInterfaceBase(std::move(config), account, std::move(outputLine), std::move(outputStatus),
                                          messageLogs),
      engine_(std::make_unique<MessageProcessorInterface>(*this, std::move(options))) {}

TProxyMessageProcessorInterface::~TProxyMessageProcessorInterface() = default;

template <class Step>
void TProxyMessageProcessorInterface::RunEngineStep(std::string_view failureText, Step&& step) {
  if (failed_) return;
  std::string reason;
  try {
    step();
    return;
  } catch (const std::exception& e) {
    reason = e.what();
  } catch (...) {
    reason = EngineTexts::rsNonStandardException;
  }
  failed_ = true;
  OutputStatusMessage(MailParser::IMessageProcessorInterface::statusError, std::string(failureText) + reason);
  throw EQuorixException(reason);
}

void TProxyMessageProcessorInterface::ProcessLine(std::string_view line) {
  RunEngineStep(EngineTexts::rsProcessingLineFailed, [&] { engine_->processLine(line); });
}

void TProxyMessageProcessorInterface::Finish() {
  RunEngineStep(EngineTexts::rsProcessingMessageFailed, [&] { engine_->finish(); });
}
