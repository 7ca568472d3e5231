#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "mailparser/MIMEEntity.h"
#include "mailparser/MIMEEntityHeader.h"

namespace MailParser {

// A multipart entity: splits its body at the delimiter lines "--" + boundary and hands each
// part, header first, to a child entity that the subclass creates. Only the current part is
// held, and only its header: body lines go on to the child as they come.
//
// Boundaries compare case-sensitively; spaces and TABs after a delimiter are ignored. The
// lines before the first delimiter go to preambleLine(), which drops them unless a subclass
// keeps them (a body whose boundary never occurs is all "preamble"); everything after the
// closing delimiter (the epilogue) is dropped.
//
// A part header is read by the message parser's own rule, so that a mail program and this
// parser agree on where it ends: at the first empty line, or at the first line that is
// neither a field nor a continuation (that line is the part's first body line), or where it
// would outgrow MaxMessageHeaderBytes or MaxMessageHeaderFields. A part whose header has not
// ended when a delimiter comes is dropped without a child.
class MultipartMIMEEntity : public MIMEEntity {
  class PartHeaderReader;

 public:
  enum class State : std::uint8_t { Preamble = 0, PartHeader = 1, PartBody = 2, Finished = 3 };

  // `entityHeader` is this multipart's own header; its "boundary" parameter is copied (an
  // absent one leaves the delimiters "--" and "----"). `parentEntity` is the enclosing
  // multipart, borrowed, or null at the top.
  explicit MultipartMIMEEntity(MIMEEntityHeader entityHeader, MultipartMIMEEntity* parentEntity = nullptr);
  ~MultipartMIMEEntity() override;

  void processLine(std::string_view line) override;
  // Finishes the open part and closes the multipart, unless the closing delimiter already
  // did: closed() runs exactly once.
  void end() override;

  MultipartMIMEEntity* const parent;
  const std::string boundary;
  State state = State::Preamble;
  std::unique_ptr<MIMEEntityHeader> partHeader;
  std::unique_ptr<MIMEEntity> part;

 protected:
  // Makes the entity for a part whose header has just ended; `header` is initialised (its
  // default type is message/rfc822 inside a multipart/digest, text/plain elsewhere). May
  // return null: the part's lines are then dropped.
  [[nodiscard]] virtual std::unique_ptr<MIMEEntity> createEntity(const MIMEEntityHeader& header) = 0;
  // The multipart is finished: by its closing delimiter or by end().
  virtual void closed() = 0;
  // A line before the first delimiter.
  virtual void preambleLine(std::string_view line);
  // The first delimiter has come: the lines before it were a preamble, not the body.
  virtual void preambleEnded();
  // Whether a delimiter (opening or closing) has come.
  [[nodiscard]] bool delimiterSeen() const noexcept { return delimiterSeen_; }

 private:
  void finishPart();
  void partHeaderLine(std::string_view line);
  void close();
  enum class Delimiter : std::uint8_t { None, Next, Close };
  [[nodiscard]] Delimiter delimiterIn(std::string_view line) const noexcept;
  void noteDelimiter();

  bool delimiterSeen_ = false;
  std::unique_ptr<PartHeaderReader> headerReader_;
};

}  // namespace MailParser
