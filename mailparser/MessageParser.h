#pragma once

#include <cstddef>
#include <memory>
#include <string_view>

#include "mailparser/MIMEEntity.h"
#include "mailparser/MessageHeader.h"

namespace MailParser {

// The most a message header may hold: the bytes of its lines, and its fields. A header that
// would grow beyond either ends there, and the line that would not fit starts the body, so a
// header that never ends costs bounded memory and loses nothing.
inline constexpr std::size_t MaxMessageHeaderBytes = std::size_t{1024} * 1024;
inline constexpr std::size_t MaxMessageHeaderFields = 10000;

// Reads a message line by line: collects the top-level header, then hands every body line to
// `entity`, which the subclass creates in headersComplete(), or, when it leaves `entity` null,
// to bodyLineWithoutEntity(). Nothing of the body is held.
//
// The header ends at the first empty line, as mail programs read it, also at the first line
// that is neither a field (a name of printable ASCII without ":", then ":", spaces or TABs
// allowed before the ":" as in older mail) nor a continuation of one (a line starting with a
// space or TAB after a field): that line is the first line of the body, so a message without
// a header, or with text in the middle of its header, keeps all its text. An mbox "From "
// line at the very top stays part of the header. The header also ends where it would outgrow
// MaxMessageHeaderBytes or MaxMessageHeaderFields.
//
// Lines come without their line break, in message order, followed by one end(). A bare CR
// inside a line separates lines as a line break does; CRs at either end of a line are
// dropped. Malformed input never throws.
class MessageParser {
 public:
  MessageParser() = default;
  MessageParser(const MessageParser&) = delete;
  MessageParser& operator=(const MessageParser&) = delete;
  virtual ~MessageParser();

  virtual void processLine(std::string_view line);
  // The message is complete. A header that never ended is completed first, so
  // headersComplete() always runs before the entity (or endWithoutEntity()) is ended.
  virtual void end();

  MessageHeader header;
  std::unique_ptr<MIMEEntity> entity;
  bool inBody = false;

 protected:
  // The header is complete (`header` holds it); the subclass may set `entity` now.
  virtual void headersComplete() = 0;
  virtual void bodyLineWithoutEntity(std::string_view line) = 0;
  virtual void endWithoutEntity() = 0;

 private:
  void processSingleLine(std::string_view line);
  void bodyLine(std::string_view line);
  void endHeader();

  bool firstLine_ = true;
  std::size_t headerBytes_ = 0;
};

}  // namespace MailParser
