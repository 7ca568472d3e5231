#pragma once

#include <functional>
#include <string_view>

#include "config/TAccount.h"
#include "config/TConfig.h"
#include "config/TConfigRef.h"
#include "logs/TMessageLogs.h"

// Receives one line for the mail program, without its line break.
using TOutputLineEvent = std::function<void(std::string_view line)>;
// Receives one status line for the user: kind 0 information, 1 warning, 2 error.
using TOutputStatusEvent = std::function<void(int kind, std::string_view text)>;

// The line processor of one RETR or TOP reply. This base passes every line through as it is,
// finishes with nothing to add and logs nothing: it is what runs without the message engine.
//
// It keeps a reference to the configuration for as long as it lives, so the configuration and
// the account (which must belong to it, or outlive the bridge) stay valid while a message is
// in progress even if a new configuration is installed meanwhile. The message logs are
// borrowed and may be null (no logging). Either callback may be empty.
class TProxyMessageProcessorInterfaceBase {
 public:
  TProxyMessageProcessorInterfaceBase(TConfigRef config, const TAccount& account, TOutputLineEvent outputLine,
                                      TOutputStatusEvent outputStatus, TMessageLogs* messageLogs);
  virtual ~TProxyMessageProcessorInterfaceBase();

  TProxyMessageProcessorInterfaceBase(const TProxyMessageProcessorInterfaceBase&) = delete;
  TProxyMessageProcessorInterfaceBase& operator=(const TProxyMessageProcessorInterfaceBase&) = delete;

  // One unstuffed line of the message, without its line break.
  virtual void ProcessLine(std::string_view line);
  // The message is complete (the "." line arrived).
  virtual void Finish();

  virtual void OutputLine(std::string_view line);
  virtual void OutputStatusMessage(int kind, std::string_view text);

  [[nodiscard]] const TConfig& Config() const noexcept { return *config_; }
  [[nodiscard]] const TAccount& Account() const noexcept { return account_; }
  [[nodiscard]] TMessageLogs* MessageLogs() const noexcept { return messageLogs_; }

 private:
  TConfigRef config_;
  const TAccount& account_;
  TOutputLineEvent outputLine_;
  TOutputStatusEvent outputStatus_;
  TMessageLogs* messageLogs_;
};
