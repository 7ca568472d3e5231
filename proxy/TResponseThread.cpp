#include "proxy/TResponseThread.h"

#include <exception>
#include <string>
#include <utility>

#include "platform/ESocketError.h"
#include "proxy/ExceptionClassName.h"
#include "proxy/ProxyTexts.h"

TResponseThread::TResponseThread(IConnection& client, IConnection& server, const TStopSignal& stop,
                                 TStopSignal& finished, TOutputStatusEvent outputStatus)
    : client_(client), server_(server), stop_(stop), finished_(finished), outputStatus_(std::move(outputStatus)) {}

TResponseThread::~TResponseThread() { Join(); }

void TResponseThread::Start() { thread_ = std::thread([this] { Execute(); }); }

void TResponseThread::Join() {
  if (thread_.joinable()) {
    thread_.join();
  }
}

void TResponseThread::SetResponseHandler(std::unique_ptr<TPOPResponseHandler> handler) {
  // The old handler (and its bridge) is freed under the lock, so the relay thread can never
  // be inside it meanwhile.
  const std::lock_guard lock(handlerMutex_);
  handler_ = std::move(handler);
}

void TResponseThread::Execute() {
  std::string failure;
  try {
    while (!stop_.IsRequested()) {
      // What the server has sent already is relayed into the client's buffer; only when the
      // relay would have to wait does the buffer go out.
      TReadResult piece = server_.ReadLine(std::chrono::milliseconds(0));
      if (piece.Status == TReadStatus::TimedOut) {
        client_.Flush();
        piece = server_.ReadLine(kReadTimeout);
      }
      if (piece.Status == TReadStatus::TimedOut) {
        continue;
      }
      // Closed and Reset have run the server's disconnect notification already.
      if (!piece.HasText()) {
        break;
      }
      Relay(piece);
    }
    // The last lines before the server hung up (the reply to QUIT) are still to go.
    client_.Flush();
  } catch (const ESocketError& error) {
    if (!error.IsOrdinaryEnd()) {
      failure = ProxyTexts::Format(ProxyTexts::rsInternalSocketErrorServer,
                                   {error.what(), std::to_string(error.ErrorNumber())});
    }
  } catch (const std::exception& error) {
    failure = ProxyTexts::Format(ProxyTexts::rsInternalErrorServer, {ExceptionClassName(error), error.what()});
  } catch (...) {
    failure = ProxyTexts::rsInternalUnknownErrorServer;
  }
  if (!failure.empty() && outputStatus_) {
    outputStatus_(2, failure);
  }
  {
    const std::lock_guard lock(handlerMutex_);
    handler_.reset();
  }
  terminated_.store(true, std::memory_order_release);
  finished_.Request();
}

void TResponseThread::Relay(const TReadResult& piece) {
  const bool endsLine = piece.Status != TReadStatus::Split;
  const std::lock_guard lock(handlerMutex_);
  // The rest of a line that went out raw goes out raw too, whatever was installed meanwhile.
  if (handler_ && !midLine_) {
    if (handler_->ProcessPiece(piece.Text, endsLine)) {
      handler_.reset();
    }
    return;
  }
  midLine_ = !endsLine;
  if (piece.Status == TReadStatus::Line) {
    client_.WriteLine(piece.Text);
  } else {
    // A piece of an over-long line, or what the server sent last without a line end: as it
    // came, so the client receives the line intact and nothing we invented.
    client_.Write(piece.Text);
  }
}
