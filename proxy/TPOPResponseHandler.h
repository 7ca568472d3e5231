#pragma once

#include <string_view>

#include "platform/IConnection.h"

// What the relay thread hands every server line to while a command's reply needs more than
// copying: it writes what the mail client should see to the client connection and says when
// the reply is complete, after which the relay frees it.
class TPOPResponseHandler {
 public:
  explicit TPOPResponseHandler(IConnection& client) noexcept : client_(client) {}
  virtual ~TPOPResponseHandler() = default;
  TPOPResponseHandler(const TPOPResponseHandler&) = delete;
  TPOPResponseHandler& operator=(const TPOPResponseHandler&) = delete;

  // One whole server line, without its line end; true when the reply is complete.
  bool ProcessLine(std::string_view line) { return ProcessPiece(line, true); }

  // One piece of a server line as the reader hands it out: a line longer than the reader's
  // maximum arrives in pieces, and `endsLine` is false for all but the last. Write and
  // socket errors of the client propagate (ESocketError).
  virtual bool ProcessPiece(std::string_view piece, bool endsLine) = 0;

 protected:
  [[nodiscard]] IConnection& Client() const noexcept { return client_; }

 private:
  IConnection& client_;
};
