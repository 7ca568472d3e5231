#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "proxy/TPOPResponseHandler.h"

// The POP3 reply format: a status line, and after "+OK" body lines up to a line ".", with
// a leading "." doubled on the wire (dot-stuffing). Subclasses see the status line and the
// unstuffed body lines, and send processed text back through OutputNonResultLine, which
// stuffs it again, so a body line can never end the reply early at the client.
class TPOPMultiLineResponseHandler : public TPOPResponseHandler {
 public:
  // Pieces of an over-long line are joined up to this length before they count as a line;
  // longer lines are handed on in parts of this length, each its own line. Bounds what one
  // session holds while it keeps ordinary long lines (a base64 block without breaks) whole.
  static constexpr std::size_t kMaxJoinedLineLength = std::size_t{4} * IConnection::kDefaultMaxLineLength;

  using TPOPResponseHandler::TPOPResponseHandler;

  bool ProcessPiece(std::string_view piece, bool endsLine) final;

  // Writes `text` to the client: cut at every CR LF, each piece (also an empty one, and
  // the empty text) as one line, a piece that starts with "." with one more in front.
  void OutputNonResultLine(std::string_view text);

 protected:
  // What the client gets as the status line.
  [[nodiscard]] virtual std::string ModifyResultLine(std::string_view line) { return std::string(line); }
  // After the status line is written; also for an "-ERR" reply, which ends right after.
  virtual void StartMultiLineResponse(std::string_view /*line*/) {}
  // On the "." line, before "." is written.
  virtual void FinishMultiLineResponse() {}
  // One body line, unstuffed; true when the reply is complete.
  virtual bool ProcessNonResultLine(std::string_view line) = 0;

  // Writes one line as it is, dot-stuffed when it starts with ".".
  void WriteStuffedLine(std::string_view line);

 private:
  bool ProcessJoinedLine(std::string_view line, bool continuesLine);

  bool statusLineSeen_ = false;
  std::string pending_;         // pieces of a line not yet complete
  bool continuesLine_ = false;  // the next line handed on is the rest of an over-long one
};
