#include "engine/EmbeddedMessage.h"

#include <memory>

#include "engine/FilteredMultipartMIMEEntity.h"
#include "engine/FilteredSingleMIMEEntity.h"
#include "mailparser/MIMEEntityHeader.h"

namespace MailParser {

EmbeddedMessage::EmbeddedMessage(IMessageProcessorInterface& settings, IOutputLine& out, int& attachmentCounter,
                                 int level)
    : settings_(settings), out_(out), attachmentCounter_(attachmentCounter), level_(level) {}

void EmbeddedMessage::headersComplete() {
  header.removeInvalidNames();
  MIMEEntityHeader entityHeader(header);
  cutLongHeaderLines(entityHeader, settings_.getMaxHeaderNameLineLength());
  if (entityHeader.contentType.isMultipart()) {
    entity = std::make_unique<FilteredMultipartMIMEEntity>(settings_, std::move(entityHeader), out_,
                                                           attachmentCounter_, nullptr, level_);
  } else {
    // One level further down, so that messages attached inside messages stay bounded too.
    entity = std::make_unique<FilteredSingleMIMEEntity>(settings_, std::move(entityHeader), out_, attachmentCounter_,
                                                        true, false, level_ + 1);
  }
}

// Every embedded message gets an entity, so these are never reached.
void EmbeddedMessage::bodyLineWithoutEntity(std::string_view /*line*/) {}
void EmbeddedMessage::endWithoutEntity() {}

}  // namespace MailParser
