#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

// How a piece of input handed out by a line reader ended.
enum class TLineEnd {
  LineFeed,    // a real line end: the LF (and a CR right before it) is not in the piece
  Split,       // the line was longer than the maximum; the rest follows in the next pieces
  EndOfInput,  // the last bytes before the peer closed, without a line end
};

struct TLinePiece {
  std::string Text;
  TLineEnd End = TLineEnd::LineFeed;
};

// The byte buffer behind every line reader (TCP, TLS, in memory): bytes go in as they
// arrive, in chunks of any size, and come out as lines. A line is the bytes up to an LF; a
// CR right before the LF is dropped with it. Every other byte passes unchanged: a lone CR,
// NUL and 8-bit bytes are text. A line longer than the maximum comes out in pieces of the
// maximum length (the last piece, with the line end, may be shorter); a CR LF pair is never
// cut apart, so a line of exactly the maximum length followed by CR LF is one piece.
// Not thread-safe: one reader owns it.
class TLineBuffer {
 public:
  explicit TLineBuffer(std::size_t maxLineLength);

  void SetMaxLineLength(std::size_t maxLineLength);
  [[nodiscard]] std::size_t MaxLineLength() const noexcept { return maxLineLength_; }

  void Append(std::string_view bytes);

  // The next complete piece, or nothing while more bytes are needed to tell. With
  // `atEndOfInput` (the peer has closed), what is left comes out too, ending EndOfInput.
  [[nodiscard]] std::optional<TLinePiece> TakePiece(bool atEndOfInput = false);

  [[nodiscard]] bool Empty() const noexcept { return begin_ == data_.size(); }

 private:
  void Consume(std::size_t count);

  std::size_t maxLineLength_;
  std::string data_;
  std::size_t begin_ = 0;  // bytes before it are taken; dropped lazily to keep takes cheap
  std::size_t searched_ = 0;  // bytes from begin_ already known to hold no LF
};
