#include "proxy/TRETRorTOPResponseHandler.h"

#include <exception>
#include <utility>

#include "platform/ESocketError.h"
#include "proxy/ProxyTexts.h"

TRETRorTOPResponseHandler::TRETRorTOPResponseHandler(IConnection& client, TOutputStatusEvent outputStatus,
                                                     TConfigRef config, const TAccount& account,
                                                     TMessageLogs* messageLogs,
                                                     TProxyMessageProcessorInterfaceFactory factory)
    : TPOPMultiLineResponseHandler(client),
      outputStatus_(std::move(outputStatus)),
      config_(std::move(config)),
      account_(account),
      messageLogs_(messageLogs),
      factory_(std::move(factory)) {
  OutputStatusMessage(0, ProxyTexts::Format(ProxyTexts::rsPOPDownloadingMessage, {account_.RemoteHostname}));
}

TRETRorTOPResponseHandler::~TRETRorTOPResponseHandler() = default;

void TRETRorTOPResponseHandler::OutputStatusMessage(int kind, std::string_view text) const {
  if (outputStatus_) {
    outputStatus_(kind, text);
  }
}

std::string TRETRorTOPResponseHandler::ModifyResultLine(std::string_view line) {
  return std::string(line).append(ProxyTexts::ProcessedSuffix);
}

void TRETRorTOPResponseHandler::StartMultiLineResponse(std::string_view /*line*/) {
  // Made for an "-ERR" reply too; the relay frees it with this handler at once, unused.
  try {
    bridge_ = factory_(
        config_, account_, [this](std::string_view text) { OutputProcessedText(text); },
        [this](int kind, std::string_view text) { OutputStatusMessage(kind, text); }, messageLogs_);
  } catch (const std::exception& error) {
    Fail(error.what());
  } catch (...) {
    Fail(ProxyTexts::NonStandardException);
  }
}

template <typename TStep>
void TRETRorTOPResponseHandler::RunBridgeStep(TStep&& step) {
  try {
    std::forward<TStep>(step)(*bridge_);
    RethrowClientError();
  } catch (const ESocketError&) {
    throw;
  } catch (const std::exception& error) {
    Fail(error.what());
  } catch (...) {
    Fail(ProxyTexts::NonStandardException);
  }
}

void TRETRorTOPResponseHandler::FinishMultiLineResponse() {
  if (failed_ || !bridge_) {
    return;
  }
  RunBridgeStep([](TProxyMessageProcessorInterfaceBase& bridge) { bridge.Finish(); });
}

bool TRETRorTOPResponseHandler::ProcessNonResultLine(std::string_view line) {
  if (failed_ || !bridge_) {
    return false;
  }
  RunBridgeStep([line](TProxyMessageProcessorInterfaceBase& bridge) { bridge.ProcessLine(line); });
  return false;
}

void TRETRorTOPResponseHandler::OutputProcessedText(std::string_view text) {
  if (clientError_) {
    return;
  }
  try {
    OutputNonResultLine(text);
  } catch (const ESocketError&) {
    // Kept from the engine: to it a client that hung up would be a failed message, with an
    // error status line for what is an ordinary end of a session.
    clientError_ = std::current_exception();
  }
}

void TRETRorTOPResponseHandler::RethrowClientError() const {
  if (clientError_) {
    std::rethrow_exception(clientError_);
  }
}

void TRETRorTOPResponseHandler::Fail(std::string_view reason) {
  failed_ = true;
  bridge_.reset();
  // The client connection's disconnect notification stops the relay after this line, so
  // the rest of the message is not relayed. A client already gone gets nothing.
  try {
    Client().WriteLine(ProxyTexts::Format(ProxyTexts::rsInternalProcessingError, {reason}));
    Client().Flush();
  } catch (const std::exception&) {  // NOLINT(bugprone-empty-catch): the close below is what matters
  }
  Client().Close();
}
