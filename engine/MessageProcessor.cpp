#include "engine/MessageProcessor.h"

#include <memory>
#include <optional>
#include <utility>

#include "engine/FilteredMultipartMIMEEntity.h"
#include "engine/FilteredSingleMIMEEntity.h"
#include "mailparser/HeaderField.h"
#include "mailparser/HeaderSyntax.h"
#include "mailparser/MIMEEntityHeader.h"

namespace MailParser {

namespace {

// Leading space, TAB, CR and LF go; at the end a "." goes too, as in "Bob <bob@example.org>."
// typed by hand.
std::string trimAddress(std::string_view text) {
  const auto isSpace = [](char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; };
  while (!text.empty() && isSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && (isSpace(text.back()) || text.back() == '.')) text.remove_suffix(1);
  return std::string(text);
}

// The text between the first "<" outside quoted strings and the next ">", when it holds an
// "@". A display name such as "\"ann@bank.example <ann@bank.example>\" <x@elsewhere>" names
// the mailbox after it, not the one in its quotes, so quotes are skipped as mail programs do.
std::optional<std::string> angleAddress(std::string_view value) {
  std::size_t open = std::string_view::npos;
  bool quoted = false;
  for (std::size_t i = 0; i < value.size() && open == std::string_view::npos; ++i) {
    const char c = value[i];
    if (quoted && c == '\\') {
      ++i;
    } else if (c == '"') {
      quoted = !quoted;
    } else if (!quoted && c == '<') {
      open = i;
    }
  }
  if (open == std::string_view::npos) return std::nullopt;
  const auto close = value.find('>', open);
  if (close == std::string_view::npos || close == open + 1) return std::nullopt;
  const std::string_view inside = value.substr(open + 1, close - open - 1);
  if (inside.find('@') == std::string_view::npos) return std::nullopt;
  return trimAddress(inside);
}

// A folded value as one line: the CR LF of each fold goes, the whitespace after it stays.
std::string unfold(std::string_view value) {
  std::string text;
  text.reserve(value.size());
  for (std::size_t start = 0;;) {
    const auto lineBreak = value.find("\r\n", start);
    text.append(value.substr(start, lineBreak == std::string_view::npos ? std::string_view::npos : lineBreak - start));
    if (lineBreak == std::string_view::npos) break;
    start = lineBreak + 2;
  }
  return text;
}

}  // namespace

MessageProcessor::MessageProcessor(IMessageProcessorInterface& settings, MessageDate now)
    : settings_(settings), now_(now) {}

MessageProcessor::~MessageProcessor() = default;

void MessageProcessor::processLine(std::string_view line) {
  if (ended_) return;
  // A bare LF ends a line for mail programs just as a bare CR does; a line handed on with one
  // inside would reach them as two lines that no filter looked at.
  for (auto lf = line.find('\n'); lf != std::string_view::npos; lf = line.find('\n')) {
    MessageParser::processLine(line.substr(0, lf));
    line.remove_prefix(lf + 1);
  }
  MessageParser::processLine(line);
}

void MessageProcessor::end() {
  if (ended_) return;
  ended_ = true;
  MessageParser::end();
}

std::string MessageProcessor::chooseSenderAddress(const Header& header, bool useSenderAddress) {
  if (useSenderAddress) {
    if (const HeaderField* returnPath = header.findField("return-path")) {
      if (auto address = angleAddress(returnPath->value)) return std::move(*address);
    }
    if (const HeaderField* sender = header.findField("sender")) {
      if (sender->value.find('@') != std::string::npos) return trimAddress(sender->value);
    }
  }
  if (const HeaderField* from = header.findField("from")) {
    HeaderField bare(*from);
    stripComments(bare);
    if (auto address = angleAddress(bare.value)) return std::move(*address);
    if (bare.value.find('@') != std::string::npos) return trimAddress(bare.value);
  }
  return {};
}

void MessageProcessor::headersComplete() {
  settings_.setSenderAddress(chooseSenderAddress(header, settings_.getUseSenderAddress()));
  if (const HeaderField* subject = header.findField("subject")) {
    settings_.setSubject(unfold(subject->value));
  }
  rewriteDate();
  header.addField("Received", settings_.getReceivedHeaderValue(), true);
  if (settings_.getBlockMDNReadReceipts()) {
    removeReadReceiptRequests();
  }
  header.removeInvalidNames();
  if (isMIME(header)) {
    startMIMEBody();
  } else {
    writePlainHeader();
  }
}

void MessageProcessor::rewriteDate() {
  HeaderField* field = header.findField("date");
  if (field == nullptr) {
    header.addField("Date", formatMessageDate(now_), true);
    settings_.setMessageDate(now_.dateTime(), now_.zoneOffsetMinutes);
    return;
  }
  HeaderField bare(*field);
  stripComments(bare);
  if (const auto date = tryParseMessageDate(bare.value)) {
    field->value = formatMessageDate(*date);
    settings_.setMessageDate(date->dateTime(), date->zoneOffsetMinutes);
  } else {
    // Failing the message would leave the mailbox stuck on it for good; a Date that mail
    // programs cannot read either is theirs to show as they like.
    settings_.setMessageDate(now_.dateTime(), now_.zoneOffsetMinutes);
  }
}

void MessageProcessor::removeReadReceiptRequests() {
  std::size_t removed = header.removeFields("disposition-notification-to");
  removed += header.removeFields("disposition-notification-options");
  removed += header.removeFields("return-receipt-to");
  if (removed > 0) {
    settings_.countReadReceiptBlocked();
  }
}

void MessageProcessor::startMIMEBody() {
  header.removeFields("mime-version");
  header.addField("MIME-Version", "1.0");
  MIMEEntityHeader entityHeader(header);
  cutLongHeaderLines(entityHeader, settings_.getMaxHeaderNameLineLength());
  if (entityHeader.contentType.isMultipart()) {
    entity = std::make_unique<FilteredMultipartMIMEEntity>(settings_, std::move(entityHeader), lineSink_, partCounter_);
  } else {
    entity = std::make_unique<FilteredSingleMIMEEntity>(settings_, std::move(entityHeader), lineSink_, partCounter_,
                                                        /*wholeMessageBody*/ true, /*insideAlternative*/ false);
  }
}

void MessageProcessor::writePlainHeader() {
  if (const std::size_t limit = settings_.getMaxHeaderNameLineLength(); limit > 0) {
    header.truncateLongLines(limit);
  }
  // The sink's line break after the last field is the empty line that ends the header.
  outputLine(header.toString());
  neutraliseUUencode_ = settings_.getBlockUUencodingInNonMime();
  maxLineLength_ = settings_.getMaxLineLength();
  if (settings_.getAddEmailFooter()) {
    footer_ = PlainTextFooter(settings_.getPlainTextFooter());
  }
}

void MessageProcessor::bodyLineWithoutEntity(std::string_view line) {
  writeBodyLine(lineSink_, line, maxLineLength_, neutraliseUUencode_);
  footer_.rememberLine(line);
}

void MessageProcessor::endWithoutEntity() {
  footer_.writeUnlessPresent(lineSink_);
}

void MessageProcessor::outputLine(std::string_view text) {
  settings_.outputLine(text);
}

}  // namespace MailParser
