#include "proxy/TPOPMultiLineResponseHandler.h"

#include <utility>

bool TPOPMultiLineResponseHandler::ProcessPiece(std::string_view piece, bool endsLine) {
  if (endsLine && pending_.empty()) {
    const bool continuesLine = std::exchange(continuesLine_, false);
    return ProcessJoinedLine(piece, continuesLine);
  }
  pending_.append(piece);
  if (!endsLine && pending_.size() < kMaxJoinedLineLength) {
    return false;
  }
  const std::string line = std::move(pending_);
  pending_.clear();
  const bool continuesLine = std::exchange(continuesLine_, !endsLine);
  return ProcessJoinedLine(line, continuesLine);
}

bool TPOPMultiLineResponseHandler::ProcessJoinedLine(std::string_view line, bool continuesLine) {
  if (!statusLineSeen_) {
    statusLineSeen_ = true;
    const bool multiLine = line.starts_with("+OK");
    Client().WriteLine(ModifyResultLine(line));
    StartMultiLineResponse(line);
    return !multiLine;
  }
  // The rest of an over-long line is text: neither the terminator nor stuffed.
  if (continuesLine) {
    return ProcessNonResultLine(line);
  }
  if (line == ".") {
    FinishMultiLineResponse();
    Client().WriteLine(".");
    return true;
  }
  if (line.starts_with('.')) {
    line.remove_prefix(1);
  }
  return ProcessNonResultLine(line);
}

void TPOPMultiLineResponseHandler::OutputNonResultLine(std::string_view text) {
  // One write for all lines of the text: a processed part may be thousands of lines.
  std::string out;
  out.reserve(text.size() + 8);
  for (;;) {
    const auto end = text.find("\r\n");
    const std::string_view piece = text.substr(0, end);
    if (piece.starts_with('.')) {
      out.push_back('.');
    }
    out.append(piece).append("\r\n");
    if (end == std::string_view::npos) {
      break;
    }
    text.remove_prefix(end + 2);
  }
  Client().Write(out);
}

void TPOPMultiLineResponseHandler::WriteStuffedLine(std::string_view line) {
  if (line.starts_with('.')) {
    std::string stuffed;
    stuffed.reserve(line.size() + 3);
    stuffed.append(".").append(line).append("\r\n");
    Client().Write(stuffed);
  } else {
    Client().WriteLine(line);
  }
}
