#pragma once

#include <memory>
#include <string_view>

#include "engine/MessageProcessorInterface.h"
#include "engine/MessageProcessorInterfaceOptions.h"
#include "engine/TProxyMessageProcessorInterfaceBase.h"

// The line processor of one RETR or TOP reply that runs the message engine: lines go to a
// MessageProcessorInterface (and its MessageProcessor) made for this one message.
//
// A failure inside the engine becomes one error status line and one EQuorixException carrying
// the failure's text, from the ProcessLine or Finish that met it; the POP3 side then tells
// the mail program and drops the connection. After a failure the bridge takes no more lines
// and Finish does nothing, so a half-processed message is never logged.
class TProxyMessageProcessorInterface : public TProxyMessageProcessorInterfaceBase {
 public:
  TProxyMessageProcessorInterface(TConfigRef config, const TAccount& account, TOutputLineEvent outputLine,
                                  TOutputStatusEvent outputStatus, TMessageLogs* messageLogs,
                                  MessageProcessorInterfaceOptions options = {});
  ~TProxyMessageProcessorInterface() override;

  void ProcessLine(std::string_view line) override;
  void Finish() override;

  // The settings interface of this message.
  [[nodiscard]] MessageProcessorInterface& Engine() noexcept { return *engine_; }
  // The message's log record (complete after Finish), for front ends that report it.
  [[nodiscard]] const TMessageLogRecord& LogRecord() const noexcept { return engine_->logRecord(); }
  [[nodiscard]] bool Failed() const noexcept { return failed_; }

 private:
  template <class Step>
  void RunEngineStep(std::string_view failureText, Step&& step);

  bool failed_ = false;
  std::unique_ptr<MessageProcessorInterface> engine_;
};
