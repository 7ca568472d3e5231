#pragma once

#include <string_view>

#include "mailparser/IMessageProcessorInterface.h"
#include "mailparser/IOutputLine.h"
#include "mailparser/MessageParser.h"

namespace MailParser {

// A message attached as a message/rfc822 part, read as a message of its own: mail programs
// show it inline, so its HTML and attachments are as dangerous as those of the message around
// it. Its header is kept, less the fields whose names are not printable ASCII and with lines
// cut as the outer header's are; its body goes to the same filtered entities, which write
// header and body to `out`.
class EmbeddedMessage : public MessageParser {
 public:
  // `level` is the nesting level of the message's body (MaxNestingLevel bounds it).
  EmbeddedMessage(IMessageProcessorInterface& settings, IOutputLine& out, int& attachmentCounter, int level);

 protected:
  void headersComplete() override;
  void bodyLineWithoutEntity(std::string_view line) override;
  void endWithoutEntity() override;

 private:
  IMessageProcessorInterface& settings_;
  IOutputLine& out_;
  int& attachmentCounter_;
  const int level_;
};

}  // namespace MailParser
