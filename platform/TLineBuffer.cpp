#include "platform/TLineBuffer.h"

#include <algorithm>
#include <stdexcept>

TLineBuffer::TLineBuffer(std::size_t maxLineLength) : maxLineLength_(maxLineLength) {
  SetMaxLineLength(maxLineLength);
}

void TLineBuffer::SetMaxLineLength(std::size_t maxLineLength) {
  if (maxLineLength == 0) {
    throw std::invalid_argument("the maximum line length must be at least 1");
  }
  maxLineLength_ = maxLineLength;
}

void TLineBuffer::Append(std::string_view bytes) {
  // Compacting only when the taken part is the larger half keeps every byte copied a
  // bounded number of times, also for many short lines arriving in one big chunk.
  if (begin_ > 0 && begin_ >= data_.size() - begin_) {
    data_.erase(0, begin_);
    begin_ = 0;
  }
  data_.append(bytes);
}

void TLineBuffer::Consume(std::size_t count) {
  begin_ += count;
  searched_ = 0;
  if (begin_ == data_.size()) {
    data_.clear();
    begin_ = 0;
  }
}

std::optional<TLinePiece> TLineBuffer::TakePiece(bool atEndOfInput) {
  const std::string_view pending = std::string_view(data_).substr(begin_);
  // Content of the maximum length may be followed by CR LF, so the line end of a piece that
  // fits lies at most maxLineLength_ + 1 bytes in.
  const std::size_t window = std::min(pending.size(), maxLineLength_ + 2);
  if (searched_ < window) {
    const std::size_t lf = pending.substr(0, window).find('\n', searched_);
    if (lf != std::string_view::npos) {
      std::size_t length = lf;
      if (length > 0 && pending[length - 1] == '\r') {
        --length;
      }
      if (length <= maxLineLength_) {
        TLinePiece piece{std::string(pending.substr(0, length)), TLineEnd::LineFeed};
        Consume(lf + 1);
        return piece;
      }
      // Content of maxLineLength_ + 1 bytes: fall through and split.
    } else {
      searched_ = window;
    }
  }
  // Without a line end among the first maxLineLength_ + 1 bytes the line is too long,
  // unless the byte after the maximum is a CR whose LF has not arrived yet.
  const bool tooLong = pending.size() > maxLineLength_ + 1 ||
                       (pending.size() == maxLineLength_ + 1 && pending[maxLineLength_] != '\r');
  if (tooLong || (atEndOfInput && pending.size() > maxLineLength_)) {
    TLinePiece piece{std::string(pending.substr(0, maxLineLength_)), TLineEnd::Split};
    Consume(maxLineLength_);
    return piece;
  }
  if (atEndOfInput && !pending.empty()) {
    TLinePiece piece{std::string(pending), TLineEnd::EndOfInput};
    Consume(pending.size());
    return piece;
  }
  return std::nullopt;
}
