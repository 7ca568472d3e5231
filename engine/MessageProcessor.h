#pragma once

#include <string>
#include <string_view>

#include "engine/MessageDate.h"
#include "engine/PlainTextFooter.h"
#include "mailparser/IMessageProcessorInterface.h"
#include "mailparser/IOutputLine.h"
#include "mailparser/MessageParser.h"

namespace MailParser {

// Rewrites one message as it streams through, deciding what concerns the message as a
// whole: the sender that selects the security profile, subject and date for the message log,
// a normalised or added Date field, a Received field naming the profile, no read-receipt
// requests, no fields with unprintable names, "MIME-Version: 1.0" on MIME messages. A MIME
// body goes to the filtered entities; a plain body is written here, its UUencode "begin"
// lines neutralised, and followed by the plain-text footer unless it already ends with it.
//
// No message fails because of what it holds: a Date the parser cannot read stays as it was
// (the log then gets the processing time), a header that never ends is completed by end(),
// and every line of the output is a single line no longer than getMaxLineLength.
//
// Lines come without their line break, then one end(), as for every MessageParser; a bare CR
// or LF inside a line separates lines. Everything is written through `settings`.
class MessageProcessor : public MessageParser {
 public:
  // `settings` is borrowed and must outlive the processor. `now` is the processing time, the
  // date a message without a (readable) Date is given; the front end may fix it so that runs
  // compare byte for byte.
  explicit MessageProcessor(IMessageProcessorInterface& settings, MessageDate now = currentMessageDate());
  ~MessageProcessor() override;

  void processLine(std::string_view line) override;
  // Lines after end() and a second end() are ignored.
  void end() override;

  [[nodiscard]] const MessageDate& processingTime() const noexcept { return now_; }

  // The text that selects the security profile (Return-Path or Sender when
  // `useSenderAddress`, else From), "" when the header names none.
  [[nodiscard]] static std::string chooseSenderAddress(const Header& header, bool useSenderAddress);

 protected:
  void headersComplete() override;
  void bodyLineWithoutEntity(std::string_view line) override;
  void endWithoutEntity() override;
  // Text for the mail program; it may hold several lines separated by CR LF.
  virtual void outputLine(std::string_view text);

 private:
  class LineSink : public IOutputLine {
   public:
    explicit LineSink(MessageProcessor& owner) : owner_(owner) {}
    using IOutputLine::outputLine;
    void outputLine(std::string_view line) override { owner_.outputLine(line); }

   private:
    MessageProcessor& owner_;
  };

  void rewriteDate();
  void removeReadReceiptRequests();
  void startMIMEBody();
  void writePlainHeader();

  IMessageProcessorInterface& settings_;
  const MessageDate now_;
  LineSink lineSink_{*this};
  int partCounter_ = 1;
  bool neutraliseUUencode_ = false;
  std::size_t maxLineLength_ = 0;
  PlainTextFooter footer_;
  bool ended_ = false;
};

}  // namespace MailParser
