#pragma once

#include <exception>
#include <memory>
#include <string>
#include <string_view>

#include "config/TAccount.h"
#include "config/TConfigRef.h"
#include "engine/TProxyMessageProcessorInterfaceBase.h"
#include "engine/TProxyMessageProcessorInterfaceFactory.h"
#include "logs/TMessageLogs.h"
#include "proxy/TPOPMultiLineResponseHandler.h"

// The reply to RETR or TOP: every body line goes through a processor bridge made for this
// one message, and what the bridge outputs goes to the client. A bridge that fails ends the
// download with one readable error line and a dropped client connection, since the message
// the client has half received can no longer be completed correctly.
class TRETRorTOPResponseHandler final : public TPOPMultiLineResponseHandler {
 public:
  // Reports "Downloading message from ..." at once. `account` must belong to `config` (or
  // outlive the handler); `messageLogs` may be null; `factory` must not be empty.
  TRETRorTOPResponseHandler(IConnection& client, TOutputStatusEvent outputStatus, TConfigRef config,
                            const TAccount& account, TMessageLogs* messageLogs,
                            TProxyMessageProcessorInterfaceFactory factory);
  // Frees the bridge: a message left unfinished is neither completed nor logged.
  ~TRETRorTOPResponseHandler() override;
  TRETRorTOPResponseHandler(const TRETRorTOPResponseHandler&) = delete;
  TRETRorTOPResponseHandler& operator=(const TRETRorTOPResponseHandler&) = delete;

  void OutputStatusMessage(int kind, std::string_view text) const;

 protected:
  [[nodiscard]] std::string ModifyResultLine(std::string_view line) override;
  void StartMultiLineResponse(std::string_view line) override;
  void FinishMultiLineResponse() override;
  bool ProcessNonResultLine(std::string_view line) override;

 private:
  // The bridge's output sink. A client write error is held back from the bridge and raised
  // once the bridge has returned, so the relay ends as it does for any hang-up.
  void OutputProcessedText(std::string_view text);
  void RethrowClientError() const;
  // Gives the bridge one step: what it throws fails the download, and a client write error
  // held back during the step is raised after it.
  template <typename TStep>
  void RunBridgeStep(TStep&& step);
  void Fail(std::string_view reason);

  TOutputStatusEvent outputStatus_;
  TConfigRef config_;
  const TAccount& account_;
  TMessageLogs* messageLogs_;
  TProxyMessageProcessorInterfaceFactory factory_;
  bool failed_ = false;
  std::exception_ptr clientError_;
  // Last: its callbacks point at this handler, so it goes first.
  std::unique_ptr<TProxyMessageProcessorInterfaceBase> bridge_;
};
