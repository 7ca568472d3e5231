#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "engine/PlainTextFooter.h"
#include "mailparser/IMessageProcessorInterface.h"
#include "mailparser/IOutputLine.h"
#include "mailparser/MIMEEntity.h"
#include "mailparser/MIMEEntityHeader.h"

namespace MailParser {

class EmbeddedMessage;

// Writes one body line as lines of at most maxLength bytes (0: no limit). With
// `neutraliseUUencode`, every piece that reads as a UUencode begin line gets a space in front,
// and keeps to maxLength with it: the cut comes first, since a begin line hidden behind
// maxLength bytes of padding starts a line of its own once the line is cut.
void writeBodyLine(IOutputLine& out, std::string_view line, std::size_t maxLength, bool neutraliseUUencode);

// Shortens an entity header (of a message, a part or an attached message) so that none of its
// written lines is longer than maxLineLength (0: no limit), before anything is decided from
// it: the other fields and the free-text content fields (Content-ID, Content-Description) as
// Header::truncateLongLines does; a parameter whose name leaves no room for a value on its line
// is dropped, and a media type too long for its line is cut.
void cutLongHeaderLines(MIMEEntityHeader& header, std::size_t maxLineLength);

// The filter for one non-multipart entity: the body of a single-part message or one part of a
// multipart. The constructor decides, from the header and the profile, what becomes of the
// entity, rewriting the header on the way (safe, renamed or invented file names, retyped
// attachments), and counts each decision; the body is then written as it comes, dropped, or
// held until end() to be filtered or converted as HTML.
//
// - PassThrough: the header goes out at once, body lines as they come (cut to
//   getMaxLineLength, UUencode "begin" lines neutralised when asked), the plain-text footer at
//   the end of message text (never of an attachment, nor of a text that already ends with
//   it, so that filtering twice adds one footer). A message/rfc822 part in 7bit or 8bit is itself read as a
//   message, and its entities are filtered like the outer ones (its header is written with the fields whose
//   names are not printable ASCII dropped).
// - Blocked: nothing is written, except, for the body of a whole message, a text/plain notice
//   in its place. Inside a multipart the part vanishes with its delimiter.
// - FilterHTML, ConvertHTML: nothing is written until end(). An HTML text that the filter
//   rejects, or whose encoded text grows beyond MaxBufferedHTMLBytes, is removed as a blocked
//   attachment (with a warning status line), never passed unfiltered. The HTML footer goes
//   only into message text that does not already end with it.
//
// A stored HTML handling value outside 0 to 3 is read as "filter", with a warning status line;
// message-text handling 2, which the options do not offer and show as "filter", is filtered.
class FilteredSingleMIMEEntity : public MIMEEntity {
 public:
  enum class Mode : std::uint8_t { PassThrough = 0, Blocked = 1, FilterHTML = 2, ConvertHTML = 3 };

  // `settings` and `out` are borrowed and must outlive the entity. `attachmentCounter` numbers
  // invented file names; one counter serves the whole message (starting at 1) and is shared by
  // all its entities. `wholeMessageBody`: the entity is the body of a message (a blocked one
  // then leaves a notice). `insideAlternative`: the entity is a part of a multipart/
  // alternative (converted HTML is then dropped in favour of the plain-text alternative).
  // `level` is the nesting level that a message attached here would have its body at: 0 for
  // the body of the message, the enclosing multipart's level + 1 for a part.
  FilteredSingleMIMEEntity(IMessageProcessorInterface& settings, MIMEEntityHeader entityHeader,
                           IOutputLine& out, int& attachmentCounter, bool wholeMessageBody,
                           bool insideAlternative, int level = 0);
  ~FilteredSingleMIMEEntity() override;

  void processLine(std::string_view line) override;
  void end() override;

  // Writes the header as it stands, as one output line; the sink's line break after it is
  // the empty line that ends the header.
  virtual void writeHeader();

  [[nodiscard]] Mode mode() const noexcept { return mode_; }

 private:
  void decideAttachment(std::string name, std::string rawCharset);
  void decideInline();
  void renameAndRetype(std::string& name);
  [[nodiscard]] std::string inventFileName(std::string_view type, std::string_view subtype);
  [[nodiscard]] int htmlHandling(bool attachments);
  void block();
  void writeBlockedNotice();
  void removeHTML(std::string_view why);
  void processHTML(bool convert);
  // Not an attachment: no attachment disposition and no file name. Only message text gets a
  // footer; an attached file reaches the reader as it was sent.
  [[nodiscard]] bool isMessageText() const noexcept;
  [[nodiscard]] bool hasHTMLFooter(std::u16string_view html);
  void writeFooter();
  void writeWrapped(std::string_view text);

  IMessageProcessorInterface& settings_;
  IOutputLine& out_;
  int& attachmentCounter_;
  const bool wholeMessageBody_;
  const bool insideAlternative_;
  const int level_;
  Mode mode_ = Mode::PassThrough;
  bool neutraliseUUencode_ = false;
  std::size_t maxLineLength_ = 0;
  std::string buffer_;
  // The plain-text footer to add at the end of a text passed through (empty: none).
  PlainTextFooter footer_;
  std::unique_ptr<EmbeddedMessage> message_;
};

}  // namespace MailParser
