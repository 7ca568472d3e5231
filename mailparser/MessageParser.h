#pragma once

#include <memory>
#include <string_view>

#include "mailparser/MIMEEntity.h"
#include "mailparser/MessageHeader.h"

namespace MailParser {

// Reads a message line by line: collects the top-level header up to the first empty line,
// then hands every body line to `entity`, which the subclass creates in headersComplete(),
// or, when it leaves `entity` null, to bodyLineWithoutEntity(). Nothing of the body is held.
//
// Lines come without their line break, in message order, followed by one end(). A bare CR
// inside a line separates lines as a line break does; CRs at either end of a line are
// dropped. A header line that is not a field is dropped. Malformed input never throws.
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
};

}  // namespace MailParser
